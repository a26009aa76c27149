#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/Commands.h"  // kLogRecordSize

// One 256-byte job log record exactly as the machine sends it and the log database keeps it.
// Numbers are big-endian in the stored bytes (except the eraser's four identification
// numbers, which are least significant byte first). The accessors read the stored bytes, so
// a record never has to be converted before it is shown; the setters write the stored layout
// (the simulator builds records with them).
namespace mx40d {

// Six-byte job start date as the machine's clock gives it (year counted from 2000).
struct LogDate {
    std::uint8_t year = 0;  // year - 2000
    std::uint8_t month = 1;
    std::uint8_t day = 1;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    int fullYear() const { return 2000 + year; }
    bool operator==(const LogDate&) const = default;
};

// A calendar date for the date-range test.
struct CalendarDate {
    int year = 2000;  // four digits
    int month = 1;
    int day = 1;
};

class LogRecord {
  public:
    using Bytes = std::array<std::uint8_t, kLogRecordSize>;

    // An all-zero record of the given layout ('3' duplicator, anything else eraser).
    explicit LogRecord(std::uint8_t deviceType = kDuplicatorKind);
    // Copies up to 256 bytes (the rest stays zero).
    LogRecord(std::uint8_t deviceType, const std::uint8_t* data, std::size_t length);

    std::uint8_t deviceType() const { return kind_; }
    bool isDuplicator() const { return kind_ == kDuplicatorKind; }
    const Bytes& bytes() const { return bytes_; }
    Bytes& bytes() { return bytes_; }
    const std::uint8_t* data() const { return bytes_.data(); }

    // Fields at the same place in both layouts.
    std::uint32_t indexNo() const;
    void setIndexNo(std::uint32_t v);
    std::uint16_t portNo() const;
    void setPortNo(std::uint16_t v);
    std::uint16_t sectorSize() const;
    void setSectorSize(std::uint16_t v);
    std::string model() const;  // trimmed of blanks at both ends
    std::string version() const;
    std::string serialNo() const;
    // The same trimmed texts as views into the record (valid while the record is).
    std::string_view modelView() const;
    std::string_view versionView() const;
    std::string_view serialNoView() const;
    void setModel(const std::string& s);  // blank-padded into the field
    void setVersion(const std::string& s);
    void setSerialNo(const std::string& s);
    std::uint64_t capacity() const;
    void setCapacity(std::uint64_t v);

    // Fields at different places in the two layouts.
    LogDate date() const;
    void setDate(const LogDate& d);
    std::uint8_t jobGroupNo() const;
    void setJobGroupNo(std::uint8_t v);
    std::uint8_t jobCode() const;
    void setJobCode(std::uint8_t v);
    std::uint8_t result() const;
    void setResult(std::uint8_t v);
    std::string customJobName() const;  // up to the first NUL, at most 32 bytes
    void setCustomJobName(const std::string& s);
    std::uint32_t spendMiniSecond() const;
    void setSpendMiniSecond(std::uint32_t v);

    // Duplicator layout only.
    std::uint64_t jobCapacity() const;
    void setJobCapacity(std::uint64_t v);
    std::uint64_t dataSize() const;
    void setDataSize(std::uint64_t v);
    std::uint32_t readSpeed() const;
    void setReadSpeed(std::uint32_t v);
    std::uint32_t writeSpeed() const;
    void setWriteSpeed(std::uint32_t v);
    std::uint32_t crc64Low() const;
    void setCrc64Low(std::uint32_t v);
    std::uint32_t crc64High() const;
    void setCrc64High(std::uint32_t v);
    std::uint32_t power_cycle() const;
    void set_power_cycle(std::uint32_t v);
    std::uint32_t power_on_hours() const;
    void set_power_on_hours(std::uint32_t v);
    std::uint8_t copyArea() const;
    void setCopyArea(std::uint8_t v);
    std::uint8_t percentFrom() const;
    void setPercentFrom(std::uint8_t v);
    std::uint8_t percentTo() const;
    void setPercentTo(std::uint8_t v);

    // Eraser layout only.
    std::uint32_t badSectorQty() const;
    void setBadSectorQty(std::uint32_t v);
    std::uint64_t firstBadSectorAddr() const;
    void setFirstBadSectorAddr(std::uint64_t v);
    std::uint16_t idNumber(int n) const;  // n = 1..4, least significant byte first
    void setIdNumber(int n, std::uint16_t v);
    std::uint16_t idNumber1() const { return idNumber(1); }
    std::uint16_t idNumber2() const { return idNumber(2); }
    std::uint16_t idNumber3() const { return idNumber(3); }
    std::uint16_t idNumber4() const { return idNumber(4); }
    std::string machineIdText() const;  // up to the first NUL, at most 50 bytes
    void setMachineIdText(const std::string& s);

    // Byte offsets of the stored layouts.
    struct Duplicator {
        static constexpr std::size_t kCopyArea = 30, kPercentFrom = 40, kPercentTo = 41,
                                     kJobCapacity = 124, kDataSize = 132, kDate = 144,
                                     kJobGroupNo = 150, kJobCode = 151, kResult = 153,
                                     kReadSpeed = 168, kWriteSpeed = 172, kCustomJobName = 188,
                                     kSpendMiniSecond = 220, kCrc64Low = 240, kCrc64High = 244,
                                     kPowerCycle = 248, kPowerOnHours = 252;
    };
    struct Eraser {
        static constexpr std::size_t kIdNumbers = 16, kBadSectorQty = 40, kCustomJobName = 148,
                                     kFirstBadSectorAddr = 180, kSpendMiniSecond = 192, kDate = 196,
                                     kJobGroupNo = 202, kJobCode = 203, kResult = 205,
                                     kMachineIdText = 206;
        static constexpr std::size_t kMachineIdTextSize = 50;
    };
    static constexpr std::size_t kIndexNo = 0, kPortNo = 44, kSectorSize = 46, kModel = 48,
                                 kModelSize = 40, kVersion = 88, kVersionSize = 8, kSerialNo = 96,
                                 kSerialNoSize = 20, kCapacity = 116, kCustomJobNameSize = 32;

  private:
    std::size_t at(std::size_t duplicatorOffset, std::size_t eraserOffset) const {
        return isDuplicator() ? duplicatorOffset : eraserOffset;
    }
    void setPadded(std::size_t offset, std::size_t width, const std::string& s);
    void setTerminated(std::size_t offset, std::size_t width, const std::string& s);

    Bytes bytes_{};
    std::uint8_t kind_;
};

// Reverses, in place, the byte order of the record's numbers that are converted to host
// order on reading (the copy a report works on). The duplicator's CRC-64 halves and drive
// counters and the eraser's identification numbers are left as stored. `record` must hold
// 256 bytes.
void convert_LogRecord(std::uint8_t* record, std::uint8_t deviceType);

// True when the record's job start day lies between `start` and `end`, both inclusive
// (the time of day plays no part).
bool is_LogRecord_inDateRange(const LogRecord& record, const CalendarDate& start,
                              const CalendarDate& end);
bool is_LogRecord_inDateRange(const std::uint8_t* record, std::uint8_t deviceType,
                              const CalendarDate& start, const CalendarDate& end);

}  // namespace mx40d
