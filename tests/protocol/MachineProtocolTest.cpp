#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "protocol/MachineProtocol.h"
#include "support/ScriptedMachine.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

using Names = std::vector<std::string>;

// The engine on a scripted machine, with the owner's part played by the fixture: it keeps
// the status copy and job code current at event 41 and stores log record numbers.
class Engine : public ::testing::Test {
  protected:
    void start() {
        engine.setLogRecordSink([this](int size, const std::uint8_t* r) {
            ASSERT_EQ(size, static_cast<int>(kLogRecordSize));
            records.push_back(readBe32(r));
            info.setLastStoredLogNo(static_cast<std::int32_t>(readBe32(r)));
        });
        engine.start(
            machine.link(), [this](const std::string& t) { texts.push_back(t); },
            [this](int code, int number, const void* p) { onEvent(code, number, p); });
    }
    void onEvent(int code, int number, const void* p) {
        events.push_back(code);
        if (code == kEventMachineInfo) {
            EXPECT_EQ(number, 4);
            EXPECT_EQ(p, &info);
            info.setLastStoredLogNo(storedAtStart);
        }
        if (code == kEventStatus) {
            MachineStatus s;
            std::memcpy(s.bytes.data(), p, kMachineStatusSize);
            engine.setStatusCopy(s.hostBytes());
            engine.setJobCode(s.jobCode());
        }
        if (code == kEventDeviceInfo || code == kEventDeviceStatus) {
            const auto* e = static_cast<const DeviceBlockEvent*>(p);
            deviceBlocks.push_back({e->kind, e->firstIndex, e->count});
        }
    }
    // Steps every 10 ms until the condition holds (false after `limit` steps).
    bool runUntil(const std::function<bool()>& done, int limit = 2000) {
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            engine.step();
            clock.advance(10);
        }
        return done();
    }
    bool startUp() {
        start();
        return runUntil([this] { return engine.phase() == MachineProtocol::kPolling; });
    }
    // Runs `n` whole polling cycles from the next status poll on, up to the poll after them.
    void cycles(int n) {
        const auto polls = [this] {
            int k = 0;
            for (const auto& f : machine.sent)
                k += f[0] == 0x40 && f[3] == 'B';
            return k;
        };
        const bool begun = !machine.sent.empty() && machine.sent.back()[0] == 0x40 &&
                           machine.sent.back()[3] == 'B';
        const int target = polls() + n + (begun ? 0 : 1);
        ASSERT_TRUE(runUntil([&] { return polls() >= target; }));
    }
    Names sentAfterStartUp() const {
        Names all = machine.commandNames();
        return Names(all.begin() + static_cast<long>(startUpCommands), all.end());
    }
    void markStartUpDone() { startUpCommands = machine.sent.size(); }

    FakeClock clock{LocalTime{2026, 12, 10, 9, 30, 0, 4}};
    MachineInfo info;
    MachineProtocol engine{info, clock};
    ScriptedMachine machine;
    std::vector<std::string> texts;
    std::vector<int> events;
    std::vector<std::uint32_t> records;
    struct Block {
        int kind, first, count;
        bool operator==(const Block&) const = default;
    };
    std::vector<Block> deviceBlocks;
    std::int32_t storedAtStart = -1;
    std::size_t startUpCommands = 0;
};

}  // namespace

