#include "protocol/MachineProtocol.h"

#include <algorithm>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Text.h"
#include "protocol/Checksums.h"
#include "protocol/Frames.h"

namespace mx40d {

namespace {

// The machine information answer with the check value behind it.
constexpr int kMachineInfoAnswerSize = wire::info::kAnswerSize;

// A copy of the answer's first `n` bytes with what the answer lacks left zero, so a short
// answer can never make a parser read stale bytes of an earlier one.
template <std::size_t N>
std::array<std::uint8_t, N> padded(const std::uint8_t* answer, int length) {
    std::array<std::uint8_t, N> out{};
    std::memcpy(out.data(), answer, std::clamp<std::size_t>(length, 0, N));
    return out;
}

bool isJobOrNickname(MachineProtocol::Request r) {
    return r != MachineProtocol::Request::Clock;
}

}  // namespace

MachineProtocol::MachineProtocol(MachineInfo& machineInfo, const Clock& clock)
    : machineInfo_(machineInfo), clock_(clock), channel_(clock) {
    channel_.setTextSink([this](const std::string& t) { text(t); });
}

void MachineProtocol::start(const MessageLink& link, TextSink onText, EventSink onEvent) {
    link_ = link;
    channel_.setLink(link);
    onText_ = std::move(onText);
    onEvent_ = std::move(onEvent);
    phase_ = kStartUp;
    pollStep_ = kSuSaveSecond;
    idle_ = true;
    // Nothing of the machine served before carries over but its pending requests (which
    // the start-up checks against the machine it finds).
    commandState_ = 0;
    logSupported_ = false;
    boardCount_ = 0;
    statusCopy_.fill(0);
    statusBlock_.fill(0);
    logBatchLeft_ = 0;
    jobCode_ = 0;
    jobStage_ = 0;
    setAside_ = 0;
    lastTaken_.clear();
    lastTakenCmd_.clear();
    text("Device connect ! ");
    active_ = true;
}

void MachineProtocol::stop() {
    active_ = false;
    text("Device disconnect ! ");
}

void MachineProtocol::raise(Request r) {
    if (isJobOrNickname(r)) {
        bool any = false;
        for (int i = 0; i < kRequestCount; ++i)
            any = any || (isJobOrNickname(static_cast<Request>(i)) && requests_[i]);
        // Requests raised together belong to one machine; the first one names it.
        if (!any) requestOwner_ = connectedId_;
    }
    requests_[static_cast<int>(r)] = true;
}

void MachineProtocol::requestJob(JobRequest request) {
    switch (request) {
        case JobRequest::Copy:
            raise(Request::Copy);
            break;
        case JobRequest::Compare:
            raise(Request::Compare);
            break;
        case JobRequest::CopyCompare:
            raise(Request::CopyCompare);
            break;
        case JobRequest::GetId:
            raise(Request::GetId);
            break;
        case JobRequest::Finish:
            raise(Request::Finish);
            break;
        case JobRequest::NextRun:
            raise(Request::NextRun);
            break;
        case JobRequest::Stop:
            raise(Request::Stop);
            break;
    }
}

void MachineProtocol::checkRequestOwner(const std::string& id) {
    bool any = false;
    for (int i = 0; i < kRequestCount; ++i)
        any = any || (isJobOrNickname(static_cast<Request>(i)) && requests_[i]);
    if (any && requestOwner_ != id) {
        // A controller serves whichever machine comes next: a job asked for on one machine
        // must never start on another.
        for (int i = 0; i < kRequestCount; ++i)
            if (isJobOrNickname(static_cast<Request>(i))) requests_[i] = false;
        text(cformat("Pending requests for machine [%s] dropped: machine [%s] is connected",
                     requestOwner_.c_str(), id.c_str()));
    }
    connectedId_ = id;
    requestOwner_ = id;
}

void MachineProtocol::setNickname(const std::string& t) {
    storeText(nickNameToSet_.data(), nickNameToSet_.size(), t);
    raise(Request::Nickname);
}

void MachineProtocol::requestClockSet() {
    machineClock_ = clockText(clock_.localTime());
    machineClock_.resize(kClockTextSize, '0');
    raise(Request::Clock);
}

bool MachineProtocol::take(Request r) {
    if (!pending(r)) return false;
    requests_[static_cast<int>(r)] = false;
    return true;
}

void MachineProtocol::text(const std::string& line) {
    if (onText_) onText_(line);
}

void MachineProtocol::event(int code, int number, const void* pointer) {
    if (onEvent_) onEvent_(code, number, pointer);
}

void MachineProtocol::send(const Command& c) {
    setAside_ = 0;
    repeatSetAside_ = false;
    channel_.sendCommand(c.code, c.payload.data(), c.length);
}

void MachineProtocol::sendBlock(const std::uint8_t* block, int size) {
    setAside_ = 0;
    repeatSetAside_ = false;
    channel_.sendBlock(block, size);
}

bool MachineProtocol::answerFits(std::string& why) const {
    const int n = answerLength();
    // The size each waiting state's answer has: exact where the command implies it, at
    // least the answer's head where the answer is not examined or of open length.
    int need = wire::kAnswerHeadSize;
    bool exact = false;
    switch (commandState_) {
        case kStMachineInfoWait:
            need = kMachineInfoAnswerSize;
            break;
        case kStBoardSummaryWait:
            need = wire::boardSummary::kAnswerSize;
            exact = true;
            break;
        case kStBoardsWait:
            need = wire::board::answerSize(count_);
            exact = true;
            break;
        case kStNicknameWait:
            need = wire::nickname::kAnswerSize;
            exact = true;
            break;
        case kStLogSupportWait:
        case kStChangeNicknameWait:
        case kStSetClockWait:
            need = wire::kStatusOnlyAnswerSize;
            exact = true;
            break;
        case kStLogRangeWait:
            need = wire::logRange::kAnswerSize;
            exact = true;
            break;
        case kStStatusWait:
            need = wire::status::kAnswerSize;
            exact = true;
            break;
        case kStLogRecordWait:
            need = wire::logRecord::kAnswerSize;
            exact = true;
            break;
        case kStFirstDeviceWait:
        case kStDeviceInfoWait:
        case kStDeviceStatusWait:
            need = wire::device::answerSize(recordSize_, count_);
            exact = true;
            break;
        default:
            break;
    }
    // "W" and "R" answers carry no check value, so a late answer to "A", "B" or 0x80
    // (repeated after a time-out or a failed check) would pass for one. Such an answer is
    // recognised by its exact size together with a valid check value at its end.
    const std::uint8_t code = channel_.cmdCode();
    if (code == kCmdMachineData || code == kCmdJobRequest) {
        const std::uint8_t* a = answer();
        const auto size = static_cast<std::size_t>(n);
        const bool staleInfo =
            n == kMachineInfoAnswerSize && crc16(a, size - wire::kCrc16Size) == readBe16(a + n - 2);
        const bool staleCrc32 =
            (n == wire::status::kAnswerSize || n == wire::logRecord::kAnswerSize) &&
            crc32(a, size - wire::kCrc32Size) == readBe32(a + n - 4);
        if (staleInfo || staleCrc32) {
            why = cformat("length=%d, an answer to another command", n);
            return false;
        }
    }
    if (exact ? n != need : n < need) {
        why = cformat("length=%d, expected %s%d", n, exact ? "" : "at least ", need);
        return false;
    }
    // A repeat of the answer the command before got (sent twice by the machine, or the
    // answer to that command's repetition after a time-out) can have the size this answer
    // has: "W" 1 for an ID of four characters is as long as "W" 2's board summary.
    // Only answers with a payload are compared (a status alone proves nothing), only across
    // sub-codes ("W" 3 batches of identical boards are alike), and only once per command
    // sent: an identical answer that comes again is the machine's real answer.
    const std::size_t sub = wire::command::kPayload;
    if (code == kCmdMachineData && commandState_ != kStNicknameBlockWait &&
        commandState_ != kStClockBlockWait && !repeatSetAside_ && n > wire::kStatusOnlyAnswerSize &&
        lastTaken_.size() == static_cast<std::size_t>(n) && lastTakenCmd_.size() > sub &&
        lastTakenCmd_[sub] != channel_.cmd()[sub] &&
        std::memcmp(lastTaken_.data(), answer(), lastTaken_.size()) == 0) {
        repeatSetAside_ = true;
        why = cformat("length=%d, a repeat of the answer to the command before", n);
        return false;
    }
    return true;
}

void MachineProtocol::rememberAnswer() {
    if (channel_.cmdCode() != kCmdMachineData) {
        lastTaken_.clear();
        return;
    }
    lastTaken_.assign(answer(), answer() + answerLength());
    lastTakenCmd_.assign(channel_.cmd(), channel_.cmd() + channel_.cmdSize());
}

bool MachineProtocol::awaitAnswer() {
    if (!channel_.receiveAnswer()) return false;
    std::string why;
    if (answerFits(why)) {
        setAside_ = 0;
        rememberAnswer();
        return true;
    }
    // A late answer to an earlier command (one that was repeated after a time-out) or an
    // answer of the wrong shape: not this command's answer. Keep waiting for the right one
    // without repeating the command, or one stale answer would stay in flight forever; the
    // time-out still runs from the last send.
    ++setAside_;
    std::string line = errorTimePrefix(clock_.localTime()) + " [Answer set aside] CMD:";
    for (int i = 0; i < channel_.cmdSize(); ++i)
        line += cformat(" %02Xh", channel_.cmd()[i]);
    line += ", " + why + "\r\n";
    text(line);
    if (setAside_ >= kMaxSetAside) {
        giveUp();
        return false;
    }
    if (link_.keepWaiting != nullptr) link_.keepWaiting(link_.context);
    return false;
}

void MachineProtocol::giveUp() {
    setAside_ = 0;
    if (phase_ == kStartUp) {
        text(cformat("%d answers set aside in a row: command sent again", kMaxSetAside));
        channel_.resend();
        return;
    }
    text(cformat("%d answers set aside in a row: sequence ended", kMaxSetAside));
    if (link_.keepWaiting != nullptr) link_.keepWaiting(link_.context);
    becomeIdle();
    // The status poll's decision step would pass the answer up: there is none.
    if (pollStep_ == kPollTakeStatus) pollStep_ = kPollStatus;
}

void MachineProtocol::step() {
    if (!active_) return;
    if (phase_ == kStartUp) {
        if (idle_)
            startupDecision();
        else
            startupCommand();
    } else if (phase_ == kPolling) {
        if (idle_)
            pollDecision();
        else
            pollCommand();
    }
}

// ---- Start-up phase ----------------------------------------------------------------------

void MachineProtocol::startupDecision() {
    MachineInfo& info = machineInfo_;
    switch (pollStep_) {
        case kSuSaveSecond:
            startupWaitSecond_ = clock_.localTime().second;
            pollStep_ = kSuWaitSecond;
            break;
        case kSuWaitSecond: {
            // The first command leaves once the seconds have moved on by two.
            int s = clock_.localTime().second;
            if (s < startupWaitSecond_) s += 60;
            if (s > startupWaitSecond_ + 1) pollStep_ = kSuAskInfo;
            break;
        }
        case kSuAskInfo:
            startState(kStMachineInfo);
            pollStep_ = kSuTakeInfo;
            break;
        case kSuTakeInfo: {
            const auto a = padded<kMachineInfoAnswerSize>(answer(), answerLength());
            parseMachineInfoAnswer(a.data(), kMachineInfoAnswerSize, info);
            text(cformat("deviceType = [%d]", info.deviceType()));
            text(cformat("modelName  = [%s]", info.modelName().c_str()));
            text(cformat("version    = [%s]", info.version().c_str()));
            text(cformat("controller_version_MAJOR = [%d]", info.controller_version_MAJOR()));
            text(cformat("controller_version_SUB   = [%d]", info.controller_version_SUB()));
            text(cformat("controller_version_MINOR = [%d]", info.controller_version_MINOR()));
            text(cformat("maxDeviceQty          = %d", info.maxDeviceQty()));
            text(cformat("systemTotalBufferSize = %d", info.systemTotalBufferSize()));
            startState(kStMachineId);
            pollStep_ = kSuTakeMachineId;
            break;
        }
        case kSuTakeMachineId: {
            std::string id;
            parseMachineIdAnswer(answer(), answerLength(), id);
            info.setMachineId(id);
            text(cformat("Machine ID: [%s]", info.machineId().c_str()));
            checkRequestOwner(info.machineId());
            startState(kStBoardSummary);
            pollStep_ = kSuTakeBoardSummary;
            break;
        }
        case kSuTakeBoardSummary:
            text(cformat("boardQty          = %d", info.boardQty()));
            text(cformat("portQty_per_board = %d", info.portQty_per_board()));
            text(cformat("portQty_per_Row   = %d", info.portQty_per_Row()));
            startState(kStBoardsBegin);
            pollStep_ = kSuTakeBoards;
            break;
        case kSuTakeBoards:
            text("Board List:");
            for (int i = 0; i < boardCount_; ++i) {
                const BoardInfo& b = boardList_[static_cast<std::size_t>(i)];
                text(cformat(
                    "%02d %s,%s, [FPGA:%X], %dMB, totalDeviceQty=%d,%d Build[%d]", i + 1,
                    fixedText(reinterpret_cast<const std::uint8_t*>(b.name), sizeof b.name).c_str(),
                    fixedText(reinterpret_cast<const std::uint8_t*>(b.text2), sizeof b.text2)
                        .c_str(),
                    b.fpgaVersion, b.memorySizeMB, b.totalDeviceQty, b.secondDeviceQty,
                    static_cast<int>(b.buildNumber)));
            }
            text("=============================");
            pollStep_ = kSuAskNickname;
            break;
        case kSuAskNickname:
            startState(kStNickname);
            pollStep_ = kSuTakeNickname;
            break;
        case kSuTakeNickname:
            text(cformat("nickName = [%s]", info.nickName().c_str()));
            pollStep_ = kSuAskLogSupport;
            break;
        case kSuAskLogSupport:
            startState(kStLogSupport);
            pollStep_ = kSuTakeLogRange;
            break;
        case kSuTakeLogRange:
            if (logSupported_) {
                info.set_support_LogRecord(1);
                info.set_Machine_LOG_startNo(static_cast<std::int32_t>(logStartNo_));
                info.set_Machine_LOG_nextNewNo(static_cast<std::int32_t>(logQty_));
                text(cformat("LOG_startNo=%d", static_cast<int>(logStartNo_)));
                text(cformat("LOG_qty    =%d", static_cast<int>(logQty_)));
            } else {
                info.set_support_LogRecord(0);
            }
            pollStep_ = kSuAnnounce;
            break;
        case kSuAnnounce:
            pollStep_ = kSuToPolling;
            event(kEventMachineInfo, 4, &machineInfo_);
            break;
        case kSuToPolling:
            phase_ = kPolling;
            pollStep_ = kPollBegin;
            idle_ = true;
            break;
        default:
            break;
    }
}

void MachineProtocol::startupCommand() {
    MachineInfo& info = machineInfo_;
    switch (commandState_) {
        case kStMachineInfo:
            send(commands::machineInfo());
            commandState_ = kStMachineInfoWait;
            break;
        case kStMachineId:
            send(commands::machineData(kW_MachineId));
            commandState_ = kStMachineIdWait;
            break;
        case kStBoardSummary:
            send(commands::machineData(kW_BoardSummary));
            commandState_ = kStBoardSummaryWait;
            break;
        case kStBoardsBegin:
            boardIndex_ = 0;
            boardCount_ = 0;
            commandState_ = kStBoards;
            break;
        case kStBoards: {
            // The list holds 256 boards; a machine reporting more is read up to that.
            const int target = std::min(info.boardQty(), kMaxBoards);
            count_ = std::clamp(target - boardIndex_, 0, kBoardsPerRequest);
            send(commands::boards(boardIndex_ + 1, count_));
            commandState_ = kStBoardsWait;
            break;
        }
        case kStNickname:
            send(commands::machineData(kW_Nickname));
            commandState_ = kStNicknameWait;
            break;
        case kStLogSupport:
            send(commands::machineData(kW_LogSupport));
            commandState_ = kStLogSupportWait;
            break;
        case kStLogRange:
            send(commands::machineData(kW_LogRange));
            commandState_ = kStLogRangeWait;
            break;
        case kStLogRangeDone:
            send(commands::machineData(kW_LogRangeDone));
            commandState_ = kStLogRangeDoneWait;
            break;
        case kStMachineInfoWait:
        case kStMachineIdWait:
        case kStNicknameWait:
        case kStLogRangeDoneWait:
            if (!awaitAnswer()) return;
            if (commandState_ == kStNicknameWait) {
                std::uint8_t* nick = info.data() + MachineInfo::kNickName;
                std::memset(nick, 0, MachineInfo::kNickNameSize);
                std::memcpy(nick, answer() + wire::nickname::kText, wire::nickname::kSize);
            }
            becomeIdle();
            break;
        case kStBoardSummaryWait: {
            if (!awaitAnswer()) return;
            BoardSummary s;
            parseBoardSummaryAnswer(answer(), answerLength(), s);
            info.setBoardQty(s.boardQty);
            info.set_portQty_per_board(s.portQty_per_board);
            info.set_portQty_per_Row(static_cast<std::uint8_t>(s.portQty_per_Row));
            becomeIdle();
            break;
        }
        case kStBoardsWait: {
            if (!awaitAnswer()) return;
            const int whole = std::min(count_, kMaxBoards - boardCount_);
            boardCount_ +=
                parseBoardsAnswer(answer(), answerLength(), whole, boardList_.data() + boardCount_);
            boardIndex_ += count_;
            if (boardIndex_ < std::min(info.boardQty(), kMaxBoards))
                commandState_ = kStBoards;
            else
                becomeIdle();
            break;
        }
        case kStLogSupportWait:
            if (!awaitAnswer()) return;
            logSupported_ = answer()[wire::kStatus] == kStatusYes;
            if (logSupported_)
                commandState_ = kStLogRange;
            else
                becomeIdle();
            break;
        case kStLogRangeWait: {
            if (!awaitAnswer()) return;
            LogRange r;
            parseLogRangeAnswer(answer(), answerLength(), r);
            logStartNo_ = r.startNo;
            logQty_ = r.qty;
            commandState_ = kStLogRangeDone;
            break;
        }
        default:
            break;
    }
}

// ---- Polling phase -----------------------------------------------------------------------

void MachineProtocol::logCheck(bool duringJob) {
    if (duringJob)
        machineInfo_.set_Machine_LOG_nextNewNo(
            static_cast<std::int32_t>(readLe32(&statusCopy_[wire::status::kLogQty])));
    const std::uint32_t startNo = readLe32(&statusCopy_[wire::status::kLogStartNo]);
    const std::uint32_t qty = readLe32(&statusCopy_[wire::status::kLogQty]);
    if (qty == 0) return;
    lastMachineLogNo_ = startNo + qty - 1;
    const auto stored = static_cast<std::uint32_t>(machineInfo_.lastStoredLogNo());
    if (stored == lastMachineLogNo_) return;
    // The record after the newest one stored; an empty database (-1) gives 0, which the range
    // test below moves to the machine's first record.
    nextLogNo_ = stored + 1;
    if (nextLogNo_ > lastMachineLogNo_ || nextLogNo_ < startNo) nextLogNo_ = startNo;
    logBatchLeft_ = duringJob ? 1 : std::min<std::uint32_t>(lastMachineLogNo_ - nextLogNo_ + 1, 10);
    startState(kStLogRecord);
}

void MachineProtocol::pollDecision() {
    switch (pollStep_) {
        case kPollBegin:
            pollStep_ = kPollStatus;
            break;
        case kPollStatus:
            if (take(Request::Clock)) {
                text(cformat("SET_MACHINE_CLOCK = [%s]", machineClock_.c_str()));
                startState(kStSetClock);
                pollStep_ = kPollClockDone;
            } else {
                startState(kStStatus);
                pollStep_ = kPollTakeStatus;
            }
            break;
        case kPollTakeStatus:
            statusBlock_ = padded<kMachineStatusSize>(answer() + wire::status::kBlock,
                                                      answerLength() - wire::kAnswerHeadSize);
            event(kEventStatus, 0, statusBlock_.data());
            // The owner may have stopped (and even restarted) the engine inside the event.
            if (!active_ || phase_ != kPolling) break;
            pollStep_ = jobCode_ != kJobIdle ? kPollJobRequests : kPollIdleRequests;
            break;
        case kPollIdleRequests:
            pollStep_ = logSupported_ ? kPollLogBatch : kPollStatus;
            if (take(Request::Nickname))
                startState(kStChangeNickname);
            else if (take(Request::Copy))
                startState(kStCopy);
            else if (take(Request::Compare))
                startState(kStCompare);
            else if (take(Request::CopyCompare))
                startState(kStCopyCompare);
            else if (take(Request::GetId))
                startState(kStGetId);
            else
                break;
            pollStep_ = kPollStatus;
            break;
        case kPollLogBatch:
            logCheck(false);
            pollStep_ = kPollStatus;
            break;
        case kPollJobRequests:
            if (take(Request::Finish))
                startState(kStFinish);
            else if (take(Request::NextRun))
                startState(kStNextRun);
            else if (take(Request::Stop))
                startState(kStStop);
            else if (jobStage_ == kStageDetect)
                startState(kStFirstDevice);
            else if (jobStage_ == kStageCompare || jobStage_ == kStageCompareDone)
                startState(kStDeviceStatusBegin);
            else if (jobStage_ != kStageEnd)
                startState(kStDeviceInfoBegin);
            pollStep_ = kPollAfterJobRead;
            break;
        case kPollAfterJobRead:
            pollStep_ = logSupported_ ? kPollLogDuringJob : kPollStatus;
            break;
        case kPollLogDuringJob:
            logCheck(true);
            pollStep_ = kPollStatus;
            break;
        case kPollClockDone:
            text(cformat("SET_MACHINE_CLOCK = [%s] Finish !", machineClock_.c_str()));
            pollStep_ = kPollStatus;
            event(kEventClockSet, 0, nullptr);
            break;
        default:
            break;
    }
}

void MachineProtocol::deviceRead(std::uint8_t code, int recordSize) {
    recordSize_ = recordSize;
    const int maxDevices = machineInfo_.maxDeviceQty();
    count_ = std::clamp(maxDevices - boardIndex_, 0, wire::device::kMaxRecordBytes / recordSize);
    send(code == kCmdDeviceInfo ? commands::deviceInfo(boardIndex_ + 1, count_)
                                : commands::deviceStatus(boardIndex_ + 1, count_));
}

void MachineProtocol::deviceAnswer(int kind) {
    const DeviceBlockEvent e =
        parseDeviceAnswer(answer(), answerLength(), kind, boardIndex_, count_);
    boardIndex_ += count_;
    event(kind == 0 ? kEventDeviceInfo : kEventDeviceStatus, 0, &e);
}

namespace {
// The job request each "R" state sends, by state (220, 230, ... 280).
JobRequest jobRequestOf(int state) {
    static constexpr JobRequest kRequests[] = {
        JobRequest::Copy,    JobRequest::Compare, JobRequest::CopyCompare, JobRequest::GetId,
        JobRequest::NextRun, JobRequest::Finish,  JobRequest::Stop};
    return kRequests[(state - MachineProtocol::kStCopy) / 10];
}
}  // namespace

void MachineProtocol::pollCommand() {
    switch (commandState_) {
        case kStChangeNickname:
            send(commands::machineData(kW_ChangeNickname));
            commandState_ = kStChangeNicknameWait;
            break;
        case kStChangeNicknameWait:
        case kStSetClockWait:
            if (!awaitAnswer()) return;
            if (answer()[wire::kStatus] == kStatusGoAhead)
                commandState_ += 1;
            else
                becomeIdle();
            break;
        case kStNicknameBlock: {
            std::uint8_t block[4 + kNicknameBlockData];
            const int n = buildDataBlock(nickNameToSet_.data(), kNicknameBlockData, block);
            sendBlock(block, n);
            commandState_ = kStNicknameBlockWait;
            break;
        }
        case kStSetClock:
            send(commands::machineData(kW_SetClock));
            commandState_ = kStSetClockWait;
            break;
        case kStClockBlock: {
            std::uint8_t block[4 + kClockTextSize];
            const int n = buildDataBlock(
                reinterpret_cast<const std::uint8_t*>(machineClock_.data()), kClockTextSize, block);
            sendBlock(block, n);
            commandState_ = kStClockBlockWait;
            break;
        }
        case kStNicknameBlockWait:
        case kStClockBlockWait:
        case kStStatusWait:
            if (!awaitAnswer()) return;
            becomeIdle();
            break;
        case kStLogRecord:
            send(commands::logRecord(nextLogNo_));
            commandState_ = kStLogRecordWait;
            break;
        case kStLogRecordWait: {
            if (!channel_.receiveAnswer()) return;
            const std::uint32_t asked = nextLogNo_;
            const bool isRecord = answerLength() == wire::logRecord::kAnswerSize &&
                                  readBe32(answer() + wire::logRecord::kRecord) == asked;
            if (!isRecord) {
                // A well-framed answer that is not the record asked for: the machine refuses
                // it (it no longer holds it) or answers something else. Nothing is stored;
                // the next log check works from a fresh status block.
                text(errorTimePrefix(clock_.localTime()) +
                     cformat(" [LOG No.%u not served] length=%d, log batch ended\r\n", asked,
                             answerLength()));
                becomeIdle();
                break;
            }
            setAside_ = 0;
            ++nextLogNo_;
            --logBatchLeft_;
            if (logBatchLeft_ == 0)
                becomeIdle();
            else
                commandState_ = kStLogRecord;
            const std::uint8_t type = machineInfo_.deviceType();
            if (isServedKind(type) && onLogRecord_)
                onLogRecord_(static_cast<int>(kLogRecordSize), answer() + wire::logRecord::kRecord);
            break;
        }
        case kStCopy:
        case kStCompare:
        case kStCopyCompare:
        case kStGetId:
        case kStNextRun:
        case kStFinish:
        case kStStop:
            send(commands::jobRequest(jobRequestOf(commandState_)));
            commandState_ += 1;
            break;
        case kStCopyWait:
        case kStCompareWait:
        case kStCopyCompareWait:
        case kStGetIdWait:
        case kStNextRunWait:
        case kStFinishWait:
        case kStStopWait:
            if (!awaitAnswer()) return;
            becomeIdle();
            event(kEventJobAnswer, answerLength(), answer());
            break;
        case kStStatus:
            send(commands::status());
            commandState_ = kStStatusWait;
            break;
        case kStFirstDevice:
            boardIndex_ = 0;
            recordSize_ = kDeviceInfoRecordSize;
            count_ = 1;
            send(commands::deviceInfo(1, 1));
            commandState_ = kStFirstDeviceWait;
            break;
        case kStFirstDeviceWait:
            if (!awaitAnswer()) return;
            becomeIdle();
            deviceAnswer(0);
            event(kEventDevicePass, 0, nullptr);
            break;
        case kStDeviceInfoBegin:
        case kStDeviceStatusBegin:
            boardIndex_ = 0;
            commandState_ += 1;
            break;
        case kStDeviceInfo:
            deviceRead(kCmdDeviceInfo, kDeviceInfoRecordSize);
            commandState_ = kStDeviceInfoWait;
            break;
        case kStDeviceStatus:
            deviceRead(kCmdDeviceStatus, kDeviceStatusRecordSize);
            commandState_ = kStDeviceStatusWait;
            break;
        case kStDeviceInfoWait:
        case kStDeviceStatusWait:
            if (!awaitAnswer()) return;
            commandState_ += 1;
            deviceAnswer(commandState_ == kStDeviceInfoNext ? 0 : 1);
            break;
        case kStDeviceInfoNext:
        case kStDeviceStatusNext:
            if (boardIndex_ < machineInfo_.maxDeviceQty()) {
                commandState_ -= 2;
            } else {
                becomeIdle();
                event(kEventDevicePass, 0, nullptr);
            }
            break;
        default:
            break;
    }
}

}  // namespace mx40d
