#pragma once

#include <cstdint>
#include <string>

#include "base/Clock.h"

// The three frame layouts of the link and how an answer is checked.
//
// Command frame (host to machine): 40h, length n + 2 (BE16), command code, n payload bytes,
// additive checksum. Answer frame (machine to host): '#', L = total - 3 (BE16), status byte,
// payload, check value (CRC16, CRC32 or none, chosen by the command answered). Data block
// (host to machine, after an accepted announcing command): '#', total size m + 4 (BE16), 00h,
// m data bytes.
namespace mx40d {

constexpr std::uint8_t kCommandStart = 0x40;
constexpr std::uint8_t kAnswerStart = '#';
constexpr int kMaxCommandPayload = 64;
constexpr int kMaxCommandFrame = kMaxCommandPayload + 5;

// Writes the command frame into `out` (room for n + 5 bytes) and returns its total size, or
// 0 when n is outside 0..kMaxCommandPayload.
int buildCommandFrame(std::uint8_t code, const std::uint8_t* payload, int n, std::uint8_t* out);

// Writes a data block into `out` (room for m + 4 bytes) and returns its total size, or 0 when
// the total does not fit the 16-bit size field.
int buildDataBlock(const std::uint8_t* data, int m, std::uint8_t* out);

enum class CheckKind { None, Crc16, Crc32 };
// The check value that ends the answer to a command, by the command code sent.
CheckKind checkKindFor(std::uint8_t commandCode);
int checkValueSize(CheckKind kind);

enum class AnswerVerdict { TooShort, Valid, WrongHeader, WrongLength, WrongCrc16, WrongCrc32 };
struct AnswerCheck {
    AnswerVerdict verdict = AnswerVerdict::TooShort;
    std::uint32_t computed = 0;  // the CRC computed over the answer (CRC verdicts)
    std::uint32_t received = 0;  // the check value the answer carries (CRC verdicts)
};
// Checks an answer of `size` bytes to the command `commandCode`, in the machine's order:
// fewer than 4 bytes, the '#', L + 3 (16 bits) against the size, then the check value.
AnswerCheck checkAnswer(std::uint8_t commandCode, const std::uint8_t* answer, int size);

// The error texts of a failed answer. Each starts with the local date and time as
// "%s %s %02d %02d:%02d:%02d %4d\n" (weekday, month, day, time, year).
std::string errorTimePrefix(const LocalTime& t);
std::string timeOutText(const LocalTime& t, const std::uint8_t* cmd, int cmdSize, int gotBytes);
std::string wrongHeaderText(const LocalTime& t, const std::uint8_t* answer);
std::string wrongLengthText(const LocalTime& t, const std::uint8_t* answer, int size);
std::string wrongCrc16Text(const LocalTime& t, const std::uint8_t* cmd, int size,
                           std::uint32_t computed);
std::string wrongCrc32Text(const LocalTime& t, const std::uint8_t* cmd, int size,
                           std::uint32_t received, std::uint32_t computed);

}  // namespace mx40d
