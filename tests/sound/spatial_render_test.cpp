// The spatial rendering of the example orchestras, measured on sound that
// Csound renders: single-voice scores made by the programs from coordinate
// files that hold one fixed place (or one steady approach), rendered in each
// technique, without reverb.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "sound_measure.hpp"
#include "test_support.hpp"

namespace grain::sound {
namespace {

using grain::testing::TempFolder;

const std::filesystem::path examples = GRAIN_EXAMPLES_DIR;

struct Where {
    double azimuth = 0, elevation = 0, distance = 1;
};

// What a test renders: a glisson of one frequency (1 s of grains of 0.1 s that
// follow each other without a gap, unless stated otherwise; one voice, no
// reverb) at a place, stated as at(place).in(technique) and so on.
struct Case {
    Where where;
    double hz = 400;
    int harmonics = 1;
    std::string space = "stereo";
    std::vector<std::string> macros;  // further --omacro settings, NAME=value
    int rate = 44100;
    double distanceStep = 0;          // metres per coordinate sample (one grain duration)
    double grain = 0.1;               // grain duration, s
    int intergrain = 0;               // silence between grains, in grain durations
    double total = 1;                 // total duration, s
    bool reverb = false;
    std::vector<std::pair<std::string, std::string>> files;  // written beside the score: name, text

