#include <gtest/gtest.h>

#include <cmath>

#include <memory>
#include <sstream>

#include "real_format.hpp"
#include "trajectory_sampling.hpp"

using namespace grain;

namespace {

const char* endOfData =
    "\n\nEnd of Boids input file reached\n\n"
    "Score file will contain unstable values\n\n"
    "Please either increase the minimum grain duration, or\n"
    "resample Boids in MAX MSP at a faster sampling period\n";

std::unique_ptr<Trajectory> trajectoryOf(std::initializer_list<float> azimuth, std::initializer_list<float> elevation,
                                         std::initializer_list<float> distance) {
    auto t = std::make_unique<Trajectory>();
    std::copy(azimuth.begin(), azimuth.end(), t->azimuth.begin());
    std::copy(elevation.begin(), elevation.end(), t->elevation.begin());
    std::copy(distance.begin(), distance.end(), t->distance.begin());
    t->sampleCount = static_cast<int>(distance.size());
    return t;
}

}  // namespace

TEST(TrajectorySampling, interpolatesBetweenNeighbouringSamplesAndOffsetsTheAzimuth) {
    auto t = trajectoryOf({0, 0, 10, 30, 50}, {0, 0, -10, 10, 20}, {1, 1, 2, 4, 8});
    std::ostringstream console;
    auto point = sampleTrajectory(*t, 2.25f, false, console);
    ASSERT_TRUE(point);
    EXPECT_EQ(point->azimuth, 375.0f);
    EXPECT_EQ(point->elevation, -5.0f);
    EXPECT_EQ(point->distance, 2.5f);
    EXPECT_EQ(wrapAzimuth(point->azimuth), 15.0f);

    auto halfway = sampleTrajectory(*t, 3.5f, true, console);
    ASSERT_TRUE(halfway);
    EXPECT_EQ(halfway->azimuth, 400.0f);
    EXPECT_EQ(halfway->elevation, 105.0f);  // 15 plus glissonscore's 90
    EXPECT_EQ(halfway->distance, 6.0f);
    EXPECT_EQ(console.str(), "");
}

TEST(TrajectorySampling, theAzimuthTurnsTheShorterWayRound) {
    // Two neighbouring samples, the read position's fraction and the azimuth
    // as the score writes it; elevation and distance are interpolated plainly.
    struct Case {
        float from, to, fraction;
        const char* written;
    };
    const Case cases[] = {
        {179.7136f, -179.7343f, 0.5f, "179.989624"},  // a boid right behind the listener
        {359, 1, 0.5f, "360.000000"},                 // data from 0 to 360, ahead
        {359, 1, 0.25f, "359.500000"},
        {1, 359, 0.75f, "359.500000"},
        {-170, 170, 0.25f, "185.000000"},
        {350, 20, 0.5f, "365.000000"},  // above 360, written as it is
        {10, 30, 0.25f, "15.000000"},
        {-90, 90, 0.5f, "360.000000"},  // exactly 180 apart: not turned
        {90, -90, 0.5f, "360.000000"},
        {0, 181, 0.5f, "270.500000"},  // 181 apart: the other way, halfway to -179
        {-180, 180, 0.5f, "180.000000"},
    };
    for (const Case& c : cases) {
        auto t = trajectoryOf({c.from, c.to}, {-10, 10}, {2, 4});
        std::ostringstream console;
        auto point = sampleTrajectory(*t, c.fraction, false, console);
        ASSERT_TRUE(point);
        EXPECT_EQ(formatReal(wrapAzimuth(point->azimuth)), c.written) << c.from << " to " << c.to << " at " << c.fraction;
        EXPECT_EQ(point->elevation, static_cast<float>(20.0 * c.fraction - 10));
        EXPECT_EQ(point->distance, static_cast<float>(2.0 * c.fraction + 2));
    }
}

