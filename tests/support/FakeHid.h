#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "hid/HidBackend.h"

// A minimal stand-in for the HID side: each interface has a queue of input reports and a
// record of the reports written to it.
namespace mx40d::testing {

using Report = std::array<std::uint8_t, 65>;

struct FakeEndpoint {
    HidInterfaceInfo info;
    std::deque<Report> input;
    std::vector<Report> written;
    bool attributesFail = false;
    int opens = 0;
    int liveHandles = 0;
};

class FakeHidBackend : public HidBackend {
  public:
    FakeEndpoint& add(const std::string& path, std::uint16_t vid, std::uint16_t pid) {
        auto ep = std::make_shared<FakeEndpoint>();
        ep->info = {path, vid, pid};
        endpoints_.push_back(ep);
        return *ep;
    }
    std::vector<HidInterfaceInfo> enumerate() override {
        std::vector<HidInterfaceInfo> out;
        for (const auto& ep : endpoints_)
            out.push_back(ep->info);
        return out;
    }
    std::unique_ptr<HidDevice> open(const std::string& path) override;
    // Unplugs an interface: it is no longer listed or opened; handles already open stay
    // valid, and so does the endpoint the test holds.
    void remove(const std::string& path) {
        for (auto it = endpoints_.begin(); it != endpoints_.end(); ++it) {
            if ((*it)->info.path == path) {
                removed_.push_back(*it);
                endpoints_.erase(it);
                return;
            }
        }
    }

  private:
    std::vector<std::shared_ptr<FakeEndpoint>> endpoints_;
    std::vector<std::shared_ptr<FakeEndpoint>> removed_;
};

class FakeDevice : public HidDevice {
  public:
    explicit FakeDevice(std::shared_ptr<FakeEndpoint> ep) : ep_(std::move(ep)) {
        ++ep_->opens;
        ++ep_->liveHandles;
    }
    ~FakeDevice() override { --ep_->liveHandles; }
    bool attributes(std::uint16_t& v, std::uint16_t& p) override {
        if (ep_->attributesFail) return false;
        v = ep_->info.vendorId;
        p = ep_->info.productId;
        return true;
    }
    bool readReport(std::uint8_t* report) override {
        if (ep_->input.empty()) return false;
        std::memcpy(report, ep_->input.front().data(), 65);
        ep_->input.pop_front();
        return true;
    }
    bool writeReport(const std::uint8_t* report) override {
        Report r;
        std::memcpy(r.data(), report, 65);
        ep_->written.push_back(r);
        return true;
    }

  private:
    std::shared_ptr<FakeEndpoint> ep_;
};

inline std::unique_ptr<HidDevice> FakeHidBackend::open(const std::string& path) {
    for (const auto& ep : endpoints_)
        if (ep->info.path == path) return std::make_unique<FakeDevice>(ep);
    return nullptr;
}

// An input report from the machine: kind byte 'M', count, index, payload.
inline Report machineReport(int count, int index, const std::vector<std::uint8_t>& payload,
                            int byteCount = -1) {
    Report r{};
    r[1] = 'M';
    r[2] = static_cast<std::uint8_t>(count);
    r[3] = static_cast<std::uint8_t>(index);
    r[4] = static_cast<std::uint8_t>(byteCount >= 0 ? byteCount : static_cast<int>(payload.size()));
    std::copy_n(payload.begin(), std::min<std::size_t>(payload.size(), 60), r.begin() + 5);
    return r;
}

// Splits a message into machine reports the way a machine sends it.
inline std::vector<Report> machineMessage(const std::vector<std::uint8_t>& msg) {
    const int n = static_cast<int>(msg.size()) / 60 + 1;
    std::vector<Report> out;
    for (int i = 1; i <= n; ++i) {
        const std::size_t from = static_cast<std::size_t>(i - 1) * 60;
        const std::size_t len = i < n ? 60 : msg.size() % 60;
        out.push_back(machineReport(
            n, i, std::vector<std::uint8_t>(msg.begin() + from, msg.begin() + from + len)));
    }
    return out;
}

}  // namespace mx40d::testing
