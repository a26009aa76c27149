// Runs the monitor's core headless against simulated machines, on simulated time: machines
// are found and identified, read out, polled, run jobs from their front panels, and their
// job logs are copied into the log databases, exactly as the window's timers would drive it.
// Leaves DATABASE/ (registry and log databases) and DEBUG_SESSION/ in the given folder, ready
// for mx40d-report.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/Clock.h"
#include "shell/HeadlessWindow.h"
#include "shell/MachineHub.h"
#include "shell/MonitorCore.h"
#include "sim/SimHidBackend.h"

using namespace mx40d;

namespace {

int usage() {
    std::fprintf(stderr, "usage: mx40d-sim [--folder DIR] [--minutes N]\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder = ".";
    long minutes = 30;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--folder" && i + 1 < argc) {
            folder = argv[++i];
        } else if (arg == "--minutes" && i + 1 < argc) {
            char* end = nullptr;
            minutes = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || minutes < 1 || minutes > 24 * 60) return usage();
        } else {
            return usage();
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(folder / "DATABASE", ec);
    std::filesystem::create_directories(folder / "DEBUG_SESSION", ec);
    if (ec) {
        std::fprintf(stderr, "mx40d-sim: cannot create folders in %s: %s\n",
                     folder.string().c_str(), ec.message().c_str());
        return 2;
    }

    FakeClock clock;
    clock.setLocalTime(SystemClock().localTime());  // simulated time starts now
    sim::SimHidBackend backend(clock);
    HeadlessWindow loop(clock, backend.hotplug());
    // Message boxes are shown as lines.
    loop.onMessage = [&loop] {
        std::printf("[%s] %s\n", loop.messages.back().first.c_str(),
                    loop.messages.back().second.c_str());
    };
    sim::SimMachineConfig duplicator;
    duplicator.machineId = "DUP-0001";
    duplicator.nickname = "Copy bay 1";
    duplicator.ports = 12;
    duplicator.portsPerBoard = 4;
    duplicator.prefilledRecords = 24;
    duplicator.failureRate = 0.1;
    duplicator.driveSectors = 62914560;  // 30 GiB drives, so a copy takes a few minutes
    sim::SimMachineConfig eraser = duplicator;
    eraser.kind = kEraserKind;
    eraser.machineId = "ERA-0001";
    eraser.nickname = "Erase bay 1";
    eraser.ports = 8;
    eraser.prefilledRecords = 16;
    eraser.seed = 7;
    sim::SimMachine& dup = backend.addMachine("/dev/hidraw-sim0", duplicator, 0x2001);
    sim::SimMachine& era = backend.addMachine("/dev/hidraw-sim1", eraser, 0x2002);

    // The main window's core, run by the headless loop as the window's timers run it.
    MonitorCore core(clock, loop, backend, backend.hotplug(), {folder, {}});
    MachineHub& hub = core.hub();
    loop.core = &core;
    if (!loop.startUp()) return 3;

    // Every ten minutes each machine's operator starts a job at the front panel and ends it
    // when it is done.
    for (long m = 0; m < minutes; ++m) {
        if (m % 10 == 0) {
            dup.startJob(m % 20 == 0 ? 3 : 1);  // copy+compare, then copy
            era.startJob(m % 20 == 0 ? 6 : 5);  // full erase, then quick erase
        }
        loop.run(60 * 1000);
        for (sim::SimMachine* machine : {&dup, &era}) {
            if (machine->status().stage() == 4) machine->finishJob();
        }
    }
    loop.run(30 * 1000);  // the last records come home

    const MachineTable& table = hub.table();
    for (int row = 0; row <= table.rowCount(); ++row) {
        std::printf("%-4s %-24s %-10s %-16s %s\n", table.cell(0, row).c_str(),
                    table.cell(1, row).c_str(), table.cell(2, row).c_str(),
                    table.cell(3, row).c_str(), table.cell(4, row).c_str());
    }
    std::printf("%ld simulated minutes; log databases and registry in %s\n", minutes,
                (folder / "DATABASE").string().c_str());
    core.close();
    core.destroy();
    return 0;
}
