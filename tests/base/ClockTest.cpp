#include <gtest/gtest.h>

#include "base/Clock.h"

using namespace mx40d;

TEST(FakeClock, CalendarMovesWithMillisecondsAcrossMonthAndLeapDay) {
    FakeClock clock(LocalTime{2024, 2, 28, 23, 59, 59, 3});
    EXPECT_EQ(clock.nowMs(), 0);
    clock.advance(999);
    EXPECT_EQ(clock.localTime().second, 59);
    clock.advance(1);
    LocalTime t = clock.localTime();
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.weekday, 4);  // Thursday
    clock.advance(86400 * 1000);
    t = clock.localTime();
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 1);
}

TEST(FakeClock, SetLocalTimeKeepsMilliseconds) {
    FakeClock clock;
    clock.advance(12345);
    clock.setLocalTime(LocalTime{2030, 12, 31, 23, 59, 58, 2});
    EXPECT_EQ(clock.nowMs(), 12345);
    clock.advance(2000);
    const LocalTime t = clock.localTime();
    EXPECT_EQ(t.year, 2031);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.second, 0);
}

TEST(SystemClock, IsMonotonic) {
    SystemClock clock;
    const auto a = clock.nowMs();
    EXPECT_GE(clock.nowMs(), a);
    EXPECT_GE(clock.localTime().year, 2000);
}
