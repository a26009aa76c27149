#include "reports/ReportText.h"

#include <algorithm>

#include "base/Text.h"
#include "machine_ui/Names.h"
#include "protocol/MachineInfo.h"
#include "reports/Appenders.h"

namespace mx40d {

using appenders::left;
using appenders::number;

namespace {

const std::string kSeparator = std::string(155, '=') + "\r\n";

unsigned u(std::uint8_t v) {
    return v;
}

// "%04d-%02d-%02d %02d:%02d:%02d" (the year always has four digits).
void appendDate(std::string& out, const LogDate& d) {
    number(out, static_cast<std::uint64_t>(d.fullYear()), 4);
    out += '-';
    number(out, d.month, 2);
    out += '-';
    number(out, d.day, 2);
    out += ' ';
    number(out, d.hour, 2);
    out += ':';
    number(out, d.minute, 2);
    out += ':';
    number(out, d.second, 2);
}

std::string dateText(const LogDate& d) {
    std::string out;
    appendDate(out, d);
    return out;
}

unsigned long long ull(std::uint64_t v) {
    return v;
}

}  // namespace

void appendSizeText(std::string& out, std::uint64_t sectorCount, std::uint16_t sectorSize) {
    if (sectorSize == 0) {
        out += ' ';
        return;
    }
    const std::uint64_t perMiB = 1048576u / sectorSize;
    const std::uint64_t mib = sectorCount / perMiB;
    if (mib == 0) {
        number(out, sectorCount * sectorSize / 1024);
        out += "KB";
    } else if (mib < 10000) {
        number(out, mib);
        out += '.';
        number(out, (sectorCount % perMiB) * 10 / perMiB);
        out += "MB";
    } else {
        number(out, mib >> 10);
        out += '.';
        number(out, (mib % 1024) / 103);
        out += "GB";
    }
}

std::string format_SizeText(std::uint64_t sectorCount, std::uint16_t sectorSize) {
    std::string out;
    appendSizeText(out, sectorCount, sectorSize);
    return out;
}

bool isCopyJob(std::uint8_t jobCode) {
    return isCopyJobCode(jobCode);
}

std::string reportJobName(std::uint8_t jobCode) {
    switch (jobCode) {
        case 0:
            return "NOTHING";
        case 1:
            return "COPY";
        case 2:
            return "COMPARE";
        case 3:
            return "COPY+COMPARE";
        case 4:
            return "SCAN";
        case 10:
            return "SECURITY ERASE";
        default:
            break;
    }
    if (isBasicEraseJob(jobCode)) return eraseJobNames()[jobCode - kJobQuickErase];
    return "NULL FUNCTION";
}

std::string format_ReportHeader(const MachineInfo& info, const CalendarDate& start,
                                const CalendarDate& end, const LocalTime& now) {
    const int wd = now.weekday >= 0 && now.weekday <= 6 ? now.weekday : 0;
    const int mo = now.month >= 1 && now.month <= 12 ? now.month - 1 : 0;
    std::string printDate =
        cformat("%s %s %02d %02d:%02d:%02d %d\n", kWeekdayNames[wd], kMonthNames[mo], now.day,
                now.hour, now.minute, now.second, now.year);
    std::string version = info.version();
    std::string out = "\r\n";
    out += cformat(" Print Date     : %s\r\n\r\n", printDate.c_str());
    out += cformat(" Machine Name   : %s\r\n", info.nickName().c_str());
    out += cformat(" Machine Model  : %s\r\n", info.modelName().c_str());
    out += cformat(" Machine Version: %s\r\n", version.size() > 1 ? version.c_str() + 1 : "");
    out += cformat(" Machine ID     : %s\r\n", info.machineId().c_str());
    out += cformat(" Port Quantity  : %d\r\n", info.maxDeviceQty());
    out += "\r\n";
    out += cformat("   startNo Date : %d-%02d-%02d\r\n", start.year, start.month, start.day);
    out += cformat("     endNo Date : %d-%02d-%02d\r\n\r\n", end.year, end.month, end.day);
    out += kSeparator;
    return out;
}

std::vector<JobGroup> groupJobs(const std::vector<LogRecord>& records) {
    std::vector<JobGroup> groups;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (groups.empty() || records[i].jobGroupNo() != records[i - 1].jobGroupNo())
            groups.push_back({i, i});
        groups.back().last = i + 1;
    }
    return groups;
}

bool is_DateTime_earlier(const LogDate& a, const LogDate& b) {
    const std::uint8_t x[6] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const std::uint8_t y[6] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    return std::lexicographical_compare(x, x + 6, y, y + 6);
}

