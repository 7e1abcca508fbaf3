// flockpaths as a whole: the command line in, the coordinate files (and the
// picture) out, a summary on the console and any refusal or failure on the
// error stream.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace flock {

// Runs flockpaths with the arguments after the program name. Returns the exit
// status (exit_status.hpp): 0 when every file was written, 1 when the folder
// holds coordinate files that flockpaths may not replace or writing failed,
// 2 when the command line was refused.
int runFlockPaths(const std::vector<std::string>& arguments, const std::filesystem::path& defaultFolder,
                  std::ostream& console, std::ostream& errors);

}  // namespace flock
