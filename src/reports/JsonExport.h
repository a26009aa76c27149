#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "reports/LogRecord.h"

namespace mx40d {

class MachineInfo;

// The records of a date range as JSON for asset-management systems: the machine, then one
// object per record with every field of its layout under the field's name, dates in ISO 8601,
// sizes in sectors and in bytes, job names as the reports show them. UTF-8 (drive texts are
// 8-bit, taken as Latin-1). The schema is docs/report.schema.json.
void writeJsonExport(std::ostream& out, const MachineInfo& machine,
                     const std::vector<LogRecord>& records, const CalendarDate& start,
                     const CalendarDate& end);

// 8-bit text (Latin-1) as a JSON string, quotes included.
std::string jsonString(std::string_view text);

}  // namespace mx40d
