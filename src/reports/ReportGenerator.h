#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "reports/LogDatabase.h"
#include "reports/LogRecord.h"
#include "reports/ReportText.h"

// Builds the text the log report window shows: the job report of a duplicator, or the clear
// records of an eraser's passed erases, over a date range.
namespace mx40d {

class MachineInfo;

enum class ReportStatus {
    Done,          // text holds the report (empty for a database without records)
    NotSupported,  // the machine keeps no log; nothing was done
    IllegalDate,   // the start date is after the end date
    ReadFail,      // the log database could not be read (see databaseResult)
};

struct Report {
    ReportStatus status = ReportStatus::Done;
    DatabaseResult databaseResult = DatabaseResult::Pass;
    std::string text;
};

// The message the caller shows for a failed report ("Illegal Date !", "Read Log File FAIL !"),
// with the caption "Error"; empty for the others.
std::string reportMessage(ReportStatus status);

// True when `a` is a later day than `b` (year, month, day compared in order).
bool isDateAfter(const CalendarDate& a, const CalendarDate& b);

Report generate_Report(const std::filesystem::path& logDatabase, const MachineInfo& info,
                       const CalendarDate& start, const CalendarDate& end, ReportForm form,
                       const LocalTime& now);

// The same over records already read (in file order, the machine's layout).
Report generate_Report(const std::vector<LogRecord>& records, const MachineInfo& info,
                       const CalendarDate& start, const CalendarDate& end, ReportForm form,
                       const LocalTime& now);

}  // namespace mx40d
