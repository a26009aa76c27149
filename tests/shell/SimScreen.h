#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "shell/MachineHub.h"
#include "sim/SimHidBackend.h"

namespace mx40d::testing {

// The main window's loop around a hub of simulated machines: every turn of the event loop
// moves the fake clock by 10 ms and runs what the window's timers and hot-plug watch would
// (receive pump, protocol step, waiting hot-plug events).
class SimScreen : public UserNotice {
  public:
    static constexpr std::int64_t kTickMs = 10;

    FakeClock clock;
    sim::SimHidBackend backend{clock};
    MachineHub* hub = nullptr;
    std::vector<std::pair<std::string, std::string>> messages;
    std::function<void()> onPump;
    // Runs while a message box is up: the window's loop goes on behind it.
    std::function<void()> onMessage;
    long pumps = 0;

    void showMessage(const std::string& caption, const std::string& text) override {
        messages.emplace_back(caption, text);
        if (onMessage) onMessage();
    }
    void processPendingEvents() override { tick(); }

    void tick() {
        clock.advance(kTickMs);
        ++pumps;
        if (onPump) onPump();
        if (hub == nullptr) return;
        hub->onTimer1();
        hub->onTimer2();
        hub->pollHotplug(backend.hotplug());
    }
    void run(std::int64_t ms) {
        for (std::int64_t t = 0; t < ms; t += kTickMs)
            tick();
    }
    // Start-up: events from before the window listened are not seen; the scan finds the
    // machines attached by then.
    void startUp() {
        backend.hotplug().poll([](const HotplugEvent&) {});
        hub->loadRegistry();
        hub->registerAndScan();
    }
};

inline sim::SimMachineConfig simMachine(const std::string& id, std::uint8_t kind = '3') {
    sim::SimMachineConfig c;
    c.kind = kind;
    c.machineId = id;
    c.nickname = "Bay " + id;
    return c;
}

}  // namespace mx40d::testing