TEST(TrajectorySampling, flockDataWithFourDecimalsIsInterpolatedInDouble) {
    // The expected texts are the exact interpolation of the float samples at
    // the float read position, rounded once to float; products and sums
    // rounded to float along the way give the texts in the comments.
    auto t = std::make_unique<Trajectory>();
    t->sampleCount = 9;
    const float azimuth[] = {27.6521f, 26.0155f, 0, 7.4968f, 6.2163f};
    const float elevation[] = {-45.1443f, -47.0630f, 0, -4.2952f, -6.2825f};
    const float distance[] = {13.5582f, 13.8145f, 0, 1, 1};
    std::copy(std::begin(azimuth), std::end(azimuth), t->azimuth.begin() + 4);
    std::copy(std::begin(elevation), std::end(elevation), t->elevation.begin() + 4);
    std::copy(std::begin(distance), std::end(distance), t->distance.begin() + 4);
    std::ostringstream console;

    auto at = sampleTrajectory(*t, 4.73f, false, console);
    ASSERT_TRUE(at);
    EXPECT_EQ(formatReal(wrapAzimuth(at->azimuth)), "26.457367");  // 26.457397
    EXPECT_EQ(formatReal(at->elevation), "-46.544949");            // -46.544952
    EXPECT_EQ(formatReal(at->distance), "13.745299");              // 13.745298

    at = sampleTrajectory(*t, 7.6f, false, console);
    ASSERT_TRUE(at);
    EXPECT_EQ(formatReal(wrapAzimuth(at->azimuth)), "6.728485");  // 6.728516
    EXPECT_EQ(formatReal(at->elevation), "-5.487580");            // -5.487579
    EXPECT_EQ(console.str(), "");
}

TEST(TrajectorySampling, theDataEndsWhenNoSampleFollowsTheReadPosition) {
    auto t = trajectoryOf({1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5});
    std::ostringstream console;
    EXPECT_TRUE(sampleTrajectory(*t, std::nextafter(4.0f, 0.0f), false, console));
    EXPECT_EQ(console.str(), "");
    EXPECT_FALSE(sampleTrajectory(*t, 4.0f, false, console));
    EXPECT_EQ(console.str(), endOfData);
    EXPECT_FALSE(sampleTrajectory(*t, 1e30f, false, console));
}

TEST(TrajectorySampling, voicesWithNoneOrOneSampleEndAtTheirFirstGrain) {
    for (int count : {0, 1}) {
        auto t = trajectoryOf({7}, {7}, {7});
        t->sampleCount = count;
        std::ostringstream console;
        EXPECT_FALSE(sampleTrajectory(*t, 0.0f, false, console));
        EXPECT_EQ(console.str(), endOfData);
    }
}

TEST(TrajectorySampling, wrapAddsAndSubtractsAFullTurnAtMostOnceEach) {
    auto written = [](float interpolated) {
        return formatReal(wrapAzimuth(static_cast<float>(static_cast<double>(interpolated) + 360)));
    };
    EXPECT_EQ(written(-30), "330.000000");
    EXPECT_EQ(written(0), "360.000000");
    EXPECT_EQ(written(180), "180.000000");
    EXPECT_EQ(written(-180), "180.000000");
    EXPECT_EQ(written(-360), "0.000000");
    EXPECT_EQ(written(-400), "320.000000");
    EXPECT_EQ(written(400), "400.000000");
    // The offset azimuth was stored as a float before the subtraction.
    EXPECT_EQ(written(12.3f), "12.299988");
    EXPECT_EQ(written(-12.3f), "347.700012");
}

TEST(TrajectorySampling, onlyGlissonscoreWritesElevationsThroughItsOffset) {
    auto t = trajectoryOf({0, 0}, {12.3f, 0.001f}, {1, 1});
    std::ostringstream console;
    auto offset = sampleTrajectory(*t, 0.0f, true, console);
    auto plain = sampleTrajectory(*t, 0.0f, false, console);
    EXPECT_EQ(formatReal(writtenElevation(offset->elevation, true)), "12.300003");
    EXPECT_EQ(formatReal(writtenElevation(plain->elevation, false)), "12.300000");
    t->elevation[0] = 0.001f;
    offset = sampleTrajectory(*t, 0.0f, true, console);
    EXPECT_EQ(formatReal(writtenElevation(offset->elevation, true)), "0.000999");
}
