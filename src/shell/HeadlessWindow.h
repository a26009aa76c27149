#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "hid/HotplugSource.h"

namespace mx40d {

class MachineHub;
class MonitorCore;

// The main window's event loop where no window runs (the headless tool, scenario tests):
// every turn moves the fake clock by 10 ms and runs what the window's timers and hot-plug
// watch would run (receive pump, protocol step, waiting hot-plug events). Message boxes are
// recorded; the loop goes on behind them as it does behind a modal box.
class HeadlessWindow : public UserNotice {
  public:
    static constexpr std::int64_t kTickMs = 10;

    HeadlessWindow(FakeClock& clock, HotplugSource& hotplug) : clock_(clock), hotplug_(hotplug) {}

    // The main window's core the loop drives (as the window does); or, for tests of the hub
    // alone, just the hub.
    MonitorCore* core = nullptr;
    MachineHub* hub = nullptr;
    std::vector<std::pair<std::string, std::string>> messages;  // caption, text
    std::function<void()> onPump;     // runs at every turn, before the timers
    std::function<void()> onMessage;  // runs while a message box is up
    long pumps = 0;

    void showMessage(const std::string& caption, const std::string& text) override;
    void processPendingEvents() override { tick(); }
    void tick();
    void run(std::int64_t ms);
    // Start-up: the core's start-up sequencer every 200 ms, the timers once it starts them
    // (or, with a hub alone, the registry and the scan at once). Events from before the
    // window listened are not seen; the scan finds the machines attached by then. False when
    // the registry cannot be loaded.
    bool startUp();

  private:
    bool timersRunning_ = false;
    FakeClock& clock_;
    HotplugSource& hotplug_;
};

}  // namespace mx40d
