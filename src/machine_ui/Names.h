#pragma once

#include <cstdint>
#include <string>

// The vocabulary for job codes, port states, capacities and speeds, used by the panel and
// by every report.
namespace mx40d {

// Set once at start-up from the OEM code: true when it is "00700", which names the erase
// jobs 5..9 as overwrites.
void setOemCode(const std::string& oemCode);
bool overwriteNaming();
// The names of job codes 5..9 in force.
const char* const* eraseJobNames();

std::string jobName(std::int32_t jobCode);
std::string portStateName(std::uint8_t state);
std::string sizeText(std::uint64_t sectorCount, std::uint16_t sectorSize);
std::string speedText(std::uint32_t measuringTime, std::uint32_t sectorCount,
                      std::uint16_t sectorSize);

}  // namespace mx40d
