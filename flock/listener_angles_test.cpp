// The listener's view of a position, and the fixed-point text of the files.
#include <gtest/gtest.h>

#include <cmath>

#include "listener_angles.hpp"
#include "path_files.hpp"

namespace {

using flock::listenerAngles;
using flock::Vec3;

TEST(ListenerAngles, DirectionsAroundTheListener) {
    struct Case {
        Vec3 position;
        double azimuth, elevation, distance;
    };
    const Case cases[] = {
        {{2, 0, 0}, 0, 0, 2},     // ahead
        {{0, -3, 0}, 90, 0, 3},   // right
        {{0, 3, 0}, -90, 0, 3},   // left
        {{-1, 0, 0}, 180, 0, 1},  // behind
        {{0, 0, 5}, 0, 90, 5},    // above
        {{0, 0, -5}, 0, -90, 5},  // below
        {{1, -1, 0}, 45, 0, std::sqrt(2.0)},
        {{-1, 1, std::sqrt(2.0)}, -135, 45, 2},
    };
    for (const Case& c : cases) {
        flock::ListenerAngles a = listenerAngles(c.position);
        EXPECT_NEAR(a.azimuth, c.azimuth, 1e-12) << c.position.x << " " << c.position.y << " " << c.position.z;
        EXPECT_NEAR(a.elevation, c.elevation, 1e-12);
        EXPECT_NEAR(a.distance, c.distance, 1e-12);
    }
}

// The arctangent made of plain arithmetic agrees with the library's over the
// whole circle, including the axes and the quadrant edges.
TEST(ListenerAngles, PortableArctangentAgreesWithTheLibrary) {
    double worst = 0.0;
    for (int i = -400; i <= 400; ++i) {
        for (int j = -400; j <= 400; ++j) {
            double y = i * 0.0375 * (1 + (i & 3)), x = j * 0.0425 * (1 + (j & 1));
            if (x == 0.0 && y == 0.0) continue;
            worst = std::max(worst, std::fabs(flock::portableAtan2(y, x) - std::atan2(y, x)));
        }
    }
    EXPECT_LT(worst, 1e-14);
    EXPECT_DOUBLE_EQ(flock::portableAtan2(0.0, -1.0), std::atan2(0.0, -1.0));
    EXPECT_DOUBLE_EQ(flock::portableAtan2(-1e-300, -1.0), std::atan2(-1e-300, -1.0));
    EXPECT_DOUBLE_EQ(flock::portableAtan2(1e300, 1e-300), std::atan2(1e300, 1e-300));
    EXPECT_EQ(flock::portableAtan2(0.0, 0.0), 0.0);
}

// The numbers of the coordinate files are printf's, ties included (an exact
// half goes to the even digit), but never "-0".
TEST(FixedText, RoundsAsPrintfAndNeverWritesMinusZero) {
    EXPECT_EQ(flock::fixedText(0.0, 4), "0.0000");
    EXPECT_EQ(flock::fixedText(0.00004, 4), "0.0000");
    EXPECT_EQ(flock::fixedText(-0.00004, 4), "0.0000");
    EXPECT_EQ(flock::fixedText(-0.00005, 4), "-0.0001");
    EXPECT_EQ(flock::fixedText(-1.23456, 4), "-1.2346");
    EXPECT_EQ(flock::fixedText(179.99996, 4), "180.0000");
    EXPECT_EQ(flock::fixedText(-170.4485, 4), "-170.4485");
    EXPECT_EQ(flock::fixedText(12.05, 1), "12.1");
    EXPECT_EQ(flock::fixedText(2.5, 0), "2");
    EXPECT_EQ(flock::fixedText(3.5, 0), "4");
    EXPECT_EQ(flock::fixedText(-0.03125, 4), "-0.0312");
    EXPECT_EQ(flock::fixedText(0.4, 0), "0");
    EXPECT_EQ(flock::fixedText(1234567.0, 6), "1234567.000000");
}

}  // namespace
