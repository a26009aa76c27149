#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "base/ByteOrder.h"
#include "support/SimHost.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

using Report = std::array<std::uint8_t, 65>;
struct Arrival {
    std::int64_t ms;
    Report report;
};

// Writes `frame` as host reports, then reads every answer report for `forMs` milliseconds,
// noting when each became readable.
std::vector<Arrival> exchange(sim::SimMachine& m, FakeClock& clock, const Bytes& frame,
                              std::int64_t forMs = 200) {
    const int n = static_cast<int>(frame.size()) / 60 + 1;
    for (int i = 1; i <= n; ++i) {
        std::uint8_t r[65] = {0, 'C', static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(i)};
        const std::size_t from = static_cast<std::size_t>(i - 1) * 60;
        const std::size_t len = i < n ? 60 : frame.size() % 60;
        r[4] = static_cast<std::uint8_t>(len);
        if (len) std::memcpy(r + 5, frame.data() + from, len);
        m.hostWrite(r);
    }
    const std::int64_t start = clock.nowMs();
    std::vector<Arrival> out;
    for (std::int64_t t = 0; t <= forMs; ++t) {
        Report r;
        while (m.hostRead(r.data()))
            out.push_back({clock.nowMs() - start, r});
        clock.advance(1);
    }
    return out;
}

Bytes joined(const std::vector<Arrival>& reports) {
    Bytes b;
    for (const Arrival& a : reports)
        b.insert(b.end(), &a.report[5], &a.report[5] + a.report[4]);
    return b;
}

std::vector<std::int64_t> times(const std::vector<Arrival>& reports) {
    std::vector<std::int64_t> t;
    for (const Arrival& a : reports)
        t.push_back(a.ms);
    return t;
}

Bytes frameOf(const Command& c) {
    std::uint8_t f[kMaxCommandFrame];
    return Bytes(f, f + buildFrame(c, f));
}

sim::SimMachineConfig config() {
    sim::SimMachineConfig c;
    c.prefilledRecords = 3;
    return c;
}

TEST(SimFault, EachKindProducesExactlyItsBytes) {
    FakeClock cleanClock;
    sim::SimMachine clean(cleanClock, config());
    const Bytes request = frameOf(commands::logRecord(2));
    const auto reference = exchange(clean, cleanClock, request);
    const Bytes good = joined(reference);
    ASSERT_EQ(good.size(), 264u);
    ASSERT_EQ(times(reference), (std::vector<std::int64_t>{2, 3, 4, 5, 6}));

    Bytes corrupt = good;
    corrupt.back() ^= 0xFF;
    Bytes shortened(good.begin(), good.end() - 1);
    Bytes header = good;
    header[0] = '$';
    Bytes twice = good;
    twice.insert(twice.end(), good.begin(), good.end());
    struct Case {
        sim::FaultKind kind;
        std::int64_t param;
        Bytes bytes;
        std::vector<std::int64_t> at;
        AnswerVerdict verdict;
    };
    const Case cases[] = {
        {sim::FaultKind::NoAnswer, 0, {}, {}, AnswerVerdict::TooShort},
        {sim::FaultKind::LateAnswer, 0, good, {7002, 7003, 7004, 7005, 7006}, AnswerVerdict::Valid},
        {sim::FaultKind::LateAnswer, 100, good, {102, 103, 104, 105, 106}, AnswerVerdict::Valid},
        {sim::FaultKind::CorruptCheck, 0, corrupt, {2, 3, 4, 5, 6}, AnswerVerdict::WrongCrc32},
        {sim::FaultKind::WrongLength, 0, shortened, {2, 3, 4, 5, 6}, AnswerVerdict::WrongLength},
        {sim::FaultKind::WrongHeader, 0, header, {2, 3, 4, 5, 6}, AnswerVerdict::WrongHeader},
        {sim::FaultKind::SplitAnswer, 0, good, {2, 28, 54, 80, 106}, AnswerVerdict::Valid},
        {sim::FaultKind::SplitAnswer, 10, good, {2, 13, 24, 35, 46}, AnswerVerdict::Valid},
        {sim::FaultKind::DuplicateAnswer,
         0,
         twice,
         {2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         AnswerVerdict::Valid},
    };
    for (const Case& c : cases) {
        FakeClock clock;
        sim::SimMachine m(clock, config());
        m.injectFault(kCmdLogRecord, c.kind, c.param);
        const auto got = exchange(m, clock, request, 7100);
        const Bytes bytes = joined(got);
        EXPECT_EQ(bytes, c.bytes) << static_cast<int>(c.kind);
        EXPECT_EQ(times(got), c.at) << static_cast<int>(c.kind);
        if (!bytes.empty()) {
            const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), 264));
            EXPECT_EQ(checkAnswer(kCmdLogRecord, bytes.data(), size).verdict, c.verdict);
        }
        EXPECT_EQ(m.counters().faults, 1u);
        // The fault is used up: the next answer is clean.
        EXPECT_EQ(joined(exchange(m, clock, request)), good);
    }
}

