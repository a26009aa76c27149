#include "protocol/Commands.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Text.h"
#include "protocol/Frames.h"

namespace mx40d {

namespace commands {

namespace {
Command make(std::uint8_t code, std::initializer_list<std::uint8_t> payload) {
    Command c;
    c.code = code;
    c.length = static_cast<int>(payload.size());
    std::copy(payload.begin(), payload.end(), c.payload.begin());
    return c;
}
}  // namespace

Command machineInfo() {
    return make(kCmdMachineInfo, {});
}
Command machineData(WCode sub) {
    return make(kCmdMachineData, {sub});
}
Command boards(int firstBoard, int count) {
    return make(kCmdMachineData,
                {kW_Boards, static_cast<std::uint8_t>(firstBoard),
                 static_cast<std::uint8_t>(firstBoard >> 8), static_cast<std::uint8_t>(count)});
}
Command status() {
    return make(kCmdStatus, {});
}
Command logRecord(std::uint32_t recordNo) {
    Command c = make(kCmdLogRecord, {0, 0, 0, 0});
    writeBe32(c.payload.data(), recordNo);
    return c;
}
Command deviceInfo(int firstDevice, int count) {
    return make(kCmdDeviceInfo,
                {0, static_cast<std::uint8_t>(firstDevice >> 8),
                 static_cast<std::uint8_t>(firstDevice), static_cast<std::uint8_t>(count)});
}
Command deviceStatus(int firstDevice, int count) {
    Command c = deviceInfo(firstDevice, count);
    c.code = kCmdDeviceStatus;
    return c;
}
Command jobRequest(JobRequest request) {
    return make(kCmdJobRequest, {static_cast<std::uint8_t>(request)});
}

}  // namespace commands

int buildFrame(const Command& command, std::uint8_t* out) {
    return buildCommandFrame(command.code, command.payload.data(), command.length, out);
}

std::string clockText(const LocalTime& t) {
    return cformat("%04d%02d%02d%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

int buildClockBlock(const LocalTime& t, std::uint8_t* out) {
    std::string text = clockText(t);
    text.resize(kClockTextSize, '0');  // a year beyond four digits never widens the block
    return buildDataBlock(reinterpret_cast<const std::uint8_t*>(text.data()), kClockTextSize, out);
}

int buildNicknameBlock(const std::string& nickname, std::uint8_t* out) {
    std::uint8_t data[kNicknameBlockData] = {};
    std::memcpy(data, nickname.data(), std::min<std::size_t>(nickname.size(), kNicknameBlockData));
    return buildDataBlock(data, kNicknameBlockData, out);
}

BoardInfo BoardInfo::fromWire(const std::uint8_t* p) {
    BoardInfo b{};
    std::memcpy(b.name, p, 16);
    std::memcpy(b.text2, p + 16, 8);
    b.fpgaVersion = readBe32(p + 24);
    b.memorySizeMB = readBe16(p + 28);
    b.totalDeviceQty = readBe16(p + 30);
    b.secondDeviceQty = readBe16(p + 32);
    b.unused = readLe16(p + 34);  // not a number: kept as its bytes
    b.buildNumber = readBe32(p + 36);
    return b;
}

void BoardInfo::toWire(std::uint8_t* p) const {
    std::memcpy(p, name, 16);
    std::memcpy(p + 16, text2, 8);
    writeBe32(p + 24, fpgaVersion);
    writeBe16(p + 28, memorySizeMB);
    writeBe16(p + 30, totalDeviceQty);
    writeBe16(p + 32, secondDeviceQty);
    writeLe16(p + 34, unused);
    writeBe32(p + 36, buildNumber);
}

std::uint32_t MachineStatus::number(int i) const {
    return readBe32(bytes.data() + 8 + 4 * std::clamp(i, 0, 2));
}
std::uint32_t MachineStatus::logStartNo() const {
    return readBe32(bytes.data() + 20);
}
std::uint32_t MachineStatus::logQty() const {
    return readBe32(bytes.data() + 24);
}
void MachineStatus::setNumber(int i, std::uint32_t v) {
    writeBe32(bytes.data() + 8 + 4 * std::clamp(i, 0, 2), v);
}
void MachineStatus::setLogRange(std::uint32_t startNo, std::uint32_t qty) {
    writeBe32(bytes.data() + 20, startNo);
    writeBe32(bytes.data() + 24, qty);
}
std::array<std::uint8_t, kMachineStatusSize> MachineStatus::hostBytes() const {
    std::array<std::uint8_t, kMachineStatusSize> out = bytes;
    for (std::size_t off = 8; off < kMachineStatusSize; off += 4)
        reverse4(out.data() + off);
    return out;
}

namespace {

// Reads an optionally signed decimal number the way "%d" does (leading blanks skipped);
// values beyond the int range saturate instead of overflowing.
bool readInt(const char*& p, const char* end, std::int32_t& out) {
    while (p < end &&
           (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v'))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p >= end || *p < '0' || *p > '9') return false;
    long long v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        v = std::min<long long>(v * 10 + (*p - '0'), static_cast<long long>(INT_MAX) + 1);
        ++p;
    }
    if (negative) v = -v;
    out = static_cast<std::int32_t>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    return true;
}

}  // namespace

void parseVersionText(const std::uint8_t* text, std::size_t size, std::int32_t& major,
                      std::int32_t& sub, std::int32_t& minor) {
    major = sub = minor = 0;
    const std::string s = fixedText(text, size);
    const char* p = s.data();
    const char* end = p + s.size();
    if (p == end || *p != 'v') return;
    ++p;
    if (!readInt(p, end, major)) return;
    if (p == end || *p != '.') return;
    ++p;
    if (!readInt(p, end, sub)) return;
    if (p == end || *p != '.') return;
    ++p;
    readInt(p, end, minor);
}

bool parseMachineInfoAnswer(const std::uint8_t* a, int size, MachineInfo& info) {
    if (size < kMachineInfoAnswerMin) return false;
    info.clear();
    info.setSystemTotalBufferSize(readBe16(a + 34));
    info.setMaxDeviceQty(readBe16(a + 36));
    info.setDeviceType(a[38]);
    info.setLayoutKind(a[39]);
    for (int bit = 0; bit < 4; ++bit)
        info.setFeatureFlag(bit, (a[40] >> bit) & 1);
    std::memcpy(info.data() + MachineInfo::kModelName, a + 4, 20);
    std::memcpy(info.data() + MachineInfo::kVersion, a + 24, 10);
    std::int32_t major = 0;
    std::int32_t sub = 0;
    std::int32_t minor = 0;
    parseVersionText(a + 24, 10, major, sub, minor);
    info.setControllerVersion(major, sub, minor);
    return true;
}

bool parseMachineIdAnswer(const std::uint8_t* a, int size, std::string& machineId) {
    if (size < 4) return false;
    // NUL-terminated text of unchecked length: cut to what the record holds (63 characters).
    machineId = fixedText(a + 4, static_cast<std::size_t>(size - 4));
    if (machineId.size() > MachineInfo::kMachineIdSize - 1)
        machineId.resize(MachineInfo::kMachineIdSize - 1);
    return true;
}

bool parseBoardSummaryAnswer(const std::uint8_t* a, int size, BoardSummary& s) {
    if (size < 9) return false;
    s.boardQty = readLe16(a + 4);
    s.portQty_per_board = readLe16(a + 6);
    s.portQty_per_Row = a[8];
    return true;
}

int parseBoardsAnswer(const std::uint8_t* a, int size, int requested, BoardInfo* out) {
    if (size < 4 || requested <= 0) return 0;
    const int whole = std::min(requested, (size - 4) / 40);
    for (int i = 0; i < whole; ++i)
        out[i] = BoardInfo::fromWire(a + 4 + 40 * i);
    return whole;
}

bool parseNicknameAnswer(const std::uint8_t* a, int size, std::string& nickname) {
    if (size < 4) return false;
    nickname = fixedText(a + 4, static_cast<std::size_t>(std::min(size - 4, kNicknameBlockData)));
    return true;
}

bool parseLogRangeAnswer(const std::uint8_t* a, int size, LogRange& r) {
    if (size < 12) return false;
    r.startNo = readBe32(a + 4);
    r.qty = readBe32(a + 8);
    return true;
}

bool parseStatusAnswer(const std::uint8_t* a, int size, MachineStatus& status) {
    if (size < 4 + kMachineStatusSize) return false;
    std::memcpy(status.bytes.data(), a + 4, kMachineStatusSize);
    return true;
}

bool parseLogRecordAnswer(const std::uint8_t* a, int size, const std::uint8_t*& record,
                          std::uint32_t& recordNo) {
    if (size < 4 + static_cast<int>(kLogRecordSize)) return false;
    record = a + 4;
    recordNo = readBe32(record);
    return true;
}

DeviceBlockEvent parseDeviceAnswer(const std::uint8_t* a, int size, int kind, int firstIndex,
                                   int requested) {
    DeviceBlockEvent e;
    e.kind = kind;
    e.firstIndex = firstIndex;
    e.records = a + 4;
    const int recordSize = kind == 0 ? kDeviceInfoRecordSize : kDeviceStatusRecordSize;
    const int available = size > 8 ? (size - 8) / recordSize : 0;  // behind status, before CRC32
    e.count = std::clamp(requested, 0, available);
    return e;
}

}  // namespace mx40d
