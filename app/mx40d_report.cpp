// mx40d-report: the log report of one machine's log database, without a window.
//
//   mx40d-report --db FILE (--kind 3|5 | --registry FILE [--machine-id ID])
//                --from YYYY-MM-DD --to YYYY-MM-DD
//                --format text|protected|csv|xml|pdf [--out FILE]
//
// Exit codes: 0 written, 1 bad arguments, 2 illegal date range, 3 database missing,
// 4 database unreadable (corrupt, wrong title or version, too large), 5 output not written,
// 6 nothing to save (protected text and PDF of an empty report).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "protocol/MachineInfo.h"
#include "reports/Export.h"
#include "reports/LogDatabase.h"
#include "reports/PdfWriter.h"
#include "reports/ProtectedText.h"
#include "reports/ReportGenerator.h"
#include "shell/MachineRegistry.h"

namespace fs = std::filesystem;
using namespace mx40d;

namespace {

int usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "mx40d-report: " << problem << "\n";
    std::cerr << "usage: mx40d-report --db FILE (--kind 3|5 | --registry FILE [--machine-id ID])\n"
                 "                    --from YYYY-MM-DD --to YYYY-MM-DD\n"
                 "                    --format text|protected|csv|xml|pdf [--out FILE]\n";
    return 1;
}

std::optional<CalendarDate> parseDate(const std::string& s) {
    CalendarDate d;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%d-%d-%d%c", &d.year, &d.month, &d.day, &tail) != 3)
        return std::nullopt;
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31) return std::nullopt;
    return d;
}

// The machine ID a log database is named after: "<id>.MX40D.LOGDATA".
std::string idFromDatabaseName(const fs::path& db) {
    std::string name = db.filename().string();
    const std::string suffix = ".MX40D.LOGDATA";
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        return name.substr(0, name.size() - suffix.size());
    return name;
}

// Takes the machine's record from the registry of known machines.
std::optional<MachineInfo> machineFromRegistry(const fs::path& path, const std::string& id,
                                               std::string& problem) {
    MachineRegistry registry;
    const DatabaseResult r = registry.open(path);
    if (r != DatabaseResult::Pass) {
        problem =
            "cannot read the registry " + path.string() + " (" + get_DatabaseResultText(r) + ")";
        return std::nullopt;
    }
    for (int i = 0; i < registry.count(); ++i)
        if (registry.inUse(i) && registry.record(i).machineId() == id) return registry.record(i);
    problem = "machine " + id + " is not in the registry";
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    std::string db, kind, registry, machineId, from, to, format, out = "-";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") return usage(""), 0;
        if (i + 1 >= argc) return usage("missing value after " + a);
        std::string v = argv[++i];
        if (a == "--db")
            db = v;
        else if (a == "--kind")
            kind = v;
        else if (a == "--registry")
            registry = v;
        else if (a == "--machine-id")
            machineId = v;
        else if (a == "--from")
            from = v;
        else if (a == "--to")
            to = v;
        else if (a == "--format")
            format = v;
        else if (a == "--out")
            out = v;
        else
            return usage("unknown option " + a);
    }
    if (db.empty() || from.empty() || to.empty() || format.empty())
        return usage("--db, --from, --to and --format are required");
    if (kind.empty() == registry.empty()) return usage("give either --kind or --registry");
    if (format != "text" && format != "protected" && format != "csv" && format != "xml" &&
        format != "pdf")
        return usage("unknown format " + format);
    const auto start = parseDate(from), end = parseDate(to);
    if (!start || !end) return usage("dates are written YYYY-MM-DD");

    if (machineId.empty()) machineId = idFromDatabaseName(db);
    MachineInfo info;
    if (!registry.empty()) {
        std::string problem;
        auto found = machineFromRegistry(registry, machineId, problem);
        if (!found) {
            std::cerr << "mx40d-report: " << problem << "\n";
            return 1;
        }
        info = *found;
    } else {
        if (kind != "3" && kind != "5") return usage("--kind is 3 (duplicator) or 5 (eraser)");
        info.setDeviceType(static_cast<std::uint8_t>(kind[0]));
        info.set_support_LogRecord(1);
        info.setMachineId(machineId);
    }
    if (info.deviceType() != kDuplicatorKind && (format == "csv" || format == "xml"))
        return usage("CSV and XML exports are made for duplicators only");

    if (isDateAfter(*start, *end)) {
        std::cerr << "mx40d-report: Illegal Date !\n";
        return 2;
    }
    LogFile file = read_LogFile(db, info.deviceType());
    if (file.result != DatabaseResult::Pass) {
        std::cerr << "mx40d-report: Read Log File FAIL ! (" << get_DatabaseResultText(file.result)
                  << ": " << db << ")\n";
        return file.result == DatabaseResult::NotExist ? 3 : 4;
    }

    const LocalTime now = SystemClock().localTime();
    std::string bytes;
    if (format == "csv" || format == "xml") {
        std::ostringstream s;
        if (format == "csv")
            writeCsvExport(s, file.records, *start, *end);
        else
            writeXmlExport(s, file.records, *start, *end);
        bytes = s.str();
    } else {
        Report report =
            generate_Report(file.records, info, *start, *end,
                            format == "pdf" ? ReportForm::Pdf : ReportForm::Screen, now);
        if (report.status == ReportStatus::NotSupported) {
            std::cerr << "mx40d-report: the machine keeps no job log\n";
            return 1;
        }
        if (format != "text" && report.text.empty()) {
            std::cerr << "mx40d-report: no contents need to be saved !\n";
            return 6;
        }
        if (format == "protected") {
            appendWatermark(report.text);
            bytes = std::move(report.text);
        } else if (format == "pdf") {
            std::ostringstream pdf;
            PdfWriter(report.text, pdf, now).write();
            bytes = pdf.str();
        } else {
            bytes = std::move(report.text);
        }
    }

    if (out == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) {
            std::cerr << "mx40d-report: cannot write to standard output\n";
            return 5;
        }
        return 0;
    }
    std::ofstream f(out, std::ios::binary | std::ios::trunc);
    if (!f) {
        std::cerr << "mx40d-report: Can't Create File ! (" << out << ")\n";
        return 5;
    }
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (f.fail()) {
        std::cerr << "mx40d-report: cannot write " << out << "\n";
        return 5;
    }
    return 0;
}
