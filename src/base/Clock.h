#pragma once

#include <cstdint>

namespace mx40d {

// Local calendar time as the PC's clock shows it.
struct LocalTime {
    int year = 2000;  // four digits
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;     // 0..23
    int minute = 0;   // 0..59
    int second = 0;   // 0..59
    int weekday = 6;  // 0 = Sunday .. 6 = Saturday
    // How far the local time is ahead of UTC, in minutes (negative west of Greenwich).
    int utcOffsetMinutes = 0;
};

// The one source of time for the core: a monotonic millisecond counter and the local
// calendar time. Tests and the demo use FakeClock, which only moves when told to.
class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed start (program start for the real clock).
    virtual std::int64_t nowMs() const = 0;
    virtual LocalTime localTime() const = 0;
};

class SystemClock final : public Clock {
  public:
    SystemClock();
    std::int64_t nowMs() const override;
    LocalTime localTime() const override;

  private:
    std::int64_t startNs_;
};

// A clock that stands still until advanced. Its calendar time moves with its milliseconds.
class FakeClock final : public Clock {
  public:
    explicit FakeClock(const LocalTime& start = LocalTime{2026, 12, 10, 9, 0, 0, 4});
    std::int64_t nowMs() const override { return ms_; }
    LocalTime localTime() const override;

    void advance(std::int64_t ms) { ms_ += ms; }
    // Sets the calendar time that corresponds to the current millisecond count (and the
    // zone offset it carries).
    void setLocalTime(const LocalTime& t);

  private:
    std::int64_t ms_ = 0;
    std::int64_t epochSecondsAtZero_ = 0;  // calendar seconds (UTC-like, no zone) at ms 0
    int utcOffsetMinutes_ = 0;
};

// Shared calendar helpers (proleptic Gregorian, no time zones).
std::int64_t daysFromCivil(int year, int month, int day);
LocalTime civilFromSeconds(std::int64_t seconds);
std::int64_t secondsFromCivil(const LocalTime& t);

extern const char* const kWeekdayNames[7];  // "Sun".."Sat"
extern const char* const kMonthNames[12];   // "Jan".."Dec"

}  // namespace mx40d
