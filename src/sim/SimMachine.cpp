#include "sim/SimMachine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Text.h"
#include "protocol/Checksums.h"
#include "protocol/Frames.h"

namespace mx40d::sim {

namespace {

constexpr int kReportSize = 65;
constexpr int kPayloadPerReport = 60;
constexpr std::size_t kMaxHostMessage = 8192;
// The host takes answers of at most 127 reports.
constexpr std::size_t kMaxAnswerFrame = 127 * kPayloadPerReport - 1;
// The machine's output queue; what does not fit is lost, as in a full HID input queue.
constexpr std::size_t kMaxQueuedReports = 4096;
constexpr std::uint8_t kMachineReportKind = 'M';
constexpr std::uint8_t kStatusRefused = 1;
constexpr std::int64_t kDefaultLateMs = 7000;
constexpr std::int64_t kDefaultSplitGapMs = 25;
constexpr std::uint64_t kQuickEraseSectors = 1u << 21;  // 1 GiB of 512-byte sectors

// Machine failure codes written into the result byte of a log record.
constexpr std::uint8_t kResultCopyFailed = 0x21;
constexpr std::uint8_t kResultEraseFailed = 0x31;
constexpr std::uint8_t kResultStopped = 0x0F;

std::uint64_t splitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double unitDraw(std::uint64_t& state) {
    return static_cast<double>(splitMix(state) >> 11) * (1.0 / 9007199254740992.0);
}

std::uint64_t hashText(const std::string& s, std::uint64_t seed) {
    std::uint64_t h = 1469598103934665603ull ^ seed;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

void putText(std::vector<std::uint8_t>& out, const std::string& s, std::size_t width) {
    const std::size_t at = out.size();
    out.resize(at + width, 0);
    std::memcpy(out.data() + at, s.data(), std::min(width, s.size()));
}

bool copiesData(std::uint8_t code) {
    return code == kJobCopy || code == kJobCopyCompare || code == kJobCopy2;
}
bool isSecurityErase(std::uint8_t code) {
    return code == kJobSecurityErase || code == kJobSecurityErase2 || code == 35;
}

LogDate logDate(const LocalTime& t) {
    LogDate d;
    d.year = static_cast<std::uint8_t>(std::clamp(t.year - 2000, 0, 255));
    d.month = static_cast<std::uint8_t>(t.month);
    d.day = static_cast<std::uint8_t>(t.day);
    d.hour = static_cast<std::uint8_t>(t.hour);
    d.minute = static_cast<std::uint8_t>(t.minute);
    d.second = static_cast<std::uint8_t>(t.second);
    return d;
}

}  // namespace

SimMachine::SimMachine(const Clock& clock, SimMachineConfig config)
    : clock_(clock), config_(std::move(config)) {
    config_.ports = std::clamp(config_.ports, 0, 512);
    config_.portsPerBoard = std::max(config_.portsPerBoard, 1);
    if (!(config_.reportsPerMs > 0.0)) config_.reportsPerMs = 1.0;
    perReportNs_ = std::max<std::int64_t>(1, std::llround(1e6 / config_.reportsPerMs));
    if (config_.featureBits < 0) config_.featureBits = config_.kind == kDuplicatorKind ? 0x02 : 0;
    rng_ = config_.seed;
    faultRng_ = config_.seed ^ 0xF00DFACEu;
    nickname_ = config_.nickname.substr(0, kNicknameBlockData);
    logStart_ = config_.logStartNo;

    boards_ = config_.boards;
    if (boards_.empty()) {
        const int count = (config_.ports + config_.portsPerBoard - 1) / config_.portsPerBoard;
        for (int b = 0; b < count; ++b) {
            BoardInfo info{};
            const std::string name = cformat("SIM-BOARD-%02d", b + 1);
            std::memcpy(info.name, name.data(), std::min<std::size_t>(name.size(), 16));
            std::memcpy(info.text2, "REV-A", 5);
            info.fpgaVersion = 0x20260110u + static_cast<std::uint32_t>(b);
            info.memorySizeMB = 512;
            info.totalDeviceQty = static_cast<std::uint16_t>(
                std::min(config_.portsPerBoard, config_.ports - b * config_.portsPerBoard));
            info.secondDeviceQty = 0;
            info.unused = 0;
            info.buildNumber = 1000u + static_cast<std::uint32_t>(b);
            boards_.push_back(info);
        }
    }
    if (boards_.size() > 0xFFFF) boards_.resize(0xFFFF);

    ports_.resize(static_cast<std::size_t>(config_.ports));
    if (config_.drivesInAllPorts) {
        for (int p = 0; p < config_.ports; ++p) {
            SimDrive d;
            d.present = true;
            d.model = "SIMDISK HD500G";
            d.firmware = "SF01";
            d.serial = cformat("S%08X", static_cast<unsigned>(splitMix(rng_)));
            d.sectorCount = config_.driveSectors;
            d.sectorSize = 512;
            d.powerOnHours = static_cast<std::uint32_t>(splitMix(rng_) % 20000);
            d.powerCycles = static_cast<std::uint32_t>(splitMix(rng_) % 3000);
            ports_[static_cast<std::size_t>(p)].drive = d;
        }
    }

    // Made-up history: jobs of `ports` records each, one hour apart, the newest an hour ago.
    if (config_.prefilledRecords > 0) {
        const int perJob = std::max(config_.ports, 1);
        const int jobs = (config_.prefilledRecords + perJob - 1) / perJob;
        const std::int64_t nowSec = secondsFromCivil(machineClock());
        static constexpr std::uint8_t kDupJobs[] = {1, 3, 2, 26};
        static constexpr std::uint8_t kEraseJobs[] = {6, 7, 5, 9};
        for (int i = 0; i < config_.prefilledRecords; ++i) {
            const int job = i / perJob;
            const int port = i % perJob;
            LogRecord r(config_.kind);
            const std::uint8_t code =
                config_.kind == kDuplicatorKind ? kDupJobs[job % 4] : kEraseJobs[job % 4];
            r.setPortNo(static_cast<std::uint16_t>(port + 1));
            r.setSectorSize(512);
            r.setModel("SIMDISK HD500G");
            r.setVersion("SF01");
            r.setSerialNo(cformat("H%04d%04d", job, port));
            r.setCapacity(config_.driveSectors);
            r.setDate(logDate(civilFromSeconds(nowSec - 3600LL * (jobs - job))));
            r.setJobGroupNo(static_cast<std::uint8_t>(job + 1));
            r.setJobCode(code);
            const bool fail = splitMix(rng_) % 10 == 0;
            r.setResult(
                fail ? (config_.kind == kDuplicatorKind ? kResultCopyFailed : kResultEraseFailed)
                     : 0);
            r.setSpendMiniSecond(static_cast<std::uint32_t>(600000 + port * 1000));
            if (r.isDuplicator()) {
                r.setCopyArea(2);
                r.setJobCapacity(config_.driveSectors);
                r.setDataSize(config_.driveSectors);
                r.setReadSpeed(static_cast<std::uint32_t>(config_.sectorsPerSecond));
                r.setWriteSpeed(static_cast<std::uint32_t>(config_.sectorsPerSecond));
                r.set_power_on_hours(static_cast<std::uint32_t>(1000 + job));
                r.set_power_cycle(static_cast<std::uint32_t>(100 + port));
                if (port == 0 && copiesData(code)) {
                    r.setCrc64Low(static_cast<std::uint32_t>(splitMix(rng_)));
                    r.setCrc64High(static_cast<std::uint32_t>(splitMix(rng_)));
                }
            } else {
                if (fail) {
                    r.setBadSectorQty(static_cast<std::uint32_t>(1 + port));
                    r.setFirstBadSectorAddr(123456u + static_cast<std::uint64_t>(port));
                }
                for (int k = 1; k <= 4; ++k)
                    r.setIdNumber(k, static_cast<std::uint16_t>(splitMix(rng_)));
                r.setMachineIdText(config_.machineId);
            }
            appendLogRecord(r);
        }
        jobGroupNo_ = static_cast<std::uint8_t>(jobs);
    }
}

// ---------------------------------------------------------------- link

void SimMachine::hostWrite(const std::uint8_t* report) {
    service();
    const std::int64_t arrived = std::max(nowNs(), inFreeNs_) + perReportNs_;
    inFreeNs_ = arrived;

    const int count = report[2], index = report[3], n = report[4];
    auto drop = [this] {
        inMsg_.clear();
        inNext_ = 0;
        ++counters_.rejected;
    };
    if (report[1] != 'C' || count == 0 || index == 0 || index > count || n > kPayloadPerReport) {
        drop();
        return;
    }
    if (index == 1) {
        inMsg_.clear();
        inCount_ = count;
        inNext_ = 1;
    } else if (index != inNext_ || count != inCount_) {
        drop();
        return;
    }
    if (inMsg_.size() + static_cast<std::size_t>(n) > kMaxHostMessage) {
        drop();
        return;
    }
    inMsg_.insert(inMsg_.end(), report + 5, report + 5 + n);
    ++inNext_;
    if (index == count) {
        std::vector<std::uint8_t> msg;
        msg.swap(inMsg_);
        inNext_ = 0;
        takeMessage(msg.data(), msg.size(), arrived);
    }
}

bool SimMachine::hostRead(std::uint8_t* report) {
    service();
    if (out_.empty() || out_.front().dueNs > nowNs()) return false;
    std::memcpy(report, out_.front().bytes.data(), kReportSize);
    out_.pop_front();
    return true;
}

void SimMachine::dropLink() {
    out_.clear();
    inMsg_.clear();
    inNext_ = 0;
    blockExpected_ = 0;
}

namespace {
// The command code, payload and payload size of a well-formed command frame.
bool parseCommandFrame(const std::uint8_t* msg, std::size_t size, std::uint8_t& code,
                       const std::uint8_t*& payload, int& n) {
    if (size < 5 || msg[0] != kCommandStart) return false;
    const std::size_t len = readBe16(msg + wire::command::kLength);
    if (len < 2 || len + 3 != size || len - 2 > static_cast<std::size_t>(kMaxCommandPayload))
        return false;
    if (additiveChecksum(msg, size - 1) != msg[size - 1]) return false;
    code = msg[wire::command::kCode];
    payload = msg + wire::command::kPayload;
    n = static_cast<int>(len - 2);
    return true;
}
}  // namespace

void SimMachine::takeMessage(const std::uint8_t* msg, std::size_t size, std::int64_t arrivedNs) {
    std::vector<std::uint8_t> answer;
    std::uint8_t code = 0;
    const std::uint8_t* payload = nullptr;
    int n = 0;
    int sub = -1;
    if (parseCommandFrame(msg, size, code, payload, n)) {
        ++counters_.commands;
        if (code == kCmdMachineData && n > 0) sub = payload[0];
        answer = answerCommand(code, payload, n);
    } else if (size >= wire::kAnswerHeadSize && msg[wire::kStart] == kAnswerStart &&
               readBe16(msg + wire::kLength) == size && msg[wire::kStatus] == 0) {
        code = kAnswerStart;  // a data block; faults for it are injected under '#'
        answer = answerBlock(msg + wire::kPayload, static_cast<int>(size) - wire::kAnswerHeadSize);
    } else {
        ++counters_.rejected;
        blockExpected_ = 0;
        return;
    }
    if (answer.empty()) {
        ++counters_.rejected;
        return;
    }
    queueAnswer(std::move(answer), code, sub, arrivedNs);
}

bool SimMachine::drawFault(int commandCode, int subCode, Fault& fault) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if ((it->command == kAnyCommand || it->command == commandCode) &&
            (it->sub < 0 || it->sub == subCode)) {
            fault = *it;
            faults_.erase(it);
            return true;
        }
    }
    if (config_.randomFaultRate > 0.0 && unitDraw(faultRng_) < config_.randomFaultRate) {
        int kinds[kFaultKindCount];
        int count = 0;
        for (int k = 0; k < kFaultKindCount; ++k)
            if (k != static_cast<int>(FaultKind::UnplugMidCommand) &&
                (config_.randomFaultKinds >> k & 1u))
                kinds[count++] = k;
        if (count == 0) return false;
        fault = {commandCode,
                 static_cast<FaultKind>(kinds[splitMix(faultRng_) % static_cast<unsigned>(count)]),
                 0};
        return true;
    }
    return false;
}

