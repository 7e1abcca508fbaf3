// The voices' colours as a reader of the pictures sees them: told apart in
// CIELAB, and dark enough to stand out on the white page.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "svg_drawing.hpp"

namespace {

using Lab = std::array<double, 3>;

// #rrggbb as CIELAB under D65 (the sRGB curve, then XYZ, then L*a*b*).
Lab labOf(const std::string& hex) {
    double linear[3];
    for (int c = 0; c < 3; ++c) {
        double v = std::stoi(hex.substr(1 + 2 * static_cast<std::size_t>(c), 2), nullptr, 16) / 255.0;
        linear[c] = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    }
    const double x = (0.4124 * linear[0] + 0.3576 * linear[1] + 0.1805 * linear[2]) / 0.95047;
    const double y = 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2];
    const double z = (0.0193 * linear[0] + 0.1192 * linear[1] + 0.9505 * linear[2]) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; };
    return {116.0 * f(y) - 16.0, 500.0 * (f(x) - f(y)), 200.0 * (f(y) - f(z))};
}

double deltaE(const Lab& a, const Lab& b) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

TEST(VoiceColours, EveryPairOfTheFirstVoicesDiffersByDeltaEOfTwelveOrMore) {
    ASSERT_GE(drawing::voiceColours, 24);
    EXPECT_NEAR(labOf("#ff0000")[0], 53.24, 0.01);  // the conversion itself, against sRGB red's published L*a*b*
    EXPECT_NEAR(labOf("#ff0000")[1], 80.09, 0.02);
    double least = 1e9;
    int first = 0, second = 0;
    for (int i = 1; i <= drawing::voiceColours; ++i) {
        const std::string colour = drawing::voiceColour(i);
        ASSERT_EQ(colour.size(), 7u) << colour;
        ASSERT_EQ(colour.find_first_not_of("#0123456789abcdef"), std::string::npos) << colour;
        const Lab lab = labOf(colour);
        EXPECT_LE(lab[0], 80.0) << "voice " << i << " " << colour << " fades into the white page";
        for (int j = 1; j < i; ++j) {
            double d = deltaE(lab, labOf(drawing::voiceColour(j)));
            if (d < least) least = d, first = j, second = i;
        }
    }
    EXPECT_GE(least, 12.0) << "voices " << first << " and " << second;
    std::printf("least Delta E 1976 of %d voices: %.2f (voices %d and %d)\n", drawing::voiceColours, least, first,
                second);
    // Further voices take the colours again.
    EXPECT_EQ(drawing::voiceColour(drawing::voiceColours + 3), drawing::voiceColour(3));
    // The palette starts at voice 1, as the README names the first colours:
    // voice 1 red, 2 blue, 3 green.
    EXPECT_EQ(drawing::voiceColour(1) + drawing::voiceColour(2) + drawing::voiceColour(3), "#ff0000#0000ff#00cc00");
}

}  // namespace
