// glissonscore: asks its dialogue on the console and writes VELAROOKglisson.sco
// in the current directory from the Boids coordinate files in the fixed folder.
#include <filesystem>
#include <iostream>

#include "coordinate_files.hpp"
#include "glisson_score.hpp"

int main() {
    std::ios::sync_with_stdio(false);
    return grain::runGlissonScore(std::cin, std::cout, grain::fixedCoordinateFolder(), std::filesystem::path("."));
}
