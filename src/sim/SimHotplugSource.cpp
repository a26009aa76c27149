#include "sim/SimHotplugSource.h"

namespace mx40d::sim {

void SimHotplugSource::poll(const std::function<void(const HotplugEvent&)>& sink) {
    // Events pushed by the sink itself wait for the next poll.
    std::deque<HotplugEvent> now;
    now.swap(events_);
    for (const HotplugEvent& e : now)
        if (sink) sink(e);
}

void SimHotplugSource::push(HotplugEvent::Kind kind, const std::string& path) {
    HotplugEvent e;
    e.kind = kind;
    e.path = path;
    events_.push_back(std::move(e));
}

}  // namespace mx40d::sim
