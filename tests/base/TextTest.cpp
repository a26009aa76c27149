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

TEST(Text, FileNameSafeEscapesOnlyWhatIsUnsafe) {
    struct Case {
        std::string id;
        std::string name;
    };
    const Case cases[] = {
        {"AB12", "AB12"},
        {"MX-40D_unit.7", "MX-40D_unit.7"},
        // Safe on every platform the monitor runs on: kept as they are.
        {"MX40D 0012", "MX40D 0012"},
        {"Bay (2) #1 & co, 'x' [y] {z} ~!@$^+=;", "Bay (2) #1 & co, 'x' [y] {z} ~!@$^+=;"},
        {"\xE9t\xE9", "\xE9t\xE9"},
        // Separators, control bytes, '%' and the characters Windows forbids.
        {"../../etc/passwd", "..%2F..%2Fetc%2Fpasswd"},
        {"a\\b", "a%5Cb"},
        {"C:x", "C%3Ax"},
        {"line\nfeed\x01\x7F", "line%0Afeed%01%7F"},
        {std::string("nul\0x", 5), "nul%00x"},
        {"100%", "100%25"},
        {"a*?\"<>|", "a%2A%3F%22%3C%3E%7C"},
        {"..", "%2E."},
        {".", "%2E"},
        {"", "%00"},
        {"...", "..."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileNameSafe(c.id), c.name) << c.id;
        EXPECT_EQ(fileNameSafe(c.id).find('/'), std::string::npos);
    }
    // The escaping of earlier versions, for finding their files.
    EXPECT_EQ(legacyFileNameSafe("MX40D 0012"), "MX40D%200012");
    // Distinct identifications keep distinct names.
    EXPECT_NE(fileNameSafe("a/b"), fileNameSafe("a%2Fb"));
    EXPECT_NE(fileNameSafe("a/b"), fileNameSafe("a_b"));
}
