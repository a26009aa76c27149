#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Fast appenders for report texts: the printf conversions the reports use (%u, %0Nu, %Nu,
// %-Ns, %08X), written straight onto the end of a string.
namespace mx40d::appenders {

// v in decimal, right-aligned in at least `width` characters filled with `fill`.
inline void number(std::string& out, std::uint64_t v, int width = 0, char fill = '0') {
    char buf[24];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (int i = n; i < width; ++i)
        out += fill;
    while (n > 0)
        out += buf[--n];
}

// v in upper-case hexadecimal, zero-filled to `width` digits.
inline void hex(std::string& out, std::uint64_t v, int width) {
    static const char kDigits[] = "0123456789ABCDEF";
    char buf[16];
    int n = 0;
    do {
        buf[n++] = kDigits[v & 0xF];
        v >>= 4;
    } while (v != 0);
    for (int i = n; i < width; ++i)
        out += '0';
    while (n > 0)
        out += buf[--n];
}

// s left-aligned in at least `width` characters (%-Ns).
inline void left(std::string& out, std::string_view s, std::size_t width) {
    out += s;
    if (s.size() < width) out.append(width - s.size(), ' ');
}

}  // namespace mx40d::appenders
