#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mx40d {

// One HID interface as the system lists it.
struct HidInterfaceInfo {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// An open HID interface that exchanges 65-byte reports (byte 0 the report ID).
class HidDevice {
  public:
    static constexpr int kReportSize = 65;

    virtual ~HidDevice() = default;
    // The device's vendor and product identifiers; false when the query fails.
    virtual bool attributes(std::uint16_t& vendorId, std::uint16_t& productId) = 0;
    // Reads one input report into `report` (65 bytes, report ID first) without waiting.
    // Returns true when a report was read, false when none is waiting or on an error.
    virtual bool readReport(std::uint8_t* report) = 0;
    // Writes one 65-byte report (report ID first); true when the write succeeded.
    virtual bool writeReport(const std::uint8_t* report) = 0;
};

// Lists and opens HID interfaces: hidapi on a real system, simulated machines in tests.
class HidBackend {
  public:
    virtual ~HidBackend() = default;
    // Every present HID interface, in the system's enumeration order.
    virtual std::vector<HidInterfaceInfo> enumerate() = 0;
    // Opens the interface at `path` for reading and writing; nullptr when it cannot.
    virtual std::unique_ptr<HidDevice> open(const std::string& path) = 0;
};

}  // namespace mx40d
