#include "protocol/Frames.h"

#include <cstring>

#include "base/ByteOrder.h"
#include "base/Text.h"
#include "protocol/Checksums.h"
#include "protocol/Commands.h"
#include "protocol/WireLayout.h"

namespace mx40d {

int buildCommandFrame(std::uint8_t code, const std::uint8_t* payload, int n, std::uint8_t* out) {
    if (n < 0 || n > kMaxCommandPayload) return 0;
    out[0] = kCommandStart;
    writeBe16(out + wire::command::kLength, static_cast<std::uint16_t>(n + 2));
    out[wire::command::kCode] = code;
    if (n > 0) std::memcpy(out + wire::command::kPayload, payload, static_cast<std::size_t>(n));
    const std::size_t end = wire::command::kPayload + static_cast<std::size_t>(n);
    out[end] = additiveChecksum(out, end);
    return static_cast<int>(end) + 1;
}

int buildDataBlock(const std::uint8_t* data, int m, std::uint8_t* out) {
    // A data block is laid out as an answer: '#', its total size, 0, the data.
    constexpr int head = wire::kAnswerHeadSize;
    if (m < 0 || m + head > 0xFFFF) return 0;
    out[wire::kStart] = kAnswerStart;
    writeBe16(out + wire::kLength, static_cast<std::uint16_t>(m + head));
    out[wire::kStatus] = 0;
    if (m > 0) std::memcpy(out + wire::kPayload, data, static_cast<std::size_t>(m));
    return m + head;
}

CheckKind checkKindFor(std::uint8_t commandCode) {
    switch (commandCode) {
        case kCmdMachineInfo:
            return CheckKind::Crc16;
        case kCmdStatus:
        case kCmdDeviceInfo:
        case kCmdDeviceStatus:
        case kCmdLogRecord:
            return CheckKind::Crc32;
        default:
            return CheckKind::None;
    }
}

int checkValueSize(CheckKind kind) {
    return kind == CheckKind::Crc16   ? wire::kCrc16Size
           : kind == CheckKind::Crc32 ? wire::kCrc32Size
                                      : 0;
}

AnswerCheck checkAnswer(std::uint8_t commandCode, const std::uint8_t* answer, int size) {
    AnswerCheck r;
    if (size < wire::kAnswerHeadSize) return r;
    if (answer[0] != kAnswerStart) {
        r.verdict = AnswerVerdict::WrongHeader;
        return r;
    }
    if (static_cast<std::uint16_t>(readBe16(answer + wire::kLength) + 3) != size) {
        r.verdict = AnswerVerdict::WrongLength;
        return r;
    }
    const std::size_t n = static_cast<std::size_t>(size);
    switch (checkKindFor(commandCode)) {
        case CheckKind::Crc16:
            r.computed = crc16(answer, n - 2);
            r.received = readBe16(answer + n - 2);
            r.verdict = r.computed == r.received ? AnswerVerdict::Valid : AnswerVerdict::WrongCrc16;
            break;
        case CheckKind::Crc32:
            r.computed = crc32(answer, n - 4);
            r.received = readBe32(answer + n - 4);
            r.verdict = r.computed == r.received ? AnswerVerdict::Valid : AnswerVerdict::WrongCrc32;
            break;
        case CheckKind::None:
            r.verdict = AnswerVerdict::Valid;
            break;
    }
    return r;
}

std::string errorTimePrefix(const LocalTime& t) {
    const int wd = (t.weekday % 7 + 7) % 7;
    const int mon = t.month >= 1 && t.month <= 12 ? t.month - 1 : 0;
    return cformat("%s %s %02d %02d:%02d:%02d %4d\n", kWeekdayNames[wd], kMonthNames[mon], t.day,
                   t.hour, t.minute, t.second, t.year);
}

namespace {
void appendBytes(std::string& s, const std::uint8_t* p, int n) {
    for (int i = 0; i < n; ++i)
        s += cformat(" %02Xh", p[i]);
}
}  // namespace

std::string timeOutText(const LocalTime& t, const std::uint8_t* cmd, int cmdSize, int gotBytes) {
    std::string s = errorTimePrefix(t) + " [Cmd Time Out] CMD:";
    appendBytes(s, cmd, cmdSize);
    s += cformat(", already get %d bytes", gotBytes);
    s += "\r\n";
    return s;
}

std::string wrongHeaderText(const LocalTime& t, const std::uint8_t* answer) {
    std::string s = errorTimePrefix(t) + " [Wrong Data come in] ";
    appendBytes(s, answer, 10);
    s += "\r\n";
    return s;
}

std::string wrongLengthText(const LocalTime& t, const std::uint8_t* answer, int size) {
    std::string s =
        errorTimePrefix(t) + cformat(" [Wrong Data come in Length] length=%d, DATA:", size);
    appendBytes(s, answer, 4);
    s += "\r\n";
    return s;
}

std::string wrongCrc16Text(const LocalTime& t, const std::uint8_t* cmd, int size,
                           std::uint32_t computed) {
    return errorTimePrefix(t) +
           cformat(" [Wrong CRC16] CMD:%c,cmd[4]=%d,cmd[5]=%d, length=%d, CRC16=%Xh", cmd[3],
                   cmd[4], cmd[5], size, computed);
}

std::string wrongCrc32Text(const LocalTime& t, const std::uint8_t* cmd, int size,
                           std::uint32_t received, std::uint32_t computed) {
    return errorTimePrefix(t) +
           cformat(
               " [Wrong CRC32] CMD:%c,cmd[4]=%d,cmd[5]=%d, length=%d, CRC32=%Xh, calc_CRC32=%Xh",
               cmd[3], cmd[4], cmd[5], size, received, computed);
}

}  // namespace mx40d
