#include "shell/MachineRegistry.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <random>

#include "base/ByteOrder.h"
#include "support/HubFixture.h"

namespace mx40d {
namespace {

using testing::machine;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

constexpr std::size_t kFile = 32760;
constexpr std::size_t recordAt(int i) {
    return 120 + 1632 * static_cast<std::size_t>(i);
}

// The file's bytes as the layout table gives them: title, version, twenty records.
std::vector<std::uint8_t> goldenFile(const std::vector<MachineInfo>& records) {
    std::vector<std::uint8_t> b(kFile, 0);
    std::memcpy(b.data(), MachineRegistry::kTitle, 100);
    std::memcpy(b.data() + 100, "2.01.10.02          ", 20);
    for (std::size_t i = 0; i < records.size(); ++i)
        std::memcpy(b.data() + recordAt(static_cast<int>(i)), records[i].data(), 1632);
    return b;
}

TEST(MachineRegistry, TitleAndVersionFillTheirFields) {
    EXPECT_EQ(std::strlen(MachineRegistry::kTitle), 100u);
    EXPECT_EQ(std::string(MachineRegistry::kTitle).rfind("Orvane Database for MX40D, ", 0), 0u);
    EXPECT_EQ(std::string(MachineRegistry::kVersion), "2.01.10.02          ");
}

TEST(MachineRegistry, CreateWritesTheEmptyRegistry) {
    TempFolder dir;
    const auto path = dir.root() / "ORVANE_MX40D.DB7";
    MachineRegistry reg;
    ASSERT_EQ(reg.create(path), DatabaseResult::Pass);
    EXPECT_EQ(readBytes(path), goldenFile({}));
    EXPECT_FALSE(reg.changed());
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
}

TEST(MachineRegistry, OpenLoadsEveryRecordAndIgnoresBytesAfterThem) {
    TempFolder dir;
    const auto path = dir.root() / "reg.DB7";
    std::vector<MachineInfo> recs;
    for (int i = 0; i < 20; ++i) {
        MachineInfo m = machine("ID-" + std::to_string(i));
        m.setInUse(i < 7 ? 1 : 0);
        m.setI32(1000, i * 77);
        recs.push_back(m);
    }
    for (const std::size_t extra : {std::size_t{0}, std::size_t{1}, std::size_t{5000}}) {
        auto bytes = goldenFile(recs);
        bytes.resize(kFile + extra, 0xAB);
        writeBytes(path, bytes);
        MachineRegistry reg;
        ASSERT_EQ(reg.open(path), DatabaseResult::Pass) << extra;
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(reg.record(i), recs[static_cast<std::size_t>(i)]) << i;
            EXPECT_EQ(reg.inUse(i), i < 7);
        }
        EXPECT_FALSE(reg.changed());
    }
}

TEST(MachineRegistry, OpenResultsForBadFilesLeaveTheFileAlone) {
    auto withVersion = [](const char* v) {
        auto b = goldenFile({});
        std::memcpy(b.data() + 100, v, 20);
        return b;
    };
    auto withTitleByte = [](std::size_t at) {
        auto b = goldenFile({});
        b[at] ^= 0x20;
        return b;
    };
    auto cut = [](std::size_t n) {
        auto b = goldenFile({});
        b.resize(n);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        DatabaseResult expected;
    };
    const Case cases[] = {
        {"empty", {}, DatabaseResult::Corrupt},
        {"one byte", {'O'}, DatabaseResult::WrongTitle},
        {"title cut", cut(60), DatabaseResult::WrongTitle},
        {"title only", cut(100), DatabaseResult::WrongVersion},
        {"header only", cut(120), DatabaseResult::Corrupt},
        {"one byte short", cut(kFile - 1), DatabaseResult::Corrupt},
        {"first title byte", withTitleByte(0), DatabaseResult::WrongTitle},
        {"last title byte", withTitleByte(99), DatabaseResult::WrongTitle},
        {"next version", withVersion("2.01.10.03          "), DatabaseResult::WrongVersion},
        {"terminated version", withVersion("2.01.10.02\0         "), DatabaseResult::WrongVersion},
    };
    TempFolder dir;
    const auto path = dir.root() / "reg.DB7";
    for (const Case& c : cases) {
        writeBytes(path, c.bytes);
        MachineRegistry reg;
        EXPECT_EQ(reg.open(path), c.expected) << c.name;
        EXPECT_FALSE(reg.inUse(0)) << c.name;
        reg.close();
        EXPECT_EQ(readBytes(path), c.bytes) << c.name;
    }
    MachineRegistry missing;
    EXPECT_EQ(missing.open(dir.root() / "absent.DB7"), DatabaseResult::NotExist);
    EXPECT_EQ(missing.open(dir.root()), DatabaseResult::Corrupt);  // a folder reads nothing
}

TEST(MachineRegistry, AnyBytesGiveAResult) {
    TempFolder dir;
    const auto path = dir.root() / "reg.DB7";
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        // Random lengths around the interesting sizes, random or header-prefixed content.
        const std::size_t sizes[] = {0, 50, 100, 119, 120, 121, kFile - 1, kFile, kFile + 77};
        std::vector<std::uint8_t> b(sizes[rng() % std::size(sizes)] + rng() % 3);
        for (auto& x : b)
            x = static_cast<std::uint8_t>(rng());
        if (round % 2 == 0) {
            const auto g = goldenFile({});
            std::copy_n(g.begin(), std::min(b.size(), std::size_t{120}), b.begin());
        }
        writeBytes(path, b);
        MachineRegistry reg;
        const DatabaseResult r = reg.open(path);
        if (r == DatabaseResult::Pass) {
            EXPECT_GE(b.size(), kFile);
        } else {
            EXPECT_FALSE(reg.changed());
        }
    }
}

