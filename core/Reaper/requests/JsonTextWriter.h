#pragma once

#include <string>

// The pieces of JSON text the selected-item report is made of, in the exact, ASCII-only
// form the library application expects.
namespace json_text
{
// bytes (UTF-8, ending at the first NUL) as a quoted JSON string: ", \ and the control
// characters with short escapes written as such, other printable ASCII as itself,
// everything else as \u escapes of its UTF-16 code units in lowercase hex. Bytes that
// are not valid UTF-8 are written as \ufffd.
std::string quotedString (const std::string& bytes);

// x in fixed point with exactly three decimals, rounded half up on the magnitude, with a
// '-' for any negative x (so -0.0001 gives -0.000, -0.0 gives 0.000). Magnitudes of 10^15
// and more are written exactly. A NaN or an infinity, which JSON cannot hold, is null.
std::string threeDecimals (double x);

// n in decimal.
std::string integer (int n);
} // namespace json_text
