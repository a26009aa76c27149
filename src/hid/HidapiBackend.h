#pragma once

#include <functional>
#include <string>

#include "hid/HidBackend.h"

namespace mx40d {

// The real HID access: hidapi's hidraw implementation on Linux. Reads never wait.
class HidapiBackend final : public HidBackend {
  public:
    HidapiBackend();
    ~HidapiBackend() override;
    HidapiBackend(const HidapiBackend&) = delete;
    HidapiBackend& operator=(const HidapiBackend&) = delete;

    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;

    // Called when an interface of `vendorId` could not be opened for lack of permission
    // (on Linux: no udev rule gives this user access to /dev/hidraw*).
    void setOnAccessDenied(std::uint16_t vendorId, std::function<void(const std::string&)> f) {
        deniedVendor_ = vendorId;
        onAccessDenied_ = std::move(f);
    }

  private:
    std::uint16_t deniedVendor_ = 0;
    std::function<void(const std::string&)> onAccessDenied_;
};

// The operator's words for a machine the monitor may not open.
std::string accessDeniedText(const std::string& path);

}  // namespace mx40d
