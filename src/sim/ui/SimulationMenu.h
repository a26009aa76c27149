#pragma once

#include <QObject>

#include <string>
#include <vector>

#include "sim/SimHidBackend.h"

class QMenu;
class QMenuBar;
class QWidget;

namespace mx40d::ui {

// The "Simulation" menu of mx40d-demo: plug in or pull out simulated duplicators and erasers
// (up to ten), start a job at a machine's own front panel, fill its log, inject a fault.
class SimulationMenu : public QObject {
    Q_OBJECT

  public:
    static constexpr int kMaxMachines = 10;

    SimulationMenu(sim::SimHidBackend& backend, QMenuBar* bar, QWidget* dialogParent);

    // Adds a machine, plugged in: a duplicator ('3') or an eraser ('5'). Its path, or empty
    // when ten are plugged in already.
    std::string plugIn(std::uint8_t kind);
    // Machines the demo made, in order, plugged or not.
    const std::vector<std::string>& paths() const { return paths_; }
    QMenu* menu() const { return menu_; }

  private:
    void rebuild();

    sim::SimHidBackend& backend_;
    QWidget* dialogParent_;
    QMenu* menu_;
    std::vector<std::string> paths_;
    int made_[2] = {0, 0};
};

}  // namespace mx40d::ui
