#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/SimRig.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

using Names = std::vector<std::string>;

sim::SimMachineConfig duplicator(int records = 25, int ports = 8) {
    sim::SimMachineConfig c;
    c.kind = kDuplicatorKind;
    c.ports = ports;
    c.portsPerBoard = 4;
    c.machineId = "SIM-0042";
    c.nickname = "Line 3";
    c.prefilledRecords = records;
    c.logStartNo = 1;
    c.driveSectors = 2000000;  // five seconds of copying
    return c;
}

class EndToEnd : public ::testing::Test {
  protected:
    std::filesystem::path db() const { return logDir / "SIM-0042.MX40D.LOGDATA"; }
    static bool contains(const Names& names, const Names& run) {
        return std::search(names.begin(), names.end(), run.begin(), run.end()) != names.end();
    }
    static std::size_t indexOf(const Names& names, const std::string& n, std::size_t from = 0) {
        return static_cast<std::size_t>(
            std::find(names.begin() + static_cast<long>(from), names.end(), n) - names.begin());
    }
    // Runs until the database holds every record the machine holds.
    static bool allStored(SimRig& rig, std::int64_t limitMs = 600000) {
        return rig.runUntil(
            [&] {
                const auto last = rig.machine->logStartNo() + rig.machine->logQty() - 1;
                return rig.machine->logQty() == 0 ||
                       static_cast<std::uint32_t>(rig.controller.machineInfo().lastStoredLogNo()) ==
                           last;
            },
            limitMs);
    }

    TempFolder folder;
    std::filesystem::path debugDir = folder.make("DEBUG_SESSION");
    std::filesystem::path logDir = folder.make("DATABASE");
};

}  // namespace

TEST_F(EndToEnd, DuplicatorIsReadOutItsClockSetAndItsLogDownloaded) {
    SimRig rig(duplicator());
    std::string bufferAtEventOne;
    MachineInfo infoAtEventOne;
    rig.events.hook = [&](int code) {
        if (code != MachineController::kOnLine) return;
        bufferAtEventOne = rig.controller.debugBuffer();
        infoAtEventOne = rig.controller.machineInfo();
    };
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());

    // The start-up texts waited in the buffer until event 1.
    for (const char* text :
         {": Device connect ! \n", ": Machine connect ! \n", ": deviceType = [51]\n",
          ": modelName  = [MX40D-SIM]\n", ": Machine ID: [SIM-0042]\n", ": Board List:\n",
          ": nickName = [Line 3]\n", ": LOG_startNo=1\n", ": LOG_qty    =25\n"})
        EXPECT_NE(bufferAtEventOne.find(text), std::string::npos) << text;

    // Everything the start-up read is in the record handed up with event 1.
    const MachineInfo& info = infoAtEventOne;
    EXPECT_EQ(info.deviceType(), '3');
    EXPECT_EQ(info.modelName(), "MX40D-SIM");
    EXPECT_EQ(info.version(), "v1.2.3");
    EXPECT_EQ(info.controller_version_MAJOR(), 1);
    EXPECT_EQ(info.controller_version_SUB(), 2);
    EXPECT_EQ(info.controller_version_MINOR(), 3);
    EXPECT_EQ(info.maxDeviceQty(), 8);
    EXPECT_EQ(info.systemTotalBufferSize(), 1024);
    EXPECT_EQ(info.machineId(), "SIM-0042");
    EXPECT_EQ(info.nickName(), "Line 3");
    EXPECT_EQ(info.boardQty(), 2);
    EXPECT_EQ(info.portQty_per_board(), 4);
    EXPECT_EQ(info.portQty_per_Row(), 4);
    EXPECT_EQ(info.layoutKind(), 1);
    EXPECT_EQ(info.featureFlag(1), 1);
    EXPECT_EQ(info.support_LogRecord(), 1);
    EXPECT_EQ(info.Machine_LOG_startNo(), 1);
    EXPECT_EQ(info.Machine_LOG_nextNewNo(), 25);
    EXPECT_EQ(rig.controller.engine().boardCount(), 2);

    ASSERT_TRUE(allStored(rig));
    rig.runFor(1000);
    const Names names = rig.names();
    // The clock is set before the first status poll.
    EXPECT_EQ(Names(names.begin(), names.begin() + 11),
              (Names{"A", "W1", "W2", "W3", "W4", "W20", "W22", "W21", "W12", "block", "B"}));
    EXPECT_EQ(rig.events.count(MachineController::kClockSet), 1);
    EXPECT_EQ(clockText(rig.machine->machineClock()).substr(0, 12),
              clockText(rig.clock.localTime()).substr(0, 12));
    // Ten records per idle cycle, into the database byte for byte, and onto the panel.
    EXPECT_EQ(rig.logBatches(), (Names{"L1..L10", "L11..L20", "L21..L25"}));
    EXPECT_TRUE(rig.databaseMatchesMachine(db()));
    EXPECT_EQ(rig.events.count(MachineController::kLogRecordAdded), 25);
    ASSERT_EQ(rig.view.logRecords.size(), 25u);
    for (std::uint32_t n = 1; n <= 25; ++n) {
        const auto& want = rig.machine->logRecord(n)->bytes();
        EXPECT_TRUE(std::equal(want.begin(), want.end(), rig.view.logRecords[n - 1].begin())) << n;
    }
    EXPECT_TRUE(rig.notice.boxes.empty());
}

