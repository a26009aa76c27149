#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "protocol/Commands.h"
#include "protocol/FrameChannel.h"
#include "protocol/MachineInfo.h"
#include "protocol/MachineRequests.h"

namespace mx40d {

// The engine that talks to one machine. Phase 1 (start-up) reads the machine information,
// machine ID, board list, nickname and log range, raises event 1 and switches to phase 3
// (polling): every cycle polls the status with "B", then serves one operator request, reads
// the running job's device data or fetches new log records.
//
// Each `step` sends at most one frame or makes one read attempt and never waits. Events, texts
// and log records are delivered synchronously from inside `step`.
class MachineProtocol : public MachineRequests {
  public:
    // (event code, number, pointer); codes are the EngineEvent values of Commands.h.
    using EventSink = std::function<void(int code, int number, const void* pointer)>;
    using TextSink = std::function<void(const std::string& text)>;
    // (size, record): the 256 bytes of one log record exactly as the machine sent them.
    using LogRecordSink = std::function<void(int size, const std::uint8_t* record)>;

    enum Phase : int { kStartUp = 1, kPolling = 3 };

    // Decision steps of the start-up phase (`pollStep` while the phase is 1).
    enum StartupStep : int {
        kSuSaveSecond = 0,
        kSuWaitSecond = 1,
        kSuAskInfo = 10,
        kSuTakeInfo = 11,
        kSuTakeMachineId = 12,
        kSuTakeBoardSummary = 13,
        kSuTakeBoards = 14,
        kSuAskNickname = 15,
        kSuTakeNickname = 16,
        kSuAskLogSupport = 17,
        kSuTakeLogRange = 18,
        kSuAnnounce = 19,
        kSuToPolling = 20,
    };
    // Decision steps of the polling phase.
    enum PollStep : int {
        kPollBegin = 0,
        kPollStatus = 10,
        kPollTakeStatus = 11,
        kPollIdleRequests = 20,
        kPollLogBatch = 40,
        kPollJobRequests = 60,
        kPollAfterJobRead = 61,
        kPollLogDuringJob = 62,
        kPollClockDone = 150,
    };
    // Command states of both phases; each "...Wait" state waits for its command's answer.
    enum CommandState : int {
        kStMachineInfo = 10,
        kStMachineInfoWait = 11,
        kStMachineId = 20,
        kStMachineIdWait = 21,
        kStBoardSummary = 30,
        kStBoardSummaryWait = 31,
        kStBoardsBegin = 40,
        kStBoards = 41,
        kStBoardsWait = 42,
        kStNickname = 50,
        kStNicknameWait = 51,
        kStChangeNickname = 60,
        kStChangeNicknameWait = 61,
        kStNicknameBlock = 62,
        kStNicknameBlockWait = 63,
        kStSetClock = 80,
        kStSetClockWait = 81,
        kStClockBlock = 82,
        kStClockBlockWait = 83,
        kStLogSupport = 90,
        kStLogSupportWait = 91,
        kStLogRange = 92,
        kStLogRangeWait = 93,
        kStLogRangeDone = 94,
        kStLogRangeDoneWait = 95,
        kStLogRecord = 100,
        kStLogRecordWait = 101,
        kStCopy = 220,
        kStCopyWait = 221,
        kStCompare = 230,
        kStCompareWait = 231,
        kStCopyCompare = 240,
        kStCopyCompareWait = 241,
        kStGetId = 250,
        kStGetIdWait = 251,
        kStNextRun = 260,
        kStNextRunWait = 261,
        kStFinish = 270,
        kStFinishWait = 271,
        kStStop = 280,
        kStStopWait = 281,
        kStStatus = 1000,
        kStStatusWait = 1001,
        kStFirstDevice = 1200,
        kStFirstDeviceWait = 1201,
        kStDeviceInfoBegin = 1210,
        kStDeviceInfo = 1211,
        kStDeviceInfoWait = 1212,
        kStDeviceInfoNext = 1213,
        kStDeviceStatusBegin = 1220,
        kStDeviceStatus = 1221,
        kStDeviceStatusWait = 1222,
        kStDeviceStatusNext = 1223,
    };

    // Answers set aside in a row before a command state gives up waiting on that command.
    // A late answer to the command before, one repeated after a time-out and a duplicate can
    // each come ahead of the real answer; a machine that has answered wrong three times in a
    // row is not answering this command.
    static constexpr int kMaxSetAside = 3;

    // Requests raised by the machine window and panel, taken by the polling phase.
    enum class Request : int {
        Nickname,
        Copy,
        Compare,
        CopyCompare,
        GetId,
        Finish,
        NextRun,
        Stop,
        Clock,
    };
    static constexpr int kRequestCount = 9;

    MachineProtocol(MachineInfo& machineInfo, const Clock& clock);
    MachineProtocol(const MachineProtocol&) = delete;
    MachineProtocol& operator=(const MachineProtocol&) = delete;

    // Stores the link and the sinks, begins the start-up phase and writes "Device connect ! ".
    void start(const MessageLink& link, TextSink onText, EventSink onEvent);
    void setLogRecordSink(LogRecordSink sink) { onLogRecord_ = std::move(sink); }
    // Clears active and writes "Device disconnect ! "; nothing else is reset, so a request left
    // pending is served after the next start-up.
    void stop();
    // One decision step or one command state; nothing while inactive.
    void step();

