#include "machine_ui/DeviceRecords.h"

#include <algorithm>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Text.h"

namespace mx40d {

DeviceStatus::DeviceStatus(const std::uint8_t* wire, std::size_t length) {
    if (wire) std::memcpy(bytes_.data(), wire, std::min(length, kSize));
}

std::uint64_t DeviceStatus::eraseDone() const {
    return readBe64(&bytes_[kEraseDone]);
}
void DeviceStatus::setEraseDone(std::uint64_t v) {
    writeBe64(&bytes_[kEraseDone], v);
}
std::uint64_t DeviceStatus::copyDone() const {
    return readBe64(&bytes_[kCopyDone]);
}
void DeviceStatus::setCopyDone(std::uint64_t v) {
    writeBe64(&bytes_[kCopyDone], v);
}
std::uint64_t DeviceStatus::copyTotal() const {
    return readBe64(&bytes_[kCopyTotal]);
}
void DeviceStatus::setCopyTotal(std::uint64_t v) {
    writeBe64(&bytes_[kCopyTotal], v);
}
std::uint32_t DeviceStatus::speedTime() const {
    return readBe32(&bytes_[kSpeedTime]);
}
void DeviceStatus::setSpeedTime(std::uint32_t v) {
    writeBe32(&bytes_[kSpeedTime], v);
}
std::uint32_t DeviceStatus::speedSectors() const {
    return readBe32(&bytes_[kSpeedSectors]);
}
void DeviceStatus::setSpeedSectors(std::uint32_t v) {
    writeBe32(&bytes_[kSpeedSectors], v);
}

std::uint32_t DeviceStatus::number(std::size_t offset) const {
    return offset + 4 <= kSize ? readBe32(&bytes_[offset]) : 0;
}
void DeviceStatus::setNumber(std::size_t offset, std::uint32_t v) {
    if (offset + 4 <= kSize) writeBe32(&bytes_[offset], v);
}

DeviceInfo::DeviceInfo(const std::uint8_t* wire, std::size_t length) {
    if (wire) std::memcpy(bytes_.data(), wire, std::min(length, kSize));
}

std::uint64_t DeviceInfo::number0() const {
    return readBe64(&bytes_[kNumber0]);
}
void DeviceInfo::setNumber0(std::uint64_t v) {
    writeBe64(&bytes_[kNumber0], v);
}
std::uint64_t DeviceInfo::sectorCount() const {
    return readBe64(&bytes_[kSectorCount]);
}
void DeviceInfo::setSectorCount(std::uint64_t v) {
    writeBe64(&bytes_[kSectorCount], v);
}
std::uint16_t DeviceInfo::sectorSize() const {
    return readBe16(&bytes_[kSectorSize]);
}
void DeviceInfo::setSectorSize(std::uint16_t v) {
    writeBe16(&bytes_[kSectorSize], v);
}

std::string DeviceInfo::model() const {
    return trimmedField(&bytes_[kModel], kModelSize);
}
std::string DeviceInfo::version() const {
    return trimmedField(&bytes_[kVersion], kVersionSize);
}
std::string DeviceInfo::serialNo() const {
    return trimmedField(&bytes_[kSerialNo], kSerialNoSize);
}
void DeviceInfo::setModel(const std::string& s) {
    setPadded(kModel, kModelSize, s);
}
void DeviceInfo::setVersion(const std::string& s) {
    setPadded(kVersion, kVersionSize, s);
}
void DeviceInfo::setSerialNo(const std::string& s) {
    setPadded(kSerialNo, kSerialNoSize, s);
}

void DeviceInfo::setPadded(std::size_t offset, std::size_t width, const std::string& s) {
    std::uint8_t* p = &bytes_[offset];
    std::memset(p, ' ', width);
    std::memcpy(p, s.data(), std::min(width, s.size()));
}

}  // namespace mx40d
