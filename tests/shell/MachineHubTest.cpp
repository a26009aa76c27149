#include "shell/MachineHub.h"

#include <gtest/gtest.h>

#include "support/FakeMachines.h"
#include "support/HubFixture.h"

namespace mx40d {
namespace {

using testing::FakeScreen;
using testing::identifyAnswer;
using testing::machine;
using testing::readBytes;
using testing::TempFolder;

class MachineHubTest : public testing::HubFixture<FakeScreen> {
  protected:
    void unplug(const std::string& path, const std::string& reported = "") {
        screen.backend.remove(path);
        hub.onHotplug({HotplugEvent::Kind::Removal, reported.empty() ? path : reported});
    }
    void arrive(const std::string& path) { hub.onHotplug({HotplugEvent::Kind::Arrival, path}); }
};

TEST_F(MachineHubTest, ScanTakesTheFirstProductFirst) {
    auto& second = screen.plug("/dev/hidraw0", 0x2002);
    auto& first = screen.plug("/dev/hidraw1", 0x2001);
    ASSERT_TRUE(hub.loadRegistry());
    hub.registerAndScan();
    EXPECT_EQ(slotPath(0), "/dev/hidraw1");
    EXPECT_EQ(slotPath(1), "/dev/hidraw0");
    EXPECT_EQ(hub.hidSlotCount(), 2);
    EXPECT_EQ(hub.openSlotCount(), 2);
    for (int slot : {0, 1}) {
        EXPECT_TRUE(hub.slotActive(slot));
        EXPECT_TRUE(hub.controller(slot).active());
        EXPECT_EQ(hub.controller(slot).usbSlot(), slot);
    }
    // The raw 'R' report goes out, unanswered, before the identification command.
    for (const auto* m : {&first, &second}) {
        ASSERT_GE(m->ep->written.size(), 2u);
        EXPECT_EQ(m->ep->written[0][1], 'R');
        EXPECT_EQ(m->ep->written[1][1], 'C');
        EXPECT_EQ(m->identifyCommands, 1);
    }
}

TEST_F(MachineHubTest, EmptiedSlotIsReusedAndTheHighWaterMarkStays) {
    auto& gone = screen.plug("\\\\?\\hid#vid_2509&pid_2001#7&a1", 0x2001);
    screen.plug("\\\\?\\hid#vid_2509&pid_2002#7&b2", 0x2002);
    hub.registerAndScan();
    ASSERT_EQ(hub.hidSlotCount(), 2);

    unplug("\\\\?\\hid#vid_2509&pid_2001#7&zz");  // no such link
    EXPECT_EQ(hub.openSlotCount(), 2);
    unplug("\\\\?\\hid#vid_2509&pid_2001#7&a1", "\\\\?\\HID#VID_2509&PID_2001#7&A1");
    EXPECT_EQ(hub.slotLink(0), nullptr);
    EXPECT_FALSE(hub.slotActive(0));
    EXPECT_FALSE(hub.controller(0).active());
    EXPECT_TRUE(hub.controller(1).active());
    EXPECT_EQ(gone.ep->liveHandles, 0);
    EXPECT_EQ(hub.openSlotCount(), 1);

    screen.plug("/dev/hidraw7", 0x2002);
    arrive("/dev/hidraw7");
    EXPECT_EQ(slotPath(0), "/dev/hidraw7");
    EXPECT_TRUE(hub.slotActive(0));
    EXPECT_EQ(hub.controller(0).usbSlot(), 0);
    EXPECT_EQ(hub.hidSlotCount(), 2);
    EXPECT_EQ(hub.openSlotCount(), 2);

    arrive("/dev/HIDRAW7");  // the same interface again: already served
    EXPECT_EQ(hub.openSlotCount(), 2);
}

TEST_F(MachineHubTest, ForeignDevicesAreOpenedRejectedAndReleased) {
    auto& foreign = screen.backend.add("/dev/hidraw3", 0x2509, 0x2003);
    auto& other = screen.backend.add("/dev/hidraw4", 0x1234, 0x2001);
    arrive("/dev/hidraw3");
    arrive("/dev/hidraw4");
    arrive("/dev/hidraw9");  // vanished before it could be opened
    for (const auto* ep : {&foreign, &other}) {
        EXPECT_GT(ep->opens, 0);
        EXPECT_EQ(ep->liveHandles, 0);
        EXPECT_TRUE(ep->written.empty());
    }
    EXPECT_EQ(hub.slotLink(0), nullptr);
    EXPECT_EQ(hub.hidSlotCount(), 0);
    EXPECT_EQ(hub.openSlotCount(), 0);
}

TEST_F(MachineHubTest, OverLongInterfaceNamesAreCut) {
    // Longer than a link keeps (255) but within what a notification carries (400).
    const std::string longPath = "/dev/" + std::string(300, 'x');
    auto& m = screen.plug(longPath, 0x2001);
    arrive(longPath);
    EXPECT_EQ(slotPath(0), longPath.substr(0, 255));
    EXPECT_TRUE(hub.slotActive(0));
    unplug(longPath);
    EXPECT_EQ(hub.slotLink(0), nullptr);
    EXPECT_EQ(m.ep->liveHandles, 0);

    // Far too long: cut to 400 characters, matching nothing.
    const std::string huge = "/dev/" + std::string(100000, 'y');
    screen.plug(huge.substr(0, 400), 0x2001);
    arrive(huge);
    EXPECT_EQ(slotPath(0), huge.substr(0, 255));
    hub.onHotplug({HotplugEvent::Kind::Removal, huge});
    EXPECT_EQ(hub.slotLink(0), nullptr);
}

TEST_F(MachineHubTest, IdentificationBindsServedKindsOnly) {
    struct Case {
        std::uint8_t kind;
        bool bound;
    } cases[] = {{'3', true}, {'5', true}, {'4', false}, {'1', false}};
    int slot = 0;
    int bound = 0;
    for (const Case& c : cases) {
        const std::string path = "/dev/hidraw" + std::to_string(slot);
        screen.plug(path, 0x2001, identifyAnswer(c.kind));
        arrive(path);
        EXPECT_EQ(slotPath(slot), path);  // the link stays open either way
        EXPECT_EQ(hub.slotActive(slot), c.bound) << c.kind;
        if (c.bound) {
            EXPECT_EQ(hub.controller(bound).usbSlot(), slot);
            ++bound;
        }
        EXPECT_EQ(activeControllers(), bound) << c.kind;
        ++slot;
    }
}

TEST_F(MachineHubTest, SilentMachineBlocksForTenSecondsThenStaysUnused) {
    screen.plug("/dev/hidraw0", 0x2001, {});
    arrive("/dev/hidraw0");
    EXPECT_EQ(screen.clock.nowMs(), 10010);
    EXPECT_FALSE(hub.slotActive(0));
    EXPECT_NE(hub.slotLink(0), nullptr);
    EXPECT_EQ(activeControllers(), 0);
    EXPECT_EQ(hub.openSlotCount(), 1);
}

TEST_F(MachineHubTest, TheEleventhMachineIsIgnored) {
    for (int i = 0; i < 11; ++i) {
        screen.plug("/dev/hidraw" + std::to_string(i), 0x2001);
        arrive("/dev/hidraw" + std::to_string(i));
    }
    EXPECT_EQ(hub.openSlotCount(), 10);
    EXPECT_EQ(hub.hidSlotCount(), 10);
    EXPECT_EQ(activeControllers(), 10);
    EXPECT_EQ(screen.machines[10]->ep->opens, 0);

    hub.closeAllSlots();
    for (auto& m : screen.machines)
        EXPECT_EQ(m->ep->liveHandles, 0);
}

TEST_F(MachineHubTest, UnpluggingDuringItsOwnIdentificationFreesTheSlot) {
    auto& m = screen.plug("/dev/hidraw0", 0x2001, {});
    screen.onPump = [&] {
        if (screen.pumps == 5) unplug("/dev/hidraw0");
    };
    arrive("/dev/hidraw0");
    screen.onPump = nullptr;
    EXPECT_EQ(screen.pumps, 5);  // the wait ended at once
    EXPECT_EQ(hub.slotLink(0), nullptr);
    EXPECT_EQ(m.ep->liveHandles, 0);
    EXPECT_EQ(hub.openSlotCount(), 0);
    EXPECT_EQ(activeControllers(), 0);

    screen.plug("/dev/hidraw1", 0x2001);
    arrive("/dev/hidraw1");
    EXPECT_EQ(slotPath(0), "/dev/hidraw1");
    EXPECT_EQ(hub.controller(0).usbSlot(), 0);
}

TEST_F(MachineHubTest, AnArrivalDuringAnIdentificationTakesTheNextSlotAndController) {
    screen.plug("/dev/hidraw0", 0x2001, {});
    screen.onPump = [&] {
        if (screen.pumps == 3) {
            screen.plug("/dev/hidraw1", 0x2002);
            arrive("/dev/hidraw1");
        }
    };
    arrive("/dev/hidraw0");
    screen.onPump = nullptr;
    EXPECT_EQ(slotPath(0), "/dev/hidraw0");
    EXPECT_FALSE(hub.slotActive(0));
    EXPECT_EQ(slotPath(1), "/dev/hidraw1");
    EXPECT_TRUE(hub.slotActive(1));
    EXPECT_FALSE(hub.controller(0).active());
    EXPECT_TRUE(hub.controller(1).active());
    EXPECT_EQ(hub.controller(1).usbSlot(), 1);
    EXPECT_EQ(hub.hidSlotCount(), 2);
    EXPECT_EQ(hub.openSlotCount(), 2);
}

TEST_F(MachineHubTest, NothingIsBoundOnceTheWindowCloses) {
    ASSERT_TRUE(hub.loadRegistry());
    screen.plug("/dev/hidraw0", 0x2001);
    screen.onPump = [&] {
        if (screen.pumps == 1) hub.close();  // the answer is on its way
    };
    arrive("/dev/hidraw0");
    screen.onPump = nullptr;
    EXPECT_EQ(screen.machines[0]->identifyCommands, 1);
    EXPECT_EQ(activeControllers(), 0);
    EXPECT_FALSE(hub.slotActive(0));
    screen.plug("/dev/hidraw1", 0x2001);
    arrive("/dev/hidraw1");
    EXPECT_EQ(hub.slotLink(1), nullptr);
}

// ---- registry and machine table ----

class MachineTableEvents : public MachineHubTest {
  protected:
    std::filesystem::path registryFile() { return dir.root() / "DATABASE" / "ORVANE_MX40D.DB7"; }
    void seedRegistry(int machines) {
        MachineRegistry reg;
        ASSERT_EQ(reg.create(registryFile()), DatabaseResult::Pass);
        for (int i = 0; i < machines; ++i) {
            MachineInfo m = machine("SN" + std::to_string(i), "Model" + std::to_string(i));
            int index = 0;
            ASSERT_TRUE(reg.add(m, index));
        }
    }
    // Controller `c` received machine information.
    void online(int c, const MachineInfo& info) {
        hub.controller(c).machineInfo() = info;
        hub.onMachineEvent(c, 1, 4, &hub.controller(c).machineInfo());
    }
    const std::string& cell(int column, int gridRow) { return hub.table().cell(column, gridRow); }
};

TEST_F(MachineTableEvents, LoadingFillsOneRowPerRecord) {
    seedRegistry(3);
    ASSERT_TRUE(hub.loadRegistry());
    EXPECT_EQ(hub.table().rowCount(), 3);
    EXPECT_EQ(cell(1, 0), "Machine");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(cell(1, i + 1), "Model" + std::to_string(i));
        EXPECT_EQ(cell(3, i + 1), "OFF Line");
        EXPECT_EQ(hub.controller(i).machineInfo().machineId(), "SN" + std::to_string(i));
    }
}

TEST_F(MachineTableEvents, RegistryOpenFailuresStopTheStart) {
    ASSERT_TRUE(hub.loadRegistry());  // missing: created silently
    EXPECT_EQ(readBytes(registryFile()).size(), 32760u);
    EXPECT_TRUE(screen.messages.empty());

    auto bytes = readBytes(registryFile());
    bytes[110] = '3';
    testing::writeBytes(registryFile(), bytes);
    MachineHub second{screen.clock, screen, screen.backend, dir.root() / "DATABASE",
                      dir.root() / "DEBUG_SESSION"};
    EXPECT_FALSE(second.loadRegistry());
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0].first, "Message");
    EXPECT_EQ(screen.messages[0].second, "DATABASE_WRONG_VERSION");
    second.close();
    EXPECT_EQ(readBytes(registryFile()), bytes);  // left as it was
}

