#include <gtest/gtest.h>

#include "base/ByteOrder.h"
#include "machine_ui/DeviceRecords.h"
#include "reports/LogRecord.h"
#include "support/SimHost.h"

using namespace mx40d;
using namespace mx40d::testing;

namespace {

constexpr std::uint64_t kSectors = 1000000;  // small drives: a pass takes 2.5 s

sim::SimMachineConfig small(std::uint8_t kind = kDuplicatorKind) {
    sim::SimMachineConfig c;
    c.kind = kind;
    c.ports = 4;
    c.portsPerBoard = 4;
    c.machineId = "JOB-1";
    c.driveSectors = kSectors;
    c.sectorsPerSecond = 400000;
    c.detectMs = 2000;
    return c;
}

struct JobHost : SimHost {
    using SimHost::SimHost;
    MachineStatus status() {
        const Bytes a = valid(commands::status());
        MachineStatus s;
        EXPECT_TRUE(parseStatusAnswer(a.data(), static_cast<int>(a.size()), s));
        return s;
    }
    // "D" records of every port, decoded.
    std::vector<std::pair<DeviceStatus, DeviceInfo>> d() {
        const Bytes a = valid(commands::deviceInfo(1, machine->ports()));
        const DeviceBlockEvent ev =
            parseDeviceAnswer(a.data(), static_cast<int>(a.size()), 0, 0, machine->ports());
        std::vector<std::pair<DeviceStatus, DeviceInfo>> out;
        for (int i = 0; i < ev.count; ++i) {
            const std::uint8_t* p = ev.records + i * kDeviceEntrySize;
            out.emplace_back(DeviceStatus(p, DeviceStatus::kSize),
                             DeviceInfo(p + DeviceStatus::kSize, DeviceInfo::kSize));
        }
        return out;
    }
    std::vector<DeviceStatus> e() {
        const Bytes a = valid(commands::deviceStatus(1, machine->ports()));
        const DeviceBlockEvent ev =
            parseDeviceAnswer(a.data(), static_cast<int>(a.size()), 1, 0, machine->ports());
        std::vector<DeviceStatus> out;
        for (int i = 0; i < ev.count; ++i)
            out.emplace_back(ev.records + i * DeviceStatus::kSize, DeviceStatus::kSize);
        return out;
    }
    Bytes request(JobRequest r) { return valid(commands::jobRequest(r)); }
    LogRecord record(std::uint32_t no) {
        const Bytes a = valid(commands::logRecord(no));
        const std::uint8_t* rec = nullptr;
        std::uint32_t got = 0;
        EXPECT_TRUE(parseLogRecordAnswer(a.data(), static_cast<int>(a.size()), rec, got));
        return rec ? LogRecord(machine->config().kind, rec, kLogRecordSize) : LogRecord();
    }
};

TEST(SimJob, CopyCompareRunsThroughItsStagesAndLogsEveryPort) {
    JobHost host(small());
    host.clock.setLocalTime({2026, 12, 10, 9, 30, 0, 4});
    // The last target is smaller than the source: it fails when it is full.
    sim::SimDrive tiny = host.machine->drive(3);
    tiny.sectorCount = kSectors / 2;
    host.machine->setDrive(3, tiny);

    Bytes a = host.request(JobRequest::CopyCompare);
    ASSERT_EQ(a.size(), 7u);
    EXPECT_EQ(a[3], 0);  // accepted
    EXPECT_EQ(a[4], '3');
    EXPECT_EQ(host.request(JobRequest::Copy)[3], 1);  // busy: refused

    MachineStatus s = host.status();
    EXPECT_EQ(s.jobCode(), 3);
    EXPECT_EQ(s.stage(), kStageDetect);
    auto d = host.d();
    ASSERT_EQ(d.size(), 4u);
    for (const auto& [st, info] : d) {
        EXPECT_EQ(st.portState(), sim::kPortTurningOn);
        EXPECT_EQ(st.present(), 1);
        EXPECT_EQ(info.sectorSize(), 0);  // not identified yet
    }

    host.clock.advance(2000 + 1250);  // detect, then half the copy
    s = host.status();
    EXPECT_EQ(s.stage(), kStageCopy);
    d = host.d();
    EXPECT_EQ(d[0].first.portState(), sim::kPortRead);
    EXPECT_EQ(d[1].first.portState(), sim::kPortWrite);
    EXPECT_EQ(d[0].first.copyTotal(), kSectors);
    EXPECT_NEAR(static_cast<double>(d[1].first.copyDone()), kSectors / 2.0,
                20000);  // the exchanges take a few ms
    EXPECT_EQ(d[1].first.speedTime(), 1000000u);
    EXPECT_NEAR(d[1].first.speedSectors(), 400000, 400000 * 0.031);
    EXPECT_EQ(d[2].second.sectorCount(), kSectors);
    EXPECT_EQ(d[2].second.sectorSize(), 512);
    EXPECT_EQ(d[2].second.model(), "SIMDISK HD500G");
    EXPECT_FALSE(d[2].second.serialNo().empty());

    host.clock.advance(1300);  // copy over, compare running
    s = host.status();
    EXPECT_EQ(s.stage(), kStageCompare);
    auto e = host.e();
    EXPECT_EQ(e[1].portState(), sim::kPortCompare);
    EXPECT_EQ(e[3].portState(), sim::kPortDone);
    EXPECT_EQ(e[3].failed(), 1);
    EXPECT_EQ(e[3].copyDone(), kSectors / 2);
    EXPECT_EQ(host.machine->logQty(), 0u);

    host.clock.advance(3000);
    s = host.status();
    EXPECT_EQ(s.jobCode(), 3);
    EXPECT_EQ(s.stage(), kStageEnd);  // waits for Finish or Next RUN
    EXPECT_EQ(s.logQty(), 4u);
    EXPECT_EQ(s.number(0), 4u);  // ports in the run, passed, failed
    EXPECT_EQ(s.number(1), 3u);
    EXPECT_EQ(s.number(2), 1u);
    e = host.e();
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(e[p].portState(), sim::kPortDone);
        EXPECT_EQ(e[p].failed(), p == 3 ? 1 : 0);
    }