TEST_F(Engine, StartUpReadsTheMachineInOrderAndRaisesEventOne) {
    machine.logQty = 25;
    machine.logStartNo = 1;
    ASSERT_TRUE(startUp());
    EXPECT_EQ(machine.commandNames(), (Names{"A", "W1", "W2", "W3", "W4", "W20", "W22", "W21"}));
    EXPECT_EQ(events, (std::vector<int>{kEventMachineInfo}));
    const std::vector<std::string> expected = {
        "Device connect ! ",
        "deviceType = [51]",
        "modelName  = [MX40D SCRIPTED]",
        "version    = [v1.2.3]",
        "controller_version_MAJOR = [1]",
        "controller_version_SUB   = [2]",
        "controller_version_MINOR = [3]",
        "maxDeviceQty          = 12",
        "systemTotalBufferSize = 512",
        "Machine ID: [AB12]",
        "boardQty          = 2",
        "portQty_per_board = 6",
        "portQty_per_Row   = 4",
        "Board List:",
        "01 BOARD-1,REV-A, [FPGA:1A2B], 256MB, totalDeviceQty=6,0 Build[77]",
        "02 BOARD-2,REV-A, [FPGA:1A2B], 256MB, totalDeviceQty=6,0 Build[77]",
        "=============================",
        "nickName = [Bench 1]",
        "LOG_startNo=1",
        "LOG_qty    =25",
    };
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(info.machineId(), "AB12");
    EXPECT_EQ(info.support_LogRecord(), 1);
    EXPECT_EQ(info.Machine_LOG_startNo(), 1);
    EXPECT_EQ(info.Machine_LOG_nextNewNo(), 25);
    EXPECT_EQ(info.boardQty(), 2);
    EXPECT_EQ(info.featureFlag(1), 1);
    EXPECT_EQ(info.inUse(), 0);
    EXPECT_EQ(engine.boardCount(), 2);
}

TEST_F(Engine, FirstCommandLeavesOneToTwoSecondsAfterStart) {
    struct Case {
        int second;
        int ms;       // milliseconds into that second
        int firstAt;  // expected second (0..59) the "A" goes out
    };
    for (const Case c : {Case{0, 0, 2}, Case{58, 0, 0}, Case{59, 990, 1}}) {
        SCOPED_TRACE(c.second);
        FakeClock clk{LocalTime{2026, 12, 10, 9, 30, c.second, 4}};
        clk.advance(c.ms);
        MachineInfo mi;
        MachineProtocol e{mi, clk};
        ScriptedMachine m;
        e.start(m.link(), nullptr, nullptr);
        for (int i = 0; i < 1000 && m.sent.empty(); ++i) {
            e.step();
            if (m.sent.empty()) clk.advance(10);
        }
        ASSERT_EQ(m.sent.size(), 1u);
        EXPECT_EQ(clk.localTime().second, c.firstAt);
    }
}

TEST_F(Engine, BoardListIsReadInRequestsOfTwentyFiveAndBounded) {
    struct Case {
        int boardQty;
        Names boardRequests;
        int stored;
    };
    const Case cases[] = {
        {0, {"1+0"}, 0},
        {60, {"1+25", "26+25", "51+10"}, 60},
        // More boards than the list holds: read up to the 256th, no further.
        {300,
         {"1+25", "26+25", "51+25", "76+25", "101+25", "126+25", "151+25", "176+25", "201+25",
          "226+25", "251+6"},
         256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.boardQty);
        FakeClock clk;
        MachineInfo mi;
        MachineProtocol e{mi, clk};
        ScriptedMachine m;
        m.boardQty = c.boardQty;
        std::vector<std::string> lines;
        e.start(
            m.link(), [&](const std::string& t) { lines.push_back(t); }, nullptr);
        for (int i = 0; i < 5000 && e.phase() != MachineProtocol::kPolling; ++i) {
            e.step();
            clk.advance(10);
        }
        Names requests;
        for (const auto& f : m.sent)
            if (f[3] == 'W' && f[4] == kW_Boards)
                requests.push_back(std::to_string(f[5] | (f[6] << 8)) + "+" + std::to_string(f[7]));
        EXPECT_EQ(requests, c.boardRequests);
        EXPECT_EQ(e.boardCount(), c.stored);
        EXPECT_EQ(mi.boardQty(), c.boardQty);
        if (c.boardQty == 0) {
            const auto at = std::find(lines.begin(), lines.end(), "Board List:");
            ASSERT_NE(at, lines.end());
            EXPECT_EQ(*(at + 1), "=============================");
        }
    }
}

