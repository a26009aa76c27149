#include "reports/ReportGenerator.h"

#include <tuple>

#include "protocol/MachineInfo.h"

namespace mx40d {

std::string reportMessage(ReportStatus status) {
    switch (status) {
        case ReportStatus::IllegalDate:
            return "Illegal Date !";
        case ReportStatus::ReadFail:
            return "Read Log File FAIL !";
        default:
            return {};
    }
}

bool isDateAfter(const CalendarDate& a, const CalendarDate& b) {
    return std::tie(a.year, a.month, a.day) > std::tie(b.year, b.month, b.day);
}

namespace {

// What stops a report before any record is read: no log on this machine, or a range that
// ends before it starts.
ReportStatus checkRequest(const MachineInfo& info, const CalendarDate& start,
                          const CalendarDate& end) {
    if (info.support_LogRecord() != 1) return ReportStatus::NotSupported;
    if (isDateAfter(start, end)) return ReportStatus::IllegalDate;
    return ReportStatus::Done;
}

}  // namespace

Report generate_Report(const std::vector<LogRecord>& records, const MachineInfo& info,
                       const CalendarDate& start, const CalendarDate& end, ReportForm form,
                       const LocalTime& now) {
    Report report;
    report.status = checkRequest(info, start, end);
    if (report.status != ReportStatus::Done) return report;
    if (records.empty()) return report;
    // Each unit the window adds ends with a line break of its own.
    std::string& text = report.text;
    if (info.deviceType() == kDuplicatorKind) {
        // Room for the whole report at once: a port line takes up to about 280 bytes (340 in
        // the PDF form, with its second line), and a job block adds about 900.
        std::size_t selected = 0;
        for (const LogRecord& r : records)
            selected += is_LogRecord_inDateRange(r, start, end);
        text.reserve(selected * (form == ReportForm::Pdf ? 340 : 280) + 4096);
        text += format_ReportHeader(info, start, end, now);
        text += "\r\n";
        // A job group is a run of selected records with equal jobGroupNo; records outside
        // the range neither join nor split a group.
        std::vector<const LogRecord*> group;
        auto flush = [&] {
            if (group.empty()) return;
            appendJobBlock(text, group, form);
            text += "\r\n";
            group.clear();
        };
        for (const LogRecord& r : records) {
            if (!is_LogRecord_inDateRange(r, start, end)) continue;
            if (!group.empty() && group.back()->jobGroupNo() != r.jobGroupNo()) flush();
            group.push_back(&r);
        }
        flush();
    } else if (info.deviceType() == kEraserKind) {
        for (const LogRecord& r : records) {
            if (r.result() != 0 || !is_LogRecord_inDateRange(r, start, end)) continue;
            text += format_ClearRecord(r, now);
            text += "\r\n";
        }
    }
    return report;
}

Report generate_Report(const std::filesystem::path& logDatabase, const MachineInfo& info,
                       const CalendarDate& start, const CalendarDate& end, ReportForm form,
                       const LocalTime& now) {
    Report report;
    report.status = checkRequest(info, start, end);
    if (report.status != ReportStatus::Done) return report;
    LogFile file = read_LogFile(logDatabase, info.deviceType());
    if (file.result != DatabaseResult::Pass) {
        report.status = ReportStatus::ReadFail;
        report.databaseResult = file.result;
        return report;
    }
    return generate_Report(file.records, info, start, end, form, now);
}

}  // namespace mx40d
