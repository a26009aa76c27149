#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "controller/MachineView.h"
#include "protocol/FrameChannel.h"
#include "protocol/MachineInfo.h"
#include "protocol/MachineProtocol.h"

namespace mx40d {

// One machine slot's controller: runs the machine's engine, writes its debug file, appends
// its log records to its log database, tracks the stage of the running job, feeds the slot's
// page (MachineView) and reports to the main window (onMachineEvent).
//
// The main window creates one per slot for its whole life; `connect` binds it to a machine's
// link, `disconnect` releases it, and `step` runs one engine step while it is active.
class MachineController {
  public:
    // Main-window events: (controllerIndex, code, number, pointer).
    using MachineEventSink =
        std::function<void(int controllerIndex, int code, int number, const void* pointer)>;
    enum MainEvent : int {
        kOnLine = 1,           // number 4, pointer the MachineInfo (machine kinds '3' and '5')
        kClockSet = 2,         // the machine's clock setting has ended
        kOffLine = 3,          // disconnect
        kLogRecordAdded = 31,  // number 1632, pointer the MachineInfo; lastStoredLogNo updated
    };

    static constexpr std::size_t kDebugBufferSize = 65536;
    static constexpr std::size_t kDebugLineReserve = 200;

    // `view` may be null: the controller then feeds a page that shows nothing. The clock,
    // the notice and the view must outlive the controller.
    MachineController(const Clock& clock, UserNotice& notice, MachineView* view = nullptr);
    ~MachineController();
    MachineController(const MachineController&) = delete;
    MachineController& operator=(const MachineController&) = delete;

    // The slot's page; null gives the page that shows nothing. Set it while inactive.
    void setView(MachineView* view);

    // Binds the controller to a machine's link and starts the engine's start-up phase. Debug
    // files go into `debugDirectory`, the log database into `logDirectory`.
    void connect(const MessageLink& link, MachineEventSink onMachineEvent,
                 const std::filesystem::path& debugDirectory,
                 const std::filesystem::path& logDirectory, int usbSlot, int controllerIndex);
    // Stops the engine, closes the page and raises main-window event 3.
    void disconnect();
    // One engine step while active.
    void step();

    bool active() const { return active_; }
    int usbSlot() const { return usbSlot_; }
    int controllerIndex() const { return controllerIndex_; }
    // The machine's row in the main window's machine table (-1 at creation); the main
    // window's own bookkeeping.
    int tableRow() const { return tableRow_; }
    void setTableRow(int row) { tableRow_ = row; }

    MachineInfo& machineInfo() { return *machineInfo_; }
    const MachineInfo& machineInfo() const { return *machineInfo_; }
    MachineProtocol& engine() { return *engine_; }

    // "<log directory>/<machine ID>.MX40D.LOGDATA", set at event 1; empty before.
    const std::filesystem::path& logDatabasePath() const { return logDatabasePath_; }
    const std::filesystem::path& logDirectory() const { return logDirectory_; }
    // The debug file in use, empty while the lines go to the buffer.
    const std::filesystem::path& debugFilePath() const { return debugFilePath_; }
    bool debugFileOpen() const { return debugFile_ != nullptr; }
    // Lines written while no debug file is open.
    const std::string& debugBuffer() const { return debugBuffer_; }

    // The text writer: one debug line with the local-time prefix.
    void writeText(const std::string& text);

    // Job tracking.
    int currentJob() const { return currentJob_; }
    int jobStage() const { return jobStage_; }
    bool deviceDataComplete() const { return deviceDataComplete_; }
    // The last status block, numbers in host order.
    const std::array<std::uint8_t, kMachineStatusSize>& statusBlock() const { return status_; }
    bool panelBuilt() const { return panelBuilt_; }
    // False when the log database could not be opened or created at event 1.
    bool databaseUsable() const { return databaseUsable_; }

    // The file names of a machine, from its identification made safe for a file name.
    static std::filesystem::path logDatabaseFile(const std::filesystem::path& logDirectory,
                                                 const std::string& machineId);
    static std::filesystem::path debugFile(const std::filesystem::path& debugDirectory,
                                           const std::string& machineId, const LocalTime& t);

  private:
    void onEngineEvent(int code, int number, const void* pointer);
    void onMachineInfo(int number, const void* pointer);
    void onLogRecord(int size, const std::uint8_t* record);
    void trackJob();
    void applyStageTable(bool tableB);
    void raise(int code, int number, const void* pointer);
    bool stillConnected(std::uint64_t connection) const {
        return active_ && connection_ == connection;
    }
    void openBanner(const char* what);
    void openDebugFile();
    void closeDebugFile();

    const Clock& clock_;
    UserNotice& notice_;
    NullMachineView nullView_;
    MachineView* view_;
    int tableRow_ = -1;
    MachineEventSink onMachineEvent_;
    int usbSlot_ = -1;
    int controllerIndex_ = -1;
    std::unique_ptr<MachineInfo> machineInfo_;
    std::unique_ptr<MachineProtocol> engine_;
    bool sheetOpen_ = false;
    bool panelBuilt_ = false;
    bool active_ = false;
    // Counts connections and disconnections: a handler that turned the event loop (a message
    // box, the main window's event) compares it to learn whether the machine it served is
    // still the one connected.
    std::uint64_t connection_ = 0;
    bool databaseUsable_ = false;
    std::filesystem::path logDirectory_;
    std::filesystem::path logDatabasePath_;
    std::array<std::uint8_t, kMachineStatusSize> status_{};
    std::FILE* debugFile_ = nullptr;
    std::filesystem::path debugFilePath_;
    std::string debugBuffer_;
    std::filesystem::path debugDirectory_;
    int currentJob_ = -1;
    int jobStage_ = -1;
    bool deviceDataComplete_ = false;
};

}  // namespace mx40d
