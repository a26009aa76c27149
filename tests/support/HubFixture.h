#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "hid/HidTransport.h"
#include "protocol/MachineInfo.h"
#include "shell/MachineHub.h"
#include "support/Fixtures.h"

namespace mx40d::testing {

// A machine information record as a machine of kind '3' or '5' answers it.
inline MachineInfo machine(const std::string& id, const std::string& model = "MX-4000",
                           std::uint8_t kind = '3') {
    MachineInfo m;
    m.setDeviceType(kind);
    m.setMachineId(id);
    m.setModelName(model);
    m.setVersion("v1.2.3");
    m.setMaxDeviceQty(16);
    return m;
}

// A hub with its database and debug folders in a fresh folder, around a screen that is the
// hub's UserNotice and owns its clock and HID backend.
template <class Screen>
class HubFixture : public ::testing::Test {
  protected:
    HubFixture() {
        std::filesystem::create_directories(dir.root() / "DATABASE");
        std::filesystem::create_directories(dir.root() / "DEBUG_SESSION");
    }
    std::string slotPath(int slot) {
        HidTransport* link = hub.slotLink(slot);
        return link != nullptr ? link->devicePath() : "";
    }
    int activeControllers() {
        int n = 0;
        for (int i = 0; i < MachineHub::kControllerCount; ++i)
            n += hub.controller(i).active() ? 1 : 0;
        return n;
    }

    TempFolder dir;
    Screen screen;
    MachineHub hub{screen.clock, screen, screen.backend, dir.root() / "DATABASE",
                   dir.root() / "DEBUG_SESSION"};
};

}  // namespace mx40d::testing
