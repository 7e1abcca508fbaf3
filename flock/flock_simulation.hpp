// The flock: boids that fly around the listener by three local rules
// (separation from near neighbours, alignment with their heading, cohesion
// towards their centre), kept inside a bounding sphere around the listener
// and out of the listener's own space, with a little wander, and between a
// minimum and a maximum speed. Every boid's path is sampled once per spatial
// sampling interval as the listener hears it.
#pragma once

#include <cstdint>
#include <vector>

#include "listener_angles.hpp"

namespace flock {

struct FlockSettings {
    int voices = 4;                 // boids, one per grain stream
    double interval = 0.05;         // seconds between samples
    int samples = 241;              // samples per boid
    std::uint64_t seed = 1;
    double separation = 1.5;        // weight of keeping apart from near neighbours
    double alignment = 1.0;         // weight of flying like the neighbours
    double cohesion = 1.0;          // weight of staying with the neighbours
    double wander = 0.5;            // weight of each boid's own random steering
    double radius = 20.0;           // bounding sphere around the listener, metres
    double minSpeed = 1.0;          // metres per second
    double maxSpeed = 6.0;          // metres per second
};

// Radius around the listener that the boids keep out of, metres.
inline constexpr double listenerSpace = 1.0;

// One boid's path: sample k is where it is k intervals after the start.
struct BoidPath {
    std::vector<Vec3> positions;
    std::vector<ListenerAngles> heard;
};

// Flies the flock and samples every boid. The same settings give the same paths.
std::vector<BoidPath> simulateFlock(const FlockSettings& settings);

}  // namespace flock
