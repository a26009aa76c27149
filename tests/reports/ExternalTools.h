#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

// Runs a shell command and returns its standard output; `ok` tells whether it exited 0.
inline std::string runCommand(const std::string& command, bool* ok = nullptr) {
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
    int rc = pclose(p);
    if (ok) *ok = rc == 0;
    return out;
}

inline bool haveTool(const char* name) {
    bool ok = false;
    runCommand(std::string("command -v ") + name + " >/dev/null 2>&1", &ok);
    return ok;
}

// A fresh folder for one test, unique to the test and the process, so test programs running
// side by side never share files.
inline std::filesystem::path freshTestDir(const std::string& name) {
    auto dir =
        std::filesystem::temp_directory_path() / ("mx40d-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}
