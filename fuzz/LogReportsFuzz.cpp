// Any bytes as a log database: reading it, and every text, export and document made from
// its records, must neither crash nor read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "protocol/MachineInfo.h"
#include "reports/Export.h"
#include "reports/LogDatabase.h"
#include "reports/PdfWriter.h"
#include "reports/ProtectedText.h"
#include "reports/ReportGenerator.h"

using namespace mx40d;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("mx40d-fuzz-" + std::to_string(getpid()) + ".MX40D.LOGDATA");
    // The first byte picks the layout; the rest follows a valid header, or stands alone.
    const std::uint8_t kind = size > 0 && (data[0] & 1) ? kEraserKind : kDuplicatorKind;
    const bool withHeader = size > 0 && (data[0] & 2);
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return 0;
        if (withHeader) {
            const auto header = logdb::headerBytes();
            std::fwrite(header.data(), 1, header.size(), f);
        }
        if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
        std::fclose(f);
    }
    MachineInfo info;
    info.setDeviceType(kind);
    info.set_support_LogRecord(1);
    open_LogDatabase(path, info);
    LogFile file = read_LogFile(path, kind);
    const CalendarDate from{2000, 1, 1}, to{2255, 12, 31};
    const LocalTime now{};
    for (ReportForm form : {ReportForm::Screen, ReportForm::Pdf}) {
        Report r = generate_Report(file.records, info, from, to, form, now);
        std::ostringstream pdf;
        PdfWriter(r.text, pdf, now).write();
        checkProtectedText(protectText(r.text));
    }
    std::ostringstream csv, xml;
    writeCsvExport(csv, file.records, from, to);
    writeXmlExport(xml, file.records, from, to);
    for (const LogRecord& r : file.records)
        format_LogListLine(r);
    checkProtectedText(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
