#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/Clock.h"
#include "protocol/MachineInfo.h"
#include "protocol/WireLayout.h"

// The vocabulary of the link: every command the host sends, the data blocks, and the
// parsers of every answer. Answer offsets count from the first byte of the answer frame
// (offset 4 is the first payload byte behind the status byte).
namespace mx40d {

// Command codes.
constexpr std::uint8_t kCmdMachineInfo = 'A';
constexpr std::uint8_t kCmdStatus = 'B';
constexpr std::uint8_t kCmdDeviceInfo = 'D';    // 184-byte device records
constexpr std::uint8_t kCmdDeviceStatus = 'E';  // 64-byte device records
constexpr std::uint8_t kCmdJobRequest = 'R';
constexpr std::uint8_t kCmdMachineData = 'W';
constexpr std::uint8_t kCmdLogRecord = 0x80;

// Sub-codes of "W" (its first payload byte).
enum WCode : std::uint8_t {
    kW_MachineId = 1,
    kW_BoardSummary = 2,
    kW_Boards = 3,
    kW_Nickname = 4,
    kW_ChangeNickname = 5,
    kW_SetClock = 12,
    kW_LogSupport = 20,
    kW_LogRangeDone = 21,
    kW_LogRange = 22,
};

// Job requests of "R" (its payload byte), raised by the panel's buttons.
enum class JobRequest : std::uint8_t {
    Copy = '1',
    Compare = '2',
    CopyCompare = '3',
    GetId = '6',
    Finish = 'A',
    NextRun = 'B',
    Stop = 'C',
};

constexpr std::uint8_t kStatusGoAhead = 'A';  // after "W" 5 and "W" 12: send the block now
constexpr std::uint8_t kStatusYes = 0;        // after "W" 20: the machine keeps a job log

constexpr int kBoardsPerRequest = 25;
constexpr int kMaxBoards = 256;
constexpr int kNicknameBlockData = static_cast<int>(wire::nickname::kSize);
constexpr int kClockTextSize = 14;
constexpr int kMachineStatusSize = static_cast<int>(wire::status::kBlockSize);
// One job log record (also the record size of the log database).
inline constexpr std::size_t kLogRecordSize = wire::logRecord::kRecordSize;
constexpr int kDeviceInfoRecordSize = wire::device::kInfoRecordSize;      // "D"
constexpr int kDeviceStatusRecordSize = wire::device::kStatusRecordSize;  // "E"
constexpr int kMachineInfoAnswerMin = wire::info::kEnd;  // through the feature byte

// A command: its code and up to four payload bytes.
struct Command {
    std::uint8_t code = 0;
    std::array<std::uint8_t, 4> payload{};
    int length = 0;
};

namespace commands {
Command machineInfo();
Command machineData(WCode sub);             // "W" with one byte
Command boards(int firstBoard, int count);  // first board 1-based, sent low byte first
Command status();
Command logRecord(std::uint32_t recordNo);
Command deviceInfo(int firstDevice, int count);    // "D", first device 1-based, high byte first
Command deviceStatus(int firstDevice, int count);  // "E"
Command jobRequest(JobRequest request);
}  // namespace commands

// Writes the command's frame into `out` (room for 9 bytes); returns its size.
int buildFrame(const Command& command, std::uint8_t* out);

// The clock text: 14 digits of local time, "%04d%02d%02d%02d%02d%02d".
std::string clockText(const LocalTime& t);
// The 18-byte clock block and the 60-byte nickname block (56 bytes, zero-padded).
int buildClockBlock(const LocalTime& t, std::uint8_t* out);
int buildNicknameBlock(const std::string& nickname, std::uint8_t* out);

// One board of the board list, numbers in host order. 40 bytes on the wire, big-endian.
struct BoardInfo {
    char name[16];
    char text2[8];
    std::uint32_t fpgaVersion;
    std::uint16_t memorySizeMB;
    std::uint16_t totalDeviceQty;
    std::uint16_t secondDeviceQty;
    std::uint16_t unused;
    std::uint32_t buildNumber;

