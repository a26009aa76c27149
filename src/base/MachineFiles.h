#pragma once

#include <filesystem>
#include <string>

#include "base/Clock.h"

// The names of a machine's files, made from its identification by one rule (fileNameSafe),
// so the monitor, its windows and the report tool always find the same file.
namespace mx40d::machinefiles {

inline constexpr const char* kLogDatabaseSuffix = ".MX40D.LOGDATA";

// "<dir>/<id>.MX40D.LOGDATA"
std::filesystem::path logDatabase(const std::filesystem::path& dir, const std::string& machineId);
// "<dir>/<id>(YYYYMM).txt"
std::filesystem::path debugFile(const std::filesystem::path& dir, const std::string& machineId,
                                const LocalTime& t);
// The machine window's geometry "<dir>/<id>.mx4d.par", the machine panel's layout
// "<dir>/<id>.mx4d-2.par" and the log report window's "<dir>/<id>.mx4D.log.par".
std::filesystem::path machineWindowLayout(const std::filesystem::path& dir,
                                          const std::string& machineId);
std::filesystem::path panelLayout(const std::filesystem::path& dir, const std::string& machineId);
std::filesystem::path logWindowSettings(const std::filesystem::path& dir,
                                        const std::string& machineId);

// Earlier versions escaped more of an identification than a file name needs (a blank became
// "%20"). When the file of this version's name is missing but one of that older name exists
// in the same folder, it is renamed to this version's name, so no local log is orphaned.
// Returns true when a file was renamed.
bool adoptEarlierName(const std::filesystem::path& dir, const std::string& machineId,
                      const std::string& suffix);

}  // namespace mx40d::machinefiles
