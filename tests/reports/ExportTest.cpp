#include "reports/Export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/Fixtures.h"

namespace fs = std::filesystem;
using namespace mx40d::testing;

namespace mx40d {
namespace {

LogRecord rec(std::uint8_t group, std::uint8_t job, std::uint16_t port, LogDate date,
              const std::string& model = "M") {
    LogRecord r('3');
    r.setIndexNo(static_cast<std::uint32_t>(group * 10 + port - 1));
    r.setJobGroupNo(group);
    r.setJobCode(job);
    r.setPortNo(port);
    r.setDate(date);
    r.setSectorSize(512);
    r.setCapacity(1953525168);
    r.setModel(model);
    r.setVersion("V");
    r.setSerialNo("S");
    r.setSpendMiniSecond(12999);
    return r;
}

const LogDate kIn{26, 12, 10, 9, 0, 0};
const LogDate kOut{26, 11, 30, 9, 0, 0};
const CalendarDate kFrom{2026, 12, 1}, kTo{2026, 12, 31};

std::string csv(const std::vector<LogRecord>& records) {
    std::ostringstream out;
    writeCsvExport(out, records, kFrom, kTo);
    return out.str();
}
std::string xml(const std::vector<LogRecord>& records) {
    std::ostringstream out;
    writeXmlExport(out, records, kFrom, kTo);
    return out.str();
}
// The ports of the rows or elements, in order.
std::string csvPorts(const std::string& text) {
    std::string ports;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line))
        ports += line.substr(line.find(',') + 1, 1);
    return ports;
}
std::string xmlPorts(const std::string& text) {
    std::string ports;
    for (std::size_t at = 0; (at = text.find("<PortNo>", at)) != std::string::npos; ++at)
        ports += text[at + 8];
    return ports;
}

TEST(Export, RowAndRecordGolden) {
    LogRecord r = rec(3, 1, 2, {26, 12, 10, 9, 8, 7});
    EXPECT_EQ(format_CsvRow(r), "32,2,2026,12,10,9,8,7,12,COPY,PASS,932GB,M,V,S");
    r.setResult(9);
    r.setSectorSize(0);
    EXPECT_EQ(format_CsvRow(r), "32,2,2026,12,10,9,8,7,12,COPY,FAIL,0,M,V,S");
    EXPECT_EQ(format_XmlRecord(r),
              "  <Record>\r\n"
              "    <IndexNo>32</IndexNo>\r\n"
              "    <PortNo>2</PortNo>\r\n"
              "    <Year>2026</Year>\r\n"
              "    <Month>12</Month>\r\n"
              "    <Day>10</Day>\r\n"
              "    <Hour>9</Hour>\r\n"
              "    <Minute>8</Minute>\r\n"
              "    <Second>7</Second>\r\n"
              "    <SpendSecond>12</SpendSecond>\r\n"
              "    <Job>COPY</Job>\r\n"
              "    <Result>FAIL</Result>\r\n"
              "    <Capacity>0</Capacity>\r\n"
              "    <Model>M</Model>\r\n"
              "    <Version>V</Version>\r\n"
              "    <SerialNo>S</SerialNo>\r\n"
              "  </Record>");
}

