#include "reports/ReportGenerator.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "protocol/MachineInfo.h"
#include "support/Fixtures.h"

namespace fs = std::filesystem;
using namespace mx40d::testing;

namespace mx40d {
namespace {

const LocalTime kNow{2026, 12, 10, 9, 5, 7, 4};

MachineInfo machine(std::uint8_t kind) {
    MachineInfo info;
    info.setDeviceType(kind);
    info.set_support_LogRecord(1);
    info.setMachineId("M-1");
    return info;
}

LogRecord rec(std::uint8_t kind, std::uint8_t group, std::uint16_t port, LogDate date,
              std::uint8_t result = 0) {
    LogRecord r(kind);
    r.setJobGroupNo(group);
    r.setJobCode(kind == '3' ? 4 : 5);
    r.setPortNo(port);
    r.setDate(date);
    r.setResult(result);
    r.setSectorSize(512);
    return r;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        ++n;
    return n;
}

TEST(ReportGenerator, RefusalsComeBeforeAnyReading) {
    MachineInfo info = machine('3');
    Report r = generate_Report("/nonexistent/x.LOGDATA", info, {2026, 12, 2}, {2026, 12, 1},
                               ReportForm::Screen, kNow);
    EXPECT_EQ(r.status, ReportStatus::IllegalDate);
    EXPECT_EQ(reportMessage(r.status), "Illegal Date !");
    r = generate_Report("/nonexistent/x.LOGDATA", info, {2026, 12, 1}, {2026, 12, 1},
                        ReportForm::Screen, kNow);
    EXPECT_EQ(r.status, ReportStatus::ReadFail);
    EXPECT_EQ(r.databaseResult, DatabaseResult::NotExist);
    EXPECT_EQ(reportMessage(r.status), "Read Log File FAIL !");
    info.set_support_LogRecord(0);
    EXPECT_EQ(generate_Report(std::vector<LogRecord>{}, info, {2026, 12, 1}, {2026, 12, 1},
                              ReportForm::Screen, kNow)
                  .status,
              ReportStatus::NotSupported);
}

TEST(ReportGenerator, DuplicatorReportGroupsSelectedRecords) {
    MachineInfo info = machine('3');
    const LogDate in{26, 12, 10, 23, 59, 59}, out{26, 12, 11, 0, 0, 0};
    std::vector<LogRecord> records = {
        rec('3', 1, 1, in),  rec('3', 1, 2, in),
        rec('3', 2, 1, out),  // outside: neither joins nor splits a group
        rec('3', 1, 3, in),  rec('3', 2, 1, in, 1),
        rec('3', 3, 1, out),
    };
    const CalendarDate day{2026, 12, 10};
    Report r = generate_Report(records, info, day, day, ReportForm::Screen, kNow);
    ASSERT_EQ(r.status, ReportStatus::Done);
    std::string header = format_ReportHeader(info, day, day, kNow) + "\r\n";
    ASSERT_EQ(r.text.substr(0, header.size()), header);
    std::string blocks = r.text.substr(header.size());
    EXPECT_EQ(count(blocks, "Job: SCAN"), 2);
    EXPECT_EQ(blocks,
              format_JobBlock(std::vector<const LogRecord*>{&records[0], &records[1], &records[3]},
                              ReportForm::Screen) +
                  "\r\n" + format_JobBlock(&records[4], 1, ReportForm::Screen) + "\r\n");

    // Nothing in range: the header alone. No records at all: nothing.
    Report none = generate_Report(records, info, {2025, 1, 1}, {2025, 1, 2}, ReportForm::Pdf, kNow);
    EXPECT_EQ(none.text, format_ReportHeader(info, {2025, 1, 1}, {2025, 1, 2}, kNow) + "\r\n");
    EXPECT_EQ(
        generate_Report(std::vector<LogRecord>{}, info, day, day, ReportForm::Screen, kNow).text,
        "");
}

TEST(ReportGenerator, EraserReportShowsPassedErasesOnly) {
    MachineInfo info = machine('5');
    const LogDate in{26, 12, 10, 0, 0, 0};
    std::vector<LogRecord> records = {rec('5', 1, 1, in), rec('5', 1, 2, in, 16),
                                      rec('5', 1, 3, {26, 12, 9, 0, 0, 0}), rec('5', 2, 4, in)};
    Report r =
        generate_Report(records, info, {2026, 12, 10}, {2026, 12, 10}, ReportForm::Screen, kNow);
    EXPECT_EQ(r.text, format_ClearRecord(records[0], kNow) + "\r\n" +
                          format_ClearRecord(records[3], kNow) + "\r\n");
    EXPECT_EQ(
        generate_Report(records, info, {2027, 1, 1}, {2027, 1, 1}, ReportForm::Screen, kNow).text,
        "");
}

TEST(ReportGenerator, ReadsTheDatabase) {
    fs::path dir = freshTestDir("generator-test");
    fs::path path = dir / "G.MX40D.LOGDATA";
    ASSERT_TRUE(create_LogDatabase(path));
    MachineInfo info = machine('3');
    LogRecord r = rec('3', 1, 2, {26, 12, 10, 1, 2, 3});
    ASSERT_EQ(append_LogRecord(path, r.data(), kLogRecordSize, &info), DatabaseResult::Pass);
    Report rep = generate_Report(path, info, {2026, 12, 10}, {2026, 12, 10}, ReportForm::Pdf, kNow);
    EXPECT_EQ(rep.status, ReportStatus::Done);
    EXPECT_EQ(count(rep.text, "Port:02"), 1);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mx40d
