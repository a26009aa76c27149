#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "protocol/Checksums.h"
#include "protocol/FrameChannel.h"

using namespace mx40d;

namespace {

// The link as the engine sees it: answers queued by the test, sends recorded.
struct ScriptedLink {
    std::deque<std::vector<std::uint8_t>> answers;
    std::vector<std::vector<std::uint8_t>> sent;

    static bool receive(void* ctx, int& length, std::uint8_t* buffer) {
        auto* self = static_cast<ScriptedLink*>(ctx);
        if (self->answers.empty()) return false;
        const auto a = self->answers.front();
        self->answers.pop_front();
        std::copy(a.begin(), a.end(), buffer);
        length = static_cast<int>(a.size());
        return !a.empty();
    }
    static bool send(void* ctx, int length, const std::uint8_t* data) {
        static_cast<ScriptedLink*>(ctx)->sent.emplace_back(data, data + length);
        return true;
    }
};

class Channel : public ::testing::Test {
  protected:
    void SetUp() override {
        channel.setLink({&ScriptedLink::receive, &ScriptedLink::send, &link, nullptr});
        channel.setTextSink([this](const std::string& t) { texts.push_back(t); });
    }
    FakeClock clock{LocalTime{2026, 12, 10, 9, 30, 0, 4}};
    FrameChannel channel{clock};
    ScriptedLink link;
    std::vector<std::string> texts;
};

std::vector<std::uint8_t> statusAnswer() {
    std::vector<std::uint8_t> a{'#', 0, 0, 0};
    a.resize(4 + 28 + 4);
    writeBe16(a.data() + 1, static_cast<std::uint16_t>(a.size() - 3));
    writeBe32(a.data() + a.size() - 4, crc32(a.data(), a.size() - 4));
    return a;
}

}  // namespace

TEST_F(Channel, TimeOutAtSixThousandMillisecondsAndNotBefore) {
    ASSERT_TRUE(channel.sendCommand('B', nullptr, 0));
    clock.advance(5999);
    EXPECT_FALSE(channel.receiveAnswer());
    EXPECT_TRUE(texts.empty());
    EXPECT_EQ(link.sent.size(), 1u);
    clock.advance(1);
    EXPECT_FALSE(channel.receiveAnswer());
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0],
              "Thu Dec 10 09:30:06 2026\n [Cmd Time Out] CMD: 40h 00h 02h 42h 84h, already get 0 "
              "bytes\r\n");
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[1], link.sent[0]);
    EXPECT_EQ(channel.sendTime(), 6000);
    // The retry restarts the six seconds.
    clock.advance(5999);
    EXPECT_FALSE(channel.receiveAnswer());
    EXPECT_EQ(link.sent.size(), 2u);
}

TEST_F(Channel, ValidAnswerAfterFailuresEachRetriedOnce) {
    channel.sendCommand('B', nullptr, 0);
    auto good = statusAnswer();
    auto corrupt = good;
    corrupt[20] ^= 0xFF;
    link.answers.push_back({'#', 0, 1});        // three bytes: not examined
    link.answers.push_back({'!', 0, 1, 0, 0});  // wrong header
    link.answers.push_back(corrupt);            // wrong CRC32
    link.answers.push_back(good);
    EXPECT_FALSE(channel.receiveAnswer());
    EXPECT_EQ(texts.size(), 0u);
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_FALSE(channel.receiveAnswer());
    EXPECT_FALSE(channel.receiveAnswer());
    EXPECT_EQ(texts.size(), 2u);
    EXPECT_EQ(link.sent.size(), 3u);
    EXPECT_NE(texts[1].find("[Wrong CRC32] CMD:B,cmd[4]=132,cmd[5]=0, length=36"),
              std::string::npos);
    EXPECT_TRUE(channel.receiveAnswer());
    EXPECT_EQ(channel.answerLength(), 36);
}

TEST_F(Channel, RetryAfterDataBlockRepeatsTheCommandNotTheBlock) {
    const std::uint8_t sub = 12;
    channel.sendCommand('W', &sub, 1);
    link.answers.push_back({'#', 0, 1, 'A'});
    ASSERT_TRUE(channel.receiveAnswer());
    const std::uint8_t block[18] = {'#', 0,   18,  0,   '2', '0', '2', '6', '1',
                                    '2', '1', '0', '0', '9', '3', '0', '0', '0'};
    clock.advance(100);
    channel.sendBlock(block, 18);
    EXPECT_EQ(channel.sendTime(), 100);
    clock.advance(6000);
    EXPECT_FALSE(channel.receiveAnswer());
    ASSERT_EQ(link.sent.size(), 3u);
    EXPECT_EQ(link.sent[2], (std::vector<std::uint8_t>{0x40, 0x00, 0x03, 'W', 12, 0xA6}));
    EXPECT_NE(texts.at(0).find("CMD: 40h 00h 03h 57h 0Ch A6h,"), std::string::npos);
}

TEST_F(Channel, OversizedPayloadIsRefused) {
    std::vector<std::uint8_t> big(65);
    EXPECT_FALSE(channel.sendCommand('W', big.data(), 65));
    EXPECT_TRUE(link.sent.empty());
}
