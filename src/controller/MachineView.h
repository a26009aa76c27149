#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "protocol/Commands.h"
#include "protocol/MachineInfo.h"
#include "protocol/MachineRequests.h"

namespace mx40d {

// What a machine controller tells its machine's page: the tab sheet of its slot and the
// machine panel inside it. The GUI implements it with the page control's tab sheet and the
// panel widget; tests record the calls. Every call comes from the controller on the GUI
// thread, from inside `connect`, `disconnect` or an engine step.
class MachineView {
  public:
    virtual ~MachineView() = default;

    // Creates the slot's tab sheet with `caption` ("Link...") unless it exists, and makes it
    // the active page.
    virtual void openSheet(const std::string& caption) = 0;
    // Destroys the machine panel (when built) and the tab sheet.
    virtual void closeSheet() = 0;

    // Creates the machine panel in the sheet and builds it from the machine information (its
    // own copy), the machine's requests (which its buttons raise), the log database file and
    // the log folder.
    virtual void buildPanel(const MachineInfo& info, MachineRequests& requests,
                            const std::filesystem::path& logDatabasePath,
                            const std::filesystem::path& logDirectory) = 0;

    // The last status block, its five 32-bit numbers in host order.
    virtual void setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>& status) = 0;
    // Device records of one "D" (kind 0) or "E" (kind 1) answer, for the running job.
    virtual void applyDeviceBlock(int jobCode, const DeviceBlockEvent& block) = 0;
    virtual void clearPortTable() = 0;
    // After every change of job or stage: names the job and shows the stage's buttons.
    virtual void showJob(int jobCode, int jobStage) = 0;
    // After every change of job: idle when the job code is 0.
    virtual void setIdle(bool idle) = 0;
    // Writes the test report of the drives present (end of a copy, compare or identify run).
    virtual void writeTestReport() = 0;
    // One 256-byte log record as stored in the log database.
    virtual void appendLogRecord(const std::uint8_t* record) = 0;
};

// A page that shows nothing: for controllers that run without a window.
class NullMachineView final : public MachineView {
  public:
    void openSheet(const std::string&) override {}
    void closeSheet() override {}
    void buildPanel(const MachineInfo&, MachineRequests&, const std::filesystem::path&,
                    const std::filesystem::path&) override {}
    void setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>&) override {}
    void applyDeviceBlock(int, const DeviceBlockEvent&) override {}
    void clearPortTable() override {}
    void showJob(int, int) override {}
    void setIdle(bool) override {}
    void writeTestReport() override {}
    void appendLogRecord(const std::uint8_t*) override {}
};

}  // namespace mx40d
