// The spatial rendering of the example orchestras, measured on sound that
// Csound renders: single-voice scores made by the programs from coordinate
// files that hold one fixed place (or one steady approach), rendered in each
// technique, without reverb.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "sound_measure.hpp"
#include "test_support.hpp"

namespace grain::sound {
namespace {

using grain::testing::TempFolder;

// The orchestras under test: the source tree's, or a scratch copy named by
// the environment's GRAIN_EXAMPLES_DIR (to try a planted fault on them).
const std::filesystem::path examples = std::getenv("GRAIN_EXAMPLES_DIR") != nullptr
                                           ? std::filesystem::path(std::getenv("GRAIN_EXAMPLES_DIR"))
                                           : std::filesystem::path(GRAIN_EXAMPLES_DIR);

// Every render is bounded: a fault (an orchestra that never ends, say) fails
// within this time and never writes more than this.
constexpr int renderSeconds = 30;
constexpr int renderKilobytes = 64 * 1024;

// Runs csound with arguments in folder, its messages into folder/csound.log,
// within the given time and the file size bound; its exit status (non-zero
// when it was stopped). peakKilobytes, when given, receives the render's peak
// resident memory: csound's own, as GNU time reads it (the rusage of a child
// of this process would count the pages it had before it became csound).
int csoundBounded(const std::filesystem::path& folder, const std::string& arguments, int seconds = renderSeconds,
                  long* peakKilobytes = nullptr) {
    // ulimit -f counts blocks of 512 bytes in some shells and 1024 in others: the bound holds in both.
    const std::string command = "cd '" + folder.string() + "' && ulimit -f " + std::to_string(renderKilobytes) +
                                " && exec timeout -s KILL " + std::to_string(seconds) +
                                " /usr/bin/time -f %M -o peak.txt csound " + arguments + " > csound.log 2>&1";
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    if (peakKilobytes != nullptr) *peakKilobytes = std::atol(grain::testing::readText(folder / "peak.txt").c_str());
    return status;
}

struct Where {
    double azimuth = 0, elevation = 0, distance = 1;
};

// What a test renders: a glisson of one frequency (1 s of grains of 0.1 s that
// follow each other without a gap, unless stated otherwise; one voice, no
// reverb) at a place, stated as at(place).in(technique) and so on; or grains
// of a sound file (granulescore's, playing(sound, speed)).
struct Case {
    Where where;
    double hz = 400;
    int harmonics = 1;
    std::string space = "stereo";
    std::vector<std::string> macros;  // further --omacro settings, NAME=value
    int rate = 44100;
    double distanceStep = 0;          // metres per coordinate sample (one grain duration)
    double azimuthStep = 0;           // degrees per coordinate sample, clockwise
    double grain = 0.1;               // grain duration, s
    int intergrain = 0;               // silence between grains, in grain durations
    double total = 1;                 // total duration, s
    bool reverb = false;
    std::vector<std::pair<std::string, std::string>> files;  // written beside the score: name, text
    Sound source;                     // granulescore's sound file, when it has frames
    double speed = 1;                 // its play speed

