#include <gtest/gtest.h>

#include <vector>

#include "base/ByteOrder.h"
#include "protocol/Checksums.h"
#include "protocol/Frames.h"

using namespace mx40d;

namespace {

// An answer frame with a correct check value for `code`.
std::vector<std::uint8_t> answer(std::uint8_t code, std::uint8_t status,
                                 std::vector<std::uint8_t> payload) {
    const int check = checkValueSize(checkKindFor(code));
    std::vector<std::uint8_t> a(4 + payload.size() + static_cast<std::size_t>(check), 0);
    a[0] = '#';
    a[3] = status;
    std::copy(payload.begin(), payload.end(), a.begin() + 4);
    writeBe16(a.data() + 1, static_cast<std::uint16_t>(a.size() - 3));
    if (check == 2) writeBe16(a.data() + a.size() - 2, crc16(a.data(), a.size() - 2));
    if (check == 4) writeBe32(a.data() + a.size() - 4, crc32(a.data(), a.size() - 4));
    return a;
}

}  // namespace

TEST(Frames, CommandFrameGolden) {
    std::uint8_t out[kMaxCommandFrame];
    ASSERT_EQ(buildCommandFrame('A', nullptr, 0, out), 5);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 5),
              (std::vector<std::uint8_t>{0x40, 0x00, 0x02, 0x41, 0x83}));
    const std::uint8_t no[4] = {0x00, 0x00, 0x01, 0x2C};
    ASSERT_EQ(buildCommandFrame(0x80, no, 4, out), 9);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 9),
              (std::vector<std::uint8_t>{0x40, 0x00, 0x06, 0x80, 0x00, 0x00, 0x01, 0x2C, 0xF3}));
    EXPECT_EQ(buildCommandFrame('A', nullptr, 65, out), 0);
    EXPECT_EQ(buildCommandFrame('A', nullptr, -1, out), 0);
}

TEST(Frames, DataBlockGolden) {
    std::uint8_t out[80];
    const std::uint8_t clock[] = "20261210090000";
    ASSERT_EQ(buildDataBlock(clock, 14, out), 18);
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 18);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4], '2');
    EXPECT_EQ(out[17], '0');
}

TEST(Frames, CheckValueChosenBySentCommand) {
    struct Case {
        std::uint8_t code;
        CheckKind kind;
    };
    for (Case c :
         {Case{'A', CheckKind::Crc16}, Case{'B', CheckKind::Crc32}, Case{'D', CheckKind::Crc32},
          Case{'E', CheckKind::Crc32}, Case{0x80, CheckKind::Crc32}, Case{'W', CheckKind::None},
          Case{'R', CheckKind::None}}) {
        EXPECT_EQ(checkKindFor(c.code), c.kind) << int(c.code);
    }
}

TEST(Frames, AnswerVerdicts) {
    const auto a = answer('A', 0, {1, 2, 3});
    EXPECT_EQ(checkAnswer('A', a.data(), static_cast<int>(a.size())).verdict, AnswerVerdict::Valid);
    // Exactly three bytes are not examined.
    EXPECT_EQ(checkAnswer('A', a.data(), 3).verdict, AnswerVerdict::TooShort);
    auto bad = a;
    bad[0] = '$';
    EXPECT_EQ(checkAnswer('A', bad.data(), static_cast<int>(bad.size())).verdict,
              AnswerVerdict::WrongHeader);
    // L + 3 one more than received
    EXPECT_EQ(checkAnswer('A', a.data(), static_cast<int>(a.size()) - 1).verdict,
              AnswerVerdict::WrongLength);
    // CRC bytes swapped
    auto swapped = a;
    std::swap(swapped[swapped.size() - 1], swapped[swapped.size() - 2]);
    const AnswerCheck c16 = checkAnswer('A', swapped.data(), static_cast<int>(swapped.size()));
    EXPECT_EQ(c16.verdict, AnswerVerdict::WrongCrc16);
    EXPECT_EQ(c16.computed, crc16(a.data(), a.size() - 2));
    // "W" answers carry no check value: any right header and length is accepted.
    std::vector<std::uint8_t> w{'#', 0, 2, 0x41, 0x99};
    EXPECT_EQ(checkAnswer('W', w.data(), 5).verdict, AnswerVerdict::Valid);
    auto b = answer('B', 0, std::vector<std::uint8_t>(28, 5));
    b[10] ^= 1;
    EXPECT_EQ(checkAnswer('B', b.data(), static_cast<int>(b.size())).verdict,
              AnswerVerdict::WrongCrc32);
    // L + 3 is computed in 16 bits
    std::vector<std::uint8_t> wrap{'#', 0xFF, 0xFE, 0};
    EXPECT_EQ(checkAnswer('W', wrap.data(), 4).verdict, AnswerVerdict::WrongLength);
}

TEST(Frames, ErrorTextsByteForByte) {
    const LocalTime t{2026, 3, 5, 7, 8, 9, 4};
    const std::string prefix = "Thu Mar 05 07:08:09 2026\n";
    EXPECT_EQ(errorTimePrefix(t), prefix);
    std::uint8_t cmd[kMaxCommandFrame] = {};
    buildCommandFrame('A', nullptr, 0, cmd);
    EXPECT_EQ(timeOutText(t, cmd, 5, 0),
              prefix + " [Cmd Time Out] CMD: 40h 00h 02h 41h 83h, already get 0 bytes\r\n");
    const std::uint8_t data[10] = {0x24, 1, 2, 3, 4, 5, 6, 7, 8, 0xAB};
    EXPECT_EQ(wrongHeaderText(t, data),
              prefix + " [Wrong Data come in]  24h 01h 02h 03h 04h 05h 06h 07h 08h ABh\r\n");
    EXPECT_EQ(wrongLengthText(t, data, 7),
              prefix + " [Wrong Data come in Length] length=7, DATA: 24h 01h 02h 03h\r\n");
    const std::uint8_t w[] = {0x40, 0x00, 0x03, 'W', 22, 0xB4};
    EXPECT_EQ(wrongCrc16Text(t, w, 43, 0xBEEF),
              prefix + " [Wrong CRC16] CMD:W,cmd[4]=22,cmd[5]=180, length=43, CRC16=BEEFh");
    EXPECT_EQ(wrongCrc32Text(t, w, 36, 0x1234, 0xA9EA3693),
              prefix +
                  " [Wrong CRC32] CMD:W,cmd[4]=22,cmd[5]=180, length=36, CRC32=1234h, "
                  "calc_CRC32=A9EA3693h");
}
