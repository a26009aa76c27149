// mx40d-report: the log report of one machine, without a window. See --help.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/MachineFiles.h"
#include "base/Text.h"
#include "base/WholeFile.h"
#include "protocol/MachineInfo.h"
#include "reports/Export.h"
#include "reports/JsonExport.h"
#include "reports/LogDatabase.h"
#include "reports/PdfWriter.h"
#include "reports/ProtectedText.h"
#include "reports/ReportGenerator.h"
#include "shell/MachineHub.h"
#include "shell/MachineRegistry.h"
#include "shell/MachineTable.h"

namespace fs = std::filesystem;
using namespace mx40d;

namespace {

enum Exit : int {
    kOk = 0,
    kArguments = 1,
    kIllegalDate = 2,
    kDatabaseMissing = 3,
    kDatabaseUnreadable = 4,
    kNotWritten = 5,
    kNothingToSave = 6,
};

const char* const kHelp =
    "usage: mx40d-report --database DIR --machine-id ID --from DATE --to DATE\n"
    "                    --format FORMAT [--out FILE] [--kind 3|5]\n"
    "       mx40d-report --database DIR --list\n"
    "       mx40d-report --db FILE (--kind 3|5 | --registry FILE [--machine-id ID])\n"
    "                    --from DATE --to DATE --format FORMAT [--out FILE]\n"
    "\n"
    "Prints or saves the job report of one machine from its log database, as the monitor's\n"
    "log report window does.\n"
    "\n"
    "  --database DIR    the monitor's DATABASE folder: the machine's log database and the\n"
    "                    registry of known machines are found in it by the machine ID\n"
    "  --machine-id ID   the machine, as the registry and --list name it\n"
    "  --list            lists the machines the registry knows: row, machine ID, name,\n"
    "                    kind and the records held locally\n"
    "  --db FILE         a log database file given by its path\n"
    "  --registry FILE   the registry to take the machine from (with --db)\n"
    "  --kind 3|5        3 duplicator, 5 eraser: needed only for a database whose machine\n"
    "                    the registry does not know\n"
    "  --from DATE       first day of the report, YYYY-MM-DD (2000-01-01 to 2255-12-31)\n"
    "  --to DATE         last day of the report; both days are included\n"
    "  --format FORMAT   text        the report as the window shows it\n"
    "                    protected   the report with its watermark (check it with mx40d-verify)\n"
    "                    csv, xml    the records of the range (duplicators only)\n"
    "                    pdf         the report as a PDF document\n"
    "                    json        the machine and the records of the range as JSON\n"
    "                                (both kinds; schema in docs/report.schema.json)\n"
    "  --out FILE        where to write it (written whole or not at all); without it the\n"
    "                    output goes to standard output, which for pdf and protected must\n"
    "                    not be a terminal\n"
    "  -h, --help        this text\n"
    "\n"
    "Exit codes: 0 written, 1 bad arguments or unknown machine, 2 start date after end date,\n"
    "3 log database missing, 4 log database unreadable, 5 output not written, 6 nothing to\n"
    "save (protected text or PDF of an empty report).\n"
    "\n"
    "Examples:\n"
    "  mx40d-report --database ~/DATABASE --list\n"
    "  mx40d-report --database ~/DATABASE --machine-id \"MX40D 0012\" \\\n"
    "               --from 2026-12-01 --to 2026-12-31 --format pdf --out december.pdf\n";

int fail(int code, const std::string& problem) {
    std::cerr << "mx40d-report: " << problem << "\n";
    if (code == kArguments) std::cerr << "Try 'mx40d-report --help'.\n";
    return code;
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// A real calendar date with a year a log record can hold (2000 + one byte).
std::optional<CalendarDate> parseDate(const std::string& s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
    CalendarDate d;
    d.year = std::stoi(s.substr(0, 4));
    d.month = std::stoi(s.substr(5, 2));
    d.day = std::stoi(s.substr(8, 2));
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 2000 || d.year > 2255 || d.month < 1 || d.month > 12 || d.day < 1)
        return std::nullopt;
    const int days = kDays[d.month - 1] + (d.month == 2 && isLeap(d.year) ? 1 : 0);
    if (d.day > days) return std::nullopt;
    return d;
}

// The machine ID a log database is named after: "<id>.MX40D.LOGDATA", its escapes undone.
std::string idFromDatabaseName(const fs::path& db) {
    std::string name = db.filename().string();
    const std::string suffix = machinefiles::kLogDatabaseSuffix;
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    std::string id;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : -1;
        };
        if (name[i] == '%' && i + 2 < name.size() && hex(name[i + 1]) >= 0 &&
            hex(name[i + 2]) >= 0) {
            id += static_cast<char>(hex(name[i + 1]) * 16 + hex(name[i + 2]));
            i += 2;
        } else {
            id += name[i];
        }
    }
    return id;
}

