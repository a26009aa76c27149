#include <gtest/gtest.h>

#include <vector>

#include "machine_ui/DeviceRecords.h"

using namespace mx40d;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes slice(const std::uint8_t* p, std::size_t from, std::size_t n) {
    return Bytes(p + from, p + from + n);
}

TEST(DeviceRecords, StatusFieldsSitAtTheirWireOffsetsBigEndian) {
    DeviceStatus s;
    s.setEraseDone(0x0102030405060708ull);
    s.setCopyDone(0x1112131415161718ull);
    s.setCopyTotal(0x2122232425262728ull);
    s.setNumber(DeviceStatus::kNumber24, 0x31323334u);
    s.setSpeedTime(0x41424344u);
    s.setSpeedSectors(0x51525354u);
    s.setNumber(DeviceStatus::kNumber36, 0x61626364u);
    s.setNumber(DeviceStatus::kNumber40, 0x71727374u);
    s.setEraseResult(15);
    s.setFailed(1);
    s.setPresent(1);
    s.setErasePattern(0xFF);
    s.setEraseLoop(2);
    s.setPortState(7);
    const std::uint8_t* b = s.data();
    EXPECT_EQ(slice(b, 0, 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(slice(b, 8, 8), (Bytes{0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18}));
    EXPECT_EQ(slice(b, 16, 8), (Bytes{0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28}));
    EXPECT_EQ(slice(b, 24, 4), (Bytes{0x31, 0x32, 0x33, 0x34}));
    EXPECT_EQ(slice(b, 28, 4), (Bytes{0x41, 0x42, 0x43, 0x44}));
    EXPECT_EQ(slice(b, 32, 4), (Bytes{0x51, 0x52, 0x53, 0x54}));
    EXPECT_EQ(slice(b, 36, 8), (Bytes{0x61, 0x62, 0x63, 0x64, 0x71, 0x72, 0x73, 0x74}));
    EXPECT_EQ(slice(b, 44, 4), (Bytes{15, 1, 0, 1}));
    EXPECT_EQ(slice(b, 48, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(slice(b, 52, 3), (Bytes{0xFF, 2, 7}));
    EXPECT_EQ(slice(b, 55, 9), Bytes(9, 0));

    const DeviceStatus back(b, DeviceStatus::kSize);
    EXPECT_EQ(back, s);
    EXPECT_EQ(back.copyTotal(), 0x2122232425262728ull);
    EXPECT_EQ(back.speedSectors(), 0x51525354u);
    EXPECT_EQ(back.number(62), 0u);  // would reach past the record
}

TEST(DeviceRecords, InfoTextsArePaddedAndReadBackTrimmed) {
    DeviceInfo d;
    d.setNumber0(9);
    d.setSectorCount(976773168ull);
    d.setModel("WDC WD5000");
    d.setVersion("01.01A01");
    d.setSerialNo(std::string(30, 'S'));  // longer than its 24 bytes
    d.setSectorSize(512);
    const std::uint8_t* b = d.data();
    EXPECT_EQ(slice(b, 8, 8), (Bytes{0, 0, 0, 0, 0x3A, 0x38, 0x60, 0x30}));
    EXPECT_EQ(b[16], 'W');
    EXPECT_EQ(b[16 + 10], ' ');
    EXPECT_EQ(b[65], ' ');
    EXPECT_EQ(b[66], '0');
    EXPECT_EQ(b[76 + 23], 'S');
    EXPECT_EQ(b[100], 0);
    EXPECT_EQ(slice(b, 112, 2), (Bytes{0x02, 0x00}));
    EXPECT_EQ(d.model(), "WDC WD5000");
    EXPECT_EQ(d.version(), "01.01A01");
    EXPECT_EQ(d.serialNo(), std::string(24, 'S'));

    // Texts from a machine: NUL-padded with blanks on both sides, read up to the NUL.
    Bytes wire(DeviceInfo::kSize, 0);
    const char model[] = "  ST1000  \0garbage";
    std::copy(model, model + sizeof model - 1, wire.begin() + 16);
    const DeviceInfo fromWire(wire.data(), 20);  // a short copy leaves the rest zero
    EXPECT_EQ(fromWire.model(), "ST");
    const DeviceInfo whole(wire.data(), wire.size());
    EXPECT_EQ(whole.model(), "ST1000");
    EXPECT_EQ(whole.sectorSize(), 0);
}

}  // namespace
