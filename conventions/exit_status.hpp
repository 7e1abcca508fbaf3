// How every tool of the collection ends: its exit status, and the one line
// "tool: reason" on the error stream when it could not do what it was asked.
// The statuses are the same for every tool:
//   0  done
//   1  failed: a file could not be read or written, or the input was refused
//   2  the command line was not understood
//   3  a score program wrote its score, but a voice is missing or cut short
#pragma once

#include <ostream>
#include <string_view>

namespace grain {

enum ExitStatus : int {
    exitDone = 0,
    exitFailed = 1,
    exitCommandLine = 2,
    exitIncompleteScore = 3,
};

// Prints "tool: reason" and a line end on errors and returns status, for
// main's (or the whole run's) return.
int leave(std::ostream& errors, std::string_view tool, std::string_view reason, ExitStatus status);

}  // namespace grain
