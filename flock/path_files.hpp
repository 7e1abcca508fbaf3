// The flock's paths on disk: the coordinate files that the score programs
// read (three per boid, one value per line) and an SVG picture of the paths.
// Numbers are written in fixed point from an integer count of their last
// decimal, so the files are the same, byte for byte, on every machine.
//
// The folder is often the one where the composer's Boids patch writes its own
// coordinate files, so flockpaths keeps a record there (flockpaths.manifest)
// of the files it wrote, each with its size and digest, and replaces or
// removes only those, and only while they are unchanged. The files are
// written under temporary names and placed together with the record (and
// the picture) only when all are complete: a failure leaves the folder as it
// was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fixed_text.hpp"
#include "flock_record.hpp"
#include "flock_simulation.hpp"
#include "outcome.hpp"

namespace flock {

// value with the given decimals, never "-0": the numbers of the files, the
// picture and the console.
using grain::fixedText;

// The text of one coordinate file: the values, four decimals, one per line.
std::string coordinateText(const std::vector<double>& values);

// The record of what flockpaths wrote, in the folder of the coordinate files,
// with the flock's sampling interval (flock_record.hpp).
inline constexpr const char* manifestName = grain::flockRecordName;

// Done when flockpaths may replace or remove every coordinate file
// (bg<k>a.txt, ...) in folder; else why not, about the first (by boid
// number, then azimuth, elevation, distance) that is not its own: one not in
// the record, or changed since it was recorded. The reason names the file
// and says which.
grain::Outcome<> ownsCoordinateFiles(const std::filesystem::path& folder);

struct WrittenFlock {
    std::vector<std::string> removedStale;  // names of old files of higher boid numbers removed
};
using WriteOutcome = grain::Outcome<WrittenFlock>;

// Writes bg<k>a.txt, bg<k>e.txt and bg<k>d.txt for every boid, sampled every
// interval seconds, into folder (created when missing) with the record of
// them and of the interval, removes the coordinate
// files of boid numbers beyond the flock and, when a picture is given, writes
// it too: all placed together or nothing. Whether the files in the way may be
// replaced is for the caller to decide first (ownsCoordinateFiles).
WriteOutcome writeFlockFiles(const std::vector<BoidPath>& paths, double interval, const std::filesystem::path& folder,
                             const std::optional<std::filesystem::path>& picture = std::nullopt,
                             const std::string& pictureText = "");

// The SVG picture: the paths seen from above and the elevations over time.
std::string pathsPicture(const std::vector<BoidPath>& paths, const FlockSettings& settings);

}  // namespace flock
