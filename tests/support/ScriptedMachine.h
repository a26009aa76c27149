#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
#include "protocol/Checksums.h"
#include "protocol/Commands.h"
#include "protocol/FrameChannel.h"
#include "protocol/Frames.h"
#include "support/Frames.h"

// A machine reduced to its answers: every message sent over the link is recorded and, unless
// the test holds answers back, answered with a frame built from the fields below as they are
// when the host reads. Tests queue their own answers in `pending`; those come first.
namespace mx40d::testing {

struct ScriptedMachine {
    // Machine information.
    std::uint8_t deviceType = '3';
    std::string model = "MX40D SCRIPTED";
    std::string version = "v1.2.3";
    int maxDeviceQty = 12;
    int bufferSize = 512;
    std::uint8_t features = 0x02;
    std::string machineId = "AB12";
    int boardQty = 2;
    int portsPerBoard = 6;
    int portsPerRow = 4;
    std::string nickname = "Bench 1";
    std::uint8_t logSupportStatus = 0;
    std::uint32_t logStartNo = 1;
    std::uint32_t logQty = 0;
    std::uint8_t nicknameStatus = 'A';
    std::uint8_t clockStatus = 'A';
    std::uint8_t logRangeDoneStatus = 0;  // "W" 21 is not examined: any status
    bool identicalBoards = false;         // every board record the same bytes
    std::uint8_t jobCode = 0;
    std::uint8_t stage = 0;

    bool autoAnswer = true;
    std::deque<Bytes> pending;  // answers queued by the test, oldest first
    std::deque<Bytes> owed;     // messages not yet answered (automatic answers)
    std::vector<Bytes> sent;    // every message the host sent
    int keepWaitingCalls = 0;

    MessageLink link() {
        return {&ScriptedMachine::receive, &ScriptedMachine::send, this,
                &ScriptedMachine::keepWaiting};
    }

    static bool receive(void* ctx, int& length, std::uint8_t* buffer) {
        auto* self = static_cast<ScriptedMachine*>(ctx);
        Bytes a;
        if (!self->pending.empty()) {
            a = self->pending.front();
            self->pending.pop_front();
        } else if (!self->owed.empty()) {
            a = self->answerTo(self->owed.front());
            self->owed.pop_front();
        } else {
            return false;
        }
        std::copy(a.begin(), a.end(), buffer);
        length = static_cast<int>(a.size());
        return !a.empty();
    }
    static bool send(void* ctx, int length, const std::uint8_t* data) {
        auto* self = static_cast<ScriptedMachine*>(ctx);
        self->sent.emplace_back(data, data + length);
        if (self->autoAnswer) self->owed.push_back(self->sent.back());
        return true;
    }
    static void keepWaiting(void* ctx) { ++static_cast<ScriptedMachine*>(ctx)->keepWaitingCalls; }

    Bytes answerTo(const Bytes& f) const {
        if (f[0] == '#') return answerFrame(0, {}, CheckKind::None);  // a data block
        const std::uint8_t code = f[3];
        const CheckKind ck = checkKindFor(code);
        switch (code) {
            case 'A': {
                Bytes p(37, 0);
                std::memcpy(p.data(), model.data(), std::min<std::size_t>(model.size(), 20));
                std::memcpy(p.data() + 20, version.data(),
                            std::min<std::size_t>(version.size(), 10));
                writeBe16(p.data() + 30, static_cast<std::uint16_t>(bufferSize));
                writeBe16(p.data() + 32, static_cast<std::uint16_t>(maxDeviceQty));
                p[34] = deviceType;
                p[35] = 1;
                p[36] = features;
                return answerFrame(0, p, ck);
            }
            case 'W':
                return answerToW(f);
            case 'B': {
                MachineStatus s;
                s.setJob(jobCode, stage);
                s.setLogRange(logStartNo, logQty);
                return answerFrame(0, Bytes(s.bytes.begin(), s.bytes.end()), ck);
            }
            case 0x80:
                return answerFrame(0, logRecord(readBe32(f.data() + 4)), ck);
            case 'D':
            case 'E': {
                const int count = f[7];
                const int first = readBe16(f.data() + 5);
                const int size = code == 'D' ? kDeviceInfoRecordSize : kDeviceStatusRecordSize;
                Bytes p(static_cast<std::size_t>(count * size));
                for (int i = 0; i < count; ++i)
                    p[static_cast<std::size_t>(i * size)] = static_cast<std::uint8_t>(first + i);
                return answerFrame(0, p, ck);
            }
            default:
                return answerFrame(0, {}, ck);
        }
    }

