// A machine that refuses, repeats and interrupts: the controller and its engine on a simulated
// machine, each scenario on the fake clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/MachineFiles.h"
#include "shell/MachineRegistry.h"
#include "support/SimRig.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

using Names = std::vector<std::string>;

sim::SimMachineConfig duplicator(int records) {
    sim::SimMachineConfig c;
    c.kind = kDuplicatorKind;
    c.ports = 8;
    c.portsPerBoard = 4;
    c.machineId = "SIM-0042";
    c.nickname = "Line 3";
    c.prefilledRecords = records;
    c.driveSectors = 200000000;  // a copy that runs for minutes
    return c;
}

class Soundness : public ::testing::Test {
  protected:
    std::filesystem::path db() const { return logDir / "SIM-0042.MX40D.LOGDATA"; }
    static int count(const Names& names, const std::string& n) {
        return static_cast<int>(std::count(names.begin(), names.end(), n));
    }

    TempFolder folder;
    std::filesystem::path debugDir = folder.make("DEBUG_SESSION");
    std::filesystem::path logDir = folder.make("DATABASE");
};

}  // namespace

// The machine refuses record 2 for a minute while a job runs: the cycle never stalls, STOP
// still goes out, and once record 2 is served every record is stored once and in order.
TEST_F(Soundness, ARefusedRecordNeverStallsTheCycle) {
    SimRig rig(duplicator(5));
    rig.machine->refuseLogRecord(2, true);
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() == 1; }));
    ASSERT_TRUE(rig.machine->startJob(kJobCopy));

    const std::size_t from = rig.sent.size();
    rig.runFor(30000);
    Names names = rig.names(from);
    // Status polls at their pace (a cycle of poll, device reads and one record takes a few
    // tens of milliseconds), record 2 asked for again and again, nothing stored past it.
    EXPECT_GT(count(names, "B"), 100);
    EXPECT_GT(count(names, "L2"), 100);
    EXPECT_EQ(count(names, "L3"), 0);
    EXPECT_EQ(rig.controller.machineInfo().lastStoredLogNo(), 1);
    EXPECT_EQ(SimRig::storedNumbers(db()), (std::vector<std::uint32_t>{1}));

    // STOP pressed meanwhile is sent.
    const std::size_t stopFrom = rig.sent.size();
    rig.controller.engine().requestJob(JobRequest::Stop);
    rig.runFor(30000);
    EXPECT_EQ(count(rig.names(stopFrom), "RC"), 1);
    EXPECT_EQ(rig.machine->stage(), kStageEnd);

    rig.machine->refuseLogRecord(2, false);
    ASSERT_TRUE(rig.runUntil([&] {
        return static_cast<std::uint32_t>(rig.controller.machineInfo().lastStoredLogNo()) ==
               rig.machine->logStartNo() + rig.machine->logQty() - 1;
    }));
    rig.runFor(2000);
    EXPECT_TRUE(rig.databaseMatchesMachine(db()));
    const std::string debug = readFile(rig.controller.debugFilePath());
    EXPECT_NE(debug.find("[LOG No.2 not served]"), std::string::npos);
}

// A record that left the machine's range while it was refused is passed over.
TEST_F(Soundness, ARefusedRecordThatLeavesTheRangeIsPassedOver) {
    sim::SimMachineConfig config = duplicator(5);
    config.logCapacity = 5;
    SimRig rig(config);
    rig.machine->refuseLogRecord(2, true);
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() == 1; }));
    rig.runFor(3000);
    // Two new records push 1 and 2 out of the machine's five.
    for (int i = 0; i < 2; ++i) {
        LogRecord r(kDuplicatorKind);
        r.setPortNo(1);
        rig.machine->appendLogRecord(r);
    }
    ASSERT_EQ(rig.machine->logStartNo(), 3u);
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() == 7; }));
    EXPECT_EQ(SimRig::storedNumbers(db()), (std::vector<std::uint32_t>{1, 3, 4, 5, 6, 7}));
}

namespace {
struct StartupFault {
    const char* name;
    sim::FaultKind kind;
    std::int64_t param;
};
class StartupFaults : public Soundness, public ::testing::WithParamInterface<StartupFault> {};
}  // namespace

