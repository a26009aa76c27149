#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "support/Fixtures.h"
#include "support/RecordingView.h"
#include "support/ScriptedMachine.h"

using namespace mx40d;
using namespace mx40d::testing;

using Names = std::vector<std::string>;

namespace {

class Controller : public ::testing::Test {
  protected:
    Controller() {
        machine.logQty = 25;
        machine.logStartNo = 1;
    }
    void connect() { controller.connect(machine.link(), main.sink(), debugDir, logDir, 3, 7); }
    bool runUntil(const std::function<bool()>& done, int limit = 20000) {
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            controller.step();
            clock.advance(10);
        }
        return done();
    }
    bool online() {
        return runUntil([&] { return controller.engine().phase() == MachineProtocol::kPolling; });
    }
    int polls() const {
        return static_cast<int>(std::count_if(machine.sent.begin(), machine.sent.end(),
                                              [](const Bytes& f) { return f[3] == 'B'; }));
    }
    // Whole polling cycles: `n` more status polls sent.
    void cycles(int n) {
        const int target = polls() + n;
        ASSERT_TRUE(runUntil([&] { return polls() >= target; }));
    }

    FakeClock clock{LocalTime{2026, 6, 15, 10, 0, 0, 1}};
    TempFolder folder;
    std::filesystem::path debugDir = folder.make("T");
    std::filesystem::path logDir = folder.make("D");
    RecordingView view;
    RecordingNotice notice;
    MainEvents main;
    ScriptedMachine machine;
    MachineController controller{clock, notice, &view};
};

std::string line(const char* text) {
    return std::string("2026-06-15 10:00:00: ") + text + "\n";
}

const std::string kOpenBanner = "\n" + std::string(60, '=') +
                                "\nOPEN Orvane DEBUG FILE at 2026-06-15 10:00:00\n" +
                                std::string(60, '=') + "\n";

}  // namespace

TEST_F(Controller, DebugLinesWaitInTheBufferUntilTheMachineIsKnown) {
    EXPECT_EQ(controller.debugBuffer(), kOpenBanner);
    EXPECT_FALSE(controller.active());
    connect();
    EXPECT_TRUE(controller.active());
    EXPECT_EQ(controller.usbSlot(), 3);
    EXPECT_EQ(controller.controllerIndex(), 7);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"openSheet Link..."}));
    EXPECT_EQ(controller.debugBuffer(),
              kOpenBanner + line("Device connect ! ") + line("Machine connect ! "));
    ASSERT_TRUE(online());

    // Event 1: main window told, debug file opened with the buffered lines, database opened,
    // panel built, clock requested.
    ASSERT_EQ(main.codes(), (std::vector<int>{MachineController::kOnLine}));
    EXPECT_EQ(main.all[0].controller, 7);
    EXPECT_EQ(main.all[0].number, 4);
    EXPECT_EQ(main.all[0].pointer, &controller.machineInfo());
    EXPECT_EQ(controller.machineInfo().machineId(), "AB12");
    EXPECT_EQ(controller.debugFilePath(), debugDir / "AB12(202606).txt");
    EXPECT_EQ(controller.logDatabasePath(), logDir / "AB12.MX40D.LOGDATA");
    EXPECT_TRUE(controller.debugBuffer().empty());
    const std::string file = readFile(debugDir / "AB12(202606).txt");
    EXPECT_EQ(file.rfind(kOpenBanner + line("Device connect ! ") + line("Machine connect ! ") +
                             "2026-06-15 10:00:02: deviceType = [51]\n",
                         0),
              0u);
    const auto later = [](const char* text) {
        return "2026-06-15 10:00:02: " + std::string(text) + "\n";
    };
    EXPECT_NE(file.find(later("Machine ID: [AB12]") + later("boardQty          = 2")),
              std::string::npos);
    EXPECT_NE(file.find(later("machineInfo->support_LogRecord = 1") +
                        later("machineInfo->Machine_LOG_startNo=1") +
                        later("machineInfo->Machine_LOG_nextNewNo  =25")),
              std::string::npos);
    EXPECT_EQ(controller.machineInfo().lastStoredLogNo(), -1);  // new, empty database
    // The panel is built and learns at once that no job runs (the status block is still 0).
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{"openSheet Link...",
                                        "buildPanel " + (logDir / "AB12.MX40D.LOGDATA").string(),
                                        "clear", "showJob 0,-1", "setIdle 1"}));
    EXPECT_TRUE(controller.engine().pending(MachineProtocol::Request::Clock));
    EXPECT_TRUE(notice.boxes.empty());

    // Clock, then the 25 records in batches of ten.
    cycles(5);
    EXPECT_EQ(main.count(MachineController::kClockSet), 1);
    EXPECT_EQ(main.count(MachineController::kLogRecordAdded), 25);
    ASSERT_EQ(view.logRecords.size(), 25u);
    EXPECT_EQ(controller.machineInfo().lastStoredLogNo(), 25);
    const std::string db = readFile(logDir / "AB12.MX40D.LOGDATA");
    ASSERT_EQ(db.size(), 512u + 25 * 256);
    for (std::uint32_t n = 1; n <= 25; ++n) {
        const Bytes r = logRecord(n);
        EXPECT_EQ(db.compare(512 + (n - 1) * 256, 256, std::string(r.begin(), r.end())), 0) << n;
        EXPECT_EQ(view.logRecords[n - 1], r);
    }
    EXPECT_NE(readFile(debugDir / "AB12(202606).txt").find("SET_MACHINE_CLOCK = [20260615"),
              std::string::npos);

    // Disconnect: page closed, main window told, file closed with its banner.
    controller.disconnect();
    EXPECT_FALSE(controller.active());
    EXPECT_FALSE(view.sheetOpen);
    EXPECT_EQ(main.codes().back(), MachineController::kOffLine);
    EXPECT_FALSE(controller.debugFileOpen());
    const std::string closed = readFile(debugDir / "AB12(202606).txt");
    const std::string tail =
        ": Machine disconnect ! \n\n" + std::string(60, '=') + "\nCLOSE Orvane DEBUG FILE at ";
    EXPECT_NE(closed.find(tail), std::string::npos);

    // The same slot connects again, over a new link: nothing is fetched twice.
    machine.sent.clear();
    machine.owed.clear();
    connect();
    EXPECT_EQ(controller.debugBuffer().rfind(
                  "\n" + std::string(60, '=') + "\nOPEN Orvane DEBUG FILE at ", 0),
              0u);
    ASSERT_TRUE(online());
    EXPECT_EQ(controller.machineInfo().lastStoredLogNo(), 25);
    cycles(3);
    EXPECT_EQ(readFile(logDir / "AB12.MX40D.LOGDATA").size(), 512u + 25 * 256);
    EXPECT_EQ(main.count(MachineController::kLogRecordAdded), 25);
}