TEST_F(MachineTableEvents, KnownMachinesGetTheirRowNewOnesTheNextRecord) {
    seedRegistry(2);
    ASSERT_TRUE(hub.loadRegistry());
    const auto fileBefore = readBytes(registryFile());

    MachineInfo known = machine("SN1", "Model1");
    known.setNickName("Bay 2");
    known.setMaxDeviceQty(40);
    online(5, known);
    EXPECT_EQ(hub.controller(5).tableRow(), 1);
    EXPECT_EQ(hub.table().rowCount(), 2);
    EXPECT_EQ(cell(3, 2), "ON Line");
    EXPECT_EQ(cell(2, 2), "40");
    EXPECT_EQ(hub.registry().record(1).nickName(), "Bay 2");
    EXPECT_EQ(readBytes(registryFile()), fileBefore);  // reaches the file at close

    MachineInfo fresh = machine("SN-NEW", "Fresh");
    fresh.setLastStoredLogNo(33);
    online(6, fresh);
    EXPECT_EQ(hub.controller(6).tableRow(), 2);
    EXPECT_EQ(hub.table().rowCount(), 3);
    EXPECT_EQ(cell(0, 3), "  3");
    EXPECT_EQ(cell(1, 3), "Fresh");
    EXPECT_EQ(cell(3, 3), "ON Line");
    EXPECT_EQ(hub.controller(6).machineInfo().lastStoredLogNo(), 0);
    MachineRegistry onDisk;
    ASSERT_EQ(onDisk.open(registryFile()), DatabaseResult::Pass);  // saved at once
    EXPECT_EQ(onDisk.record(2).machineId(), "SN-NEW");
    EXPECT_EQ(onDisk.record(1).nickName(), "Bay 2");  // the add wrote the update too
}

