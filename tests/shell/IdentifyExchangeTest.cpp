#include "shell/IdentifyExchange.h"

#include <gtest/gtest.h>

#include "support/FakeMachines.h"

namespace mx40d {
namespace {

using testing::answerFrame;
using testing::FakeScreen;
using testing::identifyAnswer;

// One exchange on one link to a scripted machine, texts recorded.
struct Probe {
    FakeScreen screen;
    HidTransport link{screen.backend};
    std::vector<std::string> texts;
    IdentifyExchange exchange{screen.clock, screen};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(HidTransport::kAssemblySize);
    int length = 0;

    explicit Probe(std::vector<std::uint8_t> answer) {
        screen.plug("/dev/hidraw0", 0x2001, std::move(answer));
        EXPECT_TRUE(link.openPath("/dev/hidraw0", 0x2509, 0x2001));
        exchange.bind(link, [this](const std::string& t) { texts.push_back(t); });
    }
    bool run() {
        exchange.sendCommand('A', nullptr, 0);
        return exchange.waitReply(buffer.data(), length, 10000);
    }
    int identifyCommands() const { return screen.machines[0]->identifyCommands; }
};

TEST(IdentifyExchange, BindAnnouncesAndTheCommandIsFiveBytes) {
    Probe p(identifyAnswer('3'));
    ASSERT_EQ(p.texts, std::vector<std::string>{"Device connect ! "});
    ASSERT_TRUE(p.run());
    const std::uint8_t expected[] = {0x40, 0x00, 0x02, 0x41, 0x83};
    ASSERT_EQ(p.exchange.sentFrameSize(), 5);
    EXPECT_TRUE(std::equal(expected, expected + 5, p.exchange.sentFrame()));
    EXPECT_EQ(p.length, 43);
    EXPECT_EQ(p.buffer[38], '3');
    EXPECT_EQ(p.identifyCommands(), 1);
    EXPECT_EQ(p.texts.size(), 1u);
}

TEST(IdentifyExchange, BadAnswersResendOnceAndFailAtOnce) {
    auto badCrc = identifyAnswer('3');
    badCrc.back() ^= 0xFF;
    auto wrongStart = identifyAnswer('3');
    wrongStart[0] = '$';
    auto wrongLength = identifyAnswer('3');
    wrongLength[2] += 1;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> answer;
        const char* textPart;  // nullptr: no text
        int wrongData, wrongLength;
    } cases[] = {
        {"status 1", identifyAnswer('3', 1), nullptr, 0, 0},
        {"crc", badCrc, " [Wrong CRC16] CMD:A,cmd[4]=131,cmd[5]=0, length=43, CRC16=", 0, 0},
        {"start", wrongStart, " [Wrong Data come in]  24h 00h 28h 00h 4Dh 58h 2Dh 34h 30h 30h\r\n",
         1, 0},
        {"length", wrongLength, " [Wrong Data come in Length] length=43, DATA: 23h 00h 29h 00h\r\n",
         0, 1},
    };
    for (const Case& c : cases) {
        Probe p(c.answer);
        const std::int64_t start = p.screen.clock.nowMs();
        EXPECT_FALSE(p.run()) << c.name;
        EXPECT_LT(p.screen.clock.nowMs() - start, 100) << c.name;  // no waiting for the re-send
        p.screen.serve();
        EXPECT_EQ(p.identifyCommands(), 2) << c.name;
        EXPECT_EQ(p.exchange.sentCommands(), 1) << c.name;
        EXPECT_EQ(p.exchange.wrongData(), c.wrongData) << c.name;
        EXPECT_EQ(p.exchange.wrongLength(), c.wrongLength) << c.name;
        if (c.textPart == nullptr) {
            EXPECT_EQ(p.texts.size(), 1u) << c.name;
        } else {
            ASSERT_EQ(p.texts.size(), 2u) << c.name;
            EXPECT_NE(p.texts[1].find(c.textPart), std::string::npos) << c.name << p.texts[1];
            // Texts start with the time of day.
            EXPECT_EQ(p.texts[1].rfind("Thu Dec 10 09:00:00 2026", 0), 0u) << p.texts[1];
        }
    }
}

TEST(IdentifyExchange, SilenceAndShortMessagesEndInATimeOut) {
    for (const auto& answer : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{'#', 0, 0}}) {
        Probe p(answer);
        EXPECT_FALSE(p.run());
        EXPECT_EQ(p.screen.clock.nowMs(), 10010);  // the first tick past 10,000 ms
        ASSERT_EQ(p.texts.size(), 2u);
        EXPECT_EQ(p.texts[1], " [Cmd Time Out] CMD: 40h 00h 02h 41h 83h, already get " +
                                  std::to_string(answer.size()) + " bytes\r\n");
        p.screen.serve();
        EXPECT_EQ(p.identifyCommands(), 1);  // nothing re-sent
    }
}

TEST(IdentifyExchange, AbandonedWaitEndsWithoutAnAnswer) {
    Probe p({});
    p.screen.onPump = [&p] {
        if (p.screen.pumps == 3) p.exchange.abandon();
    };
    EXPECT_FALSE(p.run());
    EXPECT_EQ(p.screen.pumps, 3);
    EXPECT_EQ(p.texts.size(), 1u);
}

}  // namespace
}  // namespace mx40d
