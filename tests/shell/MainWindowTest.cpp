// The main window under the offscreen platform, on the fake clock and simulated machines. Its
// timers do not run by themselves: the tests call their handlers as the timers would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <QPushButton>
#include <QTest>

#include <fstream>
#include <set>

#include "machine_ui/Names.h"
#include "machine_ui/PortTable.h"
#include "machine_ui/ui/Dialogs.h"
#include "machine_ui/ui/Form_machinehdd.h"
#include "shell/MachineRegistry.h"
#include "shell/StartupFiles.h"
#include "shell/ui/Mx40d_main.h"
#include "sim/SimHidBackend.h"
#include "support/Fixtures.h"
#include "support/RecordingView.h"
#include "support/SimRig.h"
#include "support/SimScreen.h"

using namespace mx40d;
using namespace mx40d::testing;
using mx40d::ui::TForm_MX40D;

namespace {

class MainWindow : public ::testing::Test {
  protected:
    void TearDown() override {
        notice.onPump = nullptr;
        setOemCode(shell::kDefaultOemCode);
    }

    std::unique_ptr<TForm_MX40D> open(const std::filesystem::path& programFile = {}) {
        TForm_MX40D::Env env;
        env.clock = &clock;
        env.backend = &backend;
        env.hotplug = &backend.hotplug();
        env.workFolder = dir.root();
        env.programFile = programFile;
        env.notice = &notice;
        env.realTimers = false;
        auto w = std::make_unique<TForm_MX40D>(env);
        // A turn of the event loop inside a blocking wait: time passes and the timers fire.
        notice.onPump = [this, raw = w.get()] {
            clock.advance(10);
            if (raw->timer(1).enabled()) raw->Timer1Timer();
            if (raw->timer(2).enabled()) raw->Timer2Timer();
        };
        return w;
    }
    // Runs `ms` of the window's life: its timers as they are enabled, on the fake clock.
    void run(TForm_MX40D& w, std::int64_t ms) {
        for (std::int64_t t = 0; t < ms; t += 10) {
            clock.advance(10);
            if (w.timer(1).enabled()) w.Timer1Timer();
            if (w.timer(2).enabled()) w.Timer2Timer();
            if (w.timer(3).enabled() && clock.nowMs() % 200 == 0) w.Timer3Timer();
        }
    }
    std::filesystem::path branded(const std::string& trailer) {
        const auto p = dir.root() / "program";
        writeFile(p, std::string(3000, 'x') + trailer);
        return p;
    }
    static QRect screen() { return QGuiApplication::primaryScreen()->geometry(); }

    TempFolder dir;
    FakeClock clock{LocalTime{2026, 12, 10, 9, 0, 0, 4}};
    sim::SimHidBackend backend{clock};
    RecordingNotice notice;
};

}  // namespace

TEST_F(MainWindow, ComponentsAsDesigned) {
    auto w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("MX40D v1.03.5 2015-10-26"));
    for (const char* name : {"PageControl1", "Image_VeltrixLogo", "StringGrid_main", "Edit1",
                             "SaveDialog1", "OpenDialog1"})
        EXPECT_NE(w->findChild<QWidget*>(name), nullptr) << name;
    for (const char* name : {"Timer1", "Timer2", "Timer3"})
        EXPECT_NE(w->findChild<QTimer*>(name), nullptr) << name;
    for (const char* name : {"System1", "Log1", "Action1"}) {
        auto* m = w->findChild<QMenu*>(name);
        ASSERT_NE(m, nullptr) << name;
        EXPECT_FALSE(m->menuAction()->isVisible()) << name;
    }
    for (const char* name : {"Copy1", "Compare1", "CopyCompare1"})
        EXPECT_NE(w->findChild<QAction*>(name), nullptr) << name;
    auto* grid = w->findChild<QTableWidget*>("StringGrid_main");
    EXPECT_EQ(grid->columnCount(), 5);
    EXPECT_EQ(grid->columnWidth(1), 267);
    for (const char* name : {"PageControl1", "Image_VeltrixLogo", "StringGrid_main", "Edit1"})
        EXPECT_TRUE(w->findChild<QWidget*>(name)->isHidden()) << name;
    EXPECT_TRUE(w->timer(3).enabled());
    EXPECT_EQ(w->timer(3).interval(), 200);
    EXPECT_FALSE(w->timer(1).enabled());
    EXPECT_FALSE(w->timer(2).enabled());
    EXPECT_EQ(w->timer(1).interval(), 10);
    EXPECT_EQ(w->font().family(), QStringLiteral("Courier New"));
    EXPECT_EQ(w->font().pixelSize(), 16);
}

