#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "machine_ui/JobControls.h"

using namespace mx40d;

namespace {
struct Step {
    const char* what;
    std::function<void(JobControls&)> apply;
    const char* shown;
};
}  // namespace

TEST(JobControls, ButtonSetsFollowJobAndStage) {
    const auto job = [](int code, int stage) {
        return [=](JobControls& c) { c.showJob(code, stage); };
    };
    const auto idle = [](bool v) { return [=](JobControls& c) { c.setIdle(v); }; };
    const std::vector<Step> copyRun = {
        {"built", [](JobControls&) {},
         "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report"},
        {"machine idle: showJob", job(0, -1),
         "Copy|Compare|Copy+Compare|Get ID|Setting|STOP|Generate Log Report"},
        {"machine idle: setIdle", idle(true),
         "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report"},
        {"copy starts: showJob", job(1, 0),
         "Copy|Compare|Copy+Compare|Get ID|Setting|STOP|Generate Log Report"},
        {"copy starts: setIdle", idle(false), "STOP"},
        {"stage 13", job(1, 13), "STOP"},
        {"stage 4 waits for the operator", job(1, 4), "Next RUN|Finish"},
        {"Finish pressed", idle(false), "STOP"},
        {"same job and stage again: nothing", job(1, 4), "STOP"},
        {"stage 0", job(1, 0), "STOP"},
        {"job ends", job(0, 0), "STOP"},
        {"idle", idle(true), "Copy|Compare|Copy+Compare|Get ID|Setting|Generate Log Report"},
    };
    JobControls c;
    for (const Step& s : copyRun) {
        s.apply(c);
        EXPECT_EQ(c.shownButtons(), s.shown) << s.what;
    }
    EXPECT_EQ(c.jobText(), "STANDBY");

    const std::vector<Step> getIdRun = {
        {"GET ID starts: setIdle shows STOP", idle(false), "STOP"},
        {"first stage change hides it", job(26, 2), ""},
        {"stays hidden", job(26, 14), ""},
        {"stage 4", job(26, 4), "Next RUN|Finish"},
    };
    JobControls g;
    g.showJob(26, 0);
    for (const Step& s : getIdRun) {
        s.apply(g);
        EXPECT_EQ(g.shownButtons(), s.shown) << s.what;
    }
    EXPECT_EQ(g.jobText(), "GET ID");
}

TEST(JobControls, MachineWithoutJobControlsOrLog) {
    JobControls c(false, false);
    EXPECT_FALSE(c.exists(JobControls::Copy));
    EXPECT_FALSE(c.exists(JobControls::GenerateLogReport));
    EXPECT_EQ(c.shownButtons(), "Change Machine Name");
    c.setIdle(false);
    EXPECT_EQ(c.shownButtons(), "");
    c.showJob(5, 4);
    EXPECT_EQ(c.shownButtons(), "");
    c.setIdle(true);
    EXPECT_EQ(c.shownButtons(), "Change Machine Name");
}
