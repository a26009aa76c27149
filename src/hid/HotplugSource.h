#pragma once

#include <functional>
#include <string>

namespace mx40d {

// A HID interface that appeared or went away, named by the path the HidBackend opens.
struct HotplugEvent {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string path;
};

// Reports arrival and removal of HID interfaces. The real source is polled from the GUI
// thread (its file descriptor can be watched), so no callback runs on another thread.
class HotplugSource {
  public:
    virtual ~HotplugSource() = default;
    // A descriptor that becomes readable when events wait, or -1 when there is none.
    virtual int fileDescriptor() const { return -1; }
    // Hands every waiting event to `sink`, in the order they happened, without blocking.
    virtual void poll(const std::function<void(const HotplugEvent&)>& sink) = 0;
};

}  // namespace mx40d