TEST_F(MainWindow, GeometryFile) {
    const QRect s = screen();
    struct Case {
        const char* name;
        const char* file;  // nullptr: no file
        int left, top, width, height;
    };
    const int cx = (s.width() - 600) / 2, cy = (s.height() - 350) / 2;
    const Case cases[] = {
        {"missing", nullptr, cx, cy, 600, 350},
        {"three numbers", "MX40D Ver:1.03.5\n10 20 700\n", cx, cy, 600, 350},
        {"stored", "MX40D Ver:1.03.5\n40 30 700 400 \n", 30, 40, 700, 400},
        {"larger than the screen", "x\n0 0 3000 2000 \n", 0, 0, 3000, 2000},
        {"garbage", "\xff\xfe\n\x01 junk\n", cx, cy, 600, 350},
        {"sizes no window has", "x\n1 2 2000000000 3\n", cx, cy, 600, 350},
        {"a number past the int range", "x\n1 2 99999999999999999999 3\n", cx, cy, 600, 350},
        {"negative size", "x\n1 2 -5 300\n", cx, cy, 600, 350},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.root() / shell::kGeometryFile);
        if (c.file != nullptr) writeFile(dir.root() / shell::kGeometryFile, c.file);
        auto w = open();
        EXPECT_EQ(w->x(), c.left);
        EXPECT_EQ(w->y(), c.top);
        EXPECT_EQ(w->width(), c.width);
        EXPECT_EQ(w->height(), c.height);
    }
}

TEST_F(MainWindow, OverwriteBrandingShowsTheLogoFromTheFirstTickToTheTwentyFourth) {
    auto w = open(branded(shell::makeTrailer("OEM Co", "oem.example", "00700", "XR-9")));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("XR-9 v1.03.5 2015-10-26"));
    EXPECT_EQ(jobName(5), "QUICK OVERWRITE");
    EXPECT_EQ(jobName(9), "7-PASS OVERWRITE");
    EXPECT_EQ(jobName(10), "SECURITY ERASE");
    std::vector<bool> logoShown;
    for (int tick = 1; tick <= 25; ++tick) {
        w->Timer3Timer();
        logoShown.push_back(!w->logo()->isHidden());
    }
    for (int tick = 1; tick <= 23; ++tick)
        EXPECT_TRUE(logoShown[static_cast<std::size_t>(tick - 1)]) << tick;
    EXPECT_FALSE(logoShown[23]);  // hidden at the 24th
    EXPECT_FALSE(w->timer(3).enabled());
    EXPECT_TRUE(w->pageControl()->isHidden());  // until the first machine is identified
}

TEST_F(MainWindow, OtherBrandingNamesEraseJobsAsErasesAndShowsNoLogo) {
    auto w = open(branded(shell::makeTrailer("OEM Co", "oem.example", "00701", "XR-9")));
    EXPECT_EQ(jobName(5), "QUICK ERASE");
    for (int tick = 1; tick <= 6; ++tick) {
        w->Timer3Timer();
        EXPECT_TRUE(w->logo()->isHidden()) << tick;
    }
    EXPECT_FALSE(w->pageControl()->isHidden());  // shown at the first tick
    EXPECT_FALSE(w->timer(3).enabled());         // the sequence ends at the fifth tick
    EXPECT_TRUE(w->timer(1).enabled());
    EXPECT_TRUE(w->timer(2).enabled());
}

