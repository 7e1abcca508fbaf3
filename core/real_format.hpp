// Real numbers as the score and the console show them: fixed point with six
// decimals, exactly like printf's "%f" of the value (floats are widened to
// double first). Every number of a grain statement goes through here, so the
// common case is an exact integer computation; rarer values take the
// standard library's exact conversion.
#pragma once

#include <cstddef>
#include <string>

namespace grain {

// Longest text formatReal writes for a value that came from a float.
inline constexpr std::size_t maxFloatTextLength = 48;
// Longest text formatReal writes for any double.
inline constexpr std::size_t maxDoubleTextLength = 330;

// Writes value like "%f" at out and returns the end of the text. out must hold
// maxFloatTextLength characters for a widened float, maxDoubleTextLength for
// any double.
char* formatReal(char* out, double value);

// formatReal of a float widened to double, the same text: the way every
// field of a grain statement takes.
char* formatFloat(char* out, float value);


// The same text as a string, for console messages.
std::string formatReal(double value);

}  // namespace grain
