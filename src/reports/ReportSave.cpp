#include "reports/ReportSave.h"

#include <fstream>

#include "reports/Export.h"
#include "reports/PdfWriter.h"
#include "reports/ProtectedText.h"

namespace mx40d {

namespace {

template <class Write>
SaveStatus writeFile(const std::filesystem::path& path, Write write) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return SaveStatus::CantCreate;
    write(out);
    out.close();
    return out.fail() ? SaveStatus::WriteFail : SaveStatus::Saved;
}

}  // namespace

std::string saveMessage(SaveStatus status) {
    switch (status) {
        case SaveStatus::NothingToSave:
            return "no contents need to be saved !";
        case SaveStatus::CantCreate:
            return "Can't Create File !";
        case SaveStatus::ConvertFail:
            return "FAIL in convert to PDF !";
        case SaveStatus::WriteFail:
            return "FAIL in writing the file !";
        default:
            return {};
    }
}

SaveStatus saveProtectedTextFile(const std::filesystem::path& path, std::string_view text) {
    if (text.empty()) return SaveStatus::NothingToSave;
    const std::string file = protectText(text);
    return writeFile(path, [&](std::ostream& out) {
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    });
}

SaveStatus savePdfFile(const std::filesystem::path& path, std::string_view text,
                       const LocalTime& now) {
    if (text.empty()) return SaveStatus::NothingToSave;
    // The text goes to the writer straight from memory: no temporary file is left behind.
    bool converted = true;
    SaveStatus s = writeFile(path, [&](std::ostream& out) {
        PdfWriter writer(text, out, now);
        converted = writer.write();
    });
    if (s == SaveStatus::Saved && !converted) return SaveStatus::ConvertFail;
    return s;
}

SaveStatus saveCsvFile(const std::filesystem::path& path, const std::vector<LogRecord>& records,
                       const CalendarDate& start, const CalendarDate& end) {
    return writeFile(path, [&](std::ostream& out) { writeCsvExport(out, records, start, end); });
}

SaveStatus saveXmlFile(const std::filesystem::path& path, const std::vector<LogRecord>& records,
                       const CalendarDate& start, const CalendarDate& end) {
    return writeFile(path, [&](std::ostream& out) { writeXmlExport(out, records, start, end); });
}

}  // namespace mx40d
