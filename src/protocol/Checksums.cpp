#include "protocol/Checksums.h"

#include <array>

namespace mx40d {

namespace {

constexpr std::array<std::uint16_t, 256> makeCrc16Table() {
    std::array<std::uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i << 8);
        for (int b = 0; b < 8; ++b) {
            c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
        }
        t[i] = c;
    }
    return t;
}

constexpr std::array<std::uint32_t, 256> makeCrc32Table() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 24;
        for (int b = 0; b < 8; ++b)
            c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        t[i] = c;
    }
    return t;
}

constexpr auto kCrc16Table = makeCrc16Table();
constexpr auto kCrc32Table = makeCrc32Table();
static_assert(kCrc32Table[1] == 0x04C11DB7u);

// Tables for eight bytes a step: entry k of byte i is the CRC of byte i followed by k zeros.
using Crc32Slices = std::array<std::array<std::uint32_t, 256>, 8>;
constexpr Crc32Slices makeCrc32Slices() {
    Crc32Slices t{};
    t[0] = kCrc32Table;
    for (std::size_t k = 1; k < 8; ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] << 8) ^ kCrc32Table[t[k - 1][i] >> 24];
    return t;
}
constexpr Crc32Slices kCrc32Slices = makeCrc32Slices();

}  // namespace

std::uint8_t additiveChecksum(const std::uint8_t* data, std::size_t size) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += data[i];
    return static_cast<std::uint8_t>(sum);
}

std::uint16_t crc16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t c = 0;
    for (std::size_t i = 0; i < size; ++i) {
        c = static_cast<std::uint16_t>((c << 8) ^ kCrc16Table[((c >> 8) ^ data[i]) & 0xFF]);
    }
    return c;
}

std::uint32_t crc32Update(std::uint32_t c, const std::uint8_t* data, std::size_t size) {
    const auto& t = kCrc32Slices;
    for (; size >= 8; size -= 8, data += 8) {
        c ^= (std::uint32_t{data[0]} << 24) | (std::uint32_t{data[1]} << 16) |
             (std::uint32_t{data[2]} << 8) | data[3];
        c = t[7][c >> 24] ^ t[6][(c >> 16) & 0xFF] ^ t[5][(c >> 8) & 0xFF] ^ t[4][c & 0xFF] ^
            t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
    }
    for (std::size_t i = 0; i < size; ++i)
        c = kCrc32Table[((c >> 24) ^ data[i]) & 0xFF] ^ (c << 8);
    return c;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    return crc32Update(kCrc32Start, data, size);
}

}  // namespace mx40d
