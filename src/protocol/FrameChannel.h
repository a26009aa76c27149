#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "protocol/Frames.h"

namespace mx40d {

// The two operations a link offers the protocol layer, with their context (the transport).
struct MessageLink {
    bool (*receive)(void* context, int& length, std::uint8_t* buffer) = nullptr;
    bool (*send)(void* context, int length, const std::uint8_t* data) = nullptr;
    void* context = nullptr;
    // Optional: the engine set an answer aside and waits on for another one on the same
    // command (the transport keeps reading although it handed a message over).
    void (*keepWaiting)(void* context) = nullptr;
};

// Sends command frames and data blocks and receives their answers: keeps the last command
// frame (`cmd`) for retries, times out after 6 whole seconds, writes one text to the text
// sink and repeats the command on every failed or late answer.
class FrameChannel {
  public:
    static constexpr int kDataBufferSize = 131072;
    static constexpr std::int64_t kTimeOutSeconds = 5;  // more than this is a time-out

    using TextSink = std::function<void(const std::string& text)>;

    explicit FrameChannel(const Clock& clock);

    void setLink(const MessageLink& link) { link_ = link; }
    void setTextSink(TextSink sink) { onText_ = std::move(sink); }

    // Frames and sends a command; false when the payload does not fit or no link is set.
    bool sendCommand(std::uint8_t code, const std::uint8_t* payload, int n);
    // Sends a data block as it is; `cmd` keeps the command sent before it.
    bool sendBlock(const std::uint8_t* data, int size);
    // One receive step: true when a valid answer to `cmd` lies in the data buffer.
    bool receiveAnswer();
    // Restarts the time-out from now without sending (used when an answer is set aside).
    void restartTimer();
    // Sends `cmd` again and restarts the time-out, as after a failed answer (no text).
    void resend();

    const std::uint8_t* dataBuffer() const { return dataBuffer_.data(); }
    int answerLength() const { return answerLength_; }
    const std::uint8_t* cmd() const { return cmd_.data(); }
    int cmdSize() const { return cmdSize_; }
    std::uint8_t cmdCode() const { return cmd_[3]; }
    std::int64_t sendTime() const { return sendTime_; }

  private:
    void fail(const std::string& text);

    const Clock& clock_;
    MessageLink link_;
    TextSink onText_;
    std::array<std::uint8_t, kMaxCommandFrame + 1> cmd_{};
    int cmdSize_ = 0;
    std::int64_t sendTime_ = 0;
    std::vector<std::uint8_t> dataBuffer_;
    int answerLength_ = 0;
};

}  // namespace mx40d
