// Reports over a large log database: 1,000,000 duplicator records in copy jobs of 20 ports
// (a source and 19 targets). Each run prints its time and the peak of heap memory it used on
// top of the records already in memory (peak_MiB).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/MachineInfo.h"
#include "reports/Export.h"
#include "reports/LogDatabase.h"
#include "reports/PdfWriter.h"
#include "reports/ProtectedText.h"
#include "reports/ReportGenerator.h"

// Heap accounting: current and peak bytes in use.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<long long> gInUse{0};
std::atomic<long long> gPeak{0};

void* track(void* p) {
    if (p == nullptr) throw std::bad_alloc();
    long long now = gInUse += static_cast<long long>(malloc_usable_size(p));
    long long peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}
void untrack(void* p) {
    if (p != nullptr) gInUse -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
    return track(std::malloc(n == 0 ? 1 : n));
}
void* operator new[](std::size_t n) {
    return track(std::malloc(n == 0 ? 1 : n));
}
void operator delete(void* p) noexcept {
    untrack(p);
}
void operator delete[](void* p) noexcept {
    untrack(p);
}
void operator delete(void* p, std::size_t) noexcept {
    untrack(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    untrack(p);
}

using namespace mx40d;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kRecords = 1000000;
constexpr int kPortsPerJob = 20;
const CalendarDate kFrom{2020, 1, 1}, kTo{2030, 12, 31};
const LocalTime kNow{2026, 12, 10, 9, 0, 0, 4};

fs::path benchDir() {
    return fs::temp_directory_path() / "mx40d-reports-bench";
}
fs::path databasePath() {
    return benchDir() / "BENCH.MX40D.LOGDATA";
}

// Writes the database once: header, then every record, in one pass.
void buildDatabase() {
    fs::create_directories(benchDir());
    if (fs::exists(databasePath()) &&
        fs::file_size(databasePath()) == logdb::kHeaderSize + kRecords * kLogRecordSize)
        return;
    if (!create_LogDatabase(databasePath())) std::abort();
    std::FILE* f = std::fopen(databasePath().c_str(), "ab");
    if (f == nullptr) std::abort();
    for (std::size_t i = 0; i < kRecords; ++i) {
        const std::size_t job = i / kPortsPerJob;
        const auto port = static_cast<std::uint16_t>(i % kPortsPerJob + 1);
        LogRecord r('3');
        r.setIndexNo(static_cast<std::uint32_t>(i));
        r.setJobGroupNo(static_cast<std::uint8_t>(job));
        r.setJobCode(3);
        r.setPortNo(port);
        r.setSectorSize(512);
        r.setModel("WDC WD10EZEX-08WN4A0");
        r.setVersion("01.01A01");
        r.setSerialNo("WD-WCC6Y" + std::to_string(1000000 + i));
        r.setCapacity(1953525168);
        r.setJobCapacity(1953525168);
        r.setDataSize(234567890);
        r.setDate({static_cast<std::uint8_t>(21 + job % 5), static_cast<std::uint8_t>(1 + job % 12),
                   static_cast<std::uint8_t>(1 + job % 28), 10, 20, 30});
        r.setResult(i % 97 == 0 ? 7 : 0);
        r.setReadSpeed(300000);
        r.setWriteSpeed(280000);
        r.setSpendMiniSecond(static_cast<std::uint32_t>(3600000 + i % 1000));
        if (port == 1) {
            r.setCrc64Low(0x89ABCDEF);
            r.setCrc64High(0x01234567);
        }
        r.set_power_cycle(1200);
        r.set_power_on_hours(30000);
        std::fwrite(r.data(), 1, kLogRecordSize, f);
    }
    std::fclose(f);
}

MachineInfo machine() {
    MachineInfo info;
    info.setDeviceType('3');
    info.set_support_LogRecord(1);
    info.setMachineId("BENCH");
    info.setNickName("Bench line");
    info.setModelName("MX40D-20");
    info.setVersion("v1.0.0");
    info.setMaxDeviceQty(20);
    return info;
}

const std::vector<LogRecord>& records() {
    static const std::vector<LogRecord> all = [] {
        buildDatabase();
        return read_LogFile(databasePath(), '3').records;
    }();
    return all;
}

// Runs one measured operation and reports its heap peak over the state before it.
template <class Op>
void measure(benchmark::State& state, Op op) {
    records();
    for (auto _ : state) {
        const long long base = gInUse.load();
        gPeak = base;
        std::size_t bytes = op();
        state.counters["peak_MiB"] = static_cast<double>(gPeak.load() - base) / (1 << 20);
        state.counters["out_MiB"] = static_cast<double>(bytes) / (1 << 20);
    }
}

void BM_ReadDatabase(benchmark::State& state) {
    measure(state, [] {
        LogFile f = read_LogFile(databasePath(), '3');
        return f.records.size() * kLogRecordSize;
    });
}

void BM_ScreenReport(benchmark::State& state) {
    measure(state, [] {
        Report r = generate_Report(records(), machine(), kFrom, kTo, ReportForm::Screen, kNow);
        return r.text.size();
    });
}

void BM_Csv(benchmark::State& state) {
    measure(state, [] {
        std::ofstream out(benchDir() / "out.csv", std::ios::binary | std::ios::trunc);
        writeCsvExport(out, records(), kFrom, kTo);
        return static_cast<std::size_t>(out.tellp());
    });
}

void BM_Xml(benchmark::State& state) {
    measure(state, [] {
        std::ofstream out(benchDir() / "out.xml", std::ios::binary | std::ios::trunc);
        writeXmlExport(out, records(), kFrom, kTo);
        return static_cast<std::size_t>(out.tellp());
    });
}

void BM_Pdf(benchmark::State& state) {
    measure(state, [] {
        Report r = generate_Report(records(), machine(), kFrom, kTo, ReportForm::Pdf, kNow);
        std::ofstream out(benchDir() / "out.pdf", std::ios::binary | std::ios::trunc);
        PdfWriter(r.text, out, kNow).write();
        return static_cast<std::size_t>(out.tellp());
    });
}

void BM_ProtectedText(benchmark::State& state) {
    measure(state, [] {
        Report r = generate_Report(records(), machine(), kFrom, kTo, ReportForm::Screen, kNow);
        std::string& file = r.text;
        appendWatermark(file);
        std::ofstream out(benchDir() / "out.txt", std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        return file.size();
    });
}

}  // namespace

BENCHMARK(BM_ReadDatabase)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScreenReport)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Csv)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Xml)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Pdf)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProtectedText)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
