#include "machine_ui/Fonts.h"

namespace mx40d {

std::string displayFont(const std::string& f) {
    if (f == "Courier New") return "Liberation Mono";
    if (f == "Book Antiqua") return "P052";
    if (f == "Century Schoolbook") return "C059";
    if (f == "Baskerville Old Face") return "C059";
    if (f == "Copperplate Gothic Bold") return "URW Gothic";
    return f;
}

}  // namespace mx40d
