#pragma once

#include <QAbstractListModel>
#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "machine_ui/JobControls.h"
#include "machine_ui/PortTable.h"
#include "protocol/MachineInfo.h"
#include "protocol/MachineRequests.h"
#include "reports/LogDatabase.h"

class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QSplitter;
class QTableWidget;

namespace mx40d::ui {

// The machine's log records as a list whose lines are made only when shown: a machine with a
// million records opens at once, and memory stays at the records' own size.
class LogListModel final : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit LogListModel(std::uint8_t deviceType, QObject* parent = nullptr)
        : QAbstractListModel(parent), kind_(deviceType) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The whole database read back; false (and the single line of an unreadable database)
    // when it cannot be read.
    bool load(const std::filesystem::path& database);
    void append(const std::uint8_t* record);
    // The line of row `row`, as the list shows it.
    std::string line(int row) const;

  private:
    std::uint8_t kind_;
    MappedLogRecords stored_;             // the database as it was opened, mapped
    std::vector<std::uint8_t> appended_;  // records that came in since, 256 bytes each
    std::string failure_;                 // the single line of an unreadable database
};

// A connected machine's panel in its page of the main window (unit Form_machinehdd): the job
// box, the job buttons, the port grid and, for a machine that keeps a job log, the log area
// with "Generate Log Report". It renders JobControls and PortTable and turns clicks into the
// machine's requests.
class MachinePanel final : public QWidget {
    Q_OBJECT

  public:
    // `setCaption` captions the machine's tab sheet.
    MachinePanel(QWidget* sheet, std::function<void(const std::string&)> setCaption);
    ~MachinePanel() override;

    void buildPanel(const MachineInfo& info, MachineRequests& requests,
                    const std::filesystem::path& logDatabasePath,
                    const std::filesystem::path& logDirectory);
    void setMachineStatus(const std::array<std::uint8_t, kMachineStatusSize>& status);
    void applyDeviceBlock(int jobCode, const DeviceBlockEvent& block);
    void clearPortTable();
    void showJob(int jobCode, int jobStage);
    void setIdle(bool idle);
    void writeTestReport();
    void appendLogRecord(const std::uint8_t* record);

    // The settings and nickname exchanges of "Setting" and "Change Machine Name".
    void settingsExchange();
    void nicknameExchange();

    const JobControls& controls() const { return controls_; }
    const PortTable& ports() const { return ports_; }
    const std::string& outputFile() const { return outputFile_; }
    const MachineInfo& info() const { return info_; }
    QPushButton* button(JobControls::Button b) const {
        return buttons_[static_cast<std::size_t>(b)];
    }
    LogListModel* logModel() const { return logModel_; }
    // "Generate Log Report" was pressed: the log report window's business.
    std::function<void()> onGenerateLogReport;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void renderControls();
    void renderPorts();
    void press(JobControls::Button b);
    void writePanelLayoutFile();
    void copySelectedLines();

    std::function<void(const std::string&)> setCaption_;
    MachineInfo info_;
    MachineRequests* requests_ = nullptr;
    std::filesystem::path logDatabasePath_;
    std::filesystem::path logDirectory_;
    std::filesystem::path layoutPath_;
    PanelLayout layout_;
    std::string outputFile_;
    JobControls controls_;
    PortTable ports_;
    bool built_ = false;
    bool sized_ = false;  // the splitter got the stored height at the first showing

    QSplitter* splitter_ = nullptr;
    QFrame* upperPanel_ = nullptr;
    QLineEdit* jobBox_ = nullptr;
    QTableWidget* portGrid_ = nullptr;
    QFrame* logPanel_ = nullptr;
    QListView* logArea_ = nullptr;
    LogListModel* logModel_ = nullptr;
    std::array<QPushButton*, JobControls::kButtonCount> buttons_{};
};

}  // namespace mx40d::ui
