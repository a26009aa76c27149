// The engine stepping through start-up and polling while the machine answers anything: every
// input is a stream of answers (two length bytes, then the answer) handed over one per step
// in which the engine waits, with the clock moving on. Nothing may crash, read out of bounds
// or store a log record that was not asked for.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/ByteOrder.h"
#include "base/Clock.h"
#include "protocol/MachineProtocol.h"

namespace {

struct Stream {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::vector<std::uint8_t> lastSent;
};

bool receive(void* ctx, int& length, std::uint8_t* buffer) {
    auto* s = static_cast<Stream*>(ctx);
    if (s->at + 2 > s->size) return false;
    std::size_t n = mx40d::readBe16(s->data + s->at) % 8192;
    s->at += 2;
    n = std::min(n, s->size - s->at);
    std::memcpy(buffer, s->data + s->at, n);
    s->at += n;
    length = static_cast<int>(n);
    return n > 0;
}

bool send(void* ctx, int length, const std::uint8_t* data) {
    auto* s = static_cast<Stream*>(ctx);
    s->lastSent.assign(data, data + length);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mx40d::FakeClock clock;
    mx40d::MachineInfo info;
    mx40d::MachineProtocol engine(info, clock);
    Stream stream{data, size, 0, {}};
    mx40d::MessageLink link{&receive, &send, &stream, nullptr};
    engine.setLogRecordSink([&](int n, const std::uint8_t* record) {
        // Only the record asked for is ever stored.
        if (n != 256 || mx40d::readBe32(record) != engine.nextLogNo() - 1) __builtin_trap();
    });
    engine.start(
        link, [](const std::string&) {},
        [&](int code, int, const void* p) {
            if (code == mx40d::kEventStatus) {
                mx40d::MachineStatus st;
                std::memcpy(st.bytes.data(), p, mx40d::kMachineStatusSize);
                engine.setStatusCopy(st.hostBytes());
                engine.setJobCode(st.jobCode());
                engine.setJobStage(st.stage());
            }
        });
    for (int i = 0; i < 4000 && stream.at < size; ++i) {
        engine.step();
        clock.advance(i % 7 == 0 ? 1500 : 10);
    }
    return 0;
}
