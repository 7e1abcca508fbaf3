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

constexpr int endOfInput = std::char_traits<char>::eof();

// Passes over white space, and in an answers file the comments too; returns
// the next character, still unread.
int skipSpace(AnswerReader& reader) {
    std::istream& in = reader.input;
    int c = in.peek();
    while (c != endOfInput && (isBlank(static_cast<char>(c)) || (reader.fromFile && c == '#'))) {
        std::string comment;
        if (c == '#')
            std::getline(in, comment);  // up to and with its line end
        else
            in.get();
        c = in.peek();
    }
    return c;
}

std::string endedBefore(const AnswerReader& reader, std::string_view question) {
    return std::string(reader.fromFile ? "the answers file" : "the input") + " ended before the answer for " +
           std::string(question);
}

// Keeps the answer for the answers file and, when it came from one, shows it
// after its question as if typed.
void take(AnswerReader& reader, const std::string& text, std::string_view question, std::string_view unit,
          bool wholeLine) {
    std::string_view name = question.starts_with("the ") ? question.substr(4) : question;
    reader.taken.push_back({text, std::string(name) + std::string(unit), wholeLine});
    if (reader.fromFile) reader.console << text << "\n";
}

// Skips white space, then collects the characters that can continue a number:
// digits, signs, points and exponent markers. The parse decides whether they
// form one.
std::string nextToken(AnswerReader& reader, std::string_view question) {
    reader.console.flush();
    skipByteOrderMark(reader);
    std::istream& in = reader.input;
    int c = skipSpace(reader);
    if (c == std::char_traits<char>::eof()) throw DialogueStopped(endedBefore(reader, question));
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

int readInteger(AnswerReader& reader, std::string_view question, std::string_view unit) {
    std::string token = nextToken(reader, question);
    const char* last = token.data() + token.size();
    IntegerParse parse = parseInteger(token.data(), last);
    if (parse.status != NumberStatus::ok || parse.end != last)
        refuse(token, question, parse.status, " is not a whole number");
    take(reader, token, question, unit, false);
    return parse.value;
}

float readReal(AnswerReader& reader, std::string_view question, std::string_view unit) {
    std::string token = nextToken(reader, question);
    const char* last = token.data() + token.size();
    RealParse parse = parseReal(token.data(), last);
    if (parse.status != NumberStatus::ok || parse.end != last)
        refuse(token, question, parse.status, " is not a number");
    take(reader, token, question, unit, false);
    return parse.value;
}

void discardCharacter(AnswerReader& reader) {
    reader.console.flush();
    skipByteOrderMark(reader);
    // In an answers file the layout separates the answers: a comment or an
    // answer is never passed over.
    if (reader.fromFile && !isBlank(static_cast<char>(reader.input.peek()))) return;
    // A carriage return and line feed count as the one line end they are
    // (answers written on Windows and piped in elsewhere).
    if (reader.input.get() == '\r' && reader.input.peek() == '\n') reader.input.get();
    reader.input.clear(reader.input.rdstate() & ~std::ios::failbit);
}

std::string readLine(AnswerReader& reader, std::string_view question, std::string_view unit) {
    reader.console.flush();
    skipByteOrderMark(reader);
    std::string line;
    for (;;) {
        if (!std::getline(reader.input, line)) throw DialogueStopped(endedBefore(reader, question));
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows line end
        if (!reader.fromFile) break;
        auto first = line.find_first_not_of(" \t\v\f");
        if (first != std::string::npos && line[first] != '#') break;
    }
    take(reader, line, question, unit, true);
    return line;
}

void forgetLastAnswer(AnswerReader& reader) {
    if (!reader.taken.empty()) reader.taken.pop_back();
}

std::optional<LeftoverAnswer> leftoverAnswer(AnswerReader& reader) {
    skipByteOrderMark(reader);
    std::istream& in = reader.input;
    in.clear(in.rdstate() & ~std::ios::failbit);
    if (skipSpace(reader) == endOfInput) return std::nullopt;
    const auto at = in.tellg();
    LeftoverAnswer leftover{1, ""};
    std::string line;
    std::getline(in, line);
    auto end = line.find_first_of(" \t\r#");
    leftover.text = line.substr(0, end);
    in.clear();
    in.seekg(0);
    for (std::streamoff i = 0; i < static_cast<std::streamoff>(at); ++i)
        if (in.get() == '\n') ++leftover.line;
    return leftover;
}

}  // namespace grain

