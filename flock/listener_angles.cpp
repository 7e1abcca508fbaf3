#include "listener_angles.hpp"

#include <cmath>

namespace flock {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double sqrt3 = 1.73205080756887729353;
constexpr double tanPiOver12 = 0.26794919243112270647;  // 2 - sqrt(3)

// Arctangent of t for 0 <= t <= 1. Above tan(pi/12) the argument is moved
// down by pi/6 with atan(t) = pi/6 + atan((t*sqrt3 - 1) / (t + sqrt3)); the
// rest is the power series, which converges fast below 0.268.
double atanUnit(double t) {
    double base = 0.0;
    if (t > tanPiOver12) {
        t = (t * sqrt3 - 1.0) / (t + sqrt3);
        base = pi / 6.0;
    }
    double square = t * t;
    double term = t;
    double sum = 0.0;
    for (int k = 0; k < 16; ++k) {  // 0.268^33 / 33 is far below double precision
        sum += term / static_cast<double>(2 * k + 1);
        term = -term * square;
    }
    return base + sum;
}

// Arctangent of any finite t.
double portableAtan(double t) {
    double magnitude = t < 0.0 ? -t : t;
    double angle = magnitude <= 1.0 ? atanUnit(magnitude) : pi / 2.0 - atanUnit(1.0 / magnitude);
    return t < 0.0 ? -angle : angle;
}

}  // namespace

double portableAtan2(double y, double x) {
    if (x == 0.0) {
        if (y > 0.0) return pi / 2.0;
        if (y < 0.0) return -pi / 2.0;
        return 0.0;
    }
    double angle = portableAtan(y / x);
    if (x > 0.0) return angle;
    return y < 0.0 ? angle - pi : angle + pi;
}

ListenerAngles listenerAngles(const Vec3& p) {
    constexpr double degrees = 180.0 / pi;
    double horizontal = std::sqrt(p.x * p.x + p.y * p.y);
    ListenerAngles angles;
    angles.distance = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    angles.azimuth = portableAtan2(-p.y, p.x) * degrees;  // +y is left, so right is clockwise
    angles.elevation = portableAtan2(p.z, horizontal) * degrees;
    return angles;
}

}  // namespace flock
