#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "machine_ui/DeviceRecords.h"
#include "protocol/Commands.h"
#include "reports/LogRecord.h"

// A simulated duplicator or eraser: the machine's side of the wire.
//
// The host writes 65-byte reports (HidDevice::writeReport) and reads 65-byte reports
// (HidDevice::readReport); SimHidBackend connects those calls to hostWrite() and hostRead().
// The machine reassembles each command frame, checks its additive checksum (a bad frame gets
// no answer, like any malformed command) and answers with an answer frame carrying the check
// value the host expects for that command.
//
// Time comes only from the Clock. Nothing runs on its own: whenever the host touches the
// machine, or a test calls service(), the machine brings its job up to clock.nowMs(). With a
// FakeClock a test advances minutes of a job in microseconds.
//
// Link model: the link carries `reportsPerMs` reports per millisecond in each direction. A
// command is complete when its last report has crossed the link; the answer is ready
// `answerLatencyUs` later and its reports become readable one by one at the link's pace. At one
// report per millisecond and no latency, a 0x80 command (one report) sent at t answers with
// 264 bytes in five reports readable at t+2 .. t+6 ms.
namespace mx40d::sim {

// A drive on one port.
struct SimDrive {
    bool present = false;
    std::string model;
    std::string firmware;
    std::string serial;
    std::uint64_t sectorCount = 0;
    std::uint16_t sectorSize = 512;
    std::uint32_t powerOnHours = 0;
    std::uint32_t powerCycles = 0;
    // The drive fails its next run whatever the failure rate says.
    bool failsNextRun = false;
};

struct SimMachineConfig {
    std::uint8_t kind = kDuplicatorKind;  // '3' duplicator, '5' eraser
    int ports = 8;                        // maxDeviceQty
    int portsPerBoard = 8;                // board summary; boards = ports / portsPerBoard, up
    int portsPerRow = 4;
    // The board list; empty means one made-up board per portsPerBoard ports.
    std::vector<BoardInfo> boards;
    std::string model = "MX40D-SIM";  // at most 20 bytes reach the wire
    std::string firmware = "v1.2.3";  // "v%d.%d.%d", at most 10 bytes
    std::string machineId = "SIM00001";
    std::string nickname = "Simulator";  // at most 56 bytes
    std::uint16_t bufferSize = 1024;     // systemTotalBufferSize
    std::uint8_t layoutKind = 1;         // 1: shown as port tiles
    // Feature bits; -1 means by kind: 0x02 (job buttons) for a duplicator, 0 for an eraser.
    int featureBits = -1;

    // "W" 12 and "W" 5: false makes the machine refuse to have its clock or nickname set.
    bool acceptsClock = true;
    bool acceptsNickname = true;

    // Job log.
    bool keepsLog = true;
    std::uint32_t logStartNo = 1;  // number of the first record the machine holds
    int prefilledRecords = 0;      // records made up at construction
    // The most records the machine holds; when full the oldest goes and the start moves on.
    // 0 means no limit.
    std::size_t logCapacity = 0;

    // Drives: when true every port starts with a made-up drive of `driveSectors` sectors.
    bool drivesInAllPorts = true;
    std::uint64_t driveSectors = 976773168;  // 500 GB of 512-byte sectors

    // Jobs.
    std::uint64_t sectorsPerSecond = 400000;  // per port, about 195 MiB/s
    std::int64_t detectMs = 2000;             // stage 1: drives power up and are identified
    double failureRate = 0.0;                 // chance that a port fails a run
    std::uint64_t seed = 1;                   // made-up drives, records, failures, faults

