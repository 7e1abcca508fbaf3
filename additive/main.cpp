// additivescore: asks its dialogue on the console and writes VELAROOKadditive.sco
// in the current directory from the Boids coordinate files in the fixed folder.
// --help and --version answer without starting the dialogue.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "additive_score.hpp"
#include "command_line.hpp"
#include "coordinate_files.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (auto answered = grain::answerCommandLine(grain::Program::additive, arguments, std::cout, std::cerr))
        return *answered;
    return grain::runAdditiveScore(std::cin, std::cout, grain::fixedCoordinateFolder(), std::filesystem::path("."));
}
