// The log download rate through the whole stack: a simulated duplicator behind HidTransport,
// the engine, the controller and the log database on disk, driven like the main window drives
// them (receive pump, then one controller step, every `timerMs` of simulated time). Prints
// records per simulated second beside the link's own limit, and the wall-clock cost.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "base/UserNotice.h"
#include "controller/MachineController.h"
#include "hid/HidTransport.h"
#include "sim/SimHidBackend.h"

using namespace mx40d;

namespace {

constexpr int kRecords = 2000;

class QuietNotice : public UserNotice {
  public:
    void showMessage(const std::string&, const std::string&) override {}
    void processPendingEvents() override {}
};

void BM_LogDownload(benchmark::State& state) {
    const std::int64_t timerMs = state.range(0);
    const double reportsPerMs = 1.0;  // the simulator's default link pace
    const std::filesystem::path root = std::filesystem::temp_directory_path() /
                                       ("mx40d-bench-engine-" + std::to_string(::getpid()));
    double simMs = 0;
    std::int64_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "DATABASE");
        std::filesystem::create_directories(root / "DEBUG_SESSION");
        FakeClock clock;
        sim::SimHidBackend backend(clock);
        sim::SimMachineConfig config;
        config.prefilledRecords = kRecords;
        config.reportsPerMs = reportsPerMs;
        sim::SimMachine& machine = backend.addMachine("sim:bench", config);
        HidTransport link(backend);
        link.openPath("sim:bench", sim::kVendorId, sim::kProductDuplicator);
        QuietNotice notice;
        MachineController controller(clock, notice);
        MessageLink ml{&HidTransport::receiveCallback, &HidTransport::sendCallback, &link,
                       &HidTransport::keepWaitingCallback};
        controller.connect(ml, nullptr, root / "DEBUG_SESSION", root / "DATABASE", 0, 0);
        const auto tick = [&] {
            if (link.awaitingResponse()) link.pollReceive();
            controller.step();
            clock.advance(timerMs);
        };
        while (controller.engine().phase() != MachineProtocol::kPolling)
            tick();
        state.ResumeTiming();

        // From the end of the start-up to the last record on disk.
        const std::int64_t from = clock.nowMs();
        const auto last = static_cast<std::int32_t>(machine.logStartNo() + machine.logQty() - 1);
        while (controller.machineInfo().lastStoredLogNo() != last)
            tick();
        simMs += static_cast<double>(clock.nowMs() - from);
        records += kRecords;
    }
    std::filesystem::remove_all(root);
    state.SetItemsProcessed(records);
    state.counters["records_per_sim_s"] = simMs > 0 ? records * 1000.0 / simMs : 0;
    // Each record's answer is five reports on a link of `reportsPerMs` reports per ms.
    state.counters["link_limit_records_per_s"] = reportsPerMs * 1000.0 / 5.0;
}
BENCHMARK(BM_LogDownload)->Arg(10)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
