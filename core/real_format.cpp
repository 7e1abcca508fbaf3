#include "real_format.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace grain {

namespace {

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 Uint128;
#endif

constexpr char digitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the two digits of v (below 100).
inline void writePair(char* out, std::uint32_t v) { std::memcpy(out, digitPairs + 2 * v, 2); }

// The eight decimal digits of x (below 10^8), as the values 0 to 9 in the
// bytes of a 64-bit word: the first digit in the lowest byte, so that storing
// the word little-endian writes them in reading order. All eight are computed
// at once: x splits into two halves of four digits, each into two of two, each
// into two digits, with multiplications that divide exactly in these ranges.
inline std::uint64_t eightDigits(std::uint32_t x) {
    std::uint64_t merged = (x / 10000u) | (static_cast<std::uint64_t>(x % 10000u) << 32);
    std::uint64_t top = ((merged * 10486u) >> 20) & ((std::uint64_t{0x7f} << 32) | 0x7fu);  // / 100
    std::uint64_t bottom = merged - 100u * top;
    std::uint64_t hundreds = (bottom << 16) + top;
    std::uint64_t tens = (hundreds * 103u) >> 10;  // / 10
    tens &= (std::uint64_t{0xf} << 48) | (std::uint64_t{0xf} << 32) | (std::uint64_t{0xf} << 16) | 0xfu;
    tens += (hundreds - 10u * tens) << 8;
    return tens;
}

inline std::uint64_t loadWord(const char* in) {
    std::uint64_t word;
    std::memcpy(&word, in, sizeof word);
    return word;
}

inline void storeWord(char* out, std::uint64_t word) { std::memcpy(out, &word, sizeof word); }

constexpr std::uint64_t asciiZeros = 0x3030303030303030u;
constexpr bool littleEndian = std::endian::native == std::endian::little;

// Writes n / 10^6 with its six decimals (n already rounded), digit by digit.
char* writeScaledSlowly(char* out, std::uint64_t n) {
    std::uint64_t whole = n / 1000000u;
    auto fraction = static_cast<std::uint32_t>(n - whole * 1000000u);
    char digits[20];
    char* end = digits + sizeof digits;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + whole % 10u);
        whole /= 10u;
    } while (whole != 0);
    auto length = static_cast<std::size_t>(end - p);
    std::memcpy(out, p, length);
    out += length;
    *out = '.';
    std::uint32_t high = fraction / 10000u, low = fraction % 10000u;
    writePair(out + 1, high);
    writePair(out + 3, low / 100u);
    writePair(out + 5, low % 100u);
    return out + 7;
}

// Writes n / 10^6 with its six decimals (n already rounded). Below 10^14 (an
// integer part of at most eight digits) the digits are made eight at a time
// and written as whole words, with no branch on the number of digits; out
// must then hold 16 characters, although the text is shorter.
inline char* writeScaled(char* out, std::uint64_t n) {
    if (!littleEndian || n >= 100000000000000u) return writeScaledSlowly(out, n);
    auto whole = static_cast<std::uint32_t>(n / 1000000u);
    auto fraction = static_cast<std::uint32_t>(n - static_cast<std::uint64_t>(whole) * 1000000u);
    std::uint64_t wholeDigits = eightDigits(whole);
    // Leading zero digits are the lowest zero bytes; the last digit stays.
    int zeros = std::countr_zero(wholeDigits | (std::uint64_t{1} << 56)) / 8;
    storeWord(out, (wholeDigits + asciiZeros) >> (8 * zeros));
    out += 8 - zeros;
    // The fraction as 00dddddd: drop the two zeros, put the point first.
    storeWord(out, (((eightDigits(fraction) + asciiZeros) >> 16) << 8) | '.');
    return out + 7;
}

// n / 2^shift rounded to the nearest integer, ties to even (as printf rounds).
inline std::uint64_t roundedShift(std::uint64_t n, int shift) {
    std::uint64_t quotient = n >> shift;
    std::uint64_t remainder = n & ((std::uint64_t{1} << shift) - 1);
    std::uint64_t half = std::uint64_t{1} << (shift - 1);
    return quotient + ((remainder > half) | ((remainder == half) & (quotient & 1u)));
}

}  // namespace

char* formatReal(char* out, double value) {
    // A double is m * 2^e with a 53-bit m; the text is |value| * 10^6 rounded
    // to an integer (ties to even, as printf does) with the point put in.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto biased = static_cast<int>((bits >> 52) & 0x7ffu);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased != 0x7ff) {
        if ((bits >> 63) != 0) *out++ = '-';
        // Zero and the subnormal doubles (below 2^-1022) print as zero.
        if (biased == 0) return writeScaled(out, 0);
        const std::uint64_t mantissa = fraction | (std::uint64_t{1} << 52);
        if ((fraction & ((std::uint64_t{1} << 29) - 1)) == 0) {
            // Every widened float (and any double with at most 24 significant
            // bits) is m24 * 2^e with m24 below 2^24: m24 * 10^6 is below 2^44,
            // so 64 bits hold the whole computation.
            const std::uint64_t m24 = mantissa >> 29;
            const int exponent = biased - 1075 + 29;
            if (exponent < 0) {
                const int shift = -exponent;
                if (shift >= 64) return writeScaled(out, 0);  // below 2^-40: rounds to 0
                return writeScaled(out, roundedShift(m24 * 1000000u, shift));
            }
            if (exponent <= 20) return writeScaled(out, (m24 << exponent) * 1000000u);  // below 2^44 * 10^6

        }
#if defined(__SIZEOF_INT128__)
        else if (biased < 1023 + 43) {
            // Below 2^43 the scaled result fits in 64 bits and m * 10^6 in 128.
            const int shift = 1075 - biased;  // value = mantissa / 2^shift, shift > 10
            if (shift >= 128) return writeScaled(out, 0);  // below 2^-75: rounds to 0
            Uint128 scaled = static_cast<Uint128>(mantissa) * 1000000u;
            Uint128 quotient = scaled >> shift;
            Uint128 remainder = scaled - (quotient << shift);
            Uint128 half = static_cast<Uint128>(1) << (shift - 1);
            if (remainder > half || (remainder == half && (quotient & 1u) != 0)) ++quotient;
            return writeScaled(out, static_cast<std::uint64_t>(quotient));
        }
#endif
        if ((bits >> 63) != 0) --out;  // the library writes the sign itself
    }
    // Huge values, infinities and NaN: the library's exact conversion.
    auto result = std::to_chars(out, out + maxDoubleTextLength, value, std::chars_format::fixed, 6);
    return result.ptr;
}

std::string formatReal(double value) {
    char text[maxDoubleTextLength];
    return std::string(text, formatReal(text, value));
}

}  // namespace grain
