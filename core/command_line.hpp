// The command line of the score programs. Started without arguments, a
// program asks its dialogue as it always has; "--help" tells the composer what
// it asks, where it reads the coordinate files and which score it writes where;
// "--version" names the program and the version of the collection. Neither
// writes a file. "--answers FILE" runs the dialogue from an answers file
// (answers_file.hpp), such as the one every run leaves beside its score. Any
// other argument is refused in one line that points to "--help", before the
// dialogue starts.
#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "run_parameters.hpp"
#include "version.hpp"

namespace grain {

// The --help text of a score program.
std::string programHelp(Program program);

// Answers the arguments after the program's name. Returns the exit status when
// the command line was answered (0 for --help and --version, 2 for anything
// else), or nothing when the dialogue should run: answersFile is then the
// file named by --answers, or empty for the console.
std::optional<int> answerCommandLine(Program program, const std::vector<std::string>& arguments,
                                     std::ostream& console, std::ostream& errors,
                                     std::filesystem::path& answersFile);

// A score program's whole run: answers, console, coordinate folder, score
// folder, errors and the answers file (empty for the console) in; the exit
// status out.
using ScoreProgramRun = int (*)(std::istream&, std::ostream&, const std::filesystem::path&,
                                const std::filesystem::path&, std::ostream&, const std::filesystem::path&);

// The whole of a score program's main: the command line answered, or the run
// on the console, from the fixed coordinate folder into the current folder.
int scoreProgramMain(Program program, ScoreProgramRun run, int argc, char** argv);

}  // namespace grain
