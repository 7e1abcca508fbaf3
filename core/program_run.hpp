// A whole run of one of the score programs: the dialogue, the score file with
// its header, the program's voice loop, and the finished score. Each program
// supplies only its voice loop; tests drive whole runs with their own streams
// and folders.
#pragma once

#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>

#include "exit_status.hpp"
#include "run_parameters.hpp"
#include "run_state.hpp"
#include "score_writer.hpp"

namespace grain {

using VoiceLoop = std::function<void(const RunParameters&, ScoreWriter&, RunState&)>;

// The exit status of a run whose score was written but lacks a voice, or
// part of one (files missing, data ending early, a voice that stopped).
inline constexpr int incompleteScoreStatus = exitIncompleteScore;

// Runs the program: answers from input (or, when answersFile is given, from
// that answers file, each answer shown after its question), prompts and
// progress to console,
// coordinate files from coordinateFolder, the score into scoreFolder, errors
// to errors. Returns the exit status (exit_status.hpp): 0 when the score was written whole; 3
// when it was written but a voice is missing or cut short, each named in a
// line on errors after the completion message; 1 when the dialogue could not
// be completed, the answers give no usable schedule, or the score could not be
// written (an earlier score is then left as it was). Beside every score it
// writes, the answers it took go into <program>.answers (answers_file.hpp),
// placed together with the score; an answers file that holds more answers
// than the dialogue asked for is refused (a changed menu answer would shift
// the rest onto the wrong questions). When the coordinate folder holds a
// flock recorded at another sampling interval than the minimum grain
// duration, one warning line on errors says how much slower or faster the
// paths will play (flock_record.hpp).
int runScoreProgram(Program program, std::istream& input, std::ostream& console,
                    const std::filesystem::path& coordinateFolder, const std::filesystem::path& scoreFolder,
                    std::ostream& errors, const VoiceLoop& voiceLoop, const std::filesystem::path& answersFile = {});

}  // namespace grain
