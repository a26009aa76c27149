#include <gtest/gtest.h>

#include "shell/MachineHub.h"
#include "support/HubFixture.h"
#include "support/SimScreen.h"

namespace mx40d {
namespace {

using testing::simMachine;
using testing::SimScreen;
using testing::TempFolder;

class ShellScenario : public testing::HubFixture<SimScreen> {
  protected:
    ShellScenario() { screen.hub = &hub; }
};

TEST_F(ShellScenario, MachinesComeAndGo) {
    screen.backend.addMachine("sim:eraser", simMachine("E-1", '5'));  // product 0x2002
    screen.backend.addMachine("sim:dup", simMachine("D-1"));          // product 0x2001
    screen.startUp();
    EXPECT_EQ(slotPath(0), "sim:dup");
    EXPECT_EQ(slotPath(1), "sim:eraser");
    screen.run(3000);
    ASSERT_EQ(hub.table().rowCount(), 2);
    EXPECT_EQ(hub.table().cell(1, 1), "Bay D-1");
    EXPECT_EQ(hub.table().cell(3, 1), "ON Line");
    EXPECT_EQ(hub.table().cell(3, 2), "ON Line");
    EXPECT_EQ(hub.table().cell(2, 1), "8");

    // Slot 0 empties and is taken again by the next machine; the high-water mark stays.
    screen.backend.unplug("sim:dup");
    screen.run(100);
    EXPECT_EQ(hub.slotLink(0), nullptr);
    EXPECT_EQ(hub.table().cell(3, 1), "OFF Line");
    EXPECT_FALSE(hub.controller(0).active());
    screen.backend.addMachine("sim:other", simMachine("D-2"));
    screen.run(3000);
    EXPECT_EQ(slotPath(0), "sim:other");
    EXPECT_EQ(hub.hidSlotCount(), 2);
    EXPECT_EQ(hub.table().rowCount(), 3);
    EXPECT_EQ(hub.table().cell(3, 3), "ON Line");
    EXPECT_EQ(hub.controller(0).tableRow(), 2);

    // The machine seen before gets its old row back.
    screen.backend.unplug("sim:other");
    screen.backend.plug("sim:dup");
    screen.run(3000);
    EXPECT_EQ(slotPath(0), "sim:dup");
    EXPECT_EQ(hub.table().rowCount(), 3);
    EXPECT_EQ(hub.table().cell(3, 1), "ON Line");
    EXPECT_EQ(hub.table().cell(3, 3), "OFF Line");

    // A removal named in other letters matches.
    hub.onHotplug({HotplugEvent::Kind::Removal, "SIM:ERASER"});
    EXPECT_EQ(hub.slotLink(1), nullptr);
    EXPECT_EQ(hub.openSlotCount(), 1);

    // A foreign device is opened, rejected and released.
    const int handles = screen.backend.liveHandles();
    screen.backend.addForeign("sim:foreign", 0x2509, 0x2003);
    screen.run(100);
    EXPECT_EQ(screen.backend.liveHandles(), handles);
    EXPECT_EQ(hub.openSlotCount(), 1);

    hub.close();
    hub.closeAllSlots();
    EXPECT_EQ(screen.backend.liveHandles(), 0);
    MachineRegistry onDisk;
    ASSERT_EQ(onDisk.open(hub.registryPath()), DatabaseResult::Pass);
    EXPECT_EQ(onDisk.record(0).machineId(), "D-1");
    EXPECT_EQ(onDisk.record(1).machineId(), "E-1");
    EXPECT_EQ(onDisk.record(2).machineId(), "D-2");
    EXPECT_FALSE(onDisk.inUse(3));
}

TEST_F(ShellScenario, IdentificationFaults) {
    ASSERT_TRUE(hub.loadRegistry());
    struct Case {
        const char* name;
        sim::FaultKind fault;
        std::uint64_t commands;  // identification commands the machine took
        std::int64_t minMs, maxMs;
    } cases[] = {
        {"corrupt answer: one re-send", sim::FaultKind::CorruptCheck, 2, 0, 100},
        {"wrong header: one re-send", sim::FaultKind::WrongHeader, 2, 0, 100},
        {"silent: the whole wait", sim::FaultKind::NoAnswer, 1, 10000, 10020},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = "sim:" + std::to_string(n++);
        sim::SimMachine& m = screen.backend.addMachine(path, simMachine(path));
        m.injectFault('A', c.fault);
        // The machine announces itself; handling the arrival identifies it.
        const std::int64_t start = screen.clock.nowMs();
        hub.pollHotplug(screen.backend.hotplug());
        const std::int64_t took = screen.clock.nowMs() - start;
        EXPECT_GE(took, c.minMs) << c.name;
        EXPECT_LE(took, c.maxMs) << c.name;
        EXPECT_EQ(m.counters().commands, c.commands) << c.name;
        EXPECT_EQ(activeControllers(), 0) << c.name;
        EXPECT_EQ(slotPath(n - 1), path) << c.name;  // open, unused
        EXPECT_FALSE(hub.slotActive(n - 1)) << c.name;
    }
}

TEST_F(ShellScenario, UnpluggedDuringItsOwnIdentification) {
    ASSERT_TRUE(hub.loadRegistry());
    sim::SimMachine& m = screen.backend.addMachine("sim:gone", simMachine("G-1"));
    m.injectFault('A', sim::FaultKind::UnplugMidCommand);
    const std::int64_t start = screen.clock.nowMs();
    hub.pollHotplug(screen.backend.hotplug());
    EXPECT_LT(screen.clock.nowMs() - start, 100);
    EXPECT_EQ(hub.slotLink(0), nullptr);
    EXPECT_EQ(hub.openSlotCount(), 0);
    EXPECT_EQ(activeControllers(), 0);
    EXPECT_EQ(screen.backend.liveHandles(), 0);

    screen.backend.plug("sim:gone");
    screen.run(3000);
    EXPECT_EQ(slotPath(0), "sim:gone");
    EXPECT_TRUE(hub.controller(0).active());
    EXPECT_EQ(hub.table().cell(3, 1), "ON Line");
}

// A message box shown from inside a controller's step keeps the event loop running; a removal
// of that controller's machine handled there waits until the step is over.
TEST_F(ShellScenario, RemovalDuringAStepWaitsForTheStepToEnd) {
    std::filesystem::create_directories(dir.root() / "DATABASE" / "R-1.MX40D.LOGDATA");
    screen.backend.addMachine("sim:r", simMachine("R-1"));
    bool stillThere = false;
    screen.onMessage = [&] {
        screen.backend.unplug("sim:r");
        hub.pollHotplug(screen.backend.hotplug());
        stillThere = hub.slotLink(0) != nullptr && hub.controller(0).active();
    };
    screen.startUp();
    screen.run(3000);
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].first, "DATABASE");
    EXPECT_TRUE(stillThere);
    EXPECT_EQ(hub.slotLink(0), nullptr);
    EXPECT_FALSE(hub.controller(0).active());
    EXPECT_EQ(hub.table().cell(3, 1), "OFF Line");
    EXPECT_EQ(hub.openSlotCount(), 0);
    EXPECT_EQ(screen.backend.liveHandles(), 0);
}

