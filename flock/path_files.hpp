// The flock's paths on disk: the coordinate files that the score programs
// read (three per boid, one value per line) and an SVG picture of the paths.
// Numbers are written in fixed point from an integer count of their last
// decimal, so the files are the same, byte for byte, on every machine. Files
// are written under temporary names and renamed only when all are complete:
// a failure leaves no half-written file behind (the picture too).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "flock_simulation.hpp"

namespace flock {

// value rounded to decimals places (half away from zero), as text with a
// minus sign when below zero and never "-0".
std::string fixedText(double value, int decimals);

// The text of one coordinate file: the values, four decimals, one per line.
std::string coordinateText(const std::vector<double>& values);

struct WriteOutcome {
    bool ok = false;
    std::string failure;                    // file and reason, when not ok
    std::vector<std::string> removedStale;  // names of old files of higher boid numbers removed
};

// Writes bg<k>a.txt, bg<k>e.txt and bg<k>d.txt for every boid into folder
// (created when missing), then removes files of boid numbers beyond the flock.
WriteOutcome writeCoordinateFiles(const std::vector<BoidPath>& paths, const std::filesystem::path& folder);

// The SVG picture: the paths seen from above and the elevations over time.
std::string pathsPicture(const std::vector<BoidPath>& paths, const FlockSettings& settings);

}  // namespace flock