    Bytes answerToW(const Bytes& f) const {
        const CheckKind ck = CheckKind::None;
        switch (f[4]) {
            case kW_MachineId: {
                Bytes p(machineId.begin(), machineId.end());
                p.push_back(0);
                return answerFrame(0, p, ck);
            }
            case kW_BoardSummary: {
                Bytes p(5);
                writeLe16(p.data(), static_cast<std::uint16_t>(boardQty));
                writeLe16(p.data() + 2, static_cast<std::uint16_t>(portsPerBoard));
                p[4] = static_cast<std::uint8_t>(portsPerRow);
                return answerFrame(0, p, ck);
            }
            case kW_Boards: {
                const int first = f[5] | (f[6] << 8);
                const int count = f[7];
                Bytes p(static_cast<std::size_t>(40 * count));
                for (int i = 0; i < count; ++i) {
                    BoardInfo b{};
                    std::snprintf(b.name, sizeof b.name, "BOARD-%d",
                                  identicalBoards ? 1 : first + i);
                    std::memcpy(b.text2, "REV-A", 5);
                    b.fpgaVersion = 0x1A2B;
                    b.memorySizeMB = 256;
                    b.totalDeviceQty = static_cast<std::uint16_t>(portsPerBoard);
                    b.secondDeviceQty = 0;
                    b.buildNumber = 77;
                    b.toWire(p.data() + 40 * i);
                }
                return answerFrame(0, p, ck);
            }
            case kW_Nickname: {
                Bytes p(kNicknameBlockData, 0);
                std::memcpy(p.data(), nickname.data(), std::min<std::size_t>(nickname.size(), 56));
                return answerFrame(0, p, ck);
            }
            case kW_LogSupport:
                return answerFrame(logSupportStatus, {}, ck);
            case kW_LogRangeDone:
                return answerFrame(logRangeDoneStatus, {}, ck);
            case kW_LogRange: {
                Bytes p(8);
                writeBe32(p.data(), logStartNo);
                writeBe32(p.data() + 4, logQty);
                return answerFrame(0, p, ck);
            }
            case kW_ChangeNickname:
                return answerFrame(nicknameStatus, {}, ck);
            case kW_SetClock:
                return answerFrame(clockStatus, {}, ck);
            default:
                return answerFrame(0, {}, ck);
        }
    }

    // The command codes and, for "W", sub-codes sent so far, as short names ("A", "W1", ...).
    std::vector<std::string> commandNames() const {
        std::vector<std::string> out;
        for (const auto& f : sent) {
            if (f[0] == '#') {
                out.push_back("block");
            } else if (f[3] == 'W') {
                out.push_back("W" + std::to_string(f[4]));
            } else if (f[3] == 0x80) {
                out.push_back("L" + std::to_string(readBe32(f.data() + 4)));
            } else if (f[3] == 'D' || f[3] == 'E') {
                out.push_back(std::string(1, static_cast<char>(f[3])) +
                              std::to_string(readBe16(f.data() + 5)) + "+" + std::to_string(f[7]));
            } else if (f[3] == 'R') {
                out.push_back(std::string("R") + static_cast<char>(f[4]));
            } else {
                out.push_back(std::string(1, static_cast<char>(f[3])));
            }
        }
        return out;
    }
};

}  // namespace mx40d::testing
