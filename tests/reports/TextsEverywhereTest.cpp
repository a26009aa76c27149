// Numbers written into names, reports and exports: the same whatever the locale, and never
// wrapped or negative at the ends of their ranges.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "machine_ui/Names.h"
#include "reports/Export.h"
#include "reports/LogRecord.h"
#include "reports/ReportText.h"

namespace mx40d {
namespace {

LogRecord duplicatorRecord() {
    LogRecord r(kDuplicatorKind);
    r.setIndexNo(41);
    r.setPortNo(2);
    r.setSectorSize(512);
    r.setModel("ST1000");
    r.setVersion("CC45");
    r.setSerialNo("Z1");
    r.setCapacity(20971520);  // exactly 10 GiB
    r.setJobCapacity(20971520);
    r.setDate({26, 12, 10, 9, 30, 0});
    r.setJobCode(kJobCopy);
    r.setSpendMiniSecond(61000);
    return r;
}

LogRecord eraseRecord() {
    LogRecord r(kEraserKind);
    r.setPortNo(3);
    r.setSectorSize(512);
    r.setCapacity(1953525168);  // 931.5 GiB
    r.setDate({26, 12, 10, 9, 30, 0});
    r.setJobCode(kJobFullErase);
    r.setMachineIdText("ER-01");
    return r;
}

// A GUI toolkit sets the locale from the environment; a decimal comma must reach no text.
class CommaLocale : public ::testing::Test {
  protected:
    void SetUp() override {
        // The install script generates this locale, so the test always runs.
        ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
            << "locale de_DE.UTF-8 is not installed";
        char buf[16];
        std::snprintf(buf, sizeof buf, "%.1f", 1.5);
        ASSERT_STREQ(buf, "1,5");  // the locale really writes a comma
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(CommaLocale, SizesSpeedsReportsAndExportsKeepTheirDecimalPoint) {
    EXPECT_EQ(sizeText(20971520, 512), "10.0GB");
    EXPECT_EQ(sizeText(976773168, 512), "466GB");
    EXPECT_EQ(speedText(1000000, 2048, 512), "   1.00");
    EXPECT_EQ(speedText(1000000, 252887, 512), " 123.48");
    const LocalTime now{2026, 12, 10, 10, 0, 0, 4};
    EXPECT_NE(format_ClearRecord(eraseRecord(), now).find("  Capacity  : 931.5GB\r\n"),
              std::string::npos);
    EXPECT_NE(format_LogListLine(duplicatorRecord()).find(" 10.0GB"), std::string::npos);
    const std::string row = format_CsvRow(duplicatorRecord());
    EXPECT_EQ(row, "42,2,2026,12,10,9,30,0,61,COPY,PASS,10.0GB,ST1000,CC45,Z1");
    EXPECT_NE(format_XmlRecord(duplicatorRecord()).find("<Capacity>10.0GB</Capacity>"),
              std::string::npos);
}

TEST(NumberEnds, CountsAndIndexesAreNeverWrappedOrNegative) {
    LogRecord r = duplicatorRecord();
    r.setIndexNo(0xFFFFFFFFu);  // shown as indexNo + 1
    r.set_power_cycle(7);
    r.set_power_on_hours(0x80000000u);
    EXPECT_EQ(format_LogListLine(r).substr(0, 11), "4294967296 ");
    EXPECT_EQ(format_CsvRow(r).substr(0, 11), "4294967296,");
    EXPECT_NE(format_XmlRecord(r).find("<IndexNo>4294967296</IndexNo>"), std::string::npos);
    EXPECT_NE(
        format_PortLine(r, ReportForm::Screen).find(" [power_on_hours=2147483648, power_cycle=7]"),
        std::string::npos);
    LogRecord e = eraseRecord();
    e.setBadSectorQty(0xFFFFFFFFu);
    EXPECT_NE(format_ClearRecord(e, {}).find("  Bad Sector: 4294967295\r\n"), std::string::npos);
}

}  // namespace
}  // namespace mx40d
