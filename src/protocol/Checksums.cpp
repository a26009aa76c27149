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
    for (std::size_t i = 0; i < size; ++i)
        c = kCrc32Table[((c >> 24) ^ data[i]) & 0xFF] ^ (c << 8);
    return c;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    return crc32Update(kCrc32Start, data, size);
}

}  // namespace mx40d
