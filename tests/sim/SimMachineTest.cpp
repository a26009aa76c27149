#include <gtest/gtest.h>

#include <cstring>

#include "base/ByteOrder.h"
#include "protocol/Checksums.h"
#include "reports/LogRecord.h"
#include "support/SimHost.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

sim::SimMachineConfig duplicator() {
    sim::SimMachineConfig c;
    c.ports = 12;
    c.portsPerBoard = 6;
    c.portsPerRow = 4;
    c.model = "MX40D-SIM12";
    c.firmware = "v2.10.7";
    c.machineId = "AB12";
    c.nickname = "Bench one";
    c.bufferSize = 2048;
    c.logStartNo = 1;
    c.prefilledRecords = 25;
    return c;
}

TEST(SimMachine, AnswersMachineInformationWithCrc16) {
    SimHost host(duplicator());
    ASSERT_TRUE(host.opened);
    const Bytes a = host.valid(commands::machineInfo());
    ASSERT_FALSE(a.empty());
    // Golden frame head: '#', L, status 0, then the model text.
    EXPECT_EQ(a.size(), 43u);
    EXPECT_EQ(a[0], '#');
    EXPECT_EQ(readBe16(&a[1]), 40);
    EXPECT_EQ(readBe16(&a[41]), crc16(a.data(), 41));
    MachineInfo info;
    ASSERT_TRUE(parseMachineInfoAnswer(a.data(), static_cast<int>(a.size()), info));
    EXPECT_EQ(info.modelName(), "MX40D-SIM12");
    EXPECT_EQ(info.version(), "v2.10.7");
    EXPECT_EQ(info.controller_version_MAJOR(), 2);
    EXPECT_EQ(info.controller_version_SUB(), 10);
    EXPECT_EQ(info.controller_version_MINOR(), 7);
    EXPECT_EQ(info.maxDeviceQty(), 12);
    EXPECT_EQ(info.systemTotalBufferSize(), 2048);
    EXPECT_EQ(info.deviceType(), '3');
    EXPECT_EQ(info.layoutKind(), 1);
    EXPECT_EQ(info.featureFlag(1), 1);
    EXPECT_EQ(info.featureFlag(0), 0);

    sim::SimMachineConfig eraser = duplicator();
    eraser.kind = kEraserKind;
    SimHost e(eraser);
    ASSERT_TRUE(e.opened);
    const Bytes b = e.valid(commands::machineInfo());
    ASSERT_TRUE(parseMachineInfoAnswer(b.data(), static_cast<int>(b.size()), info));
    EXPECT_EQ(info.deviceType(), '5');
    EXPECT_EQ(info.featureFlag(1), 0);
}

TEST(SimMachine, AnswersTheStartUpReads) {
    SimHost host(duplicator());
    std::string id;
    Bytes a = host.valid(commands::machineData(kW_MachineId));
    ASSERT_TRUE(parseMachineIdAnswer(a.data(), static_cast<int>(a.size()), id));
    EXPECT_EQ(id, "AB12");

    // Golden: 02 00 06 00 04 (little-endian words).
    a = host.valid(commands::machineData(kW_BoardSummary));
    ASSERT_EQ(a.size(), 9u);
    EXPECT_EQ(Bytes(a.begin() + 4, a.end()), (Bytes{2, 0, 6, 0, 4}));

    std::string nick;
    a = host.valid(commands::machineData(kW_Nickname));
    EXPECT_EQ(a.size(), 4u + 56u);
    ASSERT_TRUE(parseNicknameAnswer(a.data(), static_cast<int>(a.size()), nick));
    EXPECT_EQ(nick, "Bench one");

    a = host.valid(commands::machineData(kW_LogSupport));
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[3], kStatusYes);

    LogRange range;
    a = host.valid(commands::machineData(kW_LogRange));
    ASSERT_TRUE(parseLogRangeAnswer(a.data(), static_cast<int>(a.size()), range));
    EXPECT_EQ(range.startNo, 1u);
    EXPECT_EQ(range.qty, 25u);
    EXPECT_EQ(host.valid(commands::machineData(kW_LogRangeDone)).size(), 4u);

    sim::SimMachineConfig noLog = duplicator();
    noLog.keepsLog = false;
    SimHost other(noLog);
    a = other.valid(commands::machineData(kW_LogSupport));
    ASSERT_EQ(a.size(), 4u);
    EXPECT_NE(a[3], kStatusYes);
}