TEST(Export, WalksKeepTheSourceRowWithItsTargets) {
    struct Case {
        const char* what;
        std::vector<LogRecord> records;
        std::string csvPorts, xmlPorts;
    };
    const Case cases[] = {
        {"ports 1,2,3", {rec(1, 1, 1, kIn), rec(1, 1, 2, kIn), rec(1, 1, 3, kIn)}, "123", "23"},
        {"ports 2,1,3", {rec(1, 3, 2, kIn), rec(1, 3, 1, kIn), rec(1, 3, 3, kIn)}, "213", "23"},
        {"source only in range",
         {rec(1, 2, 1, kIn), rec(1, 2, 2, kOut), rec(2, 4, 1, kIn)},
         "1",
         "1"},
        {"source of another job is dropped", {rec(1, 1, 1, kIn), rec(2, 1, 2, kIn)}, "2", "2"},
        {"group change out of range drops the source",
         {rec(1, 1, 1, kIn), rec(2, 1, 5, kOut), rec(1, 1, 2, kIn)},
         "2",
         "2"},
        {"non-copy port 1", {rec(1, 5, 1, kIn), rec(1, 5, 2, kIn)}, "12", "12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string text = csv(c.records);
        EXPECT_EQ(text.substr(0, text.find("\r\n")), kCsvHeader);
        EXPECT_EQ(csvPorts(text), c.csvPorts);
        EXPECT_EQ(xmlPorts(xml(c.records)), c.xmlPorts);
    }
}

TEST(Export, EmptyDatabaseAndNothingInRange) {
    EXPECT_EQ(csv({}), "");
    EXPECT_EQ(xml({}), "");
    std::vector<LogRecord> out = {rec(1, 1, 2, kOut)};
    EXPECT_EQ(csv(out), std::string(kCsvHeader) + "\r\n");
    EXPECT_EQ(xml(out),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<TEST_REPORT>\r\n</TEST_REPORT>\r\n");
}

TEST(Export, QuotingAndEscaping) {
    EXPECT_EQ(csvField("plain text"), "plain text");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("x\ry"), "\"x\ry\"");
    EXPECT_EQ(xmlText("<&>\"'"), "&lt;&amp;&gt;\"'");
    EXPECT_EQ(xmlText("a\rb\x01\x1f\t\n"), "a&#13;b\xEF\xBF\xBD\xEF\xBF\xBD\t\n");
    EXPECT_EQ(xmlText("\xE9\xFF\x80"), "\xC3\xA9\xC3\xBF\xC2\x80");
}

// Drive texts that would break an unquoted or unescaped file.
const char* kNastyModels[] = {"WD, Blue",  "Say \"cheese\"", "<&>", "\xC9t\xE9",
                              "tab\there", "ctl\x01\x7f",    "\"",  ",,,"};

TEST(Export, RealParsersReadTheFilesBack) {
    if (!haveTool("python3") || !haveTool("xmllint")) GTEST_SKIP() << "python3/xmllint missing";
    std::vector<LogRecord> records;
    std::uint16_t port = 2;
    for (const char* m : kNastyModels) {
        LogRecord r = rec(1, 1, port++, kIn, m);
        r.setSerialNo(std::string("S,") + m);
        records.push_back(r);
    }
    fs::path dir = freshTestDir("export-test");
    {
        std::ofstream(dir / "out.csv", std::ios::binary) << csv(records);
        std::ofstream(dir / "out.xml", std::ios::binary) << xml(records);
    }
    bool ok = false;
    std::string fields = runCommand(
        "python3 -c \"import csv,sys\n"
        "rows=list(csv.reader(open(sys.argv[1],newline='',encoding='latin-1')))\n"
        "for r in rows[1:]: "
        "sys.stdout.buffer.write(('\\x1f'.join([str(len(r)),r[12],r[14]])+'\\x1e').encode('latin-1'"
        "))\" " +
            (dir / "out.csv").string(),
        &ok);
    ASSERT_TRUE(ok);
    std::string want;
    for (const char* m : kNastyModels)
        want += "15\x1f" + LogRecord('3').model() + m + "\x1fS," + m + "\x1e";
    // Trimmed texts: the leading/trailing blanks a drive pads with are gone.
    EXPECT_EQ(fields, want);
    runCommand("xmllint --noout " + (dir / "out.xml").string() + " 2>&1", &ok);
    EXPECT_TRUE(ok);
    std::string models = runCommand(
        "xmllint --xpath 'string(/TEST_REPORT/Record[3]/Model)' " + (dir / "out.xml").string(),
        &ok);
    if (!models.empty() && models.back() == '\n') models.pop_back();
    EXPECT_EQ(models, "<&>");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mx40d
