#include "shell/StartupFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "base/Text.h"
#include "base/WholeFile.h"

namespace mx40d::shell {

Branding parseBranding(const std::string& tail) {
    Branding b;
    const std::string window =
        tail.size() > kTrailerWindow ? tail.substr(tail.size() - kTrailerWindow) : tail;
    const std::size_t at = window.find(kTrailerMarker);
    if (at == std::string::npos) return b;
    b.fromTrailer = true;
    std::string lines[5];
    std::size_t pos = at;
    for (std::string& line : lines) {
        if (pos >= window.size()) break;
        const std::size_t lf = window.find('\n', pos);
        const std::size_t end = lf == std::string::npos ? window.size() : lf;
        // The window was read into a zero-filled buffer: a text ends at its first NUL.
        line = window.substr(pos, end - pos);
        const std::size_t nul = line.find('\0');
        if (nul != std::string::npos) line.resize(nul);
        if (line.size() > kTrailerLineMax) line.resize(kTrailerLineMax);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = lf == std::string::npos ? window.size() : lf + 1;
    }
    b.company = lines[1];
    b.web = lines[2];
    b.oemCode = lines[3];
    b.model = lines[4];
    return b;
}

Branding readBranding(const std::filesystem::path& programFile) {
    std::ifstream in(programFile, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return {};
    const std::streamoff from = std::max<std::streamoff>(0, size - kTrailerWindow);
    in.seekg(from);
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    if (!in) return {};
    return parseBranding(tail);
}

std::string makeTrailer(const std::string& company, const std::string& web,
                        const std::string& oemCode, const std::string& model) {
    std::string t = std::string(kTrailerMarker) + "\n";
    for (const std::string* s : {&company, &web, &oemCode, &model}) {
        if (s->find('\n') != std::string::npos || s->find('\0') != std::string::npos ||
            s->size() > kTrailerLineMax)
            return {};
        t += *s + "\n";
    }
    return t.size() <= kTrailerWindow ? t : std::string();
}

std::optional<Geometry> readGeometryFile(const std::filesystem::path& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return std::nullopt;
    char line[1025];
    std::optional<Geometry> g;
    if (std::fgets(line, sizeof line, f) != nullptr &&
        std::fgets(line, sizeof line, f) != nullptr) {
        // Four numbers as "%d %d %d %d" reads them, but only values a window can have: a
        // hostile file never reaches the window system with sizes of billions.
        long v[4] = {};
        const char* p = line;
        int got = 0;
        for (; got < 4; ++got) {
            char* end = nullptr;
            errno = 0;
            v[got] = std::strtol(p, &end, 10);
            if (end == p || errno == ERANGE) break;
            p = end;
        }
        const bool plausible = got == 4 && v[0] > -100000 && v[0] < 100000 && v[1] > -100000 &&
                               v[1] < 100000 && v[2] > 0 && v[2] < 100000 && v[3] > 0 &&
                               v[3] < 100000;
        if (plausible)
            g = Geometry{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                         static_cast<int>(v[3])};
    }
    std::fclose(f);
    return g;
}

bool writeGeometryFile(const std::filesystem::path& path, const std::string& model,
                       const Geometry& g) {
    return writeWholeFile(path, cformat("%s Ver:%s %s %s\n", model.c_str(), kProgramVersion,
                                        kBuildDate, kGeometryNotice) +
                                    cformat("%d %d %d %d \n", g.top, g.left, g.width, g.height));
}

Geometry defaultGeometry(int screenWidth, int screenHeight) {
    Geometry g;
    g.width = std::min(600, screenWidth);
    g.height = std::min(350, screenHeight);
    g.left = (screenWidth - g.width) / 2;
    g.top = (screenHeight - g.height) / 2;
    return g;
}

std::string windowCaption(const std::string& model) {
    return cformat("%s v%s %s", model.c_str(), kProgramVersion, kBuildDate);
}

std::string appLogName(const LocalTime& t) {
    return cformat("%s-%04d%02d%02d.TXT", kAppLogPrefix, t.year, t.month, t.day);
}

std::string appLogOpenLine(const LocalTime& t) {
    // The number in parentheses would be the OEM code, which is not known yet when the line
    // is written: 0.
    return cformat("OPEN Orvane LOG FILE at %4d-%02d-%02d %02d:%02d:%02d (%d)\n\n", t.year, t.month,
                   t.day, t.hour, t.minute, t.second, 0);
}

}  // namespace mx40d::shell
