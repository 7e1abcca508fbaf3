// Where a grain is in space: a voice's trajectory read at a fractional read
// position by linear interpolation between two neighbouring samples, with the
// azimuth offset by 360 degrees (and, in glissonscore, the elevation by 90).
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

// The point at readPosition, offsets applied and azimuth not yet wrapped; or,
// when the voice's data ends before readPosition + 1, nothing, after the four
// end-of-data messages. addElevationOffset is glissonscore's +90 degrees.
std::optional<TrajectoryPoint> sampleTrajectory(const Trajectory& trajectory, float readPosition,
                                                bool addElevationOffset, std::ostream& console);

// Brings an offset azimuth into 0 to 360: once +360 when negative, then once
// -360 when above 360.
float wrapAzimuth(float azimuth);

// The elevation as the score shows it: glissonscore removes its +90 offset.
float writtenElevation(float elevation, bool addElevationOffset);

}  // namespace grain
