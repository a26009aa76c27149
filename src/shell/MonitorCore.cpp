#include "shell/MonitorCore.h"

#include <cstdio>

#include "base/Text.h"
#include "machine_ui/Names.h"
#include "shell/MachineTable.h"

namespace mx40d {

MonitorCore::MonitorCore(const Clock& clock, UserNotice& notice, HidBackend& backend,
                         HotplugSource& hotplug, const Setup& setup)
    : clock_(clock), notice_(notice), hotplug_(hotplug), setup_(setup) {
    // The geometry file, the application log, then the branding (construction steps 4-7).
    storedGeometry_ = shell::readGeometryFile(geometryPath());
    const LocalTime now = clock_.localTime();
    appLogPath_ = setup_.workFolder / shell::appLogName(now);
    appLog_ = std::fopen(appLogPath_.c_str(), "a");
    if (appLog_ != nullptr) {
        const std::string line = shell::appLogOpenLine(now);
        std::fwrite(line.data(), 1, line.size(), appLog_);
        std::fflush(appLog_);
    }
    if (!setup_.programFile.empty()) branding_ = shell::readBranding(setup_.programFile);
    setOemCode(branding_.oemCode);

    // FormCreate's folders; a folder that cannot be made is found out by what uses it.
    databaseFolder_ = setup_.workFolder / shell::kDatabaseFolder;
    debugFolder_ = setup_.workFolder / shell::kDebugFolder;
    std::error_code ec;
    std::filesystem::create_directories(databaseFolder_, ec);
    std::filesystem::create_directories(debugFolder_, ec);
    hub_ = std::make_unique<MachineHub>(clock_, notice_, backend, databaseFolder_, debugFolder_);
}

MonitorCore::~MonitorCore() {
    close();
    destroy();
    if (appLog_ != nullptr) std::fclose(appLog_);
}

MonitorCore::StartupTick MonitorCore::timer3() {
    StartupTick t;
    if (timer3Busy_ || startupDone_ || closed_) return t;
    timer3Busy_ = true;
    const int step = startupStep_;
    if (step == 0) {
        if (branding_.overwriteNaming()) {
            t.showLogo = true;
            startupStep_ = 1;
        } else {
            t.showPages = true;
            startupStep_ = 20;
        }
    } else if (step >= 1 && step <= kLogoSteps) {
        ++startupStep_;
    } else if (step == 20) {
        startupStep_ = 21;
        if (!hub_->loadRegistry()) t.closeWindow = true;
    } else if (step == 21) {
        t.startTimers = true;
        startupStep_ = 22;
    } else if (step == 22) {
        // Events from before this moment are not the window's: the scan finds the machines
        // attached by now.
        hotplug_.poll([](const HotplugEvent&) {});
        startupStep_ = 23;
        hub_->registerAndScan();
    } else {
        t.hideLogoAndStop = true;
        startupDone_ = true;
    }
    timer3Busy_ = false;
    return t;
}

void MonitorCore::timer1() {
    hub_->onTimer1();
}

void MonitorCore::timer2() {
    hub_->onTimer2();
}

void MonitorCore::hotplugReady() {
    if (startupStep_ >= 23)
        hub_->pollHotplug(hotplug_);
    else
        hotplug_.poll([](const HotplugEvent&) {});  // before step 22 events are not the window's
}

void MonitorCore::close() {
    if (closed_) return;
    closed_ = true;
    hub_->close();
}

void MonitorCore::destroy() {
    hub_->closeAllSlots();
}

bool MonitorCore::writeGeometry(const shell::Geometry& g) const {
    return shell::writeGeometryFile(geometryPath(), branding_.model, g);
}

std::string sheetSummary(const MachineInfo& info, int jobCode, bool jobKnown,
                         std::uint64_t recordsThisConnection) {
    std::string s = cformat("Machine : %s\nModel   : %s %s\nID      : %s\nPorts   : %d\n",
                            MachineTable::displayName(info).c_str(), info.modelName().c_str(),
                            info.version().c_str(), info.machineId().c_str(), info.maxDeviceQty());
    s += "State   : " + (jobKnown ? jobName(jobCode) : std::string("reading the machine")) + "\n";
    if (info.support_LogRecord() == 1)
        s += cformat(
            "Log     : %s (newest record held here / records on the machine), "
            "%llu copied this connection\n",
            MachineTable::logCountText(info).c_str(),
            static_cast<unsigned long long>(recordsThisConnection));
    else
        s += "Log     : the machine keeps no job log\n";
    return s;
}

}  // namespace mx40d
