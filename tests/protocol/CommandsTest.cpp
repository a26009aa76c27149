#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/ByteOrder.h"
#include "protocol/Commands.h"

using namespace mx40d;

namespace {

std::vector<std::uint8_t> frameOf(const Command& c) {
    std::uint8_t out[16];
    const int n = buildFrame(c, out);
    return {out, out + n};
}

// A hand-made answer to "A" (status, fields at their offsets, two CRC bytes not checked here).
std::vector<std::uint8_t> machineInfoAnswer(const char* version) {
    std::vector<std::uint8_t> a(43, 0);
    a[0] = '#';
    writeBe16(a.data() + 1, 40);
    std::memcpy(a.data() + 4, "MX-40D DUPLICATOR   ", 20);
    std::memcpy(a.data() + 24, version, std::min<std::size_t>(std::strlen(version), 10));
    writeBe16(a.data() + 34, 0x1234);
    writeBe16(a.data() + 36, 40);
    a[38] = '3';
    a[39] = 1;
    a[40] = 0x0A;
    return a;
}

}  // namespace

TEST(Commands, FramesOfEveryCommand) {
    using V = std::vector<std::uint8_t>;
    EXPECT_EQ(frameOf(commands::machineInfo()), (V{0x40, 0, 2, 'A', 0x83}));
    EXPECT_EQ(frameOf(commands::machineData(kW_LogRange)), (V{0x40, 0, 3, 'W', 22, 0xB0}));
    // board number low byte first
    EXPECT_EQ(frameOf(commands::boards(0x0102, 25)), (V{0x40, 0, 6, 'W', 3, 0x02, 0x01, 25, 0xBC}));
    EXPECT_EQ(frameOf(commands::status()), (V{0x40, 0, 2, 'B', 0x84}));
    EXPECT_EQ(frameOf(commands::logRecord(300)), (V{0x40, 0, 6, 0x80, 0, 0, 0x01, 0x2C, 0xF3}));
    // device number high byte first
    EXPECT_EQ(frameOf(commands::deviceInfo(0x0102, 12)),
              (V{0x40, 0, 6, 'D', 0, 0x01, 0x02, 12, 0x99}));
    EXPECT_EQ(frameOf(commands::deviceStatus(1, 40))[3], 'E');
    EXPECT_EQ(frameOf(commands::jobRequest(JobRequest::Stop)), (V{0x40, 0, 3, 'R', 'C', 0xD8}));
    for (JobRequest r : {JobRequest::Copy, JobRequest::Compare, JobRequest::CopyCompare,
                         JobRequest::GetId, JobRequest::Finish, JobRequest::NextRun}) {
        EXPECT_EQ(frameOf(commands::jobRequest(r))[4], static_cast<std::uint8_t>(r));
    }
}

TEST(Commands, ClockAndNicknameBlocks) {
    const LocalTime t{2026, 2, 3, 4, 5, 6, 2};
    EXPECT_EQ(clockText(t), "20260203040506");
    std::uint8_t out[64];
    ASSERT_EQ(buildClockBlock(t, out), 18);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 4), 14), "20260203040506");
    ASSERT_EQ(buildNicknameBlock(std::string(70, 'n'), out), 60);
    EXPECT_EQ(out[2], 60);
    EXPECT_EQ(out[59], 'n');
    ASSERT_EQ(buildNicknameBlock("Line 3", out), 60);
    EXPECT_EQ(out[10], 0);
}

TEST(Commands, MachineInfoFieldsAtTheirOffsets) {
    const auto a = machineInfoAnswer("v1.2.3");
    MachineInfo info;
    std::memset(info.data(), 0xEE, MachineInfo::kSize);
    ASSERT_TRUE(parseMachineInfoAnswer(a.data(), static_cast<int>(a.size()), info));
    const std::uint8_t* r = info.data();
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], '3');
    EXPECT_EQ(r[4], 1);
    // feature byte 0x0A: flags at 6 and 8 set, 5 and 7 clear
    EXPECT_EQ(r[5], 0);
    EXPECT_EQ(r[6], 1);
    EXPECT_EQ(r[7], 0);
    EXPECT_EQ(r[8], 1);
    EXPECT_EQ(readLe32(r + 232), 40u);
    EXPECT_EQ(readLe32(r + 236), 0x1234u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 240)), "MX-40D DUPLICATOR   ");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 304)), "v1.2.3");
    EXPECT_EQ(readLe32(r + 608), 1u);
    EXPECT_EQ(readLe32(r + 612), 2u);
    EXPECT_EQ(readLe32(r + 616), 3u);
    // everything else is zero
    for (std::size_t i : {std::size_t{2}, std::size_t{3}, std::size_t{32}, std::size_t{96},
                          std::size_t{224}, std::size_t{340}, std::size_t{1631}}) {
        EXPECT_EQ(r[i], 0) << i;
    }
    EXPECT_EQ(info.modelName(), "MX-40D DUPLICATOR   ");
    EXPECT_EQ(info.maxDeviceQty(), 40);
}

TEST(Commands, VersionTexts) {
    struct Case {
        const char* text;
        int major, sub, minor;
    };
    for (Case c : {Case{"v1.2.3", 1, 2, 3}, Case{"1.2.3", 0, 0, 0}, Case{"v10.20", 10, 20, 0},
                   Case{"vX.1.1", 0, 0, 0}, Case{"v9999999999", 2147483647, 0, 0},
                   Case{"v-1.0.7", -1, 0, 7}}) {
        std::int32_t a = 9, b = 9, d = 9;
        parseVersionText(reinterpret_cast<const std::uint8_t*>(c.text), std::strlen(c.text), a, b,
                         d);
        EXPECT_EQ(a, c.major) << c.text;
        EXPECT_EQ(b, c.sub) << c.text;
        EXPECT_EQ(d, c.minor) << c.text;
    }
    // A ten-byte field without a terminator is read only within its ten bytes.
    const std::uint8_t field[12] = {'v', '1', '.', '2', '.', '3', '4', '5', '6', '7', '8', '9'};
    std::int32_t a = 0, b = 0, d = 0;
    parseVersionText(field, 10, a, b, d);
    EXPECT_EQ(d, 34567);
}

