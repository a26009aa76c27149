// The machine panel of a machine whose log database holds 1,000,000 records: time to build
// and show it, and the memory it takes beyond the database's own size (the process's resident
// set before and after). Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "machine_ui/ui/Form_machinehdd.h"
#include "reports/LogDatabase.h"

namespace {

struct NoRequests : mx40d::MachineRequests {
    void requestJob(mx40d::JobRequest) override {}
    void setNickname(const std::string&) override {}
};

long residentKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

std::filesystem::path makeDatabase(std::size_t records) {
    const auto dir = std::filesystem::temp_directory_path() / "mx40d-bench-panel";
    std::filesystem::create_directories(dir);
    const auto db = dir / "BIG.MX40D.LOGDATA";
    if (std::filesystem::exists(db) &&
        std::filesystem::file_size(db) == mx40d::logdb::kHeaderSize + records * 256)
        return db;
    mx40d::create_LogDatabase(db);
    std::ofstream out(db, std::ios::binary | std::ios::app);
    std::vector<std::uint8_t> chunk(4096 * 256);
    for (std::size_t done = 0; done < records;) {
        const std::size_t n = std::min<std::size_t>(4096, records - done);
        for (std::size_t i = 0; i < n; ++i) {
            mx40d::LogRecord r(mx40d::kDuplicatorKind);
            r.setIndexNo(static_cast<std::uint32_t>(done + i));
            r.setPortNo(static_cast<std::uint16_t>(1 + (done + i) % 20));
            r.setSectorSize(512);
            r.setCapacity(976773168);
            r.setModel("BENCH DISK");
            r.setJobCode(1);
            std::copy(r.data(), r.data() + 256, chunk.begin() + static_cast<long>(i * 256));
        }
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  static_cast<std::streamsize>(n * 256));
        done += n;
    }
    return db;
}

void BM_PanelOfAMillionRecords(benchmark::State& state) {
    const auto db = makeDatabase(1000000);
    const double dbMiB = static_cast<double>(std::filesystem::file_size(db)) / (1 << 20);
    mx40d::MachineInfo info;
    info.setDeviceType(mx40d::kDuplicatorKind);
    info.setMachineId("BIG");
    info.setModelName("MX-4000");
    info.setMaxDeviceQty(20);
    info.setFeatureFlag(1, 1);
    info.set_support_LogRecord(1);
    NoRequests requests;
    double seconds = 0;
    double extraMiB = 0;
    double built = 0;
    for (auto _ : state) {
        QWidget sheet;
        sheet.setLayout(new QVBoxLayout);
        sheet.resize(1300, 800);
        const long before = residentKiB();
        const auto t0 = std::chrono::steady_clock::now();
        auto panel = std::make_unique<mx40d::ui::MachinePanel>(&sheet, nullptr);
        panel->buildPanel(info, requests, db, db.parent_path());
        const auto tb = std::chrono::steady_clock::now();
        built = std::chrono::duration<double>(tb - t0).count();
        sheet.show();
        QApplication::processEvents();
        const auto t1 = std::chrono::steady_clock::now();
        seconds = std::chrono::duration<double>(t1 - t0).count();
        // The database is mapped, not read: what it costs is what the process grew by.
        extraMiB = static_cast<double>(residentKiB() - before) / 1024.0;
        benchmark::DoNotOptimize(panel->logModel()->rowCount());
    }
    state.counters["shown_s"] = seconds;
    state.counters["built_s"] = built;
    state.counters["db_MiB"] = dbMiB;
    state.counters["resident_growth_MiB"] = extraMiB;
}
BENCHMARK(BM_PanelOfAMillionRecords)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
