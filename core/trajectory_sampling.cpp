#include "trajectory_sampling.hpp"

namespace grain {

namespace {

// (s[i + 1] - s[i]) x f + s[i], evaluated in double, stored as float.
float interpolate(const float* samples, int index, float fraction) {
    return static_cast<float>((static_cast<double>(samples[index + 1]) - samples[index]) * fraction +
                              samples[index]);
}

}  // namespace

std::optional<TrajectoryPoint> sampleTrajectory(const Trajectory& trajectory, float readPosition,
                                                bool addElevationOffset, std::ostream& console) {
    // Read positions are never negative; anything at or past the last sample
    // (the capacity bound first, so the index always fits an int) has no
    // following sample to interpolate towards.
    int index = readPosition < static_cast<float>(trajectoryCapacity) ? static_cast<int>(readPosition)
                                                                       : trajectoryCapacity;
    if (!(index + 1 < trajectory.sampleCount)) {
        console << "\n\nEnd of Boids input file reached\n\n"
                << "Score file will contain unstable values\n\n"
                << "Please either increase the minimum grain duration, or\n"
                << "resample Boids in MAX MSP at a faster sampling period\n";
        return std::nullopt;
    }
    auto fraction = static_cast<float>(static_cast<double>(readPosition) - index);
    TrajectoryPoint point;
    point.azimuth = interpolate(trajectory.azimuth.data(), index, fraction);
    point.elevation = interpolate(trajectory.elevation.data(), index, fraction);
    point.distance = interpolate(trajectory.distance.data(), index, fraction);
    point.azimuth = static_cast<float>(static_cast<double>(point.azimuth) + 360);
    if (addElevationOffset) point.elevation = static_cast<float>(static_cast<double>(point.elevation) + 90);
    return point;
}

float wrapAzimuth(float azimuth) {
    if (!(azimuth >= 0.0f)) azimuth = static_cast<float>(static_cast<double>(azimuth) + 360);
    if (azimuth > 360.0f) azimuth = static_cast<float>(static_cast<double>(azimuth) - 360);
    return azimuth;
}

float writtenElevation(float elevation, bool addElevationOffset) {
    return addElevationOffset ? static_cast<float>(static_cast<double>(elevation) - 90) : elevation;
}

}  // namespace grain
