// Where a grain is in space: a voice's trajectory read at a fractional read
// position by linear interpolation between two neighbouring samples, the
// azimuth the shorter way round, with the azimuth offset by 360 degrees (and,
// in glissonscore, the elevation by 90).
// Each grain also carries the point of the voice's previous grain, for the
// score's Aziold, Elevold and Distold fields.
#pragma once

#include <optional>
#include <ostream>

#include "coordinate_files.hpp"

namespace grain {

struct TrajectoryPoint {
    float azimuth = 0.0f;    // degrees, +360 until wrapped
    float elevation = 0.0f;  // degrees, +90 in glissonscore
    float distance = 0.0f;
};

// Prints the four end-of-data messages of a voice whose data end before its
// read position.
void printEndOfData(std::ostream& console);

// (s[i + 1] - s[i]) x f + s[i], evaluated in double, stored as float.
inline float interpolateSamples(const float* samples, int index, float fraction) {
    return static_cast<float>((static_cast<double>(samples[index + 1]) - samples[index]) * fraction +
                              samples[index]);
}

// The azimuth between two samples, turning the shorter way round: a boid that
// passes behind the listener goes from about 180 to about -180 degrees (or,
// in data from 0 to 360, from about 360 to about 0 ahead), and the grains in
// between belong behind (ahead), not on the opposite side. The difference is
// taken in double and brought into -180 to 180 once; a difference of exactly
// 180 or -180 stays as it is. In data from 0 to 360 the result can pass 360
// (350 and 20 halfway give 365); the wrap, which takes 360 off at most once,
// writes it as 365, as it writes any interpolated azimuth above 360.
inline float interpolateAzimuth(const float* samples, int index, float fraction) {
    double difference = static_cast<double>(samples[index + 1]) - samples[index];
    if (difference > 180) difference -= 360;
    else if (difference < -180) difference += 360;
    return static_cast<float>(difference * fraction + samples[index]);
}

// Writes the point at readPosition into point, offsets applied and azimuth
// not yet wrapped, and returns true; or, when the voice's data ends before
// readPosition + 1, prints the four end-of-data messages and returns false.
// addElevationOffset is glissonscore's +90 degrees. Inline, with the point
// written in place, as the functions around it are: a point returned through
// memory, stored a float at a time and loaded whole, waits for its stores.
inline bool samplePoint(const Trajectory& trajectory, float readPosition, bool addElevationOffset,
                        std::ostream& console, TrajectoryPoint& point) {
    // Read positions are never negative; anything at or past the last sample
    // (the capacity bound first, so the index always fits an int) has no
    // following sample to interpolate towards.
    int index = readPosition < static_cast<float>(trajectoryCapacity) ? static_cast<int>(readPosition)
                                                                       : trajectoryCapacity;
    if (!(index + 1 < trajectory.sampleCount)) {
        printEndOfData(console);
        return false;
    }
    auto fraction = static_cast<float>(static_cast<double>(readPosition) - index);
    point.azimuth = interpolateAzimuth(trajectory.azimuth.data(), index, fraction);
    point.elevation = interpolateSamples(trajectory.elevation.data(), index, fraction);
    point.distance = interpolateSamples(trajectory.distance.data(), index, fraction);
    point.azimuth = static_cast<float>(static_cast<double>(point.azimuth) + 360);
    if (addElevationOffset) point.elevation = static_cast<float>(static_cast<double>(point.elevation) + 90);
    return true;
}

// The point that samplePoint writes, or nothing after its messages.
inline std::optional<TrajectoryPoint> sampleTrajectory(const Trajectory& trajectory, float readPosition,
                                                       bool addElevationOffset, std::ostream& console) {
    TrajectoryPoint point;
    if (!samplePoint(trajectory, readPosition, addElevationOffset, console, point)) return std::nullopt;
    return point;
}

// Brings an offset azimuth into 0 to 360: once +360 when negative, then once
// -360 when above 360.
inline float wrapAzimuth(float azimuth) {
    if (!(azimuth >= 0.0f)) azimuth = static_cast<float>(static_cast<double>(azimuth) + 360);
    if (azimuth > 360.0f) azimuth = static_cast<float>(static_cast<double>(azimuth) - 360);
    return azimuth;
}

// The elevation as the score shows it: glissonscore removes its +90 offset.
inline float writtenElevation(float elevation, bool addElevationOffset) {
    return addElevationOffset ? static_cast<float>(static_cast<double>(elevation) - 90) : elevation;
}

}  // namespace grain
