// A score of glissonscore, granulescore or additivescore taken apart for
// rendering in parts: the header (function tables and comments, everything
// before the first grain statement), the grain statements with their voices,
// and the reverb statement. A part is a score of its own: the header, the
// grain statements of its share of the voices, the reverb statement and the
// end. Mixing and the reverb are linear, so the parts rendered and summed
// sound as the whole score.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "outcome.hpp"
#include "score_format.hpp"

namespace render {

// One grain (instr 1) statement as a line of text: its text with its line
// end, its voice (p4), its note duration and when it ends.
struct GrainLine {
    std::string text;
    int voice = 0;
    double duration = 0;  // p3, seconds
    double end = 0;       // p2 + p3, seconds
};

struct SplitScore {
    grain::Program program = grain::Program::glisson;  // whose score it is, by its column comment
    std::string header;                 // everything before the first grain statement
    std::vector<GrainLine> grains;      // in score order
    std::string reverb;                 // the i99 statement with its line end; empty without reverb
    double reverbEnd = 0;               // p2 + p3 of the reverb statement
    // granulescore: the sound file named in table 1, the size the score gives
    // the table and its line in the header (from 0).
    std::string soundFile;
    long long soundTableSize = 0;
    std::size_t soundTableLine = 0;
};

// Takes a score apart after reading every line of it with the strict score
// reader (score_reader.hpp): a score that is not exactly as its program
// writes it is refused with its first problem, as scoreview names it ("line
// N: what is wrong"). A score without grain statements is refused as incomplete.
grain::Outcome<SplitScore> splitScore(const std::string& text);

// Gives table 1 of a granule score's header size samples and the sound file
// file (the score's own table statement otherwise unchanged).
void setSoundTable(SplitScore& score, long long size, const std::string& file);

// Which part (0 to partCount-1) renders each voice. Voices are dealt out by
// their total note time, longest first, each to the part with the least so
// far, so parts take about equally long; the same score and count always give
// the same shares, on every machine.
std::map<int, int> shareVoices(const SplitScore& score, int partCount);

// The text of one part: the header, the part's grain statements in score
// order, the reverb statement and the end statement; with a tail, a note of
// the orchestras' instr 98 before it keeps the performance going that many
// seconds past the part's end (partEndTime), for a technique whose output
// comes late.
std::string partScoreText(const SplitScore& score, const std::map<int, int>& shares, int part, double tail = 0);

// The score time at which the part's last statement ends (the orchestra's
// reverb tail comes on top), seconds.
double partEndTime(const SplitScore& score, const std::map<int, int>& shares, int part);

}  // namespace render