void SimMachine::queueAnswer(std::vector<std::uint8_t> frame, std::uint8_t commandCode, int subCode,
                             std::int64_t arrivedNs) {
    std::int64_t ready = arrivedNs + config_.answerLatencyUs * 1000;
    std::int64_t gapNs = 0;
    int copies = 1;
    bool runt = false;
    Fault fault{};
    if (drawFault(commandCode, subCode, fault)) {
        ++counters_.faults;
        switch (fault.kind) {
            case FaultKind::NoAnswer:
                return;
            case FaultKind::UnplugMidCommand:
                dropLink();
                if (onUnplug) onUnplug();
                return;
            case FaultKind::LateAnswer:
                ready += (fault.param > 0 ? fault.param : kDefaultLateMs) * 1000000;
                break;
            case FaultKind::CorruptCheck:
                frame.back() ^= 0xFF;
                break;
            case FaultKind::WrongLength:
                frame.pop_back();
                break;
            case FaultKind::WrongHeader:
                frame[0] = '$';
                break;
            case FaultKind::SplitAnswer:
                gapNs = (fault.param > 0 ? fault.param : kDefaultSplitGapMs) * 1000000;
                break;
            case FaultKind::DuplicateAnswer:
                copies = 2;
                break;
            case FaultKind::RuntAnswer:
                runt = true;
                break;
        }
    }
    if (runt && out_.size() < kMaxQueuedReports) {
        OutReport r{};
        r.bytes[1] = kMachineReportKind;
        r.bytes[2] = 1;
        r.bytes[3] = 1;
        r.bytes[4] = 3;
        r.bytes[5] = kAnswerStart;
        r.dueNs = std::max(ready, outFreeNs_) + perReportNs_;
        outFreeNs_ = r.dueNs;
        out_.push_back(r);
    }
    ++counters_.answers;
    const int reports = static_cast<int>(frame.size()) / kPayloadPerReport + 1;
    for (int c = 0; c < copies; ++c) {
        for (int i = 1; i <= reports; ++i) {
            if (out_.size() >= kMaxQueuedReports) return;
            OutReport r{};
            const std::size_t from = static_cast<std::size_t>(i - 1) * kPayloadPerReport;
            const std::size_t len =
                i < reports ? kPayloadPerReport : frame.size() % kPayloadPerReport;
            r.bytes[1] = kMachineReportKind;
            r.bytes[2] = static_cast<std::uint8_t>(reports);
            r.bytes[3] = static_cast<std::uint8_t>(i);
            r.bytes[4] = static_cast<std::uint8_t>(len);
            if (len) std::memcpy(&r.bytes[5], frame.data() + from, len);
            r.dueNs = std::max(ready, outFreeNs_) + perReportNs_;
            outFreeNs_ = r.dueNs;
            if (gapNs) ready = r.dueNs + gapNs;
            out_.push_back(r);
        }
    }
}

