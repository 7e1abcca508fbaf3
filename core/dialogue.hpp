// The question-and-answer dialogue with which every program starts: which
// Csound instrument the score is for, the grain durations, the density, the
// total duration, the number of grain streams, reverb, and each program's own
// settings. It also derives the minimum grain duration, the time between two
// samples of a voice's trajectory.
#pragma once

#include <optional>
#include <string>

#include "answer_reader.hpp"
#include "run_parameters.hpp"

namespace grain {

// Asks the program's questions in its order and returns the answers. A menu
// answer other than 1, 2 or 3 is asked again; an answer that is not a number,
// or the end of the input, throws DialogueStopped.
RunParameters runDialogue(Program program, AnswerReader& reader);

// Why the answers cannot give a score (a minimum grain duration that is not a
// positive finite number), or nothing when they can.
std::optional<std::string> unusableAnswers(Program program, const RunParameters& parameters);

}  // namespace grain