    Case& in(std::string technique) { space = std::move(technique); return *this; }
    Case& sounding(double hertz, int partials = 1) { hz = hertz; harmonics = partials; return *this; }
    Case& with(std::string macro) { macros.push_back(std::move(macro)); return *this; }
    Case& sampledAt(int hz_) { rate = hz_; return *this; }
    Case& approaching(double metresPerSample) { distanceStep = -metresPerSample; return *this; }
    Case& turning(double degreesPerSample) { azimuthStep = degreesPerSample; return *this; }
    Case& reverberant() { reverb = true; return *this; }
    Case& beside(std::string name, std::string text) { files.emplace_back(std::move(name), std::move(text)); return *this; }
    Case& grains(double seconds, int gaps, double piece) { grain = seconds; intergrain = gaps; total = piece; return *this; }
    Case& playing(Sound file, double playSpeed) { source = std::move(file); speed = playSpeed; return *this; }
};

Case at(double azimuth, double elevation = 0, double distance = 1) {
    Case c;
    c.where = {azimuth, elevation, distance};
    return c;
}

struct Rendered {
    Sound sound;
    long peakKilobytes = 0;  // the render's peak resident memory
};

// Renders c; fails the test with Csound's complaint when Csound reports an
// error or a warning.
Rendered renderMeasured(const Case& c) {
    TempFolder folder;
    const auto coordinates = folder.path() / "bg";
    std::filesystem::create_directories(coordinates);
    std::vector<double> a, e, d;
    for (int i = 0; i < std::max(40, static_cast<int>(c.total / c.grain) + 10); ++i) {
        a.push_back(c.where.azimuth + c.azimuthStep * i);
        e.push_back(c.where.elevation);
        d.push_back(c.where.distance + c.distanceStep * i);
    }
    grain::testing::writeVoice(coordinates, 1, a, e, d);
    const bool granule = c.source.frames() > 0;
    const std::string hz = std::to_string(c.hz);
    const std::string timing = "3\n" + std::to_string(c.grain) + "\n1\n" + std::to_string(c.intergrain) + "\n" +
                               std::to_string(c.total) + "\n1\n" + (c.reverb ? "1" : "0") + "\n";
    const std::string answers = granule ? timing + "source.wav\n" + std::to_string(c.speed) + "\n"
                                        : "1\n" + hz + "\n" + hz + "\n" + std::to_string(c.harmonics) + "\n" + timing;
    for (const auto& [name, text] : c.files) grain::testing::writeText(folder.path() / name, text);
    if (granule) {
        Outcome<> written = writeSound(folder.path() / "source.wav", c.source);
        EXPECT_TRUE(written.ok()) << written.reason();
    }
    const auto program = granule ? grain::Program::granule : grain::Program::glisson;
    auto run = grain::testing::runProgram(program, answers, coordinates, folder.path());
    EXPECT_EQ(run.status, 0) << run.errors;

    std::string arguments = "-d -m4 -+msg_color=0 -W -f -o out.wav -r " + std::to_string(c.rate) + " --env:INCDIR='" +
                            examples.string() + "' --env:SSDIR=. '" +
                            (examples / grain::orchestraFileName(program)).string() + "' " +
                            grain::scoreFileName(program) + " --omacro:SPACE=" + c.space;
    for (const auto& macro : c.macros) arguments += " --omacro:" + macro;
    Rendered rendered;
    const int status = csoundBounded(folder.path(), arguments, renderSeconds, &rendered.peakKilobytes);
    const std::string log = grain::testing::readText(folder.path() / "csound.log");
    const bool clean = log.find("WARNING") == std::string::npos && log.find("ERROR") == std::string::npos &&
                       log.find("\n0 errors in performance") != std::string::npos;
    EXPECT_TRUE(status == 0 && clean) << "csound (status " << status << ") for " << c.space << ":\n"
                                      << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    rendered.sound = readSound(folder.path() / "out.wav");
    return rendered;
}

Sound render(const Case& c) { return renderMeasured(c).sound; }

TEST(Render, ARenderThatNeverEndsIsStoppedWithinItsTimeAndWritesLittle) {
    // An empty score: the always-on instruments play on and on.
    TempFolder folder;
    grain::testing::writeText(folder.path() / "endless.sco", "");
    const auto started = std::chrono::steady_clock::now();
    const int status = csoundBounded(folder.path(), "-d -m4 -W -f -o out.wav --env:INCDIR='" + examples.string() + "' '" +
                                                        (examples / "VelaRookglisson.orc").string() + "' endless.sco",
                                     2);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_NE(status, 0);
    EXPECT_LT(seconds, 10.0);
    EXPECT_LE(std::filesystem::file_size(folder.path() / "out.wav"), std::uintmax_t{renderKilobytes} * 1024);
}

TEST(Render, ThreeTimesTheGrainsTakeNoMoreMemory) {
    // One voice of grains of 3 ms in third-order Ambisonics: 1000 grains, and
    // 3000. What the render holds for the score itself grows a little with
    // its statements (about half a kilobyte each); nothing else may.
    const long once = renderMeasured(at(30).in("ambix3").grains(0.003, 0, 3)).peakKilobytes;
    const long thrice = renderMeasured(at(30).in("ambix3").grains(0.003, 0, 9)).peakKilobytes;
    std::printf("peak resident memory, ambix3: 1000 grains %ld kB, 3000 grains %ld kB\n", once, thrice);
    EXPECT_GT(once, 0);
    EXPECT_LE(static_cast<double>(thrice), 1.1 * static_cast<double>(once));
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
    // Every speaker and every midway point: a speaker a few degrees off its
    // place still takes most of a source aimed at it, but unbalances the
    // midway points on either side of it.
    for (std::size_t k = 1; k <= 8; ++k) {
        SCOPED_TRACE(k);
        const double azimuth = (static_cast<double>(k) - 1) * 45 - (k > 4 ? 360 : 0);
        const Sound s = render(at(azimuth).in("ring8"));
        ASSERT_EQ(s.channels.size(), 8u);
        EXPECT_GE(energyShare(s, k - 1), 0.99);
        const std::size_t next = k % 8;
        const Sound between = render(at(azimuth + 22.5).in("ring8"));
        EXPECT_NEAR(decibels(level(between, k - 1) / level(between, next)), 0.0, 0.5);
        EXPECT_GE(energyShare(between, k - 1) + energyShare(between, next), 0.99);
    }
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
    // One grain of 0.2 s; after it only the reverb sounds. The grain itself is
    // measured in the same render without the reverb, whose early part would
    // otherwise be counted with it.
    auto share = [](const Case& c) {
        Case dry = c;
        dry.reverb = false;
        const Sound wet = render(c), grain = render(dry);
        return rms(wet.channels[0], sampleAt(wet, 0.3), sampleAt(wet, 1.3)) /
               rms(grain.channels[0], sampleAt(grain, 0.05), sampleAt(grain, 0.15));
    };
    const Case near = at(0, 0, 1).grains(0.2, 0, 0.2).with("DOPPLER=0").reverberant();
    const Case far = at(0, 0, 8).grains(0.2, 0, 0.2).with("DOPPLER=0").reverberant();
    EXPECT_NEAR(decibels(share(far) / share(near)), decibels(std::sqrt(8.0)), 1.5);
    EXPECT_NEAR(decibels(share(Case(far).with("DISTANCE_REVERB=0")) / share(near)), 0.0, 1.0);
}

// One second of a sine of hz at amplitude 0.5, at 44.1 kHz.
Sound sineFile(double hz) {
    Sound sine{44100, {std::vector<double>(44100)}};
    for (std::size_t i = 0; i < sine.frames(); ++i)
        sine.channels[0][i] = 0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / 44100.0);
    return sine;
}

// One second of white noise at amplitude 0.25, at 44.1 kHz, the same every time.
Sound noiseFile() {
    Sound noise{44100, {std::vector<double>(44100)}};
    std::uint32_t state = 12345;
    for (double& v : noise.channels[0]) {
        state = state * 1664525u + 1013904223u;
        v = 0.5 * (static_cast<double>(state >> 8) / 16777216.0 - 0.5);
    }
    return noise;
}

TEST(Distance, AGrainIsHeardHigherOrLowerByTheDopplerRatioOfItsBoidsSpeed) {
    // Grains of 0.3 s one after the other (notes of 0.6 s), coordinates every
    // 0.3 s, 15 m nearer (or farther) each: the boid moves at 50 m/s. The
    // third grain (note at 0.6 s) starts where its boid is, 270 m away when
    // approaching, and is heard from 0.6 + 270 / 343 s = 1.387 s for
    // 0.3 x 293 / 343 s; receding from 10 m, it starts 40 m away and is heard
    // from 0.717 s for 0.3 x 393 / 343 s. A glisson of 1 kHz and a grain of a
    // 1 kHz sine file alike.
    const double v = 15 / 0.3;
    struct Way {
        double from, step, heardFrom, heardFor, ratio;
    };
    const Way ways[] = {{300, 15, 0.6 + 270 / 343.0, 0.3 * (343 - v) / 343, 343 / (343 - v)},
                        {10, -15, 0.6 + 40 / 343.0, 0.3 * (343 + v) / 343, 343 / (343 + v)}};
    const Sound oneKilohertz = sineFile(1000);
    for (const bool granule : {false, true}) {
        for (const Way& way : ways) {
            for (int rate : granule ? std::vector<int>{44100} : std::vector<int>{44100, 22050, 96000}) {
                SCOPED_TRACE(::testing::Message() << (granule ? "granule, " : "glisson, ")
                                                  << (way.step > 0 ? "approaching at " : "receding at ") << rate << " Hz");
                Case c = at(0, 0, way.from).sounding(1000).with("ATTENUATION=0").with("AIR=0").approaching(way.step).grains(0.3, 0, 1);
                if (granule) c.playing(oneKilohertz, 1);
                const Sound s = render(c.sampledAt(rate));
                ASSERT_EQ(s.rate, rate);
                EXPECT_NEAR(peakFrequency(s.channels[0], s.rate, 600, 1500, sampleAt(s, way.heardFrom + 0.02),
                                          sampleAt(s, way.heardFrom + way.heardFor - 0.02)) / 1000,
                            way.ratio, 0.005 * way.ratio);
            }
        }
    }
    const Sound dry = render(at(0, 0, 300).sounding(1000).with("DOPPLER=0").approaching(15).grains(0.3, 0, 1));
    EXPECT_NEAR(peakFrequency(dry.channels[0], dry.rate, 900, 1100, sampleAt(dry, 0.62), sampleAt(dry, 0.88)), 1000, 1);
}

TEST(Rates, EveryTechniquePlacesAGrainAsAt44100HzAlsoAt22050And96000Hz) {
    for (int rate : {22050, 96000}) {
        SCOPED_TRACE(rate);
        const Sound stereo = render(at(90).sampledAt(rate));
        ASSERT_EQ(stereo.rate, rate);
        EXPECT_GE(energyShare(stereo, 1), 0.99);
        const Sound ambix = render(at(-60, 20).in("ambix3").sampledAt(rate));
        ASSERT_EQ(ambix.channels.size(), 16u);
        for (int acn = 0; acn < 16; ++acn)
            EXPECT_NEAR(gainAgainst(ambix.channels[0], ambix.channels[static_cast<std::size_t>(acn)]),
                        sn3d(acn, 60 * std::numbers::pi / 180, 20 * std::numbers::pi / 180), 0.05) << "ACN " << acn;
        const Sound speaker = render(at(90).in("ring8").sampledAt(rate)), between = render(at(112.5).in("ring8").sampledAt(rate));
        EXPECT_GE(energyShare(speaker, 2), 0.99);
        EXPECT_NEAR(decibels(level(between, 2) / level(between, 3)), 0.0, 0.5);
        // The air's low-pass near the listener leaves a grain about as bright as
        // without it (its cutoff folded back above half the rate would take 7 dB
        // from 2.5 kHz up at 22050 Hz; a one-pole low-pass at half the rate takes 1.5).
        const Case near = at(0).sounding(1000, 6).sampledAt(rate);
        EXPECT_GT(decibels(std::sqrt(energyAboveOverBelow(render(near).channels[0], rate, 2500) /
                                     energyAboveOverBelow(render(Case(near).with("AIR=0")).channels[0], rate, 2500))), -1.5);
        if (rate != 96000) continue;  // Csound's HRTF data: 44100, 48000 and 96000 Hz
        const Sound ears = render(at(90).in("binaural").sampledAt(rate));
        EXPECT_GE(leftLagMs(ears), 0.25);
        EXPECT_LE(leftLagMs(ears), 1.0);
        EXPECT_GE(decibels(level(ears, 1) / level(ears, 0)), 3.0);
    }
}

TEST(Distance, AGrainIsHeardWhenItsSoundHasTravelledFromWhereItsBoidIs) {
    // One grain of 0.1 s at 20 or 100 m: its first sound within a control period of d / 343 s.
    for (double d : {20.0, 100.0}) {
        SCOPED_TRACE(d);
        const Sound s = render(at(0, 0, d).grains(0.1, 0, 0.1).with("ATTENUATION=0").with("AIR=0"));
        std::size_t first = 0;
        while (first < s.frames() && std::fabs(s.channels[0][first]) < 1e-4) ++first;
        EXPECT_NEAR(static_cast<double>(first) / s.rate, d / 343, 64.0 / s.rate);
    }
}

TEST(Ambix, AGrainCrossingTheFrontTurnsAtItsBoidsAngularSpeed) {
    // Coordinates every 0.1 s, 6 degrees further right each: 60 degrees a
    // second, from 30 degrees left. The direction of first-order Ambisonics,
    // atan2 of Y and X against W, every 10 ms from 0.2 to 0.8 s.
    const Sound s = render(at(-30).turning(6).in("ambix1").grains(0.1, 0, 1));
    ASSERT_EQ(s.channels.size(), 4u);
    std::vector<double> times, azimuths;
    for (double t = 0.2; t < 0.8; t += 0.01) {
        auto slice = [&](std::size_t channel) {
            return std::vector<double>(s.channels[channel].begin() + static_cast<long>(sampleAt(s, t)),
                                       s.channels[channel].begin() + static_cast<long>(sampleAt(s, t + 0.01)));
        };
        const double y = gainAgainst(slice(0), slice(1)), x = gainAgainst(slice(0), slice(3));
        times.push_back(t + 0.005);
        azimuths.push_back(-std::atan2(y, x) * 180 / std::numbers::pi);  // clockwise, as the scores count
    }
    // The least-squares slope, in degrees per second.
    const auto n = static_cast<double>(times.size());
    double mt = 0, ma = 0;
    for (std::size_t i = 0; i < times.size(); ++i) mt += times[i] / n, ma += azimuths[i] / n;
    double cross = 0, square = 0;
    for (std::size_t i = 0; i < times.size(); ++i) cross += (times[i] - mt) * (azimuths[i] - ma), square += std::pow(times[i] - mt, 2);
    EXPECT_NEAR(cross / square, 60.0, 3.0);
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

// The grains of a render with silence between them: each one's first and
// last sample, the loudest sample within its first and last millisecond, and
// its peak.
struct GrainEdges {
    double first = 0, last = 0, nearEdges = 0, peak = 0;
};

std::vector<GrainEdges> grainEdges(const Sound& s, std::size_t channel) {
    const auto& samples = s.channels.at(channel);
    const std::size_t millisecond = static_cast<std::size_t>(s.rate / 1000);
    std::vector<GrainEdges> grains;
    for (std::size_t i = 0; i < samples.size();) {
        if (samples[i] == 0) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::size_t end = i;
        for (std::size_t quiet = 0; i < samples.size() && quiet < millisecond; ++i) {
            quiet = samples[i] == 0 ? quiet + 1 : 0;
            if (samples[i] != 0) end = i;
        }
        GrainEdges grain{std::fabs(samples[start]), std::fabs(samples[end]), 0, 0};
        for (std::size_t k = start; k <= end; ++k) {
            grain.peak = std::max(grain.peak, std::fabs(samples[k]));
            if (k < start + millisecond || k + millisecond > end) grain.nearEdges = std::max(grain.nearEdges, std::fabs(samples[k]));
        }
        grains.push_back(grain);
    }
    return grains;
}

TEST(Grain, EveryGrainStartsAndEndsInSilenceUnlessTheScoresOwnWindowIsAskedFor) {
    // Sine glissons of 0.1 s with as much silence between them, in first-order
    // Ambisonics without air absorption: W is the grains alone, nothing filters
    // them. The default window and hann start and end every grain 60 dB or
    // more below its peak, and put nothing above 8 kHz that is not 80 dB
    // below the grains; table (the scores' window as it is) jumps to near
    // half the peak within a millisecond at both ends.
    struct Window {
        std::string name;
        bool smooth;
    };
    for (const Window& window : {Window{"default", true}, Window{"hann", true}, Window{"table", false}}) {
        SCOPED_TRACE(window.name);
        for (double hz : {300.0, 2000.0}) {
            SCOPED_TRACE(hz);
            Case c = at(0).sounding(hz).grains(0.1, 1, 1).in("ambix1").with("AIR=0");
            if (window.name != "default") c.with("WINDOW=" + window.name);
            const Sound s = render(c);
            ASSERT_EQ(s.channels.size(), 4u);
            const auto grains = grainEdges(s, 0);
            EXPECT_EQ(grains.size(), 5u);
            double loudestEdge = 0, quietestNearEdges = 1;
            for (const GrainEdges& g : grains) {
                loudestEdge = std::max({loudestEdge, g.first / g.peak, g.last / g.peak});
                quietestNearEdges = std::min(quietestNearEdges, g.nearEdges / g.peak);
            }
            const double above = 10 * std::log10(energyAboveOverBelow(s.channels[0], s.rate, 8000));
            std::printf("window %s, %.0f Hz: first and last samples up to %.1f dB, above 8 kHz %.1f dB\n",
                        window.name.c_str(), hz, decibels(loudestEdge), above);
            if (window.smooth) {
                EXPECT_LE(decibels(loudestEdge), -60.0);
                EXPECT_LE(above, -80.0);
            } else {
                EXPECT_GE(decibels(quietestNearEdges), -10.0);
            }
        }
    }
    // A window of another name stops Csound before it renders, naming the windows there are.
    TempFolder folder;
    grain::testing::writeText(folder.path() / "empty.sco", "e\n");
    EXPECT_NE(csoundBounded(folder.path(), "-d -m4 -+msg_color=0 -n --env:INCDIR='" + examples.string() + "' '" +
                                               (examples / "VelaRookglisson.orc").string() + "' empty.sco --omacro:WINDOW=kaiser"),
              0);
    EXPECT_NE(grain::testing::readText(folder.path() / "csound.log").find("WINDOW=kaiser is no window: default, table or hann"),
              std::string::npos);
}

TEST(Grain, AFarGrainIsHeardWholeWhenItArrives) {
    // One grain of 0.2 s at 100 m: heard from 100 / 343 s = 0.29 s to 0.49 s.
    const Sound s = render(at(0, 0, 100).grains(0.2, 0, 0.2).with("ATTENUATION=0").with("AIR=0"));
    const double arrival = 100.0 / 343.0;
    EXPECT_LT(rms(s.channels[0], 0, sampleAt(s, arrival - 0.002)), 1e-6);
    EXPECT_GT(rms(s.channels[0], sampleAt(s, arrival + 0.18), sampleAt(s, arrival + 0.198)), 0.01);
    // Nothing after its end, not even within the control period in which its note ends.
    EXPECT_LT(rms(s.channels[0], sampleAt(s, arrival + 0.2002), s.frames()), 1e-6);
}


// The reverb's tail after one short loud grain at 8 m (0.05 s, heard from
// 8 / 343 s on): each channel's energy from 0.2 s after the grain has passed
// until the whole tail has fallen 40 dB below its level there.
struct Tail {
    std::vector<double> energy;  // per channel
    double seconds = 0;          // how long the measured stretch is
};

const Case reverbGrain = at(0, 0, 8).grains(0.05, 0, 0.05).reverberant();

Tail tailOf(const Sound& s) {
    const std::size_t block = static_cast<std::size_t>(s.rate / 100);
    auto blockEnergy = [&](std::size_t from) {
        double e = 0;
        for (const auto& channel : s.channels)
            for (std::size_t i = from; i < std::min(from + block, channel.size()); ++i) e += channel[i] * channel[i];
        return e;
    };
    const std::size_t from = sampleAt(s, 8.0 / 343 + 0.05 + 0.2);
    const double start = blockEnergy(from);
    std::size_t to = from;
    while (to + block <= s.frames() && blockEnergy(to) > start * 1e-4) to += block;
    Tail tail;
    tail.seconds = static_cast<double>(to - from) / s.rate;
    for (const auto& channel : s.channels) tail.energy.push_back(std::pow(rms(channel, from, to), 2) * static_cast<double>(to - from));
    return tail;
}

double total(const std::vector<double>& energies) {
    double sum = 0;
    for (double e : energies) sum += e;
    return sum;
}

TEST(Reverb, TheTailInStereoKeepsItsLevelAgainstTheGrain) {
    // Measured so when the reverb's two outputs came from the left and the right.
    const double twoSidedTailOverGrainDb = -2.16;
    Case direct = reverbGrain;
    direct.reverb = false;
    const Sound grain = render(direct);
    double grainEnergy = 0;
    for (const auto& channel : grain.channels)
        grainEnergy += std::pow(rms(channel, 0, channel.size()), 2) * static_cast<double>(channel.size());
    const Tail tail = tailOf(render(reverbGrain));
    EXPECT_GT(tail.seconds, 0.5);
    EXPECT_NEAR(10 * std::log10(total(tail.energy) / grainEnergy), twoSidedTailOverGrainDb, 1.5);
    std::printf("reverb tail in stereo: %.2f dB against the grain over %.2f s\n",
                10 * std::log10(total(tail.energy) / grainEnergy), tail.seconds);
}

TEST(Reverb, TheTailComesFromEverySideAlike) {
    // ring8: every speaker within 3 dB of their mean.
    const Tail ring = tailOf(render(Case(reverbGrain).in("ring8")));
    ASSERT_EQ(ring.energy.size(), 8u);
    const double mean = total(ring.energy) / 8;
    for (std::size_t c = 0; c < 8; ++c) EXPECT_NEAR(10 * std::log10(ring.energy[c] / mean), 0.0, 3.0) << "channel " << c + 1;

    // ambix3, decoded towards ahead, behind, left, right, above and below by
    // sampling the SN3D harmonics there: the loudest within 4 dB of the quietest.
    const Sound ambix = render(Case(reverbGrain).in("ambix3"));
    ASSERT_EQ(ambix.channels.size(), 16u);
    const std::vector<std::pair<double, double>> sides = {{0, 0}, {180, 0}, {-90, 0}, {90, 0}, {0, 90}, {0, -90}};
    Sound decoded{ambix.rate, {}};
    for (const auto& [azimuth, elevation] : sides) {
        std::vector<double> beam(ambix.frames(), 0.0);
        for (int acn = 0; acn < 16; ++acn) {
            const double gain = sn3d(acn, -azimuth * std::numbers::pi / 180, elevation * std::numbers::pi / 180);
            for (std::size_t i = 0; i < beam.size(); ++i) beam[i] += gain * ambix.channels[static_cast<std::size_t>(acn)][i];
        }
        decoded.channels.push_back(std::move(beam));
    }
    const Tail around = tailOf(decoded);
    const auto [quietest, loudest] = std::minmax_element(around.energy.begin(), around.energy.end());
    EXPECT_LE(10 * std::log10(*loudest / *quietest), 4.0)
        << "ahead, behind, left, right, above, below: " << ::testing::PrintToString(around.energy);

    // binaural: both ears within 1 dB.
    const Tail ears = tailOf(render(Case(reverbGrain).in("binaural")));
    EXPECT_NEAR(10 * std::log10(ears.energy[0] / ears.energy[1]), 0.0, 1.0);
    std::printf("reverb tail: ring8 %s; ambix3 ahead, behind, left, right, above, below %s; binaural %s\n",
                ::testing::PrintToString(ring.energy).c_str(), ::testing::PrintToString(around.energy).c_str(),
                ::testing::PrintToString(ears.energy).c_str());
}


// The demo's test sound for granulescore, rendered from examples/testsound.csd.
Sound testSound() {
    TempFolder folder;
    EXPECT_EQ(csoundBounded(folder.path(), "-d -m4 -W -f -o testsound.wav '" + (examples / "testsound.csd").string() + "'"), 0)
        << grain::testing::readText(folder.path() / "csound.log");
    return readSound(folder.path() / "testsound.wav");
}

// The mean of a whole channel against its RMS, in decibels.
double offsetDb(const std::vector<double>& channel) {
    return decibels(std::fabs(mean(channel, 0, channel.size())) / rms(channel, 0, channel.size()));
}

TEST(Reverb, TheReverbLeansNeitherLeftNorRight) {
    // Every reverb is heard from a direction and its mirror image across the
    // front: the reverb's first-order intensity has no left or right share.
    // Grains of white noise for 1 s at 8 m ahead in first-order Ambisonics;
    // the reverb alone is the render with it less the render without it. Its
    // lateral intensity, the mean of W Y against that of W W (1 for a source
    // at the left), stays under 0.02; one of the eight directions mirrored to
    // the other side makes it 0.06 or more.
    const Case wet = at(0, 0, 8).in("ambix1").grains(0.05, 0, 1).reverberant().playing(noiseFile(), 1);
    Case dry = wet;
    dry.reverb = false;
    const Sound with = render(wet), without = render(dry);
    ASSERT_EQ(with.channels.size(), 4u);
    double ww = 0, wy = 0, wz = 0, wx = 0;
    for (std::size_t i = 0; i < with.frames(); ++i) {
        auto reverb = [&](std::size_t c) { return with.channels[c][i] - (i < without.frames() ? without.channels[c][i] : 0); };
        ww += reverb(0) * reverb(0), wy += reverb(0) * reverb(1), wz += reverb(0) * reverb(2), wx += reverb(0) * reverb(3);
    }
    std::printf("the reverb's intensity: ahead %.3f, left %.3f, up %.3f\n", wx / ww, wy / ww, wz / ww);
    EXPECT_LE(std::fabs(wy / ww), 0.02);
}

TEST(Granule, NoOffsetReachesTheRenderNotEvenThroughTheReverb) {
    // The demo's test sound has none of its own; the same sound with an offset
    // of 0.0115 added, in grains of 0.05 s with the reverb on: each channel's
    // mean (W's in Ambisonics) 100 dB or more below its RMS, and 60 dB or
    // more without the output's DC blocker (the file's mean taken out and the
    // reverb's input kept free of it do that much on their own).
    Sound sound = testSound();
    ASSERT_EQ(sound.channels.size(), 1u);
    std::printf("test sound: mean %.1f dB against its RMS\n", offsetDb(sound.channels[0]));
    EXPECT_LE(offsetDb(sound.channels[0]), -60.0);
    for (double& v : sound.channels[0]) v += 0.0115;
    for (const char* space : {"stereo", "ambix1"}) {
        for (const bool outputBlocker : {true, false}) {
            SCOPED_TRACE(::testing::Message() << space << (outputBlocker ? "" : ", BUS_DC_BLOCK=0"));
            Case c = at(30, 0, 5).in(space).playing(sound, 1).grains(0.05, 0, 3).reverberant();
            if (!outputBlocker) c.with("BUS_DC_BLOCK=0");
            const Sound s = render(c);
            for (std::size_t channel = 0; channel < (s.channels.size() == 2 ? 2u : 1u); ++channel) {
                std::printf("%s%s channel %zu: mean %.1f dB against its RMS\n", space, outputBlocker ? "" : " (BUS_DC_BLOCK=0)",
                            channel + 1, offsetDb(s.channels[channel]));
                EXPECT_LE(offsetDb(s.channels[channel]), outputBlocker ? -100.0 : -60.0) << "channel " << channel + 1;
            }
        }
    }
}

TEST(Granule, AGrainReadFasterThanItWasRecordedFoldsNothingBackAndASlowerOneKeepsItsSound) {
    // Grains of a sine file (W of first-order Ambisonics, no air absorption).
    // A 15 kHz sine read 1.5 or 2 times as fast, or at speed 1 by grains that
    // approach at half the speed of sound (twice as high; the first grain,
    // not yet moving, keeps its 15 kHz), lies above half the sample rate:
    // whatever folds back below 14.5 kHz is 60 dB or more below the same file
    // played at speed 1, and so is whatever that file itself puts there. A
    // sine that still fits below half the sample rate keeps its level within
    // 1 dB of the same file at speed 1.
    struct Playback {
        double hz, speed, approach;  // the file's sine, the play speed, metres nearer per grain (0.1 s)
        bool fits;                   // heard below 14.5 kHz: hz times the speed (and the Doppler ratio)
    };
    const Playback playbacks[] = {{15000, 1, 0, false},   {15000, 1.5, 0, false}, {15000, 2, 0, false},
                                  {15000, 1, 20, false},  {8000, 0.5, 0, true},   {6000, 1.5, 0, true},
                                  {3000, 3, 0, true}};
    auto render = [](double hz, double speed, double approach) {
        return grain::sound::render(at(0, 0, 300).approaching(approach).in("ambix1").with("AIR=0").with("ATTENUATION=0")
                                        .playing(sineFile(hz), speed).grains(0.1, 0, 1)).channels.at(0);
    };
    for (const Playback& p : playbacks) {
        SCOPED_TRACE(::testing::Message() << p.hz << " Hz at speed " << p.speed << ", approaching " << p.approach);
        const auto played = render(p.hz, p.speed, p.approach), atSpeedOne = render(p.hz, 1, 0);
        const double db = p.fits ? decibels(rms(played, 0, played.size()) / rms(atSpeedOne, 0, atSpeedOne.size()))
                                 : 10 * std::log10(energyBelow(played, 44100, 14500) / energyBelow(atSpeedOne, 44100, 22050));
        std::printf("%.0f Hz at speed %.1f, %.0f m nearer a grain: %s %.1f dB against speed 1\n", p.hz, p.speed,
                    p.approach, p.fits ? "its level" : "below 14.5 kHz", db);
        if (p.fits)
            EXPECT_NEAR(db, 0.0, 1.0);
        else
            EXPECT_LE(db, -60.0);
    }
}

}  // namespace
}  // namespace grain::sound