std::vector<std::uint8_t> SimMachine::answerTo(const std::uint8_t* msg, std::size_t size) {
    service();
    std::uint8_t code = 0;
    const std::uint8_t* payload = nullptr;
    int n = 0;
    if (!parseCommandFrame(msg, size, code, payload, n)) return {};
    ++counters_.commands;
    return answerCommand(code, payload, n);
}

void SimMachine::injectFault(int commandCode, FaultKind kind, std::int64_t param, int subCode) {
    faults_.push_back({commandCode, kind, param, subCode});
}

void SimMachine::refuseLogRecord(std::uint32_t number, bool refuse) {
    const auto it = std::find(refused_.begin(), refused_.end(), number);
    if (refuse && it == refused_.end()) refused_.push_back(number);
    if (!refuse && it != refused_.end()) refused_.erase(it);
}

// ---------------------------------------------------------------- commands

std::vector<std::uint8_t> SimMachine::frame(std::uint8_t code, std::uint8_t status,
                                            const std::uint8_t* payload, std::size_t n) const {
    const CheckKind check = checkKindFor(code);
    const std::size_t body = wire::kPayload + n;
    std::vector<std::uint8_t> f(body + static_cast<std::size_t>(checkValueSize(check)), 0);
    f[wire::kStart] = kAnswerStart;
    writeBe16(f.data() + wire::kLength, static_cast<std::uint16_t>(f.size() - 3));
    f[wire::kStatus] = status;
    if (n) std::memcpy(f.data() + wire::kPayload, payload, n);
    if (check == CheckKind::Crc16) writeBe16(f.data() + body, crc16(f.data(), body));
    if (check == CheckKind::Crc32) writeBe32(f.data() + body, crc32(f.data(), body));
    return f;
}