void add_Seconds_to_DateTime(LogDate& date, std::uint64_t seconds) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = date.year % 4 == 0;
    const std::uint64_t t =
        std::uint64_t{date.hour} * 3600 + std::uint64_t{date.minute} * 60 + date.second + seconds;
    date.hour = static_cast<std::uint8_t>((t / 3600) % 24);
    date.minute = static_cast<std::uint8_t>((t / 60) % 60);
    date.second = static_cast<std::uint8_t>(t % 60);
    for (std::uint64_t n = t / 86400; n > 0; --n) {
        // A month outside 1..12 (a damaged record) counts 31 days until it rolls over.
        int length = date.month >= 1 && date.month <= 12 ? kDays[date.month - 1] : 31;
        if (date.month == 2 && leap) length = 29;
        ++date.day;
        if (date.day > length) {
            date.day = 1;
            ++date.month;
            if (date.month > 12) {
                date.month = 1;
                ++date.year;
            }
        }
    }
}

LogDate get_end_DateTime_from_difference(const LogDate& start, std::uint64_t milliseconds) {
    LogDate end = start;
    add_Seconds_to_DateTime(end, (milliseconds + 999) / 1000);
    return end;
}

void appendPortLine(std::string& out, const LogRecord& r, ReportForm form) {
    out.append(11, ' ');
    out += "Port:";
    number(out, r.portNo(), 2);
    out += ",  ";
    appendDate(out, r.date());
    out += " (";
    number(out, r.spendMiniSecond() / 1000, 5, ' ');
    out += " seconds)[";
    left(out, r.modelView(), 40);
    out += "][";
    left(out, r.versionView(), 8);
    out += "][";
    left(out, r.serialNoView(), 20);
    out += ']';
    const std::size_t capacityAt = out.size();
    out += ' ';
    appendSizeText(out, r.jobCapacity(), r.sectorSize());
    out += '(';
    number(out, r.jobCapacity());
    out += ')';
    if (out.size() - capacityAt < 20) out.append(20 - (out.size() - capacityAt), ' ');
    if (form == ReportForm::Pdf) {
        out += "\r\n";
        out.append(56, ' ');
    }
    if (r.readSpeed() != 0) {
        out += "[Read Speed=";
        appendSizeText(out, r.readSpeed(), r.sectorSize());
        out += "/second]";
    }
    if (r.writeSpeed() != 0) {
        out += "[Write Speed=";
        appendSizeText(out, r.writeSpeed(), r.sectorSize());
        out += "/second]";
    }
    if (r.power_cycle() != 0) {
        out += " [power_on_hours=";
        number(out, r.power_on_hours());
        out += ", power_cycle=";
        number(out, r.power_cycle());
        out += ']';
    }
    out += "\r\n";
}

std::string format_PortLine(const LogRecord& r, ReportForm form) {
    std::string out;
    appendPortLine(out, r, form);
    return out;
}

namespace {

template <class At>
void jobBlock(std::string& out, At record, std::size_t count, ReportForm form) {
    if (count == 0) return;
    const LogRecord& first = record(0);
    const std::uint8_t job = first.jobCode();
    const bool copy = isCopyJob(job);
    auto counted = [&](const LogRecord& r) { return !(copy && r.portNo() == 1); };

    int pass = 0, fail = 0;
    LogDate start{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::uint32_t crcLow = 0, crcHigh = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const LogRecord& r = record(i);
        if (counted(r)) (r.result() == 0 ? pass : fail)++;
        if (!copy && is_DateTime_earlier(r.date(), start)) start = r.date();
        if (copy && r.portNo() == 1 && (r.crc64Low() != 0 || r.crc64High() != 0)) {
            crcLow = r.crc64Low();
            crcHigh = r.crc64High();
        }
    }
    if (copy) start = first.date();
    LogDate end = record(count - 1).date();
    add_Seconds_to_DateTime(end, record(count - 1).spendMiniSecond() / 1000 + 1);

    out += "Job: " + reportJobName(job) + "\r\n\r\n";
    out += "     Time  Start: " + dateText(start) + "\r\n";
    out += "             End: " + dateText(end) + "\r\n";
    out += "\r\n";
    if (copy) {
        const std::uint16_t ss = first.sectorSize();
        if (first.portNo() == 1) {
            out += "     Source HDD Model : " + first.model() + "\r\n";
            out += "              Version : " + first.version() + "\r\n";
            out += "        Serial Number : " + first.serialNo() + "\r\n";
            out +=
                cformat("             Capacity : %s(%llu sectors)\r\n",
                        format_SizeText(first.jobCapacity(), ss).c_str(), ull(first.jobCapacity()));
            out += cformat("            Data Size : %s(%llu sectors)\r\n",
                           format_SizeText(first.dataSize(), ss).c_str(), ull(first.dataSize()));
        } else {
            out += cformat("     Source Data Size : %s(%llu sectors)\r\n",
                           format_SizeText(first.dataSize(), ss).c_str(), ull(first.dataSize()));
        }
        out += "            copy Area : ";
        switch (first.copyArea()) {
            case 0:
                out += "System and Files\r\n";
                break;
            case 1:
                out += "Partition\r\n";
                break;
            case 2:
                out += "Whole HDD\r\n";
                break;
            case 3:
                out += cformat("Percentage(%u%% to %u%%)\r\n", u(first.percentFrom()),
                               u(first.percentTo()));
                break;
            default:
                out += cformat("(%02Xh)\r\n", u(first.copyArea()));
                break;
        }
        if (crcLow != 0 && crcHigh != 0)
            out += cformat("      CRC-64-ECMA-182 : %08X%08X\r\n", crcHigh, crcLow);
        out += "\r\n";
    }
    out += cformat("     Quantity  Total: %d\r\n", pass + fail);
    out += cformat("                Pass: %d\r\n", pass);
    out += cformat("                Fail: %d\r\n", fail);
    out += "\r\n";
    for (int wantPass = 1; wantPass >= 0; --wantPass) {
        if ((wantPass ? pass : fail) == 0) continue;
        out += wantPass ? "     [Pass Record]\r\n" : "     [Fail Record]\r\n";
        for (std::size_t i = 0; i < count; ++i) {
            const LogRecord& r = record(i);
            if (counted(r) && (r.result() == 0) == (wantPass == 1)) out += format_PortLine(r, form);
        }
        out += "\r\n";
    }
    out += kSeparator;
    out += "\r\n";
}

}  // namespace