TEST(SimMachine, ServesSixtyBoardsInThreeBatches) {
    sim::SimMachineConfig c = duplicator();
    c.ports = 480;
    c.portsPerBoard = 8;  // 60 boards
    SimHost host(c);
    BoardSummary summary;
    Bytes a = host.valid(commands::machineData(kW_BoardSummary));
    ASSERT_TRUE(parseBoardSummaryAnswer(a.data(), static_cast<int>(a.size()), summary));
    ASSERT_EQ(summary.boardQty, 60);
    std::vector<BoardInfo> boards;
    for (int first = 1; first <= 60; first += kBoardsPerRequest) {
        const int count = std::min(kBoardsPerRequest, 61 - first);
        a = host.valid(commands::boards(first, count));
        std::vector<BoardInfo> batch(static_cast<std::size_t>(count));
        ASSERT_EQ(parseBoardsAnswer(a.data(), static_cast<int>(a.size()), count, batch.data()),
                  count);
        boards.insert(boards.end(), batch.begin(), batch.end());
    }
    ASSERT_EQ(boards.size(), 60u);
    EXPECT_STREQ(std::string(boards[0].name, 16).c_str(), "SIM-BOARD-01");
    EXPECT_STREQ(std::string(boards[59].name, 16).c_str(), "SIM-BOARD-60");
    EXPECT_EQ(boards[59].totalDeviceQty, 8);
    EXPECT_EQ(boards[1].buildNumber, 1001u);

    // Beyond the list, or more than 25 at once: refused with no records.
    for (const Command& bad :
         {commands::boards(59, 3), commands::boards(1, 26), commands::boards(0, 1)}) {
        a = host.valid(bad);
        ASSERT_EQ(a.size(), 4u);
        EXPECT_NE(a[3], 0);
    }
}

TEST(SimMachine, NicknameAndClockBlocksChangeTheMachine) {
    SimHost host(duplicator());
    Bytes a = host.valid(commands::machineData(kW_ChangeNickname));
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[3], kStatusGoAhead);
    std::uint8_t block[64];
    int n = buildNicknameBlock("Line 7 copier", block);
    host.sendBytes(Bytes(block, block + n));
    a = host.receive();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(checkAnswer(kCmdMachineData, a.data(), 4).verdict, AnswerVerdict::Valid);
    EXPECT_EQ(host.machine->nickname(), "Line 7 copier");

    a = host.valid(commands::machineData(kW_SetClock));
    EXPECT_EQ(a[3], kStatusGoAhead);
    const LocalTime set{2031, 3, 4, 5, 6, 7, 0};
    n = buildClockBlock(set, block);
    host.sendBytes(Bytes(block, block + n));
    ASSERT_EQ(host.receive().size(), 4u);
    host.clock.advance(61000);
    const LocalTime t = host.machine->machineClock();
    EXPECT_EQ(clockText(t).substr(0, 12), "203103040507");

    // A block nobody announced gets no answer and changes nothing.
    n = buildNicknameBlock("Intruder", block);
    host.sendBytes(Bytes(block, block + n));
    EXPECT_TRUE(host.receive().empty());
    EXPECT_EQ(host.machine->nickname(), "Line 7 copier");
}

