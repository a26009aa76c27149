// mx40d-brand: makes an OEM build of the monitor by appending a branding trailer to it.
//
//   mx40d-brand EXE COMPANY WEB OEM MODEL
//
// A trailer already at the end of EXE is replaced. Exit codes: 0 done, 1 bad arguments or
// texts too long for the trailer, 2 EXE cannot be read or written.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "base/WholeFile.h"
#include "shell/StartupFiles.h"

namespace fs = std::filesystem;
using namespace mx40d;

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << "usage: mx40d-brand EXE COMPANY WEB OEM MODEL\n"
                     "Appends the branding trailer (company, web address, OEM code, model "
                     "word) to EXE;\nOEM code 00700 names the erase jobs as overwrites and "
                     "shows the logo at start.\nExit codes: 0 done, 1 bad arguments, 2 EXE not "
                     "readable or writable.\n";
        return 0;
    }
    if (argc != 6) {
        std::cerr << "usage: mx40d-brand EXE COMPANY WEB OEM MODEL\n";
        return 1;
    }
    const std::string trailer = shell::makeTrailer(argv[2], argv[3], argv[4], argv[5]);
    if (trailer.empty()) {
        std::cerr << "mx40d-brand: the texts do not fit the trailer (one line each, "
                  << shell::kTrailerWindow << " bytes in all)\n";
        return 1;
    }
    const fs::path exe = argv[1];
    std::ifstream in(exe, std::ios::binary);
    if (!in) {
        std::cerr << "mx40d-brand: cannot read " << exe << "\n";
        return 2;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    // An earlier trailer at the end goes: the first marker in the last 512 bytes would win.
    const std::size_t from =
        bytes.size() > shell::kTrailerWindow ? bytes.size() - shell::kTrailerWindow : 0;
    const std::size_t at = bytes.find(shell::kTrailerMarker, from);
    if (at != std::string::npos) bytes.resize(at);
    bytes += trailer;
    struct stat st {};
    ::stat(exe.c_str(), &st);
    if (!writeWholeFile(exe, bytes)) {
        std::cerr << "mx40d-brand: cannot replace " << exe << "\n";
        return 2;
    }
    ::chmod(exe.c_str(), st.st_mode & 07777);  // still the program it was
    return 0;
}
