// Where the coordinate files are and what they are called: for every voice
// (a boid of the flock) the azimuth, elevation and distance, one value per
// spatial sampling interval, in bg<voice>a.txt, bg<voice>e.txt and
// bg<voice>d.txt, the voice written as a whole number from 1. The score
// programs read them from the fixed folder where the flocking patch writes;
// flockpaths writes them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace grain {

// The letters of a voice's three files, in the order azimuth, elevation, distance.
inline constexpr std::string_view coordinateLetters = "aed";

// The fixed folder the patch writes to: D:\Max\bg on Windows, and where the
// D: drive appears on other systems, /mnt/d/Max/bg.
std::filesystem::path fixedCoordinateFolder();

// The name of one coordinate file of a voice: letter 'a', 'e' or 'd' ("bg12e.txt").
std::string coordinateFileName(long long voice, char letter);

// The file of one coordinate of a voice in folder.
std::filesystem::path coordinateFilePath(const std::filesystem::path& folder, long long voice, char letter);

// A file name that the score programs read as a coordinate file: its voice
// and which coordinate.
struct CoordinateName {
    long long voice = 0;    // from 1
    std::size_t letter = 0;  // index into coordinateLetters
};

// The voice and coordinate of name, exactly as coordinateFileName spells
// them (on Windows in either case, as its file system reads them); nothing
// for any other name.
std::optional<CoordinateName> coordinateNameOf(std::string name);

}  // namespace grain