TEST_F(Engine, MachineWithoutLogGetsNoLogRangeCommands) {
    machine.logSupportStatus = 1;
    ASSERT_TRUE(startUp());
    EXPECT_EQ(machine.commandNames(), (Names{"A", "W1", "W2", "W3", "W4", "W20"}));
    EXPECT_EQ(info.support_LogRecord(), 0);
    EXPECT_FALSE(engine.logSupported());
    markStartUpDone();
    cycles(2);
    EXPECT_EQ(sentAfterStartUp(), (Names{"B", "B", "B"}));
}

TEST_F(Engine, LogDownloadWindow) {
    struct Case {
        const char* name;
        std::int32_t stored;
        std::uint32_t startNo, qty;
        std::uint8_t job;
        int cycles;
        Names expected;  // commands after start-up, status polls left out
    };
    const Case cases[] = {
        {"empty database, idle: 1-10, 11-20, 21-25",
         -1,
         1,
         25,
         0,
         4,
         {"L1",  "L2",  "L3",  "L4",  "L5",  "L6",  "L7",  "L8",  "L9",  "L10", "L11", "L12", "L13",
          "L14", "L15", "L16", "L17", "L18", "L19", "L20", "L21", "L22", "L23", "L24", "L25"}},
        {"empty database, job running: one record per cycle", -1, 1, 25, 5, 3, {"L1", "L2", "L3"}},
        {"stored 0, machine holds 5 to 9", 0, 5, 5, 0, 1, {"L5", "L6", "L7", "L8", "L9"}},
        {"stored 30, counter reset to 1 to 12",
         30,
         1,
         12,
         0,
         1,
         {"L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "L10"}},
        {"restart at LOG_startNo when the newest stored record fell out",
         3,
         10,
         3,
         0,
         1,
         {"L10", "L11", "L12"}},
        {"nothing missing", 25, 1, 25, 0, 2, {}},
        {"LOG_qty 0", -1, 1, 0, 0, 2, {}},
        {"LOG_qty 0 while a job runs", -1, 1, 0, 5, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clk;
        MachineInfo mi;
        MachineProtocol e{mi, clk};
        ScriptedMachine m;
        m.logStartNo = c.startNo;
        m.logQty = c.qty;
        m.jobCode = c.job;
        m.stage = 4;  // no device reads while a job runs
        int polls = 0;
        e.setLogRecordSink([&](int, const std::uint8_t* r) {
            mi.setLastStoredLogNo(static_cast<std::int32_t>(readBe32(r)));
        });
        e.start(m.link(), nullptr, [&](int code, int, const void* p) {
            if (code == kEventMachineInfo) mi.setLastStoredLogNo(c.stored);
            if (code == kEventStatus) {
                MachineStatus s;
                std::memcpy(s.bytes.data(), p, kMachineStatusSize);
                e.setStatusCopy(s.hostBytes());
                e.setJobCode(s.jobCode());
                e.setJobStage(4);
                ++polls;
            }
        });
        for (int i = 0; i < 5000 && !(polls > c.cycles && e.idle()); ++i) {
            e.step();
            clk.advance(10);
        }
        Names got;
        for (const auto& n : m.commandNames())
            if (n[0] == 'L') got.push_back(n);
        EXPECT_EQ(got, c.expected);
        if (c.job != 0 && c.qty != 0) {
            EXPECT_EQ(mi.Machine_LOG_nextNewNo(), 25);
        }
    }
}

TEST_F(Engine, DeviceReadsFollowTheJobStage) {
    struct Case {
        int stage;
        int maxDevices;
        Names reads;
        std::vector<Block> blocks;
    };
    const Case cases[] = {
        {1, 12, {"D1+1"}, {{0, 0, 1}}},
        {2, 12, {"D1+5", "D6+5", "D11+2"}, {{0, 0, 5}, {0, 5, 5}, {0, 10, 2}}},
        {13, 5, {"D1+5"}, {{0, 0, 5}}},
        {0, 3, {"D1+3"}, {{0, 0, 3}}},
        {3, 20, {"E1+15", "E16+5"}, {{1, 0, 15}, {1, 15, 5}}},
        {14, 12, {"E1+12"}, {{1, 0, 12}}},
        {4, 12, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        machine = ScriptedMachine{};
        machine.maxDeviceQty = c.maxDevices;
        machine.jobCode = 1;
        machine.logQty = 0;
        events.clear();
        deviceBlocks.clear();
        info.clear();
        ASSERT_TRUE(startUp());
        engine.setJobStage(c.stage);
        markStartUpDone();
        cycles(1);
        cycles(1);
        Names reads;
        for (const auto& n : sentAfterStartUp())
            if (n[0] == 'D' || n[0] == 'E') reads.push_back(n);
        // Two cycles: the same pass twice.
        Names once(reads.begin(), reads.begin() + static_cast<long>(reads.size() / 2));
        EXPECT_EQ(once, c.reads);
        std::vector<Block> first(deviceBlocks.begin(),
                                 deviceBlocks.begin() + static_cast<long>(deviceBlocks.size() / 2));
        EXPECT_EQ(first, c.blocks);
        const auto passes = std::count(events.begin(), events.end(), kEventDevicePass);
        EXPECT_EQ(passes, c.stage == 4 ? 0 : 2);
        engine.stop();
    }
}

TEST_F(Engine, RequestsWinInOrderAndWaitForTheirMachineState) {
    ASSERT_TRUE(startUp());
    markStartUpDone();
    engine.raise(MachineProtocol::Request::Compare);
    engine.raise(MachineProtocol::Request::Copy);
    engine.raise(MachineProtocol::Request::Stop);
    cycles(3);
    // Copy in this cycle, Compare in the next; STOP waits for a job.
    EXPECT_EQ(sentAfterStartUp(), (Names{"B", "R1", "B", "R2", "B", "B"}));
    EXPECT_TRUE(engine.pending(MachineProtocol::Request::Stop));
    EXPECT_EQ(std::count(events.begin(), events.end(), kEventJobAnswer), 2);

    machine.jobCode = 1;
    machine.stage = 4;
    engine.setJobStage(4);
    engine.raise(MachineProtocol::Request::GetId);  // waits while the job runs
    cycles(2);
    EXPECT_EQ(sentAfterStartUp(), (Names{"B", "R1", "B", "R2", "B", "B", "RC", "B", "B"}));
    EXPECT_TRUE(engine.pending(MachineProtocol::Request::GetId));
    EXPECT_FALSE(engine.pending(MachineProtocol::Request::Stop));
}

TEST_F(Engine, ClockIsSetBeforeTheStatusPollAndEventTwoFollowsEvenWhenRefused) {
    for (const std::uint8_t status : {std::uint8_t{'A'}, std::uint8_t{'N'}}) {
        SCOPED_TRACE(status);
        machine = ScriptedMachine{};
        machine.clockStatus = status;
        events.clear();
        texts.clear();
        ASSERT_TRUE(startUp());
        markStartUpDone();
        cycles(1);
        clock.setLocalTime(LocalTime{2026, 12, 10, 9, 41, 7, 4});
        engine.requestClockSet();
        EXPECT_EQ(engine.machineClock(), "20261210094107");
        cycles(1);
        if (status == 'A') {
            EXPECT_EQ(sentAfterStartUp(), (Names{"B", "B", "W12", "block", "B"}));
            const std::string block = std::string("#\x00\x12\x00", 4) + "20261210094107";
            EXPECT_EQ(machine.sent[startUpCommands + 3], Bytes(block.begin(), block.end()));
        } else {
            EXPECT_EQ(sentAfterStartUp(), (Names{"B", "B", "W12", "B"}));
        }
        EXPECT_EQ(std::count(events.begin(), events.end(), kEventClockSet), 1);
        EXPECT_NE(
            std::find(texts.begin(), texts.end(), "SET_MACHINE_CLOCK = [20261210094107] Finish !"),
            texts.end());
        engine.stop();
    }
}

TEST_F(Engine, NicknameBlockCarriesTheFirstFiftySixBytes) {
    ASSERT_TRUE(startUp());
    markStartUpDone();
    engine.setNickname(std::string(70, 'n'));
    cycles(2);
    ASSERT_EQ(sentAfterStartUp(), (Names{"B", "W5", "block", "B", "B"}));
    const Bytes& block = machine.sent[startUpCommands + 2];
    ASSERT_EQ(block.size(), 60u);
    EXPECT_EQ(readBe16(block.data() + 1), 60);
    EXPECT_EQ(std::count(block.begin() + 4, block.end(), 'n'), 56);
}

TEST_F(Engine, AnAnswerThatIsNotTheRecordAskedForEndsTheBatch) {
    machine.logQty = 3;
    ASSERT_TRUE(startUp());
    markStartUpDone();
    // Hold the machine's answers back from here on and play them by hand.
    machine.autoAnswer = false;
    ASSERT_TRUE(runUntil([&] { return !machine.sent.empty() && machine.sent.back()[3] == 'B'; }));
    machine.pending.push_back(machine.answerTo(machine.sent.back()));
    ASSERT_TRUE(runUntil([&] { return machine.sent.back()[3] == 0x80; }));
    ASSERT_EQ(machine.commandNames().back(), "L1");
    // Well-framed answers that are not record 1: a refusal (status 1, no record), a late
    // record 7, a status block. Each ends the batch at once with one text; nothing is
    // stored, nothing is sent again, and the cycle goes on with its status poll.
    for (const Bytes& wrong :
         {answerFrame(1, {}, CheckKind::Crc32), answerFrame(0, logRecord(7), CheckKind::Crc32),
          machine.answerTo(Bytes{0x40, 0, 2, 'B', 0x84})}) {
        machine.pending.push_back(wrong);
        const std::size_t textsBefore = texts.size();
        engine.step();
        ASSERT_EQ(texts.size(), textsBefore + 1);
        EXPECT_NE(texts.back().find("[LOG No.1 not served]"), std::string::npos) << texts.back();
        EXPECT_TRUE(records.empty());
        EXPECT_EQ(info.lastStoredLogNo(), -1);
        ASSERT_TRUE(runUntil([&] { return machine.sent.back()[3] == 'B'; }, 5));
        machine.pending.push_back(machine.answerTo(machine.sent.back()));
        ASSERT_TRUE(runUntil([&] { return machine.sent.back()[3] == 0x80; }, 5));
        EXPECT_EQ(machine.commandNames().back(), "L1");  // still in range: asked again
    }
    machine.pending.push_back(machine.answerTo(machine.sent.back()));
    engine.step();
    EXPECT_EQ(records, (std::vector<std::uint32_t>{1}));
}

TEST_F(Engine, ACommandStateGivesUpAfterThreeAnswersSetAsideInARow) {
    ASSERT_TRUE(startUp());
    machine.autoAnswer = false;
    ASSERT_TRUE(runUntil([&] { return !machine.sent.empty() && machine.sent.back()[3] == 'B'; }));
    const std::size_t polls = machine.sent.size();
    // Three status answers of the wrong size: the poll gives up without passing anything up
    // and the cycle starts again with the next poll, long before a time-out would.
    Bytes shortStatus = answerFrame(0, Bytes(20, 0), CheckKind::Crc32);
    const std::size_t eventsBefore = events.size();
    for (int i = 0; i < MachineProtocol::kMaxSetAside; ++i) {
        machine.pending.push_back(shortStatus);
        engine.step();
    }
    EXPECT_EQ(machine.keepWaitingCalls, MachineProtocol::kMaxSetAside);
    EXPECT_NE(texts.back().find("3 answers set aside in a row: sequence ended"), std::string::npos);
    EXPECT_EQ(events.size(), eventsBefore);  // no event 41 from an answer that never came
    engine.step();
    engine.step();
    ASSERT_EQ(machine.sent.size(), polls + 1);
    EXPECT_EQ(machine.commandNames().back(), "B");
}

TEST_F(Engine, StartUpTakesAnswersOnlyAtTheLengthTheirCommandImplies) {
    // Each start-up answer is preceded by the answer to the command before it (a late
    // duplicate), and the board list by a board record too few: all are set aside, and the
    // machine information comes out as the machine gave it.
    machine.boardQty = 3;
    machine.logQty = 4;
    start();
    machine.autoAnswer = false;
    Bytes previous;  // the answer "A" needs no such guard: its CRC16 tells
    std::size_t answered = 0;
    for (int guard = 0; guard < 4000 && engine.phase() == MachineProtocol::kStartUp; ++guard) {
        if (machine.sent.size() > answered) {
            answered = machine.sent.size();
            const Bytes real = machine.answerTo(machine.sent.back());
            if (!previous.empty()) machine.pending.push_back(previous);
            if (machine.sent.back()[3] == 'W' && machine.sent.back()[4] == kW_Boards) {
                Bytes fewer(real.begin(), real.end() - 40);
                writeBe16(fewer.data() + 1, static_cast<std::uint16_t>(fewer.size() - 3));
                machine.pending.push_back(fewer);
            }
            machine.pending.push_back(real);
            previous = real;
        }
        engine.step();
        clock.advance(10);
    }
    ASSERT_EQ(engine.phase(), MachineProtocol::kPolling);
    EXPECT_EQ(info.machineId(), "AB12");
    EXPECT_EQ(info.boardQty(), 3);
    EXPECT_EQ(info.portQty_per_board(), 6);
    EXPECT_EQ(engine.boardCount(), 3);
    EXPECT_EQ(info.nickName(), "Bench 1");
    EXPECT_EQ(info.support_LogRecord(), 1);
    EXPECT_EQ(info.Machine_LOG_nextNewNo(), 4);
    // No command was sent twice: every wrong answer was set aside, none retried.
    const Names names = machine.commandNames();
    EXPECT_EQ(names, (Names{"A", "W1", "W2", "W3", "W4", "W20", "W22", "W21"}));
}

// Answers alike without being repeats: "W" 12 answered as "W" 21 was (a status alone), and
// two "W" 3 batches of identical boards. Both are taken; nothing waits for a time-out.
TEST_F(Engine, AnswersAlikeAreNotTakenForRepeats) {
    machine.logQty = 1;
    machine.logRangeDoneStatus = 'A';
    machine.boardQty = 30;
    machine.identicalBoards = true;
    ASSERT_TRUE(startUp());
    EXPECT_EQ(engine.boardCount(), 30);
    engine.requestClockSet();
    cycles(2);
    const Names names = machine.commandNames();
    const auto w12 = std::find(names.begin(), names.end(), "W12");
    ASSERT_NE(w12, names.end());
    EXPECT_EQ(*(w12 + 1), "block");
    EXPECT_EQ(std::count(names.begin(), names.end(), "W3"), 2);
    EXPECT_EQ(std::count(names.begin(), names.end(), "W12"), 1);
}

TEST_F(Engine, PendingRequestsServeOnlyTheMachineTheyWereRaisedFor) {
    ASSERT_TRUE(startUp());
    engine.stop();
    // Pressed for machine AB12 while it was away.
    engine.requestJob(JobRequest::Copy);
    engine.setNickname("Bay 7");
    // Another machine comes on this engine: the requests are dropped with one line.
    machine.machineId = "CD34";
    machine.sent.clear();
    ASSERT_TRUE(startUp());
    EXPECT_FALSE(engine.pending(MachineProtocol::Request::Copy));
    EXPECT_FALSE(engine.pending(MachineProtocol::Request::Nickname));
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string& t) {
                                return t ==
                                       "Pending requests for machine [AB12] dropped: machine "
                                       "[CD34] is connected";
                            }),
              1);
    cycles(2);
    for (const auto& n : machine.commandNames())
        EXPECT_NE(n, "R1");
    // The same machine back: its request is served after the start-up.
    engine.stop();
    engine.requestJob(JobRequest::Copy);
    machine.sent.clear();
    ASSERT_TRUE(startUp());
    EXPECT_TRUE(engine.pending(MachineProtocol::Request::Copy));
    cycles(2);
    const Names names = machine.commandNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "R1"), names.end());
}

