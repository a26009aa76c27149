#include "protocol/MachineProtocol.h"

#include <algorithm>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Text.h"
#include "protocol/Checksums.h"
#include "protocol/Frames.h"

namespace mx40d {

namespace {

// Device records per read: the answer holds at most 1,010 bytes of records.
constexpr int kDeviceBytesPerRead = 1010;

// The fixed answer sizes: status, the check value and the records behind them.
constexpr int kStatusAnswerSize = 4 + kMachineStatusSize + 4;
constexpr int kLogRecordAnswerSize = 4 + static_cast<int>(kLogRecordSize) + 4;
constexpr int kMachineInfoAnswerSize = kMachineInfoAnswerMin + 2;

// A copy of the answer's first `n` bytes with what the answer lacks left zero, so a short
// answer can never make a parser read stale bytes of an earlier one.
template <std::size_t N>
std::array<std::uint8_t, N> padded(const std::uint8_t* answer, int length) {
    std::array<std::uint8_t, N> out{};
    std::memcpy(out.data(), answer, std::clamp<std::size_t>(length, 0, N));
    return out;
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
    pollStep_ = 0;
    idle_ = true;
    text("Device connect ! ");
    active_ = true;
}

void MachineProtocol::stop() {
    active_ = false;
    text("Device disconnect ! ");
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
    channel_.sendCommand(c.code, c.payload.data(), c.length);
}

bool MachineProtocol::answerFits(std::string& why) const {
    const std::uint8_t* cmd = channel_.cmd();
    const int n = answerLength();
    int need = 4;
    bool exact = false;
    switch (channel_.cmdCode()) {
        case kCmdMachineInfo:
            need = kMachineInfoAnswerSize;
            break;
        case kCmdStatus:
            need = kStatusAnswerSize;
            exact = true;
            break;
        case kCmdLogRecord:
            need = kLogRecordAnswerSize;
            exact = true;
            break;
        case kCmdDeviceInfo:
            need = 8 + kDeviceInfoRecordSize * cmd[7];
            exact = true;
            break;
        case kCmdDeviceStatus:
            need = 8 + kDeviceStatusRecordSize * cmd[7];
            exact = true;
            break;
        case kCmdMachineData:
            switch (cmd[4]) {
                case kW_BoardSummary:
                    need = 9;
                    break;
                case kW_Boards:
                    need = 4 + 40 * cmd[7];
                    break;
                case kW_Nickname:
                    need = 4 + kNicknameBlockData;
                    break;
                case kW_LogRange:
                    need = 12;
                    break;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    // "W" answers carry no check value, so a late answer to "A", "B" or 0x80 (repeated after a
    // time-out or a failed check) would pass for one. Such an answer is recognised by its
    // exact size together with a valid check value at its end.
    if (channel_.cmdCode() == kCmdMachineData) {
        const std::uint8_t* a = answer();
        const auto size = static_cast<std::size_t>(n);
        const bool staleInfo =
            n == kMachineInfoAnswerSize && crc16(a, size - 2) == readBe16(a + n - 2);
        const bool staleCrc32 = (n == kStatusAnswerSize || n == kLogRecordAnswerSize) &&
                                crc32(a, size - 4) == readBe32(a + n - 4);
        if (staleInfo || staleCrc32) {
            why = cformat("length=%d, an answer to another command", n);
            return false;
        }
    }
    if (exact ? n != need : n < need) {
        why = cformat("length=%d, expected %s%d", n, exact ? "" : "at least ", need);
        return false;
    }
    if (channel_.cmdCode() == kCmdLogRecord) {
        const std::uint32_t asked = readBe32(cmd + 4);
        const std::uint32_t got = readBe32(answer() + 4);
        if (got != asked) {
            why = cformat("log record No.%u while waiting for No.%u", got, asked);
            return false;
        }
    }
    return true;
}

bool MachineProtocol::awaitAnswer() {
    if (!channel_.receiveAnswer()) return false;
    std::string why;
    if (answerFits(why)) return true;
    // A late answer to an earlier command (one that was repeated after a time-out) or an
    // answer of the wrong shape: not this command's answer. Keep waiting for the right one
    // without repeating the command, or one stale answer would stay in flight forever; the
    // time-out still runs from the last send.
    std::string line = errorTimePrefix(clock_.localTime()) + " [Answer set aside] CMD:";
    for (int i = 0; i < channel_.cmdSize(); ++i)
        line += cformat(" %02Xh", channel_.cmd()[i]);
    line += ", " + why + "\r\n";
    text(line);
    if (link_.keepWaiting != nullptr) link_.keepWaiting(link_.context);
    return false;
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
        case 0:
            startupWaitSecond_ = clock_.localTime().second;
            pollStep_ = 1;
            break;
        case 1: {
            // The first command leaves once the seconds have moved on by two.
            int s = clock_.localTime().second;
            if (s < startupWaitSecond_) s += 60;
            if (s > startupWaitSecond_ + 1) pollStep_ = 10;
            break;
        }
        case 10:
            startState(10);
            pollStep_ = 11;
            break;
        case 11: {
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
            startState(20);
            pollStep_ = 12;
            break;
        }
        case 12: {
            std::string id;
            parseMachineIdAnswer(answer(), answerLength(), id);
            info.setMachineId(id);
            text(cformat("Machine ID: [%s]", info.machineId().c_str()));
            startState(30);
            pollStep_ = 13;
            break;
        }
        case 13:
            text(cformat("boardQty          = %d", info.boardQty()));
            text(cformat("portQty_per_board = %d", info.portQty_per_board()));
            text(cformat("portQty_per_Row   = %d", info.portQty_per_Row()));
            startState(40);
            pollStep_ = 14;
            break;
        case 14:
            text("Board List:");
            for (int i = 0; i < boardCount_; ++i) {
                const BoardInfo& b = boardList_[static_cast<std::size_t>(i)];
                text(cformat("%02d %s,%s, [FPGA:%X], %dMB, totalDeviceQty=%d,%d Build[%d]", i + 1,
                             fixedText(reinterpret_cast<const std::uint8_t*>(b.name), 16).c_str(),
                             fixedText(reinterpret_cast<const std::uint8_t*>(b.text2), 8).c_str(),
                             b.fpgaVersion, b.memorySizeMB, b.totalDeviceQty, b.secondDeviceQty,
                             static_cast<int>(b.buildNumber)));
            }
            text("=============================");
            pollStep_ = 15;
            break;
        case 15:
            startState(50);
            pollStep_ = 16;
            break;
        case 16:
            text(cformat("nickName = [%s]", info.nickName().c_str()));
            pollStep_ = 17;
            break;
        case 17:
            startState(90);
            pollStep_ = 18;
            break;
        case 18:
            if (logSupported_) {
                info.set_support_LogRecord(1);
                info.set_Machine_LOG_startNo(static_cast<std::int32_t>(logStartNo_));
                info.set_Machine_LOG_nextNewNo(static_cast<std::int32_t>(logQty_));
                text(cformat("LOG_startNo=%d", static_cast<int>(logStartNo_)));
                text(cformat("LOG_qty    =%d", static_cast<int>(logQty_)));
            } else {
                info.set_support_LogRecord(0);
            }
            pollStep_ = 19;
            break;
        case 19:
            event(kEventMachineInfo, 4, &machineInfo_);
            pollStep_ = 20;
            break;
        case 20:
            phase_ = kPolling;
            pollStep_ = 0;
            idle_ = true;
            break;
        default:
            break;
    }
}

void MachineProtocol::startupCommand() {
    MachineInfo& info = machineInfo_;
    switch (commandState_) {
        case 10:
            send(commands::machineInfo());
            commandState_ = 11;
            break;
        case 20:
            send(commands::machineData(kW_MachineId));
            commandState_ = 21;
            break;
        case 30:
            send(commands::machineData(kW_BoardSummary));
            commandState_ = 31;
            break;
        case 40:
            boardIndex_ = 0;
            boardCount_ = 0;
            commandState_ = 41;
            break;
        case 41: {
            // The list holds 256 boards; a machine reporting more is read up to that.
            const int target = std::min(info.boardQty(), kMaxBoards);
            count_ = std::clamp(target - boardIndex_, 0, kBoardsPerRequest);
            send(commands::boards(boardIndex_ + 1, count_));
            commandState_ = 42;
            break;
        }
        case 50:
            send(commands::machineData(kW_Nickname));
            commandState_ = 51;
            break;
        case 90:
            send(commands::machineData(kW_LogSupport));
            commandState_ = 91;
            break;
        case 92:
            send(commands::machineData(kW_LogRange));
            commandState_ = 93;
            break;
        case 94:
            send(commands::machineData(kW_LogRangeDone));
            commandState_ = 95;
            break;
        case 11:
        case 21:
        case 51:
        case 95:
            if (!awaitAnswer()) return;
            if (commandState_ == 51) {
                std::uint8_t* nick = info.data() + MachineInfo::kNickName;
                std::memset(nick, 0, kNicknameBlockData);
                std::memcpy(nick, answer() + 4, kNicknameBlockData);
            }
            becomeIdle();
            break;
        case 31: {
            if (!awaitAnswer()) return;
            BoardSummary s;
            parseBoardSummaryAnswer(answer(), answerLength(), s);
            info.setBoardQty(s.boardQty);
            info.set_portQty_per_board(s.portQty_per_board);
            info.set_portQty_per_Row(static_cast<std::uint8_t>(s.portQty_per_Row));
            becomeIdle();
            break;
        }
        case 42: {
            if (!awaitAnswer()) return;
            const int whole = std::min(count_, kMaxBoards - boardCount_);
            boardCount_ +=
                parseBoardsAnswer(answer(), answerLength(), whole, boardList_.data() + boardCount_);
            boardIndex_ += count_;
            if (boardIndex_ < std::min(info.boardQty(), kMaxBoards))
                commandState_ = 41;
            else
                becomeIdle();
            break;
        }
        case 91:
            if (!awaitAnswer()) return;
            logSupported_ = answer()[3] == kStatusYes;
            if (logSupported_)
                commandState_ = 92;
            else
                becomeIdle();
            break;
        case 93: {
            if (!awaitAnswer()) return;
            LogRange r;
            parseLogRangeAnswer(answer(), answerLength(), r);
            logStartNo_ = r.startNo;
            logQty_ = r.qty;
            commandState_ = 94;
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
            static_cast<std::int32_t>(readLe32(&statusCopy_[24])));
    const std::uint32_t startNo = readLe32(&statusCopy_[20]);
    const std::uint32_t qty = readLe32(&statusCopy_[24]);
    if (qty == 0) return;
    lastMachineLogNo_ = startNo + qty - 1;
    const auto stored = static_cast<std::uint32_t>(machineInfo_.lastStoredLogNo());
    if (stored == lastMachineLogNo_) return;
    // The record after the newest one stored; an empty database (-1) gives 0, which the range
    // test below moves to the machine's first record.
    nextLogNo_ = stored + 1;
    if (nextLogNo_ > lastMachineLogNo_ || nextLogNo_ < startNo) nextLogNo_ = startNo;
    logBatchLeft_ = duringJob ? 1 : std::min<std::uint32_t>(lastMachineLogNo_ - nextLogNo_ + 1, 10);
    startState(100);
}

void MachineProtocol::pollDecision() {
    switch (pollStep_) {
        case 0:
            pollStep_ = 10;
            break;
        case 10:
            if (take(Request::Clock)) {
                text(cformat("SET_MACHINE_CLOCK = [%s]", machineClock_.c_str()));
                startState(80);
                pollStep_ = 150;
            } else {
                startState(1000);
                pollStep_ = 11;
            }
            break;
        case 11:
            statusBlock_ = padded<kMachineStatusSize>(answer() + 4, answerLength() - 4);
            event(kEventStatus, 0, statusBlock_.data());
            pollStep_ = jobCode_ != 0 ? 60 : 20;
            break;
        case 20:
            pollStep_ = logSupported_ ? 40 : 10;
            if (take(Request::Nickname))
                startState(60);
            else if (take(Request::Copy))
                startState(220);
            else if (take(Request::Compare))
                startState(230);
            else if (take(Request::CopyCompare))
                startState(240);
            else if (take(Request::GetId))
                startState(250);
            else
                break;
            pollStep_ = 10;
            break;
        case 40:
            logCheck(false);
            pollStep_ = 10;
            break;
        case 60:
            if (take(Request::Finish))
                startState(270);
            else if (take(Request::NextRun))
                startState(260);
            else if (take(Request::Stop))
                startState(280);
            else if (jobStage_ == 1)
                startState(1200);
            else if (jobStage_ == 3 || jobStage_ == 14)
                startState(1220);
            else if (jobStage_ != 4)
                startState(1210);
            pollStep_ = 61;
            break;
        case 61:
            pollStep_ = logSupported_ ? 62 : 10;
            break;
        case 62:
            logCheck(true);
            pollStep_ = 10;
            break;
        case 150:
            text(cformat("SET_MACHINE_CLOCK = [%s] Finish !", machineClock_.c_str()));
            event(kEventClockSet, 0, nullptr);
            pollStep_ = 10;
            break;
        default:
            break;
    }
}

void MachineProtocol::deviceRead(std::uint8_t code, int recordSize) {
    recordSize_ = recordSize;
    const int maxDevices = machineInfo_.maxDeviceQty();
    count_ = std::clamp(maxDevices - boardIndex_, 0, kDeviceBytesPerRead / recordSize);
    send(code == kCmdDeviceInfo ? commands::deviceInfo(boardIndex_ + 1, count_)
                                : commands::deviceStatus(boardIndex_ + 1, count_));
}

void MachineProtocol::deviceAnswer(int kind) {
    const DeviceBlockEvent e =
        parseDeviceAnswer(answer(), answerLength(), kind, boardIndex_, count_);
    event(kind == 0 ? kEventDeviceInfo : kEventDeviceStatus, 0, &e);
    boardIndex_ += count_;
}

void MachineProtocol::pollCommand() {
    switch (commandState_) {
        case 60:
            send(commands::machineData(kW_ChangeNickname));
            commandState_ = 61;
            break;
        case 61:
        case 81:
            if (!awaitAnswer()) return;
            if (answer()[3] == kStatusGoAhead)
                commandState_ += 1;
            else
                becomeIdle();
            break;
        case 62: {
            std::uint8_t block[4 + kNicknameBlockData];
            const int n = buildDataBlock(nickNameToSet_.data(), kNicknameBlockData, block);
            channel_.sendBlock(block, n);
            commandState_ = 63;
            break;
        }
        case 80:
            send(commands::machineData(kW_SetClock));
            commandState_ = 81;
            break;
        case 82: {
            std::uint8_t block[4 + kClockTextSize];
            const int n = buildDataBlock(
                reinterpret_cast<const std::uint8_t*>(machineClock_.data()), kClockTextSize, block);
            channel_.sendBlock(block, n);
            commandState_ = 83;
            break;
        }
        case 63:
        case 83:
        case 1001:
            if (!awaitAnswer()) return;
            becomeIdle();
            break;
        case 100:
            send(commands::logRecord(nextLogNo_));
            commandState_ = 101;
            break;
        case 101: {
            if (!awaitAnswer()) return;
            const std::uint8_t type = machineInfo_.deviceType();
            if ((type == '3' || type == '5') && onLogRecord_)
                onLogRecord_(static_cast<int>(kLogRecordSize), answer() + 4);
            ++nextLogNo_;
            --logBatchLeft_;
            if (logBatchLeft_ == 0)
                becomeIdle();
            else
                commandState_ = 100;
            break;
        }
        case 220:
        case 230:
        case 240:
        case 250:
        case 260:
        case 270:
        case 280: {
            static constexpr JobRequest kRequests[] = {JobRequest::Copy,        JobRequest::Compare,
                                                       JobRequest::CopyCompare, JobRequest::GetId,
                                                       JobRequest::NextRun,     JobRequest::Finish,
                                                       JobRequest::Stop};
            send(commands::jobRequest(kRequests[(commandState_ - 220) / 10]));
            commandState_ += 1;
            break;
        }
        case 221:
        case 231:
        case 241:
        case 251:
        case 261:
        case 271:
        case 281:
            if (!awaitAnswer()) return;
            event(kEventJobAnswer, answerLength(), answer());
            becomeIdle();
            break;
        case 1000:
            send(commands::status());
            commandState_ = 1001;
            break;
        case 1200:
            boardIndex_ = 0;
            recordSize_ = kDeviceInfoRecordSize;
            count_ = 1;
            send(commands::deviceInfo(1, 1));
            commandState_ = 1201;
            break;
        case 1201:
            if (!awaitAnswer()) return;
            deviceAnswer(0);
            event(kEventDevicePass, 0, nullptr);
            becomeIdle();
            break;
        case 1210:
        case 1220:
            boardIndex_ = 0;
            commandState_ += 1;
            break;
        case 1211:
            deviceRead(kCmdDeviceInfo, kDeviceInfoRecordSize);
            commandState_ = 1212;
            break;
        case 1221:
            deviceRead(kCmdDeviceStatus, kDeviceStatusRecordSize);
            commandState_ = 1222;
            break;
        case 1212:
        case 1222:
            if (!awaitAnswer()) return;
            deviceAnswer(commandState_ == 1212 ? 0 : 1);
            commandState_ += 1;
            break;
        case 1213:
        case 1223:
            if (boardIndex_ < machineInfo_.maxDeviceQty()) {
                commandState_ -= 2;
            } else {
                event(kEventDevicePass, 0, nullptr);
                becomeIdle();
            }
            break;
        default:
            break;
    }
}

}  // namespace mx40d
