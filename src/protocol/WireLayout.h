#pragma once

#include <cstddef>
#include <cstdint>

// Where every field of the machines' answers lies, the machine kinds, job codes and stage
// numbers: named once here and used by the parsers, the engine, the identification, the shell,
// the simulator and the tools, so that host and machine can never agree on a wrong offset
// because each wrote its own number.
//
// Offsets count from the first byte of the answer frame: 0 '#', 1..2 length L (big-endian,
// the bytes after the first three), 3 status, 4.. payload, then the check value.
namespace mx40d::wire {

// ---- Command frame: 40h, length n + 2 (big-endian), code, n payload bytes, checksum --------
namespace command {
inline constexpr std::size_t kLength = 1;
inline constexpr std::size_t kCode = 3;
inline constexpr std::size_t kPayload = 4;
// "W" 3: sub-code, first board (1-based) low byte then high byte, board count.
namespace boards {
inline constexpr std::size_t kSub = kPayload;
inline constexpr std::size_t kFirstLow = kPayload + 1;
inline constexpr std::size_t kFirstHigh = kPayload + 2;
inline constexpr std::size_t kCount = kPayload + 3;
}  // namespace boards
// "D" and "E": 0, first device (1-based) high byte then low byte, device count.
namespace devices {
inline constexpr std::size_t kFirstHigh = kPayload + 1;
inline constexpr std::size_t kFirstLow = kPayload + 2;
inline constexpr std::size_t kCount = kPayload + 3;
}  // namespace devices
}  // namespace command

// ---- Answer frame ------------------------------------------------------------------------
inline constexpr std::size_t kStart = 0;
inline constexpr std::size_t kLength = 1;
inline constexpr std::size_t kStatus = 3;
inline constexpr std::size_t kPayload = 4;
// Start, length and status: the smallest answer there is.
inline constexpr int kAnswerHeadSize = 4;
inline constexpr int kCrc16Size = 2;
inline constexpr int kCrc32Size = 4;

// ---- "A": machine information ------------------------------------------------------------
namespace info {
inline constexpr std::size_t kModelName = 4;
inline constexpr std::size_t kModelNameSize = 20;
inline constexpr std::size_t kVersion = 24;
inline constexpr std::size_t kVersionSize = 10;
inline constexpr std::size_t kBufferSize = 34;  // 16-bit
inline constexpr std::size_t kPortCount = 36;   // 16-bit, maxDeviceQty
inline constexpr std::size_t kDeviceType = 38;
inline constexpr std::size_t kLayoutKind = 39;
inline constexpr std::size_t kFeatureBits = 40;
// The answer runs through the feature byte; its CRC16 follows.
inline constexpr int kEnd = 41;
inline constexpr int kAnswerSize = kEnd + kCrc16Size;
}  // namespace info

// ---- "W" 1: machine ID, a NUL-terminated text from offset 4 --------------------------------
namespace machineId {
inline constexpr std::size_t kText = 4;
}

// ---- "W" 2: board summary -----------------------------------------------------------------
namespace boardSummary {
inline constexpr std::size_t kBoardQty = 4;       // 16-bit little-endian
inline constexpr std::size_t kPortsPerBoard = 6;  // 16-bit little-endian
inline constexpr std::size_t kPortsPerRow = 8;    // 8-bit
inline constexpr int kAnswerSize = 9;
}  // namespace boardSummary

// ---- "W" 3: board records, 40 bytes each from offset 4 -------------------------------------
namespace board {
inline constexpr std::size_t kFirst = 4;
inline constexpr std::size_t kRecordSize = 40;
// Offsets inside one record; numbers big-endian.
inline constexpr std::size_t kName = 0;
inline constexpr std::size_t kNameSize = 16;
inline constexpr std::size_t kText2 = 16;
inline constexpr std::size_t kText2Size = 8;
inline constexpr std::size_t kFpgaVersion = 24;      // 32-bit
inline constexpr std::size_t kMemorySizeMB = 28;     // 16-bit
inline constexpr std::size_t kTotalDeviceQty = 30;   // 16-bit
inline constexpr std::size_t kSecondDeviceQty = 32;  // 16-bit
inline constexpr std::size_t kUnused = 34;           // 2 bytes, kept as they are
inline constexpr std::size_t kBuildNumber = 36;      // 32-bit
constexpr int answerSize(int count) {
    return static_cast<int>(kFirst + kRecordSize * static_cast<std::size_t>(count));
}
}  // namespace board

// ---- "W" 4: nickname, 56 bytes from offset 4 -----------------------------------------------
namespace nickname {
inline constexpr std::size_t kText = 4;
inline constexpr std::size_t kSize = 56;
inline constexpr int kAnswerSize = static_cast<int>(kText + kSize);
}  // namespace nickname

// ---- "W" 22: log range ---------------------------------------------------------------------
namespace logRange {
inline constexpr std::size_t kStartNo = 4;  // 32-bit big-endian
inline constexpr std::size_t kQty = 8;      // 32-bit big-endian
inline constexpr int kAnswerSize = 12;
}  // namespace logRange

// ---- "B": the 28-byte status block from offset 4 -------------------------------------------
namespace status {
inline constexpr std::size_t kBlock = 4;
inline constexpr std::size_t kBlockSize = 28;
// Offsets inside the block.
inline constexpr std::size_t kJobCode = 2;
inline constexpr std::size_t kStage = 3;
inline constexpr std::size_t kNumbers = 8;      // three 32-bit numbers, 8..19
inline constexpr std::size_t kLogStartNo = 20;  // 32-bit
inline constexpr std::size_t kLogQty = 24;      // 32-bit
// The five 32-bit numbers the controller turns to host order.
inline constexpr std::size_t kFirstNumber = 8;
inline constexpr int kAnswerSize = static_cast<int>(kBlock + kBlockSize) + kCrc32Size;
}  // namespace status

// ---- 0x80: one 256-byte log record from offset 4 -------------------------------------------
namespace logRecord {
inline constexpr std::size_t kRecord = 4;
inline constexpr std::size_t kRecordSize = 256;
inline constexpr int kAnswerSize = static_cast<int>(kRecord + kRecordSize) + kCrc32Size;
}  // namespace logRecord

// ---- "D" and "E": device records from offset 4 ---------------------------------------------
namespace device {
inline constexpr std::size_t kRecords = 4;
inline constexpr int kInfoRecordSize = 184;   // "D": DeviceStatus then DeviceInfo
inline constexpr int kStatusRecordSize = 64;  // "E": DeviceStatus
// The answer of one device read holds at most this many bytes of records.
inline constexpr int kMaxRecordBytes = 1010;
constexpr int answerSize(int recordSize, int count) {
    return static_cast<int>(kRecords) + recordSize * count + kCrc32Size;
}
}  // namespace device

// ---- Answers that carry only their status ("W" 5, 12, 20) ----------------------------------
inline constexpr int kStatusOnlyAnswerSize = kAnswerHeadSize;

}  // namespace mx40d::wire

