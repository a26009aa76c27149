#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"
#include "reports/LogRecord.h"

// The save steps of the log report window, without the window: each writes one file and
// says how it went; the caller shows the message with the caption "ERROR !".
namespace mx40d {

enum class SaveStatus {
    Saved,
    NothingToSave,  // "no contents need to be saved !"
    CantCreate,     // "Can't Create File !"
    ConvertFail,    // "FAIL in convert to PDF !"
    WriteFail,      // the file was created but could not be written completely
};
std::string saveMessage(SaveStatus status);

// The report text followed by its watermark.
SaveStatus saveProtectedTextFile(const std::filesystem::path& path, std::string_view text);
// The PDF form of the report as a PDF document.
SaveStatus savePdfFile(const std::filesystem::path& path, std::string_view text,
                       const LocalTime& now);
// The CSV or XML export of the records in the range (an empty file when there are none).
SaveStatus saveCsvFile(const std::filesystem::path& path, const std::vector<LogRecord>& records,
                       const CalendarDate& start, const CalendarDate& end);
SaveStatus saveXmlFile(const std::filesystem::path& path, const std::vector<LogRecord>& records,
                       const CalendarDate& start, const CalendarDate& end);

}  // namespace mx40d