// The machine's record in the registry; none when the registry does not know it.
std::optional<MachineInfo> findInRegistry(const MachineRegistry& registry, const std::string& id) {
    for (int i = 0; i < registry.count(); ++i)
        if (registry.inUse(i) && registry.record(i).machineId() == id) return registry.record(i);
    return std::nullopt;
}

// The log database of a machine in a DATABASE folder; a file of an earlier version's name is
// read where it lies.
fs::path databaseIn(const fs::path& dir, const std::string& id) {
    const fs::path now = machinefiles::logDatabase(dir, id);
    const fs::path before = dir / (legacyFileNameSafe(id) + machinefiles::kLogDatabaseSuffix);
    std::error_code ec;
    if (!fs::exists(now, ec) && fs::is_regular_file(before, ec)) return before;
    return now;
}

int listMachines(const fs::path& dir) {
    const fs::path path = dir / MachineHub::kRegistryFileName;
    MachineRegistry registry;
    const DatabaseResult r = registry.open(path);
    if (r != DatabaseResult::Pass)
        return fail(
            r == DatabaseResult::NotExist ? kDatabaseMissing : kDatabaseUnreadable,
            "cannot read the registry " + path.string() + " (" + get_DatabaseResultText(r) + ")");
    std::cout << cformat("%-4s %-32s %-32s %-10s %s\n", "Row", "Machine ID", "Name", "Kind",
                         "Records");
    for (int i = 0; i < registry.count(); ++i) {
        if (!registry.inUse(i)) continue;
        const MachineInfo& m = registry.record(i);
        const char* kind = m.deviceType() == kDuplicatorKind ? "duplicator"
                           : m.deviceType() == kEraserKind   ? "eraser"
                                                             : "other";
        std::string records = "-";
        std::error_code ec;
        const fs::path db = databaseIn(dir, m.machineId());
        const auto size = fs::file_size(db, ec);
        if (!ec && size >= logdb::kHeaderSize)
            records = cformat("%llu", static_cast<unsigned long long>((size - logdb::kHeaderSize) /
                                                                      kLogRecordSize));
        std::cout << cformat("%-4d %-32s %-32s %-10s %s\n", i + 1, m.machineId().c_str(),
                             MachineTable::displayName(m).c_str(), kind, records.c_str());
    }
    return kOk;
}

