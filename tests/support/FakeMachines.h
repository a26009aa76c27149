#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "base/UserNotice.h"
#include "protocol/Checksums.h"
#include "support/FakeHid.h"
#include "support/Frames.h"

namespace mx40d::testing {

// A HID interface with a scripted answer to the identification command.
struct FakeMachine {
    FakeEndpoint* ep = nullptr;
    std::vector<std::uint8_t> answer;  // empty: silent
    std::size_t seen = 0;
    int rawR = 0;
    int identifyCommands = 0;
};

// The operator's screen and the machines' side: each turn of the event loop advances the
// fake clock by 10 ms, lets the machines answer what was written to them, then runs `onPump`.
class FakeScreen : public UserNotice {
  public:
    FakeClock clock;
    FakeHidBackend backend;
    std::vector<std::unique_ptr<FakeMachine>> machines;
    std::vector<std::pair<std::string, std::string>> messages;
    std::function<void()> onPump;
    int pumps = 0;

    FakeMachine& plug(const std::string& path, std::uint16_t pid,
                      std::vector<std::uint8_t> answer = identifyAnswer('3')) {
        auto m = std::make_unique<FakeMachine>();
        m->ep = &backend.add(path, 0x2509, pid);
        m->answer = std::move(answer);
        machines.push_back(std::move(m));
        return *machines.back();
    }

    void showMessage(const std::string& caption, const std::string& text) override {
        messages.emplace_back(caption, text);
    }
    void processPendingEvents() override {
        clock.advance(10);
        ++pumps;
        serve();
        if (onPump) onPump();
    }

    void serve() {
        static const std::uint8_t kIdentify[] = {0x40, 0x00, 0x02, 0x41, 0x83};
        for (auto& m : machines) {
            for (; m->seen < m->ep->written.size(); ++m->seen) {
                const Report& r = m->ep->written[m->seen];
                if (r[1] == 'R') ++m->rawR;
                if (r[1] == 'C' && r[2] == 1 && r[4] == 5 &&
                    std::equal(kIdentify, kIdentify + 5, r.begin() + 5)) {
                    ++m->identifyCommands;
                    if (!m->answer.empty())
                        for (const Report& in : machineMessage(m->answer))
                            m->ep->input.push_back(in);
                }
            }
        }
    }
};

}  // namespace mx40d::testing
