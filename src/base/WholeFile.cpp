#include "base/WholeFile.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace mx40d {

bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::path tmp = path;
    tmp += "." + std::to_string(::getpid()) + ".part";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ::fsync(::fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(tmp, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

}  // namespace mx40d
