#include "reports/LogDatabase.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "protocol/MachineInfo.h"
#include "support/Fixtures.h"

namespace fs = std::filesystem;
using namespace mx40d::testing;

namespace mx40d {
namespace {

using Bytes = std::vector<std::uint8_t>;

class LogDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = freshTestDir(std::string("logdb-") +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        path_ = logdb::logFilePath(dir_, "DUP-01");
        info_.setDeviceType('3');
        info_.setLastStoredLogNo(12345);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static Bytes readAll(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void writeAll(const fs::path& p, const Bytes& b) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    static Bytes record(std::uint32_t index) {
        LogRecord r('3');
        r.setIndexNo(index);
        r.setPortNo(static_cast<std::uint16_t>(index % 7 + 1));
        return Bytes(r.bytes().begin(), r.bytes().end());
    }
    // The header, laid out from the file's table.
    static Bytes goldenHeader() {
        Bytes h(512, 0);
        std::string title = "Orvane Database for MX40D LOG";
        std::memcpy(h.data(), logdb::kTitle, 100);
        EXPECT_EQ(std::memcmp(h.data(), title.data(), title.size()), 0);
        std::memcpy(h.data() + 120, "2.01.10.03          ", 20);
        return h;
    }

    fs::path dir_, path_;
    MachineInfo info_;
};

TEST_F(LogDatabaseTest, CreateWritesTheExactHeader) {
    ASSERT_TRUE(create_LogDatabase(path_));
    EXPECT_EQ(path_.filename(), "DUP-01.MX40D.LOGDATA");
    Bytes file = readAll(path_);
    EXPECT_EQ(file, goldenHeader());
    // The title is exactly 100 printable characters, blank-padded.
    EXPECT_EQ(std::strlen(logdb::kTitle), 100u);
    EXPECT_EQ(logdb::kTitle[99], ' ');
    EXPECT_NE(logdb::kTitle[28], ' ');
}

TEST_F(LogDatabaseTest, ResultTexts) {
    const char* texts[] = {"PASS",
                           "DATABASE_NOT_EXIST",
                           "MEMORY_NOT_ENOUGH_FOR_DATABASE",
                           "DATABASE_CORRUPT",
                           "DATABASE_WRONG_TITLE",
                           "DATABASE_WRONG_VERSION",
                           "DATABASE_CREATE_FAIL",
                           "DATABASE_WRITE_FAIL"};
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(get_DatabaseResultText(c), texts[c]);
    EXPECT_EQ(get_DatabaseResultText(8), "unknown error code (8)");
    EXPECT_EQ(get_DatabaseResultText(255), "unknown error code (255)");
    EXPECT_EQ(get_DatabaseResultText(DatabaseResult::Corrupt), "DATABASE_CORRUPT");
}

TEST_F(LogDatabaseTest, MissingFileIsCreatedByOpenButNotByRead) {
    EXPECT_EQ(read_LogFile(path_, '3').result, DatabaseResult::NotExist);
    EXPECT_FALSE(fs::exists(path_));
    EXPECT_EQ(open_LogDatabase(path_, info_), DatabaseResult::Pass);
    EXPECT_EQ(info_.lastStoredLogNo(), -1);
    EXPECT_EQ(readAll(path_), goldenHeader());
    LogFile f = read_LogFile(path_, '3');
    EXPECT_EQ(f.result, DatabaseResult::Pass);
    EXPECT_EQ(f.count(), 0u);
}

TEST_F(LogDatabaseTest, OpenFailsWithCreateFailWhenTheFolderIsMissing) {
    EXPECT_EQ(open_LogDatabase(dir_ / "no" / "x.LOGDATA", info_), DatabaseResult::CreateFail);
}

TEST_F(LogDatabaseTest, MachineIdsNeverChooseAFolder) {
    for (const char* id : {"../up", "a/b", "/abs", "..", "c\\d"}) {
        fs::path p = logdb::logFilePath(dir_, id);
        EXPECT_EQ(p.parent_path(), dir_) << id;
        EXPECT_EQ(p.filename().string().find('/'), std::string::npos) << id;
    }
}

TEST_F(LogDatabaseTest, AnUnreadableDatabaseIsNeverReplaced) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    Bytes r = record(3);
    ASSERT_EQ(append_LogRecord(path_, r.data(), r.size(), &info_), DatabaseResult::Pass);
    fs::permissions(path_, fs::perms::owner_write);
    EXPECT_EQ(open_LogDatabase(path_, info_), DatabaseResult::CreateFail);
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::file_size(path_), 512u + 256u);
}

TEST_F(LogDatabaseTest, AppendedRecordsReadBackInOrder) {
    ASSERT_TRUE(create_LogDatabase(path_));
    for (std::uint32_t i = 40; i < 45; ++i) {
        Bytes r = record(i);
        ASSERT_EQ(append_LogRecord(path_, r.data(), r.size(), &info_), DatabaseResult::Pass);
        EXPECT_EQ(info_.lastStoredLogNo(), static_cast<std::int32_t>(i));
        // On disk at return: the file already holds the record.
        EXPECT_EQ(fs::file_size(path_), 512u + 256u * (i - 39));
    }
    Bytes golden = goldenHeader();
    for (std::uint32_t i = 40; i < 45; ++i) {
        Bytes r = record(i);
        golden.insert(golden.end(), r.begin(), r.end());
    }
    EXPECT_EQ(readAll(path_), golden);
    LogFile f = read_LogFile(path_, '3');
    ASSERT_EQ(f.result, DatabaseResult::Pass);
    ASSERT_EQ(f.count(), 5u);
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(f.records[i].indexNo(), 40 + i);
        EXPECT_EQ(f.records[i].portNo(), (40 + i) % 7 + 1);
    }
    info_.setLastStoredLogNo(0);
    EXPECT_EQ(open_LogDatabase(path_, info_), DatabaseResult::Pass);
    EXPECT_EQ(info_.lastStoredLogNo(), 44);
}