std::vector<std::uint8_t> SimMachine::machineInfoPayload() const {
    // The payload starts at the answer's offset 4; every field is placed by its answer offset.
    using namespace wire::info;
    constexpr std::size_t at = wire::kPayload;
    std::vector<std::uint8_t> p(kEnd - at, 0);
    std::memcpy(p.data() + kModelName - at, config_.model.data(),
                std::min(config_.model.size(), kModelNameSize));
    std::memcpy(p.data() + kVersion - at, config_.firmware.data(),
                std::min(config_.firmware.size(), kVersionSize));
    writeBe16(p.data() + kBufferSize - at, config_.bufferSize);
    writeBe16(p.data() + kPortCount - at, static_cast<std::uint16_t>(config_.ports));
    p[kDeviceType - at] = config_.kind;
    p[kLayoutKind - at] = config_.layoutKind;
    p[kFeatureBits - at] = static_cast<std::uint8_t>(config_.featureBits);
    return p;
}

std::vector<std::uint8_t> SimMachine::answerCommand(std::uint8_t code, const std::uint8_t* payload,
                                                    int n) {
    blockExpected_ = 0;
    switch (code) {
        case kCmdMachineInfo: {
            if (n != 0) return {};
            const auto p = machineInfoPayload();
            return frame(code, 0, p.data(), p.size());
        }
        case kCmdMachineData: {
            bool answered = false;
            auto f = machineData(payload, n, answered);
            return answered ? f : std::vector<std::uint8_t>{};
        }
        case kCmdStatus: {
            if (n != 0) return {};
            const MachineStatus s = status();
            return frame(code, 0, s.bytes.data(), s.bytes.size());
        }
        case kCmdLogRecord: {
            if (n != 4) return {};
            const std::uint32_t number = readBe32(payload);
            const LogRecord* r = logRecord(number);
            if (!r || std::find(refused_.begin(), refused_.end(), number) != refused_.end())
                return frame(code, kStatusRefused, nullptr, 0);
            ++counters_.logRecordsSent;
            return frame(code, 0, r->data(), kLogRecordSize);
        }
        case kCmdDeviceInfo:
        case kCmdDeviceStatus:
            return deviceRecords(code, payload, n);
        case kCmdJobRequest: {
            if (n != 1) return {};
            const std::uint8_t st = jobRequest(payload[0]);
            const std::uint8_t p[3] = {payload[0], jobCode_, stage_};
            return frame(code, st, p, sizeof p);
        }
        default:
            return {};
    }
}

std::vector<std::uint8_t> SimMachine::machineData(const std::uint8_t* payload, int n,
                                                  bool& answered) {
    answered = false;
    if (n < 1) return {};
    const std::uint8_t sub = payload[0];
    if (sub == kW_Boards ? n != 4 : n != 1) return {};
    answered = true;
    std::vector<std::uint8_t> p;
    std::uint8_t st = 0;
    switch (sub) {
        case kW_MachineId:
            p.assign(config_.machineId.begin(), config_.machineId.end());
            p.push_back(0);
            break;
        case kW_BoardSummary: {
            using namespace wire::boardSummary;
            constexpr std::size_t at = wire::kPayload;
            p.resize(kAnswerSize - at);
            writeLe16(p.data() + kBoardQty - at, static_cast<std::uint16_t>(boards_.size()));
            writeLe16(p.data() + kPortsPerBoard - at,
                      static_cast<std::uint16_t>(config_.portsPerBoard));
            p[kPortsPerRow - at] = static_cast<std::uint8_t>(config_.portsPerRow);
            break;
        }
        case kW_Boards: {
            using namespace wire::command::boards;
            const std::uint8_t* cmd = payload - wire::command::kPayload;
            const std::size_t first =
                static_cast<std::size_t>(cmd[kFirstLow] | (cmd[kFirstHigh] << 8));
            const std::size_t count = cmd[kCount];
            if (count > static_cast<std::size_t>(kBoardsPerRequest) ||
                (count > 0 && (first < 1 || first - 1 + count > boards_.size()))) {
                st = kStatusRefused;
                break;
            }
            p.resize(count * wire::board::kRecordSize);
            for (std::size_t i = 0; i < count; ++i)
                boards_[first - 1 + i].toWire(p.data() + i * wire::board::kRecordSize);
            break;
        }
        case kW_Nickname:
            putText(p, nickname_, kNicknameBlockData);
            break;
        case kW_ChangeNickname:
            st = config_.acceptsNickname ? kStatusGoAhead : kStatusRefused;
            break;
        case kW_SetClock:
            st = config_.acceptsClock ? kStatusGoAhead : kStatusRefused;
            break;
        case kW_LogSupport:
            st = config_.keepsLog ? kStatusYes : kStatusRefused;
            break;
        case kW_LogRange: {
            using namespace wire::logRange;
            constexpr std::size_t at = wire::kPayload;
            p.resize(kAnswerSize - at);
            writeBe32(p.data() + kStartNo - at, logStart_);
            writeBe32(p.data() + kQty - at, static_cast<std::uint32_t>(log_.size()));
            break;
        }
        case kW_LogRangeDone:
            break;
        default:
            answered = false;
            return {};
    }
    auto f = frame(kCmdMachineData, st, p.data(), p.size());
    if (st == kStatusGoAhead) blockExpected_ = sub;
    return f;
}

