// A strict reading of a score written by one of the score programs, for the
// tests that hand such scores to Csound: the header lines in place, every
// grain statement with exactly its program's p-fields, each a fixed-point
// number with six decimals (the voice a whole number), and the closing lines.
// Csound itself lets a short or garbled statement through, so this is checked
// before a score is rendered.
#pragma once

#include <string>
#include <vector>

#include "run_parameters.hpp"

namespace flock {

struct ScoreStructure {
    std::vector<std::string> problems;  // "line N: what is wrong"; empty when the score is sound
    int statements = 0;                 // grain statements
    int voices = 0;                     // different voice numbers among them
    bool reverb = false;                // the reverb statement is there
};

// P-fields of one grain statement of the program, "i1" included.
int grainFields(grain::Program program);

// Checks the text of a whole score of the program.
ScoreStructure checkScore(grain::Program program, const std::string& score);

}  // namespace flock