TEST_F(Controller, DebugBufferHoldsAtMostSixtyFourKibibytes) {
    const std::size_t start = controller.debugBuffer().size();
    controller.writeText(std::string(70000, 'x'));  // longer than the buffer: dropped
    EXPECT_EQ(controller.debugBuffer().size(), start);
    for (int i = 0; i < 1000; ++i)
        controller.writeText(std::string(100, 'a'));
    const std::size_t size = controller.debugBuffer().size();
    EXPECT_LT(size + MachineController::kDebugLineReserve,
              MachineController::kDebugBufferSize + 122);
    EXPECT_GE(size + MachineController::kDebugLineReserve, MachineController::kDebugBufferSize);
    controller.writeText("late");
    EXPECT_EQ(controller.debugBuffer().size(), size);
}

TEST_F(Controller, MachineIdNamesFilesOnlyInsideTheirFolders) {
    struct Case {
        std::string id;
        std::string debugName;
        std::string logName;
    };
    const Case cases[] = {
        {"AB12", "AB12(202606).txt", "AB12.MX40D.LOGDATA"},
        {"../../escape", "..%2F..%2Fescape(202606).txt", "..%2F..%2Fescape.MX40D.LOGDATA"},
        {"/abs/path", "%2Fabs%2Fpath(202606).txt", "%2Fabs%2Fpath.MX40D.LOGDATA"},
        {"..", "%2E.(202606).txt", "%2E..MX40D.LOGDATA"},
        {"C:\\x\x01y", "C%3A%5Cx%01y(202606).txt", "C%3A%5Cx%01y.MX40D.LOGDATA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        TempFolder local("-ids");
        const auto t = local.make("box/T");
        const auto d = local.make("box/D");
        FakeClock clk{LocalTime{2026, 6, 15, 10, 0, 0, 1}};
        RecordingNotice n;
        MachineController mc{clk, n};
        ScriptedMachine m;
        m.machineId = c.id;
        m.logQty = 2;
        mc.connect(m.link(), nullptr, t, d, 0, 0);
        for (int i = 0; i < 5000 && mc.machineInfo().lastStoredLogNo() != 2; ++i) {
            mc.step();
            clk.advance(10);
        }
        EXPECT_EQ(mc.machineInfo().machineId(), c.id);
        EXPECT_EQ(local.files(),
                  (std::vector<std::string>{"box/D/" + c.logName, "box/T/" + c.debugName}));
    }
}

TEST_F(Controller, UnknownMachineKindIsIgnoredAtEventOne) {
    machine.deviceType = '7';
    connect();
    ASSERT_TRUE(online());
    cycles(3);
    EXPECT_TRUE(main.all.empty());
    EXPECT_FALSE(controller.debugFileOpen());
    EXPECT_TRUE(folder.files().empty());
    EXPECT_EQ(view.calls, (std::vector<std::string>{"openSheet Link..."}));
    EXPECT_FALSE(controller.engine().pending(MachineProtocol::Request::Clock));
    EXPECT_EQ(controller.currentJob(), -1);
}

TEST_F(Controller, UnusableDatabaseIsReportedOnceAndTheConnectionGoesOn) {
    {
        std::ofstream bad(logDir / "AB12.MX40D.LOGDATA", std::ios::binary);
        bad << std::string(600, 'z');
    }
    connect();
    ASSERT_TRUE(online());
    ASSERT_EQ(notice.boxes.size(), 1u);
    EXPECT_EQ(notice.boxes[0].first, "DATABASE");
    EXPECT_EQ(notice.boxes[0].second, "DATABASE_WRONG_TITLE");
    cycles(5);
    EXPECT_EQ(notice.boxes.size(), 1u);
    EXPECT_EQ(main.count(MachineController::kClockSet), 1);
    // The foreign file is left as it was; the records are shown once and not fetched again.
    EXPECT_EQ(readFile(logDir / "AB12.MX40D.LOGDATA"), std::string(600, 'z'));
    EXPECT_EQ(main.count(MachineController::kLogRecordAdded), 0);
    EXPECT_EQ(view.logRecords.size(), 25u);
    EXPECT_EQ(std::count_if(machine.sent.begin(), machine.sent.end(),
                            [](const Bytes& f) { return f[3] == 0x80; }),
              25);
}

TEST_F(Controller, RecordThatCannotBeStoredEndsTheBatchAndIsFetchedAgain) {
    connect();
    ASSERT_TRUE(online());
    const auto db = logDir / "AB12.MX40D.LOGDATA";
    const auto aside = logDir / "aside";
    // Records 1..10 arrive; then the database cannot be written for a while.
    ASSERT_TRUE(runUntil([&] { return controller.machineInfo().lastStoredLogNo() == 10; }));
    std::filesystem::rename(db, aside);
    std::filesystem::create_directory(db);
    const std::size_t sentBefore = machine.sent.size();
    cycles(3);
    EXPECT_EQ(controller.machineInfo().lastStoredLogNo(), 10);
    Names fetched;
    for (std::size_t i = sentBefore; i < machine.sent.size(); ++i)
        if (machine.sent[i][3] == 0x80)
            fetched.push_back(std::to_string(readBe32(machine.sent[i].data() + 4)));
    EXPECT_EQ(fetched, (Names{"11", "11"}));
    EXPECT_NE(
        readFile(controller.debugFilePath()).find("append_LogRecord FAIL: LOG No.11 not stored"),
        std::string::npos);
    std::filesystem::remove(db);
    std::filesystem::rename(aside, db);
    cycles(3);
    const std::string bytes = readFile(db);
    ASSERT_EQ(bytes.size(), 512u + 25 * 256);
    for (std::uint32_t n = 1; n <= 25; ++n)
        EXPECT_EQ(
            readBe32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 512 + (n - 1) * 256), n);
}

