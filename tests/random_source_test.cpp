#include <gtest/gtest.h>

#include "random_source.hpp"
#include "real_format.hpp"

using namespace grain;

TEST(RandomSource, everyRunDrawsTheSameSequenceFromStateOne) {
    RandomSource source;
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
        EXPECT_EQ(draw(source), expected);
}

TEST(RandomSource, drawsStayWithinFifteenBitsOverALongRun) {
    RandomSource source;
    int lowest = 32767, highest = 0;
    for (int i = 0; i < 1000000; ++i) {
        int d = draw(source);
        lowest = std::min(lowest, d);
        highest = std::max(highest, d);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, 32767);
}

TEST(RandomSource, fractionsAreDrawsOver32767RoundedToFloat) {
    RandomSource source;
    EXPECT_EQ(formatReal(drawFraction(source)), "0.001251");
    EXPECT_EQ(formatReal(drawFraction(source)), "0.563585");
    EXPECT_EQ(formatReal(drawFraction(source)), "0.193304");
    EXPECT_EQ(formatReal(drawFraction(source)), "0.808740");
    EXPECT_EQ(formatReal(drawFraction(source)), "0.585009");
    EXPECT_EQ(formatReal(drawFraction(source)), "0.479873");
    EXPECT_EQ(drawFraction(source), static_cast<float>(11478 / 32767.0));
}
