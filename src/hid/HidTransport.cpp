#include "hid/HidTransport.h"

#include <algorithm>
#include <cstring>

namespace mx40d {

std::uint8_t HidTransport::enumerationIndex = 0;

HidTransport::HidTransport(HidBackend& backend) : backend_(backend) {}

HidTransport::~HidTransport() {
    close();
}

bool HidTransport::openCandidate(const std::string& path, std::uint16_t vendorId,
                                 std::uint16_t productId) {
    std::unique_ptr<HidDevice> device = backend_.open(path);
    if (!device) return false;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    if (!device->attributes(vid, pid) || vid != vendorId || pid != productId) return false;
    // The path field keeps at most 255 characters so that its zero fill terminates it.
    devicePath_.fill(0);
    std::memcpy(devicePath_.data(), path.data(), std::min(path.size(), devicePath_.size() - 1));
    device_ = std::move(device);
    opened_ = true;
    return true;
}

bool HidTransport::openNext(std::uint16_t vendorId, std::uint16_t productId) {
    if (opened_) return true;
    const std::vector<HidInterfaceInfo> interfaces = backend_.enumerate();
    while (enumerationIndex < interfaces.size()) {
        const HidInterfaceInfo& candidate = interfaces[enumerationIndex];
        ++enumerationIndex;  // whether or not the candidate matches
        if (openCandidate(candidate.path, vendorId, productId)) break;
        if (enumerationIndex == 0) break;  // the byte wrapped: every interface was examined
    }
    return opened_;
}

bool HidTransport::openPath(const std::string& path, std::uint16_t vendorId,
                            std::uint16_t productId) {
    if (opened_) return false;  // a link is never reopened
    return openCandidate(path, vendorId, productId);
}

bool HidTransport::readReport() {
    if (!opened_) return false;
    report_.fill(0);
    return device_->readReport(report_.data());
}

void HidTransport::pollReceive() {
    for (;;) {
        if (!readReport()) return;  // a partial message keeps its reports for the next poll
        const int count = report_[2];
        const int index = report_[3];
        const int n = report_[4];
        // Reports with no defined meaning are dropped without touching the buffer.
        if (n > kPayloadPerReport || index < 1 || index > kMaxReportsIn || count < 1 ||
            count > kMaxReportsIn) {
            continue;
        }
        // Report k carries message bytes (k - 1) * 60 onward, behind the messages already
        // waiting; nothing is stored beyond the end of the assembly buffer.
        const int offset =
            std::min(assembled_ + (index - 1) * kPayloadPerReport, kAssemblySize - n);
        if (n > 0) {
            std::memcpy(assembly_.data() + offset, report_.data() + 5, static_cast<std::size_t>(n));
        }
        ++packetsInMessage_;
        if (index != count) continue;
        packetsInMessage_ = 0;
        lastLength_ = (index - 1) * kPayloadPerReport + n;
        assembled_ = std::min(assembled_ + lastLength_, kAssemblySize);
        empty_ = false;
        return;
    }
}

bool HidTransport::receive(int& length, std::uint8_t* buffer) {
    if (empty_) return false;
    const int size = assembled_;
    if (size > 0) std::memcpy(buffer, assembly_.data(), static_cast<std::size_t>(size));
    lastLength_ = size;
    assembled_ = 0;
    empty_ = true;
    if (size == 0) return false;
    length = size;
    awaitingResponse_ = false;
    return true;
}

bool HidTransport::writeReport(const std::uint8_t* report) {
    if (!opened_) return false;
    // Any complete message not yet taken is discarded by a write.
    assembled_ = 0;
    empty_ = true;
    return device_->writeReport(report);
}

bool HidTransport::send(int length, const std::uint8_t* data) {
    if (length < 0) length = 0;
    const int reports = length / kPayloadPerReport + 1;
    std::array<std::uint8_t, kReportSize> out{};
    for (int i = 1; i <= reports; ++i) {
        out.fill(0);
        out[1] = 'C';
        // Outgoing messages are short (frames of at most a few dozen bytes); the count and
        // index bytes hold their low 8 bits as the report layout has room for no more.
        out[2] = static_cast<std::uint8_t>(reports);
        out[3] = static_cast<std::uint8_t>(i);
        const int n = i < reports ? kPayloadPerReport : length % kPayloadPerReport;
        out[4] = static_cast<std::uint8_t>(n);
        if (n > 0) {
            std::memcpy(out.data() + 5, data + (i - 1) * kPayloadPerReport,
                        static_cast<std::size_t>(n));
        }
        writeReport(out.data());
    }
    assembly_.fill(0);
    awaitingResponse_ = true;
    return true;
}

bool HidTransport::sendRaw(int length, const std::uint8_t* data) {
    std::array<std::uint8_t, kReportSize> out{};
    const int n = std::clamp(length, 0, kRawMax);
    if (n > 0) std::memcpy(out.data() + 1, data, static_cast<std::size_t>(n));
    return writeReport(out.data());
}

void HidTransport::close() {
    device_.reset();
    opened_ = false;
}

bool HidTransport::receiveCallback(void* context, int& length, std::uint8_t* buffer) {
    return static_cast<HidTransport*>(context)->receive(length, buffer);
}

bool HidTransport::sendCallback(void* context, int length, const std::uint8_t* data) {
    return static_cast<HidTransport*>(context)->send(length, data);
}

void HidTransport::keepWaitingCallback(void* context) {
    static_cast<HidTransport*>(context)->awaitingResponse_ = true;
}

}  // namespace mx40d