std::string format_JobBlock(const LogRecord* records, std::size_t count, ReportForm form) {
    std::string out;
    if (records == nullptr) return out;
    jobBlock(
        out, [records](std::size_t i) -> const LogRecord& { return records[i]; }, count, form);
    return out;
}

std::string format_JobBlock(const std::vector<const LogRecord*>& records, ReportForm form) {
    std::string out;
    appendJobBlock(out, records, form);
    return out;
}

void appendJobBlock(std::string& out, const std::vector<const LogRecord*>& records,
                    ReportForm form) {
    jobBlock(
        out, [&records](std::size_t i) -> const LogRecord& { return *records[i]; }, records.size(),
        form);
}

std::string format_ClearRecord(const LogRecord& r, const LocalTime& now) {
    std::string out = "\r\n    >>> HDD Clear Record <<<\r\n\n";
    out += "Action    : " + jobName(r.jobCode()) + "\r\n";
    out += cformat("Machine ID: %s.%05u.%05u.%05u.%05u\r\n", r.machineIdText().c_str(),
                   unsigned{r.idNumber1()}, unsigned{r.idNumber2()}, unsigned{r.idNumber3()},
                   unsigned{r.idNumber4()});
    out += cformat("Port      : %u\r\n\n", unsigned{r.portNo()});
    out += "[HDD Information]\r\n";
    out += "  Model     : " + r.model() + "\r\n";
    out += "  Version   : " + r.version() + "\r\n";
    out += "  Serial No.: " + r.serialNo() + "\r\n";
    // A record without drive information (sector size 0) has no capacity: it shows 0.0GB.
    float gib = 0.0f;
    if (r.sectorSize() != 0)
        gib = static_cast<float>(r.capacity()) / static_cast<float>(1073741824u / r.sectorSize());
    out += cformat("  Capacity  : %.1fGB\r\n\n", static_cast<double>(gib));
    out += cformat("  Bad Sector: %u\r\n", r.badSectorQty());
    if (r.badSectorQty() != 0)
        out += cformat("  Start Addr: %llu\r\n", ull(r.firstBadSectorAddr()));
    out += "\n";
    out += "Start at " + dateText(r.date()) + "\r\n";
    out += "End   at " + dateText(get_end_DateTime_from_difference(r.date(), r.spendMiniSecond())) +
           "\r\n";
    out += "Elapsed Time:";
    std::uint64_t s = (std::uint64_t{r.spendMiniSecond()} + 999) / 1000;
    if (s >= 86400) {
        out += cformat(" %llu day", ull(s / 86400));
        s %= 86400;
    }
    out += cformat(" %02llu:%02llu:%02llu\r\n", ull(s / 3600), ull((s / 60) % 60), ull(s % 60));
    out += "\r\n\n\n\n" + std::string(40, '_') + "\r\n" + std::string(29, ' ') + "(Signature)\r\n";
    out += cformat("Print at %04d-%02d-%02d %02d:%02d:%02d\r\n", now.year, now.month, now.day,
                   now.hour, now.minute, now.second);
    out += std::string(10, '\n');
    return out;
}

std::string format_LogListLine(const LogRecord& r) {
    std::string out = cformat("%07llu ", ull(std::uint64_t{r.indexNo()} + 1)) + dateText(r.date());
    out += cformat("  %03u  ", unsigned{r.portNo()});
    std::string name = r.jobCode() == kJobCustomNamed ? r.customJobName() : jobName(r.jobCode());
    out += cformat(r.isDuplicator() ? "%-16s  " : "%-25s  ", name.c_str());
    out += r.result() == 0 ? "PASS     " : "FAIL     ";
    out += cformat(" Spent %05u seconds ", r.spendMiniSecond() / 1000);
    if (r.sectorSize() == 0)
        out += " (NULL) ";
    else
        out += cformat(" %-10s", sizeText(r.capacity(), r.sectorSize()).c_str());
    out += cformat(" %-30s %-8s %s", r.model().c_str(), r.version().c_str(), r.serialNo().c_str());
    return out;
}

}  // namespace mx40d
