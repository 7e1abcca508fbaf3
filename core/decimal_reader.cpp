#include "decimal_reader.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

// The batch reading has a vector path on x86 compilers that take a target
// per function (GCC and Clang); the processor is asked at run time.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define GRAIN_VECTOR_VALUES 1
#include <immintrin.h>
#else
#define GRAIN_VECTOR_VALUES 0
#endif

#if defined(__GNUC__)
#define GRAIN_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define GRAIN_ALWAYS_INLINE inline
#endif

namespace grain {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The powers of ten that doubles hold exactly.
// The doubles nearest to 10^-k.
constexpr double inversePowersOfTen[] = {1e-0,  1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                         1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                         1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};
constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

constexpr std::uint64_t powersOfTenInt[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// How many of the eight characters in a word, from the first, are digits,
// given the characters minus '0' (digits are the bytes below 10). Adding
// 0x76 sets a byte's top bit exactly when it is not below 10 (a byte at 0x80
// or above is caught by its own top bit); the carry out of such a byte only
// disturbs bytes after the first non-digit.
inline int leadingDigits(std::uint64_t digitValues) {
    std::uint64_t notDigit = ((digitValues + 0x7676767676767676u) | digitValues) & 0x8080808080808080u;
    return std::countr_zero(notDigit) / 8;
}

// The number that eight digit values in a word stand for: pairs, then
// quadruples, then the whole are combined by multiplications.
inline std::uint32_t eightDigitNumber(std::uint64_t digitValues) {
    std::uint64_t v = digitValues * 10 + (digitValues >> 8);
    v = ((v & 0x000000ff000000ffu) * (100 + (std::uint64_t{1000000} << 32)) +
         ((v >> 16) & 0x000000ff000000ffu) * (1 + (std::uint64_t{10000} << 32))) >>
        32;
    return static_cast<std::uint32_t>(v);
}

// Reads the digits at p into mantissa (mantissa * 10 + digit for each; only
// the last 19 digits are kept exactly) and returns how many there were.
// Where eight more characters are readable they are taken as the bytes of a
// word, the first in the lowest.
inline int readDigits(const char*& p, const char* last, std::uint64_t& mantissa) {
    int count = 0;
    while (std::endian::native == std::endian::little && last - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        std::uint64_t digitValues = word ^ 0x3030303030303030u;
        int digits = leadingDigits(digitValues);
        if (digits == 0) return count;
        // The digits move to the top bytes; the bytes below read as zeros.
        mantissa = mantissa * powersOfTenInt[digits] + eightDigitNumber(digitValues << (64 - 8 * digits));
        count += digits;
        p += digits;
        if (digits < 8) return count;
    }
    const char* start = p;
    while (p != last && isDigit(*p)) {
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++p;
    }
    return count + static_cast<int>(p - start);
}

// The float nearest mantissa x 10^power, when one multiplication in double
// finds it: with mantissa below 2^53 and a power of ten up to 10^22 both
// factors are exact doubles (10^-k is not, see below), and the correctly
// rounded double rounds to the correctly rounded float unless it lies
// exactly halfway between two floats (nothing else lies between it and the
// exact value). False, and value untouched, otherwise; mantissa is not 0.
inline bool nearestFloat(std::uint64_t mantissa, int power, float& value) {
    if (mantissa >= (std::uint64_t{1} << 53) || power < -22 || power > 22) return false;
    auto exact = static_cast<double>(mantissa);
    // A multiplication by the double nearest 10^-k is no exact operation
    // but lands within three units of the last place of the exact value;
    // a double that far from a float's halfway point rounds like it.
    const bool exactStep = power >= 0;
    double rounded = exact * (exactStep ? powersOfTen[power] : inversePowersOfTen[-power]);
    const auto bits = std::bit_cast<std::uint64_t>(rounded);
    constexpr std::uint64_t belowFloat = (std::uint64_t{1} << 29) - 1;  // the bits a float drops
    const std::uint64_t fromHalfway = (bits & belowFloat) - (std::uint64_t{1} << 28);  // wraps below it
    const std::uint64_t margin = exactStep ? 0 : 3;
    if (!(rounded >= 0x1p-126 && rounded < 0x1p127 && fromHalfway + margin > 2 * margin)) return false;
    value = static_cast<float>(rounded);
    return true;
}

// nearestFloat for a value of the common shape: mantissa from 1 to below
// 10^14, so below 2^53, and 10^-decimals with decimals from 0 to 7; the
// result lies between 10^-7 and 10^7, where every float is normal, so only
// the halfway test is left. 10^-0 is exact, but the margin of the inexact
// powers serves it too: it only sends more values the long way.
inline bool nearestShortFloat(std::uint64_t mantissa, int decimals, float& value) {
    const double rounded = static_cast<double>(mantissa) * inversePowersOfTen[decimals];
    const auto bits = std::bit_cast<std::uint64_t>(rounded);
    constexpr std::uint64_t belowFloat = (std::uint64_t{1} << 29) - 1;
    const std::uint64_t fromHalfway = (bits & belowFloat) - (std::uint64_t{1} << 28);
    if (!(fromHalfway + 3 > 6)) return false;
    value = static_cast<float>(rounded);
    return true;
}

// The value of a short-path number: its digits as mantissa, decimals of them
// after the point, and its sign; false (value untouched) when it is one of
// the rare values that parseReal works out the long way. Zero has no halfway
// point to fear.
inline bool shortValue(std::uint64_t mantissa, int decimals, bool negative, float& value) {
    float magnitude = 0.0f;
    if (mantissa != 0 && !nearestShortFloat(mantissa, decimals, magnitude)) return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

// The short path for one value of the common shape at p, where
// commonRealLookahead characters are readable: the end of the number with
// value set, or nullptr (value untouched) when the text has another shape or
// its value is one of the rare ones that parseReal works out the long way.
inline const char* parseCommonReal(const char* p, float& value) {
    if constexpr (std::endian::native != std::endian::little) return nullptr;
    const bool negative = *p == '-';
    p += negative;
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    const std::uint64_t integerDigits = word ^ 0x3030303030303030u;
    const int integerCount = leadingDigits(integerDigits);
    if (integerCount == 0 || integerCount == 8) return nullptr;
    std::uint64_t mantissa = eightDigitNumber(integerDigits << (64 - 8 * integerCount));
    const char* end = p + integerCount;
    int fractionCount = 0;
    if (*end == '.') {
        std::memcpy(&word, end + 1, sizeof word);
        const std::uint64_t fractionDigits = word ^ 0x3030303030303030u;
        fractionCount = leadingDigits(fractionDigits);
        if (fractionCount == 8) return nullptr;
        if (fractionCount != 0)
            mantissa = mantissa * powersOfTenInt[fractionCount] +
                       eightDigitNumber(fractionDigits << (64 - 8 * fractionCount));
        end += 1 + fractionCount;
    }
    if (!isBlank(*end)) return nullptr;  // an exponent, or no number this path reads
    if (!shortValue(mantissa, fractionCount, negative, value)) return nullptr;
    return end;
}

// One step of the batch reading: the value at first (white space before it
// skipped) into *out. False, with first at the value or in the white space
// before it, when the text cannot go on. safe is the last place where a value
// may start (commonRealLookahead characters before the text's last), or first
// itself when there is no such place. afterValue: first is at the blank that
// ended the value read before, passed over without a test.
template <bool afterValue, class ReadValue>
GRAIN_ALWAYS_INLINE bool readCommonReal(const char*& first, const char* safe, float*& out, ReadValue readValue) {
    first += afterValue;
    while (first < safe && isBlank(*first)) ++first;
    if (!(first < safe)) return false;
    const char* end = readValue(first, *out);
    if (end == nullptr) return false;
    first = end;
    ++out;
    return true;
}

// The batch reading of n texts with readValue (one of the short paths), in
// rounds of one value from each. Every round is written out (no loop over the
// texts), so that each text's place and output stay in registers; one count
// of the rounds left serves all texts: the text with the fewest values wanted
// reaches its limit first.
template <int n, class ReadValue>
GRAIN_ALWAYS_INLINE int parseSideBySide(CommonRealsText* texts, ReadValue readValue) {
    const char* first[n];
    const char* safe[n];
    float* out[n];
    int rounds = texts[0].limit - texts[0].count;
    int fewest = 0;
    for (int i = 0; i < n; ++i) {
        first[i] = texts[i].first;
        safe[i] = texts[i].last - first[i] > commonRealLookahead ? texts[i].last - commonRealLookahead : first[i];
        out[i] = texts[i].values + texts[i].count;
        if (texts[i].limit - texts[i].count < rounds) {
            rounds = texts[i].limit - texts[i].count;
            fewest = i;
        }
    }
    // One value from each text, in order; the index of the first that cannot go on, or -1.
    auto round = [&]<bool afterValue>() {
        if (!readCommonReal<afterValue>(first[0], safe[0], out[0], readValue)) return 0;
        if constexpr (n > 1)
            if (!readCommonReal<afterValue>(first[1], safe[1], out[1], readValue)) return 1;
        if constexpr (n > 2)
            if (!readCommonReal<afterValue>(first[2], safe[2], out[2], readValue)) return 2;
        return -1;
    };
    int held = rounds > 0 ? round.template operator()<false>() : fewest;
    if (held < 0)
        for (--rounds;; --rounds) {
            if (rounds == 0) {
                held = fewest;
                break;
            }
            held = round.template operator()<true>();
            if (held >= 0) break;
        }
    for (int i = 0; i < n; ++i) {
        texts[i].first = first[i];
        texts[i].count = static_cast<int>(out[i] - texts[i].values);
    }
    return held;
}

// The value readers of the batch reading: the short path in words, which
// every processor runs, and where the processor has them (x86 with SSSE3,
// nearly every one since 2008), the same in 16-byte vectors.
struct WordValues {
    GRAIN_ALWAYS_INLINE const char* operator()(const char* p, float& value) const { return parseCommonReal(p, value); }
};

template <int n>
int parseInWords(CommonRealsText* texts) {
    return parseSideBySide<n>(texts, WordValues{});
}

#if GRAIN_VECTOR_VALUES

// For i integer digits (1 to 7) and f decimals (0 to 7) after the point at
// i, the byte shuffle that moves the digits, point left out, to the end of 16
// bytes in order; the bytes before them become zeros (index with the top bit set).
struct DigitGathers {
    alignas(16) signed char mask[8][8][16];
    constexpr DigitGathers() : mask{} {
        for (int i = 0; i < 8; ++i)
            for (int f = 0; f < 8; ++f) {
                const int digits = i + f;
                for (int k = 0; k < 16; ++k) {
                    const int digit = k - (16 - digits);  // which digit lands at byte k
                    mask[i][f][k] = static_cast<signed char>(digit < 0 ? -128 : digit < i ? digit : digit + 1);
                }
            }
    }
};
constexpr DigitGathers digitGathers{};

// parseCommonReal in vectors: the digits of 16 characters are found at once;
// the integer digits and decimals are gathered into one row of 16 and
// combined in pairs, fours and eights by multiply-adds. The same values are
// read, or left, as in words.
__attribute__((target("ssse3"))) inline const char* parseCommonRealInVectors(const char* p, float& value) {
    const bool negative = *p == '-';
    p += negative;
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i digits = _mm_sub_epi8(text, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digits, _mm_set1_epi8(9)), digits);
    // One bit per character that is not a digit; the bits above the 16 are set.
    const auto notDigit = ~static_cast<std::uint32_t>(_mm_movemask_epi8(isDigit));
    const int integerCount = std::countr_zero(notDigit);
    if (static_cast<unsigned>(integerCount - 1) >= 7u) return nullptr;  // 1 to 7 digits
    int fractionCount = 0;
    int length = integerCount;
    if (p[integerCount] == '.') {
        length = std::countr_zero(notDigit & (notDigit - 1));  // the first non-digit past the point
        fractionCount = length - integerCount - 1;
        if (fractionCount >= 8) return nullptr;
    }
    if (!isBlank(p[length])) return nullptr;
    const __m128i row = _mm_shuffle_epi8(
        digits, _mm_load_si128(reinterpret_cast<const __m128i*>(digitGathers.mask[integerCount][fractionCount])));
    const __m128i pairs = _mm_maddubs_epi16(row, _mm_set1_epi16(0x010a));                   // 10 a + b
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));                // 100 a + b
    const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(0x00012710));  // 10^4 a + b
    const std::uint64_t mantissa = std::uint64_t{static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights))} * 100000000u +
                                   static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    if (!shortValue(mantissa, fractionCount, negative, value)) return nullptr;
    return p + length;
}

