#include "decimal_reader.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <string>

namespace grain {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The powers of ten that doubles hold exactly.
constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

RealParse parseReal(const char* first, const char* last) {
    const char* p = first;
    bool negative = false;
    if (p != last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* digitsStart = p;

    // Fast path: the digits (at most 19, so that they fit 64 bits) and the
    // exponent are collected while scanning. With fewer than 2^53 digits'
    // worth and a power of ten up to 10^22, both are exact doubles, and one
    // division or multiplication gives the correctly rounded double. Rounding
    // that to float is then correct too, unless it lies exactly halfway
    // between two floats (nothing else lies between it and the exact value).
    std::uint64_t mantissa = 0;
    int digitCount = 0;
    while (p != last && isDigit(*p)) {
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++digitCount;
        ++p;
    }
    int fractionDigits = 0;
    if (p != last && *p == '.') {
        ++p;
        while (p != last && isDigit(*p)) {
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            ++fractionDigits;
            ++p;
        }
        digitCount += fractionDigits;
    }
    if (digitCount == 0) return {NumberStatus::notANumber, 0.0f, first};
    int exponent = 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (q != last && (*q == '+' || *q == '-')) negativeExponent = *q++ == '-';
        if (q != last && isDigit(*q)) {
            while (q != last && isDigit(*q)) {
                if (exponent < 100000) exponent = exponent * 10 + (*q - '0');
                ++q;
            }
            if (negativeExponent) exponent = -exponent;
            p = q;
        }
    }
    const char* end = p;
    const int power = exponent - fractionDigits;
    if (digitCount <= 19 && mantissa < (std::uint64_t{1} << 53) && power >= -22 && power <= 22) {
        if (mantissa == 0) return {NumberStatus::ok, negative ? -0.0f : 0.0f, end};
        auto exact = static_cast<double>(mantissa);
        double rounded = power < 0 ? exact / powersOfTen[-power] : exact * powersOfTen[power];
        const auto bits = std::bit_cast<std::uint64_t>(rounded);
        constexpr std::uint64_t belowFloat = (std::uint64_t{1} << 29) - 1;  // the bits a float drops
        if (rounded >= 0x1p-126 && rounded < 0x1p127 && (bits & belowFloat) != (std::uint64_t{1} << 28)) {
            auto value = static_cast<float>(rounded);
            return {NumberStatus::ok, negative ? -value : value, end};
        }
    }

    float value = 0.0f;
    auto [parsed, error] = std::from_chars(digitsStart, end, value);
    if (error == std::errc::result_out_of_range || parsed != end) {
        // Beyond the float range, one way or the other: strtof tells which
        // (it rounds tiny values to 0 or a subnormal, huge ones to infinity).
        std::string text(digitsStart, end);
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
