#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Shared test fixtures: temporary folders, whole files, and outside programs.
namespace mx40d::testing {

// A fresh folder per test and process under the system's temporary folder, removed
// afterwards (with its permissions restored first); builds that run the same tests at once
// never share one.
class TempFolder {
  public:
    explicit TempFolder(const std::string& suffix = "") {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("mx40d-") + info->test_suite_name() + "-" + info->name() +
                           suffix + "-" + std::to_string(::getpid());
        std::replace(name.begin(), name.end(), '/', '_');
        root_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~TempFolder() {
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root_, ec))
            if (e.is_directory(ec))
                std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // A sub-folder, created.
    std::filesystem::path make(const std::string& sub) const {
        std::filesystem::create_directories(root_ / sub);
        return root_ / sub;
    }
    // Every regular file under the folder, relative to it, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root_))
            if (e.is_regular_file()) out.push_back(e.path().lexically_relative(root_).string());
        std::sort(out.begin(), out.end());
        return out;
    }

  private:
    std::filesystem::path root_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& b) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline void writeFile(const std::filesystem::path& p, const std::string& s) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(s.data(), static_cast<std::streamsize>(s.size()));
}

// Runs a shell command and returns its standard output; `ok` tells whether it exited 0.
inline std::string runCommand(const std::string& command, bool* ok = nullptr,
                              int* exitCode = nullptr) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) {
        if (ok) *ok = false;
        return out;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = pclose(p);
    if (ok) *ok = rc == 0;
    if (exitCode) *exitCode = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

inline bool haveTool(const char* name) {
    bool ok = false;
    runCommand(std::string("command -v ") + name + " >/dev/null 2>&1", &ok);
    return ok;
}

// A fresh folder named for a test group and the process (for suites that share one).
inline std::filesystem::path freshTestDir(const std::string& name) {
    auto dir =
        std::filesystem::temp_directory_path() / ("mx40d-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace mx40d::testing