TEST_F(MachineTableEvents, TheTwentyFirstMachineCannotBeAdded) {
    seedRegistry(20);
    ASSERT_TRUE(hub.loadRegistry());
    const auto fileBefore = readBytes(registryFile());
    online(0, machine("SN-21"));
    ASSERT_EQ(screen.messages.size(), 1u);
    EXPECT_EQ(screen.messages[0],
              (std::pair<std::string, std::string>{"Message", "Can't add machine !"}));
    EXPECT_EQ(hub.controller(0).tableRow(), -1);
    EXPECT_EQ(hub.table().rowCount(), 20);
    for (int r = 1; r <= 20; ++r)
        EXPECT_EQ(cell(3, r), "OFF Line");
    EXPECT_FALSE(hub.registry().changed());
    EXPECT_EQ(readBytes(registryFile()), fileBefore);
}

TEST_F(MachineTableEvents, OtherKindsOffLineAndLogCounts) {
    ASSERT_TRUE(hub.loadRegistry());
    online(0, machine("SN-X", "X", '4'));
    EXPECT_EQ(hub.table().rowCount(), 0);
    EXPECT_EQ(hub.controller(0).tableRow(), -1);
    hub.onMachineEvent(0, 31, 1632, &hub.controller(0).machineInfo());  // no row: nothing
    hub.onMachineEvent(0, 3, 0, nullptr);

    MachineInfo m = machine("SN-L");
    m.set_support_LogRecord(1);
    online(0, m);
    MachineInfo& info = hub.controller(0).machineInfo();
    info.setLastStoredLogNo(9);
    info.set_Machine_LOG_startNo(5);
    info.set_Machine_LOG_nextNewNo(15);
    hub.onMachineEvent(0, 31, 1632, &info);
    EXPECT_EQ(cell(4, 1), "10/20");
    hub.onMachineEvent(0, 7, 0, nullptr);  // not a table event
    hub.onMachineEvent(25, 1, 0, nullptr);
    hub.onMachineEvent(0, 3, 0, nullptr);
    EXPECT_EQ(cell(3, 1), "OFF Line");
    EXPECT_EQ(hub.controller(0).tableRow(), -1);
}

