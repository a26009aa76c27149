#include "reports/LogRecord.h"

#include <algorithm>
#include <span>
#include <tuple>

#include "base/ByteOrder.h"
#include "base/Text.h"

namespace mx40d {

using D = LogRecord::Duplicator;
using E = LogRecord::Eraser;

LogRecord::LogRecord(std::uint8_t deviceType) : kind_(deviceType) {}

LogRecord::LogRecord(std::uint8_t deviceType, const std::uint8_t* data, std::size_t length)
    : kind_(deviceType) {
    if (data != nullptr) std::copy_n(data, std::min(length, kLogRecordSize), bytes_.begin());
}

void LogRecord::setPadded(std::size_t offset, std::size_t width, const std::string& s) {
    std::fill_n(bytes_.begin() + offset, width, std::uint8_t{' '});
    std::copy_n(s.begin(), std::min(s.size(), width), bytes_.begin() + offset);
}

void LogRecord::setTerminated(std::size_t offset, std::size_t width, const std::string& s) {
    storeText(bytes_.data() + offset, width, s);
}

std::uint32_t LogRecord::indexNo() const {
    return readBe32(&bytes_[kIndexNo]);
}
void LogRecord::setIndexNo(std::uint32_t v) {
    writeBe32(&bytes_[kIndexNo], v);
}
std::uint16_t LogRecord::portNo() const {
    return readBe16(&bytes_[kPortNo]);
}
void LogRecord::setPortNo(std::uint16_t v) {
    writeBe16(&bytes_[kPortNo], v);
}
std::uint16_t LogRecord::sectorSize() const {
    return readBe16(&bytes_[kSectorSize]);
}
void LogRecord::setSectorSize(std::uint16_t v) {
    writeBe16(&bytes_[kSectorSize], v);
}
std::string LogRecord::model() const {
    return trimmedField(&bytes_[kModel], kModelSize);
}
std::string LogRecord::version() const {
    return trimmedField(&bytes_[kVersion], kVersionSize);
}
std::string LogRecord::serialNo() const {
    return trimmedField(&bytes_[kSerialNo], kSerialNoSize);
}
std::string_view LogRecord::modelView() const {
    return trimmedFieldView(&bytes_[kModel], kModelSize);
}
std::string_view LogRecord::versionView() const {
    return trimmedFieldView(&bytes_[kVersion], kVersionSize);
}
std::string_view LogRecord::serialNoView() const {
    return trimmedFieldView(&bytes_[kSerialNo], kSerialNoSize);
}
void LogRecord::setModel(const std::string& s) {
    setPadded(kModel, kModelSize, s);
}
void LogRecord::setVersion(const std::string& s) {
    setPadded(kVersion, kVersionSize, s);
}
void LogRecord::setSerialNo(const std::string& s) {
    setPadded(kSerialNo, kSerialNoSize, s);
}
std::uint64_t LogRecord::capacity() const {
    return readBe64(&bytes_[kCapacity]);
}
void LogRecord::setCapacity(std::uint64_t v) {
    writeBe64(&bytes_[kCapacity], v);
}

LogDate LogRecord::date() const {
    const std::uint8_t* p = &bytes_[at(D::kDate, E::kDate)];
    return LogDate{p[0], p[1], p[2], p[3], p[4], p[5]};
}
void LogRecord::setDate(const LogDate& d) {
    std::uint8_t* p = &bytes_[at(D::kDate, E::kDate)];
    p[0] = d.year;
    p[1] = d.month;
    p[2] = d.day;
    p[3] = d.hour;
    p[4] = d.minute;
    p[5] = d.second;
}
std::uint8_t LogRecord::jobGroupNo() const {
    return bytes_[at(D::kJobGroupNo, E::kJobGroupNo)];
}
void LogRecord::setJobGroupNo(std::uint8_t v) {
    bytes_[at(D::kJobGroupNo, E::kJobGroupNo)] = v;
}
std::uint8_t LogRecord::jobCode() const {
    return bytes_[at(D::kJobCode, E::kJobCode)];
}
void LogRecord::setJobCode(std::uint8_t v) {
    bytes_[at(D::kJobCode, E::kJobCode)] = v;
}
std::uint8_t LogRecord::result() const {
    return bytes_[at(D::kResult, E::kResult)];
}
void LogRecord::setResult(std::uint8_t v) {
    bytes_[at(D::kResult, E::kResult)] = v;
}
std::string LogRecord::customJobName() const {
    return fixedText(&bytes_[at(D::kCustomJobName, E::kCustomJobName)], kCustomJobNameSize);
}
void LogRecord::setCustomJobName(const std::string& s) {
    // The machine fills the whole field; a name of 32 characters has no terminator.
    std::size_t offset = at(D::kCustomJobName, E::kCustomJobName);
    std::fill_n(bytes_.begin() + offset, kCustomJobNameSize, std::uint8_t{0});
    std::copy_n(s.begin(), std::min(s.size(), kCustomJobNameSize), bytes_.begin() + offset);
}
std::uint32_t LogRecord::spendMiniSecond() const {
    return readBe32(&bytes_[at(D::kSpendMiniSecond, E::kSpendMiniSecond)]);
}
void LogRecord::setSpendMiniSecond(std::uint32_t v) {
    writeBe32(&bytes_[at(D::kSpendMiniSecond, E::kSpendMiniSecond)], v);
}

std::uint64_t LogRecord::jobCapacity() const {
    return readBe64(&bytes_[D::kJobCapacity]);
}
void LogRecord::setJobCapacity(std::uint64_t v) {
    writeBe64(&bytes_[D::kJobCapacity], v);
}
std::uint64_t LogRecord::dataSize() const {
    return readBe64(&bytes_[D::kDataSize]);
}
void LogRecord::setDataSize(std::uint64_t v) {
    writeBe64(&bytes_[D::kDataSize], v);
}
std::uint32_t LogRecord::readSpeed() const {
    return readBe32(&bytes_[D::kReadSpeed]);
}
void LogRecord::setReadSpeed(std::uint32_t v) {
    writeBe32(&bytes_[D::kReadSpeed], v);
}
std::uint32_t LogRecord::writeSpeed() const {
    return readBe32(&bytes_[D::kWriteSpeed]);
}
void LogRecord::setWriteSpeed(std::uint32_t v) {
    writeBe32(&bytes_[D::kWriteSpeed], v);
}
std::uint32_t LogRecord::crc64Low() const {
    return readBe32(&bytes_[D::kCrc64Low]);
}
void LogRecord::setCrc64Low(std::uint32_t v) {
    writeBe32(&bytes_[D::kCrc64Low], v);
}
std::uint32_t LogRecord::crc64High() const {
    return readBe32(&bytes_[D::kCrc64High]);
}
void LogRecord::setCrc64High(std::uint32_t v) {
    writeBe32(&bytes_[D::kCrc64High], v);
}
std::uint32_t LogRecord::power_cycle() const {
    return readBe32(&bytes_[D::kPowerCycle]);
}
void LogRecord::set_power_cycle(std::uint32_t v) {
    writeBe32(&bytes_[D::kPowerCycle], v);
}
std::uint32_t LogRecord::power_on_hours() const {
    return readBe32(&bytes_[D::kPowerOnHours]);
}
void LogRecord::set_power_on_hours(std::uint32_t v) {
    writeBe32(&bytes_[D::kPowerOnHours], v);
}
std::uint8_t LogRecord::copyArea() const {
    return bytes_[D::kCopyArea];
}
void LogRecord::setCopyArea(std::uint8_t v) {
    bytes_[D::kCopyArea] = v;
}
std::uint8_t LogRecord::percentFrom() const {
    return bytes_[D::kPercentFrom];
}
void LogRecord::setPercentFrom(std::uint8_t v) {
    bytes_[D::kPercentFrom] = v;
}
std::uint8_t LogRecord::percentTo() const {
    return bytes_[D::kPercentTo];
}
void LogRecord::setPercentTo(std::uint8_t v) {
    bytes_[D::kPercentTo] = v;
}

std::uint32_t LogRecord::badSectorQty() const {
    return readBe32(&bytes_[E::kBadSectorQty]);
}
void LogRecord::setBadSectorQty(std::uint32_t v) {
    writeBe32(&bytes_[E::kBadSectorQty], v);
}
std::uint64_t LogRecord::firstBadSectorAddr() const {
    return readBe64(&bytes_[E::kFirstBadSectorAddr]);
}
void LogRecord::setFirstBadSectorAddr(std::uint64_t v) {
    writeBe64(&bytes_[E::kFirstBadSectorAddr], v);
}
std::uint16_t LogRecord::idNumber(int n) const {
    if (n < 1 || n > 4) return 0;
    return readLe16(&bytes_[E::kIdNumbers + 2 * static_cast<std::size_t>(n - 1)]);
}
void LogRecord::setIdNumber(int n, std::uint16_t v) {
    if (n < 1 || n > 4) return;
    writeLe16(&bytes_[E::kIdNumbers + 2 * static_cast<std::size_t>(n - 1)], v);
}
std::string LogRecord::machineIdText() const {
    return fixedText(&bytes_[E::kMachineIdText], E::kMachineIdTextSize);
}
void LogRecord::setMachineIdText(const std::string& s) {
    setTerminated(E::kMachineIdText, E::kMachineIdTextSize, s);
}

void convert_LogRecord(std::uint8_t* record, std::uint8_t deviceType) {
    static constexpr std::size_t kDup64[] = {116, 124, 132, 160};
    static constexpr std::size_t kDup32[] = {0, 140, 168, 172, 176, 180, 220, 224, 228, 232, 236};
    static constexpr std::size_t kEra64[] = {116, 124, 132, 180};
    static constexpr std::size_t kEra32[] = {0, 32, 40, 140, 144, 188, 192};
    static constexpr std::size_t k16[] = {28, 44, 46};
    const bool dup = deviceType == kDuplicatorKind;
    for (std::size_t off : dup ? std::span<const std::size_t>(kDup64) : std::span(kEra64))
        reverse8(record + off);
    for (std::size_t off : dup ? std::span<const std::size_t>(kDup32) : std::span(kEra32))
        reverse4(record + off);
    for (std::size_t off : k16)
        reverse2(record + off);
}

bool is_LogRecord_inDateRange(const std::uint8_t* record, std::uint8_t deviceType,
                              const CalendarDate& start, const CalendarDate& end) {
    const std::uint8_t* p = record + (deviceType == kDuplicatorKind ? D::kDate : E::kDate);
    auto day = std::make_tuple(2000 + p[0], int{p[1]}, int{p[2]});
    return day >= std::make_tuple(start.year, start.month, start.day) &&
           day <= std::make_tuple(end.year, end.month, end.day);
}

bool is_LogRecord_inDateRange(const LogRecord& record, const CalendarDate& start,
                              const CalendarDate& end) {
    return is_LogRecord_inDateRange(record.data(), record.deviceType(), start, end);
}

}  // namespace mx40d
