#include "reports/LogRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace mx40d {
namespace {

// A duplicator record laid out by hand, byte by byte, as the machine sends it.
std::vector<std::uint8_t> handMadeDuplicator() {
    std::vector<std::uint8_t> b(256, 0);
    auto put = [&](std::size_t at, std::initializer_list<int> bytes) {
        for (int v : bytes)
            b[at++] = static_cast<std::uint8_t>(v);
    };
    put(0, {0x00, 0x01, 0x02, 0x03});  // indexNo
    put(28, {0xAA, 0xBB});
    put(30, {3});           // copyArea
    put(40, {10, 90});      // percentFrom/To
    put(44, {0x00, 0x02});  // portNo
    put(46, {0x02, 0x00});  // sectorSize 512
    std::memcpy(&b[48], " WDC WD10EZEX                           ", 40);
    std::memcpy(&b[88], "01.01A01", 8);
    std::memcpy(&b[96], "  WD-1234           ", 20);
    put(116, {0, 0, 0, 0, 0x74, 0x70, 0x6D, 0xB0});  // capacity 1953525168
    put(124, {0, 0, 0, 0, 0, 0, 0x10, 0x00});        // jobCapacity
    put(132, {0, 0, 0, 1, 0, 0, 0, 0});              // dataSize 2^32
    put(144, {26, 12, 10, 23, 59, 58});              // date
    put(150, {7, 3, 0, 0x41});                       // group, job, -, result
    put(168, {0x00, 0x01, 0x86, 0xA0});              // readSpeed 100000
    put(172, {0x00, 0x00, 0x00, 0x64});              // writeSpeed 100
    std::memcpy(&b[188], "Nightly clone", 13);
    put(220, {0x00, 0x00, 0x30, 0x39});  // 12345 ms
    put(240, {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0x45, 0x67});
    put(248, {0, 0, 1, 0, 0, 0, 0, 42});
    return b;
}

TEST(LogRecord, DuplicatorAccessorsReadTheStoredLayout) {
    auto bytes = handMadeDuplicator();
    LogRecord r('3', bytes.data(), bytes.size());
    EXPECT_EQ(r.indexNo(), 0x00010203u);
    EXPECT_EQ(r.copyArea(), 3);
    EXPECT_EQ(r.percentFrom(), 10);
    EXPECT_EQ(r.percentTo(), 90);
    EXPECT_EQ(r.portNo(), 2);
    EXPECT_EQ(r.sectorSize(), 512);
    EXPECT_EQ(r.model(), "WDC WD10EZEX");
    EXPECT_EQ(r.version(), "01.01A01");
    EXPECT_EQ(r.serialNo(), "WD-1234");
    EXPECT_EQ(r.capacity(), 1953525168u);
    EXPECT_EQ(r.jobCapacity(), 0x1000u);
    EXPECT_EQ(r.dataSize(), 0x100000000ull);
    EXPECT_EQ(r.date(), (LogDate{26, 12, 10, 23, 59, 58}));
    EXPECT_EQ(r.date().fullYear(), 2026);
    EXPECT_EQ(r.jobGroupNo(), 7);
    EXPECT_EQ(r.jobCode(), 3);
    EXPECT_EQ(r.result(), 0x41);
    EXPECT_EQ(r.readSpeed(), 100000u);
    EXPECT_EQ(r.writeSpeed(), 100u);
    EXPECT_EQ(r.customJobName(), "Nightly clone");
    EXPECT_EQ(r.spendMiniSecond(), 12345u);
    EXPECT_EQ(r.crc64Low(), 0xDEADBEEFu);
    EXPECT_EQ(r.crc64High(), 0x01234567u);
    EXPECT_EQ(r.power_cycle(), 256u);
    EXPECT_EQ(r.power_on_hours(), 42u);
}

TEST(LogRecord, DuplicatorSettersRebuildTheSameBytes) {
    auto golden = handMadeDuplicator();
    LogRecord r('3');
    r.setIndexNo(0x00010203);
    r.bytes()[28] = 0xAA;
    r.bytes()[29] = 0xBB;
    r.setCopyArea(3);
    r.setPercentFrom(10);
    r.setPercentTo(90);
    r.setPortNo(2);
    r.setSectorSize(512);
    r.setModel(" WDC WD10EZEX");
    r.setVersion("01.01A01");
    r.setSerialNo("  WD-1234");
    r.setCapacity(1953525168);
    r.setJobCapacity(0x1000);
    r.setDataSize(0x100000000ull);
    r.setDate({26, 12, 10, 23, 59, 58});
    r.setJobGroupNo(7);
    r.setJobCode(3);
    r.setResult(0x41);
    r.setReadSpeed(100000);
    r.setWriteSpeed(100);
    r.setCustomJobName("Nightly clone");
    r.setSpendMiniSecond(12345);
    r.setCrc64Low(0xDEADBEEF);
    r.setCrc64High(0x01234567);
    r.set_power_cycle(256);
    r.set_power_on_hours(42);
    EXPECT_EQ(std::vector<std::uint8_t>(r.bytes().begin(), r.bytes().end()), golden);
}

TEST(LogRecord, EraserLayoutAndLittleEndianIdNumbers) {
    LogRecord r('5');
    r.setIndexNo(9);
    r.setBadSectorQty(0x01020304);
    r.setPortNo(4);
    r.setFirstBadSectorAddr(0x0102030405060708ull);
    r.setSpendMiniSecond(0x0A0B0C0D);
    r.setDate({25, 1, 2, 3, 4, 5});
    r.setJobGroupNo(1);
    r.setJobCode(6);
    r.setResult(0);
    r.setCustomJobName("DoD wipe");
    for (int n = 1; n <= 4; ++n)
        r.setIdNumber(n, static_cast<std::uint16_t>(0x1100 * n + n));
    r.setMachineIdText("ER-0001");
    const auto& b = r.bytes();
    const std::uint8_t idBytes[8] = {0x01, 0x11, 0x02, 0x22, 0x03, 0x33, 0x04, 0x44};
    EXPECT_EQ(std::memcmp(&b[16], idBytes, 8), 0);
    EXPECT_EQ(std::vector<int>(b.begin() + 40, b.begin() + 44), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(b[180], 0x01);
    EXPECT_EQ(b[187], 0x08);
    EXPECT_EQ(b[192], 0x0A);
    EXPECT_EQ(std::vector<int>(b.begin() + 196, b.begin() + 206),
              (std::vector<int>{25, 1, 2, 3, 4, 5, 1, 6, 0, 0}));
    EXPECT_EQ(std::memcmp(&b[148], "DoD wipe", 9), 0);
    EXPECT_EQ(std::memcmp(&b[206], "ER-0001", 8), 0);
    EXPECT_EQ(r.idNumber3(), 0x3303);
    EXPECT_EQ(r.machineIdText(), "ER-0001");
    EXPECT_EQ(r.badSectorQty(), 0x01020304u);
    EXPECT_EQ(r.firstBadSectorAddr(), 0x0102030405060708ull);
}

TEST(LogRecord, TextsNeverReadPastTheirFields) {
    LogRecord r('5');
    std::memset(r.bytes().data(), 'x', 256);
    EXPECT_EQ(r.model().size(), 40u);
    EXPECT_EQ(r.customJobName().size(), 32u);
    EXPECT_EQ(r.machineIdText().size(), 50u);
    r.setCustomJobName(std::string(40, 'n'));  // too long: cut to the field
    EXPECT_EQ(r.customJobName(), std::string(32, 'n'));
    EXPECT_EQ(r.bytes()[180], 'x');
}

// Reversed fields per layout; everything else must stay as stored.
struct ConvertCase {
    std::uint8_t kind;
    std::vector<std::pair<std::size_t, std::size_t>> fields;  // offset, width
};

TEST(LogRecord, ConvertReversesExactlyTheListedFields) {
    const ConvertCase cases[] = {
        {'3',
         {{116, 8},
          {124, 8},
          {132, 8},
          {160, 8},
          {0, 4},
          {140, 4},
          {168, 4},
          {172, 4},
          {176, 4},
          {180, 4},
          {220, 4},
          {224, 4},
          {228, 4},
          {232, 4},
          {236, 4},
          {28, 2},
          {44, 2},
          {46, 2}}},
        {'5',
         {{116, 8},
          {124, 8},
          {132, 8},
          {180, 8},
          {0, 4},
          {32, 4},
          {40, 4},
          {140, 4},
          {144, 4},
          {188, 4},
          {192, 4},
          {28, 2},
          {44, 2},
          {46, 2}}},
    };
    for (const auto& c : cases) {
        std::uint8_t rec[256];
        for (int i = 0; i < 256; ++i)
            rec[i] = static_cast<std::uint8_t>(i);
        std::uint8_t expected[256];
        std::memcpy(expected, rec, 256);
        for (auto [off, w] : c.fields)
            for (std::size_t i = 0; i < w; ++i)
                expected[off + i] = rec[off + w - 1 - i];
        convert_LogRecord(rec, c.kind);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(rec[i], expected[i]) << "kind " << c.kind << " byte " << i;
    }
}

TEST(LogRecord, DateRangeComparesDaysInclusively) {
    struct Case {
        std::uint8_t kind;
        LogDate date;
        CalendarDate from, to;
        bool in;
    };
    const Case cases[] = {
        {'3', {26, 12, 10, 0, 0, 0}, {2026, 12, 10}, {2026, 12, 10}, true},
        {'3', {26, 12, 10, 23, 59, 59}, {2026, 12, 10}, {2026, 12, 10}, true},
        {'5', {26, 12, 10, 23, 59, 59}, {2026, 12, 10}, {2026, 12, 10}, true},
        {'3', {26, 12, 9, 23, 59, 59}, {2026, 12, 10}, {2026, 12, 31}, false},
        {'5', {27, 1, 1, 0, 0, 0}, {2026, 12, 10}, {2026, 12, 31}, false},
        {'3', {25, 12, 31, 0, 0, 0}, {2025, 1, 1}, {2026, 1, 1}, true},
        {'3', {26, 2, 1, 0, 0, 0}, {2026, 1, 31}, {2026, 2, 1}, true},
        {'3', {26, 3, 1, 0, 0, 0}, {2026, 1, 31}, {2026, 2, 28}, false},
    };
    for (const auto& c : cases) {
        LogRecord r(c.kind);
        r.setDate(c.date);
        EXPECT_EQ(is_LogRecord_inDateRange(r, c.from, c.to), c.in)
            << int(c.date.year) << "-" << int(c.date.month) << "-" << int(c.date.day);
    }
}

}  // namespace
}  // namespace mx40d
