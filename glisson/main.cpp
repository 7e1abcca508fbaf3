// glissonscore: asks its dialogue on the console and writes VELAROOKglisson.sco
// in the current directory from the Boids coordinate files in the fixed folder.
// --help and --version answer without starting the dialogue.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "coordinate_files.hpp"
#include "glisson_score.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (auto answered = grain::answerCommandLine(grain::Program::glisson, arguments, std::cout, std::cerr))
        return *answered;
    return grain::runGlissonScore(std::cin, std::cout, grain::fixedCoordinateFolder(), std::filesystem::path("."));
}
