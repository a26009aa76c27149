#include <gtest/gtest.h>

#include <cstring>

#include "protocol/Checksums.h"

using namespace mx40d;

namespace {
const auto* kCheck = reinterpret_cast<const std::uint8_t*>("123456789");
}

TEST(Checksums, CheckValues) {
    EXPECT_EQ(crc16(kCheck, 9), 0x31C3);
    EXPECT_EQ(crc32(kCheck, 9), 0x4B8881DAu);
    EXPECT_EQ(crc32(kCheck, 0), 0xA9EA3693u);
    EXPECT_EQ(crc16(kCheck, 0), 0);
    const std::uint8_t a[4] = {0x40, 0x00, 0x02, 0x41};
    EXPECT_EQ(additiveChecksum(a, 4), 0x83);
    const std::uint8_t wrap[3] = {0xFF, 0xFF, 0x03};
    EXPECT_EQ(additiveChecksum(wrap, 3), 0x01);
}

TEST(Checksums, Crc32ContinuesAcrossPieces) {
    EXPECT_EQ(crc32Update(crc32(kCheck, 4), kCheck + 4, 5), crc32(kCheck, 9));
}

// Eight bytes a step give the same CRC-32 as one byte a step, at every length and offset.
TEST(Checksums, Crc32EightBytesAStepMatchesByteByByte) {
    std::uint8_t data[64];
    for (int i = 0; i < 64; ++i)
        data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t n = 0; offset + n <= sizeof data; ++n) {
            std::uint32_t byteWise = kCrc32Start;
            for (std::size_t i = 0; i < n; ++i)
                byteWise = crc32Update(byteWise, data + offset + i, 1);
            EXPECT_EQ(crc32(data + offset, n), byteWise) << offset << " " << n;
        }
    }
}
