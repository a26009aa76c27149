#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "hid/HidBackend.h"
#include "hid/HotplugSource.h"
#include "shell/MachineHub.h"
#include "shell/StartupFiles.h"

namespace mx40d {

// The main window without the window: everything TForm_MX40D decides, so that the window and
// the headless loop (mx40d-sim, the scenario tests) run the same code. The window renders
// what the start-up sequencer asks for and calls the timer handlers from its timers.
//
// Construction reads the geometry file, opens the application log and takes the branding;
// prepareFolders() is FormCreate's folder step; timer3() is the start-up sequencer (every
// 200 ms), timer1() the receive pump and timer2() the protocol step (every 10 ms each);
// close() is FormClose without the geometry, which the window writes with its bounds.
class MonitorCore {
  public:
    static constexpr int kTimer3Ms = 200;
    static constexpr int kTimerMs = 10;
    static constexpr int kLastStartupStep = 23;
    // Ticks the logo stays up (steps 1 to 19).
    static constexpr int kLogoSteps = 19;

    struct Setup {
        std::filesystem::path workFolder;   // the current folder in the monitor
        std::filesystem::path programFile;  // for the branding trailer; empty: defaults
    };

    MonitorCore(const Clock& clock, UserNotice& notice, HidBackend& backend, HotplugSource& hotplug,
                const Setup& setup);
    ~MonitorCore();
    MonitorCore(const MonitorCore&) = delete;
    MonitorCore& operator=(const MonitorCore&) = delete;

    // What one tick of the start-up sequencer asks of the window.
    struct StartupTick {
        bool showLogo = false;         // step 0 with the overwrite branding
        bool showPages = false;        // step 0 without it: PageControl1 fills the window
        bool startTimers = false;      // step 21: Timer1 and Timer2 run from now on
        bool hideLogoAndStop = false;  // step 23: the logo goes, Timer3 stops for good
        bool closeWindow = false;      // step 20: the registry could not be opened or made
    };
    StartupTick timer3();
    void timer1();
    void timer2();
    // The hot-plug source has events waiting.
    void hotplugReady();
    // Closing: machines into the registry, controllers disconnected, registry saved.
    void close();
    // Then: every link closed.
    void destroy();

    int startupStep() const { return startupStep_; }
    bool startupDone() const { return startupDone_; }
    const shell::Branding& branding() const { return branding_; }
    const std::optional<shell::Geometry>& storedGeometry() const { return storedGeometry_; }
    std::filesystem::path geometryPath() const { return setup_.workFolder / shell::kGeometryFile; }
    const std::filesystem::path& databaseFolder() const { return databaseFolder_; }
    const std::filesystem::path& debugFolder() const { return debugFolder_; }
    const std::filesystem::path& appLogPath() const { return appLogPath_; }
    bool appLogOpen() const { return appLog_ != nullptr; }
    MachineHub& hub() { return *hub_; }
    HotplugSource& hotplug() { return hotplug_; }

    // Writes the geometry file for the window's bounds at closing.
    bool writeGeometry(const shell::Geometry& g) const;

  private:
    const Clock& clock_;
    UserNotice& notice_;
    HotplugSource& hotplug_;
    Setup setup_;
    shell::Branding branding_;
    std::optional<shell::Geometry> storedGeometry_;
    std::filesystem::path databaseFolder_;
    std::filesystem::path debugFolder_;
    std::filesystem::path appLogPath_;
    std::FILE* appLog_ = nullptr;
    std::unique_ptr<MachineHub> hub_;
    int startupStep_ = 0;
    bool startupDone_ = false;
    bool timer3Busy_ = false;
    bool closed_ = false;
};

// What a machine's page shows until its panel exists: name, model, ports, state, log count.
std::string sheetSummary(const MachineInfo& info, int jobCode, bool jobKnown,
                         std::uint64_t recordsThisConnection);

}  // namespace mx40d
