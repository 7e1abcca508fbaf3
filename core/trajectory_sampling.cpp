#include "trajectory_sampling.hpp"

namespace grain {

void printEndOfData(std::ostream& console) {
    console << "\n\nEnd of Boids input file reached\n\n"
            << "Score file will contain unstable values\n\n"
            << "Please either increase the minimum grain duration, or\n"
            << "resample Boids in MAX MSP at a faster sampling period\n";
}

}  // namespace grain