TEST_F(Engine, ShortAndOddAnswersAreBoundedNeverTrusted) {
    // Answers that pass their frame checks but are too short for what the command asks,
    // with large counts where the machine reports them: nothing is read beyond the answer.
    machine.maxDeviceQty = 0xFFFF;
    machine.boardQty = 0xFFFF;
    machine.machineId = std::string(200, 'x');
    ASSERT_TRUE(startUp());
    EXPECT_EQ(info.machineId(), std::string(63, 'x'));
    EXPECT_EQ(engine.boardCount(), kMaxBoards);
    markStartUpDone();
    machine.autoAnswer = false;
    ASSERT_TRUE(runUntil([&] { return !machine.sent.empty() && machine.sent.back()[3] == 'B'; }));
    const std::size_t textsBefore = texts.size();
    machine.pending.push_back(answerFrame(0, {1, 2, 3}, CheckKind::Crc32));  // short status
    engine.step();
    EXPECT_EQ(texts.size(), textsBefore + 1);
    EXPECT_EQ(engine.commandState(), 1001);
    // An "R" answer of any length is taken whole.
    engine.raise(MachineProtocol::Request::Copy);
    machine.pending.push_back(machine.answerTo(machine.sent.back()));
    ASSERT_TRUE(runUntil([&] { return machine.sent.back()[3] == 'R'; }));
    machine.pending.push_back(answerFrame(9, Bytes(3000, 0xEE), CheckKind::None));
    ASSERT_TRUE(runUntil([&] { return engine.idle(); }, 3));
    EXPECT_EQ(events.back(), kEventJobAnswer);
}

