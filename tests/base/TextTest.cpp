#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Text.h"

using namespace mx40d;

TEST(Text, TrimmedFieldStopsAtWidthAndNul) {
    const std::uint8_t unterminated[8] = {' ', ' ', 'A', 'B', ' ', 'C', ' ', ' '};
    EXPECT_EQ(trimmedField(unterminated, 8), "AB C");
    const std::uint8_t withNul[6] = {'X', ' ', 0, 'Y', 'Z', ' '};
    EXPECT_EQ(trimmedField(withNul, 6), "X");
    const std::uint8_t blanks[4] = {' ', ' ', ' ', ' '};
    EXPECT_EQ(trimmedField(blanks, 4), "");
}

TEST(Text, StoreTextTerminatesAndCuts) {
    std::uint8_t field[5];
    std::memset(field, 0xEE, sizeof field);
    storeText(field, 5, "ABCDEFG");
    EXPECT_EQ(fixedText(field, 5), "ABCD");
    EXPECT_EQ(field[4], 0);
}

TEST(ByteOrder, ReadsAndWritesBothOrders) {
    std::uint8_t b[8];
    writeBe32(b, 0x0000012C);
    EXPECT_EQ(readBe32(b), 300u);
    EXPECT_EQ(b[3], 0x2C);
    writeLe32(b, 0x11223344);
    EXPECT_EQ(b[0], 0x44);
    writeBe64(b, 0x0102030405060708ull);
    EXPECT_EQ(readBe64(b), 0x0102030405060708ull);
    reverse8(b);
    EXPECT_EQ(readLe64(b), 0x0102030405060708ull);
    EXPECT_EQ(cformat("%s-%04d", "x", 7), "x-0007");
    EXPECT_EQ(cformat("%s", std::string(1000, 'a').c_str()).size(), 1000u);
}