TEST_F(EndToEnd, ClockRefusedStillEndsWithEventTwo) {
    sim::SimMachineConfig config = duplicator(0);
    config.acceptsClock = false;
    SimRig rig(config);
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    rig.runFor(2000);
    const Names names = rig.names();
    const std::size_t w12 = indexOf(names, "W12");
    ASSERT_LT(w12 + 1, names.size());
    EXPECT_EQ(names[w12 + 1], "B");
    EXPECT_EQ(std::count(names.begin(), names.end(), "block"), 0);
    EXPECT_EQ(rig.events.count(MachineController::kClockSet), 1);
    // LOG_qty 0: no log command at all.
    EXPECT_TRUE(rig.logBatches().empty());
}

TEST_F(EndToEnd, CopyRunTracksItsStagesAndRequestsWaitForTheirTurn) {
    SimRig rig(duplicator(0, 12));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    rig.runFor(1000);
    MachineProtocol& engine = rig.controller.engine();
    const std::size_t jobFrom = rig.view.calls.size();
    const std::size_t sentFrom = rig.sent.size();

    // Copy and Compare together while idle: Copy goes now; Compare waits while the job runs.
    engine.raise(MachineProtocol::Request::Copy);
    engine.raise(MachineProtocol::Request::Compare);
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine->stage() == kStageEnd; }));
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.jobStage() == 4; }));
    ASSERT_TRUE(allStored(rig));
    rig.runFor(2000);
    Names names = rig.names(sentFrom);
    EXPECT_EQ(std::count(names.begin(), names.end(), "R1"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "R2"), 0);
    EXPECT_TRUE(engine.pending(MachineProtocol::Request::Compare));

    // Stage table A, one test report, and the buttons of stage 4.
    EXPECT_EQ(rig.view.jobCalls(jobFrom),
              (Names{"clear", "showJob 1,0", "setIdle 0", "clear", "showJob 1,1", "showJob 1,2",
                     "showJob 1,13", "report", "showJob 1,3", "showJob 1,14", "showJob 1,4"}));
    EXPECT_EQ(rig.view.buttons.shownButtons(), "Next RUN|Finish");
    // All "D" records of 12 ports in reads of five; at stage 4 no device reads at all.
    EXPECT_TRUE(contains(names, {"D1+5", "D6+5", "D11+2"}));
    EXPECT_TRUE(contains(names, {"E1+12"}));
    const std::size_t atStage4 = rig.sent.size();
    rig.runFor(3000);
    for (const auto& n : rig.names(atStage4))
        EXPECT_TRUE(n[0] != 'D' && n[0] != 'E') << n;
    // The run's twelve records came one per cycle while the job ran.
    EXPECT_EQ(rig.logBatches(sentFrom),
              (Names{"L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "L10", "L11", "L12"}));
    EXPECT_TRUE(rig.databaseMatchesMachine(db()));

    // "Finish": the job ends, the start buttons come back and the waiting Compare goes out.
    const std::size_t finishFrom = rig.sent.size();
    rig.view.buttons.setIdle(false);  // what the panel does when the button is pressed
    EXPECT_EQ(rig.view.buttons.shownButtons(), "STOP");
    engine.raise(MachineProtocol::Request::Finish);
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine->jobCode() == 2; }));
    names = rig.names(finishFrom);
    ASSERT_LT(indexOf(names, "RA"), indexOf(names, "R2"));

    // STOP raised while idle waits for a job, then ends it.
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine->stage() == kStageEnd; }));
    engine.raise(MachineProtocol::Request::Finish);
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine->jobCode() == 0; }));
    rig.runFor(1000);
    EXPECT_EQ(rig.view.buttons.shownButtons(),
              "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report");
    const std::size_t stopFrom = rig.sent.size();
    engine.raise(MachineProtocol::Request::Stop);
    rig.runFor(3000);
    EXPECT_EQ(indexOf(rig.names(stopFrom), "RC"), rig.names(stopFrom).size());
    ASSERT_TRUE(rig.machine->startJob(1));
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine->stage() == kStageEnd; }, 3000));
    EXPECT_LT(indexOf(rig.names(stopFrom), "RC"), rig.names(stopFrom).size());
    ASSERT_TRUE(allStored(rig));
    EXPECT_TRUE(rig.databaseMatchesMachine(db()));
}

