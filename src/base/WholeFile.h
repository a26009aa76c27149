#pragma once

#include <filesystem>
#include <string_view>

namespace mx40d {

// Writes a file whole or not at all: the bytes go to a temporary file in the same folder,
// which is flushed to disk and then renamed over `path`. A reader sees the old file or the
// new one, never half of one. False (and no temporary left) when any step fails.
bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace mx40d
