#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "shell/HeadlessWindow.h"
#include "shell/MachineHub.h"
#include "sim/SimHidBackend.h"

namespace mx40d::testing {

// Simulated machines behind the headless window loop of the shell.
struct SimMachinesOnFakeClock {
    FakeClock clock;
    sim::SimHidBackend backend{clock};
};

class SimScreen : private SimMachinesOnFakeClock, public HeadlessWindow {
  public:
    SimScreen() : HeadlessWindow(clock, backend.hotplug()) {}
    using SimMachinesOnFakeClock::backend;
    using SimMachinesOnFakeClock::clock;
    void startUp() { ASSERT_TRUE(HeadlessWindow::startUp()); }
};

inline sim::SimMachineConfig simMachine(const std::string& id, std::uint8_t kind = '3') {
    sim::SimMachineConfig c;
    c.kind = kind;
    c.machineId = id;
    c.nickname = "Bay " + id;
    return c;
}

}  // namespace mx40d::testing
