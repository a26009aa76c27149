#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "hid/HidTransport.h"
#include "protocol/Commands.h"
#include "protocol/Frames.h"
#include "sim/SimHidBackend.h"

// The host's side of a simulated link for tests: one HidTransport on a SimHidBackend, driven
// by a FakeClock one millisecond at a time.
namespace mx40d::testing {

using Bytes = std::vector<std::uint8_t>;

struct SimHost {
    explicit SimHost(const sim::SimMachineConfig& config = {}, const std::string& path = "sim:1")
        : backend(clock), link(backend) {
        machine = &backend.addMachine(path, config);
        const std::uint16_t pid =
            config.kind == kEraserKind ? sim::kProductEraser : sim::kProductDuplicator;
        opened = link.openPath(path, sim::kVendorId, pid);
    }

    void send(const Command& c) {
        std::uint8_t f[kMaxCommandFrame];
        const int n = buildFrame(c, f);
        sendBytes(Bytes(f, f + n));
    }
    void sendBytes(const Bytes& b) {
        lastCode = b.size() > 3 ? b[3] : 0;
        link.send(static_cast<int>(b.size()), b.data());
    }
    // Polls every millisecond for up to `limitMs`; the whole answer, or empty.
    Bytes receive(std::int64_t limitMs = 100) {
        std::vector<std::uint8_t> buf(HidTransport::kAssemblySize);
        for (std::int64_t t = 0; t <= limitMs; ++t) {
            link.pollReceive();
            int len = 0;
            if (link.receive(len, buf.data())) return Bytes(buf.begin(), buf.begin() + len);
            clock.advance(1);
        }
        return {};
    }
    Bytes exchange(const Command& c) {
        send(c);
        return receive();
    }
    // An exchange whose answer must pass the host's checks.
    Bytes valid(const Command& c) {
        Bytes a = exchange(c);
        const AnswerCheck check = checkAnswer(c.code, a.data(), static_cast<int>(a.size()));
        if (check.verdict != AnswerVerdict::Valid) a.clear();
        return a;
    }

    FakeClock clock;
    sim::SimHidBackend backend;
    HidTransport link;
    sim::SimMachine* machine = nullptr;
    bool opened = false;
    std::uint8_t lastCode = 0;
};

}  // namespace mx40d::testing
