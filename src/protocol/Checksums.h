#pragma once

#include <cstddef>
#include <cstdint>

namespace mx40d {

// Additive checksum of a command frame: the low 8 bits of the byte sum.
std::uint8_t additiveChecksum(const std::uint8_t* data, std::size_t size);

// CRC-16/XMODEM: polynomial 0x1021, start 0, not reflected, no final XOR.
std::uint16_t crc16(const std::uint8_t* data, std::size_t size);

// The machines' CRC-32: polynomial 0x04C11DB7 processed MSB first, start 0xA9EA3693,
// no final XOR.
constexpr std::uint32_t kCrc32Start = 0xA9EA3693u;
std::uint32_t crc32(const std::uint8_t* data, std::size_t size);
// Continues a CRC-32 over more bytes.
std::uint32_t crc32Update(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

}  // namespace mx40d
