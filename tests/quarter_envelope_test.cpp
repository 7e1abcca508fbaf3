#include <gtest/gtest.h>

#include <cmath>

#include "quarter_envelope.hpp"
#include "real_format.hpp"

using namespace grain;

namespace {

std::string valueAt(QuarterEnvelope& e, float t, float scale) { return formatReal(valueAnchoredAt(e, t, scale)); }
std::string timeAt(QuarterEnvelope& e, float t, float base) { return formatReal(timeAnchoredAt(e, t, base)); }

}  // namespace

TEST(QuarterEnvelope, aBoundaryTimeBelongsToTheEarlierSegment) {
    QuarterEnvelope e = makeQuarterEnvelope({0, 1, 2, 3, 4}, 4.0f);
    EXPECT_EQ(segmentOf(e, 0.0f), 1);
    EXPECT_EQ(segmentOf(e, 1.0f), 1);
    EXPECT_EQ(segmentOf(e, std::nextafter(1.0f, 2.0f)), 2);
    EXPECT_EQ(segmentOf(e, 2.0f), 2);
    EXPECT_EQ(segmentOf(e, 3.0f), 3);
    EXPECT_EQ(segmentOf(e, std::nextafter(3.0f, 4.0f)), 4);
    EXPECT_EQ(segmentOf(e, 100.0f), 4);
}

TEST(QuarterEnvelope, boundariesAreComputedInDoubleNotAsFloats) {
    // T = 1.1: 3T/4 in double is 0.82500001788..., the nearest float
    // 0.82500004768... lies above it and so falls into segment 4.
    QuarterEnvelope e = makeQuarterEnvelope({0, 1, 2, 3, 4}, 1.1f);
    float boundary = static_cast<float>(1.1f * 3.0 / 4.0);
    EXPECT_EQ(segmentOf(e, boundary), 4);
    EXPECT_EQ(segmentOf(e, std::nextafter(boundary, 0.0f)), 3);
}

TEST(QuarterEnvelope, valueAnchoredSegmentsContinueFromTheLastGrainNotTheBreakpoints) {
    QuarterEnvelope e = makeQuarterEnvelope({0.1f, 0.3f, 0.3f, 0.1f, 0.1f}, 4.0f);
    beginVoice(e, 0.1f);
    EXPECT_EQ(valueAt(e, 0.0f, 1.0f), "0.100000");
    EXPECT_EQ(valueAt(e, 0.8f, 1.0f), "0.260000");
    EXPECT_EQ(valueAt(e, 1.6f, 1.0f), "0.260000");
    EXPECT_EQ(valueAt(e, 2.4f, 1.0f), "0.100000");
    EXPECT_EQ(valueAt(e, 3.2f, 1.0f), "0.100000");
}

TEST(QuarterEnvelope, timeAnchoredSegmentsRestartFromTheirFirstValueTimesTheBase) {
    QuarterEnvelope e = makeQuarterEnvelope({0, 1, 1, 0, 0}, 4.0f);
    EXPECT_EQ(timeAt(e, 0.0f, 0.1f), "0.100000");
    EXPECT_EQ(timeAt(e, 0.8f, 0.1f), "0.180000");
    EXPECT_EQ(timeAt(e, 1.6f, 0.1f), "0.200000");
    EXPECT_EQ(timeAt(e, 2.4f, 0.1f), "0.120000");
    EXPECT_EQ(timeAt(e, 3.2f, 0.1f), "0.100000");
}

TEST(QuarterEnvelope, anEvaluationOnTheFirstBoundaryRisesByTheWholeStepTimesTheScale) {
    QuarterEnvelope e = makeQuarterEnvelope({0.5f, 1.5f, 0, 0, 0}, 8.0f);
    beginVoice(e, 3.0f);
    EXPECT_EQ(valueAnchoredAt(e, 0.0f, 2.0f), 3.0f);
    EXPECT_EQ(valueAnchoredAt(e, 2.0f, 2.0f), 3.0f + (1.5f - 0.5f) * 2.0f);
}