// Every start-up command's answer is hit by the fault; event 1 still carries the machine's
// true information.
TEST_P(StartupFaults, EventOneCarriesTheMachinesTrueInformation) {
    const StartupFault& f = GetParam();
    sim::SimMachineConfig config = duplicator(3);
    config.machineId = "AB12";  // as long as the board summary answer
    config.ports = 60;
    config.portsPerBoard = 2;  // 30 boards: two "W" 3 requests
    SimRig rig(config);
    rig.machine->injectFault(kCmdMachineInfo, f.kind, f.param);
    for (const int sub : {kW_MachineId, kW_BoardSummary, kW_Boards, kW_Boards, kW_Nickname,
                          kW_LogSupport, kW_LogRange, kW_LogRangeDone})
        rig.machine->injectFault(kCmdMachineData, f.kind, f.param, sub);
    MachineInfo atEventOne;
    int boardsAtEventOne = 0;
    rig.events.hook = [&](int code) {
        if (code != MachineController::kOnLine) return;
        atEventOne = rig.controller.machineInfo();
        boardsAtEventOne = rig.controller.engine().boardCount();
    };
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    EXPECT_EQ(rig.machine->pendingFaults(), 0u);
    EXPECT_EQ(atEventOne.machineId(), "AB12");
    EXPECT_EQ(atEventOne.modelName(), "MX40D-SIM");
    EXPECT_EQ(atEventOne.maxDeviceQty(), 60);
    EXPECT_EQ(atEventOne.boardQty(), 30);
    EXPECT_EQ(atEventOne.portQty_per_board(), 2);
    EXPECT_EQ(atEventOne.portQty_per_Row(), 4);
    EXPECT_EQ(boardsAtEventOne, 30);
    EXPECT_EQ(atEventOne.nickName(), "Line 3");
    EXPECT_EQ(atEventOne.support_LogRecord(), 1);
    EXPECT_EQ(atEventOne.Machine_LOG_startNo(), 1);
    EXPECT_EQ(atEventOne.Machine_LOG_nextNewNo(), 3);
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() == 3; }));
    rig.runFor(20000);
    EXPECT_TRUE(rig.databaseMatchesMachine(logDir / "AB12.MX40D.LOGDATA"));
}

INSTANTIATE_TEST_SUITE_P(
    Soundness, StartupFaults,
    ::testing::Values(StartupFault{"Duplicated", sim::FaultKind::DuplicateAnswer, 0},
                      StartupFault{"Late", sim::FaultKind::LateAnswer, 7000},
                      StartupFault{"WrongLength", sim::FaultKind::WrongLength, 0},
                      StartupFault{"Runt", sim::FaultKind::RuntAnswer, 0}),
    [](const ::testing::TestParamInfo<StartupFault>& info) {
        return std::string(info.param.name);
    });

// A message box inside event 1 during which the machine goes away: nothing is built for the
// connection that ended, and the next connection of the controller is whole.
TEST_F(Soundness, DisconnectedInsideEventOne) {
    std::filesystem::create_directories(db());  // a folder where the database should be
    SimRig rig(duplicator(3));
    rig.notice.onBox = [&] { rig.pullOut(); };
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.runUntil([&] { return !rig.notice.boxes.empty(); }));
    EXPECT_EQ(rig.notice.boxes[0].first, "DATABASE");
    EXPECT_FALSE(rig.controller.active());
    EXPECT_FALSE(rig.view.sheetOpen);
    EXPECT_FALSE(rig.view.panelBuilt);
    EXPECT_FALSE(rig.controller.engine().pending(MachineProtocol::Request::Clock));

    std::filesystem::remove(db());
    rig.notice.onBox = nullptr;
    ASSERT_TRUE(rig.backend.plug(SimRig::kPath));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    EXPECT_TRUE(rig.view.sheetOpen);
    EXPECT_TRUE(rig.view.panelBuilt);
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() == 3; }));
    EXPECT_TRUE(rig.databaseMatchesMachine(db()));
}

// The machine served before was running a job: the next machine's panel starts from its own
// status, idle, with the start buttons shown at once.
TEST_F(Soundness, TheStatusOfTheMachineBeforeIsForgottenAtConnect) {
    SimRig rig(duplicator(0));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    ASSERT_TRUE(rig.machine->startJob(kJobCopy));
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.currentJob() == kJobCopy; }));
    rig.pullOut();
    ASSERT_TRUE(rig.machine->stopJob());
    rig.runFor(100);
    ASSERT_TRUE(rig.machine->finishJob());

    ASSERT_TRUE(rig.backend.plug(SimRig::kPath));
    const std::size_t from = rig.view.calls.size();
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.runUntil([&] { return rig.view.panelBuilt; }));
    EXPECT_EQ(rig.controller.statusBlock()[wire::status::kJobCode], 0);
    const Names calls = rig.view.jobCalls(from);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(Names(calls.begin(), calls.begin() + 3),
              (Names{"clear", "showJob 0,-1", "setIdle 1"}));
    EXPECT_EQ(rig.view.buttons.shownButtons(),
              "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report");
}