std::vector<std::uint8_t> SimMachine::answerBlock(const std::uint8_t* data, int m) {
    const std::uint8_t expected = blockExpected_;
    blockExpected_ = 0;
    std::uint8_t st = kStatusRefused;
    if (expected == kW_ChangeNickname && m == kNicknameBlockData) {
        nickname_ = fixedText(data, kNicknameBlockData);
        st = 0;
    } else if (expected == kW_SetClock && m == kClockTextSize) {
        int v[6] = {};
        static constexpr int kWidths[6] = {4, 2, 2, 2, 2, 2};
        bool ok = true;
        const std::uint8_t* p = data;
        for (int i = 0; i < 6; ++i) {
            for (int k = 0; k < kWidths[i]; ++k, ++p) {
                if (*p < '0' || *p > '9') ok = false;
                v[i] = v[i] * 10 + (*p - '0');
            }
        }
        ok = ok && v[1] >= 1 && v[1] <= 12 && v[2] >= 1 && v[2] <= 31 && v[3] <= 23 && v[4] <= 59 &&
             v[5] <= 59;
        if (ok) {
            LocalTime t;
            t.year = v[0];
            t.month = v[1];
            t.day = v[2];
            t.hour = v[3];
            t.minute = v[4];
            t.second = v[5];
            clockOffsetSeconds_ = secondsFromCivil(t) - secondsFromCivil(clock_.localTime());
            st = 0;
        }
    } else if (expected == 0) {
        return {};
    }
    // The host still holds "W" as its command, so the answer carries no check value.
    return frame(kCmdMachineData, st, nullptr, 0);
}

std::vector<std::uint8_t> SimMachine::deviceRecords(std::uint8_t code, const std::uint8_t* payload,
                                                    int n) {
    if (n != 4) return {};
    const std::size_t size = code == kCmdDeviceInfo ? kDeviceEntrySize : DeviceStatus::kSize;
    const std::uint8_t* cmd = payload - wire::command::kPayload;
    const std::size_t first =
        readBe16(cmd + wire::command::devices::kFirstHigh);  // high byte, then low byte
    const std::size_t count = cmd[wire::command::devices::kCount];
    if (count > 0 && (first < 1 || first - 1 + count > ports_.size() ||
                      static_cast<int>(count * size) + wire::device::answerSize(0, 0) >
                          static_cast<int>(kMaxAnswerFrame)))
        return frame(code, kStatusRefused, nullptr, 0);
    std::vector<std::uint8_t> p(count * size);
    for (std::size_t i = 0; i < count; ++i) {
        const int port = static_cast<int>(first - 1 + i);
        const DeviceStatus s = deviceStatus(port);
        std::memcpy(p.data() + i * size, s.data(), DeviceStatus::kSize);
        if (code == kCmdDeviceInfo) {
            const DeviceInfo d = deviceInfo(port);
            std::memcpy(p.data() + i * size + DeviceStatus::kSize, d.data(), DeviceInfo::kSize);
        }
    }
    return frame(code, 0, p.data(), p.size());
}

std::uint8_t SimMachine::jobRequest(std::uint8_t request) {
    bool ok = false;
    switch (static_cast<JobRequest>(request)) {
        case JobRequest::Copy:
            ok = startJob(kJobCopy);
            break;
        case JobRequest::Compare:
            ok = startJob(kJobCompare);
            break;
        case JobRequest::CopyCompare:
            ok = startJob(kJobCopyCompare);
            break;
        case JobRequest::GetId:
            ok = startJob(kJobGetId);
            break;
        case JobRequest::Finish:
            ok = finishJob();
            break;
        case JobRequest::NextRun:
            ok = nextRun();
            break;
        case JobRequest::Stop:
            ok = stopJob();
            break;
        default:
            break;
    }
    return ok ? 0 : kStatusRefused;
}

// ---------------------------------------------------------------- state shown

LocalTime SimMachine::machineClock() const {
    return civilFromSeconds(secondsFromCivil(clock_.localTime()) + clockOffsetSeconds_);
}

