#include "controller/MachineController.h"

#include <cstring>

#include "base/ByteOrder.h"
#include "base/MachineFiles.h"
#include "base/Text.h"
#include "reports/LogDatabase.h"

namespace mx40d {

namespace {

std::string timePrefix(const LocalTime& t) {
    return cformat("%4d-%02d-%02d %02d:%02d:%02d: ", t.year, t.month, t.day, t.hour, t.minute,
                   t.second);
}

}  // namespace

MachineController::MachineController(const Clock& clock, UserNotice& notice, MachineView* view)
    : clock_(clock),
      notice_(notice),
      view_(view != nullptr ? view : &nullView_),
      machineInfo_(std::make_unique<MachineInfo>()),
      engine_(std::make_unique<MachineProtocol>(*machineInfo_, clock)) {
    openBanner("OPEN");
}

MachineController::~MachineController() {
    if (active_) engine_->stop();
    if (debugFile_ != nullptr) {
        closeDebugFile();
    }
    if (sheetOpen_) view_->closeSheet();
}

void MachineController::setView(MachineView* view) {
    view_ = view != nullptr ? view : &nullView_;
}

void MachineController::openBanner(const char* what) {
    const LocalTime t = clock_.localTime();
    const std::string rule(60, '=');
    const std::string text = "\n" + rule + "\n" +
                             cformat("%s Orvane DEBUG FILE at %4d-%02d-%02d %02d:%02d:%02d", what,
                                     t.year, t.month, t.day, t.hour, t.minute, t.second) +
                             "\n" + rule + "\n";
    if (debugFile_ != nullptr) {
        std::fwrite(text.data(), 1, text.size(), debugFile_);
        std::fflush(debugFile_);
    } else {
        debugBuffer_ += text;
    }
}

std::filesystem::path MachineController::logDatabaseFile(const std::filesystem::path& logDirectory,
                                                         const std::string& machineId) {
    return machinefiles::logDatabase(logDirectory, machineId);
}

std::filesystem::path MachineController::debugFile(const std::filesystem::path& debugDirectory,
                                                   const std::string& machineId,
                                                   const LocalTime& t) {
    return machinefiles::debugFile(debugDirectory, machineId, t);
}

void MachineController::writeText(const std::string& text) {
    const std::string line = timePrefix(clock_.localTime()) + text + "\n";
    if (debugFile_ != nullptr) {
        std::fwrite(line.data(), 1, line.size(), debugFile_);
        std::fflush(debugFile_);
        return;
    }
    // Until the debug file opens the lines wait in a buffer of 64 KiB; once it is (nearly)
    // full, further lines are dropped.
    if (debugBuffer_.size() + std::max(kDebugLineReserve, line.size()) >= kDebugBufferSize) return;
    debugBuffer_ += line;
}

void MachineController::openDebugFile() {
    const std::filesystem::path path =
        debugFile(debugDirectory_, machineInfo_->machineId(), clock_.localTime());
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) return;  // lines keep going to the buffer
    debugFile_ = f;
    debugFilePath_ = path;
    std::fwrite(debugBuffer_.data(), 1, debugBuffer_.size(), debugFile_);
    std::fflush(debugFile_);
    debugBuffer_.clear();
}

void MachineController::closeDebugFile() {
    openBanner("CLOSE");
    std::fclose(debugFile_);
    debugFile_ = nullptr;
    debugFilePath_.clear();
}

