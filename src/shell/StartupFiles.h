#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "base/Clock.h"

// What the main window reads and writes itself, without the window: the branding trailer of
// its own program file, the window geometry file, the application log and the fixed texts.
namespace mx40d::shell {

inline constexpr const char* kDefaultModel = "MX40D";
inline constexpr const char* kProgramVersion = "1.03.5";
inline constexpr const char* kBuildDate = "2015-10-26";
inline constexpr const char* kDefaultOemCode = "00001";
inline constexpr const char* kOverwriteOemCode = "00700";
inline constexpr const char* kDatabaseFolder = "DATABASE";
inline constexpr const char* kDebugFolder = "DEBUG_SESSION";
inline constexpr const char* kAppLogPrefix = "Orvane-HostBay-MX40D";
inline constexpr const char* kGeometryFile = "orvane_linker.MX4D";
inline constexpr const char* kDefaultCompany = "Orvane Storage Systems";
inline constexpr const char* kDefaultWeb = "https://www.orvane.example";
// Notice text of the geometry file's first line.
inline constexpr const char* kGeometryNotice = "window geometry of the MX40D monitor";

// ---- Branding trailer ----------------------------------------------------------------------
// Text appended to the program file: the marker line, then company, web address, OEM code
// and model word, each ended by a line feed, all within the file's last 512 bytes.
inline constexpr const char* kTrailerMarker = "@Orvane OEM Branding(ID:47190358)@";
inline constexpr std::size_t kTrailerMarkerSize = 34;
inline constexpr std::size_t kTrailerWindow = 512;
inline constexpr std::size_t kTrailerLineMax = 255;

struct Branding {
    bool fromTrailer = false;
    std::string company = kDefaultCompany;
    std::string web = kDefaultWeb;
    std::string oemCode = kDefaultOemCode;
    std::string model = kDefaultModel;
    // True when the OEM code selects the overwrite naming of the erase jobs.
    bool overwriteNaming() const { return oemCode == kOverwriteOemCode; }
};

// Looks for the trailer in the last 512 bytes of `bytes` (the program file's end): the first
// marker wins; missing lines leave their texts empty, a CR before a line's LF is dropped, a
// line keeps at most 255 characters. No marker gives the built-in defaults.
Branding parseBranding(const std::string& tail);
// Reads the program file's last 512 bytes; an unreadable file gives the defaults.
Branding readBranding(const std::filesystem::path& programFile);
// The trailer for the given texts, or empty when it would not fit the last 512 bytes or a
// text holds a line feed.
std::string makeTrailer(const std::string& company, const std::string& web,
                        const std::string& oemCode, const std::string& model);

// ---- Window geometry file ------------------------------------------------------------------
struct Geometry {
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Geometry&) const = default;
};
// Line 2 of the file when it holds four numbers; nothing otherwise (missing, unreadable or
// damaged files included).
std::optional<Geometry> readGeometryFile(const std::filesystem::path& path);
// "%s Ver:%s %s %s\n" and "%d %d %d %d \n"; false when the file cannot be written.
bool writeGeometryFile(const std::filesystem::path& path, const std::string& model,
                       const Geometry& g);
// 600 x 350, reduced to the screen, centred on it.
Geometry defaultGeometry(int screenWidth, int screenHeight);

// ---- Texts ---------------------------------------------------------------------------------
// "MX40D v1.03.5 2015-10-26"
std::string windowCaption(const std::string& model);
// "Orvane-HostBay-MX40D-YYYYMMDD.TXT"
std::string appLogName(const LocalTime& t);
// "OPEN Orvane LOG FILE at YYYY-MM-DD hh:mm:ss (0)\n\n"
std::string appLogOpenLine(const LocalTime& t);

}  // namespace mx40d::shell
