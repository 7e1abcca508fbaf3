// Numbers in fixed point as the pictures and flockpaths' files and console
// lines show them: printf's "%.*f" of the value (the decimal text nearest to
// the value's exact binary value, ties to the even digit), except that a
// value that rounds to zero never shows as "-0". The text is the same on
// every machine and in every locale. The score's own numbers, six decimals
// of a float on every grain statement, take the faster formatter of the
// score engine (real_format.hpp), which is printf's "%f" to the letter,
// "-0.000000" included.
#pragma once

#include <string>

namespace grain {

// Most decimals fixedText writes.
inline constexpr int maxFixedDecimals = 17;

// value with the given decimals (0 to maxFixedDecimals), never "-0".
std::string fixedText(double value, int decimals);

}  // namespace grain
