#include "Clock.h"

#include <chrono>
#include <ctime>

namespace mx40d {

const char* const kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

SystemClock::SystemClock()
    : startNs_(std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count()) {}

std::int64_t SystemClock::nowMs() const {
    const std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
    return (ns - startNs_) / 1000000;
}

LocalTime SystemClock::localTime() const {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.weekday = tm.tm_wday;
    t.utcOffsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
    return t;
}

// Howard Hinnant's civil-date algorithms.
std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

LocalTime civilFromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rem = seconds % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    LocalTime t;
    t.year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    t.month = m;
    t.day = d;
    t.hour = static_cast<int>(rem / 3600);
    t.minute = static_cast<int>(rem / 60 % 60);
    t.second = static_cast<int>(rem % 60);
    const std::int64_t wd = (days + 4) % 7;  // 1970-01-01 was a Thursday
    t.weekday = static_cast<int>(wd < 0 ? wd + 7 : wd);
    return t;
}

std::int64_t secondsFromCivil(const LocalTime& t) {
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

FakeClock::FakeClock(const LocalTime& start) {
    setLocalTime(start);
}

void FakeClock::setLocalTime(const LocalTime& t) {
    epochSecondsAtZero_ = secondsFromCivil(t) - ms_ / 1000;
    utcOffsetMinutes_ = t.utcOffsetMinutes;
}

LocalTime FakeClock::localTime() const {
    LocalTime t = civilFromSeconds(epochSecondsAtZero_ + ms_ / 1000);
    t.utcOffsetMinutes = utcOffsetMinutes_;
    return t;
}

}  // namespace mx40d