    // The nickname to send (the first 56 bytes go out); raises the nickname request.
    void setNickname(const std::string& text) override;
    // Takes the PC's local time as the clock text and raises the clock request.
    void requestClockSet();
    // Raises a request. Job and nickname requests belong to the machine connected when they
    // were raised: a start-up that finds another machine on this engine drops them.
    void raise(Request r);
    bool pending(Request r) const { return requests_[static_cast<int>(r)]; }
    // MachineRequests, for the machine's panel and window.
    void requestJob(JobRequest request) override;

    // Ends the log download after the record being delivered: the owner could not store it,
    // and the next log check starts again after the newest record stored.
    void endLogBatch() {
        logBatchLeft_ = 0;
        if (!idle_ && commandState_ == kStLogRecord) becomeIdle();
    }

    void setJobCode(int value) { jobCode_ = value; }
    void setJobStage(int value) { jobStage_ = value; }
    // The status block with its five 32-bit numbers in host (little-endian) order.
    void setStatusCopy(const std::array<std::uint8_t, kMachineStatusSize>& hostOrder) {
        statusCopy_ = hostOrder;
    }

    bool active() const { return active_; }
    int phase() const { return phase_; }
    int pollStep() const { return pollStep_; }
    int commandState() const { return commandState_; }
    bool idle() const { return idle_; }
    bool logSupported() const { return logSupported_; }
    int jobCode() const { return jobCode_; }
    int jobStage() const { return jobStage_; }
    std::uint32_t logStartNo() const { return logStartNo_; }
    std::uint32_t logQty() const { return logQty_; }
    std::uint32_t lastMachineLogNo() const { return lastMachineLogNo_; }
    std::uint32_t nextLogNo() const { return nextLogNo_; }
    std::uint32_t logBatchLeft() const { return logBatchLeft_; }
    const std::string& machineClock() const { return machineClock_; }
    const std::array<std::uint8_t, 64>& nickNameToSet() const { return nickNameToSet_; }
    int boardCount() const { return boardCount_; }
    const BoardInfo& board(int i) const { return boardList_[static_cast<std::size_t>(i)]; }
    const MachineInfo& machineInfo() const { return machineInfo_; }
    const FrameChannel& channel() const { return channel_; }
    // Answers set aside in a row on the command in flight.
    int setAsideCount() const { return setAside_; }
    // The machine ID the last start-up read (kept across stop and start).
    const std::string& connectedMachineId() const { return connectedId_; }

  private:
    void startupDecision();
    void startupCommand();
    void pollDecision();
    void pollCommand();
    void startState(int state) {
        commandState_ = state;
        idle_ = false;
    }
    void becomeIdle() { idle_ = true; }
    bool take(Request r);

    void send(const Command& c);
    void sendBlock(const std::uint8_t* block, int size);
    // One receive attempt: true when a valid answer that fits the command state lies in the
    // data buffer. An answer that does not fit is set aside with one text and the wait goes
    // on; the kMaxSetAside-th in a row gives up (see giveUp).
    bool awaitAnswer();
    bool answerFits(std::string& why) const;
    // Keeps the answer just taken (and its command), to know its repeat.
    void rememberAnswer();
    // The waiting state gives up on its command: in polling the sequence ends and the cycle
    // starts again at the status poll; in start-up, which cannot go on without the answer,
    // the command is sent again, as after a time-out.
    void giveUp();
    // Start-up read the machine ID: requests raised for another machine are dropped.
    void checkRequestOwner(const std::string& id);
    const std::uint8_t* answer() const { return channel_.dataBuffer(); }
    int answerLength() const { return channel_.answerLength(); }

    void text(const std::string& line);
    void event(int code, int number, const void* pointer);
    void logCheck(bool duringJob);
    void deviceRead(std::uint8_t code, int recordSize);
    void deviceAnswer(int kind);

    MachineInfo& machineInfo_;
    const Clock& clock_;
    FrameChannel channel_;
    MessageLink link_;
    TextSink onText_;
    EventSink onEvent_;
    LogRecordSink onLogRecord_;

    bool active_ = false;
    int phase_ = kStartUp;
    int pollStep_ = 0;
    int commandState_ = 0;
    bool idle_ = true;
    bool logSupported_ = false;
    std::array<std::uint8_t, 64> nickNameToSet_{};
    std::string machineClock_;
    std::array<BoardInfo, kMaxBoards> boardList_{};
    int boardCount_ = 0;
    std::array<std::uint8_t, kMachineStatusSize> statusCopy_{};
    std::array<std::uint8_t, kMachineStatusSize> statusBlock_{};
    std::uint32_t logStartNo_ = 0;
    std::uint32_t logQty_ = 0;
    std::uint32_t lastMachineLogNo_ = 0;
    std::uint32_t nextLogNo_ = 0;
    std::uint32_t logBatchLeft_ = 0;
    std::array<bool, kRequestCount> requests_{};
    int boardIndex_ = 0;  // next board (start-up) or device (polling) to ask for
    int count_ = 0;       // boards or devices asked for by the command in flight
    int recordSize_ = 0;  // record size of the device read in flight
    int startupWaitSecond_ = 0;
    int jobCode_ = 0;
    int jobStage_ = 0;
    int setAside_ = 0;
    // An answer was set aside as a repeat since the last send (noted while answers are judged).
    mutable bool repeatSetAside_ = false;
    std::vector<std::uint8_t> lastTaken_;     // the last "W" answer taken
    std::vector<std::uint8_t> lastTakenCmd_;  // the command it answered
    std::string connectedId_;                 // machine ID read by the last start-up
    std::string requestOwner_;  // machine the pending job and nickname requests are for
};

}  // namespace mx40d