// Writes the bytes under a temporary name in the same folder, then renames it over `out`:
// a reader never sees half a report.
int writeWhole(const fs::path& out, const std::string& bytes) {
    if (!writeWholeFile(out, bytes))
        return fail(kNotWritten, "Can't Create File ! (" + out.string() + ")");
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::string database, db, kind, registry, machineId, from, to, format, out = "-";
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << kHelp;
            return kOk;
        }
        if (a == "--list") {
            list = true;
            continue;
        }
        std::string* target = a == "--database"     ? &database
                              : a == "--db"         ? &db
                              : a == "--kind"       ? &kind
                              : a == "--registry"   ? &registry
                              : a == "--machine-id" ? &machineId
                              : a == "--from"       ? &from
                              : a == "--to"         ? &to
                              : a == "--format"     ? &format
                              : a == "--out"        ? &out
                                                    : nullptr;
        if (target == nullptr) return fail(kArguments, "unknown option " + a);
        if (i + 1 >= argc) return fail(kArguments, "missing value after " + a);
        *target = argv[++i];
    }
    if (!database.empty() && !db.empty()) return fail(kArguments, "give --database or --db");
    if (list) {
        if (database.empty()) return fail(kArguments, "--list needs --database DIR");
        return listMachines(database);
    }
    if (database.empty() && db.empty()) return fail(kArguments, "give --database DIR or --db FILE");
    if (!database.empty() && machineId.empty())
        return fail(kArguments, "--machine-id is needed with --database (see --list)");
    if (from.empty() || to.empty() || format.empty())
        return fail(kArguments, "--from, --to and --format are required");
    if (format != "text" && format != "protected" && format != "csv" && format != "xml" &&
        format != "pdf" && format != "json")
        return fail(kArguments, "unknown format " + format);
    if (!kind.empty() && kind != "3" && kind != "5")
        return fail(kArguments, "--kind is 3 (duplicator) or 5 (eraser)");
    const auto start = parseDate(from), end = parseDate(to);
    if (!start) return fail(kArguments, "not a date from 2000-01-01 to 2255-12-31: " + from);
    if (!end) return fail(kArguments, "not a date from 2000-01-01 to 2255-12-31: " + to);
    if ((format == "pdf" || format == "protected") && out == "-" && ::isatty(1))
        return fail(kArguments, "a " + format +
                                    " report is not written to a terminal: give --out FILE or "
                                    "redirect standard output");

    // The machine: from the registry when it knows it, otherwise of the kind given.
    fs::path registryPath;
    if (!database.empty()) {
        db = databaseIn(database, machineId).string();
        registryPath = fs::path(database) / MachineHub::kRegistryFileName;
    } else {
        if (kind.empty() == registry.empty())
            return fail(kArguments, "give either --kind or --registry");
        if (machineId.empty()) machineId = idFromDatabaseName(db);
        registryPath = registry;
    }
    std::optional<MachineInfo> known;
    std::error_code ec;
    if (!registryPath.empty() && (!registry.empty() || fs::exists(registryPath, ec))) {
        MachineRegistry reg;
        const DatabaseResult r = reg.open(registryPath);
        if (r != DatabaseResult::Pass)
            return fail(kArguments, "cannot read the registry " + registryPath.string() + " (" +
                                        get_DatabaseResultText(r) + ")");
        known = findInRegistry(reg, machineId);
    }
    MachineInfo info;
    if (known) {
        info = *known;
    } else if (!kind.empty()) {
        info.setDeviceType(static_cast<std::uint8_t>(kind[0]));
        info.set_support_LogRecord(1);
        info.setMachineId(machineId);
    } else {
        return fail(kArguments, "machine " + machineId + " is not in the registry " +
                                    registryPath.string() + "; give --kind 3 or 5 to read " +
                                    "its log database anyway");
    }
    if (info.deviceType() != kDuplicatorKind && (format == "csv" || format == "xml"))
        return fail(kArguments, "CSV and XML exports are made for duplicators only");

    if (isDateAfter(*start, *end)) {
        std::cerr << "mx40d-report: Illegal Date !\n";
        return kIllegalDate;
    }
    LogFile file = read_LogFile(db, info.deviceType());
    if (file.result != DatabaseResult::Pass) {
        std::cerr << "mx40d-report: Read Log File FAIL ! (" << get_DatabaseResultText(file.result)
                  << ": " << db << ")\n";
        return file.result == DatabaseResult::NotExist ? kDatabaseMissing : kDatabaseUnreadable;
    }

    const LocalTime now = SystemClock().localTime();
    std::string bytes;
    if (format == "json") {
        std::ostringstream s;
        writeJsonExport(s, info, file.records, *start, *end);
        bytes = s.str();
    } else if (format == "csv" || format == "xml") {
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
        if (report.status == ReportStatus::NotSupported)
            return fail(kArguments, "the machine keeps no job log");
        if (format != "text" && report.text.empty()) {
            std::cerr << "mx40d-report: no contents need to be saved !\n";
            return kNothingToSave;
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
        if (!std::cout) return fail(kNotWritten, "cannot write to standard output");
        return kOk;
    }
    return writeWhole(out, bytes);
}
