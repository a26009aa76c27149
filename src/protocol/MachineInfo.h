#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mx40d {

// The machine information record: 1,632 bytes, integers 32-bit little-endian. The registry
// keeps twenty of them back to back, so this layout is a file format.
class MachineInfo {
  public:
    static constexpr std::size_t kSize = 1632;

    // Offsets of the record's fields.
    static constexpr std::size_t kInUse = 0;
    static constexpr std::size_t kDeviceType = 1;
    static constexpr std::size_t kSupportLogRecord = 2;
    static constexpr std::size_t kPortQtyPerRow = 3;
    static constexpr std::size_t kLayoutKind = 4;
    static constexpr std::size_t kFeatureFlags = 5;  // four flag bytes, 5..8
    static constexpr std::size_t kMachineId = 32;
    static constexpr std::size_t kMachineIdSize = 64;
    static constexpr std::size_t kNickName = 96;
    static constexpr std::size_t kNickNameSize = 128;
    static constexpr std::size_t kBoardQty = 224;
    static constexpr std::size_t kPortQtyPerBoard = 228;
    static constexpr std::size_t kMaxDeviceQty = 232;
    static constexpr std::size_t kSystemTotalBufferSize = 236;
    static constexpr std::size_t kModelName = 240;
    static constexpr std::size_t kModelNameSize = 64;
    static constexpr std::size_t kVersion = 304;
    static constexpr std::size_t kVersionSize = 32;
    static constexpr std::size_t kReserved336 = 336;
    static constexpr std::size_t kLastStoredLogNo = 340;
    static constexpr std::size_t kMachineLogStartNo = 344;
    static constexpr std::size_t kMachineLogNextNewNo = 348;
    static constexpr std::size_t kVersionMajor = 608;
    static constexpr std::size_t kVersionSub = 612;
    static constexpr std::size_t kVersionMinor = 616;

    MachineInfo() { clear(); }
    void clear() { bytes_.fill(0); }

    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    const std::array<std::uint8_t, kSize>& bytes() const { return bytes_; }
    bool operator==(const MachineInfo& other) const = default;

    std::uint8_t inUse() const { return bytes_[kInUse]; }
    void setInUse(std::uint8_t v) { bytes_[kInUse] = v; }
    std::uint8_t deviceType() const { return bytes_[kDeviceType]; }
    void setDeviceType(std::uint8_t v) { bytes_[kDeviceType] = v; }
    std::uint8_t support_LogRecord() const { return bytes_[kSupportLogRecord]; }
    void set_support_LogRecord(std::uint8_t v) { bytes_[kSupportLogRecord] = v; }
    std::uint8_t portQty_per_Row() const { return bytes_[kPortQtyPerRow]; }
    void set_portQty_per_Row(std::uint8_t v) { bytes_[kPortQtyPerRow] = v; }
    std::uint8_t layoutKind() const { return bytes_[kLayoutKind]; }
    void setLayoutKind(std::uint8_t v) { bytes_[kLayoutKind] = v; }
    // Feature flag i (0..3) from bit i of the machine's feature byte; flag 1 shows job buttons.
    std::uint8_t featureFlag(int i) const {
        return bytes_[kFeatureFlags + static_cast<std::size_t>(i & 3)];
    }
    void setFeatureFlag(int i, std::uint8_t v) {
        bytes_[kFeatureFlags + static_cast<std::size_t>(i & 3)] = v;
    }

    std::string machineId() const { return text(kMachineId, kMachineIdSize); }
    void setMachineId(const std::string& id) { setText(kMachineId, kMachineIdSize, id); }
    std::string nickName() const { return text(kNickName, kNickNameSize); }
    void setNickName(const std::string& name) { setText(kNickName, kNickNameSize, name); }
    std::string modelName() const { return text(kModelName, kModelNameSize); }
    void setModelName(const std::string& name) { setText(kModelName, kModelNameSize, name); }
    std::string version() const { return text(kVersion, kVersionSize); }
    void setVersion(const std::string& v) { setText(kVersion, kVersionSize, v); }

    std::int32_t boardQty() const { return i32(kBoardQty); }
    void setBoardQty(std::int32_t v) { setI32(kBoardQty, v); }
    std::int32_t portQty_per_board() const { return i32(kPortQtyPerBoard); }
    void set_portQty_per_board(std::int32_t v) { setI32(kPortQtyPerBoard, v); }
    std::int32_t maxDeviceQty() const { return i32(kMaxDeviceQty); }
    void setMaxDeviceQty(std::int32_t v) { setI32(kMaxDeviceQty, v); }
    std::int32_t systemTotalBufferSize() const { return i32(kSystemTotalBufferSize); }
    void setSystemTotalBufferSize(std::int32_t v) { setI32(kSystemTotalBufferSize, v); }
    std::int32_t reserved336() const { return i32(kReserved336); }
    void setReserved336(std::int32_t v) { setI32(kReserved336, v); }
    std::int32_t lastStoredLogNo() const { return i32(kLastStoredLogNo); }
    void setLastStoredLogNo(std::int32_t v) { setI32(kLastStoredLogNo, v); }
    std::int32_t Machine_LOG_startNo() const { return i32(kMachineLogStartNo); }
    void set_Machine_LOG_startNo(std::int32_t v) { setI32(kMachineLogStartNo, v); }
    std::int32_t Machine_LOG_nextNewNo() const { return i32(kMachineLogNextNewNo); }
    void set_Machine_LOG_nextNewNo(std::int32_t v) { setI32(kMachineLogNextNewNo, v); }
    std::int32_t controller_version_MAJOR() const { return i32(kVersionMajor); }
    std::int32_t controller_version_SUB() const { return i32(kVersionSub); }
    std::int32_t controller_version_MINOR() const { return i32(kVersionMinor); }
    void setControllerVersion(std::int32_t major, std::int32_t sub, std::int32_t minor) {
        setI32(kVersionMajor, major);
        setI32(kVersionSub, sub);
        setI32(kVersionMinor, minor);
    }

    std::int32_t i32(std::size_t offset) const;
    void setI32(std::size_t offset, std::int32_t v);

  private:
    std::string text(std::size_t offset, std::size_t size) const;
    void setText(std::size_t offset, std::size_t size, const std::string& s);

    std::array<std::uint8_t, kSize> bytes_;
};

static_assert(sizeof(MachineInfo) == MachineInfo::kSize);

}  // namespace mx40d
