#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The two per-port records a machine sends while a job runs: the 64-byte DeviceStatus
// (answer to "E", and the first part of each "D" entry) and the 120-byte DeviceInfo (the
// second part of each "D" entry). Both hold their bytes exactly as on the wire, numbers
// big-endian; the accessors read and write that layout, so a record can be taken straight
// from an answer and a machine can build one with the setters.
namespace mx40d {

class DeviceStatus {
  public:
    static constexpr std::size_t kSize = 64;
    static constexpr std::size_t kEraseDone = 0, kCopyDone = 8, kCopyTotal = 16, kNumber24 = 24,
                                 kSpeedTime = 28, kSpeedSectors = 32, kNumber36 = 36,
                                 kNumber40 = 40, kEraseResult = 44, kFailed = 45, kPresent = 47,
                                 kErasePattern = 52, kEraseLoop = 53, kPortState = 54;
    // Erase results at byte 44.
    static constexpr std::uint8_t kEraseRunning = 13, kErasePassed = 15, kEraseFailed = 16;

    DeviceStatus() = default;
    // Copies up to kSize bytes of `wire` (the rest stays zero).
    DeviceStatus(const std::uint8_t* wire, std::size_t length);

    const std::array<std::uint8_t, kSize>& bytes() const { return bytes_; }
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    bool operator==(const DeviceStatus&) const = default;

    std::uint64_t eraseDone() const;
    void setEraseDone(std::uint64_t v);
    std::uint64_t copyDone() const;
    void setCopyDone(std::uint64_t v);
    std::uint64_t copyTotal() const;
    void setCopyTotal(std::uint64_t v);
    std::uint32_t speedTime() const;  // microseconds of the last speed measurement
    void setSpeedTime(std::uint32_t v);
    std::uint32_t speedSectors() const;  // sectors moved during it
    void setSpeedSectors(std::uint32_t v);
    // The three 32-bit numbers at 24, 36 and 40 that nothing shows.
    std::uint32_t number(std::size_t offset) const;
    void setNumber(std::size_t offset, std::uint32_t v);

    std::uint8_t eraseResult() const { return bytes_[kEraseResult]; }
    void setEraseResult(std::uint8_t v) { bytes_[kEraseResult] = v; }
    std::uint8_t failed() const { return bytes_[kFailed]; }
    void setFailed(std::uint8_t v) { bytes_[kFailed] = v; }
    std::uint8_t present() const { return bytes_[kPresent]; }
    void setPresent(std::uint8_t v) { bytes_[kPresent] = v; }
    std::uint8_t erasePattern() const { return bytes_[kErasePattern]; }
    void setErasePattern(std::uint8_t v) { bytes_[kErasePattern] = v; }
    std::uint8_t eraseLoop() const { return bytes_[kEraseLoop]; }
    void setEraseLoop(std::uint8_t v) { bytes_[kEraseLoop] = v; }
    std::uint8_t portState() const { return bytes_[kPortState]; }
    void setPortState(std::uint8_t v) { bytes_[kPortState] = v; }

  private:
    std::array<std::uint8_t, kSize> bytes_{};
};

class DeviceInfo {
  public:
    static constexpr std::size_t kSize = 120;
    static constexpr std::size_t kNumber0 = 0, kSectorCount = 8, kModel = 16, kModelSize = 50,
                                 kVersion = 66, kVersionSize = 10, kSerialNo = 76,
                                 kSerialNoSize = 24, kSectorSize = 112;

    DeviceInfo() = default;
    DeviceInfo(const std::uint8_t* wire, std::size_t length);

    const std::array<std::uint8_t, kSize>& bytes() const { return bytes_; }
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    bool operator==(const DeviceInfo&) const = default;

    std::uint64_t number0() const;
    void setNumber0(std::uint64_t v);
    std::uint64_t sectorCount() const;
    void setSectorCount(std::uint64_t v);
    std::uint16_t sectorSize() const;  // 0 when no drive is known
    void setSectorSize(std::uint16_t v);
    // The texts as shown: up to the first NUL or the full width, blanks trimmed at both ends.
    std::string model() const;
    std::string version() const;
    std::string serialNo() const;
    // Stored blank-padded to the field width; longer texts are cut at the width.
    void setModel(const std::string& s);
    void setVersion(const std::string& s);
    void setSerialNo(const std::string& s);

  private:
    void setPadded(std::size_t offset, std::size_t width, const std::string& s);
    std::array<std::uint8_t, kSize> bytes_{};
};

// One entry of a "D" answer: a DeviceStatus followed by a DeviceInfo.
constexpr std::size_t kDeviceEntrySize = DeviceStatus::kSize + DeviceInfo::kSize;
static_assert(kDeviceEntrySize == 184);

}  // namespace mx40d
