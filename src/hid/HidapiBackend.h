#pragma once

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
};

}  // namespace mx40d