TEST_F(EndToEnd, GetIdRunTracksStageTableB) {
    SimRig rig(duplicator(0));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    rig.runFor(1000);
    const std::size_t jobFrom = rig.view.calls.size();
    rig.controller.engine().raise(MachineProtocol::Request::GetId);
    // Right after the job starts only "STOP" shows; the first stage change hides it.
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.currentJob() == 26; }));
    EXPECT_EQ(rig.view.buttons.shownButtons(), "STOP");
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.jobStage() == 2; }));
    EXPECT_EQ(rig.view.buttons.shownButtons(), "");
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.jobStage() == 4; }));
    rig.runFor(2000);
    EXPECT_EQ(rig.view.jobCalls(jobFrom),
              (Names{"clear", "showJob 26,0", "setIdle 0", "clear", "showJob 26,2", "showJob 26,13",
                     "showJob 26,3", "showJob 26,14", "report", "showJob 26,4"}));
    EXPECT_EQ(rig.view.buttons.shownButtons(), "Next RUN|Finish");
}

TEST_F(EndToEnd, LogWindowFollowsTheMachinesRange) {
    // A database holding records 1..5 of this machine.
    {
        SimRig first(duplicator(5));
        ASSERT_TRUE(first.plugIn(debugDir, logDir));
        ASSERT_TRUE(first.online());
        ASSERT_TRUE(allStored(first));
    }
    struct Case {
        const char* name;
        std::uint32_t startNo;
        int records;
        Names batches;
    };
    const Case cases[] = {
        // The newest stored record (5) fell out of the machine's range 10..12.
        {"restart at LOG_startNo", 10, 3, {"L10..L12"}},
        // The machine's counter was reset: it holds 1..3 now, older than what is stored.
        {"counter reset", 1, 3, {"L1..L3"}},
        {"nothing new", 1, 3, {}},
    };
    std::vector<std::uint32_t> expected = SimRig::storedNumbers(db());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimMachineConfig config = duplicator(c.records);
        config.logStartNo = c.startNo;
        config.seed = c.startNo + 7;
        SimRig rig(config);
        ASSERT_TRUE(rig.plugIn(debugDir, logDir));
        ASSERT_TRUE(rig.online());
        rig.runFor(3000);
        EXPECT_EQ(rig.logBatches(), c.batches);
        for (const auto& b : c.batches) {
            (void)b;
            for (int i = 0; i < c.records; ++i)
                expected.push_back(c.startNo + static_cast<std::uint32_t>(i));
        }
        EXPECT_EQ(SimRig::storedNumbers(db()), expected);
    }
}

namespace {

struct FaultCase {
    const char* name;
    int command;  // command code whose next answer is hit
    sim::FaultKind kind;
    std::int64_t param;
    int repeat;            // how many answers in a row are hit
    const char* evidence;  // a debug text the fault must leave, if any
};

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class FaultScenario : public EndToEnd, public ::testing::WithParamInterface<FaultCase> {};

}  // namespace

