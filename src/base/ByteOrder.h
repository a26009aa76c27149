#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Byte-order helpers for the fixed layouts of the wire, the log records and the registry.
namespace mx40d {

inline std::uint16_t readBe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t readBe32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}
inline std::uint64_t readBe64(const std::uint8_t* p) {
    return (std::uint64_t{readBe32(p)} << 32) | readBe32(p + 4);
}
inline std::uint16_t readLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
inline std::uint64_t readLe64(const std::uint8_t* p) {
    return std::uint64_t{readLe32(p)} | (std::uint64_t{readLe32(p + 4)} << 32);
}

inline void writeBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void writeBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}
inline void writeBe64(std::uint8_t* p, std::uint64_t v) {
    writeBe32(p, static_cast<std::uint32_t>(v >> 32));
    writeBe32(p + 4, static_cast<std::uint32_t>(v));
}
inline void writeLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void writeLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void writeLe64(std::uint8_t* p, std::uint64_t v) {
    writeLe32(p, static_cast<std::uint32_t>(v));
    writeLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// Reverses 2, 4 or 8 bytes in place (the machine's numbers are big-endian).
inline void reverseBytes(std::uint8_t* p, std::size_t n) {
    std::reverse(p, p + n);
}
inline void reverse2(std::uint8_t* p) {
    reverseBytes(p, 2);
}
inline void reverse4(std::uint8_t* p) {
    reverseBytes(p, 4);
}
inline void reverse8(std::uint8_t* p) {
    reverseBytes(p, 8);
}

}  // namespace mx40d