// The same machine pulled out and plugged in again while a box is up inside its step: the
// removal waits for the step, and the arrival waits behind the removal, so the machine is
// served again (its panel built anew) instead of being left unserved.
TEST_F(ShellScenario, AQuickReplugWhileAStepShowsABoxIsServed) {
    std::filesystem::create_directories(dir.root() / "DATABASE" / "R-1.MX40D.LOGDATA");
    screen.backend.addMachine("sim:r", simMachine("R-1"));
    int boxes = 0;
    screen.onMessage = [&] {
        if (++boxes > 1) return;
        screen.backend.unplug("sim:r");
        screen.backend.plug("sim:r");
        for (int i = 0; i < 5; ++i)
            screen.processPendingEvents();
    };
    screen.startUp();
    screen.run(6000);
    EXPECT_EQ(boxes, 2);  // one "DATABASE" box for each connection
    ASSERT_NE(hub.slotLink(0), nullptr);
    EXPECT_TRUE(hub.slotActive(0));
    EXPECT_TRUE(hub.controller(0).active());
    EXPECT_TRUE(hub.controller(0).panelBuilt());
    EXPECT_EQ(hub.controller(0).engine().phase(), MachineProtocol::kPolling);
    EXPECT_EQ(hub.table().cell(3, 1), "ON Line");
    EXPECT_EQ(screen.backend.liveHandles(), 1);
}

// The machine is removed while the main window's "Can't add machine !" box is up inside its
// event 1: the controller builds nothing for it, and its next connection is whole.
TEST_F(ShellScenario, RemovedWhileItsEventOneShowsABox) {
    screen.startUp();
    MachineInfo other = testing::machine("X");
    for (int i = 0; i < MachineRegistry::kRecordCount; ++i) {
        int index = -1;
        other.setMachineId("FULL-" + std::to_string(i));
        ASSERT_TRUE(hub.registry().add(other, index));
    }
    screen.backend.addMachine("sim:f", simMachine("F-1"));
    MachineController& c = hub.controller(0);
    bool panelAfterBox = true;
    screen.onMessage = [&] {
        // A removal handled while the box is up (as a window that serves hot-plug at once
        // would), straight on the controller.
        c.disconnect();
        panelAfterBox = false;
    };
    screen.run(4000);
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].second, "Can't add machine !");
    EXPECT_FALSE(c.active());
    EXPECT_FALSE(c.panelBuilt());
    EXPECT_FALSE(panelAfterBox);
    // The next connection of this controller gets its panel.
    screen.onMessage = nullptr;
    screen.backend.unplug("sim:f");
    screen.run(100);
    screen.backend.plug("sim:f");
    screen.run(4000);
    EXPECT_TRUE(c.active());
    EXPECT_TRUE(c.panelBuilt());
}

TEST_F(ShellScenario, TheEleventhMachineIsIgnored) {
    screen.startUp();
    for (int i = 0; i < 11; ++i)
        screen.backend.addMachine("sim:" + std::to_string(i), simMachine(std::to_string(i)));
    screen.run(5000);
    EXPECT_EQ(hub.openSlotCount(), 10);
    EXPECT_EQ(activeControllers(), 10);
    EXPECT_EQ(hub.table().rowCount(), 10);
    EXPECT_EQ(screen.backend.machine("sim:10")->counters().commands, 0u);
    EXPECT_EQ(screen.backend.liveHandles(), 10);
}

}  // namespace
}  // namespace mx40d