    static BoardInfo fromWire(const std::uint8_t* p);
    void toWire(std::uint8_t* p) const;
};
static_assert(sizeof(BoardInfo) == 40);

// The 28-byte status block answered to "B", as the machine sends it. Numbers are read from
// the big-endian bytes; toHost() gives the copy with the five 32-bit numbers reversed.
struct MachineStatus {
    std::array<std::uint8_t, kMachineStatusSize> bytes{};

    std::uint8_t jobCode() const { return bytes[wire::status::kJobCode]; }
    std::uint8_t stage() const { return bytes[wire::status::kStage]; }
    std::uint32_t number(int i) const;  // i = 0..2: the three numbers at 8..19
    std::uint32_t logStartNo() const;
    std::uint32_t logQty() const;
    void setJob(std::uint8_t jobCode, std::uint8_t stage) {
        bytes[wire::status::kJobCode] = jobCode;
        bytes[wire::status::kStage] = stage;
    }
    void setNumber(int i, std::uint32_t v);
    void setLogRange(std::uint32_t startNo, std::uint32_t qty);
    // The bytes with the numbers at 8, 12, 16, 20 and 24 turned to little-endian.
    std::array<std::uint8_t, kMachineStatusSize> hostBytes() const;
};

// Device records of one "D" or "E" answer, passed up unparsed.
struct DeviceBlockEvent {
    std::int32_t kind = 0;        // 0 for "D", 1 for "E"
    std::int32_t firstIndex = 0;  // 0-based
    std::int32_t count = 0;
    const std::uint8_t* records = nullptr;
};

// Engine events: code, number, pointer.
enum EngineEvent : int {
    kEventMachineInfo = 1,    // number 4, pointer the MachineInfo
    kEventClockSet = 2,       // the clock setting sequence has ended
    kEventDevicePass = 6,     // a full pass over the device records is complete
    kEventJobAnswer = 13,     // pointer the answer frame of "R"
    kEventStatus = 41,        // pointer the status block
    kEventDeviceInfo = 42,    // pointer a DeviceBlockEvent of kind 0
    kEventDeviceStatus = 43,  // pointer a DeviceBlockEvent of kind 1
};

// Answer parsers. Each takes the whole answer frame and its size (check value included) and
// reads nothing beyond it; false means the answer is too short for what is asked.
bool parseMachineInfoAnswer(const std::uint8_t* answer, int size, MachineInfo& info);
bool parseMachineIdAnswer(const std::uint8_t* answer, int size, std::string& machineId);
struct BoardSummary {
    int boardQty = 0;
    int portQty_per_board = 0;
    int portQty_per_Row = 0;
};
bool parseBoardSummaryAnswer(const std::uint8_t* answer, int size, BoardSummary& summary);
// Board records of one "W" 3 answer; returns how many of the `requested` ones are whole.
int parseBoardsAnswer(const std::uint8_t* answer, int size, int requested, BoardInfo* out);
bool parseNicknameAnswer(const std::uint8_t* answer, int size, std::string& nickname);
struct LogRange {
    std::uint32_t startNo = 0;
    std::uint32_t qty = 0;
};
bool parseLogRangeAnswer(const std::uint8_t* answer, int size, LogRange& range);
bool parseStatusAnswer(const std::uint8_t* answer, int size, MachineStatus& status);
// The 256-byte record behind the status byte; its first four bytes are its number.
bool parseLogRecordAnswer(const std::uint8_t* answer, int size, const std::uint8_t*& record,
                          std::uint32_t& recordNo);
// Device records of a "D" (kind 0) or "E" (kind 1) answer, at most `requested` whole ones.
DeviceBlockEvent parseDeviceAnswer(const std::uint8_t* answer, int size, int kind, int firstIndex,
                                   int requested);

// Reads "v%d.%d.%d" from a version text of at most `size` bytes; numbers that do not parse
// stay 0.
void parseVersionText(const std::uint8_t* text, std::size_t size, std::int32_t& major,
                      std::int32_t& sub, std::int32_t& minor);

}  // namespace mx40d