TEST_F(MachineTableEvents, ClickOpensTheConnectedMachineOfTheRow) {
    ASSERT_TRUE(hub.loadRegistry());
    screen.plug("/dev/hidraw0", 0x2001);
    hub.registerAndScan();
    ASSERT_TRUE(hub.controller(0).active());
    MachineInfo m = machine("SN-C", "Model C");
    m.setNickName("Bench");
    online(0, m);
    online(1, machine("SN-D", "Model D"));  // has a row, but its controller is not connected

    struct Case {
        int column, row, controller;
        const char* caption;
    } cases[] = {{1, 0, -1, ""}, {2, 1, 0, "Bench(v1.2.3)"}, {1, 2, -1, ""}, {0, 9, -1, ""}};
    int clicks = 0;
    for (const Case& c : cases) {
        const auto r = hub.onTableClick(c.column, c.row);
        ++clicks;
        EXPECT_EQ(r.controllerIndex, c.controller) << c.row;
        EXPECT_EQ(r.caption, c.caption) << c.row;
        EXPECT_EQ(hub.clickText(), "[" + std::to_string(clicks) + "],Col=" +
                                       std::to_string(c.column) + ", Row=" + std::to_string(c.row));
    }
}

TEST_F(MachineTableEvents, ClosingStoresConnectedMachinesAndSaves) {
    ASSERT_TRUE(hub.loadRegistry());
    screen.plug("/dev/hidraw0", 0x2001);
    hub.registerAndScan();
    online(0, machine("SN-Z"));
    hub.controller(0).machineInfo().setNickName("Renamed");
    hub.close();
    EXPECT_FALSE(hub.controller(0).active());
    EXPECT_EQ(cell(3, 1), "OFF Line");
    MachineRegistry onDisk;
    ASSERT_EQ(onDisk.open(registryFile()), DatabaseResult::Pass);
    EXPECT_EQ(onDisk.record(0).nickName(), "Renamed");
    EXPECT_TRUE(onDisk.inUse(0));
}

}  // namespace
}  // namespace mx40d