MachineStatus SimMachine::status() {
    service();
    MachineStatus s;
    // "GET ID" has no separate detection: identifying the drives is its working stage.
    s.setJob(jobCode_, jobCode_ == kJobGetId && stage_ == kStageDetect
                           ? static_cast<std::uint8_t>(kStageCopy)
                           : stage_);
    std::uint32_t taking = 0, passed = 0, failed = 0;
    for (const Port& p : ports_) {
        if (!p.takesPart) continue;
        ++taking;
        if (p.done) (p.failed ? failed : passed) += 1;
    }
    s.setNumber(0, taking);
    s.setNumber(1, passed);
    s.setNumber(2, failed);
    s.setLogRange(logStart_, static_cast<std::uint32_t>(log_.size()));
    return s;
}

std::uint32_t SimMachine::logStartNo() {
    service();
    return logStart_;
}

std::uint32_t SimMachine::logQty() {
    service();
    return static_cast<std::uint32_t>(log_.size());
}

const LogRecord* SimMachine::logRecord(std::uint32_t number) {
    service();
    const std::uint32_t offset = number - logStart_;  // wraps below the start
    if (number < logStart_ || offset >= log_.size()) return nullptr;
    return &log_[offset];
}

void SimMachine::appendLogRecord(LogRecord record) {
    record.setIndexNo(logStart_ + static_cast<std::uint32_t>(log_.size()));
    log_.push_back(std::move(record));
    if (config_.logCapacity && log_.size() > config_.logCapacity) {
        log_.pop_front();
        ++logStart_;
    }
}

void SimMachine::resetLog(std::uint32_t startNo) {
    log_.clear();
    logStart_ = startNo;
}

// ---------------------------------------------------------------- drives

void SimMachine::setDrive(int port, const SimDrive& drive) {
    if (port < 0 || port >= config_.ports) return;
    ports_[static_cast<std::size_t>(port)].drive = drive;
}

void SimMachine::removeDrive(int port) {
    if (port < 0 || port >= config_.ports) return;
    ports_[static_cast<std::size_t>(port)].drive = SimDrive{};
}

const SimDrive& SimMachine::drive(int port) const {
    static const SimDrive kNone{};
    if (port < 0 || port >= config_.ports) return kNone;
    return ports_[static_cast<std::size_t>(port)].drive;
}

}  // namespace mx40d::sim

// ---------------------------------------------------------------- jobs

namespace mx40d::sim {

std::uint64_t SimMachine::nextRandom() {
    return splitMix(rng_);
}

bool SimMachine::isEraseJob(std::uint8_t code) const {
    return (code >= 5 && code <= 16) || (code >= 30 && code <= 35);
}

bool SimMachine::knownJob(std::uint8_t code) const {
    return (code >= 1 && code <= 10) || code == 16 || code == 20 || code == 26 ||
           (code >= 30 && code <= 35);
}

int SimMachine::passesOf(std::uint8_t code) const {
    switch (code) {
        case 7:
        case 31:
        case 32:
            return 3;
        case 8:
            return 4;  // three passes and a verify pass
        case 9:
        case 30:
        case 33:
            return 7;
        default:
            return 1;
    }
}

std::uint8_t SimMachine::patternOf(int pass) const {
    // Ones and zeros in turn, then a random byte: the third pass writes 00 again.
    static constexpr std::uint8_t kPatterns[7] = {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x96};
    return kPatterns[static_cast<std::size_t>(pass) % 7];
}

void SimMachine::service() {
    advanceTo(clock_.nowMs());
}

bool SimMachine::startJob(std::uint8_t code) {
    service();
    if (jobCode_ != 0 || !knownJob(code)) return false;
    jobCode_ = code;
    beginRun();
    return true;
}

bool SimMachine::finishJob() {
    service();
    if (jobCode_ == 0 || stage_ != kStageEnd) return false;
    jobCode_ = 0;
    stage_ = kStageIdle;
    for (Port& p : ports_) {
        p.state = kPortNone;
        p.takesPart = false;
    }
    return true;
}

bool SimMachine::nextRun() {
    service();
    if (jobCode_ == 0 || stage_ != kStageEnd) return false;
    beginRun();
    return true;
}

bool SimMachine::stopJob() {
    service();
    if (jobCode_ == 0 || stage_ == kStageEnd) return false;
    endRun(clock_.nowMs(), true);
    return true;
}

void SimMachine::beginRun() {
    const std::int64_t now = clock_.nowMs();
    ++jobGroupNo_;
    runStartMs_ = now;
    runStartTime_ = machineClock();
    copyTotal_ = 0;
    if ((copiesData(jobCode_) || jobCode_ == kJobCompare) && !ports_.empty() &&
        ports_[0].drive.present)
        copyTotal_ = ports_[0].drive.sectorCount;
    for (Port& p : ports_) {
        p.takesPart = p.drive.present;
        p.failed = false;
        p.done = false;
        p.failing = p.takesPart && (p.drive.failsNextRun || (config_.failureRate > 0.0 &&
                                                             unitDraw(rng_) < config_.failureRate));
        p.drive.failsNextRun = false;
        p.failFraction = 0.1 + 0.8 * unitDraw(rng_);
        p.badSectors = 0;
        p.firstBad = 0;
        p.work = p.stopAt = p.passSectors = 0;
        p.finishedMs = now;
        p.state = p.takesPart ? kPortTurningOn : kPortNone;
        if (p.takesPart) ++p.drive.powerCycles;
    }
    stage_ = kStageDetect;
    phaseStartMs_ = now;
}

void SimMachine::enterPhase(std::uint8_t stage, std::int64_t atMs) {
    stage_ = stage;
    phaseStartMs_ = atMs;
    const std::uint64_t rate = std::max<std::uint64_t>(config_.sectorsPerSecond, 1);
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        Port& p = ports_[i];
        if (p.failed) continue;  // stopped in an earlier phase; keeps its progress
        p.work = p.stopAt = 0;
        if (!p.takesPart) {
            p.finishedMs = atMs;
            continue;
        }
        const std::uint64_t own = p.drive.sectorCount;
        std::uint64_t work = own;
        std::uint64_t limit = UINT64_MAX;  // where this port cannot go on
        if (isEraseJob(jobCode_)) {
            p.passSectors = jobCode_ == 5 ? std::min(own, kQuickEraseSectors) : own;
            work = p.passSectors * static_cast<std::uint64_t>(passesOf(jobCode_));
            p.state = isSecurityErase(jobCode_) ? kPortSecurityErase : kPortErase;
        } else if (jobCode_ == kJobScan) {
            p.state = kPortRead;
        } else {
            work = copyTotal_;
            if (own < copyTotal_) limit = own;  // a target smaller than the source
            p.state = stage == kStageCompare ? kPortCompare : (i == 0 ? kPortRead : kPortWrite);
        }
        p.work = work;
        p.stopAt = work;
        if (limit < work) {
            p.stopAt = limit;
            p.failing = true;
        } else if (p.failing) {
            p.stopAt = static_cast<std::uint64_t>(static_cast<double>(work) * p.failFraction);
        }
        p.finishedMs = atMs + static_cast<std::int64_t>((p.stopAt * 1000 + rate - 1) / rate);
    }
}

