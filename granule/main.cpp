// granulescore: asks its dialogue on the console and writes VELAROOKgranule.sco
// in the current directory from the Boids coordinate files in the fixed folder.
// --help and --version answer without starting the dialogue.
#include "command_line.hpp"
#include "granule_score.hpp"

int main(int argc, char** argv) {
    return grain::scoreProgramMain(grain::Program::granule, grain::runGranuleScore, argc, argv);
}
