// A setting that changes over the piece (the grain duration, the intergrain
// value), given as five values: at the start, a quarter, half, three quarters
// and the end of the total duration T. T is cut into four quarter segments;
// each has the slope of its own pair of values but continues from an anchor
// that the segment before it left at the last grain that fell into it, so
// what a segment yields depends on where the grains fell. The anchors last for
// the whole run, from voice to voice.
//
// Value-anchored: a segment continues from the value and time of the last
// grain of the segment before. Time-anchored: a segment starts from its own
// first value (times a base) but counts the time from the last grain of the
// segment before.
#pragma once

#include <array>

namespace grain {

struct QuarterEnvelope {
    std::array<float, 5> points{};  // values at 0, T/4, T/2, 3T/4 and T
    float totalDuration = 0.0f;     // T, seconds
    float startValue = 0.0f;        // where segment 1 starts (value-anchored)
    // Anchors of segments 1 to 3 (index 0 to 2): the last evaluation in each.
    std::array<float, 3> anchorValue{};
    std::array<float, 3> anchorTime{};
    std::array<bool, 3> anchorSet{};
};

// An envelope over the five points, for a piece of totalDuration seconds.
QuarterEnvelope makeQuarterEnvelope(const std::array<float, 5>& points, float totalDuration);

// Starts a voice: segment 1 will start from startValue. Nothing else is reset.
void beginVoice(QuarterEnvelope& envelope, float startValue);

// The segment, 1 to 4, that time t falls into; a boundary belongs to the
// earlier segment.
int segmentOf(const QuarterEnvelope& envelope, float t);

// The value-anchored value at t, with the slopes multiplied by scale; the
// segment's anchor becomes (value, t).
float valueAnchoredAt(QuarterEnvelope& envelope, float t, float scale);

// The time-anchored value at t with base b; the segment's anchor time becomes t.
float timeAnchoredAt(QuarterEnvelope& envelope, float t, float base);

}  // namespace grain