TEST(MachineRegistry, AddSavesAtOnceWithTheLocalLogRangeReset) {
    TempFolder dir;
    const auto path = dir.root() / "reg.DB7";
    MachineRegistry reg;
    ASSERT_EQ(reg.create(path), DatabaseResult::Pass);
    MachineInfo a = machine("AAA");
    a.setReserved336(99);
    a.setLastStoredLogNo(41);
    int index = -1;
    ASSERT_TRUE(reg.add(a, index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(a.reserved336(), 0);  // the caller sees the change
    EXPECT_EQ(a.lastStoredLogNo(), 0);
    MachineInfo b = machine("BBB");
    ASSERT_TRUE(reg.add(b, index));
    EXPECT_EQ(index, 1);

    const auto bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), kFile);
    for (int i = 0; i < 2; ++i) {
        const std::size_t at = recordAt(i);
        EXPECT_EQ(bytes[at], 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[at + 32])),
                  i == 0 ? "AAA" : "BBB");
        EXPECT_EQ(readLe32(&bytes[at + 336]), 0u);
        EXPECT_EQ(readLe32(&bytes[at + 340]), 0u);
        EXPECT_EQ(bytes[at + 1], '3');
    }
    EXPECT_EQ(bytes[recordAt(2)], 0);
    EXPECT_FALSE(reg.changed());
    MachineRegistry again;
    ASSERT_EQ(again.open(path), DatabaseResult::Pass);
    EXPECT_EQ(again.record(1), reg.record(1));
}

TEST(MachineRegistry, AddToAFullRegistryChangesAndWritesNothing) {
    TempFolder dir;
    const auto path = dir.root() / "reg.DB7";
    MachineRegistry reg;
    ASSERT_EQ(reg.create(path), DatabaseResult::Pass);
    for (int i = 0; i < 20; ++i)
        reg.update(i, machine("M" + std::to_string(i)));
    const auto fileBefore = readBytes(path);
    const MachineInfo last = reg.record(19);
    MachineInfo extra = machine("NEW");
    extra.setLastStoredLogNo(5);
    int index = -1;
    EXPECT_FALSE(reg.add(extra, index));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(extra.lastStoredLogNo(), 5);
    EXPECT_EQ(reg.record(19), last);
    EXPECT_EQ(readBytes(path), fileBefore);
}

