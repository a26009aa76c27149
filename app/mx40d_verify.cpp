// mx40d-verify: tells whether a protected text file is as it was saved. See --help.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "reports/ProtectedText.h"

using namespace mx40d;

namespace {

const char* const kHelp =
    "usage: mx40d-verify FILE\n"
    "\n"
    "Checks a report saved as protected text (the monitor's \"Save as Text\", or\n"
    "mx40d-report --format protected): whether its text, its length and its watermark are\n"
    "as they were when it was saved.\n"
    "\n"
    "Exit codes: 0 intact, 1 changed since it was saved, 2 not a protected text,\n"
    "3 the file cannot be read (missing, a folder, no permission) or bad arguments.\n";

// The whole file, or false with the reason.
bool readWhole(const char* path, std::string& out, std::string& why) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = "is a folder, not a file";
        return false;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    const bool bad = std::ferror(f) != 0;
    if (bad) why = std::strerror(errno);
    std::fclose(f);
    return !bad;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kHelp;
        return 0;
    }
    if (argc != 2) {
        std::cerr << "usage: mx40d-verify FILE (see mx40d-verify --help)\n";
        return 3;
    }
    std::string file;
    std::string why;
    if (!readWhole(argv[1], file, why)) {
        std::cerr << "mx40d-verify: cannot read " << argv[1] << ": " << why << "\n";
        return 3;
    }
    switch (checkProtectedText(file)) {
        case ProtectedTextCheck::Intact:
            std::cout << argv[1] << ": intact\n";
            return 0;
        case ProtectedTextCheck::Changed:
            std::cout << argv[1] << ": CHANGED since it was saved\n";
            return 1;
        case ProtectedTextCheck::NotProtected:
        default:
            std::cout << argv[1] << ": not a protected text\n";
            return 2;
    }
}