TEST_F(Controller, JobTrackingWalksTheStageTables) {
    struct Case {
        int job;
        std::vector<std::string> calls;
        const char* buttonsAtStage4;
    };
    const Case cases[] = {
        {1,
         {"clear", "showJob 1,0", "setIdle 0", "clear", "showJob 1,1", "showJob 1,2",
          "showJob 1,13", "report", "showJob 1,3", "showJob 1,14", "showJob 1,4"},
         "Next RUN|Finish"},
        {26,
         {"clear", "showJob 26,0", "setIdle 0", "clear", "showJob 26,2", "showJob 26,13",
          "showJob 26,3", "showJob 26,14", "report", "showJob 26,4"},
         "Next RUN|Finish"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job);
        machine = ScriptedMachine{};
        view.calls.clear();
        connect();
        ASSERT_TRUE(online());
        cycles(2);
        EXPECT_EQ(view.buttons.shownButtons(),
                  "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report");
        const std::size_t from = view.calls.size();
        // The machine runs the job and sits at its stage 4 (waiting for the operator).
        machine.jobCode = static_cast<std::uint8_t>(c.job);
        machine.stage = 4;
        ASSERT_TRUE(runUntil([&] { return controller.jobStage() == 4; }));
        cycles(2);
        EXPECT_EQ(view.jobCalls(from), c.calls);
        EXPECT_EQ(view.buttons.shownButtons(), c.buttonsAtStage4);
        // The job ends: start controls again, stage kept.
        machine.jobCode = 0;
        cycles(1);
        EXPECT_EQ(view.jobCalls(from + c.calls.size()),
                  (std::vector<std::string>{"clear", "showJob 0,4", "setIdle 1"}));
        EXPECT_EQ(controller.jobStage(), 4);
        EXPECT_EQ(view.buttons.shownButtons(),
                  "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report");
        controller.disconnect();
    }
}