    // Link.
    double reportsPerMs = 1.0;
    std::int64_t answerLatencyUs = 0;
    // Random faults: the chance that an answer gets one, and which kinds may be drawn
    // (bit i = FaultKind i; unplugging is never drawn).
    double randomFaultRate = 0.0;
    std::uint32_t randomFaultKinds = 0x7F;
};

enum class FaultKind : int {
    NoAnswer = 0,    // the command is taken but never answered
    LateAnswer = 1,  // the answer comes `param` ms late (default 7000)
    // The last byte of the frame is inverted: its check value after "A", "B", "D", "E" and
    // 0x80; after "W" and "R", whose answers carry none, the last payload or status byte.
    CorruptCheck = 2,
    WrongLength = 3,      // the frame loses its last byte; L stays as it was
    WrongHeader = 4,      // byte 0 is '$' instead of '#'
    SplitAnswer = 5,      // the answer's reports come `param` ms apart (default 25)
    DuplicateAnswer = 6,  // the answer is sent twice, back to back
    // The machine goes away once the command is in (it has taken effect); no answer. The
    // backend reports the removal and every open handle fails from then on.
    UnplugMidCommand = 7,
    // A message of three bytes comes just ahead of the answer (never drawn at random).
    RuntAnswer = 8,
};
constexpr int kFaultKindCount = 9;
// Matches any command code in injectFault().
constexpr int kAnyCommand = -1;

// Port states (DeviceStatus byte 54).
enum PortState : std::uint8_t {
    kPortNone = 0,
    kPortDone = 1,
    kPortTurningOn = 2,
    kPortReady = 3,
    kPortRead = 4,
    kPortWrite = 5,
    kPortCompare = 6,
    kPortErase = 7,
    kPortSecurityErase = 8,
};

// The stages the machine reports in status byte 3 are JobStage (protocol/WireLayout.h); a
// "GET ID" job reports its detection stage as kStageCopy.

class SimMachine {
  public:
    SimMachine(const Clock& clock, SimMachineConfig config);

    const SimMachineConfig& config() const { return config_; }

    // ---- The host side (called by SimHidBackend's device handles) ----
    // Takes one 65-byte report from the host. Reports that are not part of a well-formed
    // message are dropped.
    void hostWrite(const std::uint8_t* report);
    // Hands over the next answer report that has crossed the link by now; false when none.
    bool hostRead(std::uint8_t* report);
    // Answer reports queued, whether or not they have crossed the link yet.
    std::size_t pendingReports() const { return out_.size(); }
    // Drops everything in flight both ways (the machine was unplugged).
    void dropLink();
    // Called when a fault unplugs the machine; SimHidBackend sets it.
    std::function<void()> onUnplug;

    // ---- Time ----
    // Brings the job up to the clock's time. Host reads and writes do it too.
    void service();

    // ---- Front panel ----
    // Starts a job as the machine's own buttons would: any job code the machine knows
    // (1..10, 16, 20, 26, 30..35). False when a job runs already or the code is unknown.
    bool startJob(std::uint8_t jobCode);
    bool finishJob();  // at stage 4: the job ends, the machine is idle
    bool nextRun();    // at stage 4: another run of the same job
    bool stopJob();    // while a job runs: the run ends now, unfinished ports fail
    // The running job (0 idle) and its stage, brought up to the clock first.
    std::uint8_t jobCode() {
        service();
        return jobCode_;
    }
    std::uint8_t stage() {
        service();
        return stage_;
    }

    // ---- Drives ----
    void setDrive(int port, const SimDrive& drive);  // port 0-based
    void removeDrive(int port);
    const SimDrive& drive(int port) const;
    int ports() const { return config_.ports; }

    // ---- What the machine shows ----
    // (Each brings the job up to the clock first.)
    MachineStatus status();
    DeviceStatus deviceStatus(int port);  // port 0-based; wire layout
    DeviceInfo deviceInfo(int port);
    const std::string& nickname() const { return nickname_; }
    LocalTime machineClock() const;

    // ---- Job log (each brings the job up to the clock first) ----
    std::uint32_t logStartNo();
    std::uint32_t logQty();
    // The record with this number, or nullptr when the machine does not hold it.
    const LogRecord* logRecord(std::uint32_t number);
    // Appends a record, numbering it as the next one.
    void appendLogRecord(LogRecord record);
    // Empties the log and restarts its counter at `startNo`.
    void resetLog(std::uint32_t startNo);

    // ---- Faults ----
    // The next answer to `commandCode` (or to any command with kAnyCommand) gets `kind`.
    // Faults queue up and are used in the order injected. `param` is the delay of
    // LateAnswer or the gap of SplitAnswer in ms; 0 takes the default. The answer to a data
    // block (nickname or clock) takes faults injected under '#' (or kAnyCommand). A command
    // that gets no answer anyway (malformed) leaves the faults waiting.
    // `subCode` narrows a fault for "W" to one of its sub-codes (its first payload byte);
    // -1 matches every "W".
    void injectFault(int commandCode, FaultKind kind, std::int64_t param = 0, int subCode = -1);
    // While set, a request for this log record is refused (status 1, no record) as for a
    // record the machine does not hold.
    void refuseLogRecord(std::uint32_t number, bool refuse);
    std::size_t pendingFaults() const { return faults_.size(); }