TEST_P(FaultScenario, EveryRecordEndsUpInTheDatabaseOnceAndInOrder) {
    const FaultCase& c = GetParam();
    SimRig rig(duplicator(25));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() >= 12; }));
    for (int i = 0; i < c.repeat; ++i)
        rig.machine->injectFault(c.command, c.kind, c.param);
    ASSERT_TRUE(allStored(rig));
    rig.runFor(20000);  // late and duplicated answers have all arrived by now
    EXPECT_EQ(rig.machine->pendingFaults(), 0u);
    const std::string debug = readFile(rig.controller.debugFilePath());
    // The debug file shows how the fault was met.
    if (c.evidence != nullptr) {
        EXPECT_GE(count(debug, c.evidence), 1) << c.evidence;
    }
    EXPECT_TRUE(rig.databaseMatchesMachine(db()));
    EXPECT_EQ(rig.events.count(MachineController::kLogRecordAdded), 25);
    // The engine still polls.
    const std::size_t from = rig.sent.size();
    rig.runFor(1000);
    EXPECT_GT(rig.names(from).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultScenario,
    ::testing::Values(
        FaultCase{"LateRecord", 0x80, sim::FaultKind::LateAnswer, 7000, 1, "[Answer set aside]"},
        FaultCase{"LateRecordsInARow", 0x80, sim::FaultKind::LateAnswer, 6500, 3, "[Cmd Time Out]"},
        FaultCase{"LateStatus", 'B', sim::FaultKind::LateAnswer, 8000, 1, "[Answer set aside]"},
        FaultCase{"NoAnswer", 0x80, sim::FaultKind::NoAnswer, 0, 2, "[Cmd Time Out]"},
        FaultCase{"CorruptCheck", 0x80, sim::FaultKind::CorruptCheck, 0, 3, "[Wrong CRC32]"},
        FaultCase{"WrongLength", 0x80, sim::FaultKind::WrongLength, 0, 2,
                  "[Wrong Data come in Length]"},
        FaultCase{"WrongHeader", sim::kAnyCommand, sim::FaultKind::WrongHeader, 0, 2,
                  "[Wrong Data come in]"},
        FaultCase{"SplitAnswer", 0x80, sim::FaultKind::SplitAnswer, 25, 3, nullptr},
        FaultCase{"DuplicatedRecord", 0x80, sim::FaultKind::DuplicateAnswer, 0, 2,
                  "[Answer set aside]"},
        FaultCase{"DuplicatedStatus", 'B', sim::FaultKind::DuplicateAnswer, 0, 2,
                  "[Answer set aside]"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(EndToEnd, UnplugAndReplugMidDownload) {
    SimRig rig(duplicator(25));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    // Pulled out while the request for record 13 is on its way.
    ASSERT_TRUE(rig.runUntil([&] { return SimRig::nameOf(rig.sent.back()) == "L13"; }));
    rig.pullOut();
    EXPECT_EQ(rig.events.codes().back(), MachineController::kOffLine);
    rig.runFor(2000);
    ASSERT_TRUE(rig.backend.plug(SimRig::kPath));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    ASSERT_TRUE(allStored(rig));
    rig.runFor(2000);
    EXPECT_TRUE(rig.databaseMatchesMachine(db()));
    EXPECT_EQ(rig.events.count(MachineController::kOnLine), 2);
}

TEST_F(EndToEnd, EraserLogIsDownloadedToo) {
    sim::SimMachineConfig config = duplicator(12);
    config.kind = kEraserKind;
    config.machineId = "ERASER-7";
    SimRig rig(config);
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    EXPECT_EQ(rig.controller.machineInfo().deviceType(), '5');
    EXPECT_EQ(rig.controller.machineInfo().featureFlag(1), 0);
    ASSERT_TRUE(allStored(rig));
    EXPECT_EQ(rig.logBatches(), (Names{"L1..L10", "L11..L12"}));
    EXPECT_TRUE(rig.databaseMatchesMachine(logDir / "ERASER-7.MX40D.LOGDATA"));
    EXPECT_EQ(rig.view.buttons.shownButtons(), "Change Machine Name|Generate Log Report");
}
