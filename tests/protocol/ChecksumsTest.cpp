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
