#include "decimal_reader.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace grain {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the longest decimal real at first (sign already skipped), or
// first itself when there is none: digits, an optional point and digits (at
// least one digit in all), then an exponent only when digits follow its
// marker and sign.
const char* scanReal(const char* first, const char* last) {
    const char* p = first;
    bool digits = false;
    while (p != last && isDigit(*p)) { ++p; digits = true; }
    if (p != last && *p == '.') {
        ++p;
        while (p != last && isDigit(*p)) { ++p; digits = true; }
    }
    if (!digits) return first;
    if (p != last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q != last && (*q == '+' || *q == '-')) ++q;
        if (q != last && isDigit(*q)) {
            while (q != last && isDigit(*q)) ++q;
            p = q;
        }
    }
    return p;
}

}  // namespace

RealParse parseReal(const char* first, const char* last) {
    const char* p = first;
    bool negative = false;
    if (p != last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* end = scanReal(p, last);
    if (end == p) return {NumberStatus::notANumber, 0.0f, first};

    float value = 0.0f;
    auto [parsed, error] = std::from_chars(p, end, value);
    if (error == std::errc::result_out_of_range || parsed != end) {
        // Beyond the float range, one way or the other: strtof tells which
        // (it rounds tiny values to 0 or a subnormal, huge ones to infinity).
        std::string text(p, end);
        value = std::strtof(text.c_str(), nullptr);
        if (std::isinf(value)) return {NumberStatus::outOfRange, 0.0f, end};
    }
    return {NumberStatus::ok, negative ? -value : value, end};
}

IntegerParse parseInteger(const char* first, const char* last) {
    const char* p = first;
    bool negative = false;
    if (p != last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* end = p;
    while (end != last && isDigit(*end)) ++end;
    if (end == p) return {NumberStatus::notANumber, 0, first};

    long long magnitude = 0;
    for (const char* d = p; d != end; ++d) {
        magnitude = magnitude * 10 + (*d - '0');
        if (magnitude > 2147483648LL) return {NumberStatus::outOfRange, 0, end};
    }
    long long value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL) return {NumberStatus::outOfRange, 0, end};
    return {NumberStatus::ok, static_cast<int>(value), end};
}

}  // namespace grain
