// mx40d-demo: the monitor's window over simulated machines on the real clock, with a
// "Simulation" menu to plug machines in and out, run jobs at their front panels, fill their
// logs and inject faults. Machines written outside the project can join over Unix sockets.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "hid/SocketHid.h"
#include "shell/ui/Mx40d_main.h"
#include "shell/ui/SingleInstance.h"
#include "sim/SimHidBackend.h"
#include "sim/ui/SimulationMenu.h"

using namespace mx40d;
namespace fs = std::filesystem;

namespace {

const char* const kHelp =
    "usage: mx40d-demo [--folder DIR] [--machines N] [--quit-after SECONDS]\n"
    "                  [--screenshot FILE] [--machine-socket PATH]...\n"
    "\n"
    "  --folder DIR           the work folder (DATABASE, DEBUG_SESSION, geometry file and\n"
    "                         application log); by default mx40d-demo in the user's data\n"
    "                         folder, created\n"
    "  --machines N           simulated machines plugged in at start (0 to 10; default 2),\n"
    "                         duplicators and erasers in turn\n"
    "  --quit-after SECONDS   closes the window after that long\n"
    "  --screenshot FILE      saves the main window as PNG just before quitting\n"
    "  --machine-socket PATH  listens at PATH: each connection is a machine exchanging\n"
    "                         65-byte reports both ways (may be given more than once)\n"
    "  --front-panel-jobs     ten seconds in, every other duplicator starts a copy and the\n"
    "                         rest of the machines a 7-pass erase at their front panels\n";

int usage(const std::string& problem) {
    std::cerr << "mx40d-demo: " << problem << "\n" << kHelp;
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    fs::path folder;
    int machines = 2;
    int quitAfter = -1;
    std::string screenshot;
    std::vector<std::string> sockets;
    bool frontPanelJobs = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << kHelp;
            return 0;
        }
        if (a == "--front-panel-jobs") {
            frontPanelJobs = true;
            continue;
        }
        if (i + 1 >= argc) return usage("missing value after " + a);
        const std::string v = argv[++i];
        char* end = nullptr;
        if (a == "--folder") {
            folder = v;
        } else if (a == "--machines") {
            machines = static_cast<int>(std::strtol(v.c_str(), &end, 10));
            if (*end != '\0' || machines < 0 || machines > 10)
                return usage("--machines is 0 to 10");
        } else if (a == "--quit-after") {
            quitAfter = static_cast<int>(std::strtol(v.c_str(), &end, 10));
            if (*end != '\0' || quitAfter < 0) return usage("--quit-after takes seconds");
        } else if (a == "--screenshot") {
            screenshot = v;
        } else if (a == "--machine-socket") {
            sockets.push_back(v);
        } else {
            return usage("unknown option " + a);
        }
    }
    if (folder.empty())
        folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                     .filePath(QStringLiteral("mx40d-demo"))
                     .toStdString();
    std::error_code ec;
    fs::create_directories(folder, ec);
    fs::current_path(folder, ec);
    if (ec) {
        std::cerr << "mx40d-demo: cannot use the folder " << folder << ": " << ec.message() << "\n";
        return 2;
    }
    if (!screenshot.empty()) screenshot = fs::absolute(screenshot, ec).string();

    ui::SingleInstance instance(QStringLiteral("mx40d-demo"));
    if (!instance.claim()) {
        std::cout << "mx40d-demo: already running; asked it to come forward\n";
        return 0;
    }

    SystemClock clock;
    sim::SimHidBackend simulated(clock);
    SocketHidBackend outside;
    for (const std::string& path : sockets) {
        std::string error;
        if (!outside.listen(path, 0x2001, error)) {
            std::cerr << "mx40d-demo: cannot listen at " << path << ": " << error << "\n";
            return 2;
        }
    }
    CompositeHidBackend backend;
    backend.add(&simulated, &simulated.hotplug());
    backend.add(&outside, &outside);

    ui::TForm_MX40D::Env env;
    env.clock = &clock;
    env.backend = &backend;
    env.hotplug = &backend;
    env.workFolder = fs::current_path();
    env.programFile = fs::canonical("/proc/self/exe", ec);
    ui::TForm_MX40D window(env);
    ui::SimulationMenu simulation(simulated, window.menuBar(), &window);
    for (int i = 0; i < machines; ++i)
        simulation.plugIn(i % 2 == 0 ? kDuplicatorKind : kEraserKind);
    QObject::connect(&instance, &ui::SingleInstance::raiseRequested, &window, [&window] {
        std::cout << "mx40d-demo: a second start asked this window to come forward" << std::endl;
        if (window.isMinimized()) window.showNormal();
        window.raise();
        window.activateWindow();
    });
    if (frontPanelJobs) {
        QTimer::singleShot(10000, &window, [&] {
            int duplicators = 0;
            for (const std::string& path : simulation.paths()) {
                sim::SimMachine* m = simulated.machine(path);
                if (m == nullptr) continue;
                const bool copy = m->config().kind == kDuplicatorKind && duplicators++ % 2 == 0;
                m->startJob(copy ? kJobCopy : kJobErase7Pass);
            }
        });
    }
    if (quitAfter >= 0) {
        QTimer::singleShot(quitAfter * 1000, &window, [&] {
            QStringList pages;
            for (int i = 0; i < window.pageControl()->count(); ++i)
                pages << window.pageControl()->tabText(i);
            std::cout << "mx40d-demo: pages: " << pages.join(QStringLiteral(", ")).toStdString()
                      << std::endl;
            if (!screenshot.empty()) {
                // The window as it is, then each machine's page: FILE, FILE-1.png, ...
                if (!window.grab().save(QString::fromStdString(screenshot), "PNG"))
                    std::cerr << "mx40d-demo: cannot save the screenshot " << screenshot << "\n";
                const QString base =
                    QString::fromStdString(screenshot)
                        .chopped(screenshot.size() > 4 &&
                                         screenshot.substr(screenshot.size() - 4) == ".png"
                                     ? 4
                                     : 0);
                for (int i = 0; i < window.pageControl()->count(); ++i) {
                    window.pageControl()->setCurrentIndex(i);
                    window.grab().save(base + QStringLiteral("-%1.png").arg(i + 1), "PNG");
                }
            }
            window.close();
        });
    }
    window.show();
    const int rc = app.exec();
    std::cout << "mx40d-demo: databases in " << (fs::current_path() / "DATABASE").string()
              << (screenshot.empty() ? "" : ", screenshot " + screenshot) << std::endl;
    return rc;
}