TEST(SimMachine, RefusesClockAndNicknameWhenConfigured) {
    auto config = duplicator();
    config.acceptsClock = false;
    config.acceptsNickname = false;
    SimHost host(config);
    const std::string before = host.machine->nickname();
    for (const WCode sub : {kW_SetClock, kW_ChangeNickname}) {
        const Bytes a = host.valid(commands::machineData(sub));
        ASSERT_EQ(a.size(), 4u);
        EXPECT_NE(a[3], kStatusGoAhead);
    }
    // A block after a refusal is not taken.
    std::uint8_t block[64];
    const int n = buildNicknameBlock("Not taken", block);
    host.sendBytes(Bytes(block, block + n));
    EXPECT_TRUE(host.receive().empty());
    EXPECT_EQ(host.machine->nickname(), before);
}

TEST(SimMachine, StatusAndLogRecords) {
    SimHost host(duplicator());
    Bytes a = host.valid(commands::status());
    MachineStatus s;
    ASSERT_TRUE(parseStatusAnswer(a.data(), static_cast<int>(a.size()), s));
    EXPECT_EQ(s.jobCode(), 0);
    EXPECT_EQ(s.logStartNo(), 1u);
    EXPECT_EQ(s.logQty(), 25u);

    for (std::uint32_t no : {1u, 13u, 25u}) {
        a = host.valid(commands::logRecord(no));
        const std::uint8_t* rec = nullptr;
        std::uint32_t got = 0;
        ASSERT_TRUE(parseLogRecordAnswer(a.data(), static_cast<int>(a.size()), rec, got));
        EXPECT_EQ(got, no);
        const LogRecord r(kDuplicatorKind, rec, kLogRecordSize);
        EXPECT_EQ(r.portNo(), (no - 1) % 12 + 1);
        EXPECT_EQ(r.jobGroupNo(), (no - 1) / 12 + 1);
        EXPECT_EQ(r.sectorSize(), 512);
        EXPECT_EQ(r.model(), "SIMDISK HD500G");
    }
    // A number the machine does not hold: refused, no record.
    for (std::uint32_t no : {0u, 26u, 0xFFFFFFFFu}) {
        a = host.valid(commands::logRecord(no));
        ASSERT_EQ(a.size(), 8u) << no;
        EXPECT_NE(a[3], 0);
    }
}

TEST(SimMachine, LinkPaceFollowsTheReports) {
    struct Case {
        double reportsPerMs;
        std::int64_t latencyUs;
        Command command;
        std::int64_t wholeAfterMs;  // first millisecond at which the whole answer is readable
    };
    const Case cases[] = {
        {1.0, 0, commands::logRecord(1), 6},  // 1 report out, 5 in (264 bytes)
        {1.0, 0, commands::status(), 2},      // 1 out, 1 in (36 bytes)
        {1.0, 0, commands::boards(1, 2), 3},  // 1 out, 2 in (84 bytes)
        {1.0, 3000, commands::logRecord(1), 9}, {2.0, 0, commands::logRecord(1), 3},
        {0.5, 0, commands::machineInfo(), 4},  // 1 out, 1 in, 2 ms each
    };
    for (const Case& c : cases) {
        sim::SimMachineConfig cfg = duplicator();
        cfg.reportsPerMs = c.reportsPerMs;
        cfg.answerLatencyUs = c.latencyUs;
        SimHost host(cfg);
        host.send(c.command);
        std::vector<std::uint8_t> buf(HidTransport::kAssemblySize);
        int len = 0;
        std::int64_t t = 0;
        for (; t < 100; ++t) {
            host.link.pollReceive();
            host.link.pollReceive();
            host.link.pollReceive();
            host.link.pollReceive();
            host.link.pollReceive();
            if (host.link.receive(len, buf.data())) break;
            host.clock.advance(1);
        }
        EXPECT_EQ(t, c.wholeAfterMs) << c.reportsPerMs << " " << c.latencyUs;
    }
}

