// Where a boid is as the listener hears it. The listener sits at the origin
// facing along +x, with +y to the left and +z up. A position becomes:
//   azimuth   degrees from straight ahead, clockwise seen from above:
//             0 ahead, 90 right, -90 left, 180 behind (-180 < azimuth <= 180);
//   elevation degrees above the horizontal plane, -90 (below) to 90 (above);
//   distance  metres from the listener.
// The angles are worked out with additions, multiplications, divisions and
// square roots only (no library arctangent), so that they come out the same,
// bit for bit, on every machine.
#pragma once

namespace flock {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

struct ListenerAngles {
    double azimuth = 0.0;    // degrees
    double elevation = 0.0;  // degrees
    double distance = 0.0;   // metres
};

// The arctangent of y / x in radians, -pi < result <= pi, like std::atan2
// for finite arguments (0 for the origin).
double portableAtan2(double y, double x);

// The listener's view of a position.
ListenerAngles listenerAngles(const Vec3& position);

}  // namespace flock
