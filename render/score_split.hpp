// A score of glissonscore, granulescore or additivescore taken apart for
// rendering in parts: the header (function tables and comments, everything
// before the first grain statement), the grain statements with their voices,
// and the reverb statement. A part is a score of its own: the header, the
// grain statements of its share of the voices, the reverb statement and the
// end. Mixing and the reverb are linear, so the parts rendered and summed
// sound as the whole score.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "score_format.hpp"

namespace render {

// The program that wrote a score, its orchestra and the name of the score it writes.
struct ScoreProgram {
    grain::Program id;
    std::string program;    // "glissonscore"
    std::string orchestra;  // "VelaRookglisson.orc"
    std::string scoreName;  // "VELAROOKglisson.sco"
};

// The names the score programs themselves use.
ScoreProgram scoreProgram(grain::Program program);

// One grain (instr 1) statement as a line of text: its text with its line
// end, its voice (p4), its note duration and when it ends.
struct GrainLine {
    std::string text;
    int voice = 0;
    double duration = 0;  // p3, seconds
    double end = 0;       // p2 + p3, seconds
};

struct SplitScore {
    ScoreProgram program;
    std::string header;                 // everything before the first grain statement
    std::vector<GrainLine> grains; // in score order
    std::string reverb;                 // the i99 statement with its line end; empty without reverb
    double reverbEnd = 0;               // p2 + p3 of the reverb statement
    std::string soundFile;              // granulescore: the sound file named in table 1
};

struct SplitReading {
    std::optional<SplitScore> score;  // set when the text is a score of the three programs
    std::string refusal;              // why it is not, otherwise
};

// Takes a score apart. Its column comment names its program, as for every
// reader of scores; fileName (without folder) names it when the header has
// none. A score without grain statements or without its end statement is
// refused as incomplete.
SplitReading splitScore(const std::string& text, const std::string& fileName);

// Which part (0 to partCount-1) renders each voice. Voices are dealt out by
// their total note time, longest first, each to the part with the least so
// far, so parts take about equally long; the same score and count always give
// the same shares, on every machine.
std::map<int, int> shareVoices(const SplitScore& score, int partCount);

// The text of one part: the header, the part's grain statements in score
// order, the reverb statement and the end statement.
std::string partScoreText(const SplitScore& score, const std::map<int, int>& shares, int part);

// The score time at which the part's last statement ends (the orchestra's
// reverb tail comes on top), seconds.
double partEndTime(const SplitScore& score, const std::map<int, int>& shares, int part);

}  // namespace render
