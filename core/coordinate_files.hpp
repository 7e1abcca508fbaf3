// The Boids coordinate files: for every voice the flocking patch writes the
// azimuth, elevation and distance of one boid, one value per spatial sampling
// interval, into bg<voice>a.txt, bg<voice>e.txt and bg<voice>d.txt in the
// fixed coordinate folder. A voice's three files are loaded into the run's one
// Trajectory when the voice starts and closed when it is done.
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>

#include "run_parameters.hpp"

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

// The open coordinate files of the current voice.
struct VoiceFiles {
    std::FILE* azimuth = nullptr;
    std::FILE* elevation = nullptr;
    std::FILE* distance = nullptr;
};

// The fixed folder the patch writes to: D:\Max\bg on Windows, and where the
// D: drive appears on other systems, /mnt/d/Max/bg.
std::filesystem::path fixedCoordinateFolder();

// The file of one coordinate of a voice: letter 'a', 'e' or 'd'.
std::filesystem::path coordinateFilePath(const std::filesystem::path& folder, int voice, char letter);

// Prints the voice's console line, opens its three files and reads them into
// trajectory. When a file is missing, prints the two failure messages, closes
// whatever did open and returns nothing: the voice loop then ends. Values that
// cannot be read end the voice's data at the last complete sample, with one
// warning line naming the file.
std::optional<VoiceFiles> loadTrajectory(int voice, Trajectory& trajectory, const std::filesystem::path& folder,
                                         Program program, std::ostream& console);

// Closes the voice's azimuth, elevation and distance files, in this order.
void closeVoiceFiles(VoiceFiles& files);

}  // namespace grain
