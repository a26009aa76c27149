#pragma once

#include <cstddef>

#include "hid/HotplugSource.h"

struct udev;
struct udev_monitor;

namespace mx40d {

// Arrival and removal of hidraw interfaces on Linux, from a udev monitor. The monitor's
// descriptor is non-blocking; the GUI watches it and calls poll when it is readable. The
// path reported is the interface's device node (/dev/hidrawN), the same path the HID
// backend lists and opens.
class UdevHotplugSource final : public HotplugSource {
  public:
    // Longer device node names are cut to this many characters.
    static constexpr std::size_t kMaxPath = 400;

    UdevHotplugSource();
    ~UdevHotplugSource() override;
    UdevHotplugSource(const UdevHotplugSource&) = delete;
    UdevHotplugSource& operator=(const UdevHotplugSource&) = delete;

    // False when the monitor could not be set up (no udev); poll then reports nothing.
    bool valid() const { return monitor_ != nullptr; }
    int fileDescriptor() const override;
    void poll(const std::function<void(const HotplugEvent&)>& sink) override;

    // One udev event as a hot-plug event: "add" is an arrival, "remove" a removal; any other
    // action, or no device node, gives false.
    static bool translate(const char* action, const char* devnode, HotplugEvent& out);

  private:
    ::udev* udev_ = nullptr;
    ::udev_monitor* monitor_ = nullptr;
};

}  // namespace mx40d
