// The machine panel's port grid as state, fed with device records as the machine sends them.
#include <gtest/gtest.h>

#include <vector>

#include "machine_ui/PortTable.h"
#include "protocol/WireLayout.h"
#include "support/Fixtures.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

struct Drive {
    std::uint8_t state = 3;
    bool present = true;
    std::uint64_t copyDone = 0, copyTotal = 0, eraseDone = 0, sectors = 976773168;
    std::uint32_t speedTime = 1000000, speedSectors = 204800;
    std::uint8_t eraseResult = 0, failed = 0, loop = 0, pattern = 0;
    std::uint16_t sectorSize = 512;
    std::string model = "ST500", version = "CC45", serial = "Z1";
};

std::vector<std::uint8_t> entry(const Drive& d, bool withInfo = true) {
    DeviceStatus s;
    s.setPortState(d.state);
    s.setPresent(d.present ? 1 : 0);
    s.setCopyDone(d.copyDone);
    s.setCopyTotal(d.copyTotal);
    s.setEraseDone(d.eraseDone);
    s.setSpeedTime(d.speedTime);
    s.setSpeedSectors(d.speedSectors);
    s.setEraseResult(d.eraseResult);
    s.setFailed(d.failed);
    s.setEraseLoop(d.loop);
    s.setErasePattern(d.pattern);
    std::vector<std::uint8_t> out(s.data(), s.data() + DeviceStatus::kSize);
    if (withInfo) {
        DeviceInfo i;
        i.setSectorCount(d.sectors);
        i.setSectorSize(d.sectorSize);
        i.setModel(d.model);
        i.setVersion(d.version);
        i.setSerialNo(d.serial);
        out.insert(out.end(), i.data(), i.data() + DeviceInfo::kSize);
    }
    return out;
}

void feed(PortTable& t, int job, int first, const std::vector<Drive>& drives, bool full = true) {
    std::vector<std::uint8_t> bytes;
    for (const Drive& d : drives) {
        const auto e = entry(d, full);
        bytes.insert(bytes.end(), e.begin(), e.end());
    }
    t.setJob(job);
    t.applyDeviceBlock(job, {full ? 0 : 1, first, static_cast<int>(drives.size()), bytes.data()});
}

std::vector<std::string> row(const PortTable& t, int port) {
    std::vector<std::string> out;
    for (int c = 1; c < PortTable::kColumns; ++c)
        out.push_back(t.cell(c, port + 1));
    return out;
}

}  // namespace

