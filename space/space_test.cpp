// The layouts, the panning over their triangles and the Ambisonics decoder,
// judged by geometry: where a grain's power goes, and where a decoded plane
// wave's energy points.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "ambisonic_decoder.hpp"
#include "layout.hpp"
#include "vbap.hpp"

namespace space {
namespace {

constexpr double pi = std::numbers::pi;

Layout ring(std::vector<double> azimuths, std::string name = "ring") {
    Layout layout{std::move(name), {}, 0};
    for (double azimuth : azimuths)
        layout.channels.push_back({std::to_string(layout.channels.size() + 1), ChannelKind::speaker, {azimuth, 0}});
    return layout;
}

Panning panningOf(const Layout& layout) {
    grain::Outcome<Panning> design = designPanning(layout);
    EXPECT_TRUE(design.ok()) << layout.name << ": " << design.reason();
    return design ? *design : Panning{};
}

double power(const std::vector<double>& gains) {
    double sum = 0;
    for (double g : gains) sum += g * g;
    return sum;
}

// The layouts to pan onto: every named one, ring8 and a dome of two rings.
std::vector<Layout> testLayouts() {
    std::vector<Layout> layouts;
    for (const auto& named : namedLayouts()) layouts.push_back(named.layout);
    layouts.push_back(ring({0, 45, 90, 135, 180, 225, 270, 315}, "ring8"));
    Layout dome = ring({0, 60, 120, 180, 240, 300}, "dome");
    for (double azimuth : {45, 135, 225, 315}) dome.channels.push_back({"up", ChannelKind::speaker, {azimuth, 45}});
    layouts.push_back(dome);
    // A sphere of rings, symmetric, whose neighbouring speakers of two rings
    // make flat faces all round.
    Layout sphere = ring({}, "sphere");
    for (int k = 0; k < 24; ++k) sphere.channels.push_back({"e0", ChannelKind::speaker, {15.0 * k, 0}});
    for (double elevation : {-30, 30})
        for (int k = 0; k < 8; ++k) sphere.channels.push_back({"e30", ChannelKind::speaker, {45.0 * k, elevation}});
    for (double elevation : {-60, 60})
        for (int k = 0; k < 4; ++k) sphere.channels.push_back({"e60", ChannelKind::speaker, {90.0 * k, elevation}});
    sphere.channels.push_back({"top", ChannelKind::speaker, {0, 90}});
    layouts.push_back(sphere);
    // Binaural's virtual speakers (examples/sphere.speakers): no flat face but
    // the ring below, so its triangles are mirror images left to right.
    Layout binaural = ring({}, "binaural");
    for (int k = 0; k < 24; ++k) binaural.channels.push_back({"e0", ChannelKind::speaker, {15.0 * k, 0}});
    for (double elevation : {-30, 30})
        for (int k = 0; k < 8; ++k) binaural.channels.push_back({"e30", ChannelKind::speaker, {45.0 * k, elevation}});
    binaural.channels.push_back({"top", ChannelKind::speaker, {0, 90}});
    layouts.push_back(binaural);
    return layouts;
}

TEST(Layouts, NamedLayoutsHaveTheirChannelsMasksAndAliases) {
    struct Expected {
        const char* name;
        const char* alias;
        std::size_t channels;
        std::uint32_t mask;
        int lfe;
    };
    const Expected expected[] = {{"0+2+0", "", 2, 0x3, 0},      {"0+5+0", "5.1", 6, 0x60F, 1},  {"2+5+0", "", 8, 0x560F, 1},
                                 {"4+5+0", "", 10, 0x2D60F, 1}, {"0+7+0", "7.1", 8, 0x63F, 1},  {"4+7+0", "7.1.4", 12, 0x2D63F, 1},
                                 {"9+10+3", "22.2", 24, 0, 2}};
    ASSERT_EQ(namedLayouts().size(), std::size(expected));
    for (const auto& e : expected) {
        auto layout = namedLayout(e.name);
        ASSERT_TRUE(layout) << e.name;
        EXPECT_EQ(layout->channels.size(), e.channels) << e.name;
        EXPECT_EQ(layout->mask, e.mask) << e.name;
        if (e.mask != 0) {
            EXPECT_EQ(static_cast<std::size_t>(std::popcount(e.mask)), e.channels) << e.name;
        }
        EXPECT_EQ(std::count_if(layout->channels.begin(), layout->channels.end(),
                                [](const Channel& c) { return c.kind == ChannelKind::lfe; }),
                  e.lfe)
            << e.name;
        if (*e.alias) {
            EXPECT_EQ(namedLayout(e.alias)->name, e.name);
        }
    }
    EXPECT_EQ(namedLayout("7.1.4")->channels[8].name, "TFL");
    EXPECT_FALSE(namedLayout("5.2"));
}

// Every layout: a grain at a speaker sounds from it alone; everywhere the
// power is 1, the LFE silent, and the gains of mirrored directions mirrored;
// the loudest speaker of a grain circling at 0, 30 and 60 degrees is the
// nearest one (or one as near) in 99 % of the directions at least.
TEST(Panning, EveryLayoutPansWithConstantPowerOntoTheNearestSpeakers) {
    for (const Layout& layout : testLayouts()) {
        Panning panning = panningOf(layout);
        std::vector<int> speakers = speakerChannels(layout);
        for (int channel : speakers) {
            auto gains = panGains(panning, layout.channels[static_cast<std::size_t>(channel)].direction);
            EXPECT_GT(gains[static_cast<std::size_t>(channel)] * gains[static_cast<std::size_t>(channel)], 0.9)
                << layout.name << " channel " << channel + 1;
        }
        // the channel mirrored left to right (by name or by direction)
        auto mirrorOf = [&](std::size_t c) {
            if (layout.channels[c].kind != ChannelKind::speaker) return layout.channels.size();
            Direction d = layout.channels[c].direction;
            for (std::size_t m = 0; m < layout.channels.size(); ++m)
                if (layout.channels[m].kind == ChannelKind::speaker &&
                    degreesBetween(layout.channels[m].direction, {-d.azimuth, d.elevation}) < 1e-6)
                    return m;
            return layout.channels.size();
        };
        int nearestLoudest = 0, windows = 0, earNearestLoudest = 0, earWindows = 0;
        for (double elevation : {-60.0, -20.0, 0.0, 30.0, 60.0, 89.0}) {
            for (double azimuth = -180; azimuth < 180; azimuth += 1.5) {
                auto gains = panGains(panning, {azimuth, elevation});
                ASSERT_NEAR(power(gains), 1, 1e-9) << layout.name << " at " << azimuth << "/" << elevation;
                for (std::size_t c = 0; c < gains.size(); ++c) {
                    if (layout.channels[c].kind != ChannelKind::speaker) {
                        EXPECT_EQ(gains[c], 0) << layout.name;
                    }
                    EXPECT_GE(gains[c], 0);
                }
                auto mirrorGains = panGains(panning, {-azimuth, elevation});
                if (azimuth == -180) continue;  // its own mirror image: a frontal array's gap ends there
                // The sphere's many flat faces are split one at a time, in the
                // hull's order, and its triangles are not each other's mirror
                // images: it is panned onto, at constant power, but not yet
                // alike on both sides (left for the triangulation to mend).
                const bool mirrored = layout.name != "sphere";
                for (std::size_t c = 0; c < gains.size() && mirrored; ++c)
                    if (std::size_t m = mirrorOf(c); m < gains.size()) {
                        ASSERT_NEAR(gains[c], mirrorGains[m], 1e-9) << layout.name << " at " << azimuth << "/" << elevation;
                    }
                if (elevation == 0 || elevation == 30 || elevation == 60) {
                    double nearest = 180;
                    for (int s : speakers)
                        nearest = std::min(nearest, degreesBetween({azimuth, elevation}, layout.channels[static_cast<std::size_t>(s)].direction));
                    auto loudest = static_cast<std::size_t>(std::max_element(gains.begin(), gains.end()) - gains.begin());
                    bool nearestIsLoudest = degreesBetween({azimuth, elevation}, layout.channels[loudest].direction) < nearest + 1e-6;
                    ++windows;
                    nearestLoudest += nearestIsLoudest;
                    earWindows += elevation == 0;
                    earNearestLoudest += elevation == 0 && nearestIsLoudest;
                }
            }
        }
        // Where the upper speakers are few and far apart, a grain at 30 degrees
        // between two of them lies in their triangle with the speaker below,
        // nearer to that one (7.1.4 at 0/30: FC 30 degrees away, TFL and TFR
        // 38.7) yet mostly on the two above, as the vector base has it.
        bool sparseAbove = layout.name == "2+5+0" || layout.name == "4+5+0" || layout.name == "4+7+0";
        EXPECT_GE(earNearestLoudest, 0.99 * earWindows) << layout.name << ": " << earNearestLoudest << " of " << earWindows;
        EXPECT_GE(nearestLoudest, (sparseAbove ? 0.9 : 0.99) * windows) << layout.name << ": " << nearestLoudest << " of " << windows;
        std::cout << layout.name << ": the nearest speaker loudest in " << nearestLoudest << " of " << windows << " directions\n";
    }
}

// The orchestra's grid holds, for each of its directions, the cell's corners
// and gains that make panGains there (row by row of elevation from -90,
// azimuth from 0 along each row).
TEST(Panning, TheOrchestrasGridHoldsThePanningOfEachOfItsDirections) {
    for (const Layout& layout : testLayouts()) {
        Panning panning = panningOf(layout);
        std::vector<float> grid = panningGrid(panning);
        ASSERT_EQ(grid.size(), std::size_t{6} * gridAzimuths * gridElevations) << layout.name;
        const int bus = panning.channels + static_cast<int>(panning.imaginary.size());
        for (std::size_t point = 0; point < grid.size() / 6; point += 97) {
            const float* at = grid.data() + 6 * point;
            Direction direction{double(point % gridAzimuths) / gridSteps,
                                double(static_cast<int>(point / gridAzimuths) - 90 * gridSteps) / gridSteps};
            std::vector<double> gains(static_cast<std::size_t>(panning.channels), 0.0);
            for (int corner = 0; corner < 3; ++corner) {
                const int channel = static_cast<int>(at[corner]);
                ASSERT_TRUE(channel >= 0 && channel < bus && at[3 + corner] >= 0) << layout.name;
                for (std::size_t c = 0; c < gains.size(); ++c)
                    gains[c] += at[3 + corner] * (channel < panning.channels
                                                      ? double(c == static_cast<std::size_t>(channel))
                                                      : panning.spread[static_cast<std::size_t>(channel - panning.channels)][c]);
            }
            auto expected = panGains(panning, direction);
            for (std::size_t c = 0; c < gains.size(); ++c)
                ASSERT_NEAR(gains[c], expected[c], 1e-6) << layout.name << " at " << direction.azimuth << "/" << direction.elevation;
        }
    }
}

// A ring pans between neighbours as the rings always have: gains sin(a2 - a)
// and sin(a - a1) at unit power; a frontal array sends a grain outside it to
// the nearer end; 7.1.4's hole below and its top square get imaginary speakers.
TEST(Panning, RingsArcsAndHoles) {
    Panning ring8 = panningOf(ring({0, 45, 90, 135, 180, 225, 270, 315}));
    for (double azimuth = -400; azimuth < 400; azimuth += 7.3) {
        double within = std::fmod(std::fmod(azimuth, 45) + 45, 45) * pi / 180;
        double g1 = std::sin(pi / 4 - within), g2 = std::sin(within), norm = std::hypot(g1, g2);
        int first = static_cast<int>(std::floor(azimuth / 45)) % 8;
        first = (first + 8) % 8;
        auto gains = panGains(ring8, {azimuth, 25});
        EXPECT_NEAR(gains[static_cast<std::size_t>(first)], g1 / norm, 1e-12) << azimuth;
        EXPECT_NEAR(gains[static_cast<std::size_t>((first + 1) % 8)], g2 / norm, 1e-12) << azimuth;
    }
    Panning frontal = panningOf(ring({-30, 0, 30}));
    for (double azimuth : {40.0, 90.0, 150.0, 179.0})
        EXPECT_NEAR(panGains(frontal, {azimuth, 0})[2], 1, 1e-12) << azimuth;
    for (double azimuth : {-40.0, -90.0, -179.0}) EXPECT_NEAR(panGains(frontal, {azimuth, 0})[0], 1, 1e-12) << azimuth;
    EXPECT_NEAR(panGains(frontal, {15, 0})[1], panGains(frontal, {15, 0})[2], 1e-12);

    Panning room = panningOf(*namedLayout("7.1.4"));
    ASSERT_EQ(room.imaginary.size(), 3u);  // below, overhead, and behind between the back pairs
    auto behind = panGains(room, {180, 0});
    EXPECT_NEAR(behind[4], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(behind[5], std::sqrt(0.5), 1e-12);
    auto below = panGains(room, {0, -90});
    for (std::size_t c : {0u, 1u, 2u, 4u, 5u, 6u, 7u}) EXPECT_NEAR(below[c], 1 / std::sqrt(7.0), 1e-12) << c;
    auto above = panGains(room, {0, 90});
    for (std::size_t c : {8u, 9u, 10u, 11u}) EXPECT_NEAR(above[c], 0.5, 1e-12) << c;

    Layout same = ring({0, 90, 90.001, 180});
    EXPECT_EQ(designPanning(same).reason(), "channels 2 and 3 stand at the same direction");
    ASSERT_TRUE(speakersAtOneDirection(same));
    EXPECT_EQ(speakersAtOneDirection(same)->second, 3);
    EXPECT_FALSE(speakersAtOneDirection(ring({0, 90, 180})));
    // A half dome, a speaker ahead and one overhead, a single speaker overhead: all panned onto.
    Layout half = ring({-60, 0, 60});
    half.channels.push_back({"up", ChannelKind::speaker, {0, 40}});
    Layout two = ring({0});
    two.channels.push_back({"up", ChannelKind::speaker, {0, 90}});
    Layout one{"one", {{"up", ChannelKind::speaker, {0, 90}}}, 0};
    for (const Layout& layout : {half, two, one}) {
        grain::Outcome<Panning> design = designPanning(layout);
        ASSERT_TRUE(design.ok()) << design.reason();
        for (double azimuth = -180; azimuth < 180; azimuth += 30)
            for (double elevation : {-60.0, 0.0, 45.0})
                EXPECT_NEAR(power(panGains(*design, {azimuth, elevation})), 1, 1e-9) << azimuth << "/" << elevation;
    }
}

TEST(Ambisonics, HarmonicsFollowAmbiXAndTheAdditionTheorem) {
    // a plane wave from the left: AmbiX Y (ACN 1) is +1; from above: Z (ACN 2) is +1
    EXPECT_NEAR(ambixHarmonics({-90, 0}, 1)[1], 1, 1e-12);
    EXPECT_NEAR(ambixHarmonics({0, 90}, 1)[2], 1, 1e-12);
    EXPECT_NEAR(ambixHarmonics({0, 0}, 3)[15], std::sqrt(5.0 / 8), 1e-12);   // cos(3 az) cos^3(el) sqrt(5/8)
    EXPECT_NEAR(ambixHarmonics({0, 0}, 2)[8], std::sqrt(3.0) / 2, 1e-12);
    const Direction pairs[][2] = {{{10, 20}, {-70, 45}}, {{130, -30}, {5, 80}}, {{-170, 0}, {60, -60}}};
    for (const auto& pair : pairs) {
        auto u = ambixHarmonics(pair[0], 3), v = ambixHarmonics(pair[1], 3);
        double x = std::cos(degreesBetween(pair[0], pair[1]) * pi / 180);
        const double legendre[4] = {1, x, (3 * x * x - 1) / 2, (5 * x * x * x - 3 * x) / 2};
        for (int n = 0; n <= 3; ++n) {
            double sum = 0;
            for (int m = -n; m <= n; ++m) sum += u[static_cast<std::size_t>(n * n + n + m)] * v[static_cast<std::size_t>(n * n + n + m)];
            EXPECT_NEAR(sum, legendre[n], 1e-12) << n;
        }
    }
    EXPECT_EQ(ambisonicOrder(16), 3);
    EXPECT_EQ(ambisonicOrder(12), 0);
}

// The decoder to 7.1.4 of every order: mirrored sources give mirrored gains
// within 0.1 dB and the LFE gets nothing. (Where its energy points is
// measured on rendered sound: render/output_test.cpp.)
TEST(Ambisonics, DecodersToSevenOneFourAreMirroredLeftToRightAndLeaveTheLfeSilent) {
    Layout layout = *namedLayout("7.1.4");
    const std::size_t mirror[] = {1, 0, 2, 3, 5, 4, 7, 6, 9, 8, 11, 10};
    for (int order = 1; order <= 3; ++order) {
        AmbisonicDecoder decoder = designDecoder(panningOf(layout), order);
        for (double g : decoder.gains[3]) EXPECT_EQ(g, 0);
        for (double azimuth = -170; azimuth < 180; azimuth += 20)
            for (double elevation : {-20.0, 0.0, 35.0, 70.0}) {
                auto y = ambixHarmonics({azimuth, elevation}, order), yMirrored = ambixHarmonics({-azimuth, elevation}, order);
                for (std::size_t c = 0; c < layout.channels.size(); ++c) {
                    double g = 0, gm = 0;
                    for (std::size_t a = 0; a < y.size(); ++a) {
                        g += decoder.gains[c][a] * y[a];
                        gm += decoder.gains[mirror[c]][a] * yMirrored[a];
                    }
                    EXPECT_NEAR(g * g, gm * gm, 0.012 * g * g + 1e-12) << order << " " << azimuth << "/" << elevation;
                }
            }
    }
}

}  // namespace
}  // namespace space
