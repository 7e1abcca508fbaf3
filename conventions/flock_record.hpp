// The record that flockpaths keeps beside the coordinate files it wrote,
// flockpaths.manifest: the flock's sampling interval, the time between two
// samples of every boid, and each file with its size and digest. The score
// programs read only the interval: a voice's read position moves on by one
// sample per minimum grain duration, so a flock sampled at another interval
// plays its paths slower or faster than the boids flew them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace grain {

// The record's name, in the folder of the coordinate files.
inline constexpr const char* flockRecordName = "flockpaths.manifest";

// The record's line for the sampling interval, line end included
// ("interval 0.05 s").
std::string intervalRecordLine(double seconds);

// Whether line (without its line end) is the record's interval line.
bool isIntervalRecordLine(const std::string& line);

// The sampling interval recorded in folder's flockpaths.manifest, seconds;
// nothing when there is no record or it names no interval.
std::optional<double> recordedSamplingInterval(const std::filesystem::path& folder);

// When folder holds a record whose interval differs from minGrainDur (by more
// than rounding), what that does to the paths, in one sentence without a
// line end: "the flock in F was sampled every 0.04 s, but the minimum grain
// duration is 0.125 s: its paths will play 3.1 times slower (flockpaths
// --interval 0.125 samples them at the score's pace)"; nothing otherwise.
std::optional<std::string> samplingIntervalMismatch(const std::filesystem::path& folder, float minGrainDur);

}  // namespace grain
