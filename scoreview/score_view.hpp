// scoreview's command line: reads a score of one of the score programs and
// writes its picture, or refuses a score that is not sound with the line and
// what is wrong, writing nothing.
//
//   scoreview SCORE [-o FILE.svg]    without -o the picture is SCORE with .svg
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace scoreview {

// Runs scoreview on the arguments after its name. Returns the exit status
// (exit_status.hpp):
// 0 when the picture was written (or help or the version shown), 1 when the
// score is refused or a file cannot be read or written, 2 for a command line
// it does not understand.
int runScoreView(const std::vector<std::string>& arguments, std::ostream& console, std::ostream& errors);

}  // namespace scoreview