TEST(PortTable, RowsByJobAndState) {
    struct Case {
        const char* name;
        int job;
        Drive drive;
        std::vector<std::string> row;  // Status .. Serial No.
    };
    Drive copying;
    copying.state = 5;
    copying.copyDone = 250069680;  // half of the source
    copying.copyTotal = 500139360;
    Drive noTotal = copying;
    noTotal.copyTotal = 0;
    Drive turningOn;
    turningOn.state = 2;
    Drive erasing;
    erasing.state = 7;
    erasing.eraseDone = 488386584;
    erasing.eraseResult = 13;
    erasing.loop = 2;
    erasing.pattern = 0x00;
    Drive passed = erasing;
    passed.eraseResult = 15;
    Drive failedErase = erasing;
    failedErase.eraseResult = 16;
    Drive secure;
    secure.state = 8;
    Drive idOk;
    idOk.state = 1;
    Drive idFail = idOk;
    idFail.failed = 1;
    Drive copyDoneFail = idFail;
    const std::string cap = "466GB";
    const Case cases[] = {
        {"copy progress and speed",
         kJobCopy,
         copying,
         {"WRITE", "50.00%(119GB)", " 100.00", cap, "ST500", "CC45", "Z1"}},
        {"copyTotal 0: speed, no progress",
         kJobCopy,
         noTotal,
         {"WRITE", "", " 100.00", cap, "ST500", "CC45", "Z1"}},
        {"turning on: an empty row", kJobCopy, turningOn, {"", "", "", "", "", "", ""}},
        {"7-pass erase, third pass over 00",
         kJobErase7Pass,
         erasing,
         {"Loop3,Data(00)", "50.00%(233GB)", " 100.00", cap, "ST500", "CC45", "Z1"}},
        {"erase passed: PASS, no speed",
         kJobErase7Pass,
         passed,
         {"ERASE", "PASS", "", cap, "ST500", "CC45", "Z1"}},
        {"erase failed",
         kJobFullErase,
         failedErase,
         {"ERASE", "FAIL", "", cap, "ST500", "CC45", "Z1"}},
        {"single-pass erase keeps the state name",
         kJobFullErase,
         erasing,
         {"ERASE", "50.00%(233GB)", " 100.00", cap, "ST500", "CC45", "Z1"}},
        {"security erase",
         kJobSecurityErase,
         secure,
         {"SECURITY ERASE", "erasing", "", cap, "ST500", "CC45", "Z1"}},
        {"get ID: no Status, PASS", kJobGetId, idOk, {"", "PASS", "", cap, "ST500", "CC45", "Z1"}},
        {"get ID: FAIL", kJobGetId, idFail, {"", "FAIL", "", cap, "ST500", "CC45", "Z1"}},
        {"copy done and failed",
         kJobCopy,
         copyDoneFail,
         {" ", "FAIL", "", cap, "ST500", "CC45", "Z1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PortTable t;
        t.setup(8);
        feed(t, c.job, 0, {c.drive});
        EXPECT_EQ(row(t, 0), c.row);
        const auto expected = c.row[1] == "PASS"   ? PortTable::Colour::Pass
                              : c.row[1] == "FAIL" ? PortTable::Colour::Fail
                                                   : PortTable::Colour::Normal;
        EXPECT_EQ(t.colour(PortTable::kProgress, 1), expected);
    }
}

TEST(PortTable, GetIdLeavesARowWithoutADriveAsItWas) {
    PortTable t;
    t.setup(8);
    Drive d;
    d.state = 4;
    d.copyTotal = 100;
    feed(t, kJobCopy, 3, {d});
    const auto before = row(t, 3);
    Drive absent;
    absent.present = false;
    absent.model = "OTHER";
    feed(t, kJobGetId, 3, {absent});
    EXPECT_EQ(row(t, 3), before);
}

TEST(PortTable, ErasePassesRepaintOnlyWhatChanged) {
    PortTable t;
    t.setup(8);
    Drive d;
    d.state = 7;
    d.eraseResult = 13;
    d.eraseDone = 1000;
    feed(t, kJobFullErase, 0, {d});  // the result is new: the whole row
    feed(t, kJobFullErase, 0, {d});  // then the state is: the whole row again
    t.takeChangedRows();
    // Same result and state: only the status cells move on, the drive texts stay.
    d.eraseDone = 2000;
    d.model = "CHANGED";
    feed(t, kJobFullErase, 0, {d});
    EXPECT_EQ(t.cell(PortTable::kModel, 1), "ST500");
    EXPECT_EQ(t.takeChangedRows(), std::vector<int>{1});
    // Result 15 with the state unchanged: the whole row, once; then nothing more.
    d.eraseResult = 15;
    feed(t, kJobFullErase, 0, {d});
    EXPECT_EQ(t.cell(PortTable::kModel, 1), "CHANGED");
    EXPECT_EQ(t.cell(PortTable::kProgress, 1), "PASS");
    t.takeChangedRows();
    feed(t, kJobFullErase, 0, {d});
    EXPECT_TRUE(t.takeChangedRows().empty());
}

TEST(PortTable, BlocksAreIgnoredWholeWhenIdleOrPastTheLastPort) {
    PortTable t;
    t.setup(8);
    Drive d;
    d.state = 4;
    feed(t, kJobCopy, 5, {d, d, d, d, d});  // ports 5 to 9 of 8
    for (int p = 0; p < 8; ++p)
        EXPECT_EQ(t.cell(PortTable::kStatus, p + 1), "") << p;
    feed(t, kJobIdle, 0, {d});
    EXPECT_EQ(t.cell(PortTable::kStatus, 1), "");
    // "E" records update the status part only.
    feed(t, kJobCopy, 0, {d});
    d.state = 6;
    feed(t, kJobCopy, 0, {d}, false);
    EXPECT_EQ(t.cell(PortTable::kStatus, 1), "COMPARE");
    t.clearPortTable();
    EXPECT_EQ(row(t, 0), std::vector<std::string>(7, ""));
    EXPECT_EQ(t.cell(PortTable::kPort, 1), " 01");
}

TEST(PortTable, AnyDeviceRecordIsBounded) {
    // Texts without NUL, all 0xFF, sector size 0, counts at their maximum, 512 ports.
    PortTable t;
    t.setup(512);
    std::vector<std::uint8_t> ff(kDeviceEntrySize * 5, 0xFF);
    t.setJob(kJobCopy);
    t.applyDeviceBlock(kJobCopy, {0, 507, 5, ff.data()});
    EXPECT_EQ(t.cell(PortTable::kModel, 508).size(), DeviceInfo::kModelSize);
    Drive zero;
    zero.state = 7;
    zero.sectorSize = 0;
    zero.sectors = 0;
    feed(t, kJobErase7Pass, 0, {zero});
    EXPECT_EQ(t.cell(PortTable::kCapacity, 1), "");
    PortTable big;
    big.setup(100000);
    EXPECT_EQ(big.ports(), 512);
}

TEST(PortTable, TestReportOfTheDrivesPresentIsValidXml) {
    PortTable t;
    t.setup(8);
    Drive d;
    d.state = 1;
    Drive odd = d;
    odd.model = "Disk & <Co>";
    odd.serial = "S\"1'";
    Drive absent;
    absent.present = false;
    feed(t, kJobCopy, 0, {absent, d, absent, absent, odd, absent});
    const std::string x = t.testReport();
    EXPECT_EQ(x.substr(0, 55), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<TEST_REPORT>\r\n");
    EXPECT_NE(x.find("  <Record>\r\n    <PortNo>2</PortNo>\r\n    <Model>ST500</Model>\r\n    "
                     "<Version>CC45</Version>\r\n    <SerialNo>Z1</SerialNo>\r\n  </Record>\r\n"),
              std::string::npos)
        << x;
    EXPECT_NE(x.find("<PortNo>5</PortNo>\r\n    <Model>Disk &amp; &lt;Co&gt;</Model>"),
              std::string::npos);
    EXPECT_EQ(x.find("<PortNo>1</PortNo>"), std::string::npos);
    EXPECT_EQ(x.substr(x.size() - 16), "</TEST_REPORT>\r\n");
    TempFolder dir;
    const auto file = dir.root() / "report.xml";
    writeFile(file, "the old report");
    ASSERT_TRUE(t.writeTestReport(file));
    EXPECT_EQ(readFile(file), x);
    EXPECT_EQ(dir.files(), std::vector<std::string>{"report.xml"});  // no temporary left
    EXPECT_FALSE(t.writeTestReport(dir.root() / "missing" / "r.xml"));
    if (haveTool("xmllint")) {
        bool ok = false;
        runCommand("xmllint --noout " + file.string() + " 2>&1", &ok);
        EXPECT_TRUE(ok);
    }
}

TEST(PanelLayout, ReadAndWrite) {
    TempFolder dir;
    const auto file = dir.root() / "M1.mx4d-2.par";
    ASSERT_TRUE(
        writePanelLayout(file, "M1", 280, {10, 20, 30, 40, 50, 60, 70, 80}, "/data/out put.xml"));
    EXPECT_EQ(readFile(file),
              "M1 \n280 \n8 \n10 \n20 \n30 \n40 \n50 \n60 \n70 \n80 \n/data/out put.xml\n");
    struct Case {
        const char* name;
        std::string text;
        int height;
        int width0;
        std::string output;
    };
    const Case cases[] = {
        {"as written", readFile(file), 280, 10, "/data/out put.xml"},
        {"another machine", "M2 \n280 \n8 \n10 \n", 300, 50, ""},
        {"25 columns keep the defaults", "M1 \n280 \n25 \n10 \n20 \n", 280, 50, ""},
        {"empty last line", "M1 \n280 \n2 \n11 \n22 \n\n", 280, 11, ""},
        {"fewer widths than counted", "M1 \n280 \n8 \n11 \n", 280, 11, ""},
        {"CR LF and blanks", "M1 \r\n280 \r\n1 \r\n9 \r\n  /x.xml  \r\n", 280, 9, "/x.xml"},
        {"garbage", "M1\n\xff\xfe\n", 300, 50, ""},
        {"hostile numbers", "M1 \n-5 \n1 \n99999999 \n", 300, 100, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(file, c.text);
        const PanelLayout l = readPanelLayout(file, "M1");
        EXPECT_EQ(l.panelHeight, c.height);
        EXPECT_EQ(l.columnWidths[0], c.width0);
        EXPECT_EQ(l.columnWidths[7], c.name == std::string("as written") ? 80 : 375);
        EXPECT_EQ(l.outputFile, c.output);
    }
    EXPECT_EQ(readPanelLayout(dir.root() / "none", "M1").panelHeight, 300);
}
