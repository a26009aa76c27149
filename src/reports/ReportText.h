#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "reports/LogRecord.h"

// The texts made from log records: the duplicator job report (header, job blocks, port
// lines), the clear record of a passed erase, and the one-line form of a record.
namespace mx40d {

class MachineInfo;

// Screen form, or the PDF form whose port lines carry their speeds on a second line.
enum class ReportForm { Screen, Pdf };

// "500KB", "5120.0MB", "9.7GB"; a single blank for sector size 0.
std::string format_SizeText(std::uint64_t sectorCount, std::uint16_t sectorSize);

// The job name of a job block's "Job:" line.
std::string reportJobName(std::uint8_t jobCode);
// Copy, compare and copy-and-compare: port 1 is the source drive.
bool isCopyJob(std::uint8_t jobCode);

std::string format_ReportHeader(const MachineInfo& info, const CalendarDate& start,
                                const CalendarDate& end, const LocalTime& now);

// Cuts records (already selected, in file order) into runs of equal jobGroupNo; each run is
// given as [first, last) indexes.
struct JobGroup {
    std::size_t first = 0;
    std::size_t last = 0;
};
std::vector<JobGroup> groupJobs(const std::vector<LogRecord>& records);

// One job block from the records of one job group (duplicator layout, file order). Any
// number of records works.
std::string format_JobBlock(const LogRecord* records, std::size_t count, ReportForm form);
std::string format_JobBlock(const std::vector<const LogRecord*>& records, ReportForm form);
// Appends the job block (or a size text, a port line) to `out`.
void appendJobBlock(std::string& out, const std::vector<const LogRecord*>& records,
                    ReportForm form);
void appendSizeText(std::string& out, std::uint64_t sectorCount, std::uint16_t sectorSize);
void appendPortLine(std::string& out, const LogRecord& record, ReportForm form);
std::string format_PortLine(const LogRecord& record, ReportForm form);
std::string format_ClearRecord(const LogRecord& record, const LocalTime& now);
std::string format_LogListLine(const LogRecord& record);

// Date arithmetic on six-byte dates. February has 29 days when the start's stored year is
// divisible by 4.
void add_Seconds_to_DateTime(LogDate& date, std::uint64_t seconds);
// The end of an erase: milliseconds rounded up to whole seconds.
LogDate get_end_DateTime_from_difference(const LogDate& start, std::uint64_t milliseconds);
bool is_DateTime_earlier(const LogDate& a, const LogDate& b);

}  // namespace mx40d
