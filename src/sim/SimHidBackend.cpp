#include "sim/SimHidBackend.h"

#include <cstring>

namespace mx40d::sim {

struct SimHidBackend::Entry {
    HidInterfaceInfo info;
    std::unique_ptr<SimMachine> machine;  // nullptr for a foreign device
    bool plugged = true;
    std::uint64_t generation = 0;  // moves on at every unplug; older handles fail
    bool failNextOpen = false;
    bool attributesFail = false;
    int liveHandles = 0;
};

namespace {

class SimHidDevice final : public HidDevice {
  public:
    explicit SimHidDevice(std::shared_ptr<SimHidBackend::Entry> entry)
        : entry_(std::move(entry)), generation_(entry_->generation) {
        ++entry_->liveHandles;
    }
    ~SimHidDevice() override { --entry_->liveHandles; }

    bool attributes(std::uint16_t& vendorId, std::uint16_t& productId) override {
        if (!live() || entry_->attributesFail) return false;
        vendorId = entry_->info.vendorId;
        productId = entry_->info.productId;
        return true;
    }
    bool readReport(std::uint8_t* report) override {
        if (!live() || !entry_->machine) return false;
        return entry_->machine->hostRead(report);
    }
    bool writeReport(const std::uint8_t* report) override {
        if (!live()) return false;
        if (entry_->machine) entry_->machine->hostWrite(report);
        return true;
    }

  private:
    bool live() const { return entry_->plugged && entry_->generation == generation_; }

    std::shared_ptr<SimHidBackend::Entry> entry_;
    std::uint64_t generation_;
};

}  // namespace

SimHidBackend::SimHidBackend(const Clock& clock) : clock_(clock) {}
SimHidBackend::~SimHidBackend() = default;

SimMachine& SimHidBackend::addMachine(const std::string& path, const SimMachineConfig& config,
                                      std::uint16_t productId, std::uint16_t vendorId) {
    auto e = std::make_shared<Entry>();
    if (productId == 0)
        productId = config.kind == kEraserKind ? kProductEraser : kProductDuplicator;
    e->info = {path, vendorId, productId};
    e->machine = std::make_unique<SimMachine>(clock_, config);
    Entry* raw = e.get();
    e->machine->onUnplug = [this, raw] { unplug(raw->info.path); };
    entries_.push_back(e);
    hotplug_.push(HotplugEvent::Kind::Arrival, path);
    return *raw->machine;
}

void SimHidBackend::addForeign(const std::string& path, std::uint16_t vendorId,
                               std::uint16_t productId) {
    auto e = std::make_shared<Entry>();
    e->info = {path, vendorId, productId};
    entries_.push_back(e);
    hotplug_.push(HotplugEvent::Kind::Arrival, path);
}

SimHidBackend::Entry* SimHidBackend::find(const std::string& path) const {
    for (const auto& e : entries_)
        if (e->info.path == path) return e.get();
    return nullptr;
}

bool SimHidBackend::plug(const std::string& path) {
    Entry* e = find(path);
    if (!e || e->plugged) return false;
    e->plugged = true;
    hotplug_.push(HotplugEvent::Kind::Arrival, path);
    return true;
}

bool SimHidBackend::unplug(const std::string& path) {
    Entry* e = find(path);
    if (!e || !e->plugged) return false;
    e->plugged = false;
    ++e->generation;
    if (e->machine) e->machine->dropLink();
    hotplug_.push(HotplugEvent::Kind::Removal, path);
    return true;
}

bool SimHidBackend::plugged(const std::string& path) const {
    const Entry* e = find(path);
    return e && e->plugged;
}

SimMachine* SimHidBackend::machine(const std::string& path) {
    Entry* e = find(path);
    return e ? e->machine.get() : nullptr;
}

int SimHidBackend::liveHandles() const {
    int n = 0;
    for (const auto& e : entries_)
        n += e->plugged ? e->liveHandles : 0;
    return n;
}

void SimHidBackend::failNextOpen(const std::string& path) {
    if (Entry* e = find(path)) e->failNextOpen = true;
}

void SimHidBackend::setAttributesFail(const std::string& path, bool fail) {
    if (Entry* e = find(path)) e->attributesFail = fail;
}

std::vector<HidInterfaceInfo> SimHidBackend::enumerate() {
    std::vector<HidInterfaceInfo> out;
    for (const auto& e : entries_)
        if (e->plugged) out.push_back(e->info);
    return out;
}

std::unique_ptr<HidDevice> SimHidBackend::open(const std::string& path) {
    for (const auto& e : entries_) {
        if (e->info.path != path || !e->plugged) continue;
        if (e->failNextOpen) {
            e->failNextOpen = false;
            return nullptr;
        }
        return std::make_unique<SimHidDevice>(e);
    }
    return nullptr;
}

}  // namespace mx40d::sim
