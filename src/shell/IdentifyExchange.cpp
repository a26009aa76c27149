#include "shell/IdentifyExchange.h"

#include "base/ByteOrder.h"
#include "protocol/WireLayout.h"

#include "base/Text.h"
#include "protocol/Checksums.h"

namespace mx40d {

IdentifyExchange::IdentifyExchange(const Clock& clock, UserNotice& notice)
    : clock_(clock), notice_(notice) {}

void IdentifyExchange::bind(HidTransport& link, StatusSink sink) {
    link_ = &link;
    sink_ = std::move(sink);
    report("Device connect ! ");
}

void IdentifyExchange::report(const std::string& text) {
    // Texts are formatted into a buffer of fixed size; longer ones are cut.
    statusText_.assign(text, 0, kStatusTextSize - 1);
    if (sink_) sink_(statusText_);
}

bool IdentifyExchange::sendCommand(std::uint8_t letter, const std::uint8_t* payload, int n) {
    if (link_ == nullptr) return false;
    const int size = buildCommandFrame(letter, payload, n, sentFrame_.data());
    if (size == 0) return false;
    sentFrameSize_ = size;
    sendTime_ = ticks();
    ++sentCommands_;
    link_->send(sentFrameSize_, sentFrame_.data());
    return true;
}

bool IdentifyExchange::failureExit() {
    sendTime_ = ticks();
    link_->send(sentFrameSize_, sentFrame_.data());
    return false;
}

bool IdentifyExchange::waitReply(std::uint8_t* buffer, int& length, std::uint32_t limitMs) {
    if (link_ == nullptr) return false;
    int lastReceived = 0;
    for (;;) {
        if (abandoned_) return false;
        if (link_->awaitingResponse()) link_->pollReceive();
        notice_.processPendingEvents();
        // The link may have been removed while the events ran; it is still ours, but there is
        // no machine behind it any more.
        if (abandoned_) return false;

        int got = 0;
        if (link_->receive(got, buffer)) {
            lastReceived = got;
            if (got > 3) {
                const std::string now = errorTimePrefix(clock_.localTime());
                if (buffer[0] != kAnswerStart) {
                    ++wrongData_;
                    std::string text = now + " [Wrong Data come in] ";
                    for (int i = 0; i < 10 && i < got; ++i)
                        text += cformat(" %02Xh", buffer[i]);
                    report(text + "\r\n");
                    return failureExit();
                }
                if (readBe16(buffer + wire::kLength) + 3 != got) {
                    ++wrongLength_;
                    std::string text =
                        now + cformat(" [Wrong Data come in Length] length=%d, DATA:", got);
                    for (int i = 0; i < 4; ++i)
                        text += cformat(" %02Xh", buffer[i]);
                    report(text + "\r\n");
                    return failureExit();
                }
                if (buffer[wire::kStatus] != 0) return failureExit();
                const std::uint16_t crc = crc16(buffer, static_cast<std::size_t>(got - 2));
                const std::uint16_t carried =
                    static_cast<std::uint16_t>(buffer[got - 2] << 8 | buffer[got - 1]);
                if (crc == carried) {
                    length = got;
                    return true;
                }
                report(now + cformat(" [Wrong CRC16] CMD:%c,cmd[4]=%d,cmd[5]=%d, length=%d, "
                                     "CRC16=%Xh",
                                     sentFrame_[3], sentFrame_[4], sentFrame_[5], got, crc));
                return failureExit();
            }
        }

        if (ticks() - sendTime_ > limitMs) {
            std::string text = " [Cmd Time Out] CMD:";
            for (int i = 0; i < sentFrameSize_; ++i)
                text += cformat(" %02Xh", sentFrame_[i]);
            text += cformat(", already get %d bytes", lastReceived);
            report(text + "\r\n");
            return false;
        }
    }
}

}  // namespace mx40d