TEST(QuarterEnvelope, anchorsPersistFromVoiceToVoiceButTheStartValueIsRenewed) {
    QuarterEnvelope e = makeQuarterEnvelope({0, 1, 2, 1, 0}, 4.0f);
    // Voice 1 leaves anchor 2 at (2.5, 1.5).
    beginVoice(e, 1.0f);
    valueAnchoredAt(e, 0.0f, 1.0f);
    EXPECT_EQ(valueAnchoredAt(e, 0.5f, 1.0f), 1.5f);  // 1 + 0.5 x (1 - 0)
    EXPECT_EQ(valueAnchoredAt(e, 1.5f, 1.0f), 2.5f);  // 1.5 + 1 x (2 - 1)
    // Voice 2 starts from 10 and skips segment 2: segment 3 continues from
    // voice 1's anchor (2.5 at 1.5), not from anything of voice 2.
    beginVoice(e, 10.0f);
    EXPECT_EQ(valueAnchoredAt(e, 0.0f, 1.0f), 10.0f);
    EXPECT_EQ(valueAnchoredAt(e, 2.5f, 1.0f), 1.5f);  // 2.5 + 1 x (1 - 2)
}

TEST(QuarterEnvelope, aMissingValueAnchorIsTakenAtTheEarlierSegmentsEnd) {
    // Nothing fell into segment 2 yet: its anchor is what an evaluation at
    // T/2 would have given, continuing from segment 1's anchor.
    QuarterEnvelope e = makeQuarterEnvelope({0, 1, 3, 3, 3}, 4.0f);
    beginVoice(e, 1.0f);
    EXPECT_EQ(valueAnchoredAt(e, 1.0f, 1.0f), 2.0f);  // segment 1: 1 + 1
    // At t = 3 (segment 3): anchor 2 = 2 + (2 - 1) x (3 - 1) = 4 at t = 2; rise 0.
    EXPECT_EQ(valueAnchoredAt(e, 3.0f, 1.0f), 4.0f);
    EXPECT_EQ(e.anchorTime[1], 2.0f);
    EXPECT_EQ(e.anchorValue[1], 4.0f);
}

TEST(QuarterEnvelope, missingAnchorsAreFilledOneAfterTheOtherFromTheStart) {
    // The very first evaluation lies in segment 4: anchors 1, 2 and 3 stand in
    // at T/4, T/2 and 3T/4, each continuing the one before.
    QuarterEnvelope e = makeQuarterEnvelope({0, 1, 2, 3, 4}, 4.0f);
    beginVoice(e, 0.0f);
    EXPECT_EQ(valueAnchoredAt(e, 4.0f, 1.0f), 4.0f);
    EXPECT_EQ(e.anchorValue[0], 1.0f);
    EXPECT_EQ(e.anchorValue[1], 2.0f);
    EXPECT_EQ(e.anchorValue[2], 3.0f);
}

TEST(QuarterEnvelope, aMissingTimeAnchorIsTheEarlierSegmentsEndAsAFloat) {
    QuarterEnvelope e = makeQuarterEnvelope({0, 1, 1, 0, 0}, 0.3f);
    timeAnchoredAt(e, 0.0f, 0.1f);
    // Segment 3 first: anchor time 2 = T/2 rounded to float.
    float value = timeAnchoredAt(e, 0.2f, 0.1f);
    float tau = static_cast<float>(0.3f / 2.0);
    EXPECT_EQ(e.anchorTime[1], tau);
    double expected = (static_cast<double>(0.2f) - tau) / (0.3f / 4.0) * (0.0 - 1.0) * 0.1f +
                      static_cast<float>(1.0 * 0.1f + 0.1f);
    EXPECT_EQ(value, static_cast<float>(expected));
}
