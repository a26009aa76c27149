#include "reports/Export.h"

#include <optional>

#include "base/Text.h"
#include "machine_ui/Names.h"
#include "reports/ReportText.h"

namespace mx40d {

namespace {

std::string capacityText(const LogRecord& r) {
    return r.sectorSize() == 0 ? "0" : sizeText(r.capacity(), r.sectorSize());
}

}  // namespace

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string xmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                if (c < 0x20 && c != '\t' && c != '\n') {
                    out += "\xEF\xBF\xBD";
                } else if (c < 0x80) {
                    out += ch;
                } else {
                    out += static_cast<char>(0xC0 | (c >> 6));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
        }
    }
    return out;
}

std::string format_CsvRow(const LogRecord& r) {
    const LogDate d = r.date();
    std::string out = cformat("%llu,%u,%d,%u,%u,%u,%u,%u,%u,",
                              static_cast<unsigned long long>(std::uint64_t{r.indexNo()} + 1),
                              unsigned{r.portNo()}, d.fullYear(), unsigned{d.month},
                              unsigned{d.day}, unsigned{d.hour}, unsigned{d.minute},
                              unsigned{d.second}, r.spendMiniSecond() / 1000);
    out += csvField(jobName(r.jobCode()));
    out += r.result() == 0 ? ",PASS" : ",FAIL";
    out += "," + csvField(capacityText(r));
    out += "," + csvField(r.model());
    out += "," + csvField(r.version());
    out += "," + csvField(r.serialNo());
    return out;
}

std::string write_XmlElement(std::string_view name, std::string_view value) {
    std::string out = "    <";
    out += name;
    out += '>';
    out += xmlText(value);
    out += "</";
    out += name;
    out += ">\r\n";
    return out;
}

std::string format_XmlRecord(const LogRecord& r) {
    const LogDate d = r.date();
    auto num = [](unsigned long long v) { return std::to_string(v); };
    std::string out = "  <Record>\r\n";
    out += write_XmlElement("IndexNo", num(std::uint64_t{r.indexNo()} + 1));
    out += write_XmlElement("PortNo", num(r.portNo()));
    out += write_XmlElement("Year", std::to_string(d.fullYear()));
    out += write_XmlElement("Month", num(d.month));
    out += write_XmlElement("Day", num(d.day));
    out += write_XmlElement("Hour", num(d.hour));
    out += write_XmlElement("Minute", num(d.minute));
    out += write_XmlElement("Second", num(d.second));
    out += write_XmlElement("SpendSecond", num(r.spendMiniSecond() / 1000));
    out += write_XmlElement("Job", jobName(r.jobCode()));
    out += write_XmlElement("Result", r.result() == 0 ? "PASS" : "FAIL");
    out += write_XmlElement("Capacity", capacityText(r));
    out += write_XmlElement("Model", r.model());
    out += write_XmlElement("Version", r.version());
    out += write_XmlElement("SerialNo", r.serialNo());
    out += "  </Record>";
    return out;
}

void writeCsvExport(std::ostream& out, const std::vector<LogRecord>& records,
                    const CalendarDate& start, const CalendarDate& end) {
    if (records.empty()) return;
    out << kCsvHeader << "\r\n";
    // The source port's row of a copy job waits for the job's first target row in range, so
    // it is written once, just before it; a job without such a row has no source row.
    std::optional<std::uint8_t> lastGroup;
    std::optional<std::string> pendingSource;
    for (const LogRecord& r : records) {
        if (lastGroup != r.jobGroupNo()) {
            pendingSource.reset();
            lastGroup = r.jobGroupNo();
        }
        if (!is_LogRecord_inDateRange(r, start, end)) continue;
        if (isCopyJob(r.jobCode()) && r.portNo() == 1) {
            pendingSource = format_CsvRow(r);
            continue;
        }
        if (pendingSource) {
            out << *pendingSource << "\r\n";
            pendingSource.reset();
        }
        out << format_CsvRow(r) << "\r\n";
    }
}

void writeXmlExport(std::ostream& out, const std::vector<LogRecord>& records,
                    const CalendarDate& start, const CalendarDate& end) {
    if (records.empty()) return;
    out << kXmlHead << "\r\n";
    for (const LogRecord& r : records) {
        if (!is_LogRecord_inDateRange(r, start, end)) continue;
        if (isCopyJob(r.jobCode()) && r.portNo() == 1) continue;
        out << format_XmlRecord(r) << "\r\n";
    }
    out << kXmlTail << "\r\n";
}

}  // namespace mx40d
