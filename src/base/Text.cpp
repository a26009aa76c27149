#include "Text.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace mx40d {

namespace {

// The "C" locale for this thread while a text is formatted: a GUI toolkit sets the locale
// from the environment, and "%.1f" would then write a decimal comma into names, reports and
// exports.
class CLocaleScope {
  public:
    CLocaleScope() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        old_ = c != static_cast<locale_t>(nullptr) ? uselocale(c) : static_cast<locale_t>(nullptr);
    }
    ~CLocaleScope() {
        if (old_ != static_cast<locale_t>(nullptr)) uselocale(old_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t old_;
};

}  // namespace

std::string cformat(const char* fmt, ...) {
    const CLocaleScope cLocale;
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    char small[256];
    const int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    std::string out;
    if (n < 0) {
        va_end(ap2);
        return out;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(n));
    } else {
        std::vector<char> big(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), fmt, ap2);
        out.assign(big.data(), static_cast<std::size_t>(n));
    }
    va_end(ap2);
    return out;
}

void appendXmlText(std::string& out, std::string_view text) {
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\r':
                out += "&#13;";
                break;
            default:
                if (c < 0x20 && c != '\t' && c != '\n') {
                    out += "\xEF\xBF\xBD";
                } else if (c < 0x80) {
                    out += ch;
                } else {
                    out += static_cast<char>(0xC0 | (c >> 6));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
        }
    }
}

std::string xmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendXmlText(out, text);
    return out;
}

std::string fixedText(const std::uint8_t* field, std::size_t width) {
    const void* nul = std::memchr(field, 0, width);
    const std::size_t len =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - field) : width;
    return std::string(reinterpret_cast<const char*>(field), len);
}

std::string_view trimmedFieldView(const std::uint8_t* field, std::size_t width) {
    const void* nul = std::memchr(field, 0, width);
    const std::size_t len =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - field) : width;
    const std::string_view s(reinterpret_cast<const char*>(field), len);
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

std::string trimmedField(const std::uint8_t* field, std::size_t width) {
    return std::string(trimmedFieldView(field, width));
}

void storeText(std::uint8_t* field, std::size_t width, const std::string& text) {
    if (width == 0) return;
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

std::string fileNameSafe(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        // Only what a file name cannot hold on the platforms the monitor runs on: separators,
        // control bytes, the characters Windows forbids, and '%' itself (so that no two
        // identifications share a name).
        const bool unsafe = c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '%' ||
                            c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
                            c == '|';
        if (unsafe)
            out += cformat("%%%02X", c);
        else
            out += ch;
    }
    if (out.empty() || out == "." || out == "..") {
        // "", "." and ".." would name the folder itself or its parent.
        out = "%" + std::string(out.empty() ? "00" : "2E") + out.substr(out.empty() ? 0 : 1);
    }
    return out;
}

std::string legacyFileNameSafe(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool ordinary = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (ordinary)
            out += ch;
        else
            out += cformat("%%%02X", c);
    }
    if (out.find_first_not_of('.') == std::string::npos)
        out = "%" + std::string(out.size() == 0 ? "00" : "2E") + out.substr(out.empty() ? 0 : 1);
    return out;
}

}  // namespace mx40d
