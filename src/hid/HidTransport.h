#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "hid/HidBackend.h"

namespace mx40d {

// One open link to one machine: cuts outgoing messages into 65-byte reports and assembles
// incoming reports into whole messages. Knows nothing of frames.
//
// Report layout (both directions): 0 report ID (0), 1 kind ('C' from the host; any non-zero
// byte from the machine), 2 number of reports in the message, 3 this report's index (1-based),
// 4 payload byte count (0..60), 5..64 payload.
class HidTransport {
  public:
    static constexpr int kReportSize = 65;
    static constexpr int kPayloadPerReport = 60;
    static constexpr int kAssemblySize = 8192;
    static constexpr int kMaxReportsIn = 127;
    static constexpr int kRawMax = 64;

    // Process-wide enumeration index shared by all links; the caller resets it to 0 before
    // scanning for one product identifier.
    static std::uint8_t enumerationIndex;

    explicit HidTransport(HidBackend& backend);
    ~HidTransport();
    HidTransport(const HidTransport&) = delete;
    HidTransport& operator=(const HidTransport&) = delete;

    // Opens the next present interface, from the enumeration index on, whose identifiers
    // match. True at once when already open.
    bool openNext(std::uint16_t vendorId, std::uint16_t productId);
    // Opens the interface at `path` when its identifiers match.
    bool openPath(const std::string& path, std::uint16_t vendorId, std::uint16_t productId);

    // Reads the reports waiting now and completes at most one message from them.
    void pollReceive();
    // Hands over every complete message waiting (concatenated) into `buffer`, which holds at
    // least kAssemblySize bytes. False when nothing is waiting.
    bool receive(int& length, std::uint8_t* buffer);
    // Sends a message as reports (the last report carries length mod 60 bytes) and starts
    // waiting for an answer. Write failures are not reported.
    bool send(int length, const std::uint8_t* data);
    // Writes one raw report holding up to 64 bytes of `data` after the report ID.
    bool sendRaw(int length, const std::uint8_t* data);
    void close();

    bool opened() const { return opened_; }
    bool awaitingResponse() const { return awaitingResponse_; }
    bool empty() const { return empty_; }
    int assembled() const { return assembled_; }
    int lastLength() const { return lastLength_; }
    int packetsInMessage() const { return packetsInMessage_; }
    // The interface path of the opened device (at most 255 characters).
    const char* devicePath() const { return devicePath_.data(); }

    // Operation-plus-context callbacks for the protocol layer; `context` is the HidTransport.
    static bool receiveCallback(void* context, int& length, std::uint8_t* buffer);
    static bool sendCallback(void* context, int length, const std::uint8_t* data);
    // The protocol set the message it was handed aside and waits on for its real answer:
    // the link is awaiting a response again, so the receive pump keeps reading it.
    static void keepWaitingCallback(void* context);

  private:
    bool openCandidate(const std::string& path, std::uint16_t vendorId, std::uint16_t productId);
    bool readReport();
    bool writeReport(const std::uint8_t* report);

    HidBackend& backend_;
    std::unique_ptr<HidDevice> device_;
    bool empty_ = true;
    std::array<char, 256> devicePath_{};
    bool opened_ = false;
    std::array<std::uint8_t, kAssemblySize> assembly_{};
    int assembled_ = 0;
    int lastLength_ = 0;
    int packetsInMessage_ = 0;
    std::array<std::uint8_t, kReportSize> report_{};
    bool awaitingResponse_ = false;
};

}  // namespace mx40d
