#include <gtest/gtest.h>

#include <cstring>

#include "protocol/Checksums.h"
#include "support/SimHost.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

// Random reports, half of them shaped like the host's (kind 'C', plausible count and index)
// and many carrying checksummed frames of every command code with random payloads, must
// never crash the machine or leave it unable to answer.
TEST(SimFuzz, RandomReportsNeverBreakTheMachine) {
    sim::SimMachineConfig c;
    c.ports = 12;
    c.prefilledRecords = 20;
    c.driveSectors = 200000;
    FakeClock clock;
    sim::SimMachine m(clock, c);
    std::uint64_t state = 0x1234567u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    std::uint8_t report[65];
    static constexpr std::uint8_t kCodes[] = {'A', 'B', 'D', 'E', 'R', 'W', 0x80, '#', 0x40};
    for (int i = 0; i < 20000; ++i) {
        for (auto& b : report)
            b = static_cast<std::uint8_t>(next());
        const std::uint64_t shape = next() % 4;
        if (shape >= 1) {
            report[1] = 'C';
            report[2] = static_cast<std::uint8_t>(1 + next() % 3);
            report[3] = static_cast<std::uint8_t>(1 + next() % report[2]);
            report[4] = static_cast<std::uint8_t>(next() % 64);
        }
        if (shape >= 2) {  // a whole one-report command frame with a random payload
            const int n = static_cast<int>(next() % 6);
            report[2] = report[3] = 1;
            report[4] = static_cast<std::uint8_t>(n + 5);
            std::uint8_t* f = report + 5;
            f[0] = 0x40;
            f[1] = 0;
            f[2] = static_cast<std::uint8_t>(n + 2);
            f[3] = kCodes[next() % sizeof kCodes];
            if (shape == 3 && n >= 1) f[4] = static_cast<std::uint8_t>(next() % 24);
            f[4 + n] = additiveChecksum(f, static_cast<std::size_t>(4 + n));
        }
        m.hostWrite(report);
        if (next() % 8 == 0) clock.advance(static_cast<std::int64_t>(next() % 4000));
        while (m.hostRead(report)) {
            ASSERT_GE(report[2], 1);
            ASSERT_LE(report[2], 127);
            ASSERT_LE(report[4], 60);
        }
    }
    EXPECT_GT(m.counters().commands, 1000u);
    EXPECT_GT(m.counters().answers, 500u);

    // Still a machine: a clean "B" gets a valid answer.
    clock.advance(100000);
    while (m.hostRead(report)) {
    }
    std::uint8_t f[kMaxCommandFrame];
    const int n = buildFrame(commands::status(), f);
    std::memset(report, 0, sizeof report);
    report[1] = 'C';
    report[2] = report[3] = 1;
    report[4] = static_cast<std::uint8_t>(n);
    std::memcpy(report + 5, f, static_cast<std::size_t>(n));
    m.hostWrite(report);
    clock.advance(10);
    ASSERT_TRUE(m.hostRead(report));
    EXPECT_EQ(checkAnswer(kCmdStatus, report + 5, report[4]).verdict, AnswerVerdict::Valid);
}

}  // namespace
