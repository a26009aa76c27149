// The simulated machine's record throughput: how many 0x80 log records per second of wall
// time the simulator serves through the whole host stack (HidTransport over SimHidBackend),
// and how many per simulated second the link allows.
#include <benchmark/benchmark.h>

#include <vector>

#include "hid/HidTransport.h"
#include "protocol/Commands.h"
#include "protocol/Frames.h"
#include "sim/SimHidBackend.h"

using namespace mx40d;

namespace {

constexpr int kRecords = 5000;

sim::SimMachineConfig benchConfig(double reportsPerMs) {
    sim::SimMachineConfig c;
    c.prefilledRecords = kRecords;
    c.reportsPerMs = reportsPerMs;
    return c;
}

// Request loop: send 0x80, poll the link every `pollMs` of fake time until the answer is
// whole, next record. Wall-clock rate = items per second; the simulated rate is a counter.
void BM_LogRequestLoop(benchmark::State& state) {
    const std::int64_t pollMs = state.range(0);
    const double reportsPerMs = static_cast<double>(state.range(1));
    FakeClock clock;
    sim::SimHidBackend backend(clock);
    backend.addMachine("sim:bench", benchConfig(reportsPerMs));
    HidTransport link(backend);
    link.openPath("sim:bench", sim::kVendorId, sim::kProductDuplicator);
    std::vector<std::uint8_t> buf(HidTransport::kAssemblySize);
    std::uint8_t frame[kMaxCommandFrame];
    std::uint32_t no = 1;
    std::int64_t records = 0;
    const std::int64_t simStart = clock.nowMs();
    for (auto _ : state) {
        const int n = buildFrame(commands::logRecord(no), frame);
        link.send(n, frame);
        int len = 0;
        for (;;) {
            clock.advance(pollMs);
            bool got = false;
            for (int i = 0; i < 8 && !got; ++i) {
                link.pollReceive();
                got = link.receive(len, buf.data());
            }
            if (got) break;
        }
        benchmark::DoNotOptimize(buf.data());
        ++records;
        no = no % kRecords + 1;
    }
    const double simSeconds = static_cast<double>(clock.nowMs() - simStart) / 1000.0;
    state.SetItemsProcessed(records);
    state.counters["sim_records_per_sim_s"] = simSeconds > 0 ? records / simSeconds : 0;
    // The link's own limit: the answer direction carries 5 reports per record.
    state.counters["link_limit_records_per_s"] = reportsPerMs * 1000.0 / 5.0;
}
BENCHMARK(BM_LogRequestLoop)->Args({1, 1})->Args({10, 1})->Args({1, 4});

// The machine alone: parse the command frame and build the answer frame.
void BM_AnswerTo(benchmark::State& state) {
    FakeClock clock;
    sim::SimMachine machine(clock, benchConfig(1.0));
    std::uint8_t frame[kMaxCommandFrame];
    std::uint32_t no = 1;
    for (auto _ : state) {
        const int n = buildFrame(commands::logRecord(no), frame);
        auto answer = machine.answerTo(frame, static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(answer.data());
        no = no % kRecords + 1;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_AnswerTo);

}  // namespace

BENCHMARK_MAIN();
