// The command line of the score programs. Started without arguments, a
// program asks its dialogue as it always has; "--help" tells the composer what
// it asks, where it reads the coordinate files and which score it writes where;
// "--version" names the program and the version of the collection. Neither
// writes a file. Any other argument is refused in one line that points to
// "--help", before the dialogue starts.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "run_parameters.hpp"

namespace grain {

// The version of the programs, shared by every program of the collection.
const char* collectionVersion();

// "NAME VERSION" and a line end: the answer to --version of any program.
std::string versionLine(const std::string& name);

// The --help text of a score program.
std::string programHelp(Program program);

// Answers the arguments after the program's name. Returns the exit status when
// the command line was answered (0 for --help and --version, 2 for anything
// else), or nothing when there are no arguments and the dialogue should run.
std::optional<int> answerCommandLine(Program program, const std::vector<std::string>& arguments,
                                     std::ostream& console, std::ostream& errors);

}  // namespace grain