    // ---- Counters ----
    struct Counters {
        std::uint64_t commands = 0;  // well-formed commands taken
        std::uint64_t answers = 0;   // answer frames queued
        std::uint64_t rejected = 0;  // messages dropped as malformed
        std::uint64_t faults = 0;    // faults applied
        std::uint64_t logRecordsSent = 0;
    };
    const Counters& counters() const { return counters_; }

    // The answer frame the machine would send to `frame` now, without a fault and without
    // touching the link; empty when the frame gets no answer. For tests and benchmarks.
    std::vector<std::uint8_t> answerTo(const std::uint8_t* frame, std::size_t size);

  private:
    struct Port {
        SimDrive drive;
        std::uint8_t state = kPortNone;
        bool takesPart = false;
        bool failing = false;  // decided at the start of a run
        bool failed = false;
        bool stopped = false;           // cut short by "STOP"
        bool done = false;              // the run is over for this port
        double failFraction = 0.5;      // where in its work a failing port stops
        std::uint64_t work = 0;         // sectors this port moves in the current phase
        std::uint64_t stopAt = 0;       // sectors it moves before it stops (work, or less)
        std::uint64_t passSectors = 0;  // erase jobs: sectors of one pass
        std::int64_t finishedMs = 0;    // when it reaches stopAt
        std::uint32_t badSectors = 0;
        std::uint64_t firstBad = 0;
    };
    struct Fault {
        int command;
        FaultKind kind;
        std::int64_t param;
        int sub = -1;
    };
    struct OutReport {
        std::int64_t dueNs;
        std::array<std::uint8_t, 65> bytes;
    };

    // Link.
    std::int64_t nowNs() const { return clock_.nowMs() * 1000000; }
    void takeMessage(const std::uint8_t* msg, std::size_t size, std::int64_t arrivedNs);
    void queueAnswer(std::vector<std::uint8_t> frame, std::uint8_t commandCode, int subCode,
                     std::int64_t arrivedNs);
    bool drawFault(int commandCode, int subCode, Fault& fault);

    // Commands.
    std::vector<std::uint8_t> answerCommand(std::uint8_t code, const std::uint8_t* payload, int n);
    std::vector<std::uint8_t> answerBlock(const std::uint8_t* data, int m);
    std::vector<std::uint8_t> frame(std::uint8_t code, std::uint8_t status,
                                    const std::uint8_t* payload, std::size_t n) const;
    std::vector<std::uint8_t> machineInfoPayload() const;
    std::vector<std::uint8_t> machineData(const std::uint8_t* payload, int n, bool& answered);
    std::vector<std::uint8_t> deviceRecords(std::uint8_t code, const std::uint8_t* payload, int n);
    std::uint8_t jobRequest(std::uint8_t request);

    // Jobs.
    bool knownJob(std::uint8_t code) const;
    void beginRun();
    void enterPhase(std::uint8_t stage, std::int64_t atMs);
    void advanceTo(std::int64_t ms);
    std::uint64_t doneAt(const Port& p, std::int64_t ms) const;
    void endRun(std::int64_t atMs, bool stopped);
    int passesOf(std::uint8_t code) const;
    std::uint8_t patternOf(int pass) const;
    bool isEraseJob(std::uint8_t code) const;
    void writeLog(std::int64_t atMs);
    std::uint64_t nextRandom();

    const Clock& clock_;
    SimMachineConfig config_;
    std::vector<BoardInfo> boards_;
    std::string nickname_;
    std::int64_t clockOffsetSeconds_ = 0;

    // Host message reassembly.
    std::vector<std::uint8_t> inMsg_;
    int inCount_ = 0;
    int inNext_ = 0;
    std::int64_t inFreeNs_ = 0;
    std::int64_t outFreeNs_ = 0;
    std::int64_t perReportNs_ = 1000000;
    std::deque<OutReport> out_;
    // A data block announced by "W" 5 (nickname) or "W" 12 (clock); 0 when none.
    std::uint8_t blockExpected_ = 0;

    std::deque<Fault> faults_;
    std::vector<std::uint32_t> refused_;
    std::uint64_t rng_;
    std::uint64_t faultRng_;
    Counters counters_;

    // Jobs.
    std::vector<Port> ports_;
    std::uint8_t jobCode_ = 0;
    std::uint8_t stage_ = kStageIdle;
    std::uint8_t jobGroupNo_ = 0;
    std::int64_t runStartMs_ = 0;
    std::int64_t phaseStartMs_ = 0;
    LocalTime runStartTime_{};
    std::uint64_t copyTotal_ = 0;

    // Log.
    std::deque<LogRecord> log_;
    std::uint32_t logStart_ = 1;
};

}  // namespace mx40d::sim