    for (std::uint32_t no = 1; no <= 4; ++no) {
        const LogRecord r = host.record(no);
        EXPECT_EQ(r.indexNo(), no);
        EXPECT_EQ(r.portNo(), no);
        EXPECT_EQ(r.jobCode(), 3);
        EXPECT_EQ(r.jobGroupNo(), 1);
        EXPECT_EQ(r.date(), (LogDate{26, 12, 10, 9, 30, 0}));
        EXPECT_EQ(r.result(), no == 4 ? 0x21 : 0);
        EXPECT_EQ(r.jobCapacity(), kSectors);
        EXPECT_EQ(r.capacity(), no == 4 ? kSectors / 2 : kSectors);
        EXPECT_EQ(r.readSpeed(), 400000u);
        EXPECT_EQ(r.writeSpeed(), no == 1 ? 0u : 400000u);
        // Only the source carries the checksum of the copied data.
        EXPECT_EQ(r.crc64Low() != 0 || r.crc64High() != 0, no == 1);
        EXPECT_EQ(r.power_cycle(), host.machine->drive(static_cast<int>(no) - 1).powerCycles);
        EXPECT_EQ(r.power_on_hours(), host.machine->drive(static_cast<int>(no) - 1).powerOnHours);
    }
    // Detect 2 s, copy 2.5 s, compare 2.5 s; the short target stops after 1.25 s of copy.
    EXPECT_EQ(host.record(1).spendMiniSecond(), 7000u);
    EXPECT_EQ(host.record(4).spendMiniSecond(), 3250u);

    // Next RUN: same job, new group; Finish: idle.
    EXPECT_EQ(host.request(JobRequest::NextRun)[3], 0);
    EXPECT_EQ(host.status().stage(), kStageDetect);
    host.clock.advance(60000);
    EXPECT_EQ(host.status().logQty(), 8u);
    EXPECT_EQ(host.record(5).jobGroupNo(), 2);
    EXPECT_EQ(host.request(JobRequest::Finish)[3], 0);
    s = host.status();
    EXPECT_EQ(s.jobCode(), 0);
    EXPECT_EQ(s.stage(), kStageIdle);
    EXPECT_EQ(host.request(JobRequest::Stop)[3], 1);  // nothing to stop
}

TEST(SimJob, EraseJobsShowPassesPatternsAndResults) {
    struct Case {
        std::uint8_t job;
        int passes;
        std::uint8_t state;
    };
    const Case cases[] = {{6, 1, sim::kPortErase},
                          {7, 3, sim::kPortErase},
                          {9, 7, sim::kPortErase},
                          {16, 1, sim::kPortSecurityErase}};
    for (const Case& c : cases) {
        JobHost host(small(kEraserKind));
        sim::SimDrive bad = host.machine->drive(2);
        bad.failsNextRun = true;
        host.machine->setDrive(2, bad);
        host.machine->removeDrive(3);
        ASSERT_TRUE(host.machine->startJob(c.job));
        EXPECT_FALSE(host.machine->startJob(c.job));
        // Into the last pass, a fifth of the way.
        host.clock.advance(2000 + (c.passes - 1) * 2500 + 500);
        auto e = host.e();
        EXPECT_EQ(e[0].portState(), c.state);
        EXPECT_EQ(e[0].eraseLoop(), c.passes - 1);
        EXPECT_EQ(e[0].eraseResult(), DeviceStatus::kEraseRunning);
        EXPECT_EQ(e[0].eraseDone(), kSectors / 5);
        const std::uint8_t patterns[7] = {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x96};
        EXPECT_EQ(e[0].erasePattern(), patterns[c.passes - 1]);
        EXPECT_EQ(e[3].present(), 0);

        host.clock.advance(c.passes * 2500);
        EXPECT_EQ(host.status().stage(), kStageEnd);
        e = host.e();
        EXPECT_EQ(e[0].eraseResult(), DeviceStatus::kErasePassed);
        EXPECT_EQ(e[0].eraseDone(), kSectors);
        EXPECT_EQ(e[2].eraseResult(), DeviceStatus::kEraseFailed);
        ASSERT_EQ(host.machine->logQty(), 3u);  // the empty port is not logged
        const LogRecord ok = host.record(1);
        const LogRecord failed = host.record(3);
        EXPECT_EQ(ok.jobCode(), c.job);
        EXPECT_EQ(ok.result(), 0);
        EXPECT_EQ(ok.badSectorQty(), 0u);
        EXPECT_EQ(ok.machineIdText(), "JOB-1");
        EXPECT_EQ(failed.portNo(), 3);
        EXPECT_EQ(failed.result(), 0x31);
        EXPECT_GT(failed.badSectorQty(), 0u);
        EXPECT_LT(failed.firstBadSectorAddr(), kSectors);
        EXPECT_TRUE(host.machine->finishJob());
    }
}

