// What grainrender hands a studio, judged by the field's own readers and
// meters: each container read back by libsndfile against the WAV render, the
// WAV header's bytes, AmbiX in CAF as ambix-info reads it, a granule sound
// file of another rate heard at its pitch, the level after --normalize
// and --loudness as ffmpeg's ebur128 and astats filters measure it, binaural
// against the SOFA set's own measurements (read through libmysofa) and
// ffmpeg's sofalizer, and the distance cues' switches. Every
// render is a real one, with Csound and the example orchestras.
#include <gtest/gtest.h>

#include <mysofa.h>
#include <sndfile.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "containers.hpp"
#include "grain_render.hpp"
#include "hrtf_set.hpp"
#include "part_file.hpp"
#include "part_label.hpp"
#include "render_test_support.hpp"
#include "sound_measure.hpp"

namespace fs = std::filesystem;
using namespace render;
using namespace render::testing;

namespace {

const double pi = std::acos(-1.0);

const std::string columns =
    ";inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t ";

// A glisson score of four voices, a grain every 0.1 s each for `seconds`, reverb on.
std::string glissonScore(double seconds) {
    std::ostringstream text;
    text << "f1 0 16384 10 1 1 1 \nf2 0 16385 20 7 1 2    ; grain envelope\n\n" << columns << "Start Freq\t End Freq\n";
    for (int voice = 1; voice <= 4; ++voice)
        for (int grain = 0; grain * 0.1 < seconds; ++grain)
            text << "i1\t " << grain * 0.1 + voice * 0.02 << "\t 0.1\t " << voice << "\t 0.1\t " << voice * 80 << "\t "
                 << voice * 80 + 20 << "\t 0\t 10\t 3\t 4\t 0.05\t " << 200 * voice << "\t " << 300 * voice << "\n";
    text << "\ni99\t 0\t " << seconds + 0.5 << "\t\n\ne\n";
    return text.str();
}

// A granule score with one grain: half a second of the file from a tenth in, at speed 1, straight ahead.
std::string granuleScore(const std::string& soundFile) {
    return "f1 0 4194304 1 \"" + soundFile + "\" 0 4 1\nf2 0 16385 20 7 1 2    ; grain envelope\n\n" + columns +
           "File Play Pos\t Play Speed\ni1\t 0\t 0.6\t 1\t 0\t 0\t 0\t 0\t 0\t 1\t 1\t 0.5\t 0.1\t 1\n\ne\n";
}

// A test's folder whose paths are texts, as grainrender's arguments are.
struct Folder : TemporaryFolder {
    std::string operator/(const std::string& name) const { return (path() / name).string(); }
};

// The standard output and error of a shell command; fails the test when the
// tool is missing (scripts/packages/sound.txt names the package).
std::string shell(const std::string& tool, const std::string& arguments) {
    std::string found;
    if (std::FILE* which = popen(("command -v " + tool).c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, which)) found += line;
        pclose(which);
    }
    EXPECT_FALSE(found.empty()) << tool << " is missing: scripts/install-deps.sh installs it (scripts/packages/sound.txt)";
    std::string output;
    if (std::FILE* pipe = popen((tool + " " + arguments + " 2>&1").c_str(), "r")) {
        char block[4096];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;) output.append(block, got);
        pclose(pipe);
    }
    return output;
}

std::string shellWord(const std::string& path) { return "'" + path + "'"; }

// The last number after `label` in a tool's report.
double reported(const std::string& report, const std::string& label) {
    std::regex number(label + R"(\s*([-+]?[0-9.]+|-inf))");
    double value = NAN;
    for (auto it = std::sregex_iterator(report.begin(), report.end(), number); it != std::sregex_iterator(); ++it)
        value = std::stod((*it)[1]);
    return value;
}

std::vector<float> samples(const std::string& path, SF_INFO& info) {
    info = SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!file) return {};
    std::vector<float> all(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, all.data(), info.frames);
    sf_close(file);
    return all;
}

// Writes samples as a mono float WAV file.
void writeMono(const std::string& path, int rate, const std::vector<float>& samples) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path;
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t k = 4; k-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + k]);
    return value;
}

}  // namespace

