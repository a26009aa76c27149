#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "hid/HidTransport.h"
#include "protocol/Frames.h"

namespace mx40d {

// Probes a freshly opened link once: sends a command and waits, blocking its caller, for a
// valid answer, polling the link itself and turning the event loop meanwhile. Lives for one
// identification only.
class IdentifyExchange {
  public:
    using StatusSink = std::function<void(const std::string& text)>;
    static constexpr std::size_t kStatusTextSize = 6000;

    IdentifyExchange(const Clock& clock, UserNotice& notice);
    IdentifyExchange(const IdentifyExchange&) = delete;
    IdentifyExchange& operator=(const IdentifyExchange&) = delete;

    // Binds the link (not owned) and the sink that receives status and error texts; hands
    // "Device connect ! " to the sink.
    void bind(HidTransport& link, StatusSink sink);
    // Frames and sends a command; false when the payload does not fit or nothing is bound.
    bool sendCommand(std::uint8_t letter, const std::uint8_t* payload, int n);
    // Waits up to `limitMs` for a valid answer to the command sent, which is left in `buffer`
    // (at least HidTransport::kAssemblySize bytes) with its length in `length`. A bad answer
    // re-sends the command once and fails at once; a time-out fails without a re-send.
    bool waitReply(std::uint8_t* buffer, int& length, std::uint32_t limitMs);
    // Ends a wait in progress without an answer: the link is about to go away.
    void abandon() { abandoned_ = true; }

    bool abandoned() const { return abandoned_; }
    int sentCommands() const { return sentCommands_; }
    int wrongData() const { return wrongData_; }
    int wrongLength() const { return wrongLength_; }
    const std::uint8_t* sentFrame() const { return sentFrame_.data(); }
    int sentFrameSize() const { return sentFrameSize_; }

  private:
    bool failureExit();
    void report(const std::string& text);
    std::uint32_t ticks() const { return static_cast<std::uint32_t>(clock_.nowMs()); }

    const Clock& clock_;
    UserNotice& notice_;
    HidTransport* link_ = nullptr;
    StatusSink sink_;
    std::string statusText_;
    std::array<std::uint8_t, kMaxCommandFrame> sentFrame_{};
    int sentFrameSize_ = 0;
    std::uint32_t sendTime_ = 0;
    int sentCommands_ = 0;
    int wrongData_ = 0;
    int wrongLength_ = 0;
    bool abandoned_ = false;
};

}  // namespace mx40d
