// Figures for the machine list: registry loads and saves, and ten simulated machines driven
// through the hub as the main window's timers drive them.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "shell/MachineHub.h"
#include "shell/MachineRegistry.h"
#include "sim/SimHidBackend.h"

namespace {

using namespace mx40d;

std::filesystem::path scratch(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("mx40d-bench-shell-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

MachineRegistry& fullRegistry(MachineRegistry& reg, const std::filesystem::path& file) {
    reg.create(file);
    for (int i = 0; i < 20; ++i) {
        MachineInfo m;
        m.setDeviceType('3');
        m.setMachineId("BENCH-" + std::to_string(i));
        reg.update(i, m);
    }
    reg.save();
    return reg;
}

void BM_RegistryOpen(benchmark::State& state) {
    const auto dir = scratch("open");
    MachineRegistry reg;
    fullRegistry(reg, dir / "ORVANE_MX40D.DB7");
    for (auto _ : state) {
        MachineRegistry r;
        benchmark::DoNotOptimize(r.open(dir / "ORVANE_MX40D.DB7"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(MachineRegistry::kFileSize));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RegistryOpen);

// A whole save: temporary file, flush to the disk, rename.
void BM_RegistrySave(benchmark::State& state) {
    const auto dir = scratch("save");
    MachineRegistry reg;
    fullRegistry(reg, dir / "ORVANE_MX40D.DB7");
    for (auto _ : state)
        benchmark::DoNotOptimize(reg.save());
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_RegistrySave)->Unit(benchmark::kMillisecond);

void BM_RegistryFind(benchmark::State& state) {
    MachineRegistry reg;
    for (int i = 0; i < 20; ++i) {
        MachineInfo m;
        m.setMachineId("BENCH-" + std::to_string(i));
        reg.update(i, m);
    }
    MachineInfo last;
    last.setMachineId("BENCH-19");
    for (auto _ : state) {
        int index = 0;
        benchmark::DoNotOptimize(reg.find(last, index));
    }
}
BENCHMARK(BM_RegistryFind);

// The window's loop: each turn of events moves the clock 10 ms and runs both timers and the
// hot-plug watch.
class BenchLoop : public UserNotice {
  public:
    FakeClock clock;
    sim::SimHidBackend backend{clock};
    MachineHub* hub = nullptr;
    void showMessage(const std::string&, const std::string&) override {}
    void processPendingEvents() override { tick(); }
    void tick() {
        clock.advance(10);
        hub->onTimer1();
        hub->onTimer2();
        hub->pollHotplug(backend.hotplug());
    }
};

// Wall time of one simulated minute of ten machines running jobs and handing over logs.
void BM_TenMachinesOneSimulatedMinute(benchmark::State& state) {
    const auto dir = scratch("hub");
    BenchLoop loop;
    MachineHub hub(loop.clock, loop, loop.backend, dir, dir);
    loop.hub = &hub;
    std::vector<sim::SimMachine*> machines;
    for (int i = 0; i < 10; ++i) {
        sim::SimMachineConfig c;
        c.machineId = "BENCH-" + std::to_string(i);
        c.driveSectors = 400000ull * 30;
        c.detectMs = 500;
        machines.push_back(&loop.backend.addMachine("sim:bench" + std::to_string(i), c));
    }
    loop.backend.hotplug().poll([](const HotplugEvent&) {});
    hub.loadRegistry();
    hub.registerAndScan();
    for (auto _ : state) {
        for (sim::SimMachine* m : machines) {
            if (m->jobCode() == 0)
                m->startJob(1);
            else if (m->stage() == kStageEnd)
                m->finishJob();
        }
        for (int t = 0; t < 6000; ++t)
            loop.tick();
    }
    std::uint64_t records = 0;
    for (sim::SimMachine* m : machines)
        records += m->counters().logRecordsSent;
    state.counters["records"] = static_cast<double>(records);
    hub.close();
    hub.closeAllSlots();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_TenMachinesOneSimulatedMinute)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
