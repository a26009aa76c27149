#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "reports/LogRecord.h"

// CSV and XML exports of duplicator log records. Lines end with CR LF. Drive texts are
// quoted (CSV) or escaped and converted to UTF-8 (XML) so that every file stays well-formed
// whatever a drive calls itself.
namespace mx40d {

inline constexpr const char* kCsvHeader =
    "indexNo,Port No,Year,Month,Day,Hour,Minute,Second,spend time(second),Job,Result,Capacity,"
    "model,version,serial number";

// A CSV field as it stands, or quoted (with doubled quotes) when it holds a comma, a double
// quote, CR or LF.
std::string csvField(std::string_view text);
// xmlText and appendXmlText (base/Text.h): 8-bit text as XML character data in UTF-8.

// One row, without its line end.
std::string format_CsvRow(const LogRecord& record);
// "    <name>value</name>" and CR LF, the value escaped.
std::string write_XmlElement(std::string_view name, std::string_view value);
// "  <Record>" ... "  </Record>", without the last line end.
std::string format_XmlRecord(const LogRecord& record);

// The first XML lines and the closing line of an export or a test report.
inline constexpr const char* kXmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<TEST_REPORT>";
inline constexpr const char* kXmlTail = "</TEST_REPORT>";

// The whole exports over the records of a database (file order) and a date range. Nothing is
// written when there are no records at all.
void writeCsvExport(std::ostream& out, const std::vector<LogRecord>& records,
                    const CalendarDate& start, const CalendarDate& end);
void writeXmlExport(std::ostream& out, const std::vector<LogRecord>& records,
                    const CalendarDate& start, const CalendarDate& end);

}  // namespace mx40d
