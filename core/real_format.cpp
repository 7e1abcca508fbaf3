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

#if defined(__GNUC__)
#define GRAIN_INLINE inline __attribute__((always_inline))
#define GRAIN_NOINLINE __attribute__((noinline))
#else
#define GRAIN_INLINE inline
#define GRAIN_NOINLINE
#endif

// The four-digit texts "0000" to "9999": a value below 10^4 is one copy, the
// six decimals are a pair and a four. With each, how many of its characters
// are leading zeros when it stands alone (three for 0, which shows as "0").
struct FourDigitTexts {
    char text[10000][4];
    unsigned char leadingZeros[10000];
    constexpr FourDigitTexts() : text{}, leadingZeros{} {
        for (int i = 0; i < 10000; ++i) {
            text[i][0] = static_cast<char>('0' + i / 1000);
            text[i][1] = static_cast<char>('0' + i / 100 % 10);
            text[i][2] = static_cast<char>('0' + i / 10 % 10);
            text[i][3] = static_cast<char>('0' + i % 10);
            leadingZeros[i] = static_cast<unsigned char>((i < 1000) + (i < 100) + (i < 10));
        }
    }
};
constexpr FourDigitTexts fourDigits{};

// Writes the digits of x (below 10^4) without leading zeros ("0" for 0). Four
// characters are stored whatever the length.
GRAIN_INLINE char* writeUpToFour(char* out, std::uint32_t x) {
    const int zeros = fourDigits.leadingZeros[x];
    std::uint32_t text;
    std::memcpy(&text, fourDigits.text[x], sizeof text);
    // The leading zeros are the first characters: shift them out.
    text = std::endian::native == std::endian::little ? text >> (8 * zeros) : text << (8 * zeros);
    std::memcpy(out, &text, sizeof text);
    return out + 4 - zeros;
}

// Writes whole (below 10^8), the point and the six decimals of fraction
// (below 10^6). out must hold 16 characters, although the text may be shorter.
GRAIN_INLINE char* writeParts(char* out, std::uint32_t whole, std::uint32_t fraction) {
    if (whole < 10000u) {
        out = writeUpToFour(out, whole);
    } else {
        std::uint32_t high = whole / 10000u;
        out = writeUpToFour(out, high);
        std::memcpy(out, fourDigits.text[whole - high * 10000u], 4);
        out += 4;
    }
    std::uint32_t high = fraction / 10000u;
    out[0] = '.';
    std::memcpy(out + 1, fourDigits.text[high] + 2, 2);
    std::memcpy(out + 3, fourDigits.text[fraction - high * 10000u], 4);
    return out + 7;
}

// Writes n / 10^6 with its six decimals (n already rounded), digit by digit.
GRAIN_NOINLINE char* writeScaledSlowly(char* out, std::uint64_t n) {
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
    *out++ = '.';
    for (int i = 5; i >= 0; --i) {
        out[i] = static_cast<char>('0' + fraction % 10u);
        fraction /= 10u;
    }
    return out + 6;
}

// Writes n / 10^6 with its six decimals (n already rounded).
inline char* writeScaled(char* out, std::uint64_t n) {
    if (n >= 100000000000000u) return writeScaledSlowly(out, n);
    auto whole = static_cast<std::uint32_t>(n / 1000000u);
    return writeParts(out, whole, static_cast<std::uint32_t>(n - std::uint64_t{whole} * 1000000u));
}

// Values no float reaches: doubles with more than 24 significant bits, and
// huge values, infinities and NaN. out is past the sign.
GRAIN_NOINLINE char* formatOtherDouble(char* out, double value, std::uint64_t bits) {
    const auto biased = static_cast<int>((bits >> 52) & 0x7ffu);
#if defined(__SIZEOF_INT128__)
    if (biased != 0x7ff && biased < 1023 + 43) {
        // Below 2^43 the scaled result fits in 64 bits and m * 10^6 in 128.
        const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
        const int shift = 1075 - biased;               // value = mantissa / 2^shift, shift > 10
        if (shift >= 128) return writeScaled(out, 0);  // below 2^-75: rounds to 0
        Uint128 scaled = static_cast<Uint128>(mantissa) * 1000000u;
        Uint128 quotient = scaled >> shift;
        Uint128 remainder = scaled - (quotient << shift);
        Uint128 half = static_cast<Uint128>(1) << (shift - 1);
        if (remainder > half || (remainder == half && (quotient & 1u) != 0)) ++quotient;
        return writeScaled(out, static_cast<std::uint64_t>(quotient));
    }
#endif
    // The library's exact conversion writes the sign itself.
    if ((bits >> 63) != 0) --out;
    return std::to_chars(out, out + maxDoubleTextLength, value, std::chars_format::fixed, 6).ptr;
}

