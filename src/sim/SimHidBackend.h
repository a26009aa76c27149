#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "hid/HidBackend.h"
#include "sim/SimHotplugSource.h"
#include "sim/SimMachine.h"

// HID interfaces made of simulated machines (and, for tests, foreign devices that never
// answer). Each interface has a path; plugging and unplugging can happen at any time and is
// reported through hotplug(). A handle opened before an unplug fails every read and write from
// then on, also after the device is plugged in again (a new open gives a working handle).
//
//   FakeClock clock;
//   sim::SimHidBackend backend(clock);
//   sim::SimMachine& m = backend.addMachine("sim:1", {});  // vendor 0x2509, product 0x2001
//   HidTransport link(backend);
//   link.openPath("sim:1", 0x2509, 0x2001);
namespace mx40d::sim {

constexpr std::uint16_t kVendorId = 0x2509;
constexpr std::uint16_t kProductDuplicator = 0x2001;
constexpr std::uint16_t kProductEraser = 0x2002;

class SimHidBackend final : public HidBackend {
  public:
    explicit SimHidBackend(const Clock& clock);
    ~SimHidBackend() override;

    // Adds a machine at `path`, plugged in (an arrival is reported). The product identifier
    // defaults to 0x2001 for a duplicator and 0x2002 for an eraser. The machine lives as long
    // as the backend, plugged or not.
    SimMachine& addMachine(const std::string& path, const SimMachineConfig& config,
                           std::uint16_t productId = 0, std::uint16_t vendorId = kVendorId);
    // Adds a device that swallows what it is sent and never answers.
    void addForeign(const std::string& path, std::uint16_t vendorId, std::uint16_t productId);

    // Plugs a known device in again or pulls it out; each change is reported once. False
    // when the path is unknown or the device is already in that state.
    bool plug(const std::string& path);
    bool unplug(const std::string& path);
    bool plugged(const std::string& path) const;

    // The machine at `path`, or nullptr.
    SimMachine* machine(const std::string& path);
    SimHotplugSource& hotplug() { return hotplug_; }
    // Open handles that still work.
    int liveHandles() const;

    // Makes the next open() of `path` fail (once).
    void failNextOpen(const std::string& path);
    // Makes attribute queries of `path` fail while set.
    void setAttributesFail(const std::string& path, bool fail);

    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;

    struct Entry;

  private:
    Entry* find(const std::string& path) const;

    const Clock& clock_;
    std::vector<std::shared_ptr<Entry>> entries_;
    SimHotplugSource hotplug_;
};

}  // namespace mx40d::sim
