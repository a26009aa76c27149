#include "reports/ProtectedText.h"

#include <cstring>

#include "protocol/Checksums.h"

namespace mx40d {

namespace protectedtext {
const char kMarker[kMarkerSize + 1] = "\b \b\b  ";
const char kNotice[kNoticeSize + 1] =
    "\r\nThe content was protected by Shadowglyphix Technology ! Please check it by "
    "MX40V.exe\r\n";
static_assert(sizeof(kNotice) == kNoticeSize + 1);
}  // namespace protectedtext

using namespace protectedtext;

std::string convert_To_Text(std::uint32_t v) {
    std::string out(32, ' ');
    for (int i = 0; i < 32; ++i)
        if (v & (1u << i)) out[static_cast<std::size_t>(i)] = '\b';
    return out;
}

std::uint32_t convert_Text_to_Value(const char* text) {
    std::uint32_t v = 0;
    for (int i = 0; i < 32; ++i)
        if (text[i] == '\b') v |= 1u << i;
    return v;
}

std::uint32_t protectedTextChecksum(const std::uint8_t* text, std::size_t length) {
    const std::size_t whole = length / 4 * 4;
    std::uint32_t crc = crc32(text, whole);
    if (whole == length) return crc;
    std::uint8_t tail[4] = {0, 0, 0, 0};
    std::memcpy(tail, text + whole, length - whole);
    return crc32Update(crc, tail, 4);
}

std::size_t add_watermark_at_end(std::uint8_t* buffer, std::size_t length) {
    std::memset(buffer + length, 0, 16);
    const std::size_t padded = length % 4 == 0 ? length : (length / 4 + 1) * 4;
    const std::uint32_t crc = crc32(buffer, padded);  // the text and up to three zeros
    std::string mark = std::string(kMarker, kMarkerSize) + convert_To_Text(crc) +
                       convert_To_Text(static_cast<std::uint32_t>(length)) +
                       std::string(kNotice, kNoticeSize);
    std::memcpy(buffer + length, mark.data(), mark.size());
    buffer[length + mark.size()] = 0;
    return length + kWatermarkSize;
}

void appendWatermark(std::string& text) {
    const std::size_t length = text.size();
    text.resize(length + kRoomAfterText);
    text.resize(add_watermark_at_end(reinterpret_cast<std::uint8_t*>(text.data()), length));
}

std::string protectText(std::string_view text) {
    std::string out(text.size() + kRoomAfterText, '\0');
    if (!text.empty()) std::memcpy(out.data(), text.data(), text.size());
    out.resize(add_watermark_at_end(reinterpret_cast<std::uint8_t*>(out.data()), text.size()));
    return out;
}

ProtectedTextCheck checkProtectedText(std::string_view file) {
    auto idCode = [](std::string_view s) {
        return s.find_first_not_of(" \b") == std::string_view::npos;
    };
    if (file.size() >= kWatermarkSize) {
        const std::size_t length = file.size() - kWatermarkSize;
        std::string_view mark = file.substr(length);
        if (mark.substr(0, kMarkerSize) == kMarker &&
            idCode(mark.substr(kMarkerSize, kIdCodeSize)) &&
            mark.substr(kMarkerSize + kIdCodeSize) == std::string_view(kNotice, kNoticeSize)) {
            const std::uint32_t crc = convert_Text_to_Value(mark.data() + kMarkerSize);
            const std::uint32_t storedLength =
                convert_Text_to_Value(mark.data() + kMarkerSize + 32);
            const bool same =
                storedLength == static_cast<std::uint32_t>(length) &&
                crc == protectedTextChecksum(reinterpret_cast<const std::uint8_t*>(file.data()),
                                             length);
            return same ? ProtectedTextCheck::Intact : ProtectedTextCheck::Changed;
        }
    }
    // A cut watermark: the file ends part-way through one.
    auto watermarkPrefix = [&](std::string_view tail) {
        for (std::size_t i = 0; i < tail.size(); ++i) {
            const char c = tail[i];
            if (i < kMarkerSize ? c != kMarker[i]
                : i < kMarkerSize + kIdCodeSize
                    ? c != ' ' && c != '\b'
                    : i >= kWatermarkSize || c != kNotice[i - kMarkerSize - kIdCodeSize])
                return false;
        }
        return !tail.empty();
    };
    for (std::size_t p = file.size() > kWatermarkSize ? file.size() - kWatermarkSize : 0;
         p < file.size(); ++p)
        if (file[p] == kMarker[0] && watermarkPrefix(file.substr(p)))
            return ProtectedTextCheck::Changed;
    // A damaged watermark still shows: its notice, or its marker and ID code.
    if (file.find("protected by Shadowglyphix Technology") != std::string_view::npos)
        return ProtectedTextCheck::Changed;
    for (std::size_t at = file.find(kMarker); at != std::string_view::npos;
         at = file.find(kMarker, at + 1)) {
        if (idCode(file.substr(at + kMarkerSize, 32)) && file.size() >= at + kMarkerSize + 32)
            return ProtectedTextCheck::Changed;
    }
    return ProtectedTextCheck::NotProtected;
}

}  // namespace mx40d
