// The command line of flockpaths: every option, its default, its limits and
// the help text. Parsing never exits or prints; it hands back the settings,
// a request for help or the version, or the reason the command line is refused.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "flock_simulation.hpp"
#include "outcome.hpp"

namespace flock {

inline constexpr int maxSamples = 20000;       // what a score program reads of one coordinate file
inline constexpr int maxVoices = 100;
inline constexpr double maxIntervalSeconds = 10.0;
inline constexpr double maxFlightSeconds = 3600.0;  // (samples - 1) x interval

struct FlockOptions {
    FlockSettings settings;
    std::filesystem::path folder;    // where the coordinate files go
    std::optional<std::filesystem::path> svg;  // picture of the paths, when asked for
    bool replace = false;            // coordinate files that flockpaths did not write may be replaced
    bool help = false;
    bool version = false;
};

// The options when the command line is good, or why it is not.
using ParsedOptions = grain::Outcome<FlockOptions>;

// Reads the arguments after the program name; defaultFolder is the folder used without --out.
ParsedOptions parseFlockOptions(const std::vector<std::string>& arguments,
                                const std::filesystem::path& defaultFolder);

// The --help text.
std::string flockUsage(const std::filesystem::path& defaultFolder);

}  // namespace flock
