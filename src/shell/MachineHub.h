#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "controller/MachineController.h"
#include "hid/HidBackend.h"
#include "hid/HidTransport.h"
#include "hid/HotplugSource.h"
#include "shell/IdentifyExchange.h"
#include "shell/MachineRegistry.h"
#include "shell/MachineTable.h"

namespace mx40d {

// Everything the main window keeps for the whole run, without the window: the registry of
// known machines, the twenty machine controllers, the table of up to ten open USB links and
// the machine table. The window owns one hub and drives it:
//   start-up:  loadRegistry() (stop when false), then registerAndScan();
//   timers:    onTimer1() receive pump, onTimer2() protocol step, every 10 ms;
//   hot-plug:  pollHotplug(source) when the source's descriptor is readable (or onHotplug);
//   clicks:    onTableClick(column, gridRow);
//   closing:   close(), then closeAllSlots().
// Everything runs on one thread. The identification wait turns the event loop, so each entry
// point may be entered again while an earlier call is on the stack; each is guarded.
class MachineHub {
  public:
    static constexpr int kSlotCount = 10;
    static constexpr int kControllerCount = 20;
    static constexpr std::uint16_t kVendorId = 0x2509;
    static constexpr std::array<std::uint16_t, 2> kProductIds{0x2001, 0x2002};
    static constexpr std::uint32_t kIdentifyLimitMs = 10000;
    // Interface names from a hot-plug source are cut to this many characters.
    static constexpr std::size_t kMaxInterfaceName = 400;
    static constexpr const char* kRegistryFileName = "ORVANE_MX40D.DB7";

    // Log databases and the registry live in `databaseFolder`, debug files in `debugFolder`.
    MachineHub(const Clock& clock, UserNotice& notice, HidBackend& backend,
               std::filesystem::path databaseFolder, std::filesystem::path debugFolder);
    ~MachineHub();
    MachineHub(const MachineHub&) = delete;
    MachineHub& operator=(const MachineHub&) = delete;

    // Start-up: heading row, registry opened (created when missing), one table row per
    // record in use, each record copied into the controller of the same number. On failure
    // the result's text is shown under "Message" and false is returned: the program ends.
    bool loadRegistry();
    // Start-up: opens and identifies the machines already attached, product 0x2001 first.
    void registerAndScan();

    void onTimer1();
    void onTimer2();
    // Handles every event the source has waiting.
    void pollHotplug(HotplugSource& source);
    void onHotplug(const HotplugEvent& event);

    // Probes the link just opened into `slot` and binds the first free controller to it.
    bool identifySlot(int slot);

    // The sink every controller reports to.
    void onMachineEvent(int controllerIndex, int event, int argument, const void* record);

    // A click on the machine table: which connected controller shows the clicked row and the
    // caption of its machine window. controllerIndex is -1 when nothing is to be shown.
    struct ClickResult {
        int controllerIndex = -1;
        std::string caption;
    };
    ClickResult onTableClick(int column, int gridRow);
    // "[%d],Col=%d, Row=%d" of the last click.
    const std::string& clickText() const { return clickText_; }

    // Closing: each connected machine's record goes into the registry, the controllers are
    // disconnected and the registry is saved when it changed. No machine is bound after it,
    // not even by an identification that was waiting when the window closed.
    void close();
    // Closes every link in the slot table.
    void closeAllSlots();

    // Called once a machine has been identified and bound (the window shows its pages).
    void setOnMachineBound(std::function<void(int controllerIndex)> f) {
        onMachineBound_ = std::move(f);
    }

    MachineRegistry& registry() { return registry_; }
    const MachineTable& table() const { return table_; }
    MachineController& controller(int i) { return *controllers_[static_cast<std::size_t>(i)]; }
    const std::filesystem::path& registryPath() const { return registryPath_; }

    // The slot table.
    HidTransport* slotLink(int slot) const;
    bool slotActive(int slot) const;
    int hidSlotCount() const { return hidSlotCount_; }
    int openSlotCount() const { return openSlotCount_; }

  private:
    struct Slot {
        std::unique_ptr<HidTransport> link;
        bool active = false;
        bool identifying = false;
        bool removalPending = false;  // removed while its identification waits
        IdentifyExchange* exchange = nullptr;
    };

    int firstEmptySlot() const;
    int slotHoldingPath(const std::string& path, int except) const;
    void takeSlot(int slot);
    void releaseSlot(int slot);
    void arrival(const std::string& name);
    void removal(const std::string& name);
    int ensureRowFor(int record, const MachineInfo& info);
    void registerMachine(MachineController& c, MachineInfo& info);

    const Clock& clock_;
    UserNotice& notice_;
    HidBackend& backend_;
    std::filesystem::path databaseFolder_;
    std::filesystem::path debugFolder_;
    std::filesystem::path registryPath_;

    MachineRegistry registry_;
    MachineTable table_;
    std::array<std::unique_ptr<MachineController>, kControllerCount> controllers_;
    std::array<bool, kControllerCount> reserved_{};  // chosen by an identification in progress
    std::array<Slot, kSlotCount> slots_;
    int hidSlotCount_ = 0;
    int openSlotCount_ = 0;

    bool closed_ = false;
    bool timer1Busy_ = false;
    bool timer2Busy_ = false;
    // Hot-plug events seen while controllers step, in order: a removal waits for the step to
    // end, and an arrival seen behind a waiting removal waits behind it.
    std::vector<HotplugEvent> deferred_;
    int clicks_ = 0;
    std::string clickText_;
    std::function<void(int)> onMachineBound_;
};

}  // namespace mx40d