void MachineController::connect(const MessageLink& link, MachineEventSink onMachineEvent,
                                const std::filesystem::path& debugDirectory,
                                const std::filesystem::path& logDirectory, int usbSlot,
                                int controllerIndex) {
    if (active_) disconnect();
    ++connection_;
    onMachineEvent_ = std::move(onMachineEvent);
    debugDirectory_ = debugDirectory;
    logDirectory_ = logDirectory;
    usbSlot_ = usbSlot;
    controllerIndex_ = controllerIndex;
    // Nothing of the machine served before carries over: a new page learns the running job
    // from this machine's first status block, and its panel is built at its own event 1.
    currentJob_ = -1;
    jobStage_ = -1;
    deviceDataComplete_ = false;
    status_.fill(0);
    panelBuilt_ = false;
    databaseUsable_ = false;
    logDatabasePath_.clear();
    if (debugBuffer_.empty()) openBanner("OPEN");
    engine_->start(
        link, [this](const std::string& t) { writeText(t); },
        [this](int code, int number, const void* p) { onEngineEvent(code, number, p); });
    engine_->setLogRecordSink([this](int size, const std::uint8_t* r) { onLogRecord(size, r); });
    if (!sheetOpen_) {
        view_->openSheet("Link...");
        sheetOpen_ = true;
    }
    writeText("Machine connect ! ");
    active_ = true;
}

void MachineController::disconnect() {
    if (!active_) return;
    ++connection_;
    engine_->stop();
    writeText("Machine disconnect ! ");
    if (sheetOpen_) {
        view_->closeSheet();
        sheetOpen_ = false;
    }
    panelBuilt_ = false;
    // The next connection opens the file anew (perhaps of another month) and starts with its
    // own banner.
    if (debugFile_ != nullptr) closeDebugFile();
    raise(kOffLine, 0, nullptr);
    active_ = false;
}

void MachineController::step() {
    if (active_) engine_->step();
}

void MachineController::raise(int code, int number, const void* pointer) {
    if (onMachineEvent_) onMachineEvent_(controllerIndex_, code, number, pointer);
}

void MachineController::onEngineEvent(int code, int number, const void* pointer) {
    const std::uint64_t connection = connection_;
    switch (code) {
        case kEventMachineInfo: {
            const std::uint8_t kind = machineInfo_->deviceType();
            // Only duplicators and erasers are served; anything else is ignored altogether.
            if (!isServedKind(kind)) return;
            onMachineInfo(number, pointer);
            break;
        }
        case kEventClockSet:
            raise(kClockSet, number, pointer);
            break;
        case kEventDevicePass:
            deviceDataComplete_ = true;
            break;
        case kEventStatus: {
            MachineStatus s;
            std::memcpy(s.bytes.data(), pointer, kMachineStatusSize);
            status_ = s.hostBytes();
            engine_->setStatusCopy(status_);
            if (panelBuilt_) view_->setMachineStatus(status_);
            break;
        }
        case kEventDeviceInfo:
        case kEventDeviceStatus:
            if (panelBuilt_)
                view_->applyDeviceBlock(currentJob_,
                                        *static_cast<const DeviceBlockEvent*>(pointer));
            break;
        default:
            break;
    }
    if (stillConnected(connection)) trackJob();
}

void MachineController::onMachineInfo(int number, const void* pointer) {
    MachineInfo& info = *machineInfo_;
    const std::uint64_t connection = connection_;
    // The main window's handler and the message boxes below turn the event loop, in which
    // the machine may be removed: whatever follows is for this connection only.
    raise(kOnLine, number, pointer);
    if (!stillConnected(connection)) return;
    openDebugFile();
    logDatabasePath_ = logDatabaseFile(logDirectory_, info.machineId());
    writeText(cformat("machineInfo->support_LogRecord = %d", info.support_LogRecord()));
    if (info.support_LogRecord() == 1) {
        writeText(cformat("machineInfo->Machine_LOG_startNo=%d", info.Machine_LOG_startNo()));
        writeText(cformat("machineInfo->Machine_LOG_nextNewNo  =%d", info.Machine_LOG_nextNewNo()));
        // Nothing is known of the local records until the database says otherwise, so a
        // database that cannot be read makes the download start at the machine's first record.
        info.setLastStoredLogNo(-1);
        if (machinefiles::adoptEarlierName(logDirectory_, info.machineId(),
                                           machinefiles::kLogDatabaseSuffix))
            writeText("log database renamed from its earlier name");
        const DatabaseResult r = open_LogDatabase(logDatabasePath_, info);
        databaseUsable_ = r == DatabaseResult::Pass;
        if (!databaseUsable_) {
            notice_.showMessage("DATABASE", get_DatabaseResultText(r));
            if (!stillConnected(connection)) return;
        }
    }
    if (!panelBuilt_) {
        view_->buildPanel(info, *engine_, logDatabasePath_, logDirectory_);
        panelBuilt_ = true;
    }
    engine_->requestClockSet();
}

