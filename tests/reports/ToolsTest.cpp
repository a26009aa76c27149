#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "protocol/MachineInfo.h"
#include "reports/LogDatabase.h"
#include "shell/MachineRegistry.h"
#include "support/Fixtures.h"

namespace fs = std::filesystem;
using namespace mx40d::testing;

namespace mx40d {
namespace {

class ToolsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = freshTestDir(std::string("tools-") +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        db_ = logdb::logFilePath(dir_, "DUP-7");
        ASSERT_TRUE(create_LogDatabase(db_));
        for (std::uint16_t port = 1; port <= 3; ++port) {
            LogRecord r('3');
            r.setIndexNo(port);
            r.setJobGroupNo(1);
            r.setJobCode(1);
            r.setPortNo(port);
            r.setSectorSize(512);
            r.setCapacity(1000000);
            r.setModel(port == 2 ? "Disk, \"A\" <&>" : "Disk (B)");
            r.setDate({26, 12, 10, 8, 0, 0});
            ASSERT_EQ(append_LogRecord(db_, r.data(), kLogRecordSize), DatabaseResult::Pass);
        }
    }
    void TearDown() override { fs::remove_all(dir_); }

    int report(const std::string& args) {
        bool ok = false;
        std::string out = runCommand(std::string(MX40D_REPORT_TOOL) + " --db " + db_.string() +
                                         " " + args + " >/dev/null 2>&1; echo $?",
                                     &ok);
        return std::stoi(out);
    }
    int verify(const fs::path& file) {
        return std::stoi(runCommand(std::string(MX40D_VERIFY_TOOL) + " " + file.string() +
                                    " >/dev/null 2>&1; echo $?"));
    }
    static std::string readAll(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_, db_;
};

TEST_F(ToolsTest, ReportFormatsAndExitCodes) {
    const std::string range = " --kind 3 --from 2026-12-01 --to 2026-12-31";
    for (const char* format : {"text", "protected", "csv", "xml", "pdf"}) {
        fs::path out = dir_ / (std::string("out.") + format);
        EXPECT_EQ(report(range + " --format " + format + " --out " + out.string()), 0) << format;
        EXPECT_GT(fs::file_size(out), 0u) << format;
    }
    EXPECT_NE(readAll(dir_ / "out.text").find(" Machine ID     : DUP-7\r\n"), std::string::npos);
    if (haveTool("xmllint")) {
        bool ok = false;
        runCommand("xmllint --noout " + (dir_ / "out.xml").string(), &ok);
        EXPECT_TRUE(ok);
    }
    if (haveTool("qpdf")) {
        bool ok = false;
        runCommand("qpdf --check " + (dir_ / "out.pdf").string(), &ok);
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(report("--kind 3 --from 2026-12-31 --to 2026-12-01 --format text"), 2);
    EXPECT_EQ(report(range + " --format text --out " + (dir_ / "no" / "x").string()), 5);
    EXPECT_EQ(report(range + " --format html"), 1);
    EXPECT_EQ(report("--kind 5 --from 2026-12-01 --to 2026-12-31 --format csv"), 1);
    EXPECT_EQ(report(range + " --format protected --out " + (dir_ / "x").string() +
                     " --from 2025-01-01 --to 2025-01-01"),
              0);  // a duplicator report always has its header
    std::ofstream(db_, std::ios::binary | std::ios::app) << "partial";
    EXPECT_EQ(report(range + " --format csv --out " + (dir_ / "p.csv").string()), 0);
    std::ofstream(db_, std::ios::binary | std::ios::trunc) << "not a database";
    EXPECT_EQ(report(range + " --format text"), 4);
    fs::remove(db_);
    EXPECT_EQ(report(range + " --format text"), 3);
}

TEST_F(ToolsTest, MachineFromTheRegistry) {
    const fs::path reg = dir_ / "ORVANE_MX40D.DB7";
    {
        MachineRegistry registry;
        ASSERT_EQ(registry.create(reg), DatabaseResult::Pass);
        MachineInfo other, info;
        other.setMachineId("OTHER");
        info.setMachineId("DUP-7");
        info.setDeviceType('3');
        info.set_support_LogRecord(1);
        info.setNickName("Bench line 7");
        info.setVersion("v2.5");
        int index = 0;
        ASSERT_TRUE(registry.add(other, index));
        ASSERT_TRUE(registry.add(info, index));
    }
    const fs::path out = dir_ / "r.txt";
    const std::string range = " --from 2026-12-01 --to 2026-12-31 --format text --out ";
    EXPECT_EQ(report("--registry " + reg.string() + range + out.string()), 0);
    const std::string text = readAll(out);
    EXPECT_NE(text.find(" Machine Name   : Bench line 7\r\n"), std::string::npos);
    EXPECT_NE(text.find(" Machine Version: 2.5\r\n"), std::string::npos);
    EXPECT_EQ(report("--registry " + reg.string() + " --machine-id NOPE" + range + out.string()),
              1);
    EXPECT_EQ(report("--registry " + (dir_ / "none").string() + range + out.string()), 1);
}

// The monitor's DATABASE folder as a new user points the tool at it: the machine found by its
// ID through the same file-name rule the monitor uses, also for an ID with a blank.
TEST_F(ToolsTest, DatabaseFolderListAndHelp) {
    const fs::path dir = dir_ / "DATABASE";
    fs::create_directories(dir);
    const std::string id = "MX40D 0012";
    {
        MachineRegistry registry;
        ASSERT_EQ(registry.create(dir / "ORVANE_MX40D.DB7"), DatabaseResult::Pass);
        MachineInfo info;
        info.setMachineId(id);
        info.setDeviceType('3');
        info.set_support_LogRecord(1);
        info.setNickName("Bay 12");
        info.setVersion("v1.0.0");
        MachineInfo eraser;
        eraser.setMachineId("ERA#2");
        eraser.setDeviceType('5');
        eraser.setModelName("MX40E");
        int index = 0;
        ASSERT_TRUE(registry.add(info, index));
        ASSERT_TRUE(registry.add(eraser, index));
    }
    ASSERT_EQ(dir / "MX40D 0012.MX40D.LOGDATA", logdb::logFilePath(dir, id));
    fs::copy_file(db_, logdb::logFilePath(dir, id));

    const std::string tool = std::string(MX40D_REPORT_TOOL) + " --database " + dir.string();
    int code = -1;
    std::string out = runCommand(
        tool + " --machine-id '" + id + "' --from 2026-12-01 --to 2026-12-31 --format text 2>&1",
        nullptr, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find(" Machine ID     : MX40D 0012\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" Machine Name   : Bay 12\r\n"), std::string::npos);

    out = runCommand(tool + " --list 2>&1", nullptr, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("1    MX40D 0012"), std::string::npos) << out;
    EXPECT_NE(out.find("Bay 12"), std::string::npos);
    EXPECT_NE(out.find("duplicator 3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("2    ERA#2"), std::string::npos);
    EXPECT_NE(out.find("MX40E"), std::string::npos);
    EXPECT_NE(out.find("eraser     -\n"), std::string::npos) << out;

    // A machine the registry does not know needs its kind.
    out = runCommand(tool +
                         " --machine-id NOPE --from 2026-12-01 --to 2026-12-31 --format text "
                         "2>&1",
                     nullptr, &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("machine NOPE is not in the registry"), std::string::npos) << out;
    EXPECT_NE(out.find("--kind"), std::string::npos);

    out = runCommand(std::string(MX40D_REPORT_TOOL) + " --help 2>/dev/null", nullptr, &code);
    EXPECT_EQ(code, 0);
    for (const char* word : {"--database", "--machine-id", "--list", "--db", "--registry", "--kind",
                             "--from", "--to", "--format", "--out",
                             "both days are "
                             "included",
                             "Exit codes:"})
        EXPECT_NE(out.find(word), std::string::npos) << word;
    out = runCommand(std::string(MX40D_REPORT_TOOL) + " --frm 2026-01-01 2>&1", nullptr, &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("unknown option --frm"), std::string::npos) << out;
}

TEST_F(ToolsTest, DatesAreRealCalendarDatesARecordCanHold) {
    struct Case {
        const char* date;
        int code;
    };
    for (const Case& c : {Case{"2024-02-29", 0}, Case{"2023-02-29", 1}, Case{"2026-04-31", 1},
                          Case{"2026-13-01", 1}, Case{"1999-12-31", 1}, Case{"2255-12-31", 0},
                          Case{"2256-01-01", 1}, Case{"2026-1-01", 1}, Case{"26-01-01", 1},
                          Case{"2026-01-01x", 1}}) {
        EXPECT_EQ(
            report(std::string("--kind 3 --format text --from ") + c.date + " --to " + c.date),
            c.code)
            << c.date;
    }
}

// The JSON export read back with a JSON parser and checked against the database.
TEST_F(ToolsTest, JsonExportReadsBackAsTheDatabaseHoldsIt) {
    if (!haveTool("python3")) GTEST_SKIP() << "python3 missing";
    const fs::path out = dir_ / "out.json";
    ASSERT_EQ(
        report("--kind 3 --from 2026-12-01 --to 2026-12-31 --format json --out " + out.string()),
        0);
    const std::string check = runCommand(
        "python3 -c \"import json,sys; d=json.load(open(sys.argv[1], encoding='utf-8')); "
        "m=d['machine']; r=d['records']; "
        "print(m['machineId'], m['kind'], len(r), r[1]['shownNo'], r[1]['portNo'], "
        "r[1]['model'], r[1]['capacity']['sectors'], r[1]['capacity']['bytes'], r[0]['job'], "
        "r[0]['start'], r[2]['passed'])\" " +
        out.string() + " 2>&1");
    EXPECT_EQ(check,
              "DUP-7 duplicator 3 3 2 Disk, \"A\" <&> 1000000 512000000 COPY "
              "2026-12-10T08:00:00 True\n");
    // Out of range: an empty list; an eraser's database gives its own fields.
    ASSERT_EQ(
        report("--kind 3 --from 2025-01-01 --to 2025-01-02 --format json --out " + out.string()),
        0);
    EXPECT_EQ(runCommand("python3 -c \"import json,sys; print(len(json.load(open(sys.argv[1]))"
                         "['records']))\" " +
                         out.string()),
              "0\n");
    const fs::path era = logdb::logFilePath(dir_, "ERA-1");
    ASSERT_TRUE(create_LogDatabase(era));
    LogRecord e('5');
    e.setIndexNo(9);
    e.setPortNo(4);
    e.setSectorSize(512);
    e.setIdNumber(1, 77);
    e.setBadSectorQty(3);
    e.setMachineIdText("ERA-\xE9");
    e.setDate({26, 12, 10, 8, 0, 0});
    ASSERT_EQ(append_LogRecord(era, e.data(), kLogRecordSize), DatabaseResult::Pass);
    bool ok = false;
    runCommand(std::string(MX40D_REPORT_TOOL) + " --db " + era.string() +
                   " --kind 5 --from 2026-12-10 --to 2026-12-10 --format json --out " +
                   out.string(),
               &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(runCommand("python3 -c \"import json,sys; r=json.load(open(sys.argv[1], "
                         "encoding='utf-8'))['records'][0]; print(r['idNumber1'], "
                         "r['badSectorQty'], r['machineIdText'] == 'ERA-\\u00e9')\" " +
                         out.string()),
              "77 3 True\n");
}

TEST_F(ToolsTest, VerifySeesEditsAndCuts) {
    fs::path saved = dir_ / "saved.txt";
    ASSERT_EQ(report(" --kind 3 --from 2026-12-01 --to 2026-12-31 --format protected --out " +
                     saved.string()),
              0);
    EXPECT_EQ(verify(saved), 0);
    const std::string bytes = readAll(saved);
    fs::path edited = dir_ / "edited.txt";
    for (std::size_t at :
         {std::size_t{0}, bytes.size() / 2, bytes.size() - 100, bytes.size() - 1}) {
        std::string e = bytes;
        e[at] = static_cast<char>(e[at] ^ 0x01);
        std::ofstream(edited, std::ios::binary | std::ios::trunc) << e;
        EXPECT_EQ(verify(edited), 1) << at;
    }
    std::ofstream(edited, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() - 1);
    EXPECT_EQ(verify(edited), 1);
    std::ofstream(edited, std::ios::binary | std::ios::trunc) << "just some text\r\n";
    EXPECT_EQ(verify(edited), 2);
    EXPECT_EQ(verify(dir_ / "missing.txt"), 3);
    // A folder is no file: a clear message and exit 3, never an abort.
    int code = -1;
    const std::string out =
        runCommand(std::string(MX40D_VERIFY_TOOL) + " " + dir_.string() + " 2>&1", nullptr, &code);
    EXPECT_EQ(code, 3);
    EXPECT_NE(out.find("is a folder"), std::string::npos) << out;
    EXPECT_EQ(runCommand(std::string(MX40D_VERIFY_TOOL) + " --help | grep -c 'Exit codes'"), "1\n");
}

}  // namespace
}  // namespace mx40d
