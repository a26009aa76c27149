#pragma once

#include <array>
#include <cstddef>
#include <filesystem>

#include "protocol/MachineInfo.h"
#include "reports/LogDatabase.h"

namespace mx40d {

// The registry of known machines: up to twenty machine information records kept across runs
// in one fixed-size file, "ORVANE_MX40D.DB7" in the database folder.
//
// File layout (32,760 bytes): title (100 bytes, blank-padded, no terminator), version text
// (20 bytes, "2.01.10.02" and ten blanks), then twenty MachineInfo records of 1,632 bytes.
// The file is written whole through a temporary file in the same folder that is flushed and
// renamed over the old one, so an interrupted save never leaves a damaged registry behind.
class MachineRegistry {
  public:
    static constexpr int kRecordCount = 20;
    static constexpr std::size_t kTitleSize = 100;
    static constexpr std::size_t kVersionOffset = 100;
    static constexpr std::size_t kVersionSize = 20;
    static constexpr std::size_t kHeaderSize = 120;
    static constexpr std::size_t kBodySize = MachineInfo::kSize * kRecordCount;
    static constexpr std::size_t kFileSize = kHeaderSize + kBodySize;
    static_assert(kFileSize == 32760);

    // Exactly kTitleSize and kVersionSize characters.
    static const char kTitle[kTitleSize + 1];
    static const char kVersion[kVersionSize + 1];

    MachineRegistry() = default;
    MachineRegistry(const MachineRegistry&) = delete;
    MachineRegistry& operator=(const MachineRegistry&) = delete;

    // Loads the file at `path`. NotExist when it cannot be read, Corrupt when it is empty,
    // unreadable or shorter than a whole registry, WrongTitle / WrongVersion when those
    // fields differ. Nothing is loaded unless the result is Pass. Bytes after the twenty
    // records are ignored.
    DatabaseResult open(const std::filesystem::path& path);
    // Writes an empty registry (title, version, zero records) to `path`.
    DatabaseResult create(const std::filesystem::path& path);
    // Writes the current records to the path of the last open or create.
    DatabaseResult save();
    // Saves when anything changed since the last load or save; the result is not reported.
    void close();

    // The first record, in use or free, whose machine ID equals the record's.
    bool find(const MachineInfo& record, int& index) const;
    // Overwrites record `index` and marks it in use; ignored outside 0..19. Not saved.
    void update(int index, const MachineInfo& record);
    // Stores a new machine in the first free record and saves the file. The caller's record
    // gets its reserved field and lastStoredLogNo set to 0. False when all are in use.
    bool add(MachineInfo& record, int& index);

    int count() const { return kRecordCount; }
    bool inUse(int i) const;
    // Record i (0..19); an all-zero record for any other index.
    const MachineInfo& record(int i) const;
    bool changed() const { return records_ != savedRecords_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    DatabaseResult writeFile(const std::array<MachineInfo, kRecordCount>& records);

    std::array<MachineInfo, kRecordCount> records_{};
    std::array<MachineInfo, kRecordCount> savedRecords_{};
    std::filesystem::path path_;
};

}  // namespace mx40d
