#include "base/MachineFiles.h"

#include "base/Text.h"

namespace mx40d::machinefiles {

namespace {
std::filesystem::path named(const std::filesystem::path& dir, const std::string& machineId,
                            const std::string& suffix) {
    return dir / (fileNameSafe(machineId) + suffix);
}
}  // namespace

std::filesystem::path logDatabase(const std::filesystem::path& dir, const std::string& machineId) {
    return named(dir, machineId, kLogDatabaseSuffix);
}

std::filesystem::path debugFile(const std::filesystem::path& dir, const std::string& machineId,
                                const LocalTime& t) {
    return named(dir, machineId, cformat("(%04d%02d).txt", t.year % 10000, t.month % 100));
}

std::filesystem::path machineWindowLayout(const std::filesystem::path& dir,
                                          const std::string& machineId) {
    return named(dir, machineId, ".mx4d.par");
}

std::filesystem::path panelLayout(const std::filesystem::path& dir, const std::string& machineId) {
    return named(dir, machineId, ".mx4d-2.par");
}

std::filesystem::path logWindowSettings(const std::filesystem::path& dir,
                                        const std::string& machineId) {
    return named(dir, machineId, ".mx4D.log.par");
}

bool adoptEarlierName(const std::filesystem::path& dir, const std::string& machineId,
                      const std::string& suffix) {
    const std::filesystem::path now = named(dir, machineId, suffix);
    const std::filesystem::path before = dir / (legacyFileNameSafe(machineId) + suffix);
    if (now == before) return false;
    std::error_code ec;
    if (std::filesystem::exists(now, ec) || !std::filesystem::is_regular_file(before, ec))
        return false;
    std::filesystem::rename(before, now, ec);
    return !ec;
}

}  // namespace mx40d::machinefiles
