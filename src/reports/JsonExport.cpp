#include "reports/JsonExport.h"

#include <cstdint>

#include "base/Text.h"
#include "machine_ui/Names.h"
#include "protocol/MachineInfo.h"
#include "protocol/WireLayout.h"

namespace mx40d {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += cformat("\\u%04x", c);
                } else if (c < 0x80) {
                    out += ch;
                } else {
                    out += static_cast<char>(0xC0 | (c >> 6));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
        }
    }
    return out + "\"";
}

namespace {

std::string isoDate(const LogDate& d) {
    return cformat("\"%04d-%02d-%02dT%02d:%02d:%02d\"", d.fullYear(), d.month, d.day, d.hour,
                   d.minute, d.second);
}

// A size: {"sectors": n, "bytes": n * sectorSize}; bytes null when they pass 64 bits.
std::string size(std::uint64_t sectors, std::uint16_t sectorSize) {
    const bool fits = sectorSize == 0 || sectors <= UINT64_MAX / sectorSize;
    return cformat(
        "{\"sectors\": %llu, \"bytes\": %s}", static_cast<unsigned long long>(sectors),
        fits ? cformat("%llu", static_cast<unsigned long long>(sectors * sectorSize)).c_str()
             : "null");
}

std::string u(std::uint64_t v) {
    return cformat("%llu", static_cast<unsigned long long>(v));
}

void field(std::string& o, const char* name, const std::string& value, bool last = false) {
    o += cformat("      \"%s\": ", name) + value + (last ? "\n" : ",\n");
}

std::string jobText(const LogRecord& r) {
    return r.jobCode() == kJobCustomNamed ? r.customJobName() : jobName(r.jobCode());
}

std::string record(const LogRecord& r) {
    std::string o = "    {\n";
    field(o, "indexNo", u(r.indexNo()));
    field(o, "shownNo", u(std::uint64_t{r.indexNo()} + 1));
    field(o, "portNo", u(r.portNo()));
    field(o, "start", isoDate(r.date()));
    field(o, "jobGroupNo", u(r.jobGroupNo()));
    field(o, "jobCode", u(r.jobCode()));
    field(o, "job", jsonString(jobText(r)));
    field(o, "customJobName", jsonString(r.customJobName()));
    field(o, "result", u(r.result()));
    field(o, "passed", r.result() == 0 ? "true" : "false");
    field(o, "spendMiniSecond", u(r.spendMiniSecond()));
    field(o, "sectorSize", u(r.sectorSize()));
    field(o, "model", jsonString(r.modelView()));
    field(o, "version", jsonString(r.versionView()));
    field(o, "serialNo", jsonString(r.serialNoView()));
    field(o, "capacity", size(r.capacity(), r.sectorSize()));
    if (r.isDuplicator()) {
        field(o, "jobCapacity", size(r.jobCapacity(), r.sectorSize()));
        field(o, "dataSize", size(r.dataSize(), r.sectorSize()));
        field(o, "copyArea", u(r.copyArea()));
        field(o, "percentFrom", u(r.percentFrom()));
        field(o, "percentTo", u(r.percentTo()));
        field(o, "readSpeed", size(r.readSpeed(), r.sectorSize()));
        field(o, "writeSpeed", size(r.writeSpeed(), r.sectorSize()));
        const bool crc = r.crc64Low() != 0 || r.crc64High() != 0;
        field(o, "crc64",
              crc ? cformat("\"%08X%08X\"", r.crc64High(), r.crc64Low()) : std::string("null"));
        field(o, "power_cycle", u(r.power_cycle()));
        field(o, "power_on_hours", u(r.power_on_hours()), true);
    } else {
        for (int n = 1; n <= 4; ++n)
            field(o, cformat("idNumber%d", n).c_str(), u(r.idNumber(n)));
        field(o, "badSectorQty", u(r.badSectorQty()));
        field(o, "firstBadSectorAddr", u(r.firstBadSectorAddr()));
        field(o, "machineIdText", jsonString(r.machineIdText()), true);
    }
    return o + "    }";
}

}  // namespace

void writeJsonExport(std::ostream& out, const MachineInfo& m, const std::vector<LogRecord>& records,
                     const CalendarDate& start, const CalendarDate& end) {
    std::string o = "{\n  \"machine\": {\n";
    o += "    \"machineId\": " + jsonString(m.machineId()) + ",\n";
    o += "    \"name\": " + jsonString(m.nickName().empty() ? m.modelName() : m.nickName()) + ",\n";
    o += "    \"nickName\": " + jsonString(m.nickName()) + ",\n";
    o += "    \"model\": " + jsonString(m.modelName()) + ",\n";
    o += "    \"version\": " + jsonString(m.version()) + ",\n";
    o +=
        cformat("    \"kind\": \"%s\",\n", m.deviceType() == kEraserKind ? "eraser" : "duplicator");
    o += cformat("    \"ports\": %d\n  },\n", m.maxDeviceQty());
    o += cformat("  \"from\": \"%04d-%02d-%02d\",\n  \"to\": \"%04d-%02d-%02d\",\n", start.year,
                 start.month, start.day, end.year, end.month, end.day);
    o += "  \"records\": [";
    out << o;
    bool first = true;
    for (const LogRecord& r : records) {
        if (!is_LogRecord_inDateRange(r, start, end)) continue;
        out << (first ? "\n" : ",\n") << record(r);
        first = false;
    }
    out << (first ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace mx40d
