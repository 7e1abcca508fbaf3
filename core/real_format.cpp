#include "real_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace grain {

namespace {

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 Uint128;
#endif

// Writes the six decimals and the integer part of n / 10^6 (n already rounded).
char* writeScaled(char* out, std::uint64_t n) {
    std::uint64_t whole = n / 1000000u;
    auto fraction = static_cast<std::uint32_t>(n % 1000000u);
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + whole % 10u);
        whole /= 10u;
    } while (whole != 0);
    while (count > 0) *out++ = digits[--count];
    *out++ = '.';
    for (int i = 5; i >= 0; --i) {
        out[i] = static_cast<char>('0' + fraction % 10u);
        fraction /= 10u;
    }
    return out + 6;
}

}  // namespace

char* formatReal(char* out, double value) {
    // Fast path: |value| * 10^6 rounded to the nearest integer (ties to even,
    // as printf does) computed exactly. A double is m * 2^e with m below 2^53;
    // below 2^43 the scaled result fits in 64 bits and m * 10^6 in 128.
#if defined(__SIZEOF_INT128__)
    double magnitude = std::fabs(value);
    if (magnitude < 8796093022208.0) {  // 2^43
        if (std::signbit(value)) *out++ = '-';
        if (magnitude == 0.0) return writeScaled(out, 0);
        int exponent = 0;
        double normal = std::frexp(magnitude, &exponent);  // magnitude = normal * 2^exponent
        auto mantissa = static_cast<std::uint64_t>(std::ldexp(normal, 53));
        int shift = 53 - exponent;  // magnitude = mantissa / 2^shift, shift > 10 here
        if (shift >= 128) return writeScaled(out, 0);  // below 2^-74: rounds to 0
        Uint128 scaled = static_cast<Uint128>(mantissa) * 1000000u;
        Uint128 quotient = scaled >> shift;
        Uint128 remainder = scaled - (quotient << shift);
        Uint128 half = static_cast<Uint128>(1) << (shift - 1);
        if (remainder > half || (remainder == half && (quotient & 1u) != 0)) ++quotient;
        return writeScaled(out, static_cast<std::uint64_t>(quotient));
    }
#endif
    // Huge values, infinities and NaN: the library's exact conversion.
    auto result = std::to_chars(out, out + maxDoubleTextLength, value, std::chars_format::fixed, 6);
    return result.ptr;
}

std::string formatReal(double value) {
    char text[maxDoubleTextLength];
    return std::string(text, formatReal(text, value));
}

}  // namespace grain