std::uint64_t SimMachine::doneAt(const Port& p, std::int64_t ms) const {
    if (p.failed || (stage_ != kStageCopy && stage_ != kStageCompare)) return p.stopAt;
    const std::uint64_t rate = std::max<std::uint64_t>(config_.sectorsPerSecond, 1);
    const std::int64_t elapsed = std::max<std::int64_t>(0, ms - phaseStartMs_);
    const long double moved = static_cast<long double>(elapsed) * rate / 1000.0L;
    return moved >= static_cast<long double>(p.stopAt) ? p.stopAt
                                                       : static_cast<std::uint64_t>(moved);
}

void SimMachine::advanceTo(std::int64_t ms) {
    for (;;) {
        if (stage_ == kStageDetect) {
            const std::int64_t end = phaseStartMs_ + config_.detectMs;
            if (ms < end) return;
            for (Port& p : ports_)
                if (p.takesPart) p.state = kPortReady;
            if (jobCode_ == kJobGetId) {
                endRun(end, false);
            } else if ((copiesData(jobCode_) || jobCode_ == kJobCompare) && copyTotal_ == 0) {
                // No source drive: nothing can be copied or compared.
                for (Port& p : ports_)
                    if (p.takesPart) p.failing = p.failed = true;
                endRun(end, false);
            } else {
                enterPhase(jobCode_ == kJobCompare ? kStageCompare : kStageCopy, end);
            }
            continue;
        }
        if (stage_ == kStageCopy || stage_ == kStageCompare) {
            std::int64_t end = phaseStartMs_;
            for (const Port& p : ports_)
                if (p.takesPart) end = std::max(end, p.finishedMs);
            if (ms < end) return;
            for (Port& p : ports_)
                if (p.takesPart && p.failing && p.stopAt < p.work) p.failed = true;
            if (jobCode_ == kJobCopyCompare && stage_ == kStageCopy)
                enterPhase(kStageCompare, end);
            else
                endRun(end, false);
            continue;
        }
        return;
    }
}

void SimMachine::endRun(std::int64_t atMs, bool stopped) {
    for (Port& p : ports_) {
        if (!p.takesPart) continue;
        const std::uint64_t done = doneAt(p, atMs);
        if (stopped && done < p.stopAt) p.stopped = true;
        if (p.failing || p.stopped) p.failed = true;
        if (stage_ == kStageCopy || stage_ == kStageCompare) {
            p.stopAt = done;
            p.finishedMs = std::min(p.finishedMs, atMs);
        } else {
            p.finishedMs = atMs;
        }
        if (p.failed && isEraseJob(jobCode_) && !p.stopped) {
            p.badSectors = 1 + static_cast<std::uint32_t>(nextRandom() % 64);
            p.firstBad = p.passSectors ? p.stopAt % p.passSectors : p.stopAt;
        }
        p.done = true;
        p.state = kPortDone;
    }
    stage_ = kStageEnd;
    writeLog(atMs);
    for (Port& p : ports_)
        p.stopped = false;
}

