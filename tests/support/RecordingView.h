#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/ByteOrder.h"
#include "base/Text.h"
#include "base/UserNotice.h"
#include "controller/MachineController.h"
#include "controller/MachineView.h"
#include "machine_ui/JobControls.h"
#include "protocol/MachineProtocol.h"

namespace mx40d::testing {

// A machine page that records what the controller tells it, and keeps the panel's buttons
// the way the panel does (JobControls), so tests can read both.
class RecordingView : public MachineView {
  public:
    void openSheet(const std::string& caption) override {
        calls.push_back("openSheet " + caption);
        sheetOpen = true;
    }
    void closeSheet() override {
        calls.push_back("closeSheet");
        sheetOpen = false;
        panelBuilt = false;
    }
    void buildPanel(const MachineInfo& info, MachineRequests& requests,
                    const std::filesystem::path& logDatabasePath,
                    const std::filesystem::path& logDirectory) override {
        calls.push_back("buildPanel " + logDatabasePath.string());
        panelBuilt = true;
        shownJob = shownStage = -1;
        panelInfo = info;
        this->engine = dynamic_cast<MachineProtocol*>(&requests);
        this->logDirectory = logDirectory;
        buttons.build(info.featureFlag(1) == 1, info.support_LogRecord() == 1);
    }
    void setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>& s) override {
        status = s;
        ++statusCount;
    }
    void applyDeviceBlock(int jobCode, const DeviceBlockEvent& b) override {
        deviceBlocks.push_back(
            cformat("%d:%c%d+%d", jobCode, b.kind == 0 ? 'D' : 'E', b.firstIndex, b.count));
    }
    void clearPortTable() override { calls.push_back("clear"); }
    // Recorded when it changes what the panel shows (the panel ignores a repeat).
    void showJob(int jobCode, int jobStage) override {
        if (jobCode != shownJob || jobStage != shownStage)
            calls.push_back(cformat("showJob %d,%d", jobCode, jobStage));
        shownJob = jobCode;
        shownStage = jobStage;
        buttons.showJob(jobCode, jobStage);
    }
    void setIdle(bool idle) override {
        calls.push_back(idle ? "setIdle 1" : "setIdle 0");
        buttons.setIdle(idle);
    }
    void writeTestReport() override { calls.push_back("report"); }
    void appendLogRecord(const std::uint8_t* record) override {
        logRecords.emplace_back(record, record + 256);
    }

    // The calls from `from` on that concern the job: showJob, setIdle, clear, report.
    std::vector<std::string> jobCalls(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (std::size_t i = from; i < calls.size(); ++i)
            if (calls[i].rfind("openSheet", 0) != 0 && calls[i].rfind("closeSheet", 0) != 0 &&
                calls[i].rfind("buildPanel", 0) != 0)
                out.push_back(calls[i]);
        return out;
    }

    std::vector<std::string> calls;
    std::vector<std::string> deviceBlocks;
    std::vector<std::vector<std::uint8_t>> logRecords;
    std::array<std::uint8_t, kMachineStatusSize> status{};
    int statusCount = 0;
    bool sheetOpen = false;
    bool panelBuilt = false;
    MachineInfo panelInfo;
    MachineProtocol* engine = nullptr;
    std::filesystem::path logDirectory;
    JobControls buttons;
    int shownJob = -1;
    int shownStage = -1;
};

// Message boxes recorded as (caption, text).
class RecordingNotice : public UserNotice {
  public:
    void showMessage(const std::string& caption, const std::string& text) override {
        boxes.emplace_back(caption, text);
        if (onBox) onBox();
    }
    void processPendingEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    std::vector<std::pair<std::string, std::string>> boxes;
    int pumps = 0;
    // Runs at every turn of the event loop a blocking wait asks for.
    std::function<void()> onPump;
    // Runs while a box is up (the event loop a modal box turns).
    std::function<void()> onBox;
};

// What the main window receives from one controller.
struct MainEvents {
    struct Event {
        int controller, code, number;
        const void* pointer;
    };
    std::vector<Event> all;
    // Called with each event as it arrives, while the controller is inside its handler.
    std::function<void(int code)> hook;
    MachineController::MachineEventSink sink() {
        return [this](int c, int code, int n, const void* p) {
            all.push_back({c, code, n, p});
            if (hook) hook(code);
        };
    }
    std::vector<int> codes() const {
        std::vector<int> out;
        for (const auto& e : all)
            out.push_back(e.code);
        return out;
    }
    int count(int code) const {
        return static_cast<int>(
            std::count_if(all.begin(), all.end(), [&](const Event& e) { return e.code == code; }));
    }
};

}  // namespace mx40d::testing
