#include "shell/MachineHub.h"

#include <algorithm>
#include <cctype>

#include "base/Text.h"
#include "reports/LogDatabase.h"

namespace mx40d {

namespace {

// Interface paths are compared without regard to letter case, as the system names them.
bool samePath(const char* a, const std::string& b) {
    std::size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return a[i] == '\0' && i == b.size();
}

// A link keeps at most 255 characters of its path; names are compared in that form.
std::string storedForm(const std::string& name) {
    return name.substr(0, 255);
}

}  // namespace

MachineHub::MachineHub(const Clock& clock, UserNotice& notice, HidBackend& backend,
                       std::filesystem::path databaseFolder, std::filesystem::path debugFolder)
    : clock_(clock),
      notice_(notice),
      backend_(backend),
      databaseFolder_(std::move(databaseFolder)),
      debugFolder_(std::move(debugFolder)),
      registryPath_(databaseFolder_ / kRegistryFileName) {
    for (auto& c : controllers_)
        c = std::make_unique<MachineController>(clock_, notice_);
}

MachineHub::~MachineHub() {
    // The controllers stop using their links before the links go.
    for (auto& c : controllers_)
        c->disconnect();
    closeAllSlots();
}

bool MachineHub::loadRegistry() {
    table_.setHeading();
    DatabaseResult r = registry_.open(registryPath_);
    if (r == DatabaseResult::NotExist) r = registry_.create(registryPath_);
    if (r != DatabaseResult::Pass) {
        notice_.showMessage("Message", get_DatabaseResultText(r));
        return false;
    }
    for (int i = 0; i < registry_.count(); ++i) {
        if (!registry_.inUse(i)) continue;
        ensureRowFor(i, registry_.record(i));
        controllers_[static_cast<std::size_t>(i)]->machineInfo() = registry_.record(i);
    }
    return true;
}

// Machine row r shows registry record r. Records are used from 0 upward, so the row for a
// record is normally the next one; a registry with gaps gets rows for the gap records too,
// so that no row ever shows another record's machine.
int MachineHub::ensureRowFor(int record, const MachineInfo& info) {
    while (table_.rowCount() < record)
        table_.addMachineRow(registry_.record(table_.rowCount()));
    if (table_.rowCount() == record) table_.addMachineRow(info);
    return record < table_.rowCount() ? record : -1;
}

// ---- slot table ----

HidTransport* MachineHub::slotLink(int slot) const {
    if (slot < 0 || slot >= kSlotCount) return nullptr;
    return slots_[static_cast<std::size_t>(slot)].link.get();
}

bool MachineHub::slotActive(int slot) const {
    return slot >= 0 && slot < kSlotCount && slots_[static_cast<std::size_t>(slot)].active;
}

// The first empty slot: emptied slots below the high-water mark are reused first, and a slot
// that an identification in progress holds counts as taken.
int MachineHub::firstEmptySlot() const {
    for (int i = 0; i < kSlotCount; ++i)
        if (!slots_[static_cast<std::size_t>(i)].link) return i;
    return -1;
}

int MachineHub::slotHoldingPath(const std::string& path, int except) const {
    const std::string name = storedForm(path);
    for (int j = 0; j < kSlotCount; ++j) {
        const Slot& s = slots_[static_cast<std::size_t>(j)];
        if (j != except && s.link && s.link->opened() && samePath(s.link->devicePath(), name))
            return j;
    }
    return -1;
}

void MachineHub::takeSlot(int slot) {
    hidSlotCount_ = std::max(hidSlotCount_, slot + 1);
    ++openSlotCount_;
}

void MachineHub::releaseSlot(int slot) {
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    s.active = false;
    // The controller bound to this link stops using it before it closes.
    for (auto& c : controllers_) {
        if (c->active() && c->usbSlot() == slot) {
            c->disconnect();
            break;
        }
    }
    if (s.link) {
        s.link->close();
        s.link.reset();
        --openSlotCount_;
    }
    s.removalPending = false;
}

void MachineHub::registerAndScan() {
    for (const std::uint16_t product : kProductIds) {
        HidTransport::enumerationIndex = 0;
        for (;;) {
            const int slot = firstEmptySlot();
            if (slot < 0 || closed_) return;
            Slot& s = slots_[static_cast<std::size_t>(slot)];
            s.link = std::make_unique<HidTransport>(backend_);
            if (!s.link->openNext(kVendorId, product)) {
                s.link.reset();
                break;
            }
            // A machine that arrived while an earlier one was being identified may already
            // hold a slot of its own.
            if (slotHoldingPath(s.link->devicePath(), slot) >= 0) {
                s.link.reset();
                continue;
            }
            takeSlot(slot);
            identifySlot(slot);
        }
    }
}

void MachineHub::onHotplug(const HotplugEvent& event) {
    HotplugEvent e{event.kind, event.path.substr(0, kMaxInterfaceName)};
    const bool arrives = e.kind == HotplugEvent::Kind::Arrival;
    if (timer2Busy_ && (!arrives || !deferred_.empty())) {
        // A controller is stepping further up the stack and may still use its link; a quick
        // re-plug of the same machine is taken after its removal, not before.
        deferred_.push_back(std::move(e));
    } else if (arrives) {
        arrival(e.path);
    } else {
        removal(e.path);
    }
}

void MachineHub::pollHotplug(HotplugSource& source) {
    // Collected first: handling an arrival turns the event loop, which may poll again.
    std::vector<HotplugEvent> events;
    source.poll([&events](const HotplugEvent& e) { events.push_back(e); });
    for (const HotplugEvent& e : events)
        onHotplug(e);
}

void MachineHub::arrival(const std::string& name) {
    if (closed_ || name.empty() || slotHoldingPath(name, -1) >= 0) return;
    const int slot = firstEmptySlot();
    if (slot < 0) return;
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    s.link = std::make_unique<HidTransport>(backend_);
    for (const std::uint16_t product : kProductIds) {
        if (s.link->openPath(name, kVendorId, product)) {
            takeSlot(slot);
            identifySlot(slot);
            return;
        }
    }
    // A HID device of another kind.
    s.active = false;
    s.link.reset();
}

void MachineHub::removal(const std::string& name) {
    const int j = slotHoldingPath(name, -1);
    if (j < 0) return;
    Slot& s = slots_[static_cast<std::size_t>(j)];
    if (s.identifying) {
        // The identification further up the stack still uses the link: it ends without an
        // answer and releases the slot itself.
        s.removalPending = true;
        if (s.exchange != nullptr) s.exchange->abandon();
        return;
    }
    releaseSlot(j);
}

void MachineHub::closeAllSlots() {
    for (int j = 0; j < kSlotCount; ++j) {
        Slot& s = slots_[static_cast<std::size_t>(j)];
        if (!s.link) continue;
        if (s.identifying) {
            s.removalPending = true;
            if (s.exchange != nullptr) s.exchange->abandon();
            continue;
        }
        releaseSlot(j);
    }
}

// ---- identification ----

bool MachineHub::identifySlot(int slot) {
    if (slot < 0 || slot >= kSlotCount) return false;
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    if (!s.link || s.identifying) return false;
    HidTransport& link = *s.link;

    const std::uint8_t wake = 'R';
    link.sendRaw(1, &wake);

    int chosen = -1;
    for (int i = 0; i < kControllerCount; ++i) {
        if (!controllers_[static_cast<std::size_t>(i)]->active() &&
            !reserved_[static_cast<std::size_t>(i)]) {
            chosen = i;
            break;
        }
    }
    if (chosen < 0) return false;

    reserved_[static_cast<std::size_t>(chosen)] = true;
    s.identifying = true;
    bool identified = false;
    {
        IdentifyExchange exchange(clock_, notice_);
        s.exchange = &exchange;
        exchange.bind(link, [](const std::string&) {});
        exchange.sendCommand('A', nullptr, 0);
        std::vector<std::uint8_t> reply(HidTransport::kAssemblySize);
        int length = 0;
        // The kind byte must lie inside the answer, ahead of its check value.
        identified = exchange.waitReply(reply.data(), length, kIdentifyLimitMs) &&
                     length >= wire::info::kEnd && isServedKind(reply[wire::info::kDeviceType]);
        s.exchange = nullptr;
    }
    s.identifying = false;
    reserved_[static_cast<std::size_t>(chosen)] = false;

    if (s.removalPending) {
        releaseSlot(slot);
        return false;
    }
    if (!identified || closed_) return false;

    MachineController& c = *controllers_[static_cast<std::size_t>(chosen)];
    MessageLink ml;
    ml.receive = &HidTransport::receiveCallback;
    ml.send = &HidTransport::sendCallback;
    ml.keepWaiting = &HidTransport::keepWaitingCallback;
    ml.context = &link;
    c.connect(
        ml,
        [this](int index, int event, int argument, const void* record) {
            onMachineEvent(index, event, argument, record);
        },
        debugFolder_, databaseFolder_, slot, chosen);
    s.active = true;
    if (onMachineBound_) onMachineBound_(chosen);
    return true;
}

// ---- timers ----

void MachineHub::onTimer1() {
    if (timer1Busy_) return;
    timer1Busy_ = true;
    for (int j = 0; j < hidSlotCount_; ++j) {
        Slot& s = slots_[static_cast<std::size_t>(j)];
        if (s.link && s.active && s.link->awaitingResponse()) s.link->pollReceive();
    }
    timer1Busy_ = false;
}

void MachineHub::onTimer2() {
    if (timer2Busy_) return;
    timer2Busy_ = true;
    for (auto& c : controllers_)
        c->step();
    timer2Busy_ = false;
    std::vector<HotplugEvent> waiting;
    waiting.swap(deferred_);
    for (const HotplugEvent& e : waiting) {
        if (e.kind == HotplugEvent::Kind::Arrival)
            arrival(e.path);
        else
            removal(e.path);
    }
}

// ---- machine table ----

void MachineHub::onMachineEvent(int controllerIndex, int event, int /*argument*/,
                                const void* record) {
    if (controllerIndex < 0 || controllerIndex >= kControllerCount) return;
    MachineController& c = *controllers_[static_cast<std::size_t>(controllerIndex)];
    // Controllers pass their own machine information record.
    (void)record;
    MachineInfo& info = c.machineInfo();
    switch (event) {
        case MachineController::kOnLine:
            registerMachine(c, info);
            break;
        case MachineController::kOffLine:
            if (c.tableRow() != -1) {
                table_.setMachineCell(c.tableRow(), MachineTable::kStatus, "OFF Line");
                // The row belongs to the machine, not to the controller's next machine.
                c.setTableRow(-1);
            }
            break;
        case MachineController::kLogRecordAdded:
            if (c.tableRow() != -1) {
                table_.setMachineCell(c.tableRow(), MachineTable::kLogCount,
                                      MachineTable::logCountText(info));
            }
            break;
        default:
            break;
    }
}

void MachineHub::registerMachine(MachineController& c, MachineInfo& info) {
    if (!isServedKind(info.deviceType())) return;
    int index = -1;
    int row = -1;
    if (registry_.find(info, index)) {
        registry_.update(index, info);
        row = ensureRowFor(index, info);
    } else {
        if (!registry_.add(info, index)) {
            notice_.showMessage("Message", "Can't add machine !");
            return;
        }
        row = ensureRowFor(index, info);
    }
    c.setTableRow(row);
    if (row < 0) return;
    table_.setMachineCell(row, MachineTable::kStatus, "ON Line");
    table_.setMachineCell(row, MachineTable::kPorts, cformat("%d", info.maxDeviceQty()));
}

MachineHub::ClickResult MachineHub::onTableClick(int column, int gridRow) {
    ++clicks_;
    clickText_ = cformat("[%d],Col=%d, Row=%d", clicks_, column, gridRow);
    ClickResult result;
    if (gridRow <= 0) return result;
    for (int i = 0; i < kControllerCount; ++i) {
        MachineController& c = *controllers_[static_cast<std::size_t>(i)];
        if (c.active() && c.tableRow() == gridRow - 1) {
            result.controllerIndex = i;
            result.caption = cformat("%s(%s)", MachineTable::displayName(c.machineInfo()).c_str(),
                                     c.machineInfo().version().c_str());
            break;
        }
    }
    return result;
}

// ---- closing ----

void MachineHub::close() {
    closed_ = true;
    for (auto& c : controllers_) {
        if (!c->active()) continue;
        registry_.update(c->tableRow(), c->machineInfo());
        c->disconnect();
    }
    registry_.close();
}

}  // namespace mx40d
