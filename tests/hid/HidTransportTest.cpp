#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "hid/HidTransport.h"
#include "support/FakeHid.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

constexpr std::uint16_t kVendor = 0x2509;
constexpr std::uint16_t kProduct = 0x2001;

std::vector<std::uint8_t> bytes(int n, int start = 0) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), static_cast<std::uint8_t>(start));
    return v;
}

class Transport : public ::testing::Test {
  protected:
    void SetUp() override {
        HidTransport::enumerationIndex = 0;
        machine = &backend.add("/dev/hidraw3", kVendor, kProduct);
        ASSERT_TRUE(link.openNext(kVendor, kProduct));
    }
    FakeHidBackend backend;
    FakeEndpoint* machine = nullptr;
    HidTransport link{backend};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(8192);
};

}  // namespace

TEST_F(Transport, SendSplitsIntoSixtyByteReportsWithTrailingEmptyReport) {
    struct Case {
        int length;
        std::vector<int> counts;
    };
    for (const Case& c :
         {Case{0, {0}}, Case{59, {59}}, Case{60, {60, 0}}, Case{121, {60, 60, 1}}}) {
        machine->written.clear();
        const auto msg = bytes(c.length, 1);
        ASSERT_TRUE(link.send(c.length, msg.data()));
        ASSERT_EQ(machine->written.size(), c.counts.size()) << c.length;
        for (std::size_t i = 0; i < c.counts.size(); ++i) {
            const Report& r = machine->written[i];
            EXPECT_EQ(r[0], 0);
            EXPECT_EQ(r[1], 'C');
            EXPECT_EQ(r[2], c.counts.size());
            EXPECT_EQ(r[3], i + 1);
            EXPECT_EQ(r[4], c.counts[i]) << c.length << " report " << i;
            for (int k = 0; k < 60; ++k) {
                const int at = static_cast<int>(i) * 60 + k;
                EXPECT_EQ(r[5 + k], k < c.counts[i] ? msg[at] : 0);
            }
        }
        EXPECT_TRUE(link.awaitingResponse());
    }
}

TEST_F(Transport, ThreeReportMessageOverTwoPollsIsDeliveredWhole) {
    const auto msg = bytes(150, 7);
    const auto reports = machineMessage(msg);
    ASSERT_EQ(reports.size(), 3u);
    link.send(1, msg.data());
    machine->input.push_back(reports[0]);
    link.pollReceive();
    int length = 0;
    EXPECT_FALSE(link.receive(length, buffer.data()));
    EXPECT_EQ(link.packetsInMessage(), 1);
    machine->input.push_back(reports[1]);
    machine->input.push_back(reports[2]);
    link.pollReceive();
    ASSERT_TRUE(link.receive(length, buffer.data()));
    EXPECT_EQ(length, 150);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 150), msg);
    EXPECT_FALSE(link.awaitingResponse());
    EXPECT_EQ(link.packetsInMessage(), 0);
}

TEST_F(Transport, TwoMessagesBeforeReceiveAreHandedOverConcatenated) {
    const auto first = bytes(70, 1);
    const auto second = bytes(5, 200);
    for (const auto& r : machineMessage(first))
        machine->input.push_back(r);
    for (const auto& r : machineMessage(second))
        machine->input.push_back(r);
    link.pollReceive();
    link.pollReceive();
    int length = 0;
    ASSERT_TRUE(link.receive(length, buffer.data()));
    ASSERT_EQ(length, 75);
    std::vector<std::uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 75), expected);
}

TEST_F(Transport, MessageNotTakenBeforeNextSendIsDiscarded) {
    for (const auto& r : machineMessage(bytes(10)))
        machine->input.push_back(r);
    link.pollReceive();
    EXPECT_FALSE(link.empty());
    const std::uint8_t cmd[5] = {0x40, 0, 2, 'A', 0x83};
    link.send(5, cmd);
    int length = -1;
    EXPECT_FALSE(link.receive(length, buffer.data()));
    EXPECT_EQ(length, -1);
    EXPECT_TRUE(link.awaitingResponse());  // receive without a message leaves it set
}

TEST_F(Transport, MessageOfSixtyBytesEndsWithEmptyReport) {
    const auto msg = bytes(60);
    const auto reports = machineMessage(msg);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1][4], 0);
    for (const auto& r : reports)
        machine->input.push_back(r);
    link.pollReceive();
    int length = 0;
    ASSERT_TRUE(link.receive(length, buffer.data()));
    EXPECT_EQ(length, 60);
}

TEST_F(Transport, ReportsWithoutDefinedMeaningAreDroppedUntouched) {
    // payload count above 60, index 0 or above 127, count 0 or above 127
    machine->input.push_back(machineReport(1, 1, bytes(60, 50), 61));
    machine->input.push_back(machineReport(1, 0, bytes(5, 50)));
    machine->input.push_back(machineReport(200, 128, bytes(5, 50)));
    machine->input.push_back(machineReport(0, 1, bytes(5, 50)));
    link.pollReceive();
    EXPECT_TRUE(link.empty());
    EXPECT_EQ(link.packetsInMessage(), 0);
    // A good message afterwards arrives whole and unharmed.
    for (const auto& r : machineMessage(bytes(3, 9)))
        machine->input.push_back(r);
    link.pollReceive();
    int length = 0;
    ASSERT_TRUE(link.receive(length, buffer.data()));
    EXPECT_EQ(length, 3);
    EXPECT_EQ(buffer[0], 9);
}

