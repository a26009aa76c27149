#include "shell/HeadlessWindow.h"

#include "shell/MachineHub.h"
#include "shell/MonitorCore.h"

namespace mx40d {

void HeadlessWindow::showMessage(const std::string& caption, const std::string& text) {
    messages.emplace_back(caption, text);
    if (onMessage) onMessage();
}

void HeadlessWindow::tick() {
    clock_.advance(kTickMs);
    ++pumps;
    if (onPump) onPump();
    if (core != nullptr) {
        // The same handlers the window's timers and hot-plug watch call.
        if (timersRunning_) {
            core->timer1();
            core->timer2();
        }
        core->hotplugReady();
        return;
    }
    if (hub == nullptr) return;
    hub->onTimer1();
    hub->onTimer2();
    hub->pollHotplug(hotplug_);
}

void HeadlessWindow::run(std::int64_t ms) {
    for (std::int64_t t = 0; t < ms; t += kTickMs)
        tick();
}

bool HeadlessWindow::startUp() {
    if (core != nullptr) {
        while (!core->startupDone()) {
            const MonitorCore::StartupTick t = core->timer3();
            if (t.closeWindow) return false;
            if (t.startTimers) timersRunning_ = true;
            if (core->startupDone()) break;
            run(MonitorCore::kTimer3Ms);
        }
        return true;
    }
    hotplug_.poll([](const HotplugEvent&) {});
    if (hub == nullptr || !hub->loadRegistry()) return false;
    hub->registerAndScan();
    return true;
}

}  // namespace mx40d
