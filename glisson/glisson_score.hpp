// glissonscore: a score of glissons, grains that glide from a start to an end
// frequency given by the elevation of their boid, for VelaRookglisson.orc.
#pragma once

#include <filesystem>
#include <iostream>

namespace grain {

// The whole run: dialogue from input, console text to console, coordinate
// files from coordinateFolder, VELAROOKglisson.sco into scoreFolder.
// With answersFile, the answers come from that file instead of input.
// Returns the exit status.
int runGlissonScore(std::istream& input, std::ostream& console, const std::filesystem::path& coordinateFolder,
                    const std::filesystem::path& scoreFolder, std::ostream& errors = std::cerr,
                    const std::filesystem::path& answersFile = {});

}  // namespace grain