void MachineController::onLogRecord(int size, const std::uint8_t* record) {
    MachineInfo& info = *machineInfo_;
    const std::uint32_t number = readBe32(record);
    if (!databaseUsable_) {
        // A database that could not be opened is left as it is (it may be another program's
        // file or a damaged one the operator has to look at). The records are shown and the
        // download moves past them once; they stay on the machine for the next connection.
        info.setLastStoredLogNo(static_cast<std::int32_t>(number));
        if (panelBuilt_) view_->appendLogRecord(record);
        return;
    }
    const std::int32_t before = info.lastStoredLogNo();
    const DatabaseResult r =
        append_LogRecord(logDatabasePath_, record, static_cast<std::size_t>(size), &info);
    if (r != DatabaseResult::Pass) {
        // Not stored: nothing after it may be stored either, or it would be lost for good.
        // The next log check fetches it again.
        info.setLastStoredLogNo(before);
        engine_->endLogBatch();
        writeText(cformat("append_LogRecord FAIL: LOG No.%u not stored (%s)", number,
                          get_DatabaseResultText(r).c_str()));
        return;
    }
    const std::uint64_t connection = connection_;
    raise(kLogRecordAdded, static_cast<int>(MachineInfo::kSize), &info);
    if (stillConnected(connection) && panelBuilt_) view_->appendLogRecord(record);
}

void MachineController::trackJob() {
    if (!panelBuilt_) return;
    const int machineJob = status_[wire::status::kJobCode];
    if (machineJob != currentJob_) {
        currentJob_ = machineJob;
        if (isCopyJobCode(machineJob) || machineJob == kJobGetId) jobStage_ = kStageIdle;
        engine_->setJobCode(currentJob_);
        engine_->setJobStage(jobStage_);
        view_->clearPortTable();
        view_->showJob(currentJob_, jobStage_);
        view_->setIdle(currentJob_ == 0);
        return;
    }
    if (isCopyJobCode(currentJob_))
        applyStageTable(false);
    else if (currentJob_ == kJobGetId)
        applyStageTable(true);
}

// Stage tables: A for copy and compare jobs, B for the identify job. Each stage that tests
// the flag waits for one complete pass of device data before moving on.
void MachineController::applyStageTable(bool tableB) {
    if (jobStage_ == status_[wire::status::kStage]) return;
    bool& flag = deviceDataComplete_;
    switch (jobStage_) {
        case kStageIdle:
            view_->clearPortTable();
            flag = false;
            jobStage_ = tableB ? kStageCopy : kStageDetect;
            break;
        case kStageDetect:
            if (!tableB && flag) jobStage_ = kStageCopy;
            break;
        case kStageCopy:
            if (flag) {
                flag = false;
                jobStage_ = kStageCopyDone;
            }
            break;
        case kStageCopyDone:
            if (flag) {
                if (!tableB) view_->writeTestReport();
                jobStage_ = kStageCompare;
            }
            break;
        case kStageCompare:
            flag = false;
            jobStage_ = kStageCompareDone;
            break;
        case kStageCompareDone:
            if (flag) {
                if (tableB) view_->writeTestReport();
                jobStage_ = kStageEnd;
            }
            break;
        case kStageEnd:
            view_->clearPortTable();
            jobStage_ = kStageIdle;
            break;
        default:
            break;
    }
    engine_->setJobStage(jobStage_);
    view_->showJob(currentJob_, jobStage_);
}

}  // namespace mx40d
