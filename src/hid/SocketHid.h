#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "hid/HidBackend.h"
#include "hid/HotplugSource.h"

namespace mx40d {

// Machines written outside the project (a recorded trace, a test rig) on the far end of a
// Unix stream socket. The monitor listens at each socket path; every connection to it is a
// machine's arrival and the connection's end its removal. Both ends exchange the same 65-byte
// reports as over HID (report ID first, fixed size, no other framing). Everything is
// non-blocking and polled from the GUI thread.
class SocketHidBackend final : public HidBackend, public HotplugSource {
  public:
    SocketHidBackend() = default;
    ~SocketHidBackend() override;
    SocketHidBackend(const SocketHidBackend&) = delete;
    SocketHidBackend& operator=(const SocketHidBackend&) = delete;

    // Listens at `socketPath` (a stale socket file there is replaced). The machines that
    // connect report vendor 0x2509 and `productId`. False with `error` set when it cannot.
    bool listen(const std::string& socketPath, std::uint16_t productId, std::string& error);

    // HotplugSource: accepts waiting connections (arrivals) and reports ended ones.
    void poll(const std::function<void(const HotplugEvent&)>& sink) override;
    // HidBackend: the connections open now, named "socket:<path>#<n>".
    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;

    struct Connection;

  private:
    struct Listener {
        std::string path;
        std::uint16_t productId;
        int fd;
        int next = 1;
    };
    std::vector<Listener> listeners_;
    std::vector<std::shared_ptr<Connection>> connections_;
};

// Several backends (and their hot-plug sources) seen as one.
class CompositeHidBackend final : public HidBackend, public HotplugSource {
  public:
    void add(HidBackend* backend, HotplugSource* hotplug) {
        backends_.push_back(backend);
        if (hotplug != nullptr) sources_.push_back(hotplug);
    }
    std::vector<HidInterfaceInfo> enumerate() override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;
    void poll(const std::function<void(const HotplugEvent&)>& sink) override;

  private:
    std::vector<HidBackend*> backends_;
    std::vector<HotplugSource*> sources_;
};

}  // namespace mx40d
