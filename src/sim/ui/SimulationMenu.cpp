#include "sim/ui/SimulationMenu.h"

#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>

#include "base/Text.h"

namespace mx40d::ui {

namespace {

const char* const kFaultNames[sim::kFaultKindCount] = {
    "No answer",    "Late answer (7 s)", "Corrupt check value", "Wrong length",      "Wrong header",
    "Split answer", "Duplicated answer", "Unplug mid-command",  "Runt before answer"};

struct JobItem {
    std::uint8_t code;
    const char* name;
};
const JobItem kDuplicatorJobs[] = {
    {1, "Copy"}, {2, "Compare"}, {3, "Copy+Compare"}, {4, "Scan"}, {26, "Get ID"}};
const JobItem kEraserJobs[] = {{5, "Quick erase"},  {6, "Full erase"},
                               {7, "DoD erase"},    {8, "DoD erase + verify"},
                               {9, "7-pass erase"}, {10, "Security erase"}};

}  // namespace

SimulationMenu::SimulationMenu(sim::SimHidBackend& backend, QMenuBar* bar, QWidget* dialogParent)
    : QObject(bar), backend_(backend), dialogParent_(dialogParent) {
    menu_ = bar->addMenu(QStringLiteral("&Simulation"));
    menu_->setObjectName("SimulationMenu");
    connect(menu_, &QMenu::aboutToShow, this, &SimulationMenu::rebuild);
    rebuild();
}

std::string SimulationMenu::plugIn(std::uint8_t kind) {
    int plugged = 0;
    for (const std::string& p : paths_)
        plugged += backend_.plugged(p) ? 1 : 0;
    if (plugged >= kMaxMachines) return {};
    const bool eraser = kind == kEraserKind;
    const int n = ++made_[eraser ? 1 : 0];
    sim::SimMachineConfig c;
    c.kind = kind;
    c.machineId = cformat("%s-%04d", eraser ? "ERA" : "DUP", n);
    c.nickname = cformat("%s bay %d", eraser ? "Erase" : "Copy", n);
    c.ports = eraser ? 8 : 12;
    c.portsPerBoard = 4;
    c.prefilledRecords = eraser ? 16 : 24;
    c.failureRate = 0.05;
    c.driveSectors = 62914560;  // 30 GiB drives: a copy takes a few minutes
    c.seed = static_cast<std::uint64_t>(n) * 7 + (eraser ? 3 : 1);
    const std::string path = cformat("sim:%s-%d", eraser ? "eraser" : "duplicator", n);
    backend_.addMachine(path, c);
    paths_.push_back(path);
    return path;
}

void SimulationMenu::rebuild() {
    menu_->clear();
    menu_->addAction(QStringLiteral("Plug in a duplicator"), this,
                     [this] { plugIn(kDuplicatorKind); });
    menu_->addAction(QStringLiteral("Plug in an eraser"), this, [this] { plugIn(kEraserKind); });
    menu_->addSeparator();
    for (const std::string& path : paths_) {
        sim::SimMachine* m = backend_.machine(path);
        if (m == nullptr) continue;
        const bool plugged = backend_.plugged(path);
        QMenu* sub =
            menu_->addMenu(QString::fromLatin1(cformat("%s (%s)%s", m->config().machineId.c_str(),
                                                       path.c_str(), plugged ? "" : " - unplugged")
                                                   .c_str()));
        if (plugged)
            sub->addAction(QStringLiteral("Unplug"), this, [this, path] { backend_.unplug(path); });
        else
            sub->addAction(QStringLiteral("Plug in again"), this,
                           [this, path] { backend_.plug(path); });
        QMenu* jobs = sub->addMenu(QStringLiteral("Start a job at the front panel"));
        const bool eraser = m->config().kind == kEraserKind;
        for (const JobItem& j :
             eraser ? std::vector<JobItem>(std::begin(kEraserJobs), std::end(kEraserJobs))
                    : std::vector<JobItem>(std::begin(kDuplicatorJobs), std::end(kDuplicatorJobs)))
            jobs->addAction(QString::fromLatin1(j.name), this,
                            [m, code = j.code] { m->startJob(code); });
        sub->addAction(QStringLiteral("Finish the run (front panel)"), this,
                       [m] { m->finishJob(); });
        sub->addAction(QStringLiteral("Stop the job (front panel)"), this, [m] { m->stopJob(); });
        sub->addAction(QStringLiteral("Fill the log with records..."), this, [this, m] {
            bool ok = false;
            const int n =
                QInputDialog::getInt(dialogParent_, QStringLiteral("Fill the log"),
                                     QStringLiteral("Records to add:"), 100, 1, 1000000, 100, &ok);
            if (!ok) return;
            for (int i = 0; i < n; ++i) {
                LogRecord r(m->config().kind);
                r.setPortNo(static_cast<std::uint16_t>(1 + i % std::max(1, m->ports())));
                r.setSectorSize(512);
                r.setModel("SIMDISK HD500G");
                r.setCapacity(m->config().driveSectors);
                const LocalTime t = m->machineClock();
                r.setDate({static_cast<std::uint8_t>(t.year - 2000),
                           static_cast<std::uint8_t>(t.month), static_cast<std::uint8_t>(t.day),
                           static_cast<std::uint8_t>(t.hour), static_cast<std::uint8_t>(t.minute),
                           static_cast<std::uint8_t>(t.second)});
                r.setJobCode(m->config().kind == kEraserKind ? 6 : 1);
                r.setJobGroupNo(200);
                m->appendLogRecord(r);
            }
        });
        QMenu* faults = sub->addMenu(QStringLiteral("Inject a fault in the next answer"));
        for (int k = 0; k < sim::kFaultKindCount; ++k)
            faults->addAction(QString::fromLatin1(kFaultNames[k]), this, [m, k] {
                m->injectFault(sim::kAnyCommand, static_cast<sim::FaultKind>(k));
            });
    }
}

}  // namespace mx40d::ui
