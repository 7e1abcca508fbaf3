// The composer's answers on the console. Every prompt is shown before the
// program waits; answers are white-space separated numbers (several may stand
// on one line), except the sound file name, which is a whole line.
//
// An answer that is not a number, or input that ends before the dialogue is
// complete, stops the dialogue with a DialogueStopped naming the question:
// the run then ends without touching the score file.
//
// The answers may also come from an answers file (answers_file.hpp): the same
// tokens, with blank lines and comments from "#" to the line end passed over;
// the sound file name is the next line that is neither blank nor a comment,
// taken whole. Each answer taken from the file is shown after its question,
// with a line end, as if typed. Every answer taken, from the console or a
// file, is kept with its question, for the answers file the run writes.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace grain {

// The dialogue could not be completed; what() says which answer and why.
struct DialogueStopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One answer as the dialogue took it.
struct TakenAnswer {
    std::string text;        // the token as typed, or the sound file name's whole line
    std::string note;        // its question and unit ("total duration, s")
    bool wholeLine = false;  // the sound file name: a line of its own
};

struct AnswerReader {
    std::istream& input;
    std::ostream& console;
    bool started = false;   // whether an answer was asked for yet (a byte-order mark may precede the first)
    bool fromFile = false;  // input is an answers file: comments passed over, answers shown
    std::vector<TakenAnswer> taken{};  // every answer the dialogue kept, in the order asked
};

// Writes a prompt or message exactly as given.
void print(AnswerReader& reader, std::string_view text);

// Reads an integer answer like "%d". question names the answer in messages
// ("the total duration"); unit follows the question's name in the answers
// file (", s").
int readInteger(AnswerReader& reader, std::string_view question, std::string_view unit = "");

// Reads a real answer like "%f", converted straight to the nearest float.
float readReal(AnswerReader& reader, std::string_view question, std::string_view unit = "");

// Forgets the answer read last: a menu answer that is asked again.
void forgetLastAnswer(AnswerReader& reader);

// Reads one character, whatever it is, and throws it away (a carriage return
// and line feed together count as one); the end of the input is no error here.
// From an answers file only a blank or a line end is passed over.
void discardCharacter(AnswerReader& reader);

// Reads the rest of the current line, without its line end (LF or CR LF).
// From an answers file: the next line that is neither blank nor a comment.
std::string readLine(AnswerReader& reader, std::string_view question, std::string_view unit = "");

// From an answers file: the first line, counted from 1, that still holds an
// answer after the dialogue, with that answer; nothing when only blanks and
// comments are left.
struct LeftoverAnswer {
    int line;
    std::string text;
};
std::optional<LeftoverAnswer> leftoverAnswer(AnswerReader& reader);

}  // namespace grain
