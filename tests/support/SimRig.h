#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "controller/MachineController.h"
#include "hid/HidTransport.h"
#include "reports/LogDatabase.h"
#include "sim/SimHidBackend.h"
#include "support/Fixtures.h"
#include "support/RecordingView.h"

namespace mx40d::testing {

// One simulated machine on a real HidTransport, driven by one controller the way the main
// window drives it: every 10 ms the receive pump polls the link while it awaits an answer,
// then the controller runs one step. Every message the host sends is recorded.
class SimRig {
  public:
    static constexpr const char* kPath = "sim:1";
    static constexpr std::int64_t kTimerMs = 10;

    explicit SimRig(const sim::SimMachineConfig& config,
                    const LocalTime& start = LocalTime{2026, 12, 10, 9, 0, 0, 4})
        : clock(start), backend(clock), controller(clock, notice, &view) {
        machine = &backend.addMachine(kPath, config);
        productId = config.kind == kEraserKind ? sim::kProductEraser : sim::kProductDuplicator;
    }

    // Opens a new link to the machine and connects the controller to it.
    bool plugIn(const std::filesystem::path& debugDir, const std::filesystem::path& logDir) {
        link = std::make_unique<HidTransport>(backend);
        if (!link->openPath(kPath, sim::kVendorId, productId)) return false;
        MessageLink ml;
        ml.receive = &SimRig::spyReceive;
        ml.send = &SimRig::spySend;
        ml.context = this;
        ml.keepWaiting = &SimRig::spyKeepWaiting;
        controller.connect(ml, events.sink(), debugDir, logDir, 0, 0);
        return true;
    }
    // The machine goes away: the link is closed and the controller disconnected.
    void pullOut() {
        backend.unplug(kPath);
        controller.disconnect();
        link.reset();
    }

    void tick() {
        if (link && link->awaitingResponse()) link->pollReceive();
        controller.step();
        clock.advance(kTimerMs);
    }
    bool runUntil(const std::function<bool()>& done, std::int64_t limitMs = 600000) {
        for (std::int64_t t = 0; t < limitMs; t += kTimerMs) {
            if (done()) return true;
            tick();
        }
        return done();
    }
    void runFor(std::int64_t ms) {
        for (std::int64_t t = 0; t < ms; t += kTimerMs)
            tick();
    }
    bool online() {
        return runUntil([&] { return controller.engine().phase() == MachineProtocol::kPolling; });
    }

    // Commands sent so far, by short name: "A", "W1", "B", "L12" (0x80 for record 12),
    // "D1+5", "E16+15", "R1", "block".
    std::vector<std::string> names(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (std::size_t i = from; i < sent.size(); ++i)
            out.push_back(nameOf(sent[i]));
        return out;
    }
    static std::string nameOf(const std::vector<std::uint8_t>& f) {
        if (f.size() < 4) return "?";
        if (f[0] == '#') return "block";
        const std::uint8_t code = f[3];
        if (code == 'W') return "W" + std::to_string(f[4]);
        if (code == 0x80) return "L" + std::to_string(readBe32(f.data() + 4));
        if (code == 'D' || code == 'E')
            return std::string(1, static_cast<char>(code)) +
                   std::to_string(readBe16(f.data() + 5)) + "+" + std::to_string(f[7]);
        if (code == 'R') return std::string("R") + static_cast<char>(f[4]);
        return std::string(1, static_cast<char>(code));
    }
    // The log requests of each polling cycle that fetched any, e.g. {"L1..L10", "L11..L20"}.
    std::vector<std::string> logBatches(std::size_t from = 0) const {
        std::vector<std::string> out;
        std::string first, last;
        const auto flush = [&] {
            if (!first.empty()) out.push_back(first == last ? first : first + ".." + last);
            first.clear();
        };
        for (const auto& n : names(from)) {
            if (n == "B") flush();
            if (n[0] != 'L') continue;
            if (first.empty()) first = n;
            last = n;
        }
        flush();
        return out;
    }

    // The records of the log database, or of the machine, as numbers.
    static std::vector<std::uint32_t> storedNumbers(const std::filesystem::path& db) {
        std::vector<std::uint32_t> out;
        const std::string bytes = readFile(db);
        for (std::size_t at = logdb::kHeaderSize; at + kLogRecordSize <= bytes.size();
             at += kLogRecordSize)
            out.push_back(readBe32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at));
        return out;
    }
    // True when the database holds exactly the machine's records start..start+qty-1, in order
    // and byte for byte.
    ::testing::AssertionResult databaseMatchesMachine(const std::filesystem::path& db) const {
        const std::string bytes = readFile(db);
        const std::size_t qty = machine->logQty();
        if (bytes.size() != logdb::kHeaderSize + qty * kLogRecordSize)
            return ::testing::AssertionFailure()
                   << "database of " << bytes.size() << " bytes for " << qty << " records";
        for (std::size_t i = 0; i < qty; ++i) {
            const std::uint32_t no = machine->logStartNo() + static_cast<std::uint32_t>(i);
            const LogRecord* r = machine->logRecord(no);
            if (r == nullptr) return ::testing::AssertionFailure() << "machine lacks " << no;
            if (bytes.compare(logdb::kHeaderSize + i * kLogRecordSize, kLogRecordSize,
                              reinterpret_cast<const char*>(r->data()), kLogRecordSize) != 0)
                return ::testing::AssertionFailure() << "record " << i << " is not No." << no;
        }
        return ::testing::AssertionSuccess();
    }

    FakeClock clock;
    sim::SimHidBackend backend;
    sim::SimMachine* machine = nullptr;
    std::uint16_t productId = 0;
    std::unique_ptr<HidTransport> link;
    RecordingView view;
    RecordingNotice notice;
    MainEvents events;
    MachineController controller;
    std::vector<std::vector<std::uint8_t>> sent;

  private:
    static bool spySend(void* ctx, int length, const std::uint8_t* data) {
        auto* self = static_cast<SimRig*>(ctx);
        self->sent.emplace_back(data, data + length);
        return HidTransport::sendCallback(self->link.get(), length, data);
    }
    static bool spyReceive(void* ctx, int& length, std::uint8_t* buffer) {
        return HidTransport::receiveCallback(static_cast<SimRig*>(ctx)->link.get(), length, buffer);
    }
    static void spyKeepWaiting(void* ctx) {
        HidTransport::keepWaitingCallback(static_cast<SimRig*>(ctx)->link.get());
    }
};

}  // namespace mx40d::testing