void SimMachine::writeLog(std::int64_t atMs) {
    if (!config_.keepsLog) return;
    const std::uint64_t crcSeed =
        hashText(ports_.empty() ? "" : ports_[0].drive.serial, config_.seed + jobGroupNo_);
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        const Port& p = ports_[i];
        if (!p.takesPart) continue;
        LogRecord r(config_.kind);
        r.setPortNo(static_cast<std::uint16_t>(i + 1));
        r.setSectorSize(p.drive.sectorSize);
        r.setModel(p.drive.model);
        r.setVersion(p.drive.firmware);
        r.setSerialNo(p.drive.serial);
        r.setCapacity(p.drive.sectorCount);
        r.setDate(logDate(runStartTime_));
        r.setJobGroupNo(jobGroupNo_);
        r.setJobCode(jobCode_);
        std::uint8_t result = 0;
        if (p.stopped)
            result = kResultStopped;
        else if (p.failed)
            result = isEraseJob(jobCode_) ? kResultEraseFailed : kResultCopyFailed;
        r.setResult(result);
        r.setSpendMiniSecond(static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(std::min(p.finishedMs, atMs) - runStartMs_, 0, UINT32_MAX)));
        if (r.isDuplicator()) {
            const std::uint64_t covered = copyTotal_ ? copyTotal_ : p.drive.sectorCount;
            r.setCopyArea(2);
            r.setJobCapacity(covered);
            r.setDataSize(covered);
            const auto speed = static_cast<std::uint32_t>(config_.sectorsPerSecond);
            r.setReadSpeed(jobCode_ == kJobGetId ? 0 : speed);
            r.setWriteSpeed(copiesData(jobCode_) && i != 0 ? speed : 0);
            r.set_power_on_hours(p.drive.powerOnHours);
            r.set_power_cycle(p.drive.powerCycles);
            if (i == 0 && copiesData(jobCode_)) {
                r.setCrc64Low(static_cast<std::uint32_t>(crcSeed));
                r.setCrc64High(static_cast<std::uint32_t>(crcSeed >> 32));
            }
        } else {
            r.setBadSectorQty(p.badSectors);
            r.setFirstBadSectorAddr(p.badSectors ? p.firstBad : 0);
            const std::uint64_t id = hashText(p.drive.serial, config_.seed);
            for (int k = 1; k <= 4; ++k)
                r.setIdNumber(k, static_cast<std::uint16_t>(id >> (16 * (k - 1))));
            r.setMachineIdText(config_.machineId);
        }
        appendLogRecord(r);
    }
}

DeviceStatus SimMachine::deviceStatus(int port) {
    service();
    DeviceStatus s;
    if (port < 0 || port >= config_.ports) return s;
    const Port& p = ports_[static_cast<std::size_t>(port)];
    const std::int64_t now = clock_.nowMs();
    const bool running = jobCode_ != 0;
    s.setPresent(running ? p.takesPart : p.drive.present);
    if (!running || !p.takesPart) {
        s.setPortState(p.drive.present ? kPortReady : kPortNone);
        return s;
    }
    const bool transferring = stage_ == kStageCopy || stage_ == kStageCompare;
    const std::uint64_t done = doneAt(p, now);
    const bool finished = p.done || (transferring && now >= p.finishedMs);
    std::uint8_t state = p.state;
    if (finished && !p.done && transferring) state = kPortDone;
    s.setPortState(state);
    s.setNumber(DeviceStatus::kNumber24,
                static_cast<std::uint32_t>(std::max<std::int64_t>(0, now - runStartMs_) / 1000));
    if (transferring && !finished) {
        const std::uint64_t second = static_cast<std::uint64_t>(now / 1000);
        const int jitter =
            static_cast<int>((static_cast<std::uint64_t>(port) * 7919u + second * 104729u) % 61) -
            30;
        s.setSpeedTime(1000000);
        s.setSpeedSectors(static_cast<std::uint32_t>(
            config_.sectorsPerSecond * static_cast<std::uint64_t>(1000 + jitter) / 1000));
    }
    const bool failedNow = p.failed || (finished && p.failing && p.stopAt < p.work);
    if (isEraseJob(jobCode_)) {
        const std::uint64_t pass = p.passSectors ? p.passSectors : 1;
        const int passes = passesOf(jobCode_);
        std::uint64_t loop = done / pass;
        std::uint64_t within = done % pass;
        if (loop >= static_cast<std::uint64_t>(passes)) {
            loop = static_cast<std::uint64_t>(passes - 1);
            within = pass;
        }
        if (stage_ == kStageDetect) loop = within = 0;
        s.setEraseDone(within);
        s.setEraseLoop(static_cast<std::uint8_t>(loop));
        s.setErasePattern(patternOf(static_cast<int>(loop)));
        s.setEraseResult(
            !finished ? DeviceStatus::kEraseRunning
                      : (failedNow ? DeviceStatus::kEraseFailed : DeviceStatus::kErasePassed));
    } else {
        s.setCopyDone(done);
        s.setCopyTotal(jobCode_ == kJobScan ? p.drive.sectorCount : copyTotal_);
    }
    if (finished && failedNow) s.setFailed(1);
    return s;
}

DeviceInfo SimMachine::deviceInfo(int port) {
    service();
    DeviceInfo d;
    if (port < 0 || port >= config_.ports) return d;
    const Port& p = ports_[static_cast<std::size_t>(port)];
    // A drive is known once it has powered up and been identified.
    if (!p.drive.present || (jobCode_ != 0 && stage_ == kStageDetect)) return d;
    d.setSectorCount(p.drive.sectorCount);
    d.setSectorSize(p.drive.sectorSize);
    d.setModel(p.drive.model);
    d.setVersion(p.drive.firmware);
    d.setSerialNo(p.drive.serial);
    return d;
}

}  // namespace mx40d::sim
