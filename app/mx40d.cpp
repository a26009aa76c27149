// mx40d: the monitor, with the machines attached over USB (hidraw through hidapi, hot-plug
// through udev). It keeps its DATABASE and DEBUG_SESSION folders, geometry file and
// application log in the current folder.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <filesystem>

#include "base/Clock.h"
#include "hid/HidapiBackend.h"
#include "hid/UdevHotplugSource.h"
#include "shell/MachineHub.h"
#include "shell/ui/Mx40d_main.h"
#include "shell/ui/SingleInstance.h"
#include "shell/ui/WindowNotice.h"

using namespace mx40d;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::SingleInstance instance(QStringLiteral("mx40d"));
    if (!instance.claim()) return 0;  // the running monitor comes forward instead

    SystemClock clock;
    HidapiBackend backend;
    UdevHotplugSource hotplug;
    ui::TForm_MX40D::Env env;
    env.clock = &clock;
    env.backend = &backend;
    env.hotplug = &hotplug;
    env.workFolder = std::filesystem::current_path();
    env.programFile = std::filesystem::canonical("/proc/self/exe");
    ui::TForm_MX40D window(env);
    // A machine this user may not open: said once, in plain words.
    bool told = false;
    backend.setOnAccessDenied(MachineHub::kVendorId, [&](const std::string& path) {
        if (told) return;
        told = true;
        QTimer::singleShot(0, &window, [&window, path] {
            QMessageBox::warning(&window, QStringLiteral("Message"),
                                 ui::fromLatin1(accessDeniedText(path)));
        });
    });
    QObject::connect(&instance, &ui::SingleInstance::raiseRequested, &window, [&window] {
        if (window.isMinimized()) window.showNormal();
        window.raise();
        window.activateWindow();
    });
    window.show();
    return app.exec();
}
