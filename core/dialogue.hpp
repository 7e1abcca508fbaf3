// The question-and-answer dialogue with which every program starts: which
// Csound instrument the score is for, the grain durations, the density, the
// total duration, the number of grain streams, reverb, and each program's own
// settings. It also derives the minimum grain duration, the time between two
// samples of a voice's trajectory.
#pragma once

#include "answer_reader.hpp"
#include "outcome.hpp"
#include "run_parameters.hpp"

namespace grain {

// Asks the program's questions in its order and returns the answers. A menu
// answer other than 1, 2 or 3 is asked again; an answer that is not a number,
// or the end of the input, throws DialogueStopped.
RunParameters runDialogue(Program program, AnswerReader& reader);

// Done when the answers can give a score, or why not (a minimum grain
// duration that is not a positive finite number).
Outcome<> answersUsable(Program program, const RunParameters& parameters);

}  // namespace grain