struct VectorValues {
    __attribute__((target("ssse3"))) const char* operator()(const char* p, float& value) const {
        return parseCommonRealInVectors(p, value);
    }
};

// Code for SSSE3 can only be inlined into functions compiled for it: flatten
// pulls the whole batch loop, value reader included, into this one.
template <int n>
__attribute__((target("ssse3"), flatten)) int parseInVectors(CommonRealsText* texts) {
    return parseSideBySide<n>(texts, VectorValues{});
}

bool processorHasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}

#endif

}  // namespace

bool commonRealsInVectors() {
#if GRAIN_VECTOR_VALUES
    static const bool available = processorHasSsse3();
    return available;
#else
    return false;
#endif
}

int parseCommonReals(CommonRealsText* texts, int count, CommonRealsPath path) {
#if GRAIN_VECTOR_VALUES
    if (path == CommonRealsPath::fastest && commonRealsInVectors()) switch (count) {
            case 1: return parseInVectors<1>(texts);
            case 2: return parseInVectors<2>(texts);
            default: return parseInVectors<3>(texts);
        }
#else
    (void)path;
#endif
    switch (count) {
        case 1: return parseInWords<1>(texts);
        case 2: return parseInWords<2>(texts);
        default: return parseInWords<3>(texts);
    }
}

RealParse parseReal(const char* first, const char* last) {
    const char* p = first;
    bool negative = false;
    if (p != last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* digitsStart = p;

    // Fast path: the digits (at most 19, so that they fit 64 bits) and the
    // exponent are collected while scanning; nearestFloat converts them when
    // one multiplication in double does.
    std::uint64_t mantissa = 0;
    int digitCount = readDigits(p, last, mantissa);
    int fractionDigits = 0;
    if (p != last && *p == '.') {
        ++p;
        fractionDigits = readDigits(p, last, mantissa);
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
    if (digitCount <= 19) {
        if (mantissa == 0) return {NumberStatus::ok, negative ? -0.0f : 0.0f, end};
        if (float value; nearestFloat(mantissa, power, value)) return {NumberStatus::ok, negative ? -value : value, end};
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
