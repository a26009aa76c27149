#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "reports/LogRecord.h"

namespace mx40d {

class MachineInfo;

// Result of every database operation (the machine registry shares the codes and texts).
enum class DatabaseResult : std::uint8_t {
    Pass = 0,
    NotExist = 1,
    MemoryNotEnough = 2,
    Corrupt = 3,
    WrongTitle = 4,
    WrongVersion = 5,
    CreateFail = 6,
    WriteFail = 7,
};

// "PASS", "DATABASE_NOT_EXIST", ... and "unknown error code (%d)" for any other code.
std::string get_DatabaseResultText(int code);
inline std::string get_DatabaseResultText(DatabaseResult r) {
    return get_DatabaseResultText(static_cast<int>(r));
}

// The log database: a 512-byte header followed by 256-byte records in download order.
namespace logdb {
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kTitleSize = 100;
inline constexpr std::size_t kVersionOffset = 120;
inline constexpr std::size_t kVersionSize = 20;
// Exactly 100 characters, blank-padded.
extern const char kTitle[kTitleSize + 1];
// "2.01.10.03" and ten blanks.
extern const char kVersion[kVersionSize + 1];

// The 512 header bytes a new database starts with.
std::vector<std::uint8_t> headerBytes();
// "<logDir>/<machineId>.MX40D.LOGDATA", the ID made safe as a file name (no separators, no
// "..": the file always lies in logDir).
std::filesystem::path logFilePath(const std::filesystem::path& logDir,
                                  const std::string& machineId);
}  // namespace logdb

// Writes a new database holding only the header (replacing any file at `path`).
bool create_LogDatabase(const std::filesystem::path& path);

// Opens (creating when missing; a file that exists but cannot be read is left alone and
// gives CreateFail) the database of a connecting machine and sets
// info.lastStoredLogNo to the index of its last whole record, or -1 when it holds none.
DatabaseResult open_LogDatabase(const std::filesystem::path& path, MachineInfo& info);

// Appends one 256-byte record. Bytes of a partial record left at the end of the file (an
// append cut short) are replaced, so the new record starts on a record boundary. A missing
// file is created with its header first; a file with a foreign or damaged header is left
// alone. The record is written, flushed and the file closed before the call returns. When
// `info` is given and the machine is a duplicator or an eraser, its lastStoredLogNo becomes
// the record's index.
DatabaseResult append_LogRecord(const std::filesystem::path& path, const std::uint8_t* record,
                                std::size_t length, MachineInfo* info = nullptr);

// The whole database read back: its records in file order (a partial record at the end is
// left out).
struct LogFile {
    DatabaseResult result = DatabaseResult::Pass;
    std::vector<LogRecord> records;
    std::size_t count() const { return records.size(); }
};
LogFile read_LogFile(const std::filesystem::path& path, std::uint8_t deviceType);
// The same records as one block of 256-byte records in file order (no copy per record), for
// readers that keep a whole large database.
DatabaseResult read_LogRecordBytes(const std::filesystem::path& path,
                                   std::vector<std::uint8_t>& records);

// The whole records of a database mapped read-only into memory: nothing is read until a
// record is looked at, so a database of any size opens at once. The database is checked as
// read_LogFile checks it. Records appended later are not in the mapping.
class MappedLogRecords {
  public:
    MappedLogRecords() = default;
    ~MappedLogRecords();
    MappedLogRecords(const MappedLogRecords&) = delete;
    MappedLogRecords& operator=(const MappedLogRecords&) = delete;

    DatabaseResult map(const std::filesystem::path& path);
    void unmap();
    std::size_t count() const { return count_; }
    const std::uint8_t* record(std::size_t i) const {
        return base_ + logdb::kHeaderSize + i * kLogRecordSize;
    }

  private:
    const std::uint8_t* base_ = nullptr;
    std::size_t length_ = 0;
    std::size_t count_ = 0;
};

}  // namespace mx40d