TEST(SimJob, GetIdStopAndMissingSource) {
    {
        JobHost host(small());
        host.machine->removeDrive(1);
        EXPECT_EQ(host.request(JobRequest::GetId)[3], 0);
        EXPECT_EQ(host.status().jobCode(), 26);
        host.clock.advance(2000);
        EXPECT_EQ(host.status().stage(), kStageEnd);
        const auto d = host.d();
        EXPECT_EQ(d[0].first.present(), 1);
        EXPECT_EQ(d[1].first.present(), 0);
        EXPECT_EQ(d[0].second.sectorCount(), kSectors);
        EXPECT_EQ(host.machine->logQty(), 3u);
    }
    {
        JobHost host(small());
        host.machine->startJob(1);
        host.clock.advance(2000 + 1000);
        EXPECT_EQ(host.request(JobRequest::Stop)[3], 0);
        EXPECT_EQ(host.status().stage(), kStageEnd);
        const auto e = host.e();
        EXPECT_EQ(e[1].failed(), 1);
        EXPECT_EQ(e[1].copyDone(), 400000u);
        EXPECT_EQ(host.record(2).result(), 0x0F);
        EXPECT_EQ(host.record(2).spendMiniSecond(), 3000u);
    }
    {
        JobHost host(small());
        host.machine->removeDrive(0);
        host.machine->startJob(2);
        host.clock.advance(2000);
        EXPECT_EQ(host.status().stage(), kStageEnd);
        for (const auto& st : host.e())
            EXPECT_EQ(st.failed(), st.present() ? 1 : 0);
    }
}

TEST(SimJob, FailureRateIsDeterministicForASeed) {
    auto failures = [](std::uint64_t seed) {
        sim::SimMachineConfig c = small();
        c.ports = 16;
        c.failureRate = 0.3;
        c.seed = seed;
        FakeClock clock;
        sim::SimMachine m(clock, c);
        std::vector<int> out;
        for (int run = 0; run < 4; ++run) {
            m.startJob(1);
            clock.advance(60000);
            for (int p = 0; p < 16; ++p)
                out.push_back(m.deviceStatus(p).failed());
            m.nextRun();
        }
        return out;
    };
    const auto a = failures(7);
    EXPECT_EQ(a, failures(7));
    EXPECT_NE(a, failures(8));
    const int failed = static_cast<int>(std::count(a.begin(), a.end(), 1));
    EXPECT_GT(failed, 5);
    EXPECT_LT(failed, 40);
}

TEST(SimJob, LogStartCapacityAndReset) {
    sim::SimMachineConfig c = small();
    c.logStartNo = 300;
    c.prefilledRecords = 10;
    c.logCapacity = 12;
    FakeClock clock;
    sim::SimMachine m(clock, c);
    EXPECT_EQ(m.logStartNo(), 300u);
    EXPECT_EQ(m.logQty(), 10u);
    ASSERT_NE(m.logRecord(309), nullptr);
    EXPECT_EQ(readBe32(m.logRecord(309)->data()), 309u);
    EXPECT_EQ(m.logRecord(310), nullptr);
    EXPECT_EQ(m.logRecord(299), nullptr);

    m.startJob(26);
    clock.advance(5000);
    // 14 records made, 12 kept: the two oldest went.
    EXPECT_EQ(m.logStartNo(), 302u);
    EXPECT_EQ(m.logQty(), 12u);
    EXPECT_EQ(m.logRecord(313)->portNo(), 4);

    m.resetLog(1);
    EXPECT_EQ(m.logStartNo(), 1u);
    EXPECT_EQ(m.logQty(), 0u);
    EXPECT_EQ(m.status().logQty(), 0u);
}

}  // namespace

namespace {

// A machine nobody talks to still runs its job: asking for its stage catches up.
TEST(SimJob, RunsOnWithoutTheHost) {
    FakeClock clock;
    sim::SimMachine m(clock, small());
    ASSERT_TRUE(m.startJob(5));
    clock.advance(2000 + 2500 + 10);  // quick erase of 1,000,000 sectors at 400,000 per s
    EXPECT_EQ(m.stage(), kStageEnd);
    EXPECT_EQ(m.jobCode(), 5);
    EXPECT_EQ(m.logQty(), 4u);
    EXPECT_TRUE(m.finishJob());
    EXPECT_EQ(m.jobCode(), 0);
}

}  // namespace
