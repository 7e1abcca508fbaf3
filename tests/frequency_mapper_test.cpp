#include <gtest/gtest.h>

#include "frequency_mapper.hpp"
#include "real_format.hpp"

using namespace grain;

namespace {

GlissonFrequencyMapper mapper(int mode, float low = 100, float high = 10000) { return {mode, low, high}; }

std::string text(GlissonFrequencies f) { return formatReal(f.startFreq) + " " + formatReal(f.endFreq); }

}  // namespace

TEST(GlissonFrequencies, modeOneMapsElevationLinearlyBetweenLowAndHigh) {
    auto m = mapper(1);
    EXPECT_EQ(mapFrequencies(m, 0, 45).startFreq, 100.0f);
    EXPECT_EQ(mapFrequencies(m, 0, 45).endFreq, 2575.0f);
    EXPECT_EQ(mapFrequencies(m, 90, 180).startFreq, 5050.0f);
    EXPECT_EQ(mapFrequencies(m, 90, 180).endFreq, 10000.0f);
    // A voice's first three grains at offset elevations 90, 95 and 93.
    auto voice = mapper(1);
    EXPECT_EQ(text(mapFrequencies(voice, 90, 90)), "5050.000000 5050.000000");
    EXPECT_EQ(text(mapFrequencies(voice, 90, 95)), "5050.000000 5325.000000");
    EXPECT_EQ(text(mapFrequencies(voice, 95, 93)), "5325.000000 5215.000000");
    // Low above high and elevations outside the range are used as given.
    auto reversed = mapper(1, 1000, 100);
    EXPECT_EQ(mapFrequencies(reversed, 180, 200).startFreq, 100.0f);
    EXPECT_EQ(mapFrequencies(reversed, 180, 200).endFreq, 0.0f);
}

TEST(GlissonFrequencies, modeTwoGoesAnOctaveUpUnlessTheBoidSank) {
    auto m = mapper(2);
    EXPECT_EQ(text(mapFrequencies(m, 90, 90)), "5050.000000 10100.000000");
    EXPECT_EQ(text(mapFrequencies(m, 90, 95)), "5050.000000 10100.000000");
    EXPECT_EQ(text(mapFrequencies(m, 95, 93)), "5325.000000 2662.500000");
}

TEST(GlissonFrequencies, modeThreeSpansHighAboveLowAndPicksARatioByElevation) {
    auto m = mapper(3);
    EXPECT_EQ(text(mapFrequencies(m, 0, 90)), "5100.000000 7650.000000");
    EXPECT_EQ(text(mapFrequencies(m, 0, 180)), "10100.000000 20200.000000");
    auto plain = mapper(3, 0, 180);
    EXPECT_EQ(text(mapFrequencies(plain, 0, 70)), "70.000000 93.331001");  // 1.3333, not 4/3
}

TEST(GlissonFrequencies, modeThreeRangeBoundsLetTheLaterRuleWin) {
    // low 0, high 180: the start frequency equals E, so the end shows the ratio.
    struct Case {
        float e;
        double ratio;
    };
    for (Case c : {Case{0, 1}, Case{21.9f, 1}, Case{22, 1.125}, Case{23, 1.125}, Case{44, 1.25}, Case{46, 1.25},
                   Case{66, 1.3333}, Case{69, 1.3333}, Case{88, 1.5}, Case{92, 1.5}, Case{110, 1.66666},
                   Case{115, 1.66666}, Case{132, 1.875}, Case{138, 1.875}, Case{160.9f, 1.875}, Case{176, 2},
                   Case{180, 2}}) {
        auto m = mapper(3, 0, 180);
        auto f = mapFrequencies(m, 0, c.e);
        EXPECT_EQ(f.startFreq, c.e);
        EXPECT_EQ(f.endFreq, static_cast<float>(f.startFreq * c.ratio)) << c.e;
    }
}

TEST(GlissonFrequencies, modeThreeHoldsTheLastEndFrequencyWhereNoRangeApplies) {
    auto m = mapper(3, 0, 180);
    EXPECT_EQ(mapFrequencies(m, 0, 90).endFreq, 135.0f);
    for (float e : {161.0f, 175.9f, 180.1f, -0.1f}) {
        auto f = mapFrequencies(m, 0, e);
        EXPECT_EQ(f.startFreq, e);
        EXPECT_EQ(f.endFreq, 135.0f) << e;
    }
    // Before any grain has set one, the start frequency stands in (ratio 1).
    auto fresh = mapper(3, 0, 180);
    EXPECT_EQ(text(mapFrequencies(fresh, 0, 170)), "170.000000 170.000000");
    // That end frequency is then held like any other.
    EXPECT_EQ(mapFrequencies(fresh, 0, 165).endFreq, 170.0f);
}
