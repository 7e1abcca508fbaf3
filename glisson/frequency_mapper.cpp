#include "frequency_mapper.hpp"

namespace grain {

namespace {

// low + (high - low) x (E / 180)
float linearFrequency(const GlissonFrequencyMapper& m, float elevation) {
    return static_cast<float>(static_cast<double>(m.low) +
                              (static_cast<double>(m.high) - m.low) * (static_cast<double>(elevation) / 180));
}

float twice(float value) { return static_cast<float>(static_cast<double>(value) + value); }

// Mode 3's end frequency: every range that holds E sets it, so where ranges
// overlap the later one wins. None: the held end frequency (before any grain
// set one, the start frequency itself).
float harmonicEnd(const GlissonFrequencyMapper& m, float start, float e) {
    float end = m.hasHeldEnd ? m.heldEnd : start;
    auto times = [start](double ratio) { return static_cast<float>(start * ratio); };
    if (e >= 0.0f && e < 23.0f) end = start;
    if (e >= 22.0f && e < 46.0f) end = times(1.125);
    if (e >= 44.0f && e < 69.0f) end = times(1.25);
    if (e >= 66.0f && e < 92.0f) end = times(1.3333);
    if (e >= 88.0f && e < 115.0f) end = times(1.5);
    if (e >= 110.0f && e < 138.0f) end = times(1.66666);
    if (e >= 132.0f && e < 161.0f) end = times(1.875);
    if (e >= 176.0f && e <= 180.0f) end = twice(start);
    return end;
}

}  // namespace

GlissonFrequencies mapFrequencies(GlissonFrequencyMapper& m, float previous, float current) {
    GlissonFrequencies result{m.heldEnd, m.heldEnd};
    switch (m.mode) {
        case 1:
            result.startFreq = linearFrequency(m, previous);
            result.endFreq = linearFrequency(m, current);
            break;
        case 2:
            result.startFreq = linearFrequency(m, previous);
            if (static_cast<double>(current) - previous >= 0)
                result.endFreq = twice(result.startFreq);
            else if (static_cast<double>(previous) - current > 0)
                result.endFreq = static_cast<float>(result.startFreq * 0.5);
            break;
        case 3:
            result.startFreq =
                static_cast<float>(static_cast<double>(current) / 180 * m.high + m.low);
            result.endFreq = harmonicEnd(m, result.startFreq, current);
            break;
    }
    m.heldEnd = result.endFreq;
    m.hasHeldEnd = true;
    return result;
}

}  // namespace grain
