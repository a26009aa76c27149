#pragma once

#include <string>

namespace mx40d {

// The windows were designed with Windows fonts; each is shown with the font Debian ships
// that is made to stand in for it (metric-compatible where one exists), so texts keep their
// sizes and the grids their columns:
//   Courier New             -> Liberation Mono (metric-compatible)
//   Book Antiqua            -> P052 (the URW Palatino design Book Antiqua follows)
//   Century Schoolbook      -> C059 (URW Century Schoolbook)
//   Baskerville Old Face    -> C059 (a transitional serif of the same build)
//   Copperplate Gothic Bold -> URW Gothic (a wide, even-stroked capital face)
// Any other name is returned as it is.
std::string displayFont(const std::string& designedFont);

}  // namespace mx40d
