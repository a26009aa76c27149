#pragma once

#include <deque>

#include "hid/HotplugSource.h"

namespace mx40d::sim {

// Arrival and removal of simulated interfaces, queued as they happen and handed over by
// poll() in order. SimHidBackend feeds it when a device is plugged or unplugged.
class SimHotplugSource final : public HotplugSource {
  public:
    void poll(const std::function<void(const HotplugEvent&)>& sink) override;
    void push(HotplugEvent::Kind kind, const std::string& path);
    std::size_t waiting() const { return events_.size(); }

  private:
    std::deque<HotplugEvent> events_;
};

}  // namespace mx40d::sim
