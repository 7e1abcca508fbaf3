#include "answer_reader.hpp"

#include <string>

#include "decimal_reader.hpp"

namespace grain {

namespace {

// Answers saved by some Windows editors start with the UTF-8 byte-order mark;
// it is passed over as if it were not there. Bytes that only begin like one
// are put back. Looked for only when the first answer is asked for, so that
// the first prompt is shown before the program waits for input.
void skipByteOrderMark(AnswerReader& reader) {
    if (reader.started) return;
    reader.started = true;
    static constexpr char mark[] = "\xEF\xBB\xBF";
    std::istream& in = reader.input;
    int matched = 0;
    while (matched < 3 && in.peek() == static_cast<unsigned char>(mark[matched])) {
        in.get();
        ++matched;
    }
    if (matched == 3) return;
    while (matched > 0) in.putback(mark[--matched]);
    in.clear(in.rdstate() & ~std::ios::eofbit);
}

// Skips white space, then collects the characters that can continue a number:
// digits, signs, points and exponent markers. The parse decides whether they
// form one.
std::string nextToken(AnswerReader& reader, std::string_view question) {
    reader.console.flush();
    skipByteOrderMark(reader);
    std::istream& in = reader.input;
    int c = in.peek();
    while (c != std::char_traits<char>::eof() && isBlank(static_cast<char>(c))) {
        in.get();
        c = in.peek();
    }
    if (c == std::char_traits<char>::eof())
        throw DialogueStopped("the input ended before the answer for " + std::string(question));
    std::string token;
    while (c != std::char_traits<char>::eof()) {
        char ch = static_cast<char>(c);
        bool numeric = (ch >= '0' && ch <= '9') || ch == '.' || ch == '+' || ch == '-' || ch == 'e' || ch == 'E';
        if (!numeric) break;
        token += ch;
        in.get();
        c = in.peek();
    }
    if (token.empty()) {
        std::string word;
        while (c != std::char_traits<char>::eof() && !isBlank(static_cast<char>(c)) && word.size() < 40) {
            word += static_cast<char>(c);
            in.get();
            c = in.peek();
        }
        throw DialogueStopped("the answer \"" + word + "\" for " + std::string(question) + " is not a number");
    }
    in.clear(in.rdstate() & ~std::ios::eofbit);
    return token;
}

[[noreturn]] void refuse(const std::string& token, std::string_view question, NumberStatus status,
                         const char* notANumber) {
    const char* why = status == NumberStatus::outOfRange ? " is too large" : notANumber;
    throw DialogueStopped("the answer \"" + token + "\" for " + std::string(question) + why);
}

}  // namespace

void print(AnswerReader& reader, std::string_view text) { reader.console << text; }

int readInteger(AnswerReader& reader, std::string_view question) {
    std::string token = nextToken(reader, question);
    const char* last = token.data() + token.size();
    IntegerParse parse = parseInteger(token.data(), last);
    if (parse.status != NumberStatus::ok || parse.end != last)
        refuse(token, question, parse.status, " is not a whole number");
    return parse.value;
}

float readReal(AnswerReader& reader, std::string_view question) {
    std::string token = nextToken(reader, question);
    const char* last = token.data() + token.size();
    RealParse parse = parseReal(token.data(), last);
    if (parse.status != NumberStatus::ok || parse.end != last)
        refuse(token, question, parse.status, " is not a number");
    return parse.value;
}

void discardCharacter(AnswerReader& reader) {
    reader.console.flush();
    skipByteOrderMark(reader);
    // A carriage return and line feed count as the one line end they are
    // (answers written on Windows and piped in elsewhere).
    if (reader.input.get() == '\r' && reader.input.peek() == '\n') reader.input.get();
    reader.input.clear(reader.input.rdstate() & ~std::ios::failbit);
}

std::string readLine(AnswerReader& reader, std::string_view question) {
    reader.console.flush();
    skipByteOrderMark(reader);
    std::string line;
    if (!std::getline(reader.input, line))
        throw DialogueStopped("the input ended before the answer for " + std::string(question));
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows line end
    return line;
}

}  // namespace grain

