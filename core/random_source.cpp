#include "random_source.hpp"

namespace grain {

int draw(RandomSource& source) {
    source.state = source.state * 214013u + 2531011u;  // modulo 2^32 by unsigned wrap-around
    return static_cast<int>((source.state >> 16) & 0x7FFFu);
}

float drawFraction(RandomSource& source) {
    return static_cast<float>(draw(source) / 32767.0);
}

}  // namespace grain
