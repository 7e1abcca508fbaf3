// The Boids coordinate files: for every voice the flocking patch writes the
// azimuth, elevation and distance of one boid, one value per spatial sampling
// interval, into bg<voice>a.txt, bg<voice>e.txt and bg<voice>d.txt in the
// fixed coordinate folder (their names: coordinate_names.hpp). A voice's three files are read into the run's one
// Trajectory when the voice starts and closed again before its grains; what
// the reading found is handed back for the voice loop to tell the composer.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "coordinate_names.hpp"

namespace grain {

// Samples per coordinate that a voice can hold.
inline constexpr int trajectoryCapacity = 20000;

// One voice's samples. The run has one, refilled for every voice; samples at
// or beyond sampleCount are left from earlier voices and never read.
struct Trajectory {
    std::array<float, trajectoryCapacity> azimuth;    // degrees
    std::array<float, trajectoryCapacity> elevation;  // degrees, -90 to 90
    std::array<float, trajectoryCapacity> distance;   // the patch's unit
    int sampleCount = 0;
};

// A coordinate file open for reading, closed when the object goes.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CoordinateFile = std::unique_ptr<std::FILE, FileCloser>;

// A coordinate file that could not be opened, and the system's reason.
struct MissingFile {
    std::filesystem::path path;
    std::string reason;
};

// What reading a voice's coordinate files found.
struct TrajectoryLoad {
    std::vector<MissingFile> missing;    // in the order azimuth, elevation, distance; empty when read
    std::filesystem::path unreadable;    // the file whose value sampleCount + 1 is missing or not a number,
                                         // when that and not the distance file's end ended the data
    int sampleCount = 0;                 // the samples the voice holds

    // Whether all three files were there and read.
    bool loaded() const { return missing.empty(); }
};

// Opens the voice's three files, reads them into trajectory and closes them.
// When a file is missing nothing is read, and the result names every file
// that could not be opened; the voice loop then ends. A value that cannot be
// read ends the voice's data at the last complete sample, and the result
// names its file.
TrajectoryLoad loadTrajectory(int voice, Trajectory& trajectory, const std::filesystem::path& folder);

// Prints what the composer is told of a load: the two messages of missing
// files, or the warning that names the file whose values ended early, or
// nothing.
void printLoadMessages(std::ostream& console, int voice, const TrajectoryLoad& load);

}  // namespace grain
