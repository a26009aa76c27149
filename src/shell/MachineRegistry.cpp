#include "shell/MachineRegistry.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace mx40d {

namespace {

const MachineInfo kEmptyRecord{};

// Flushes a written file to the disk before it takes the place of the old one.
bool flushToDisk(std::FILE* f) {
    if (std::fflush(f) != 0) return false;
#if defined(__unix__) || defined(__APPLE__)
    if (::fsync(::fileno(f)) != 0) return false;
#endif
    return true;
}

}  // namespace

// Blank-padded to the full field width; files are only opened by a program with this title.
const char MachineRegistry::kTitle[kTitleSize + 1] =
    "Orvane Database for MX40D, Copyright (C) Orvane. All rights "
    "reserved.                               ";
const char MachineRegistry::kVersion[kVersionSize + 1] = "2.01.10.02          ";
static_assert(sizeof(MachineRegistry::kTitle) == MachineRegistry::kTitleSize + 1);
static_assert(sizeof(MachineRegistry::kVersion) == MachineRegistry::kVersionSize + 1);
DatabaseResult MachineRegistry::open(const std::filesystem::path& path) {
    path_ = path;
    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    if (f == nullptr) return DatabaseResult::NotExist;
    // Only the registry's own bytes are read; whatever follows them is ignored, so a file of
    // any size costs at most one registry's worth of memory.
    std::vector<std::uint8_t> buffer(kFileSize);
    const std::size_t got = std::fread(buffer.data(), 1, kFileSize, f);
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (got == 0 || readError) return DatabaseResult::Corrupt;
    if (got < kTitleSize || std::memcmp(buffer.data(), kTitle, kTitleSize) != 0)
        return DatabaseResult::WrongTitle;
    if (got < kHeaderSize ||
        std::memcmp(buffer.data() + kVersionOffset, kVersion, kVersionSize) != 0)
        return DatabaseResult::WrongVersion;
    // A registry cut short has lost records; loading part of it would let the next save
    // overwrite the machines that were in the lost part.
    if (got < kFileSize) return DatabaseResult::Corrupt;
    for (int i = 0; i < kRecordCount; ++i) {
        std::memcpy(records_[static_cast<std::size_t>(i)].data(),
                    buffer.data() + kHeaderSize + MachineInfo::kSize * static_cast<std::size_t>(i),
                    MachineInfo::kSize);
    }
    savedRecords_ = records_;
    return DatabaseResult::Pass;
}

DatabaseResult MachineRegistry::writeFile(const std::array<MachineInfo, kRecordCount>& records) {
    std::vector<std::uint8_t> buffer(kFileSize, 0);
    std::memcpy(buffer.data(), kTitle, kTitleSize);
    std::memcpy(buffer.data() + kVersionOffset, kVersion, kVersionSize);
    for (int i = 0; i < kRecordCount; ++i) {
        std::memcpy(buffer.data() + kHeaderSize + MachineInfo::kSize * static_cast<std::size_t>(i),
                    records[static_cast<std::size_t>(i)].data(), MachineInfo::kSize);
    }

    // The new contents go to a temporary file beside the registry and replace it only once
    // they are wholly on the disk; any failure before that leaves the old file as it was.
    std::filesystem::path temp = path_;
    temp += ".tmp";
    std::FILE* f = std::fopen(temp.string().c_str(), "wb");
    if (f == nullptr) return DatabaseResult::CreateFail;
    const bool written = std::fwrite(buffer.data(), 1, kFileSize, f) == kFileSize;
    const bool flushed = written && flushToDisk(f);
    const bool closed = std::fclose(f) == 0;
    std::error_code ec;
    if (!written || !flushed || !closed) {
        std::filesystem::remove(temp, ec);
        return DatabaseResult::WriteFail;
    }
    std::filesystem::rename(temp, path_, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return DatabaseResult::CreateFail;
    }
    return DatabaseResult::Pass;
}

DatabaseResult MachineRegistry::create(const std::filesystem::path& path) {
    path_ = path;
    const std::array<MachineInfo, kRecordCount> empty{};
    const DatabaseResult r = writeFile(empty);
    if (r == DatabaseResult::Pass) savedRecords_ = records_;
    return r;
}

DatabaseResult MachineRegistry::save() {
    const DatabaseResult r = writeFile(records_);
    if (r == DatabaseResult::Pass) savedRecords_ = records_;
    return r;
}

void MachineRegistry::close() {
    if (changed()) save();
}

bool MachineRegistry::find(const MachineInfo& record, int& index) const {
    const std::string id = record.machineId();
    for (int i = 0; i < kRecordCount; ++i) {
        if (records_[static_cast<std::size_t>(i)].machineId() == id) {
            index = i;
            return true;
        }
    }
    return false;
}

void MachineRegistry::update(int index, const MachineInfo& record) {
    if (index < 0 || index >= kRecordCount) return;
    MachineInfo& r = records_[static_cast<std::size_t>(index)];
    r = record;
    r.setInUse(1);
}

bool MachineRegistry::add(MachineInfo& record, int& index) {
    for (int i = 0; i < kRecordCount; ++i) {
        if (records_[static_cast<std::size_t>(i)].inUse() != 0) continue;
        record.setReserved336(0);
        record.setLastStoredLogNo(0);
        update(i, record);
        save();
        index = i;
        return true;
    }
    return false;
}

bool MachineRegistry::inUse(int i) const {
    return i >= 0 && i < kRecordCount && records_[static_cast<std::size_t>(i)].inUse() == 1;
}

const MachineInfo& MachineRegistry::record(int i) const {
    if (i < 0 || i >= kRecordCount) return kEmptyRecord;
    return records_[static_cast<std::size_t>(i)];
}

}  // namespace mx40d