TEST(MachineRegistry, FindComparesMachineIdsOfEveryRecord) {
    MachineRegistry reg;
    reg.update(0, machine("SN-1"));
    reg.update(1, machine(""));
    reg.update(2, machine("SN-2"));
    struct Case {
        std::string id;
        bool found;
        int index;
    } cases[] = {
        {"SN-2", true, 2},  {"SN-1", true, 0}, {"sn-1", false, -1},
        {"SN-", false, -1}, {"", true, 1},  // the first record with an empty ID, in use or not
    };
    for (const auto& c : cases) {
        int index = -1;
        EXPECT_EQ(reg.find(machine(c.id), index), c.found) << c.id;
        EXPECT_EQ(index, c.index) << c.id;
    }
    MachineRegistry fresh;  // all records free with empty IDs
    int index = -1;
    EXPECT_TRUE(fresh.find(machine(""), index));
    EXPECT_EQ(index, 0);
}

TEST(MachineRegistry, UpdateMarksInUseAndCloseSavesOnlyChanges) {
    TempFolder dir;
    const auto path = dir.root() / "reg.DB7";
    MachineRegistry reg;
    ASSERT_EQ(reg.create(path), DatabaseResult::Pass);
    reg.update(-1, machine("X"));
    reg.update(20, machine("X"));
    EXPECT_FALSE(reg.changed());
    EXPECT_EQ(reg.record(20), MachineInfo{});
    reg.update(3, machine("X"));
    EXPECT_TRUE(reg.inUse(3));
    EXPECT_EQ(readBytes(path), goldenFile({}));  // updates wait for close
    reg.close();
    MachineRegistry again;
    ASSERT_EQ(again.open(path), DatabaseResult::Pass);
    EXPECT_EQ(again.record(3).machineId(), "X");

    // Unchanged: close leaves the file alone, even one written by someone else since.
    writeBytes(path, {1, 2, 3});
    again.close();
    EXPECT_EQ(readBytes(path), (std::vector<std::uint8_t>{1, 2, 3}));
}

// A save that cannot finish leaves the previous file as it was, byte for byte.
TEST(MachineRegistry, FailedSavesLeaveThePreviousFile) {
    TempFolder dir;
    const auto path = dir.root() / "reg.DB7";
    MachineRegistry reg;
    ASSERT_EQ(reg.create(path), DatabaseResult::Pass);
    MachineInfo a = machine("KEPT");
    int index = 0;
    ASSERT_TRUE(reg.add(a, index));
    const auto before = readBytes(path);
    reg.update(1, machine("LOST"));

    // The disk fills up part-way through the write.
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 10000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const DatabaseResult r = reg.save();
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
        EXPECT_EQ(r, DatabaseResult::WriteFail);
    }
    EXPECT_EQ(readBytes(path), before);
    EXPECT_TRUE(reg.changed());

    // The temporary file cannot be made.
    std::filesystem::create_directory(path.string() + ".tmp");
    std::filesystem::create_directory(path.string() + ".tmp/x");
    EXPECT_EQ(reg.save(), DatabaseResult::CreateFail);
    EXPECT_EQ(readBytes(path), before);
    std::filesystem::remove_all(path.string() + ".tmp");

    // And the next start loads the previous registry.
    MachineRegistry next;
    ASSERT_EQ(next.open(path), DatabaseResult::Pass);
    EXPECT_EQ(next.record(0).machineId(), "KEPT");
    EXPECT_FALSE(next.inUse(1));

    // Once there is room again the save goes through.
    EXPECT_EQ(reg.save(), DatabaseResult::Pass);
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
    ASSERT_EQ(next.open(path), DatabaseResult::Pass);
    EXPECT_EQ(next.record(1).machineId(), "LOST");
}

}  // namespace
}  // namespace mx40d
