// The strict reading of a score written by one of the score programs, the
// one reading of scores for scoreview's picture and for grainrender: the
// header lines of its program (score_format.hpp), every grain statement with
// exactly its program's p-fields, each a fixed-point number with six decimals
// (the voice a whole number), and the closing lines: the reverb statement
// when there is one, and the end statement. Line ends may be LF or CR LF.
// Table 1 of a granule score may have any size, so that a score whose table
// was widened by hand for a long sound file reads too. The grains' values
// come back for drawing and for rendering; whatever departs from what the
// programs write comes back as a problem with its line, in the order of the
// lines, because Csound itself lets a short or garbled statement through.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "score_format.hpp"

namespace grain {

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
    std::optional<Program> program;         // whose score it is; unset when no header fits
    std::vector<GrainStatement> grains;     // in the order of the score
    std::vector<int> voices;                // the voice numbers found, ascending
    bool reverb = false;                    // the reverb statement is there
    int reverbLine = 0;                     // its line, from 1
    double reverbDuration = 0.0;            // its duration, seconds
    std::vector<std::string> problems;      // "line N: what is wrong"; empty when the score is sound
    // granulescore: table 1's statement, its line (from 1), the size it
    // gives the table (0: the file's length) and the sound file it reads.
    int soundTableLine = 0;
    long long soundTableSize = 0;
    std::string soundFile;
};

// Reads a whole score, recognising its program by its column comment.
ScoreReading readScore(const std::string& score);

// Reads a whole score as a score of the given program.
ScoreReading readScore(const std::string& score, Program program);

}  // namespace grain