TEST(SimMachine, MalformedCommandsGetNoAnswer) {
    SimHost host(duplicator());
    struct Case {
        const char* what;
        Bytes frame;
    };
    const Bytes good = {0x40, 0x00, 0x02, 'B', 0x84};  // the "B" frame
    Bytes badSum = good;
    badSum[4] ^= 1;
    Bytes badStart = good;
    badStart[0] = 0x41;
    Bytes shortLen = good;
    shortLen[2] = 1;
    Bytes unknown = {0x40, 0x00, 0x02, 0x5A, 0x00};
    unknown[4] = additiveChecksum(unknown.data(), 4);
    Bytes wrongPayload = {0x40, 0x00, 0x03, 'B', 0x07, 0x00};
    wrongPayload[5] = additiveChecksum(wrongPayload.data(), 5);
    Bytes unknownW = {0x40, 0x00, 0x03, 'W', 0x63, 0x00};
    unknownW[5] = additiveChecksum(unknownW.data(), 5);
    const Case cases[] = {
        {"checksum", badSum},      {"start byte", badStart},       {"length", shortLen},
        {"unknown code", unknown}, {"payload size", wrongPayload}, {"unknown W", unknownW},
        {"empty", Bytes{}}};
    for (const Case& c : cases) {
        host.sendBytes(c.frame);
        EXPECT_TRUE(host.receive(20).empty()) << c.what;
    }
    // The machine still answers the next good command.
    host.sendBytes(good);
    const Bytes a = host.receive();
    EXPECT_EQ(checkAnswer('B', a.data(), static_cast<int>(a.size())).verdict, AnswerVerdict::Valid);
}

TEST(SimHidBackend, ListsPlugsAndUnplugs) {
    FakeClock clock;
    sim::SimHidBackend backend(clock);
    backend.addMachine("sim:dup", {});
    sim::SimMachineConfig e;
    e.kind = kEraserKind;
    backend.addMachine("sim:era", e);
    backend.addForeign("sim:other", sim::kVendorId, 0x2003);

    auto list = backend.enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].productId, sim::kProductDuplicator);
    EXPECT_EQ(list[1].productId, sim::kProductEraser);
    EXPECT_EQ(list[2].productId, 0x2003);

    std::vector<std::string> seen;
    auto sink = [&](const HotplugEvent& ev) {
        seen.push_back((ev.kind == HotplugEvent::Kind::Arrival ? "+" : "-") + ev.path);
    };
    backend.hotplug().poll(sink);
    EXPECT_EQ(seen, (std::vector<std::string>{"+sim:dup", "+sim:era", "+sim:other"}));

    HidTransport link(backend);
    ASSERT_TRUE(link.openPath("sim:dup", sim::kVendorId, sim::kProductDuplicator));
    EXPECT_FALSE(
        HidTransport(backend).openPath("sim:other", sim::kVendorId, sim::kProductDuplicator));
    auto handle = backend.open("sim:dup");
    ASSERT_TRUE(handle);
    EXPECT_TRUE(backend.unplug("sim:dup"));
    EXPECT_FALSE(backend.unplug("sim:dup"));
    std::uint8_t report[65] = {0, 'C', 1, 1, 0};
    EXPECT_FALSE(handle->writeReport(report));
    EXPECT_FALSE(handle->readReport(report));
    std::uint16_t v = 0, p = 0;
    EXPECT_FALSE(handle->attributes(v, p));
    EXPECT_EQ(backend.enumerate().size(), 2u);
    EXPECT_EQ(backend.open("sim:dup"), nullptr);

    // Plugged in again: old handles stay dead, a new open works.
    EXPECT_TRUE(backend.plug("sim:dup"));
    EXPECT_FALSE(handle->writeReport(report));
    auto fresh = backend.open("sim:dup");
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(fresh->attributes(v, p));
    seen.clear();
    backend.hotplug().poll(sink);
    EXPECT_EQ(seen, (std::vector<std::string>{"-sim:dup", "+sim:dup"}));
}

}  // namespace

TEST(SimMachine, GetIdReportsItsIdentificationAsStageTwo) {
    SimHost host(duplicator());
    ASSERT_TRUE(host.machine->startJob(26));
    EXPECT_EQ(host.machine->status().stage(), kStageCopy);
    host.clock.advance(host.machine->config().detectMs);
    EXPECT_EQ(host.machine->status().stage(), kStageEnd);
    EXPECT_EQ(host.machine->status().jobCode(), 26);
}
