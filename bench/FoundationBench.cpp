// CRC-32 throughput and the cost of assembling the largest message from its reports.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <vector>

#include "hid/HidTransport.h"
#include "protocol/Checksums.h"

using namespace mx40d;

namespace {

void BM_Crc32(benchmark::State& state) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 31);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc32)->Arg(260)->Arg(1 << 20);

void BM_Crc16(benchmark::State& state) {
    std::vector<std::uint8_t> data(1 << 20, 0x5A);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (1 << 20));
}
BENCHMARK(BM_Crc16);

// A device that hands out the 127 reports of one 7,620-byte message, over and over.
class ReplayDevice final : public HidDevice {
  public:
    ReplayDevice() {
        for (int i = 0; i < 127; ++i) {
            auto& r = reports_[static_cast<std::size_t>(i)];
            r.fill(static_cast<std::uint8_t>(i));
            r[0] = 0;
            r[1] = 'M';
            r[2] = 127;
            r[3] = static_cast<std::uint8_t>(i + 1);
            r[4] = 60;
        }
    }
    bool attributes(std::uint16_t& v, std::uint16_t& p) override {
        v = 0x2509;
        p = 0x2001;
        return true;
    }
    bool readReport(std::uint8_t* report) override {
        if (next_ == 127) return false;
        std::memcpy(report, reports_[static_cast<std::size_t>(next_++)].data(), 65);
        return true;
    }
    bool writeReport(const std::uint8_t*) override { return true; }
    void rewind() { next_ = 0; }

  private:
    std::array<std::array<std::uint8_t, 65>, 127> reports_{};
    int next_ = 127;
};

class ReplayBackend final : public HidBackend {
  public:
    std::vector<HidInterfaceInfo> enumerate() override { return {{"replay", 0x2509, 0x2001}}; }
    std::unique_ptr<HidDevice> open(const std::string&) override {
        auto d = std::make_unique<ReplayDevice>();
        device = d.get();
        return d;
    }
    ReplayDevice* device = nullptr;
};

void BM_Reassemble7620(benchmark::State& state) {
    ReplayBackend backend;
    HidTransport link(backend);
    link.openPath("replay", 0x2509, 0x2001);
    std::vector<std::uint8_t> buffer(8192);
    for (auto _ : state) {
        backend.device->rewind();
        link.pollReceive();
        int length = 0;
        link.receive(length, buffer.data());
        benchmark::DoNotOptimize(length);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 7620);
}
BENCHMARK(BM_Reassemble7620);

}  // namespace

BENCHMARK_MAIN();