TEST_F(Transport, LargestMessagesAndOverfullBufferStayInsideTheAssembly) {
    // 127 reports of 60 bytes: 7620 bytes, the largest message.
    std::vector<std::uint8_t> big(7620);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7);
    for (int i = 1; i <= 127; ++i) {
        machine->input.push_back(machineReport(
            127, i, std::vector<std::uint8_t>(big.begin() + (i - 1) * 60, big.begin() + i * 60)));
    }
    link.pollReceive();
    // A second one before the first is taken would reach past 8192 bytes: it is cut there.
    for (int i = 1; i <= 127; ++i)
        machine->input.push_back(machineReport(127, i, bytes(60)));
    link.pollReceive();
    int length = 0;
    ASSERT_TRUE(link.receive(length, buffer.data()));
    EXPECT_EQ(length, 8192);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 7620), big);
}

TEST(TransportOpen, OpenNextWalksTheEnumerationIndexAndRejectsForeignDevices) {
    FakeHidBackend backend;
    backend.add("/dev/hidraw0", 0x046D, 0xC077);  // a mouse
    FakeEndpoint& a = backend.add("/dev/hidraw1", kVendor, kProduct);
    FakeEndpoint& foreign = backend.add("/dev/hidraw2", kVendor, 0x2003);
    FakeEndpoint& b = backend.add("/dev/hidraw3", kVendor, kProduct);
    HidTransport::enumerationIndex = 0;
    HidTransport first(backend), second(backend), third(backend);
    ASSERT_TRUE(first.openNext(kVendor, kProduct));
    EXPECT_STREQ(first.devicePath(), "/dev/hidraw1");
    EXPECT_TRUE(first.openNext(kVendor, kProduct));  // already open
    ASSERT_TRUE(second.openNext(kVendor, kProduct));
    EXPECT_STREQ(second.devicePath(), "/dev/hidraw3");
    EXPECT_FALSE(third.openNext(kVendor, kProduct));
    EXPECT_FALSE(third.opened());
    EXPECT_EQ(foreign.opens, 1);
    EXPECT_EQ(foreign.liveHandles, 0);  // rejected and released
    EXPECT_EQ(a.liveHandles, 1);
    first.close();
    EXPECT_EQ(a.liveHandles, 0);
    EXPECT_EQ(b.liveHandles, 1);
}

TEST(TransportOpen, OpenPathChecksIdentifiersAndCutsLongPaths) {
    FakeHidBackend backend;
    const std::string longPath(300, 'p');
    backend.add(longPath, kVendor, kProduct);
    FakeEndpoint& broken = backend.add("/dev/hidraw9", kVendor, kProduct);
    broken.attributesFail = true;
    HidTransport link(backend), wrong(backend), fails(backend);
    EXPECT_FALSE(wrong.openPath(longPath, kVendor, 0x2002));
    EXPECT_FALSE(fails.openPath("/dev/hidraw9", kVendor, kProduct));
    EXPECT_EQ(broken.liveHandles, 0);
    ASSERT_TRUE(link.openPath(longPath, kVendor, kProduct));
    EXPECT_EQ(std::string(link.devicePath()), std::string(255, 'p'));
}

TEST(TransportOpen, SendRawWritesOneReportCutToSixtyFourBytes) {
    FakeHidBackend backend;
    FakeEndpoint& ep = backend.add("/dev/hidraw1", kVendor, kProduct);
    HidTransport link(backend);
    const std::uint8_t r = 'R';
    EXPECT_FALSE(link.sendRaw(1, &r));  // not open
    ASSERT_TRUE(link.openPath("/dev/hidraw1", kVendor, kProduct));
    EXPECT_TRUE(link.sendRaw(1, &r));
    std::vector<std::uint8_t> many(100, 0xAB);
    EXPECT_TRUE(link.sendRaw(100, many.data()));
    ASSERT_EQ(ep.written.size(), 2u);
    EXPECT_EQ(ep.written[0][0], 0);
    EXPECT_EQ(ep.written[0][1], 'R');
    EXPECT_EQ(ep.written[0][2], 0);
    EXPECT_EQ(ep.written[1][64], 0xAB);
    EXPECT_FALSE(link.awaitingResponse());
}

TEST_F(Transport, KeepWaitingAwaitsAgainAfterAMessageWasHandedOver) {
    const std::uint8_t cmd[5] = {0x40, 0, 2, 'A', 0x83};
    link.send(5, cmd);
    for (const auto& r : machineMessage(bytes(10)))
        machine->input.push_back(r);
    link.pollReceive();
    int length = 0;
    ASSERT_TRUE(HidTransport::receiveCallback(&link, length, buffer.data()));
    EXPECT_FALSE(link.awaitingResponse());
    HidTransport::keepWaitingCallback(&link);
    EXPECT_TRUE(link.awaitingResponse());
    EXPECT_TRUE(link.empty());
}
