// flockpaths: flies a flock of boids around the listener and writes their
// paths as Boids coordinate files for the score programs.
#include <iostream>
#include <string>
#include <vector>

#include "coordinate_names.hpp"
#include "flock_paths.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return flock::runFlockPaths(arguments, grain::fixedCoordinateFolder(), std::cout, std::cerr);
}