TEST_F(Engine, LateAnswerToAnotherCommandIsNotTakenForAnAnswerWithoutCheckValue) {
    // The answer to "A" comes twice (the command was repeated after a time-out); the second
    // copy arrives while the engine waits for the machine ID.
    start();
    ASSERT_TRUE(runUntil([&] { return !machine.sent.empty(); }));
    machine.autoAnswer = false;
    machine.owed.clear();
    const Bytes infoAnswer = machine.answerTo(machine.sent[0]);
    machine.pending.push_back(infoAnswer);
    ASSERT_TRUE(runUntil([&] { return machine.sent.size() == 2; }));
    machine.pending.push_back(infoAnswer);
    machine.pending.push_back(machine.answerTo(machine.sent[1]));
    ASSERT_TRUE(runUntil([&] { return machine.sent.size() == 3; }, 10));
    EXPECT_EQ(info.machineId(), "AB12");
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string& t) {
                                return t.find("length=43, an answer to another command") !=
                                       std::string::npos;
                            }),
              1);
}

TEST_F(Engine, AnyAnswerFromTheMachineIsBounded) {
    // Well-framed answers of random length and content (their check values right, so they
    // reach the parsers), now and then a true one so the engine moves through its phases.
    std::uint64_t seed = 0x9E3779B97F4A7C15ull;
    const auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    machine.autoAnswer = false;
    machine.logQty = 40;
    start();
    engine.raise(MachineProtocol::Request::Copy);
    engine.setNickname("x");
    std::size_t answered = 0;
    for (int i = 0; i < 40000; ++i) {
        if (machine.sent.size() > answered && machine.pending.empty()) {
            const Bytes& cmd = machine.sent[answered];
            if (next() % 3 == 0) {
                Bytes payload(next() % 1400);
                for (auto& b : payload)
                    b = static_cast<std::uint8_t>(next());
                const CheckKind ck = cmd[0] == '#' ? CheckKind::None : checkKindFor(cmd[3]);
                machine.pending.push_back(
                    answerFrame(static_cast<std::uint8_t>(next()), payload, ck));
            } else {
                machine.pending.push_back(machine.answerTo(cmd));
            }
            answered = machine.sent.size();
            if (next() % 5 == 0) engine.setJobStage(static_cast<int>(next() % 16));
            if (next() % 7 == 0) engine.setJobCode(static_cast<int>(next() % 3));
        }
        engine.step();
        clock.advance(static_cast<std::int64_t>(next() % 300));
    }
    EXPECT_EQ(engine.phase(), MachineProtocol::kPolling);
    EXPECT_LE(engine.boardCount(), kMaxBoards);
    EXPECT_LE(info.machineId().size(), 63u);
}
