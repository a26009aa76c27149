#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A protected text is a report followed by a 158-byte watermark: a start marker, the
// checksum and the length of the text written as blanks and backspaces, and a visible
// notice. A checker recomputes both and tells whether the text was changed. The marker
// starts with a backspace, so even a watermark cut after its first byte is recognised.
namespace mx40d {

namespace protectedtext {
inline constexpr std::size_t kMarkerSize = 6;
inline constexpr std::size_t kIdCodeSize = 64;
inline constexpr std::size_t kNoticeSize = 88;
inline constexpr std::size_t kWatermarkSize = kMarkerSize + kIdCodeSize + kNoticeSize;
// Room a caller's buffer needs after the text.
inline constexpr std::size_t kRoomAfterText = 16 + kWatermarkSize;
extern const char kMarker[kMarkerSize + 1];
extern const char kNotice[kNoticeSize + 1];
}  // namespace protectedtext

// Bit i of v as character i: backspace for 1, blank for 0 (least significant bit first).
std::string convert_To_Text(std::uint32_t v);
// The inverse over 32 characters: bit i is set exactly when character i is a backspace.
std::uint32_t convert_Text_to_Value(const char* text);

// The checksum of a text of `length` bytes: CRC-32 over the text padded with zeros to a
// multiple of four bytes.
std::uint32_t protectedTextChecksum(const std::uint8_t* text, std::size_t length);

// Writes the watermark after the text held in the first `length` bytes of `buffer`, which has
// at least kRoomAfterText bytes of room after it, followed by a terminating zero. Returns the
// number of bytes to write, length + 158.
std::size_t add_watermark_at_end(std::uint8_t* buffer, std::size_t length);

// The text with its watermark.
std::string protectText(std::string_view text);
// Adds the watermark to the end of `text` in place (no copy of the text).
void appendWatermark(std::string& text);

enum class ProtectedTextCheck {
    Intact,        // the checksum and the length agree with the text
    Changed,       // a watermark is there but the text, its length or the mark was altered
    NotProtected,  // no watermark at all
};
ProtectedTextCheck checkProtectedText(std::string_view file);

}  // namespace mx40d
