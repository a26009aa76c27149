#include "reports/Export.h"

#include <optional>
#include <ostream>

#include "base/Text.h"
#include "machine_ui/Names.h"
#include "reports/Appenders.h"
#include "reports/ReportText.h"

namespace mx40d {

using appenders::number;

namespace {

std::string capacityText(const LogRecord& r) {
    return r.sectorSize() == 0 ? "0" : sizeText(r.capacity(), r.sectorSize());
}

void appendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void appendCsvRow(std::string& out, const LogRecord& r) {
    const LogDate d = r.date();
    number(out, std::uint64_t{r.indexNo()} + 1);
    for (std::uint64_t v :
         {std::uint64_t{r.portNo()}, std::uint64_t(d.fullYear()), std::uint64_t{d.month},
          std::uint64_t{d.day}, std::uint64_t{d.hour}, std::uint64_t{d.minute},
          std::uint64_t{d.second}, std::uint64_t{r.spendMiniSecond() / 1000}}) {
        out += ',';
        number(out, v);
    }
    out += ',';
    appendCsvField(out, jobName(r.jobCode()));
    out += r.result() == 0 ? ",PASS," : ",FAIL,";
    appendCsvField(out, capacityText(r));
    out += ',';
    appendCsvField(out, r.modelView());
    out += ',';
    appendCsvField(out, r.versionView());
    out += ',';
    appendCsvField(out, r.serialNoView());
}

void appendXmlElement(std::string& out, std::string_view name, std::string_view value) {
    out += "    <";
    out += name;
    out += '>';
    appendXmlText(out, value);
    out += "</";
    out += name;
    out += ">\r\n";
}

void appendXmlNumber(std::string& out, std::string_view name, std::uint64_t value) {
    out += "    <";
    out += name;
    out += '>';
    number(out, value);
    out += "</";
    out += name;
    out += ">\r\n";
}

void appendXmlRecord(std::string& out, const LogRecord& r) {
    const LogDate d = r.date();
    out += "  <Record>\r\n";
    appendXmlNumber(out, "IndexNo", std::uint64_t{r.indexNo()} + 1);
    appendXmlNumber(out, "PortNo", r.portNo());
    appendXmlNumber(out, "Year", static_cast<std::uint64_t>(d.fullYear()));
    appendXmlNumber(out, "Month", d.month);
    appendXmlNumber(out, "Day", d.day);
    appendXmlNumber(out, "Hour", d.hour);
    appendXmlNumber(out, "Minute", d.minute);
    appendXmlNumber(out, "Second", d.second);
    appendXmlNumber(out, "SpendSecond", r.spendMiniSecond() / 1000);
    appendXmlElement(out, "Job", jobName(r.jobCode()));
    appendXmlElement(out, "Result", r.result() == 0 ? "PASS" : "FAIL");
    appendXmlElement(out, "Capacity", capacityText(r));
    appendXmlElement(out, "Model", r.modelView());
    appendXmlElement(out, "Version", r.versionView());
    appendXmlElement(out, "SerialNo", r.serialNoView());
    out += "  </Record>";
}

// Collects output and hands it to the stream in large pieces.
class Chunks {
  public:
    explicit Chunks(std::ostream& out) : out_(out) { buf_.reserve(kSize + 4096); }
    ~Chunks() { flush(); }
    std::string& text() { return buf_; }
    void done() {
        if (buf_.size() >= kSize) flush();
    }
    void flush() {
        out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
        buf_.clear();
    }

  private:
    static constexpr std::size_t kSize = 1 << 20;
    std::ostream& out_;
    std::string buf_;
};

}  // namespace

std::string csvField(std::string_view text) {
    std::string out;
    appendCsvField(out, text);
    return out;
}

std::string format_CsvRow(const LogRecord& r) {
    std::string out;
    appendCsvRow(out, r);
    return out;
}

std::string write_XmlElement(std::string_view name, std::string_view value) {
    std::string out;
    appendXmlElement(out, name, value);
    return out;
}

std::string format_XmlRecord(const LogRecord& r) {
    std::string out;
    appendXmlRecord(out, r);
    return out;
}

void writeCsvExport(std::ostream& out, const std::vector<LogRecord>& records,
                    const CalendarDate& start, const CalendarDate& end) {
    if (records.empty()) return;
    out << kCsvHeader << "\r\n";
    // The source port's row of a copy job waits for the job's first target row in range, so
    // it is written once, just before it; a job without such a row has no source row.
    std::optional<std::uint8_t> lastGroup;
    const LogRecord* pendingSource = nullptr;
    Chunks chunks(out);
    std::string& text = chunks.text();
    for (const LogRecord& r : records) {
        if (lastGroup != r.jobGroupNo()) {
            pendingSource = nullptr;
            lastGroup = r.jobGroupNo();
        }
        if (!is_LogRecord_inDateRange(r, start, end)) continue;
        if (isCopyJob(r.jobCode()) && r.portNo() == 1) {
            pendingSource = &r;
            continue;
        }
        if (pendingSource != nullptr) {
            appendCsvRow(text, *pendingSource);
            text += "\r\n";
            pendingSource = nullptr;
        }
        appendCsvRow(text, r);
        text += "\r\n";
        chunks.done();
    }
}

void writeXmlExport(std::ostream& out, const std::vector<LogRecord>& records,
                    const CalendarDate& start, const CalendarDate& end) {
    if (records.empty()) return;
    Chunks chunks(out);
    std::string& text = chunks.text();
    text += kXmlHead;
    text += "\r\n";
    for (const LogRecord& r : records) {
        if (!is_LogRecord_inDateRange(r, start, end)) continue;
        if (isCopyJob(r.jobCode()) && r.portNo() == 1) continue;
        appendXmlRecord(text, r);
        text += "\r\n";
        chunks.done();
    }
    text += kXmlTail;
    text += "\r\n";
}

}  // namespace mx40d