namespace mx40d {

// Machine kinds (machine information byte 38): the two this monitor serves.
inline constexpr std::uint8_t kDuplicatorKind = '3';
inline constexpr std::uint8_t kEraserKind = '5';
inline constexpr bool isServedKind(std::uint8_t kind) {
    return kind == kDuplicatorKind || kind == kEraserKind;
}

// Job codes a machine reports (status byte 2, and one byte in each log record).
enum JobCode : int {
    kJobIdle = 0,
    kJobCopy = 1,
    kJobCompare = 2,
    kJobCopyCompare = 3,
    kJobScan = 4,
    kJobQuickErase = 5,
    kJobFullErase = 6,
    kJobDodErase = 7,
    kJobDodEraseVerify = 8,
    kJobErase7Pass = 9,
    kJobSecurityErase = 10,
    kJobSecurityErase2 = 16,
    kJobCopy2 = 20,
    kJobGetId = 26,
    kJobCustomNamed = 50,  // a log record whose job carries its own name
};
// The copy jobs, whose port 1 is the source drive.
inline constexpr bool isCopyJobCode(int code) {
    return code == kJobCopy || code == kJobCompare || code == kJobCopyCompare;
}
// The basic erase jobs, 5 to 9, named by the erase names chosen at start-up.
inline constexpr bool isBasicEraseJob(int code) {
    return code >= kJobQuickErase && code <= kJobErase7Pass;
}

// Stages: what the machine reports in status byte 3, and the controller's tracking of a
// copy or identify run, which adds two stages of its own.
enum JobStage : int {
    kStageIdle = 0,
    kStageDetect = 1,        // drives power up and are identified
    kStageCopy = 2,          // copy, scan or erase passes
    kStageCompare = 3,       // compare pass
    kStageEnd = 4,           // the run is over; waiting for "Finish" or "Next RUN"
    kStageCopyDone = 13,     // tracked: the copy pass's device data are complete
    kStageCompareDone = 14,  // tracked: the compare pass's device data are complete
};

}  // namespace mx40d
