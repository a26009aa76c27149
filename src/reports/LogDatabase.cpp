#include "reports/LogDatabase.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "base/ByteOrder.h"
#include "base/MachineFiles.h"
#include "base/Text.h"
#include "protocol/MachineInfo.h"

namespace mx40d {

namespace logdb {

const char kTitle[kTitleSize + 1] =
    "Orvane Database for MX40D LOG - job records of one machine                                    "
    "      ";
const char kVersion[kVersionSize + 1] = "2.01.10.03          ";
static_assert(sizeof(kTitle) == kTitleSize + 1 && sizeof(kVersion) == kVersionSize + 1);

std::vector<std::uint8_t> headerBytes() {
    std::vector<std::uint8_t> header(kHeaderSize, 0);
    std::memcpy(header.data(), kTitle, kTitleSize + 1);
    std::memcpy(header.data() + kVersionOffset, kVersion, kVersionSize + 1);
    writeLe32(header.data() + 144, 0);
    writeLe32(header.data() + 148, 0);
    return header;
}

std::filesystem::path logFilePath(const std::filesystem::path& logDir,
                                  const std::string& machineId) {
    // The ID comes from the machine: it never chooses a folder.
    return machinefiles::logDatabase(logDir, machineId);
}

}  // namespace logdb

namespace {

using namespace logdb;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openFile(const std::filesystem::path& path, const char* mode) {
    return File(std::fopen(path.c_str(), mode));
}

// Size of an open file, or -1.
long long fileSize(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long long size = std::ftell(f);
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return size;
}

DatabaseResult checkHeader(const std::uint8_t* header) {
    if (std::memcmp(header, kTitle, kTitleSize) != 0) return DatabaseResult::WrongTitle;
    if (std::memcmp(header + kVersionOffset, kVersion, kVersionSize) != 0)
        return DatabaseResult::WrongVersion;
    return DatabaseResult::Pass;
}

// Reads and checks the header of an open file positioned at its start.
DatabaseResult readHeader(std::FILE* f) {
    std::uint8_t header[kHeaderSize];
    if (std::fread(header, 1, kHeaderSize, f) != kHeaderSize) return DatabaseResult::Corrupt;
    return checkHeader(header);
}

}  // namespace

std::string get_DatabaseResultText(int code) {
    static const char* const kTexts[] = {"PASS",
                                         "DATABASE_NOT_EXIST",
                                         "MEMORY_NOT_ENOUGH_FOR_DATABASE",
                                         "DATABASE_CORRUPT",
                                         "DATABASE_WRONG_TITLE",
                                         "DATABASE_WRONG_VERSION",
                                         "DATABASE_CREATE_FAIL",
                                         "DATABASE_WRITE_FAIL"};
    if (code >= 0 && code < 8) return kTexts[code];
    return cformat("unknown error code (%d)", code);
}

bool create_LogDatabase(const std::filesystem::path& path) {
    File f = openFile(path, "wb");
    if (!f) return false;
    std::vector<std::uint8_t> header = headerBytes();
    bool ok = std::fwrite(header.data(), 1, header.size(), f.get()) == header.size();
    ok = std::fflush(f.get()) == 0 && ok;
    return std::fclose(f.release()) == 0 && ok;
}

DatabaseResult open_LogDatabase(const std::filesystem::path& path, MachineInfo& info) {
    File f = openFile(path, "rb");
    if (!f) {
        // Only a missing database is created; one that exists but cannot be read is never
        // replaced by an empty one.
        std::error_code ec;
        if (std::filesystem::exists(path, ec) || ec) return DatabaseResult::CreateFail;
        if (!create_LogDatabase(path)) return DatabaseResult::CreateFail;
        f = openFile(path, "rb");
        if (!f) return DatabaseResult::CreateFail;
    }
    if (DatabaseResult r = readHeader(f.get()); r != DatabaseResult::Pass) return r;
    info.setLastStoredLogNo(-1);
    long long size = fileSize(f.get());
    if (size < static_cast<long long>(kHeaderSize)) return DatabaseResult::Corrupt;
    long long count =
        (size - static_cast<long long>(kHeaderSize)) / static_cast<long long>(kLogRecordSize);
    if (count > 0) {
        long long last = static_cast<long long>(kHeaderSize) +
                         (count - 1) * static_cast<long long>(kLogRecordSize);
        std::uint8_t record[kLogRecordSize];
        if (std::fseek(f.get(), static_cast<long>(last), SEEK_SET) != 0 ||
            std::fread(record, 1, kLogRecordSize, f.get()) != kLogRecordSize)
            return DatabaseResult::Corrupt;
        info.setLastStoredLogNo(static_cast<std::int32_t>(readBe32(record)));
    }
    return DatabaseResult::Pass;
}

DatabaseResult append_LogRecord(const std::filesystem::path& path, const std::uint8_t* record,
                                std::size_t length, MachineInfo* info) {
    if (record == nullptr || length != kLogRecordSize) return DatabaseResult::WriteFail;
    File f = openFile(path, "r+b");
    if (!f) {
        std::error_code ec;
        if (std::filesystem::exists(path, ec) || ec) return DatabaseResult::WriteFail;
        if (!create_LogDatabase(path)) return DatabaseResult::CreateFail;
        f = openFile(path, "r+b");
        if (!f) return DatabaseResult::WriteFail;
    }
    if (DatabaseResult r = readHeader(f.get()); r != DatabaseResult::Pass) return r;
    long long size = fileSize(f.get());
    if (size < static_cast<long long>(kHeaderSize)) return DatabaseResult::Corrupt;
    // A record cut short by an earlier failure is overwritten (it is always shorter than
    // the new record), so every record stays on its 256-byte boundary.
    long long whole =
        (size - static_cast<long long>(kHeaderSize)) / static_cast<long long>(kLogRecordSize);
    long long at =
        static_cast<long long>(kHeaderSize) + whole * static_cast<long long>(kLogRecordSize);
    if (std::fseek(f.get(), static_cast<long>(at), SEEK_SET) != 0) return DatabaseResult::WriteFail;
    bool ok = std::fwrite(record, 1, length, f.get()) == length;
    ok = std::fflush(f.get()) == 0 && ok;
    ok = std::fclose(f.release()) == 0 && ok;
    if (!ok) return DatabaseResult::WriteFail;
    if (info != nullptr &&
        (info->deviceType() == kDuplicatorKind || info->deviceType() == kEraserKind))
        info->setLastStoredLogNo(static_cast<std::int32_t>(readBe32(record)));
    return DatabaseResult::Pass;
}

LogFile read_LogFile(const std::filesystem::path& path, std::uint8_t deviceType) {
    LogFile out;
    File f = openFile(path, "rb");
    if (!f) {
        out.result = DatabaseResult::NotExist;
        return out;
    }
    if (DatabaseResult r = readHeader(f.get()); r != DatabaseResult::Pass) {
        out.result = r;
        return out;
    }
    long long size = fileSize(f.get());
    if (size < static_cast<long long>(kHeaderSize) ||
        std::fseek(f.get(), static_cast<long>(kHeaderSize), SEEK_SET) != 0) {
        out.result = DatabaseResult::Corrupt;
        return out;
    }
    std::size_t count =
        static_cast<std::size_t>(size - static_cast<long long>(kHeaderSize)) / kLogRecordSize;
    try {
        out.records.reserve(count);
    } catch (const std::exception&) {
        out.result = DatabaseResult::MemoryNotEnough;
        return out;
    }
    // Read in slices straight into the records, so the file is held in memory once.
    constexpr std::size_t kSlice = 4096;
    std::vector<std::uint8_t> slice(kSlice * kLogRecordSize);
    for (std::size_t done = 0; done < count;) {
        std::size_t n = std::min(kSlice, count - done);
        if (std::fread(slice.data(), 1, n * kLogRecordSize, f.get()) != n * kLogRecordSize) {
            out.records.clear();
            out.records.shrink_to_fit();
            out.result = DatabaseResult::Corrupt;
            return out;
        }
        for (std::size_t i = 0; i < n; ++i)
            out.records.emplace_back(deviceType, slice.data() + i * kLogRecordSize, kLogRecordSize);
        done += n;
    }
    return out;
}

DatabaseResult read_LogRecordBytes(const std::filesystem::path& path,
                                   std::vector<std::uint8_t>& records) {
    records.clear();
    File f = openFile(path, "rb");
    if (!f) return DatabaseResult::NotExist;
    if (DatabaseResult r = readHeader(f.get()); r != DatabaseResult::Pass) return r;
    const long long size = fileSize(f.get());
    if (size < static_cast<long long>(kHeaderSize) ||
        std::fseek(f.get(), static_cast<long>(kHeaderSize), SEEK_SET) != 0)
        return DatabaseResult::Corrupt;
    const std::size_t count =
        static_cast<std::size_t>(size - static_cast<long long>(kHeaderSize)) / kLogRecordSize;
    try {
        records.resize(count * kLogRecordSize);
    } catch (const std::exception&) {
        return DatabaseResult::MemoryNotEnough;
    }
    if (std::fread(records.data(), 1, records.size(), f.get()) != records.size()) {
        records.clear();
        records.shrink_to_fit();
        return DatabaseResult::Corrupt;
    }
    return DatabaseResult::Pass;
}

MappedLogRecords::~MappedLogRecords() {
    unmap();
}

void MappedLogRecords::unmap() {
    if (base_ != nullptr) ::munmap(const_cast<std::uint8_t*>(base_), length_);
    base_ = nullptr;
    length_ = 0;
    count_ = 0;
}

DatabaseResult MappedLogRecords::map(const std::filesystem::path& path) {
    unmap();
    {
        File f = openFile(path, "rb");
        if (!f) return DatabaseResult::NotExist;
        if (DatabaseResult r = readHeader(f.get()); r != DatabaseResult::Pass) return r;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return DatabaseResult::NotExist;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kHeaderSize)) {
        ::close(fd);
        return DatabaseResult::Corrupt;
    }
    const std::size_t count = (static_cast<std::size_t>(st.st_size) - kHeaderSize) / kLogRecordSize;
    const std::size_t length = kHeaderSize + count * kLogRecordSize;
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return DatabaseResult::MemoryNotEnough;
    base_ = static_cast<const std::uint8_t*>(p);
    length_ = length;
    count_ = count;
    return DatabaseResult::Pass;
}

}  // namespace mx40d
