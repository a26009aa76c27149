#include "reports/ReportText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "protocol/MachineInfo.h"

namespace mx40d {
namespace {

const std::string kSep = std::string(155, '=') + "\r\n";
std::string sp(std::size_t n) {
    return std::string(n, ' ');
}

TEST(ReportText, SizeTexts) {
    struct Case {
        std::uint64_t sectors;
        std::uint16_t sectorSize;
        const char* text;
    } cases[] = {
        {1000, 512, "500KB"},
        {10485760, 512, "5120.0MB"},
        {20480000, 512, "9.7GB"},
        {12345, 0, " "},
        {2047, 512, "1023KB"},
        {3072, 512, "1.5MB"},
        {1, 4096, "4KB"},
        {2048, 512, "1.0MB"},
        {20479999, 512, "9999.9MB"},
        {1953525168, 512, "931.5GB"},
        {1048576, 1, "1.0MB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(format_SizeText(c.sectors, c.sectorSize), c.text) << c.sectors;
    // Huge counts neither wrap nor crash.
    EXPECT_EQ(format_SizeText(~0ull, 512), "8796093022207.9GB");
}

TEST(ReportText, ReportJobNames) {
    const char* names[] = {"NOTHING",           "COPY",           "COMPARE",
                           "COPY+COMPARE",      "SCAN",           "QUICK ERASE",
                           "FULL ERASE",        "DoD ERASE",      "DoD ERASE+VERIFY",
                           "FULL ERASE 7-PASS", "SECURITY ERASE", "NULL FUNCTION"};
    for (int code = 0; code < 12; ++code)
        EXPECT_EQ(reportJobName(static_cast<std::uint8_t>(code)), names[code]);
    EXPECT_EQ(reportJobName(255), "NULL FUNCTION");
}

TEST(ReportText, Header) {
    MachineInfo info;
    info.setNickName("Line A");
    info.setModelName("MX40D-20");
    info.setVersion("v1.2.3");
    info.setMachineId("DUP-01");
    info.setMaxDeviceQty(20);
    LocalTime now{2026, 12, 10, 9, 5, 7, 4};
    EXPECT_EQ(format_ReportHeader(info, {2026, 12, 1}, {2026, 12, 10}, now),
              "\r\n Print Date     : Thu Dec 10 09:05:07 2026\n\r\n\r\n"
              " Machine Name   : Line A\r\n"
              " Machine Model  : MX40D-20\r\n"
              " Machine Version: 1.2.3\r\n"
              " Machine ID     : DUP-01\r\n"
              " Port Quantity  : 20\r\n"
              "\r\n"
              "   startNo Date : 2026-12-01\r\n"
              "     endNo Date : 2026-12-10\r\n\r\n" +
                  kSep);
}

// Records of one copy job (group 5): source, a passing target, a failing target.
LogRecord source() {
    LogRecord r('3');
    r.setJobGroupNo(5);
    r.setJobCode(1);
    r.setPortNo(1);
    r.setSectorSize(512);
    r.setDate({26, 12, 10, 9, 0, 0});
    r.setModel("SRC MODEL");
    r.setVersion("V1");
    r.setSerialNo("S1");
    r.setJobCapacity(1000);
    r.setDataSize(3072);
    r.setCopyArea(2);
    r.setCrc64Low(0x89ABCDEF);
    r.setCrc64High(0x01234567);
    return r;
}
LogRecord passTarget() {
    LogRecord r('3');
    r.setJobGroupNo(5);
    r.setJobCode(1);
    r.setPortNo(2);
    r.setSectorSize(512);
    r.setDate({26, 12, 10, 9, 0, 5});
    r.setModel("TGT");
    r.setVersion("V2");
    r.setSerialNo("T2");
    r.setJobCapacity(2048);
    r.setSpendMiniSecond(125000);
    r.setReadSpeed(204800);
    r.set_power_cycle(7);
    r.set_power_on_hours(1234);
    r.setIndexNo(41);
    r.setCapacity(1953525168);
    return r;
}
LogRecord failTarget() {
    LogRecord r('3');
    r.setJobGroupNo(5);
    r.setJobCode(1);
    r.setPortNo(3);
    r.setSectorSize(512);
    r.setDate({26, 12, 10, 9, 0, 6});
    r.setModel("BAD");
    r.setResult(3);
    r.setSpendMiniSecond(61500);
    return r;
}

const std::string kPassLine = sp(11) + "Port:02,  2026-12-10 09:00:05 (  125 seconds)[TGT" +
                              sp(37) + "][V2      ][T2" + sp(18) + "] 1.0MB(2048)" + sp(8);
const std::string kPassTail =
    "[Read Speed=100.0MB/second] [power_on_hours=1234, power_cycle=7]\r\n";
const std::string kFailLine = sp(11) + "Port:03,  2026-12-10 09:00:06 (   61 seconds)[BAD" +
                              sp(37) + "][" + sp(8) + "][" + sp(20) + "] 0KB(0)" + sp(13) + "\r\n";

TEST(ReportText, PortLineInBothForms) {
    EXPECT_EQ(format_PortLine(passTarget(), ReportForm::Screen), kPassLine + kPassTail);
    EXPECT_EQ(format_PortLine(passTarget(), ReportForm::Pdf),
              kPassLine + "\r\n" + sp(56) + kPassTail);
    EXPECT_EQ(format_PortLine(failTarget(), ReportForm::Screen), kFailLine);
    EXPECT_EQ(format_PortLine(failTarget(), ReportForm::Pdf),
              kFailLine.substr(0, kFailLine.size() - 2) + "\r\n" + sp(56) + "\r\n");
    // Sector size 0: a blank size text, two blanks before the count.
    LogRecord r = failTarget();
    r.setSectorSize(0);
    r.setJobCapacity(77);
    EXPECT_NE(format_PortLine(r, ReportForm::Screen).find("]  (77)" + sp(14) + "\r\n"),
              std::string::npos);
}

TEST(ReportText, CopyJobWithSourceFirst) {
    LogRecord recs[] = {source(), passTarget(), failTarget()};
    EXPECT_EQ(format_JobBlock(recs, 3, ReportForm::Screen),
              "Job: COPY\r\n\r\n"
              "     Time  Start: 2026-12-10 09:00:00\r\n"
              "             End: 2026-12-10 09:01:08\r\n"
              "\r\n"
              "     Source HDD Model : SRC MODEL\r\n"
              "              Version : V1\r\n"
              "        Serial Number : S1\r\n"
              "             Capacity : 500KB(1000 sectors)\r\n"
              "            Data Size : 1.5MB(3072 sectors)\r\n"
              "            copy Area : Whole HDD\r\n"
              "      CRC-64-ECMA-182 : 0123456789ABCDEF\r\n"
              "\r\n"
              "     Quantity  Total: 2\r\n"
              "                Pass: 1\r\n"
              "                Fail: 1\r\n"
              "\r\n"
              "     [Pass Record]\r\n" +
                  kPassLine + kPassTail +
                  "\r\n"
                  "     [Fail Record]\r\n" +
                  kFailLine + "\r\n" + kSep + "\r\n");
}

TEST(ReportText, CopyJobWithoutSourceFirst) {
    LogRecord recs[] = {passTarget(), source(), failTarget()};
    recs[1].setCrc64High(0);  // one half 0: no CRC line
    recs[0].setDataSize(10485760);
    recs[0].setCopyArea(3);
    recs[0].setPercentFrom(10);
    recs[0].setPercentTo(95);
    std::string block = format_JobBlock(recs, 3, ReportForm::Screen);
    EXPECT_EQ(block.substr(0, block.find("     Quantity")),
              "Job: COPY\r\n\r\n"
              "     Time  Start: 2026-12-10 09:00:05\r\n"
              "             End: 2026-12-10 09:01:08\r\n"
              "\r\n"
              "     Source Data Size : 5120.0MB(10485760 sectors)\r\n"
              "            copy Area : Percentage(10% to 95%)\r\n"
              "\r\n");
    EXPECT_NE(block.find("Total: 2\r\n"), std::string::npos);
}

TEST(ReportText, CopyJobWithOnlyItsSource) {
    LogRecord rec = source();
    rec.setCopyArea(0x7E);
    rec.setCrc64Low(0);
    EXPECT_EQ(format_JobBlock(&rec, 1, ReportForm::Screen),
              "Job: COPY\r\n\r\n"
              "     Time  Start: 2026-12-10 09:00:00\r\n"
              "             End: 2026-12-10 09:00:01\r\n"
              "\r\n"
              "     Source HDD Model : SRC MODEL\r\n"
              "              Version : V1\r\n"
              "        Serial Number : S1\r\n"
              "             Capacity : 500KB(1000 sectors)\r\n"
              "            Data Size : 1.5MB(3072 sectors)\r\n"
              "            copy Area : (7Eh)\r\n"
              "\r\n"
              "     Quantity  Total: 0\r\n"
              "                Pass: 0\r\n"
              "                Fail: 0\r\n"
              "\r\n" +
                  kSep + "\r\n");
}

TEST(ReportText, OtherJobsStartAtTheirEarliestRecordAndEndAfterTheLast) {
    struct Case {
        LogDate first, second;
        std::uint32_t spend;
        const char* start;
        const char* end;
    } cases[] = {
        // Past midnight: 45 s + 1.
        {{26, 12, 10, 23, 0, 0},
         {26, 12, 10, 23, 59, 30},
         45000,
         "2026-12-10 23:00:00",
         "2026-12-11 00:00:16"},
        {{26, 12, 10, 9, 0, 0},
         {26, 12, 9, 8, 0, 0},
         0,
         "2026-12-09 08:00:00",
         "2026-12-09 08:00:01"},
        {{24, 2, 28, 23, 59, 30},
         {24, 2, 28, 23, 59, 30},
         45000,
         "2024-02-28 23:59:30",
         "2024-02-29 00:00:16"},
        {{25, 2, 28, 23, 59, 30},
         {25, 2, 28, 23, 59, 30},
         45999,
         "2025-02-28 23:59:30",
         "2025-03-01 00:00:16"},
        {{26, 12, 31, 12, 0, 0},
         {26, 12, 31, 12, 0, 0},
         86400000u,
         "2026-12-31 12:00:00",
         "2027-01-01 12:00:01"},
    };
    for (const auto& c : cases) {
        LogRecord recs[2] = {LogRecord('3'), LogRecord('3')};
        for (auto& r : recs) {
            r.setJobCode(4);
            r.setPortNo(1);
        }
        recs[0].setDate(c.first);
        recs[1].setDate(c.second);
        recs[1].setSpendMiniSecond(c.spend);
        std::string block = format_JobBlock(recs, 2, ReportForm::Screen);
        std::string want = std::string("Job: SCAN\r\n\r\n     Time  Start: ") + c.start +
                           "\r\n             End: " + c.end + "\r\n\r\n     Quantity";
        EXPECT_EQ(block.substr(0, want.size()), want);
        EXPECT_NE(block.find("Total: 2\r\n                Pass: 2\r\n"), std::string::npos);
    }
}

LogRecord eraseRecord() {
    LogRecord r('5');
    r.setJobCode(6);
    r.setMachineIdText("ER-01");
    r.setIdNumber(1, 1);
    r.setIdNumber(2, 2);
    r.setIdNumber(3, 3);
    r.setIdNumber(4, 65535);
    r.setPortNo(3);
    r.setModel("HGST X");
    r.setVersion("A1");
    r.setSerialNo("SN9");
    r.setCapacity(1953525168);
    r.setSectorSize(512);
    r.setBadSectorQty(2);
    r.setFirstBadSectorAddr(123456789012ull);
    r.setDate({26, 12, 10, 23, 59, 30});
    r.setSpendMiniSecond(45000);
    return r;
}

TEST(ReportText, ClearRecord) {
    LocalTime now{2026, 12, 11, 8, 0, 0, 5};
    EXPECT_EQ(format_ClearRecord(eraseRecord(), now),
              "\r\n    >>> HDD Clear Record <<<\r\n\n"
              "Action    : FULL ERASE\r\n"
              "Machine ID: ER-01.00001.00002.00003.65535\r\n"
              "Port      : 3\r\n\n"
              "[HDD Information]\r\n"
              "  Model     : HGST X\r\n"
              "  Version   : A1\r\n"
              "  Serial No.: SN9\r\n"
              "  Capacity  : 931.5GB\r\n\n"
              "  Bad Sector: 2\r\n"
              "  Start Addr: 123456789012\r\n"
              "\n"
              "Start at 2026-12-10 23:59:30\r\n"
              "End   at 2026-12-11 00:00:15\r\n"
              "Elapsed Time: 00:00:45\r\n"
              "\r\n\n\n\n" +
                  std::string(40, '_') + "\r\n" + sp(29) + "(Signature)\r\n" +
                  "Print at 2026-12-11 08:00:00\r\n" + std::string(10, '\n'));
}

TEST(ReportText, ClearRecordTimes) {
    struct Case {
        LogDate start;
        std::uint32_t ms;
        std::uint32_t bad;
        const char* end;
        const char* elapsed;
    } cases[] = {
        {{26, 12, 10, 10, 0, 0}, 86400000u, 0, "2026-12-11 10:00:00", " 1 day 00:00:00"},
        {{24, 2, 28, 23, 59, 30}, 30001, 0, "2024-02-29 00:00:01", " 00:00:31"},
        {{25, 2, 28, 23, 59, 30}, 30000, 0, "2025-03-01 00:00:00", " 00:00:30"},
        {{26, 1, 1, 0, 0, 0},
         3 * 86400000u + 3723000u,
         0,
         "2026-01-04 01:02:03",
         " 3 day 01:02:03"},
    };
    for (const auto& c : cases) {
        LogRecord r = eraseRecord();
        r.setDate(c.start);
        r.setSpendMiniSecond(c.ms);
        r.setBadSectorQty(c.bad);
        std::string text = format_ClearRecord(r, LocalTime{});
        EXPECT_NE(
            text.find(std::string("End   at ") + c.end + "\r\nElapsed Time:" + c.elapsed + "\r\n"),
            std::string::npos)
            << c.end;
        EXPECT_EQ(text.find("Start Addr"), std::string::npos);
    }
}

TEST(ReportText, LogListLines) {
    LogRecord dup = passTarget();
    dup.setJobCode(50);
    dup.setCustomJobName("My Job");
    EXPECT_EQ(format_LogListLine(dup), "0000042 2026-12-10 09:00:05  002  My Job" + sp(12) +
                                           "PASS      Spent 00125 seconds  932GB     " + " TGT" +
                                           sp(27) + " V2       T2");
    dup.setCustomJobName(std::string(32, 'J'));  // fills the field, no terminator
    EXPECT_NE(format_LogListLine(dup).find(std::string(32, 'J') + "  PASS"), std::string::npos);
    LogRecord era = eraseRecord();
    era.setResult(1);
    era.setSectorSize(0);
    EXPECT_EQ(format_LogListLine(era), "0000001 2026-12-10 23:59:30  003  FULL ERASE" + sp(17) +
                                           "FAIL      Spent 00045 seconds  (NULL) " + " HGST X" +
                                           sp(24) + " A1       SN9");
}

TEST(ReportText, AnyRecordBytesFormatWithoutHarm) {
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i) {
        std::uint8_t bytes[256];
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(rng());
        if (i % 3 == 0) bytes[145] = static_cast<std::uint8_t>(i % 2 ? 0 : 13);  // month
        for (std::uint8_t kind : {std::uint8_t('3'), std::uint8_t('5')}) {
            LogRecord r(kind, bytes, sizeof bytes);
            LogRecord group[2] = {r, r};
            EXPECT_FALSE(format_JobBlock(group, 2, ReportForm::Pdf).empty());
            EXPECT_FALSE(format_ClearRecord(r, LocalTime{}).empty());
            EXPECT_FALSE(format_LogListLine(r).empty());
        }
    }
}

}  // namespace
}  // namespace mx40d
