#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/ByteOrder.h"
#include "protocol/Checksums.h"
#include "protocol/Commands.h"
#include "protocol/Frames.h"

// Frame and answer builders for tests, from the layouts the host reads.
namespace mx40d::testing {

using Bytes = std::vector<std::uint8_t>;

// An answer frame: '#', L (BE16, bytes after the first three), status, payload, check value.
inline Bytes answerFrame(std::uint8_t status, const Bytes& payload,
                         CheckKind check = CheckKind::Crc16) {
    const std::size_t cv = static_cast<std::size_t>(checkValueSize(check));
    const std::size_t body = wire::kPayload + payload.size();
    Bytes a(body + cv, 0);
    a[wire::kStart] = kAnswerStart;
    writeBe16(a.data() + wire::kLength, static_cast<std::uint16_t>(a.size() - 3));
    a[wire::kStatus] = status;
    std::copy(payload.begin(), payload.end(), a.begin() + wire::kPayload);
    if (check == CheckKind::Crc16) writeBe16(a.data() + body, crc16(a.data(), body));
    if (check == CheckKind::Crc32) writeBe32(a.data() + body, crc32(a.data(), body));
    return a;
}

// The identification answer of a machine of the given kind: model "MX-4000", the kind at its
// offset, CRC16.
inline Bytes identifyAnswer(std::uint8_t kind, std::uint8_t status = 0) {
    Bytes payload(wire::info::kEnd - wire::kPayload, 0);
    const char model[] = "MX-4000";
    std::copy(model, model + 7, payload.begin() + (wire::info::kModelName - wire::kPayload));
    payload[wire::info::kDeviceType - wire::kPayload] = kind;
    return answerFrame(status, payload);
}

// A log record as the machine stores it: number big-endian in bytes 0..3, the rest a pattern.
inline Bytes logRecord(std::uint32_t no) {
    Bytes r(kLogRecordSize);
    for (std::size_t i = 4; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(no * 7 + i);
    writeBe32(r.data(), no);
    return r;
}

}  // namespace mx40d::testing
