// Decimal numbers as the console answers and the coordinate files hold them:
// an optional sign, digits with an optional decimal point, an optional
// exponent. A real is converted straight to the nearest float (as the "%f"
// conversion of formatted input does), an integer to a 32-bit int.
#pragma once

namespace grain {

enum class NumberStatus {
    ok,           // a number was read
    notANumber,   // the text does not start with a decimal number
    outOfRange,   // a number, but beyond what the type can hold
};

struct RealParse {
    NumberStatus status;
    float value;      // valid when status is ok
    const char* end;  // one past the last character of the number
};

struct IntegerParse {
    NumberStatus status;
    int value;
    const char* end;
};

// Reads the decimal real at the start of [first, last), without skipping
// white space. Values too small for a float become 0 (ok); values too large
// for a finite float are outOfRange.
RealParse parseReal(const char* first, const char* last);

// The characters past the start of a value that the batch reading of
// values may look at.
inline constexpr int commonRealLookahead = 17;

// A text whose values are read in batches: where reading goes on, where the
// characters at hand end, and the values read into values so far.
struct CommonRealsText {
    const char* first;
    const char* last;
    float* values;
    int count;  // values read so far
    int limit;  // values wanted
};

// Reads values of the shape that coordinate files hold almost always: an
// optional minus sign, one to seven digits, optionally a point and up to
// seven more digits, then white space, which is skipped. Each value read is
// the float that parseReal reads at the same place. The texts are read side
// by side, a value from each in turn, so that the conversions of different
// texts overlap in the processor. Reading stops when one text cannot go on:
// its limit is reached, fewer than commonRealLookahead characters are left
// before its last, or its next value has another shape (or is one of the rare
// values that parseReal works out the long way); its first is then at that
// value or in the white space before it. Returns the index of that text.
// count is one to three.
enum class CommonRealsPath {
    fastest,  // in vectors where the processor has the instructions, else in words
    words,    // in 64-bit words on every processor
};
int parseCommonReals(CommonRealsText* texts, int count, CommonRealsPath path = CommonRealsPath::fastest);

// Whether parseCommonReals reads in vectors on this processor.
bool commonRealsInVectors();

// Reads the decimal integer (optional sign, digits) at the start of [first, last).
IntegerParse parseInteger(const char* first, const char* last);

// White space between numbers: blank, tab, line end, carriage return,
// vertical tab and form feed.
inline bool isBlank(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace grain