TEST_F(MainWindow, TrailerTexts) {
    struct Case {
        const char* name;
        std::string tail;
        std::string company, web, oem, model;
        bool found;
    };
    const std::string m = shell::kTrailerMarker;
    const Case cases[] = {
        {"five lines", m + "\nA\nB\n00007\nM1\n", "A", "B", "00007", "M1", true},
        {"CR before LF", m + "\r\nA\r\nB\r\n00700\r\nM2\r\n", "A", "B", "00700", "M2", true},
        {"fewer than five lines", m + "\nA\nB\n", "A", "B", "", "", true},
        {"marker far from the end", m + "\nA\nB\nC\nD\n" + std::string(600, 'z'),
         shell::kDefaultCompany, shell::kDefaultWeb, "00001", "MX40D", false},
        {"no marker", "just a program", shell::kDefaultCompany, shell::kDefaultWeb, "00001",
         "MX40D", false},
        {"line longer than 255", m + "\n" + std::string(300, 'c') + "\n", std::string(255, 'c'), "",
         "", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const shell::Branding b = shell::parseBranding(std::string(700, 'x') + c.tail);
        EXPECT_EQ(b.fromTrailer, c.found);
        EXPECT_EQ(b.company, c.company);
        EXPECT_EQ(b.web, c.web);
        EXPECT_EQ(b.oemCode, c.oem);
        EXPECT_EQ(b.model, c.model);
    }
    // An empty model word gives a caption that begins with a blank.
    auto w = open(branded(m + "\nA\nB\n"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" v1.03.5 2015-10-26"));
    EXPECT_EQ(shell::kTrailerMarkerSize, m.size());
    EXPECT_NE(m.find("(ID:47190358)"), std::string::npos);
    EXPECT_TRUE(shell::makeTrailer(std::string(250, 'a'), std::string(250, 'b'), "1", "2").empty());
}

TEST_F(MainWindow, ADamagedRegistryEndsStartUpAfterItsMessage) {
    for (const char* damage : {"title", "version"}) {
        SCOPED_TRACE(damage);
        const auto db = dir.root() / shell::kDatabaseFolder;
        std::filesystem::create_directories(db);
        MachineRegistry r;
        ASSERT_EQ(r.create(db / MachineHub::kRegistryFileName), DatabaseResult::Pass);
        std::string bytes = readFile(db / MachineHub::kRegistryFileName);
        bytes[std::string(damage) == "title" ? 3 : 105] ^= 0x20;
        writeFile(db / MachineHub::kRegistryFileName, bytes);
        notice.boxes.clear();
        auto w = open();
        w->show();
        run(*w, 1000);
        ASSERT_EQ(notice.boxes.size(), 1u);
        EXPECT_EQ(notice.boxes[0].first, "Message");
        EXPECT_EQ(notice.boxes[0].second, std::string(damage) == "title"
                                              ? "DATABASE_WRONG_TITLE"
                                              : "DATABASE_WRONG_VERSION");
        EXPECT_TRUE(w->closedAtStartup());
        EXPECT_FALSE(w->isVisible());
        EXPECT_FALSE(w->timer(1).enabled());
        EXPECT_EQ(readFile(db / MachineHub::kRegistryFileName), bytes);  // left as it was
    }
}

TEST_F(MainWindow, AMissingRegistryIsCreatedSilentlyAndTheLogOpens) {
    auto w = open();
    run(*w, 1000);
    EXPECT_TRUE(notice.boxes.empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.root() / shell::kDatabaseFolder /
                                                 MachineHub::kRegistryFileName));
    EXPECT_TRUE(std::filesystem::is_directory(dir.root() / shell::kDebugFolder));
    EXPECT_EQ(readFile(dir.root() / "Orvane-HostBay-MX40D-20261210.TXT"),
              "OPEN Orvane LOG FILE at 2026-12-10 09:00:00 (0)\n\n");
    EXPECT_EQ(w->core().hub().table().cell(1, 0), "Machine");
}

