#include "hid/UdevHotplugSource.h"

#include <libudev.h>

#include <cstring>

namespace mx40d {

UdevHotplugSource::UdevHotplugSource() {
    udev_ = udev_new();
    if (udev_ == nullptr) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

UdevHotplugSource::~UdevHotplugSource() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
}

int UdevHotplugSource::fileDescriptor() const {
    return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1;
}

bool UdevHotplugSource::translate(const char* action, const char* devnode, HotplugEvent& out) {
    if (action == nullptr || devnode == nullptr || devnode[0] == '\0') return false;
    if (std::strcmp(action, "add") == 0) {
        out.kind = HotplugEvent::Kind::Arrival;
    } else if (std::strcmp(action, "remove") == 0) {
        out.kind = HotplugEvent::Kind::Removal;
    } else {
        return false;
    }
    out.path.assign(devnode, ::strnlen(devnode, kMaxPath));
    return true;
}

void UdevHotplugSource::poll(const std::function<void(const HotplugEvent&)>& sink) {
    if (monitor_ == nullptr) return;
    // The monitor's socket is non-blocking: this returns null once nothing is waiting.
    while (udev_device* dev = udev_monitor_receive_device(monitor_)) {
        HotplugEvent event;
        const bool wanted =
            translate(udev_device_get_action(dev), udev_device_get_devnode(dev), event);
        udev_device_unref(dev);
        if (wanted && sink) sink(event);
    }
}

}  // namespace mx40d
