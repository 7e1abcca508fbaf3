// The composer's answers on the console. Every prompt is shown before the
// program waits; answers are white-space separated numbers (several may stand
// on one line), except the sound file name, which is a whole line.
//
// An answer that is not a number, or input that ends before the dialogue is
// complete, stops the dialogue with a DialogueStopped naming the question:
// the run then ends without touching the score file.
#pragma once

#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace grain {

// The dialogue could not be completed; what() says which answer and why.
struct DialogueStopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct AnswerReader {
    std::istream& input;
    std::ostream& console;
    bool started = false;  // whether an answer was asked for yet (a byte-order mark may precede the first)
};

// Writes a prompt or message exactly as given.
void print(AnswerReader& reader, std::string_view text);

// Reads an integer answer like "%d". question names the answer in messages.
int readInteger(AnswerReader& reader, std::string_view question);

// Reads a real answer like "%f", converted straight to the nearest float.
float readReal(AnswerReader& reader, std::string_view question);

// Reads one character, whatever it is, and throws it away (a carriage return
// and line feed together count as one); the end of the input is no error here.
void discardCharacter(AnswerReader& reader);

// Reads the rest of the current line, without its line end (LF or CR LF).
std::string readLine(AnswerReader& reader, std::string_view question);

}  // namespace grain
