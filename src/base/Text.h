#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// 8-bit text helpers shared by every layer.
namespace mx40d {

// printf-style formatting into a std::string (no length limit).
std::string cformat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// A fixed-width, blank-padded field copied into a buffer one byte longer, terminated and
// stripped of blanks at both ends (the way every drive text is shown). Reads at most
// `width` bytes and stops at the first NUL.
std::string trimmedField(const std::uint8_t* field, std::size_t width);
// The same as a view into the field (valid while the field is).
std::string_view trimmedFieldView(const std::uint8_t* field, std::size_t width);

// A NUL-terminated text of at most `width` bytes (stops at the first NUL or at `width`).
std::string fixedText(const std::uint8_t* field, std::size_t width);

// Copies `text` into a fixed field of `width` bytes: at most width - 1 characters and a
// terminating NUL, the rest zero-filled.
void storeText(std::uint8_t* field, std::size_t width, const std::string& text);

// 8-bit text (each byte a Latin-1 character) as XML character data in UTF-8: &, <, > and CR
// escaped, bytes XML 1.0 cannot carry replaced by U+FFFD, so any drive text keeps a document
// well-formed.
void appendXmlText(std::string& out, std::string_view text);
std::string xmlText(std::string_view text);

// printf formatting always runs in the "C" locale: every number written into a name, a report,
// an export or a file reads the same whatever locale the process runs in.

// A machine's identification text made safe to name a file inside a given folder. Only what
// is unsafe is escaped as "%XX" with its hexadecimal value: '/' and '\\', NUL and every other
// control byte, '%' itself, and the characters Windows forbids in names (: * ? " < > |); the
// names "", "." and ".." get a leading escape. Distinct texts keep distinct names, and an ID
// such as "MX40D 0012" or "Bay (2) #1" keeps its exact name.
std::string fileNameSafe(const std::string& text);
// The broader escaping of earlier versions (everything but letters, digits, '-', '_' and
// '.'), to find files they named.
std::string legacyFileNameSafe(const std::string& text);

}  // namespace mx40d