TEST(SimFault, FaultsWaitForTheirCommandAndQueueInOrder) {
    FakeClock clock;
    sim::SimMachine m(clock, config());
    m.injectFault(kCmdStatus, sim::FaultKind::NoAnswer);
    m.injectFault(sim::kAnyCommand, sim::FaultKind::WrongHeader);
    m.injectFault(kCmdStatus, sim::FaultKind::CorruptCheck);
    EXPECT_EQ(joined(exchange(m, clock, frameOf(commands::status()))).size(), 0u);
    // "W" takes the any-command fault, the next "B" its own.
    Bytes w = joined(exchange(m, clock, frameOf(commands::machineData(kW_LogSupport))));
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0], '$');
    Bytes b = joined(exchange(m, clock, frameOf(commands::status())));
    EXPECT_EQ(checkAnswer(kCmdStatus, b.data(), static_cast<int>(b.size())).verdict,
              AnswerVerdict::WrongCrc32);
    EXPECT_EQ(m.pendingFaults(), 0u);
    b = joined(exchange(m, clock, frameOf(commands::status())));
    EXPECT_EQ(checkAnswer(kCmdStatus, b.data(), static_cast<int>(b.size())).verdict,
              AnswerVerdict::Valid);
}

TEST(SimFault, RandomFaultsRepeatForTheSameSeed) {
    auto stream = [](std::uint64_t seed) {
        sim::SimMachineConfig c = config();
        c.seed = seed;
        c.randomFaultRate = 0.5;
        c.randomFaultKinds = 0x5E;  // late, corrupt, length, header, duplicate
        FakeClock clock;
        sim::SimMachine m(clock, c);
        Bytes all;
        for (int i = 0; i < 40; ++i) {
            const Bytes a = joined(exchange(m, clock, frameOf(commands::logRecord(1 + i % 3)), 30));
            all.insert(all.end(), a.begin(), a.end());
            all.push_back(0xEE);
        }
        EXPECT_GT(m.counters().faults, 8u);
        EXPECT_LT(m.counters().faults, 32u);
        return all;
    };
    const Bytes a = stream(11);
    EXPECT_EQ(a, stream(11));
    EXPECT_NE(a, stream(12));
}

TEST(SimFault, UnplugMidCommandRemovesTheDevice) {
    SimHost host;
    host.machine->injectFault(kCmdStatus, sim::FaultKind::UnplugMidCommand);
    EXPECT_FALSE(host.valid(commands::machineInfo()).empty());
    host.send(commands::status());
    EXPECT_TRUE(host.receive(50).empty());
    EXPECT_FALSE(host.backend.plugged("sim:1"));
    const std::uint8_t r = 'R';
    EXPECT_FALSE(host.link.sendRaw(1, &r));
    std::vector<std::string> seen;
    host.backend.hotplug().poll([&](const HotplugEvent& e) {
        seen.push_back((e.kind == HotplugEvent::Kind::Arrival ? "+" : "-") + e.path);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"+sim:1", "-sim:1"}));

    // Back in: a new link works and the machine kept its state.
    ASSERT_TRUE(host.backend.plug("sim:1"));
    HidTransport again(host.backend);
    ASSERT_TRUE(again.openPath("sim:1", sim::kVendorId, sim::kProductDuplicator));
    std::uint8_t f[kMaxCommandFrame];
    const int n = buildFrame(commands::status(), f);
    again.send(n, f);
    host.clock.advance(5);
    again.pollReceive();
    again.pollReceive();
    std::vector<std::uint8_t> buf(HidTransport::kAssemblySize);
    int len = 0;
    ASSERT_TRUE(again.receive(len, buf.data()));
    EXPECT_EQ(checkAnswer(kCmdStatus, buf.data(), len).verdict, AnswerVerdict::Valid);
}

TEST(SimFault, SplitAnswerArrivesOverSeveralPolls) {
    SimHost host(config());
    host.machine->injectFault(kCmdLogRecord, sim::FaultKind::SplitAnswer, 30);
    host.send(commands::logRecord(1));
    std::vector<std::uint8_t> buf(HidTransport::kAssemblySize);
    int len = 0, polls = 0;
    bool got = false;
    for (int t = 0; t < 300 && !got; t += 10) {  // the host's 10 ms receive pump
        host.link.pollReceive();
        ++polls;
        got = host.link.receive(len, buf.data());
        host.clock.advance(10);
    }
    ASSERT_TRUE(got);
    EXPECT_EQ(len, 264);
    EXPECT_GE(polls, 5);
    EXPECT_EQ(checkAnswer(kCmdLogRecord, buf.data(), len).verdict, AnswerVerdict::Valid);
}

}  // namespace

namespace {

// The machine cuts answers the way the host reassembles them: 60-byte pieces, and a last
// report of 0 bytes when the length is a multiple of 60 (the nickname answer is 60 bytes).
TEST(SimLink, AnswerReportsCarrySixtyBytePieces) {
    FakeClock clock;
    sim::SimMachine m(clock, config());
    const auto nick = exchange(m, clock, frameOf(commands::machineData(kW_Nickname)));
    ASSERT_EQ(nick.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(nick[i].report[1], 0);
        EXPECT_EQ(nick[i].report[2], 2);
        EXPECT_EQ(nick[i].report[3], i + 1);
    }
    EXPECT_EQ(nick[0].report[4], 60);
    EXPECT_EQ(nick[1].report[4], 0);
    const auto rec = exchange(m, clock, frameOf(commands::logRecord(1)));
    ASSERT_EQ(rec.size(), 5u);
    EXPECT_EQ(rec[4].report[4], 264 - 240);
    EXPECT_EQ(rec[4].report[5 + 24], 0);  // nothing behind the payload
}

}  // namespace
