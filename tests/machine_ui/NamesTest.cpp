#include <gtest/gtest.h>

#include "machine_ui/Names.h"

using namespace mx40d;

TEST(Names, JobNamesFollowTheOemCode) {
    setOemCode("00001");
    EXPECT_FALSE(overwriteNaming());
    EXPECT_EQ(jobName(5), "QUICK ERASE");
    EXPECT_EQ(jobName(9), "FULL ERASE 7-PASS");
    EXPECT_EQ(jobName(10), "SECURITY ERASE");
    setOemCode("00700");
    EXPECT_TRUE(overwriteNaming());
    EXPECT_EQ(jobName(5), "QUICK OVERWRITE");
    EXPECT_EQ(jobName(8), "3-PASS OVERWRITE+VERIFY");
    EXPECT_EQ(jobName(10), "SECURITY ERASE");
    setOemCode("00001");
}

TEST(Names, JobTable) {
    struct Case {
        int code;
        const char* name;
    };
    for (Case c :
         {Case{0, "STANDBY"}, Case{1, "COPY"}, Case{3, "COPY+COMPARE"}, Case{16, "SECURITY ERASE"},
          Case{17, "17"}, Case{20, "COPY"}, Case{26, "GET ID"}, Case{27, "27"},
          Case{31, "HMG ERASE(3-PASS)"}, Case{32, "HMG ERASE(3-PASS)"},
          Case{35, "ENHANCED SECURITY ERASE"}, Case{36, "36"}, Case{-1, "-1"}, Case{255, "255"}}) {
        EXPECT_EQ(jobName(c.code), c.name) << c.code;
    }
}

TEST(Names, PortStates) {
    EXPECT_EQ(portStateName(0), " ");
    EXPECT_EQ(portStateName(1), " ");
    EXPECT_EQ(portStateName(2), "TURNING ON");
    EXPECT_EQ(portStateName(9), "STOP MOTOR");
    EXPECT_EQ(portStateName(10), "10");
    EXPECT_EQ(portStateName(255), "255");
}

TEST(Names, SizeTexts) {
    struct Case {
        std::uint64_t sectors;
        std::uint16_t size;
        const char* text;
    };
    for (Case c :
         {Case{976773168, 512, "466GB"}, Case{20971520, 512, "10.0GB"},
          Case{20000000, 512, "9766MB"}, Case{1, 512, "0MB"}, Case{0, 0, ""},
          Case{976773168, 0, ""}, Case{209715200, 512, "100GB"},  // exactly 100 x 2^30 bytes
          Case{107374182399ull, 1, "100.0GB"},                    // one byte less
          Case{10485760000ull, 1, "9.8GB"},                       // the 9.765625 GiB threshold
          Case{10485759999ull, 1, "10000MB"},
          Case{0xFFFFFFFFFFFFFFFFull, 2, "17179869184GB"}}) {  // product wraps modulo 2^64
        EXPECT_EQ(sizeText(c.sectors, c.size), c.text) << c.sectors << "x" << c.size;
    }
}

TEST(Names, SpeedTexts) {
    EXPECT_EQ(speedText(0, 2048, 512), "");
    EXPECT_EQ(speedText(1000000, 2048, 0), "");
    EXPECT_EQ(speedText(1000000, 2048, 512), "   1.00");
    EXPECT_EQ(speedText(1000000, 204800, 512), " 100.00");
    EXPECT_EQ(speedText(1000000, 1024, 512), "    0.50");
    EXPECT_EQ(speedText(1000000, 20480, 512), "  10.00");
    EXPECT_EQ(speedText(1000000, 252838, 512), " 123.46");
}
