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
    using namespace wire::command::boards;
    constexpr std::size_t at = wire::command::kPayload;
    Command c = make(kCmdMachineData, {0, 0, 0, 0});
    c.payload[kSub - at] = kW_Boards;
    c.payload[kFirstLow - at] = static_cast<std::uint8_t>(firstBoard);
    c.payload[kFirstHigh - at] = static_cast<std::uint8_t>(firstBoard >> 8);
    c.payload[kCount - at] = static_cast<std::uint8_t>(count);
    return c;
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
    using namespace wire::command::devices;
    constexpr std::size_t at = wire::command::kPayload;
    Command c = make(kCmdDeviceInfo, {0, 0, 0, 0});
    c.payload[kFirstHigh - at] = static_cast<std::uint8_t>(firstDevice >> 8);
    c.payload[kFirstLow - at] = static_cast<std::uint8_t>(firstDevice);
    c.payload[kCount - at] = static_cast<std::uint8_t>(count);
    return c;
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
    using namespace wire::board;
    std::memcpy(b.name, p + kName, kNameSize);
    std::memcpy(b.text2, p + kText2, kText2Size);
    b.fpgaVersion = readBe32(p + kFpgaVersion);
    b.memorySizeMB = readBe16(p + kMemorySizeMB);
    b.totalDeviceQty = readBe16(p + kTotalDeviceQty);
    b.secondDeviceQty = readBe16(p + kSecondDeviceQty);
    b.unused = readLe16(p + kUnused);  // not a number: kept as its bytes
    b.buildNumber = readBe32(p + kBuildNumber);
    return b;
}

void BoardInfo::toWire(std::uint8_t* p) const {
    using namespace wire::board;
    std::memcpy(p + kName, name, kNameSize);
    std::memcpy(p + kText2, text2, kText2Size);
    writeBe32(p + kFpgaVersion, fpgaVersion);
    writeBe16(p + kMemorySizeMB, memorySizeMB);
    writeBe16(p + kTotalDeviceQty, totalDeviceQty);
    writeBe16(p + kSecondDeviceQty, secondDeviceQty);
    writeLe16(p + kUnused, unused);
    writeBe32(p + kBuildNumber, buildNumber);
}

std::uint32_t MachineStatus::number(int i) const {
    return readBe32(bytes.data() + wire::status::kNumbers + 4 * std::clamp(i, 0, 2));
}
std::uint32_t MachineStatus::logStartNo() const {
    return readBe32(bytes.data() + wire::status::kLogStartNo);
}
std::uint32_t MachineStatus::logQty() const {
    return readBe32(bytes.data() + wire::status::kLogQty);
}
void MachineStatus::setNumber(int i, std::uint32_t v) {
    writeBe32(bytes.data() + wire::status::kNumbers + 4 * std::clamp(i, 0, 2), v);
}
void MachineStatus::setLogRange(std::uint32_t startNo, std::uint32_t qty) {
    writeBe32(bytes.data() + wire::status::kLogStartNo, startNo);
    writeBe32(bytes.data() + wire::status::kLogQty, qty);
}
std::array<std::uint8_t, kMachineStatusSize> MachineStatus::hostBytes() const {
    std::array<std::uint8_t, kMachineStatusSize> out = bytes;
    for (std::size_t off = wire::status::kFirstNumber; off < kMachineStatusSize; off += 4)
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
    using namespace wire::info;
    info.clear();
    info.setSystemTotalBufferSize(readBe16(a + kBufferSize));
    info.setMaxDeviceQty(readBe16(a + kPortCount));
    info.setDeviceType(a[kDeviceType]);
    info.setLayoutKind(a[kLayoutKind]);
    for (int bit = 0; bit < 4; ++bit)
        info.setFeatureFlag(bit, (a[kFeatureBits] >> bit) & 1);
    std::memcpy(info.data() + MachineInfo::kModelName, a + kModelName, kModelNameSize);
    std::memcpy(info.data() + MachineInfo::kVersion, a + kVersion, kVersionSize);
    std::int32_t major = 0;
    std::int32_t sub = 0;
    std::int32_t minor = 0;
    parseVersionText(a + kVersion, kVersionSize, major, sub, minor);
    info.setControllerVersion(major, sub, minor);
    return true;
}

bool parseMachineIdAnswer(const std::uint8_t* a, int size, std::string& machineId) {
    if (size < wire::kAnswerHeadSize) return false;
    // NUL-terminated text of unchecked length: cut to what the record holds (63 characters).
    machineId = fixedText(a + wire::machineId::kText,
                          static_cast<std::size_t>(size) - wire::machineId::kText);
    if (machineId.size() > MachineInfo::kMachineIdSize - 1)
        machineId.resize(MachineInfo::kMachineIdSize - 1);
    return true;
}

bool parseBoardSummaryAnswer(const std::uint8_t* a, int size, BoardSummary& s) {
    using namespace wire::boardSummary;
    if (size < kAnswerSize) return false;
    s.boardQty = readLe16(a + kBoardQty);
    s.portQty_per_board = readLe16(a + kPortsPerBoard);
    s.portQty_per_Row = a[kPortsPerRow];
    return true;
}

int parseBoardsAnswer(const std::uint8_t* a, int size, int requested, BoardInfo* out) {
    using namespace wire::board;
    if (size < static_cast<int>(kFirst) || requested <= 0) return 0;
    const int whole =
        std::min(requested, (size - static_cast<int>(kFirst)) / static_cast<int>(kRecordSize));
    for (int i = 0; i < whole; ++i)
        out[i] = BoardInfo::fromWire(a + kFirst + kRecordSize * static_cast<std::size_t>(i));
    return whole;
}

bool parseNicknameAnswer(const std::uint8_t* a, int size, std::string& nickname) {
    using namespace wire::nickname;
    if (size < static_cast<int>(kText)) return false;
    nickname = fixedText(a + kText, static_cast<std::size_t>(std::min(
                                        size - static_cast<int>(kText), kNicknameBlockData)));
    return true;
}

bool parseLogRangeAnswer(const std::uint8_t* a, int size, LogRange& r) {
    using namespace wire::logRange;
    if (size < kAnswerSize) return false;
    r.startNo = readBe32(a + kStartNo);
    r.qty = readBe32(a + kQty);
    return true;
}

bool parseStatusAnswer(const std::uint8_t* a, int size, MachineStatus& status) {
    if (size < static_cast<int>(wire::status::kBlock) + kMachineStatusSize) return false;
    std::memcpy(status.bytes.data(), a + wire::status::kBlock, kMachineStatusSize);
    return true;
}

bool parseLogRecordAnswer(const std::uint8_t* a, int size, const std::uint8_t*& record,
                          std::uint32_t& recordNo) {
    if (size < static_cast<int>(wire::logRecord::kRecord + kLogRecordSize)) return false;
    record = a + wire::logRecord::kRecord;
    recordNo = readBe32(record);
    return true;
}

DeviceBlockEvent parseDeviceAnswer(const std::uint8_t* a, int size, int kind, int firstIndex,
                                   int requested) {
    DeviceBlockEvent e;
    e.kind = kind;
    e.firstIndex = firstIndex;
    e.records = a + wire::device::kRecords;
    const int recordSize = kind == 0 ? kDeviceInfoRecordSize : kDeviceStatusRecordSize;
    // Behind the status byte, before the CRC32.
    const int overhead = static_cast<int>(wire::device::kRecords) + wire::kCrc32Size;
    const int available = size > overhead ? (size - overhead) / recordSize : 0;
    e.count = std::clamp(requested, 0, available);
    return e;
}

}  // namespace mx40d
