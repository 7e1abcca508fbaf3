// The answers file: the answers a run's dialogue took, kept beside its score
// as "<program>.answers" ("glissonscore.answers", ...), so that the same
// score can be made again, or one answer changed, without typing the whole
// dialogue: "glissonscore --answers glissonscore.answers".
//
// One answer a line, in the order asked, as it was typed, each followed by a
// comment that names its question and unit ("10          # total duration,
// s"); granulescore's sound file name stands on a line of its own, its
// comment on the line before, because the whole line is the name. Blank lines
// and comments from "#" to the line end are passed over when the file is read
// (answer_reader.hpp), so a composer may add their own.
#pragma once

#include <string>
#include <vector>

#include "answer_reader.hpp"
#include "run_parameters.hpp"

namespace grain {

// "<program>.answers": the name the answers file is written under, beside the score.
std::string answersFileName(Program program);

// The text of the answers file for the answers taken.
std::string answersFileText(Program program, const std::vector<TakenAnswer>& taken);

}  // namespace grain
