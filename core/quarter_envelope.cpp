#include "quarter_envelope.hpp"

#include <cstddef>

namespace grain {

namespace {

// Array position of a segment-numbered element: points[k], anchors[k - 1].
std::size_t at(int position) { return static_cast<std::size_t>(position); }

double quarterLength(const QuarterEnvelope& envelope) { return envelope.totalDuration / 4.0; }

// The end of segment k (1 to 3) as a voice clock would hold it: T/4, T/2 or
// T x 3/4 in double, stored as a float.
float segmentEnd(const QuarterEnvelope& envelope, int k) {
    double T = envelope.totalDuration;
    double end = k == 1 ? T / 4 : k == 2 ? T / 2 : T * 3 / 4;
    return static_cast<float>(end);
}

// The value-anchored formula of segment k at t, scale applied, from anchor
// value a at anchor time tau.
float valueInSegment(const QuarterEnvelope& e, int k, float t, float scale, float a, float tau) {
    double rise = static_cast<double>(e.points[at(k)]) - e.points[at(k - 1)];
    return static_cast<float>((static_cast<double>(t) - tau) / quarterLength(e) * rise * scale + a);
}

// The value-anchored anchor that segment k continues from: the start value
// for segment 1, else the anchor of segment k - 1. No evaluation may have
// fallen into segment k - 1 yet (only early in a run, when one interval spans
// a whole quarter): then it is made as if one had fallen on that segment's end.
void valueAnchorBefore(QuarterEnvelope& e, int k, float scale, float& a, float& tau) {
    if (k == 1) {
        a = e.startValue;
        tau = 0.0f;
        return;
    }
    int previous = k - 1;
    if (!e.anchorSet[at(previous - 1)]) {
        float fromValue = 0.0f;
        float fromTime = 0.0f;
        valueAnchorBefore(e, previous, scale, fromValue, fromTime);
        float end = segmentEnd(e, previous);
        e.anchorValue[at(previous - 1)] = valueInSegment(e, previous, end, scale, fromValue, fromTime);
        e.anchorTime[at(previous - 1)] = end;
        e.anchorSet[at(previous - 1)] = true;
    }
    a = e.anchorValue[at(previous - 1)];
    tau = e.anchorTime[at(previous - 1)];
}

}  // namespace

QuarterEnvelope makeQuarterEnvelope(const std::array<float, 5>& points, float totalDuration) {
    QuarterEnvelope envelope;
    envelope.points = points;
    envelope.totalDuration = totalDuration;
    return envelope;
}

void beginVoice(QuarterEnvelope& envelope, float startValue) { envelope.startValue = startValue; }

int segmentOf(const QuarterEnvelope& envelope, float t) {
    double T = envelope.totalDuration;
    if (t <= T / 4) return 1;
    if (t <= T / 2) return 2;
    if (t <= T * 3 / 4) return 3;
    return 4;
}

float valueAnchoredAt(QuarterEnvelope& envelope, float t, float scale) {
    int k = segmentOf(envelope, t);
    float a = 0.0f;
    float tau = 0.0f;
    valueAnchorBefore(envelope, k, scale, a, tau);
    float value = valueInSegment(envelope, k, t, scale, a, tau);
    if (k <= 3) {
        envelope.anchorValue[at(k - 1)] = value;
        envelope.anchorTime[at(k - 1)] = t;
        envelope.anchorSet[at(k - 1)] = true;
    }
    return value;
}

float timeAnchoredAt(QuarterEnvelope& envelope, float t, float base) {
    int k = segmentOf(envelope, t);
    float tau = 0.0f;
    if (k > 1) {
        if (!envelope.anchorSet[at(k - 2)]) {  // as if an evaluation had fallen on the segment's end
            envelope.anchorTime[at(k - 2)] = segmentEnd(envelope, k - 1);
            envelope.anchorSet[at(k - 2)] = true;
        }
        tau = envelope.anchorTime[at(k - 2)];
    }
    double from = envelope.points[at(k - 1)];
    auto restart = static_cast<float>(from * base + base);
    double rise = static_cast<double>(envelope.points[at(k)]) - envelope.points[at(k - 1)];
    auto value = static_cast<float>((static_cast<double>(t) - tau) / quarterLength(envelope) * rise * base + restart);
    if (k <= 3) {
        envelope.anchorTime[at(k - 1)] = t;
        envelope.anchorSet[at(k - 1)] = true;
    }
    return value;
}

}  // namespace grain
