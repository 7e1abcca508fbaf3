#include "fixed_text.hpp"

#include <algorithm>
#include <charconv>

namespace grain {

std::string fixedText(double value, int decimals) {
    decimals = std::clamp(decimals, 0, maxFixedDecimals);
    // The longest double in fixed point: a sign, 309 digits, the point and the decimals.
    char text[312 + maxFixedDecimals];
    char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    // printf's text of a small negative value is "-0.00": the sign goes
    // when every digit is a zero.
    char* digits = text + (text[0] == '-' ? 1 : 0);
    if (digits != text && std::all_of(digits, end, [](char c) { return c == '0' || c == '.'; }))
        return std::string(digits, end);
    return std::string(text, end);
}

}  // namespace grain
