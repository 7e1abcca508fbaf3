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

// Reads the decimal integer (optional sign, digits) at the start of [first, last).
IntegerParse parseInteger(const char* first, const char* last);

// White space between numbers: blank, tab, line end, carriage return,
// vertical tab and form feed.
inline bool isBlank(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace grain
