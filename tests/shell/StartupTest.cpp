// The main window's core: its start-up sequence, run by the headless loop as the window's
// timers run it, and the default geometry.
#include <gtest/gtest.h>

#include "machine_ui/Names.h"
#include "shell/HeadlessWindow.h"
#include "shell/MonitorCore.h"
#include "shell/StartupFiles.h"
#include "support/Fixtures.h"
#include "support/SimScreen.h"

using namespace mx40d;
using namespace mx40d::testing;

TEST(Startup, DefaultGeometryIsShrunkToTheScreenAndCentred) {
    struct Case {
        int sw, sh;
        shell::Geometry g;  // top, left, width, height
    };
    for (const Case& c :
         {Case{800, 600, {125, 100, 600, 350}}, Case{1920, 1080, {365, 660, 600, 350}},
          Case{500, 300, {0, 0, 500, 300}}, Case{601, 351, {0, 0, 600, 350}}}) {
        EXPECT_EQ(shell::defaultGeometry(c.sw, c.sh), c.g) << c.sw << "x" << c.sh;
    }
}

// The sequencer reaches step 20 on the 2nd tick and ends on the 5th without the logo, on the
// 21st and the 24th with it; the machines attached by then are found by the scan.
TEST(Startup, TheSequencerStepsWithAndWithoutTheLogo) {
    for (const bool logo : {false, true}) {
        SCOPED_TRACE(logo ? "logo" : "no logo");
        TempFolder dir(logo ? "-logo" : "");
        SimScreen screen;
        screen.backend.addMachine("sim:1", simMachine("S-1"));
        std::filesystem::path program;
        if (logo) {
            program = dir.root() / "program";
            writeFile(program, shell::makeTrailer("C", "W", "00700", "MX40D"));
        }
        MonitorCore core(screen.clock, screen, screen.backend, screen.backend.hotplug(),
                         {dir.root(), program});
        std::vector<int> steps;
        int tick = 0;
        int registryTick = 0;
        int endTick = 0;
        while (!core.startupDone() && tick < 40) {
            ++tick;
            const int before = core.startupStep();
            const MonitorCore::StartupTick t = core.timer3();
            if (before == 20) registryTick = tick;
            if (t.hideLogoAndStop) endTick = tick;
            EXPECT_EQ(t.showLogo, logo && tick == 1);
            EXPECT_EQ(t.showPages, !logo && tick == 1);
        }
        EXPECT_EQ(registryTick, logo ? 21 : 2);
        EXPECT_EQ(endTick, logo ? 24 : 5);
        EXPECT_TRUE(std::filesystem::exists(core.databaseFolder() / "ORVANE_MX40D.DB7"));
        EXPECT_EQ(core.hub().openSlotCount(), 1);  // found by the scan at step 22
    }
    setOemCode(shell::kDefaultOemCode);
}