// Two machines attached before the start come up as tabs in slot order, are read out and
// their logs copied; one pulled out loses its tab and shows "OFF Line"; closing writes the
// registry and the geometry file.
TEST_F(MainWindow, MachinesAsTabsThroughTheirLives) {
    sim::SimMachineConfig dup = simMachine("DUP-1");
    dup.prefilledRecords = 12;
    sim::SimMachineConfig era = simMachine("ERA-1", '5');
    era.prefilledRecords = 8;
    backend.addMachine("sim:era", era);
    backend.addMachine("sim:dup", dup);
    auto w = open();
    w->show();
    run(*w, 5000);
    QTabWidget* pages = w->pageControl();
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Bay DUP-1"));  // product 0x2001 first
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Bay ERA-1"));
    run(*w, 10000);
    const auto db = dir.root() / shell::kDatabaseFolder;
    EXPECT_EQ(SimRig::storedNumbers(db / "DUP-1.MX40D.LOGDATA").size(), 12u);
    EXPECT_EQ(SimRig::storedNumbers(db / "ERA-1.MX40D.LOGDATA").size(), 8u);
    auto* grid = w->findChild<QTableWidget*>("StringGrid_main");
    EXPECT_EQ(grid->item(0, 3)->text(), QStringLiteral("ON Line"));
    EXPECT_EQ(grid->item(0, 4)->text(), QStringLiteral("13/13"));
    // The machine's panel in its page: its port grid, its job box, its log.
    auto* portGrid = pages->widget(0)->findChild<QTableWidget*>("portGrid");
    ASSERT_NE(portGrid, nullptr);
    EXPECT_EQ(portGrid->rowCount(), 8);
    EXPECT_EQ(pages->widget(0)->findChild<QLineEdit*>("jobBox")->text(), QStringLiteral("STANDBY"));

    backend.unplug("sim:dup");
    run(*w, 100);
    ASSERT_EQ(pages->count(), 1);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Bay ERA-1"));
    EXPECT_EQ(grid->item(0, 3)->text(), QStringLiteral("OFF Line"));
    EXPECT_EQ(grid->item(1, 3)->text(), QStringLiteral("ON Line"));

    w->move(50, 60);
    w->resize(640, 480);
    w->close();
    const std::string geometry = readFile(dir.root() / shell::kGeometryFile);
    EXPECT_EQ(geometry.substr(0, 17), "MX40D Ver:1.03.5 ");
    EXPECT_NE(geometry.find("\n60 50 640 480 \n"), std::string::npos) << geometry;
    MachineRegistry r;
    ASSERT_EQ(r.open(db / MachineHub::kRegistryFileName), DatabaseResult::Pass);
    EXPECT_EQ(r.record(0).machineId(), "DUP-1");
    EXPECT_EQ(r.record(1).machineId(), "ERA-1");
    EXPECT_EQ(r.record(1).lastStoredLogNo(), 8);
}

// A message box inside a step turns the event loop: the timers fire there, but a handler
// already running returns at once, and the step that showed the box goes on after it.
TEST_F(MainWindow, AMessageBoxInsideAStepNeitherReentersNorLosesTheStep) {
    std::filesystem::create_directories(dir.root() / shell::kDatabaseFolder / "M-1.MX40D.LOGDATA");
    sim::SimMachineConfig bad = simMachine("M-1");
    sim::SimMachineConfig good = simMachine("M-2");
    backend.addMachine("sim:1", bad);
    sim::SimMachine& other = backend.addMachine("sim:2", good, sim::kProductEraser);
    std::unique_ptr<TForm_MX40D> w = open();
    std::uint64_t otherCommandsDuringBox = 0;
    bool reentered = false;
    notice.onBox = [&] {
        const std::uint64_t before = other.counters().commands;
        for (int i = 0; i < 50; ++i) {  // the box is up for half a second
            clock.advance(10);
            w->Timer1Timer();
            w->Timer2Timer();  // returns at once: its handler is on the stack
            w->Timer3Timer();
        }
        reentered = other.counters().commands != before;
        otherCommandsDuringBox = other.counters().commands - before;
    };
    run(*w, 6000);
    ASSERT_EQ(notice.boxes.size(), 1u);
    EXPECT_EQ(notice.boxes[0].first, "DATABASE");
    EXPECT_FALSE(reentered) << otherCommandsDuringBox;
    // The step went on: the panel of M-1 was built and its clock set after the box.
    MachineController& c = w->core().hub().controller(0);
    EXPECT_TRUE(c.panelBuilt());
    EXPECT_EQ(c.machineInfo().machineId(), "M-1");
    EXPECT_EQ(c.engine().phase(), MachineProtocol::kPolling);
    EXPECT_FALSE(c.engine().pending(MachineProtocol::Request::Clock));
}

// A machine that vanishes mid-identification or mid-job leaves no tab and no row "ON Line".
TEST_F(MainWindow, AMachineThatVanishesLeavesTheWindowConsistent) {
    auto w = open();
    w->show();
    run(*w, 1000);
    sim::SimMachineConfig slow = simMachine("S-1");
    slow.answerLatencyUs = 4000000;  // answers "A" only after four seconds
    backend.addMachine("sim:slow", slow);
    bool pulled = false;
    const auto pump = notice.onPump;
    notice.onPump = [&] {
        pump();
        if (!pulled && clock.nowMs() > 3000) {
            pulled = true;
            backend.unplug("sim:slow");  // gone while its identification waits
        }
    };
    run(*w, 12000);
    EXPECT_TRUE(pulled);
    EXPECT_EQ(w->pageControl()->count(), 0);
    EXPECT_EQ(w->core().hub().openSlotCount(), 0);

    notice.onPump = pump;
    sim::SimMachine& m = backend.addMachine("sim:job", simMachine("J-1"));
    run(*w, 5000);
    ASSERT_EQ(w->pageControl()->count(), 1);
    ASSERT_TRUE(m.startJob(kJobCopy));
    run(*w, 3000);
    backend.unplug("sim:job");
    run(*w, 100);
    EXPECT_EQ(w->pageControl()->count(), 0);
    auto* grid = w->findChild<QTableWidget*>("StringGrid_main");
    EXPECT_EQ(grid->item(0, 3)->text(), QStringLiteral("OFF Line"));
}

