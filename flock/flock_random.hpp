// The flock's own random source: a small 64-bit generator (SplitMix64) whose
// every draw is integer arithmetic, so one seed gives the same flock on every
// machine and with every standard library.
#pragma once

#include <cstdint>

namespace flock {

class FlockRandom {
public:
    explicit FlockRandom(std::uint64_t seed) : state_(seed) {}

    // The next 64 random bits.
    std::uint64_t next() {
        state_ += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A real from 0 (possible) to 1 (never), from the top 53 bits: exact.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    // A real from low to high.
    double between(double low, double high) { return low + (high - low) * uniform(); }

private:
    std::uint64_t state_;
};

}  // namespace flock
