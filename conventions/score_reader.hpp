// A strict reading of a score written by one of the score programs: the
// header lines of its program, every grain statement with exactly its
// program's p-fields, each a fixed-point number with six decimals (the voice a
// whole number), and the closing lines: the reverb statement when there is
// one, and the end statement. Line ends may be LF or CR LF. The grains' values
// come back for drawing; whatever departs from what the programs write comes
// back as a problem with its line, because Csound itself lets a short or
// garbled statement through.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "score_format.hpp"

namespace scoreview {

// One grain statement as read: p2 to p13, and p14 where the program has it.
struct GrainStatement {
    int line = 0;               // line of the score, from 1
    double start = 0.0;         // srt, seconds
    double noteDuration = 0.0;  // dur, seconds
    int voice = 0;
    double phase = 0.0;
    double aziOld = 0.0, azi = 0.0;    // degrees, 0 ahead, clockwise
    double elevOld = 0.0, elev = 0.0;  // degrees above the horizontal plane
    double distOld = 0.0, dist = 0.0;
    double grainDuration = 0.0;  // seconds
    double p13 = 0.0;  // start frequency (Hz), file play position (0 to 1) or partial frequency (Hz)
    double p14 = 0.0;  // end frequency (Hz) or play speed; additivescore has none
};

struct ScoreReading {
    std::optional<grain::Program> program;  // whose score it is; unset when no header fits
    std::vector<GrainStatement> grains;     // in the order of the score
    std::vector<int> voices;                // the voice numbers found, ascending
    bool reverb = false;                    // the reverb statement is there
    double reverbDuration = 0.0;            // its duration, seconds
    std::vector<std::string> problems;      // "line N: what is wrong"; empty when the score is sound
};

// P-fields of one grain statement of the program, "i1" included.
int grainFields(grain::Program program);

// Reads a whole score, recognising its program by its column comment.
ScoreReading readScore(const std::string& score);

// Reads a whole score as a score of the given program.
ScoreReading readScore(const std::string& score, grain::Program program);

}  // namespace scoreview
