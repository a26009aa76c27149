#include "protocol/FrameChannel.h"

namespace mx40d {

FrameChannel::FrameChannel(const Clock& clock) : clock_(clock), dataBuffer_(kDataBufferSize, 0) {}

bool FrameChannel::sendCommand(std::uint8_t code, const std::uint8_t* payload, int n) {
    const int size = buildCommandFrame(code, payload, n, cmd_.data());
    if (size == 0) return false;
    cmdSize_ = size;
    sendTime_ = clock_.nowMs();
    if (link_.send == nullptr) return false;
    return link_.send(link_.context, cmdSize_, cmd_.data());
}

bool FrameChannel::sendBlock(const std::uint8_t* data, int size) {
    sendTime_ = clock_.nowMs();
    if (link_.send == nullptr) return false;
    return link_.send(link_.context, size, data);
}

void FrameChannel::restartTimer() {
    sendTime_ = clock_.nowMs();
}

void FrameChannel::resend() {
    sendTime_ = clock_.nowMs();
    if (link_.send != nullptr && cmdSize_ > 0) link_.send(link_.context, cmdSize_, cmd_.data());
}

void FrameChannel::fail(const std::string& text) {
    if (onText_) onText_(text);
    sendTime_ = clock_.nowMs();
    if (link_.send != nullptr && cmdSize_ > 0) link_.send(link_.context, cmdSize_, cmd_.data());
}

bool FrameChannel::receiveAnswer() {
    int size = 0;
    const bool arrived =
        link_.receive != nullptr && link_.receive(link_.context, size, dataBuffer_.data());
    if (!arrived) {
        const std::int64_t seconds = (clock_.nowMs() - sendTime_) / 1000;
        if (seconds <= kTimeOutSeconds) return false;
        fail(timeOutText(clock_.localTime(), cmd_.data(), cmdSize_, 0));
        return false;
    }
    answerLength_ = size;
    const AnswerCheck check = checkAnswer(cmdCode(), dataBuffer_.data(), size);
    const LocalTime now = clock_.localTime();
    switch (check.verdict) {
        case AnswerVerdict::TooShort:
            // Not examined, but the real answer may be right behind it: the link is read on.
            if (link_.keepWaiting != nullptr) link_.keepWaiting(link_.context);
            return false;
        case AnswerVerdict::Valid:
            return true;
        case AnswerVerdict::WrongHeader:
            fail(wrongHeaderText(now, dataBuffer_.data()));
            return false;
        case AnswerVerdict::WrongLength:
            fail(wrongLengthText(now, dataBuffer_.data(), size));
            return false;
        case AnswerVerdict::WrongCrc16:
            fail(wrongCrc16Text(now, cmd_.data(), size, check.computed));
            return false;
        case AnswerVerdict::WrongCrc32:
            fail(wrongCrc32Text(now, cmd_.data(), size, check.received, check.computed));
            return false;
    }
    return false;
}

}  // namespace mx40d
