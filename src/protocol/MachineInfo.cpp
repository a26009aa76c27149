#include "protocol/MachineInfo.h"

#include "base/ByteOrder.h"
#include "base/Text.h"

namespace mx40d {

std::int32_t MachineInfo::i32(std::size_t offset) const {
    return static_cast<std::int32_t>(readLe32(bytes_.data() + offset));
}

void MachineInfo::setI32(std::size_t offset, std::int32_t v) {
    writeLe32(bytes_.data() + offset, static_cast<std::uint32_t>(v));
}

std::string MachineInfo::text(std::size_t offset, std::size_t size) const {
    return fixedText(bytes_.data() + offset, size);
}

void MachineInfo::setText(std::size_t offset, std::size_t size, const std::string& s) {
    storeText(bytes_.data() + offset, size, s);
}

}  // namespace mx40d