// A message of three bytes ahead of the answer: the link is read on and the answer taken at
// once, not after a time-out and a repetition.
TEST_F(Soundness, AnAnswerBehindARuntIsTakenAtOnce) {
    SimRig rig(duplicator(0));
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    rig.runFor(1000);
    rig.machine->injectFault(kCmdStatus, sim::FaultKind::RuntAnswer);
    const std::size_t from = rig.sent.size();
    rig.runFor(300);
    EXPECT_EQ(rig.machine->pendingFaults(), 0u);
    const Names names = rig.names(from);
    EXPECT_GE(count(names, "B"), 2);  // the cycle went on
    const std::string debug = readFile(rig.controller.debugFilePath());
    EXPECT_EQ(debug.find("[Cmd Time Out]"), std::string::npos);
}

// An ID with a blank, parentheses and '#' names every file of the machine exactly, and the
// report tool finds its log by that ID in the DATABASE folder.
TEST_F(Soundness, AnIdThatIsASafeFileNameKeepsItThroughTheWholePath) {
    sim::SimMachineConfig config = duplicator(4);
    config.machineId = "MX40D 0012 (B) #1";
    SimRig rig(config);
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() == 4; }));
    const std::string id = config.machineId;
    EXPECT_EQ(rig.controller.logDatabasePath(), logDir / (id + ".MX40D.LOGDATA"));
    EXPECT_TRUE(std::filesystem::is_regular_file(logDir / (id + ".MX40D.LOGDATA")));
    EXPECT_TRUE(std::filesystem::is_regular_file(debugDir / (id + "(202612).txt")));
    EXPECT_EQ(machinefiles::panelLayout(logDir, id), logDir / (id + ".mx4d-2.par"));
    EXPECT_EQ(machinefiles::machineWindowLayout(logDir, id), logDir / (id + ".mx4d.par"));
    EXPECT_EQ(machinefiles::logWindowSettings(logDir, id), logDir / (id + ".mx4D.log.par"));

    // The tool, as an operator runs it on that folder (the machine in the registry the
    // monitor keeps there).
    MachineRegistry registry;
    ASSERT_EQ(registry.create(logDir / "ORVANE_MX40D.DB7"), DatabaseResult::Pass);
    int index = -1;
    MachineInfo info = rig.controller.machineInfo();
    ASSERT_TRUE(registry.add(info, index));
    int code = -1;
    const std::string out =
        runCommand(std::string(MX40D_REPORT_TOOL) + " --database " + logDir.string() +
                       " --machine-id '" + id + "' --from 2000-01-01 --to 2255-12-31 --format csv",
                   nullptr, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1 + 4);  // the header and four rows
}

// A log database an earlier version named with the broader escaping ("%20" for a blank) is
// taken over under the new name, and the download goes on after its newest record.
TEST_F(Soundness, ALogDatabaseOfTheEarlierNameIsTakenOver) {
    sim::SimMachineConfig config = duplicator(5);
    config.machineId = "MX40D 0012";
    {
        SimRig first(config);
        ASSERT_TRUE(first.plugIn(debugDir, logDir));
        ASSERT_TRUE(first.online());
        first.machine->refuseLogRecord(3, true);
        ASSERT_TRUE(
            first.runUntil([&] { return first.controller.machineInfo().lastStoredLogNo() == 2; }));
    }
    std::filesystem::rename(logDir / "MX40D 0012.MX40D.LOGDATA",
                            logDir / "MX40D%200012.MX40D.LOGDATA");
    SimRig rig(config);
    ASSERT_TRUE(rig.plugIn(debugDir, logDir));
    ASSERT_TRUE(rig.online());
    ASSERT_TRUE(rig.runUntil([&] { return rig.controller.machineInfo().lastStoredLogNo() == 5; }));
    rig.runFor(2000);
    EXPECT_FALSE(std::filesystem::exists(logDir / "MX40D%200012.MX40D.LOGDATA"));
    EXPECT_TRUE(rig.databaseMatchesMachine(logDir / "MX40D 0012.MX40D.LOGDATA"));
}
