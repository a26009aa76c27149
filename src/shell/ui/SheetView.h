#pragma once

#include <QObject>
#include <QPointer>

#include "controller/MachineView.h"

class QLabel;
namespace mx40d::ui {
class MachinePanel;
}
class QTabWidget;
class QWidget;

namespace mx40d::ui {

// A controller's page in the main window's PageControl1: "Link..." while the machine is read
// out, then the machine's name; until the machine panel is built in it, the page shows the
// machine's name, model, ports, state and log count.
class SheetView final : public MachineView {
  public:
    explicit SheetView(QTabWidget* pages) : pages_(pages) {}
    ~SheetView() override;

    void openSheet(const std::string& caption) override;
    void closeSheet() override;
    void buildPanel(const MachineInfo& info, MachineRequests& requests,
                    const std::filesystem::path& logDatabasePath,
                    const std::filesystem::path& logDirectory) override;
    void setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>& status) override;
    void applyDeviceBlock(int jobCode, const DeviceBlockEvent& block) override;
    void clearPortTable() override;
    void showJob(int jobCode, int jobStage) override;
    void setIdle(bool idle) override;
    void writeTestReport() override;
    void appendLogRecord(const std::uint8_t* record) override;

    QWidget* page() const { return page_; }
    MachinePanel* panel() const { return panel_; }
    // The machine's information as the controller keeps it; set by the window.
    void setLiveInfo(const MachineInfo* info) { live_ = info; }

  private:
    void refresh();

    QTabWidget* pages_;
    QPointer<QWidget> page_;
    QLabel* summary_ = nullptr;
    MachinePanel* panel_ = nullptr;
    MachineInfo info_;
    const MachineInfo* live_ = nullptr;
    bool built_ = false;
    int jobCode_ = -1;
    std::uint64_t records_ = 0;
};

}  // namespace mx40d::ui
