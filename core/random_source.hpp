// The random source of a run: a 15-bit linear congruential generator that
// gives every voice its phase and, in granulescore, every grain its file play
// position. It is never reseeded, so the same answers and coordinate files
// always draw the same numbers: 41, 18467, 6334, 26500, 19169, 15724, ...
#pragma once

#include <cstdint>

namespace grain {

struct RandomSource {
    std::uint32_t state = 1;
};

// Advances the generator and returns the next draw, 0 to 32767.
int draw(RandomSource& source);

// The next draw as a fraction from 0 to 1: d / 32767 in double, stored as float.
float drawFraction(RandomSource& source);

}  // namespace grain