// --- The container from the output's name ---

TEST(Containers, EachContainerHoldsTheWavRenderWithinItsPrecision) {
    Folder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore(0.5));
    ASSERT_EQ(grainrender({folder / "VELAROOKglisson.sco", "-o", folder / "piece.wav", "--jobs", "3"}).status, 0);
    SF_INFO wavInfo;
    auto wav = samples(folder / "piece.wav", wavInfo);
    ASSERT_FALSE(wav.empty());
    EXPECT_EQ(wavInfo.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);

    struct Case {
        std::string name;
        int format;  // as libsndfile reads it back
        double tolerance;
    };
    // The same parts summed in the same order: a float container holds the very samples.
    for (const auto& [name, format, tolerance] : std::vector<Case>{
             {"piece.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0},
             {"piece.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 0},
             {"piece.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 0},
             {"piece.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0.5 / (1 << 23) + 1e-9},  // half a 24-bit step
         }) {
        RunResult run = grainrender({folder / "VELAROOKglisson.sco", "-o", folder / name, "--jobs", "3"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(name + ": "), std::string::npos) << run.out;
        SF_INFO info;
        auto read = samples(folder / name, info);
        EXPECT_EQ(info.format, format) << name;
        EXPECT_EQ(info.channels, 2) << name;
        EXPECT_EQ(info.samplerate, 44100) << name;
        ASSERT_EQ(read.size(), wav.size()) << name;
        double largest = 0;
        for (std::size_t s = 0; s < wav.size(); ++s) largest = std::max(largest, std::fabs(double(read[s]) - wav[s]));
        EXPECT_LE(largest, tolerance) << name;
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"VELAROOKglisson.sco", "piece.wav", "piece.caf", "piece.w64",
                                                     "piece.aiff", "piece.FLAC"}));
}

TEST(Containers, TheWavHeaderIsExtensibleFloatWithTheTechniquesChannelMask) {
    Folder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore(0.3));
    struct Case {
        std::string space;
        std::uint32_t channels, mask;
    };
    for (const auto& [space, channels, mask] : std::vector<Case>{
             {"stereo", 2, 0x3}, {"binaural", 2, 0x3}, {"ambix1", 4, 0}, {"ring8", 8, 0}}) {
        std::string out = folder / (space + ".wav");
        RunResult run = grainrender({folder / "VELAROOKglisson.sco", "--space", space, "-o", out});
        ASSERT_EQ(run.status, 0) << run.err;
        std::ifstream file(out, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(file)), {});
        ASSERT_GT(bytes.size(), 100u);
        EXPECT_EQ(bytes.substr(0, 4), "RIFF");
        EXPECT_EQ(bytes.substr(8, 4), "WAVE");
        std::size_t at = 12;
        while (at + 8 < bytes.size() && bytes.substr(at, 4) != "fmt ") at += 8 + le32(bytes, at + 4);
        ASSERT_LT(at + 48, bytes.size()) << space << ": no fmt chunk";
        const std::size_t fmt = at + 8;
        EXPECT_EQ(le32(bytes, at + 4), 40u) << space;                          // the extensible fmt chunk's size
        EXPECT_EQ(le32(bytes, fmt) & 0xFFFF, 0xFFFEu) << space;                // WAVE_FORMAT_EXTENSIBLE
        EXPECT_EQ(le32(bytes, fmt) >> 16, channels) << space;
        EXPECT_EQ(le32(bytes, fmt + 4), 44100u) << space;
        EXPECT_EQ(le32(bytes, fmt + 14) & 0xFFFF, 32u) << space;               // bits per sample
        EXPECT_EQ(le32(bytes, fmt + 16), 22u | 32u << 16) << space;            // cbSize, valid bits
        EXPECT_EQ(le32(bytes, fmt + 20), mask) << space;                       // dwChannelMask
        // The sub-format: KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, not the B-format of Furse-Malham Ambisonics.
        const unsigned char ieeeFloat[16] = {3, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        EXPECT_EQ(bytes.substr(fmt + 24, 16), std::string(reinterpret_cast<const char*>(ieeeFloat), 16)) << space;
    }
}

TEST(Containers, AmbisonicsInCafIsBasicAmbixForTheReferenceReaderAlsoAfterAMix) {
    Folder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore(0.3));
    for (const auto& [space, channels] : std::vector<std::pair<std::string, int>>{{"ambix1", 4}, {"ambix3", 16}}) {
        RunResult run = grainrender({folder / "VELAROOKglisson.sco", "--space", space, "-o", folder / (space + ".caf")});
        ASSERT_EQ(run.status, 0) << run.err;
        // Part files mixed into CAF are the same AmbiX.
        run = grainrender({folder / "VELAROOKglisson.sco", "--space", space, "--part", "1/1", "-o", folder / "p.w64"});
        ASSERT_EQ(run.status, 0) << run.err;
        run = grainrender({"--mix", folder / (space + "-mix.caf"), folder / "p.w64"});
        ASSERT_EQ(run.status, 0) << run.err;
        for (const std::string& name : {space + ".caf", space + "-mix.caf"}) {
            std::string report = shell("ambix-info", shellWord(folder / name));
            EXPECT_NE(report.find("ambiXformat\t: 1 (BASIC)"), std::string::npos) << report;
            EXPECT_EQ(reported(report, "\nAmbisonics channels\t:"), channels) << report;
            EXPECT_EQ(reported(report, "Non-Ambisonics channels\t:"), 0) << report;
        }
    }
    // FLAC holds 8 channels at most: a third-order mix into it is refused and leaves nothing.
    RunResult run = grainrender({"--mix", folder / "ambix3.flac", folder / "p.w64"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("at most 8 channels, the render has 16"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(folder / "ambix3.flac"));
    // Parts said to be of a technique they are not of are refused as well.
    run = grainrender({"--mix", folder / "stereo.wav", folder / "p.w64", "--space", "stereo"});
    EXPECT_EQ(run.err, "grainrender: the render has 16 channels, stereo has 2\n");
    EXPECT_FALSE(fs::exists(folder / "stereo.wav"));
}

// --- A granule sound file at any rate ---

TEST(Resampling, ASoundFileAtAnotherRateIsConvertedAndHeardAtItsPitch) {
    struct Case {
        int fileRate, renderRate;  // renderRate 0: the orchestra's, 44100
    };
    for (const auto& [fileRate, renderRate] : std::vector<Case>{{22050, 0}, {48000, 0}, {44100, 48000}, {44100, 0}}) {
        Folder folder;
        // One second of a 1 kHz tone at half scale.
        std::vector<float> tone(static_cast<std::size_t>(fileRate));
        for (std::size_t n = 0; n < tone.size(); ++n) tone[n] = static_cast<float>(0.5 * std::sin(2 * pi * 1000 * static_cast<double>(n) / fileRate));
        writeMono(folder / "tone.wav", fileRate, tone);
        writeText(folder / "VELAROOKgranule.sco", granuleScore("tone.wav"));

        std::vector<std::string> arguments{folder / "VELAROOKgranule.sco", "-o", folder / "out.wav"};
        if (renderRate != 0) arguments.insert(arguments.end(), {"--rate", std::to_string(renderRate)});
        RunResult run = grainrender(arguments);
        ASSERT_EQ(run.status, 0) << fileRate << ": " << run.err;
        int rate = renderRate != 0 ? renderRate : 44100;
        // One line says what was done, and Csound warned of nothing.
        std::string note = fileRate == rate ? ""
                                            : "grainrender: the sound file tone.wav is at " + std::to_string(fileRate) +
                                                  " Hz: the render plays a copy converted to " + std::to_string(rate) + " Hz\n";
        EXPECT_EQ(run.err, note);
        // The copy is gone; the composer's files are as they were.
        EXPECT_EQ(folder.names(), (std::set<std::string>{"VELAROOKgranule.sco", "tone.wav", "out.wav"}));
        EXPECT_EQ(grain::sound::readSound(folder / "tone.wav").channels.at(0).size(), tone.size());

        auto sound = grain::sound::readSound(folder / "out.wav");
        ASSERT_EQ(sound.rate, rate);
        // The middle of the grain, away from its envelope's edges.
        double heard = grain::sound::peakFrequency(sound.channels.at(0), rate, 400, 2500, static_cast<std::size_t>(rate / 10), static_cast<std::size_t>(rate * 4 / 10));
        EXPECT_NEAR(heard, 1000, 5) << fileRate << " Hz file in a " << rate << " Hz render";
    }
}

// --- Loudness ---

TEST(Loudness, TheFinishedRenderMeetsItsTargetOnAnIndependentMeter) {
    Folder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore(3));
    struct Case {
        std::string space, option;
        double target;
        std::string filter;  // what ffmpeg measures: both channels, or channel W alone
    };
    for (const auto& [space, option, target, filter] : std::vector<Case>{
             {"stereo", "--loudness", -23, ""},
             {"binaural", "--loudness", -16, ""},
             {"ambix1", "--loudness", -23, "pan=mono|c0=c0,"},
             {"stereo", "--normalize", -1, ""},
             {"binaural", "--normalize", -0.5, ""},
         }) {
        std::string out = folder / (space + option + ".wav");
        RunResult run = grainrender({folder / "VELAROOKglisson.sco", "--space", space, option, std::to_string(target), "-o", out});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(std::regex_search(run.out, std::regex(", gain [+-][0-9]+\\.[0-9]{2} dB\n$"))) << run.out;
        // sofalizer places a mono input ahead and turns the scene anticlockwise
        // by its rotation; it lowers its output by 3 dB for each input channel,
        // which its gain of 3 dB undoes.
        std::string report = shell("ffmpeg", "-nostats -hide_banner -i " + shellWord(out) + " -af '" + filter +
                                                 "ebur128=peak=sample,astats=measure_perchannel=none' -f null -");
        if (option == "--loudness")
            EXPECT_NEAR(reported(report, "I:"), target, 0.5) << space << "\n" << report;
        else
            EXPECT_NEAR(reported(report, "Peak level dB:"), target, 0.01) << space << "\n" << report;
    }
}

TEST(Loudness, EachLayoutCountsItsChannelsAndAMixIsLeveledLikeARender) {
    // The same 1 kHz tone in every channel of a part file: against both
    // channels of a pair, W alone is one channel (3.01 dB quieter) and eight
    // speakers of weight 1 are four times the power (6.02 dB louder).
    Folder folder;
    struct Case {
        std::string space;
        int channels;
        double gainAgainstPair;  // dB
    };
    double pairGain = NAN;
    for (const auto& [space, channels, gainAgainstPair] :
         std::vector<Case>{{"stereo", 2, 0}, {"ambix1", 4, 3.0103}, {"ring8", 8, -6.0206}}) {
        const int rate = 48000;
        std::vector<float> tone(static_cast<std::size_t>(3 * rate * channels));
        for (std::size_t s = 0; s < tone.size(); ++s)
            tone[s] = static_cast<float>(0.1 * std::sin(2 * pi * 1000 * static_cast<double>(s / static_cast<std::size_t>(channels)) / rate));
        std::string part = folder / (space + ".w64");
        PartLabel label{contentDigest(space), space, rate, contentDigest("orchestra"), 1, 1, "none", ""};
        PartFileWriter writer(part, channels, rate, labelText(label));
        ASSERT_TRUE(writer.good()) << writer.error();
        ASSERT_TRUE(writer.write(tone.data(), 3 * rate));
        ASSERT_TRUE(writer.close()) << writer.error();
        RunResult run = grainrender({"--mix", folder / (space + ".wav"), part, "--space", space, "--loudness", "-20"});
        ASSERT_EQ(run.status, 0) << run.err;
        double gain = reported(run.out, "gain ");
        if (space == "stereo") pairGain = gain;
        EXPECT_NEAR(gain - pairGain, gainAgainstPair, 0.02) << run.out;
    }
    std::string report = shell("ffmpeg", "-nostats -hide_banner -i " + shellWord(folder / "stereo.wav") +
                                             " -af ebur128 -f null -");
    EXPECT_NEAR(reported(report, "I:"), -20, 0.5) << report;
    // --normalize on a mix: the peak, whatever the layout.
    RunResult run = grainrender({"--mix", folder / "peak.flac", folder / "ring8.w64", "--normalize", "-3"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NEAR(reported(run.out, "gain "), -3 - 20 * std::log10(0.1), 0.01) << run.out;
    SF_INFO info;
    auto peak = samples(folder / "peak.flac", info);
    EXPECT_NEAR(20 * std::log10(*std::max_element(peak.begin(), peak.end())), -3, 0.01);
}

// --- Binaural from a SOFA HRTF set, against the set itself and another renderer ---

namespace {

// A second of white noise at half scale (a fixed sequence).
std::vector<float> noise(int rate) {
    std::vector<float> samples(static_cast<std::size_t>(rate));
    std::uint32_t state = 12345;
    for (auto& sample : samples) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    }
    return samples;
}

struct Direction {
    double azimuth, elevation;
};

// Where the placement test puts its grains, one every slotSeconds: six
// azimuths at three elevations, then 60 degrees right for the other renderer.
const std::vector<Direction> placed = [] {
    std::vector<Direction> all;
    for (double elevation : {0.0, 30.0, -30.0})
        for (double azimuth : {0.0, 45.0, 90.0, 135.0, 180.0, 270.0}) all.push_back({azimuth, elevation});
    all.push_back({60, 0});
    return all;
}();
constexpr double slotSeconds = 0.25;
constexpr double grainSeconds = 0.2;

// A granule score of the noise file: one grain of grainSeconds at each place, 1 m away.
std::string noiseGrainsScore(const std::vector<Direction>& places) {
    std::ostringstream text;
    text << "f1 0 4194304 1 \"noise.wav\" 0 4 1\nf2 0 16385 20 7 1 2    ; grain envelope\n\n" << columns
         << "File Play Pos\t Play Speed\n";
    for (std::size_t k = 0; k < places.size(); ++k)
        text << "i1\t " << static_cast<double>(k) * slotSeconds << "\t " << 2 * grainSeconds << "\t " << k + 1 << "\t 0\t "
             << places[k].azimuth << "\t " << places[k].azimuth << "\t " << places[k].elevation << "\t "
             << places[k].elevation << "\t 1\t 1\t " << grainSeconds << "\t 0.1\t 1\n";
    return text.str() + "\ne\n";
}

// The steady middle of grain k's slot, in samples.
std::pair<std::size_t, std::size_t> grainWindow(std::size_t k, int rate) {
    const double start = static_cast<double>(k) * slotSeconds;
    return {static_cast<std::size_t>((start + 0.03) * rate), static_cast<std::size_t>((start + 0.18) * rate)};
}

const std::vector<double> octaves = {500, 1000, 2000, 4000, 8000};

// How a pair of ears hears a sound: the left ear's lag behind the right one
// (microseconds, from the cross-correlation) and the left ear's level over
// the right one in each octave band (dB).
struct Ears {
    double leftLagUs = 0;
    std::vector<double> leftOverRightDb;
};

Ears earsOf(const std::vector<double>& left, const std::vector<double>& right, int rate, std::size_t from, std::size_t to) {
    std::vector<double> l(left.begin() + static_cast<long>(from), left.begin() + static_cast<long>(to));
    std::vector<double> r(right.begin() + static_cast<long>(from), right.begin() + static_cast<long>(to));
    Ears ears;
    ears.leftLagUs = 1e6 * grain::sound::bestLag(r, l, rate / 1000) / rate;
    auto el = grain::sound::octaveBandEnergies(left, rate, from, to, octaves);
    auto er = grain::sound::octaveBandEnergies(right, rate, from, to, octaves);
    for (std::size_t b = 0; b < octaves.size(); ++b) ears.leftOverRightDb.push_back(10 * std::log10(el[b] / er[b]));
    return ears;
}

// The SOFA set's own measurement nearest a direction, read through
// libmysofa's lookup, as a pair of ears hears it.
struct SofaSet {
    MYSOFA_HRTF* hrtf = nullptr;
    MYSOFA_LOOKUP* lookup = nullptr;
    SofaSet() {
        int error = 0;
        hrtf = mysofa_load(defaultSofaFile.c_str(), &error);
        EXPECT_EQ(error, MYSOFA_OK) << defaultSofaFile << " is missing: Debian's libmysofa1 ships it (scripts/packages/render.txt)";
        if (!hrtf) return;
        mysofa_tocartesian(hrtf);
        lookup = mysofa_lookup_init(hrtf);
    }
    ~SofaSet() {
        if (lookup) mysofa_lookup_free(lookup);
        if (hrtf) mysofa_free(hrtf);
    }
    std::vector<double> ear(int m, unsigned receiver) const {
        const float* taps = hrtf->DataIR.values + (static_cast<std::size_t>(m) * hrtf->R + receiver) * hrtf->N;
        return std::vector<double>(taps, taps + hrtf->N);
    }
    Ears nearest(const Direction& d) const {
        // SOFA's azimuth turns anticlockwise; x ahead, y left, z up.
        const double az = -d.azimuth * pi / 180, el = d.elevation * pi / 180;
        float at[3] = {static_cast<float>(std::cos(el) * std::cos(az)), static_cast<float>(std::cos(el) * std::sin(az)),
                       static_cast<float>(std::sin(el))};
        const int m = mysofa_lookup(lookup, at);
        auto left = ear(m, 0), right = ear(m, 1);
        return earsOf(left, right, static_cast<int>(hrtf->DataSamplingRate.values[0]), 0, left.size());
    }
};

}  // namespace

TEST(Binaural, EachDirectionHasTheSofaSetsTimeAndLevelDifferencesAtEveryRate) {
    SofaSet sofa;
    ASSERT_TRUE(sofa.lookup);
    for (int rate : {44100, 96000, 22050}) {
        SCOPED_TRACE(rate);
        Folder folder;
        writeMono(folder / "noise.wav", rate, noise(rate));
        writeText(folder / "VELAROOKgranule.sco", noiseGrainsScore(placed));
        RunResult run = grainrender({folder / "VELAROOKgranule.sco", "--space", "binaural", "--rate", std::to_string(rate),
                                     "--no-reverb", "-o", folder / "ears.wav"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(folder.names(), (std::set<std::string>{"VELAROOKgranule.sco", "noise.wav", "ears.wav"}));
        auto sound = grain::sound::readSound(folder / "ears.wav");
        ASSERT_EQ(sound.rate, rate);
        ASSERT_EQ(sound.channels.size(), 2u);
        std::vector<Ears> heard;
        for (std::size_t k = 0; k < placed.size(); ++k) {
            SCOPED_TRACE("azimuth " + std::to_string(placed[k].azimuth) + ", elevation " + std::to_string(placed[k].elevation));
            auto [from, to] = grainWindow(k, rate);
            heard.push_back(earsOf(sound.channels[0], sound.channels[1], rate, from, to));
            const Ears measured = sofa.nearest(placed[k]);
            EXPECT_NEAR(heard[k].leftLagUs, measured.leftLagUs, 60);
            for (std::size_t b = 0; b < octaves.size(); ++b)
                EXPECT_NEAR(heard[k].leftOverRightDb[b], measured.leftOverRightDb[b], 2) << octaves[b] << " Hz";
        }
        // 90 degrees right and 270 (90 left) mirror each other.
        for (std::size_t e = 0; e < 3; ++e) {
            const Ears& right = heard[6 * e + 2];
            const Ears& left = heard[6 * e + 5];
            EXPECT_NEAR(right.leftLagUs, -left.leftLagUs, 60);
            for (std::size_t b = 0; b < octaves.size(); ++b)
                EXPECT_NEAR(right.leftOverRightDb[b], -left.leftOverRightDb[b], 1) << octaves[b] << " Hz";
        }
        if (rate != 44100) continue;

        // The same grain at 60 degrees right through ffmpeg's sofalizer, fed
        // with the mono grain as it leaves the placement (ambix1's W channel):
        // each ear's level in every octave band within 3 dB of ours.
        ASSERT_EQ(grainrender({folder / "VELAROOKgranule.sco", "--space", "ambix1", "--no-reverb", "-o", folder / "field.wav"}).status, 0);
        auto field = grain::sound::readSound(folder / "field.wav");
        writeMono(folder / "mono.wav", rate, std::vector<float>(field.channels.at(0).begin(), field.channels.at(0).end()));
                // sofalizer places a mono input ahead and turns the scene anticlockwise
        // by its rotation; it lowers its output by 3 dB for each input channel,
        // which its gain of 3 dB undoes.
        std::string report = shell("ffmpeg", "-nostdin -hide_banner -loglevel error -y -i " + shellWord(folder / "mono.wav") +
                                                 " -af " + shellWord("sofalizer=sofa=" + defaultSofaFile + ":type=time:rotation=-60:gain=3") +
                                                 " -c:a pcm_f32le " + shellWord(folder / "sofalizer.wav"));
        auto other = grain::sound::readSound(folder / "sofalizer.wav");
        ASSERT_EQ(other.channels.size(), 2u) << report;
        const std::size_t k = placed.size() - 1;
        const std::size_t from = static_cast<std::size_t>(static_cast<double>(k) * slotSeconds * rate);
        const std::size_t to = std::min(sound.frames(), other.frames());  // the last grain ends the render
        for (std::size_t ear = 0; ear < 2; ++ear) {
            auto ours = grain::sound::octaveBandEnergies(sound.channels[ear], rate, from, to, octaves);
            auto theirs = grain::sound::octaveBandEnergies(other.channels[ear], rate, from, to, octaves);
            for (std::size_t b = 0; b < octaves.size(); ++b)
                EXPECT_NEAR(10 * std::log10(ours[b] / theirs[b]), 0, 3) << (ear == 0 ? "left ear, " : "right ear, ") << octaves[b] << " Hz";
        }
    }
}

TEST(Binaural, AGrainCirclingSlowlyChangesTheEarsBalanceWithoutSteps) {
    // One grain of 4 s (a glisson of 40 harmonics of 200 Hz) turning 10
    // degrees a second from 10 to 50 degrees right, across the virtual
    // speakers at 15, 30 and 45 degrees: its boid came from -30 degrees in
    // the 4 s before.
    Folder folder;
    std::ostringstream text;
    text << "f1 0 16384 10";
    for (int h = 0; h < 40; ++h) text << " 1";
    text << "\nf2 0 16385 20 7 1 2    ; grain envelope\n\n" << columns << "Start Freq\t End Freq\n"
         << "i1\t 0\t 8\t 1\t 0\t -30\t 10\t 0\t 0\t 1\t 1\t 4\t 200\t 200\n\ne\n";
    writeText(folder / "VELAROOKglisson.sco", text.str());
    ASSERT_EQ(grainrender({folder / "VELAROOKglisson.sco", "--space", "binaural", "--no-reverb", "-o", folder / "ears.wav"}).status, 0);
    auto sound = grain::sound::readSound(folder / "ears.wav");
    ASSERT_EQ(sound.channels.size(), 2u);
    const auto window = static_cast<std::size_t>(sound.rate / 100);
    std::vector<double> balance;  // right over left, dB, every 10 ms
    for (auto from = static_cast<std::size_t>(0.3 * sound.rate); from + window < static_cast<std::size_t>(3.7 * sound.rate); from += window)
        balance.push_back(grain::sound::decibels(grain::sound::rms(sound.channels[1], from, from + window) /
                                                 grain::sound::rms(sound.channels[0], from, from + window)));
    double largestStep = 0;
    for (std::size_t k = 1; k < balance.size(); ++k) largestStep = std::max(largestStep, std::fabs(balance[k] - balance[k - 1]));
    EXPECT_LE(largestStep, 1.0) << ::testing::PrintToString(balance);
    EXPECT_GT(balance.back() - balance.front(), 3.0) << "the grain should turn towards the right ear";
    std::printf("circling at 10 degrees a second: right over left from %.2f to %.2f dB, largest step %.2f dB in 10 ms\n",
                balance.front(), balance.back(), largestStep);
}

// --- The distance cues switched off from the command line ---

TEST(Cues, EachNoSwitchReachesTheOrchestra) {
    Folder folder;
    // Without reverb: a 1 kHz grain approaching at 50 m/s (from 25 to 10 m in
    // 0.3 s), one at 2 m and one at 4 m, and a bright one (six harmonics of
    // 2 kHz) at 20 m and at 1 m.
    std::string header = "f1 0 16384 10 1 1 1 1 1 1\nf2 0 16385 20 7 1 2    ; grain envelope\n\n" + columns + "Start Freq\t End Freq\n";
    auto statement = [](double start, int voice, double from, double to, double hz) {
        std::ostringstream line;
        line << "i1\t " << start << "\t 0.6\t " << voice << "\t 0\t 0\t 0\t 0\t 0\t " << from << "\t " << to << "\t 0.3\t " << hz << "\t " << hz << "\n";
        return line.str();
    };
    writeText(folder / "VELAROOKglisson.sco", header + statement(0, 1, 25, 10, 1000) + statement(1, 2, 2, 2, 1000) +
                                                  statement(1.5, 3, 4, 4, 1000) + statement(2, 4, 20, 20, 2000) +
                                                  statement(2.5, 5, 1, 1, 2000) + "\ne\n");
    struct Heard {
        double pitch, fourOverTwoDb, farBrightnessDb;
    };
    auto hear = [&](std::vector<std::string> switches) {
        std::vector<std::string> arguments{folder / "VELAROOKglisson.sco", "-o", folder / "dry.wav"};
        arguments.insert(arguments.end(), switches.begin(), switches.end());
        EXPECT_EQ(grainrender(arguments).status, 0);
        auto s = grain::sound::readSound(folder / "dry.wav");
        auto at = [&](double seconds) { return static_cast<std::size_t>(seconds * s.rate); };
        auto& left = s.channels.at(0);
        auto brightness = [&](double start) {
            auto bands = grain::sound::octaveBandEnergies(left, s.rate, at(start + 0.05), at(start + 0.25), {2000, 8000});
            return 10 * std::log10(bands[1] / bands[0]);
        };
        return Heard{grain::sound::peakFrequency(left, s.rate, 600, 1500, at(0.06), at(0.24)),
                     grain::sound::decibels(grain::sound::rms(left, at(1.55), at(1.75)) / grain::sound::rms(left, at(1.05), at(1.25))),
                     brightness(2) - brightness(2.5)};
    };
    const Heard on = hear({});
    EXPECT_NEAR(on.pitch, 1000 * 343.0 / (343 - 50), 5);
    EXPECT_NEAR(on.fourOverTwoDb, -6.02, 1);
    EXPECT_LT(on.farBrightnessDb, -2);
    const Heard off = hear({"--no-doppler", "--no-attenuation", "--no-air"});
    EXPECT_NEAR(off.pitch, 1000, 1);
    EXPECT_NEAR(off.fourOverTwoDb, 0, 0.5);
    EXPECT_NEAR(off.farBrightnessDb, 0, 0.3);

    // With reverb: one short grain at 8 m; the tail from 0.3 to 1.3 s.
    writeText(folder / "VELAROOKglisson.sco", header + "i1\t 0\t 0.1\t 1\t 0\t 0\t 0\t 0\t 0\t 8\t 8\t 0.05\t 1000\t 1000\n\ni99\t 0\t 0.1\t\n\ne\n");
    auto tail = [&](std::vector<std::string> switches) {
        std::vector<std::string> arguments{folder / "VELAROOKglisson.sco", "-o", folder / "wet.wav", "--no-doppler"};
        arguments.insert(arguments.end(), switches.begin(), switches.end());
        EXPECT_EQ(grainrender(arguments).status, 0);
        auto s = grain::sound::readSound(folder / "wet.wav");
        return grain::sound::rms(s.channels.at(0), static_cast<std::size_t>(0.3 * s.rate), static_cast<std::size_t>(1.3 * s.rate));
    };
    const double withDistance = tail({}), fixedShare = tail({"--no-distance-reverb"});
    // The send at 8 m: the square root of the level (1/8) with the distance cue, the level itself without.
    EXPECT_NEAR(grain::sound::decibels(withDistance / fixedShare), grain::sound::decibels(std::sqrt(8.0)), 1);
    EXPECT_LT(tail({"--no-reverb"}), 1e-6);
}