TEST_F(LogDatabaseTest, PartialRecordIsIgnoredAndReplacedByTheNextAppend) {
    for (std::size_t n : {0u, 1u, 3u}) {
        Bytes file = goldenHeader();
        for (std::uint32_t i = 0; i < n; ++i) {
            Bytes r = record(100 + i);
            file.insert(file.end(), r.begin(), r.end());
        }
        Bytes cut = record(999);
        file.insert(file.end(), cut.begin(), cut.begin() + 100);  // an append cut short
        writeAll(path_, file);

        EXPECT_EQ(open_LogDatabase(path_, info_), DatabaseResult::Pass);
        EXPECT_EQ(info_.lastStoredLogNo(), n == 0 ? -1 : static_cast<int>(100 + n - 1));
        LogFile f = read_LogFile(path_, '3');
        EXPECT_EQ(f.result, DatabaseResult::Pass);
        EXPECT_EQ(f.count(), n);

        Bytes next = record(500);
        ASSERT_EQ(append_LogRecord(path_, next.data(), next.size(), &info_), DatabaseResult::Pass);
        EXPECT_EQ(fs::file_size(path_), 512 + 256 * (n + 1));
        f = read_LogFile(path_, '3');
        ASSERT_EQ(f.count(), n + 1);
        EXPECT_EQ(f.records.back().indexNo(), 500u);
        EXPECT_EQ(Bytes(f.records.back().bytes().begin(), f.records.back().bytes().end()), next);
    }
}

TEST_F(LogDatabaseTest, DamagedHeadersGiveTheirCodesAndAreLeftAlone) {
    struct Case {
        const char* what;
        Bytes file;
        DatabaseResult open, read;
    };
    Bytes trailingBlank = goldenHeader();
    trailingBlank[99] = 0;  // title differs only in its trailing blank
    Bytes otherVersion = goldenHeader();
    otherVersion[129] = '4';
    Bytes shortFile = goldenHeader();
    shortFile.resize(511);
    const Case cases[] = {
        {"empty", {}, DatabaseResult::Corrupt, DatabaseResult::Corrupt},
        {"511 bytes", shortFile, DatabaseResult::Corrupt, DatabaseResult::Corrupt},
        {"title", trailingBlank, DatabaseResult::WrongTitle, DatabaseResult::WrongTitle},
        {"version", otherVersion, DatabaseResult::WrongVersion, DatabaseResult::WrongVersion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeAll(path_, c.file);
        EXPECT_EQ(open_LogDatabase(path_, info_), c.open);
        EXPECT_EQ(read_LogFile(path_, '3').result, c.read);
        Bytes r = record(1);
        EXPECT_EQ(append_LogRecord(path_, r.data(), r.size(), &info_), c.open);
        EXPECT_EQ(readAll(path_), c.file);
    }
}

TEST_F(LogDatabaseTest, AppendCreatesAMissingFileWithItsHeader) {
    Bytes r = record(7);
    ASSERT_EQ(append_LogRecord(path_, r.data(), r.size(), &info_), DatabaseResult::Pass);
    LogFile f = read_LogFile(path_, '3');
    ASSERT_EQ(f.count(), 1u);
    EXPECT_EQ(f.records[0].indexNo(), 7u);
}

TEST_F(LogDatabaseTest, AppendRefusesAnythingButOneWholeRecord) {
    ASSERT_TRUE(create_LogDatabase(path_));
    Bytes r = record(7);
    EXPECT_EQ(append_LogRecord(path_, r.data(), 255, &info_), DatabaseResult::WriteFail);
    EXPECT_EQ(append_LogRecord(path_, nullptr, 256, &info_), DatabaseResult::WriteFail);
    EXPECT_EQ(fs::file_size(path_), 512u);
    EXPECT_EQ(info_.lastStoredLogNo(), 12345);
}

TEST_F(LogDatabaseTest, AppendOnlyTracksTheIndexOfKnownMachineKinds) {
    ASSERT_TRUE(create_LogDatabase(path_));
    info_.setDeviceType('9');
    Bytes r = record(7);
    EXPECT_EQ(append_LogRecord(path_, r.data(), r.size(), &info_), DatabaseResult::Pass);
    EXPECT_EQ(info_.lastStoredLogNo(), 12345);
}

TEST_F(LogDatabaseTest, FilesOfAnySizeAndContentGiveACode) {
    std::mt19937 rng(7);
    for (int round = 0; round < 60; ++round) {
        std::size_t size = round < 20 ? rng() % 600 : 512 + rng() % 2000;
        Bytes file(size);
        for (auto& b : file)
            b = static_cast<std::uint8_t>(rng());
        if (round % 2 == 0 && size >= 512) {
            Bytes h = goldenHeader();
            std::copy(h.begin(), h.end(), file.begin());
        }
        writeAll(path_, file);
        DatabaseResult r = open_LogDatabase(path_, info_);
        EXPECT_LE(static_cast<int>(r), 5);
        LogFile f = read_LogFile(path_, round % 3 == 0 ? '5' : '3');
        if (f.result == DatabaseResult::Pass) {
            EXPECT_EQ(f.count(), (size - 512) / 256);
            for (const auto& rec : f.records) {
                (void)rec.model();
                (void)rec.machineIdText();
                (void)rec.customJobName();
            }
        } else {
            EXPECT_TRUE(f.records.empty());
        }
    }
}

}  // namespace
}  // namespace mx40d
