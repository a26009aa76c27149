#include "hid/HidapiBackend.h"

#include <hidapi/hidapi.h>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace mx40d {

namespace {

class HidapiDevice final : public HidDevice {
  public:
    HidapiDevice(hid_device* handle, std::uint16_t vendorId, std::uint16_t productId)
        : handle_(handle), vendorId_(vendorId), productId_(productId) {
        hid_set_nonblocking(handle_, 1);
    }
    ~HidapiDevice() override { hid_close(handle_); }

    bool attributes(std::uint16_t& vendorId, std::uint16_t& productId) override {
        vendorId = vendorId_;
        productId = productId_;
        return true;
    }

    bool readReport(std::uint8_t* report) override {
        // hidraw hands over the report without its ID byte when the device uses no report
        // IDs; the 65-byte layout keeps byte 0 for the ID, so the data go behind it.
        std::array<unsigned char, kReportSize - 1> data{};
        const int n = hid_read_timeout(handle_, data.data(), data.size(), 0);
        if (n <= 0) return false;
        report[0] = 0;
        std::memcpy(report + 1, data.data(), static_cast<std::size_t>(n));
        return true;
    }

    bool writeReport(const std::uint8_t* report) override {
        return hid_write(handle_, report, kReportSize) == kReportSize;
    }

  private:
    hid_device* handle_;
    std::uint16_t vendorId_;
    std::uint16_t productId_;
};

}  // namespace

HidapiBackend::HidapiBackend() {
    hid_init();
}

HidapiBackend::~HidapiBackend() {
    hid_exit();
}

std::vector<HidInterfaceInfo> HidapiBackend::enumerate() {
    std::vector<HidInterfaceInfo> out;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d != nullptr; d = d->next) {
        out.push_back({d->path ? d->path : "", d->vendor_id, d->product_id});
    }
    hid_free_enumeration(list);
    return out;
}

std::unique_ptr<HidDevice> HidapiBackend::open(const std::string& path) {
    hid_device* handle = hid_open_path(path.c_str());
    if (handle == nullptr) {
        if (onAccessDenied_ && ::access(path.c_str(), R_OK | W_OK) != 0 &&
            (errno == EACCES || errno == EPERM)) {
            for (const HidInterfaceInfo& i : enumerate())
                if (i.path == path && i.vendorId == deniedVendor_) onAccessDenied_(path);
        }
        return nullptr;
    }
    // The identifiers come from the device itself, not from the path's listing.
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    if (const hid_device_info* info = hid_get_device_info(handle)) {
        vid = info->vendor_id;
        pid = info->product_id;
    }
    return std::make_unique<HidapiDevice>(handle, vid, pid);
}

std::string accessDeniedText(const std::string& path) {
    return "A machine is attached at " + path +
           ", but this user may not open it.\n\n"
           "Install the monitor's udev rule (the mx40d package installs it in "
           "/usr/lib/udev/rules.d/; or copy packaging/70-mx40d.rules there), run "
           "'udevadm control --reload' and 'udevadm trigger --subsystem-match=hidraw' as root, "
           "then unplug the machine and plug it in again.";
}

}  // namespace mx40d