// "%f" of value. A double is m * 2^e; the text is |value| * 10^6 rounded to
// an integer (ties to even, as printf rounds) with the point put in.
GRAIN_INLINE char* format(char* out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto biased = static_cast<int>((bits >> 52) & 0x7ffu);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    *out = '-';
    out += bits >> 63;
    // Zero and the subnormal doubles (below 2^-1022) print as zero.
    if (biased == 0) return writeParts(out, 0, 0);
    if ((fraction & ((std::uint64_t{1} << 29) - 1)) != 0 || biased == 0x7ff)
        return formatOtherDouble(out, value, bits);

    // Every widened float (and any double with at most 24 significant bits)
    // is m * 2^e with m below 2^24. Its fractional bits times 10^6 stay below
    // 2^44, so 64 bits hold the whole computation.
    const std::uint64_t m = (fraction | (std::uint64_t{1} << 52)) >> 29;
    const int exponent = biased - 1075 + 29;
    if (exponent >= 0) {
        if (exponent <= 20) {
            std::uint64_t whole = m << exponent;  // below 2^44
            if (whole < 100000000u) return writeParts(out, static_cast<std::uint32_t>(whole), 0);
            return writeScaledSlowly(out, whole * 1000000u);
        }
        return formatOtherDouble(out, value, bits);
    }
    const int shift = -exponent;
    if (shift >= 64) return writeParts(out, 0, 0);  // below 2^-40: rounds to 0
    // The integer part is below 2^24, so within eight digits; the six decimals
    // are the fractional bits times 10^6, rounded.
    auto whole = static_cast<std::uint32_t>(m >> (shift < 32 ? shift : 31));
    const std::uint64_t scaled = (m & ((std::uint64_t{1} << shift) - 1)) * 1000000u;
    std::uint64_t decimals = scaled >> shift;
    const std::uint64_t remainder = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    decimals += (remainder > half) | ((remainder == half) & (decimals & 1u));
    if (decimals == 1000000u) {  // 0.9999996 and the like round up to the next whole
        ++whole;
        decimals = 0;
    }
    return writeParts(out, whole, static_cast<std::uint32_t>(decimals));
}

// "%f" of a float, from its own bits: a float is m * 2^-shift with a 24-bit
// m, and below 2^23 (shift 1 to 63) the text is m * 10^6 / 2^shift rounded to
// an integer (ties to even), whole part and decimals split by one division.
// Other floats (whole numbers from 2^23, values that print as 0, infinities
// and NaN) take the double's way.
GRAIN_INLINE char* formatFloatBits(char* out, float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const int shift = 150 - static_cast<int>((bits >> 23) & 0xffu);
    if (static_cast<unsigned>(shift - 1) >= 63u) return format(out, static_cast<double>(value));
    *out = '-';
    out += bits >> 31;
    const std::uint64_t m = (bits & 0x7fffffu) | 0x800000u;
    const std::uint64_t scaled = m * 1000000u;  // below 2^44
    std::uint64_t n = scaled >> shift;
    // The bits shifted out, at the top of a word: above 2^63 is above the half.
    const std::uint64_t dropped = scaled << (64 - shift);
    constexpr std::uint64_t half = std::uint64_t{1} << 63;
    n += (dropped > half) | ((dropped == half) & n);
    const auto whole = static_cast<std::uint32_t>(n / 1000000u);  // below 2^23
    return writeParts(out, whole, static_cast<std::uint32_t>(n - std::uint64_t{whole} * 1000000u));
}

}  // namespace

char* formatReal(char* out, double value) { return format(out, value); }

char* formatFloat(char* out, float value) { return formatFloatBits(out, value); }


std::string formatReal(double value) {
    char text[maxDoubleTextLength + 16];
    return std::string(text, format(text, value));
}

}  // namespace grain