    Case& in(std::string technique) { space = std::move(technique); return *this; }
    Case& sounding(double hertz, int partials = 1) { hz = hertz; harmonics = partials; return *this; }
    Case& with(std::string macro) { macros.push_back(std::move(macro)); return *this; }
    Case& sampledAt(int hz_) { rate = hz_; return *this; }
    Case& approaching(double metresPerSample) { distanceStep = -metresPerSample; return *this; }
    Case& reverberant() { reverb = true; return *this; }
    Case& beside(std::string name, std::string text) { files.emplace_back(std::move(name), std::move(text)); return *this; }
    Case& grains(double seconds, int gaps, double piece) { grain = seconds; intergrain = gaps; total = piece; return *this; }
};

Case at(double azimuth, double elevation = 0, double distance = 1) {
    Case c;
    c.where = {azimuth, elevation, distance};
    return c;
}

// Renders c and returns the sound; fails the test with Csound's complaint
// when Csound reports an error or a warning.
Sound render(const Case& c) {
    TempFolder folder;
    const auto coordinates = folder.path() / "bg";
    std::filesystem::create_directories(coordinates);
    std::vector<double> a, e, d;
    for (int i = 0; i < 40; ++i) {
        a.push_back(c.where.azimuth);
        e.push_back(c.where.elevation);
        d.push_back(c.where.distance + c.distanceStep * i);
    }
    grain::testing::writeVoice(coordinates, 1, a, e, d);
    const std::string hz = std::to_string(c.hz);
    const std::string answers = "1\n" + hz + "\n" + hz + "\n" + std::to_string(c.harmonics) + "\n3\n" +
                                std::to_string(c.grain) + "\n1\n" + std::to_string(c.intergrain) + "\n" +
                                std::to_string(c.total) + "\n1\n" + (c.reverb ? "1" : "0") + "\n";
    for (const auto& [name, text] : c.files) grain::testing::writeText(folder.path() / name, text);
    auto run = grain::testing::runProgram(grain::Program::glisson, answers, coordinates, folder.path());
    EXPECT_EQ(run.status, 0) << run.errors;

    std::string command = "cd '" + folder.path().string() + "' && csound -d -m4 -+msg_color=0 -W -f -o out.wav" +
                          " -r " + std::to_string(c.rate) + " --env:INCDIR='" + examples.string() + "' '" +
                          (examples / "VelaRookglisson.orc").string() + "' VELAROOKglisson.sco --omacro:SPACE=" +
                          c.space;
    for (const auto& macro : c.macros) command += " --omacro:" + macro;
    command += " > csound.log 2>&1";
    const int status = std::system(command.c_str());
    const std::string log = grain::testing::readText(folder.path() / "csound.log");
    const bool clean = log.find("WARNING") == std::string::npos && log.find("ERROR") == std::string::npos &&
                       log.find("\n0 errors in performance") != std::string::npos;
    EXPECT_TRUE(status == 0 && clean) << "csound (status " << status << ") for " << c.space << ":\n"
                                      << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    return readSound(folder.path() / "out.wav");
}

// The steady middle of a one-second render: 0.2 to 0.8 s.
std::size_t steadyFrom(const Sound& s) { return static_cast<std::size_t>(0.2 * s.rate); }
std::size_t steadyTo(const Sound& s) { return static_cast<std::size_t>(0.8 * s.rate); }

double level(const Sound& s, std::size_t channel) { return rms(s.channels.at(channel), steadyFrom(s), steadyTo(s)); }

// Milliseconds by which the left channel lags the right one.
double leftLagMs(const Sound& s) {
    std::vector<double> left(s.channels[0].begin() + static_cast<long>(steadyFrom(s)),
                             s.channels[0].begin() + static_cast<long>(steadyTo(s)));
    std::vector<double> right(s.channels[1].begin() + static_cast<long>(steadyFrom(s)),
                              s.channels[1].begin() + static_cast<long>(steadyTo(s)));
    return 1000.0 * bestLag(right, left, s.rate / 800) / s.rate;  // up to 1.25 ms either way
}

TEST(Binaural, ASourceOnTheRightReachesTheRightEarFirstAndLouderAndTheLeftMirrorsIt) {
    for (int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        const Sound right = render(at(90).in("binaural").sampledAt(rate));
        ASSERT_EQ(right.channels.size(), 2u);
        EXPECT_EQ(right.rate, rate);
        EXPECT_GE(leftLagMs(right), 0.25);
        EXPECT_LE(leftLagMs(right), 1.0);
        EXPECT_GE(decibels(level(right, 1) / level(right, 0)), 3.0);

        const Sound left = render(at(-90).in("binaural").sampledAt(rate));
        EXPECT_LE(leftLagMs(left), -0.25);
        EXPECT_GE(leftLagMs(left), -1.0);
        EXPECT_GE(decibels(level(left, 0) / level(left, 1)), 3.0);
    }
}

TEST(Binaural, ASourceAheadIsEquallyLoudInBothEarsAndAHighOneOnTheSideDiffersMore) {
    const Sound ahead = render(at(0).in("binaural"));
    EXPECT_NEAR(decibels(level(ahead, 0) / level(ahead, 1)), 0.0, 1.5);
    const Sound low = render(at(90).in("binaural").sounding(400));
    const Sound high = render(at(90).in("binaural").sounding(3000));
    EXPECT_GT(decibels(level(high, 1) / level(high, 0)), decibels(level(low, 1) / level(low, 0)));
}

// The real SN3D spherical harmonic of ACN channel acn for a direction in
// Ambisonics' own terms: azimuth anticlockwise from the front, elevation up,
// both in radians, without the Condon-Shortley phase.
double sn3d(int acn, double azimuth, double elevation) {
    const int l = static_cast<int>(std::sqrt(acn));
    const int m = acn - l * l - l;
    const int am = std::abs(m);
    // Associated Legendre function P_l^|m|(sin elevation), by the usual recurrences.
    const double x = std::sin(elevation), s = std::cos(elevation);
    double pmm = 1;
    for (int i = 1; i <= am; ++i) pmm *= (2 * i - 1) * s;
    double p = pmm;
    if (l > am) {
        double previous = pmm, current = x * (2 * am + 1) * pmm;
        for (int n = am + 2; n <= l; ++n) {
            const double next = ((2 * n - 1) * x * current - (n + am - 1) * previous) / (n - am);
            previous = current;
            current = next;
        }
        p = current;
    }
    double factorialRatio = 1;  // (l - |m|)! / (l + |m|)!
    for (int i = l - am + 1; i <= l + am; ++i) factorialRatio /= i;
    const double norm = std::sqrt((m == 0 ? 1.0 : 2.0) * factorialRatio);
    const double angular = m > 0 ? std::cos(m * azimuth) : m < 0 ? std::sin(am * azimuth) : 1.0;
    return norm * p * angular;
}

TEST(Ambix, EveryChannelCarriesItsSn3dSphericalHarmonicOfTheSourceDirectionInAcnOrder) {
    const std::vector<Where> directions = {{0, 0, 1},     {90, 0, 1},    {-60, 20, 1},  {180, 0, 1},
                                           {30, 45, 1},   {-120, -45, 1}, {135, 70, 1}};
    for (const auto& [space, channels] : {std::pair{"ambix1", 4}, std::pair{"ambix3", 16}}) {
        for (const Where& w : directions) {
            SCOPED_TRACE(std::string(space) + " azimuth " + std::to_string(w.azimuth) + " elevation " +
                         std::to_string(w.elevation));
            const Sound s = render(at(w.azimuth, w.elevation).in(space));
            ASSERT_EQ(s.channels.size(), static_cast<std::size_t>(channels));
            // The scores count azimuth clockwise, Ambisonics anticlockwise.
            const double azimuth = -w.azimuth * std::numbers::pi / 180, elevation = w.elevation * std::numbers::pi / 180;
            for (int acn = 0; acn < channels; ++acn)
                EXPECT_NEAR(gainAgainst(s.channels[0], s.channels[static_cast<std::size_t>(acn)]),
                            sn3d(acn, azimuth, elevation), 0.05)
                    << "ACN " << acn;
        }
    }
}

double energyShare(const Sound& s, std::size_t channel) {
    double total = 0;
    for (std::size_t c = 0; c < s.channels.size(); ++c) total += std::pow(level(s, c), 2);
    return std::pow(level(s, channel), 2) / total;
}

TEST(Ring8, ASourceAtASpeakerSoundsFromItAndOneBetweenTwoFromBothAlike) {
    for (std::size_t k = 1; k <= 8; ++k) {
        SCOPED_TRACE(k);
        const Sound s = render(at((static_cast<double>(k) - 1) * 45 - (k > 4 ? 360 : 0)).in("ring8"));
        ASSERT_EQ(s.channels.size(), 8u);
        EXPECT_GE(energyShare(s, k - 1), 0.9);
    }
    const Sound between = render(at(22.5).in("ring8"));
    EXPECT_NEAR(decibels(level(between, 0) / level(between, 1)), 0.0, 1.0);
    EXPECT_GE(energyShare(between, 0) + energyShare(between, 1), 0.9);
}

TEST(Speakers, ASpeakerFileOfTheComposersOwnRingSetsTheChannelsAndTheirDirections) {
    // A hexagon, its channels not in the order of their directions.
    const std::string hexagon = "#define SPEAKER_COUNT #6#\n#define SPEAKER_DIMENSIONS #2#\n"
                                "#define SPEAKER_DIRECTIONS #-60, 0, 60, 180, 120, -120#\n";
    auto inHexagon = [&](double azimuth) {
        return render(at(azimuth).in("speakers").with("SPEAKERS=hall.speakers").beside("hall.speakers", hexagon));
    };
    const Sound left = inHexagon(-60), back = inHexagon(120), between = inHexagon(150);
    ASSERT_EQ(left.channels.size(), 6u);
    EXPECT_GE(energyShare(left, 0), 0.9);
    EXPECT_GE(energyShare(back, 4), 0.9);
    EXPECT_NEAR(decibels(level(between, 4) / level(between, 3)), 0.0, 1.0);
}

TEST(Speakers, ADomePansByAzimuthWithinARingAndByElevationBetweenRings) {
    // Four speakers at ear height, four 50 degrees up, one overhead.
    const std::string dome = "#define SPEAKER_COUNT #9#\n#define SPEAKER_DIMENSIONS #3#\n"
                             "#define SPEAKER_DIRECTIONS #0,0, 90,0, 180,0, 270,0, 45,50, 135,50, 225,50, 315,50, 0,90#\n";
    auto inDome = [&](double azimuth, double elevation) {
        return render(at(azimuth, elevation).in("speakers").with("SPEAKERS=dome.speakers").beside("dome.speakers", dome));
    };
    const Sound right = inDome(90, 0), up = inDome(135, 50), overhead = inDome(0, 90), between = inDome(0, 25);
    ASSERT_EQ(right.channels.size(), 9u);
    EXPECT_GE(energyShare(right, 1), 0.9);
    EXPECT_GE(energyShare(up, 5), 0.9);
    EXPECT_GE(energyShare(overhead, 8), 0.9);
    // Halfway up: the front speaker of the lower ring and the two front ones of the upper ring, alike.
    EXPECT_NEAR(decibels(level(between, 0) / std::hypot(level(between, 4), level(between, 7))), 0.0, 1.0);
    EXPECT_NEAR(decibels(level(between, 4) / level(between, 7)), 0.0, 1.0);
}

TEST(Distance, TwiceAsFarBeyondOneMetreIsSixDecibelsQuieterAndNearerIsNoLouder) {
    const Sound two = render(at(0, 0, 2));
    const Sound four = render(at(0, 0, 4));
    EXPECT_NEAR(decibels(level(four, 0) / level(two, 0)), -6.02, 1.0);
    const Sound one = render(at(0, 0, 1));
    const Sound half = render(at(0, 0, 0.5));
    EXPECT_NEAR(decibels(level(half, 0) / level(one, 0)), 0.0, 0.5);
    const Sound flat = render(at(0, 0, 4).with("ATTENUATION=0"));
    EXPECT_NEAR(decibels(level(flat, 0) / level(one, 0)), 0.0, 1.0);
}

TEST(Distance, AFarSourceIsDarkerThanANearOne) {
    const Case near = at(0, 0, 1).sounding(2000, 6);
    Case far = near;
    far.where.distance = 20;
    const double nearShare = energyAboveOverBelow(render(near).channels[0], 44100, 5000);
    const double farShare = energyAboveOverBelow(render(far).channels[0], 44100, 5000);
    EXPECT_LT(decibels(std::sqrt(farShare / nearShare)), -1.0);
    const double dryNear = energyAboveOverBelow(render(Case(near).with("AIR=0")).channels[0], 44100, 5000);
    const double dryFar = energyAboveOverBelow(render(far.with("AIR=0")).channels[0], 44100, 5000);
    EXPECT_NEAR(decibels(std::sqrt(dryFar / dryNear)), 0.0, 0.5);
}

// The sample at a time in seconds.
std::size_t sampleAt(const Sound& s, double seconds) { return static_cast<std::size_t>(seconds * s.rate); }

TEST(Distance, TheReverbsShareGrowsWithDistance) {
    // One grain of 0.2 s; after it only the reverb sounds.
    auto share = [](const Case& c) {
        const Sound s = render(c);
        return rms(s.channels[0], sampleAt(s, 0.3), sampleAt(s, 1.3)) / rms(s.channels[0], sampleAt(s, 0.05), sampleAt(s, 0.15));
    };
    const Case near = at(0, 0, 1).grains(0.2, 0, 0.2).with("DOPPLER=0").reverberant();
    const Case far = at(0, 0, 8).grains(0.2, 0, 0.2).with("DOPPLER=0").reverberant();
    EXPECT_NEAR(decibels(share(far) / share(near)), decibels(std::sqrt(8.0)), 1.5);
    EXPECT_NEAR(decibels(share(Case(far).with("DISTANCE_REVERB=0")) / share(near)), 0.0, 1.0);
}

TEST(Distance, AnApproachingSourceSoundsHigherByTheDopplerRatio) {
    // Two grains of 0.3 s, 0.6 s apart, with coordinates every 0.3 s coming
    // 30 m nearer each. The second grain moves from 300 m to 240 m across its
    // note of 1.2 s: 50 m/s towards the listener. It leaves at 0.6 s and is
    // heard from 0.6 + 300 / 343 s = 1.47 s until its end, which left 285 m
    // away: 0.6 + 0.3 + 285 / 343 s = 1.73 s.
    Case approach = at(0, 0, 300).sounding(1000).with("ATTENUATION=0").with("AIR=0").approaching(30).grains(0.3, 1, 1);
    const Sound moving = render(approach);
    const double ratio = 343.0 / (343.0 - 50.0);
    EXPECT_NEAR(peakFrequency(moving.channels[0], moving.rate, 1050, 1300, sampleAt(moving, 1.5), sampleAt(moving, 1.7)) / 1000,
                ratio, 0.005 * ratio);
    approach.with("DOPPLER=0");
    const Sound dry = render(approach);
    EXPECT_NEAR(peakFrequency(dry.channels[0], dry.rate, 900, 1100, sampleAt(dry, 0.62), sampleAt(dry, 0.88)), 1000, 1);
}

TEST(Glisson, AHighGlissonFoldsNoHarmonicBackBelowHalfTheSampleRate) {
    // One grain of half a second at 10 kHz with harmonics at 20 and 30 kHz;
    // at 44.1 kHz the third would fold back to 14.1 kHz.
    const Sound s = render(at(0).sounding(10000, 3).grains(0.5, 0, 0.5));
    const auto& left = s.channels[0];
    const double fundamental = amplitudeAt(left, 44100, 10000, sampleAt(s, 0.05), sampleAt(s, 0.45));
    EXPECT_LE(decibels(amplitudeAt(left, 44100, 44100 - 30000, sampleAt(s, 0.05), sampleAt(s, 0.45)) / fundamental), -60.0);
    EXPECT_GE(decibels(amplitudeAt(left, 44100, 20000, sampleAt(s, 0.05), sampleAt(s, 0.45)) / fundamental), -20.0);  // the 2nd stays
}

TEST(Grain, AGrainIsSilentAfterItsGrainDurationThoughItsNoteLastsLonger) {
    // One grain of 0.2 s in a note of 0.4 s.
    const Sound s = render(at(0).grains(0.2, 0, 0.2).with("DOPPLER=0"));
    EXPECT_GT(rms(s.channels[0], sampleAt(s, 0.05), sampleAt(s, 0.15)), 0.01);
    EXPECT_LT(rms(s.channels[0], sampleAt(s, 0.21), sampleAt(s, 0.4)), 1e-6);
}

TEST(Grain, AFarGrainIsHeardWholeWhenItArrives) {
    // One grain of 0.2 s at 100 m: heard from 100 / 343 s = 0.29 s to 0.49 s.
    const Sound s = render(at(0, 0, 100).grains(0.2, 0, 0.2).with("ATTENUATION=0").with("AIR=0"));
    const double arrival = 100.0 / 343.0;
    EXPECT_LT(rms(s.channels[0], 0, sampleAt(s, arrival - 0.002)), 1e-6);
    EXPECT_GT(rms(s.channels[0], sampleAt(s, arrival + 0.18), sampleAt(s, arrival + 0.198)), 0.01);
    EXPECT_LT(rms(s.channels[0], sampleAt(s, arrival + 0.202), s.frames()), 1e-6);
}

}  // namespace
}  // namespace grain::sound