// Through the real window on the simulator: "Copy" starts a copy whose rows go through their
// states with progress and speed, and the test report lands in the file chosen in the
// settings dialog; a 7-pass erase started at the machine's front panel shows its third pass;
// STOP ends a job.
TEST_F(MainWindow, JobsThroughThePanel) {
    sim::SimMachineConfig dup = simMachine("DUP-1");
    dup.ports = 4;
    dup.driveSectors = 4000000;                       // ten seconds of copying
    sim::SimMachineConfig era = simMachine("DUP-2");  // a duplicator erasing: its grid shows
    era.ports = 2;
    era.driveSectors = 2000000;
    sim::SimMachine& d = backend.addMachine("sim:dup", dup);
    sim::SimMachine& e = backend.addMachine("sim:dup2", era);
    auto w = open();
    w->show();
    run(*w, 5000);
    ASSERT_EQ(w->pageControl()->count(), 2);
    auto* dupPanel = w->pageControl()->widget(0)->findChild<ui::MachinePanel*>();
    auto* eraPanel = w->pageControl()->widget(1)->findChild<ui::MachinePanel*>();
    ASSERT_NE(dupPanel, nullptr);
    ASSERT_NE(eraPanel, nullptr);

    // The test report's file, chosen in the settings dialog.
    const auto report = dir.root() / "copy-report.xml";
    const auto realExec = ui::DialogSeams::exec();
    const auto realSaveFile = ui::DialogSeams::saveFile();
    ui::DialogSeams::saveFile() = [&](QWidget*, const ui::SaveFileRequest&) {
        return QString::fromStdString(report.string());
    };
    ui::DialogSeams::exec() = [](QDialog* dlg) {
        QTest::mouseClick(dlg->findChild<QPushButton*>("Button_selectOutputDirectory"),
                          Qt::LeftButton);
        return 0;
    };
    QTest::mouseClick(dupPanel->findChild<QPushButton*>("Setting"), Qt::LeftButton);
    ui::DialogSeams::exec() = realExec;
    ui::DialogSeams::saveFile() = realSaveFile;
    ASSERT_EQ(dupPanel->outputFile(), report.string());

    QTest::mouseClick(dupPanel->findChild<QPushButton*>("Copy"), Qt::LeftButton);
    std::set<std::string> states;
    bool sawProgress = false;
    bool sawSpeed = false;
    for (int i = 0; i < 300 && !std::filesystem::exists(report); ++i) {
        run(*w, 100);
        const PortTable& t = dupPanel->ports();
        states.insert(t.cell(PortTable::kStatus, 2));
        sawProgress =
            sawProgress || t.cell(PortTable::kProgress, 2).find("%(") != std::string::npos;
        sawSpeed = sawSpeed || !t.cell(PortTable::kSpeed, 2).empty();
    }
    EXPECT_TRUE(states.count("WRITE")) << states.size();
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(sawSpeed);
    ASSERT_TRUE(std::filesystem::exists(report));
    const std::string xml = readFile(report);
    EXPECT_NE(xml.find("<PortNo>4</PortNo>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<Model>SIMDISK HD500G</Model>"), std::string::npos);

    // A 7-pass erase from the eraser's front panel: its third pass writes 00.
    ASSERT_TRUE(e.startJob(kJobErase7Pass));
    bool third = false;
    for (int i = 0; i < 600 && !third; ++i) {
        run(*w, 100);
        third = eraPanel->ports().cell(PortTable::kStatus, 1) == "Loop3,Data(00)";
    }
    EXPECT_TRUE(third);
    // STOP pressed mid-job ends it.
    w->pageControl()->setCurrentIndex(1);
    EXPECT_TRUE(eraPanel->findChild<QWidget*>("portGrid")->isVisible());
    ASSERT_TRUE(eraPanel->findChild<QPushButton*>("STOP")->isVisible());
    QTest::mouseClick(eraPanel->findChild<QPushButton*>("STOP"), Qt::LeftButton);
    run(*w, 2000);
    EXPECT_EQ(e.stage(), kStageEnd);
    (void)d;
}
