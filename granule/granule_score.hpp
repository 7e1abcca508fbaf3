// granulescore: a score that cuts grains out of one mono sound file, each from
// a random position, for VelaRookgranule.orc.
#pragma once

#include <filesystem>
#include <iostream>

namespace grain {

// The whole run: dialogue from input, console text to console, coordinate
// files from coordinateFolder, VELAROOKgranule.sco into scoreFolder.
// With answersFile, the answers come from that file instead of input.
// Returns the exit status.
int runGranuleScore(std::istream& input, std::ostream& console, const std::filesystem::path& coordinateFolder,
                    const std::filesystem::path& scoreFolder, std::ostream& errors = std::cerr,
                    const std::filesystem::path& answersFile = {});

}  // namespace grain
