#pragma once

#include <QMainWindow>

#include <array>
#include <filesystem>
#include <memory>

#include "base/Clock.h"
#include "hid/HidBackend.h"
#include "hid/HotplugSource.h"
#include "shell/MonitorCore.h"
#include "shell/ui/SheetView.h"
#include "shell/ui/WindowNotice.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QSocketNotifier;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace mx40d::ui {

// A timer of the form: its interval and enabled state as designed. With real timers it runs
// the Qt timer; without (tests), it only keeps its state and the test calls the handler.
class FormTimer {
  public:
    FormTimer(QObject* owner, const char* name, bool real);
    void setInterval(int ms);
    int interval() const { return interval_; }
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    QTimer* timer() const { return timer_; }

  private:
    QTimer* timer_;
    bool real_;
    bool enabled_ = false;
    int interval_ = 0;
};

// The monitor's main window (unit Mx40d_main). It owns the main window's core (registry,
// controllers, slot table, machine table), renders what the core's start-up sequencer asks
// for, calls the core's timer handlers from its three timers and hands hot-plug events to it.
class TForm_MX40D : public QMainWindow {
    Q_OBJECT

  public:
    struct Env {
        const Clock* clock = nullptr;
        HidBackend* backend = nullptr;
        HotplugSource* hotplug = nullptr;
        std::filesystem::path workFolder;   // the current folder in the monitor
        std::filesystem::path programFile;  // read for the branding trailer
        UserNotice* notice = nullptr;       // null: message boxes of the window
        bool realTimers = true;             // false: tests call the timer handlers
    };

    explicit TForm_MX40D(const Env& env, QWidget* parent = nullptr);
    ~TForm_MX40D() override;

    MonitorCore& core() { return *core_; }
    FormTimer& timer(int n) { return *timers_[static_cast<std::size_t>(n - 1)]; }
    QTabWidget* pageControl() const { return PageControl1; }
    QLabel* logo() const { return Image_VeltrixLogo; }
    // Whether the window closed itself at start-up (the registry could not be used).
    bool closedAtStartup() const { return closedAtStartup_; }

  public slots:
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    // The hot-plug source's descriptor is readable (or, without one, at every receive tick).
    void hotplugReady();
    void StringGrid_mainClick(int row, int column);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void FormCreate();
    void refreshMachineGrid();
    void showPages();

    WindowNotice ownNotice_;
    UserNotice* notice_;
    std::unique_ptr<MonitorCore> core_;
    std::array<std::unique_ptr<SheetView>, MachineHub::kControllerCount> sheets_;
    std::array<std::unique_ptr<FormTimer>, 3> timers_;
    QSocketNotifier* hotplugNotifier_ = nullptr;
    bool pollHotplugOnTick_ = false;
    bool closedAtStartup_ = false;
    bool formClosed_ = false;
    unsigned gridRevision_ = ~0u;

    QTabWidget* PageControl1 = nullptr;
    QLabel* Image_VeltrixLogo = nullptr;
    QTableWidget* StringGrid_main = nullptr;
    QLineEdit* Edit1 = nullptr;
    QMenu* System1 = nullptr;
    QMenu* Log1 = nullptr;
    QMenu* Action1 = nullptr;
};

}  // namespace mx40d::ui
