// mx40d-verify: tells whether a protected text file is as it was saved.
//
//   mx40d-verify FILE
//
// Exit codes: 0 intact, 1 changed, 2 not a protected text, 3 the file cannot be read.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "reports/ProtectedText.h"

using namespace mx40d;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: mx40d-verify FILE\n";
        return 3;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "mx40d-verify: cannot open " << argv[1] << "\n";
        return 3;
    }
    const std::string file((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) {
        std::cerr << "mx40d-verify: cannot read " << argv[1] << "\n";
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
