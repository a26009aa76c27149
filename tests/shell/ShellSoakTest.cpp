#include <gtest/gtest.h>

#include <map>
#include <random>

#include "reports/LogDatabase.h"
#include "shell/MachineHub.h"
#include "support/HubFixture.h"
#include "support/SimScreen.h"

namespace mx40d {
namespace {

using testing::simMachine;
using testing::SimScreen;
using testing::TempFolder;

// Ten machines plugged and unplugged at random for a simulated hour while they run jobs and
// their logs are downloaded. Afterwards each machine's database holds every record of the
// machine exactly once and in order, and the registry lists each machine once.
class ShellSoak : public testing::HubFixture<SimScreen> {
  protected:
    ShellSoak() { screen.hub = &hub; }
};

TEST_F(ShellSoak, AnHourOfMachinesComingAndGoing) {
    constexpr int kMachines = 10;
    std::vector<std::string> paths;
    std::vector<sim::SimMachine*> machines;
    for (int i = 0; i < kMachines; ++i) {
        const std::uint8_t kind = i % 3 == 2 ? '5' : '3';
        sim::SimMachineConfig c = simMachine("SOAK-" + std::to_string(i), kind);
        c.ports = 4 + 2 * (i % 3);
        c.portsPerBoard = 4;
        c.prefilledRecords = 5 * i;
        c.logStartNo = static_cast<std::uint32_t>(1 + 100 * i);
        c.driveSectors = 400000ull * (20 + 10 * i);  // runs of a minute or two
        c.detectMs = 500;
        c.seed = static_cast<std::uint64_t>(i + 1);
        c.randomFaultRate = 0.002;
        c.randomFaultKinds = 0x3F;  // late, missing, corrupt, short, wrong header, split
        paths.push_back("sim:soak" + std::to_string(i));
        machines.push_back(&screen.backend.addMachine(paths.back(), c));
        if (i % 2 == 1) screen.backend.unplug(paths.back());
    }
    screen.startUp();

    std::mt19937 rng(20261210);
    int linkChanges = 0;
    const std::uint8_t duplicatorJobs[] = {1, 2, 3};
    const std::uint8_t eraserJobs[] = {5, 6};
    auto drive = [&](bool changeLinks) {
        for (int i = 0; i < kMachines; ++i) {
            sim::SimMachine& m = *machines[static_cast<std::size_t>(i)];
            if (m.jobCode() == 0 && rng() % 4 == 0) {
                const bool dup = m.config().kind == '3';
                m.startJob(dup ? duplicatorJobs[rng() % 3] : eraserJobs[rng() % 2]);
            } else if (m.stage() == kStageEnd) {
                if (rng() % 3 == 0)
                    m.nextRun();
                else
                    m.finishJob();
            }
            if (changeLinks && rng() % 12 == 0) {
                const std::string& p = paths[static_cast<std::size_t>(i)];
                if (screen.backend.plugged(p))
                    screen.backend.unplug(p);
                else
                    screen.backend.plug(p);
                ++linkChanges;
            }
        }
    };

    // One simulated hour, machines and links changing every few seconds.
    for (int second = 0; second < 3600; second += 5) {
        drive(true);
        screen.run(5000);
    }
    // Then all of them stay, finish their jobs and hand over their logs.
    for (const std::string& p : paths)
        screen.backend.plug(p);
    for (int second = 0; second < 600; second += 5) {
        for (sim::SimMachine* m : machines)
            if (m->stage() == kStageEnd) m->finishJob();
        screen.run(5000);
    }
    EXPECT_GT(linkChanges, 400);
    EXPECT_EQ(hub.openSlotCount(), kMachines);

    for (int i = 0; i < kMachines; ++i) {
        sim::SimMachine& m = *machines[static_cast<std::size_t>(i)];
        const std::string id = m.config().machineId;
        const LogFile db = read_LogFile(
            MachineController::logDatabaseFile(dir.root() / "DATABASE", id), m.config().kind);
        ASSERT_EQ(db.result, DatabaseResult::Pass) << id;
        ASSERT_EQ(db.count(), m.logQty()) << id;
        EXPECT_GT(m.logQty(), static_cast<std::uint32_t>(5 * i)) << id << ": jobs ran";
        for (std::uint32_t k = 0; k < m.logQty(); ++k) {
            const LogRecord* want = m.logRecord(m.logStartNo() + k);
            ASSERT_NE(want, nullptr);
            ASSERT_EQ(db.records[k].indexNo(), want->indexNo()) << id << " record " << k;
            ASSERT_EQ(db.records[k].bytes(), want->bytes()) << id << " record " << k;
        }
    }

    hub.close();
    std::map<std::string, int> listed;
    for (int r = 0; r < hub.registry().count(); ++r)
        if (hub.registry().inUse(r)) ++listed[hub.registry().record(r).machineId()];
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(kMachines));
    for (const auto& [id, times] : listed)
        EXPECT_EQ(times, 1) << id;
    EXPECT_EQ(hub.table().rowCount(), kMachines);
    hub.closeAllSlots();
    EXPECT_EQ(screen.backend.liveHandles(), 0);
}

}  // namespace
}  // namespace mx40d
