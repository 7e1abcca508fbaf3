// additivescore: asks its dialogue on the console and writes VELAROOKadditive.sco
// in the current directory from the Boids coordinate files in the fixed folder.
#include <filesystem>
#include <iostream>

#include "additive_score.hpp"
#include "coordinate_files.hpp"

int main() {
    std::ios::sync_with_stdio(false);
    return grain::runAdditiveScore(std::cin, std::cout, grain::fixedCoordinateFolder(), std::filesystem::path("."));
}