TEST(Commands, ShortAnswersAreRefusedWithoutReadingPastThem) {
    auto a = machineInfoAnswer("v1.2.3");
    MachineInfo info;
    info.setMachineId("KEEP");
    EXPECT_FALSE(parseMachineInfoAnswer(a.data(), 40, info));
    EXPECT_EQ(info.machineId(), "KEEP");
    BoardSummary s;
    const std::uint8_t summary[] = {'#', 0, 6, 0, 0x02, 0x00, 0x10, 0x00, 0x04};
    ASSERT_TRUE(parseBoardSummaryAnswer(summary, 9, s));
    EXPECT_EQ(s.boardQty, 2);
    EXPECT_EQ(s.portQty_per_board, 16);
    EXPECT_EQ(s.portQty_per_Row, 4);
    EXPECT_FALSE(parseBoardSummaryAnswer(summary, 8, s));
    LogRange r;
    EXPECT_FALSE(parseLogRangeAnswer(summary, 9, r));
    MachineStatus st;
    EXPECT_FALSE(parseStatusAnswer(summary, 9, st));
    const std::uint8_t* rec = nullptr;
    std::uint32_t no = 0;
    std::vector<std::uint8_t> log(4 + 256 + 4, 0);
    log[4 + 2] = 0x01;
    log[4 + 3] = 0x2C;
    ASSERT_TRUE(parseLogRecordAnswer(log.data(), static_cast<int>(log.size()), rec, no));
    EXPECT_EQ(no, 300u);
    EXPECT_EQ(rec, log.data() + 4);
    EXPECT_FALSE(parseLogRecordAnswer(log.data(), 259, rec, no));
}

TEST(Commands, MachineIdIsBoundedByAnswerAndCutTo63) {
    std::vector<std::uint8_t> a{'#', 0, 0, 0};
    for (int i = 0; i < 100; ++i)
        a.push_back('A' + i % 26);  // no terminator at all
    std::string id;
    ASSERT_TRUE(parseMachineIdAnswer(a.data(), static_cast<int>(a.size()), id));
    EXPECT_EQ(id.size(), 63u);
    ASSERT_TRUE(parseMachineIdAnswer(a.data(), 10, id));
    EXPECT_EQ(id, "ABCDEF");
    const std::uint8_t terminated[] = {'#', 0, 5, 0, 'M', '1', 0, 'X'};
    ASSERT_TRUE(parseMachineIdAnswer(terminated, 8, id));
    EXPECT_EQ(id, "M1");
}

TEST(Commands, BoardRecordsAndDeviceBlocksCountOnlyWholeRecords) {
    std::vector<std::uint8_t> a(4 + 3 * 40 + 10, 0);
    BoardInfo b{};
    std::memcpy(b.name, "BOARD-A         ", 16);
    b.fpgaVersion = 0x01020304;
    b.memorySizeMB = 512;
    b.totalDeviceQty = 8;
    b.buildNumber = 77;
    b.toWire(a.data() + 4 + 40);
    EXPECT_EQ(a[4 + 40 + 24], 0x01);  // big-endian on the wire
    BoardInfo out[25];
    EXPECT_EQ(parseBoardsAnswer(a.data(), static_cast<int>(a.size()), 25, out), 3);
    EXPECT_EQ(out[1].fpgaVersion, 0x01020304u);
    EXPECT_EQ(out[1].memorySizeMB, 512);
    EXPECT_EQ(out[1].totalDeviceQty, 8);
    EXPECT_EQ(out[1].buildNumber, 77u);
    EXPECT_EQ(parseBoardsAnswer(a.data(), static_cast<int>(a.size()), 2, out), 2);
    EXPECT_EQ(parseBoardsAnswer(a.data(), 3, 2, out), 0);

    std::vector<std::uint8_t> d(4 + 2 * 184 + 4, 0);
    DeviceBlockEvent e = parseDeviceAnswer(d.data(), static_cast<int>(d.size()), 0, 12, 12);
    EXPECT_EQ(e.count, 2);
    EXPECT_EQ(e.firstIndex, 12);
    EXPECT_EQ(e.records, d.data() + 4);
    e = parseDeviceAnswer(d.data(), static_cast<int>(d.size()), 1, 0, 4);
    EXPECT_EQ(e.kind, 1);
    EXPECT_EQ(e.count, 4);  // 372 bytes hold five 64-byte records, four asked
    EXPECT_EQ(parseDeviceAnswer(d.data(), 5, 1, 0, 4).count, 0);
}

TEST(Commands, StatusBlockNumbersAndHostCopy) {
    MachineStatus s;
    s.setJob(1, 2);
    s.setNumber(0, 0x11223344);
    s.setLogRange(5, 25);
    EXPECT_EQ(s.jobCode(), 1);
    EXPECT_EQ(s.stage(), 2);
    EXPECT_EQ(s.logStartNo(), 5u);
    EXPECT_EQ(s.logQty(), 25u);
    EXPECT_EQ(s.bytes[27], 25);
    const auto host = s.hostBytes();
    EXPECT_EQ(readLe32(host.data() + 24), 25u);
    EXPECT_EQ(readLe32(host.data() + 8), 0x11223344u);
    EXPECT_EQ(host[2], 1);
}
