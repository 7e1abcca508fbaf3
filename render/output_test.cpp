// What grainrender hands a studio, judged by the field's own readers and
// meters: each container read back by libsndfile against the WAV render, the
// WAV header's bytes, AmbiX in CAF as ambix-info reads it, a granule sound
// file of another rate heard at its pitch, and the level after --normalize
// and --loudness as ffmpeg's ebur128 and astats filters measure it. Every
// render is a real one, with Csound and the example orchestras.
#include <gtest/gtest.h>

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
#include "file_bytes.hpp"
#include "grain_render.hpp"
#include "part_file.hpp"
#include "part_label.hpp"
#include "render_test_support.hpp"
#include "sound_measure.hpp"

namespace fs = std::filesystem;
using namespace render;
using namespace render::testing;

namespace {

const double pi = std::acos(-1.0);

// A glisson score of four voices, a grain every 0.1 s each for `seconds`, reverb on.
std::string glissonScore(double seconds) {
    std::string text = glissonHeader;
    for (int voice = 1; voice <= 4; ++voice)
        for (int grain = 0; grain * 0.1 < seconds; ++grain)
            text += statement({grain * 0.1 + voice * 0.02, 0.1, double(voice), 0.1, voice * 80.0, voice * 80.0 + 20, 0,
                               10, 3, 4, 0.05, 200.0 * voice, 300.0 * voice});
    return text + closing(seconds + 0.5);
}

// A granule score with one grain: half a second of the file from a tenth in, at speed 1, straight ahead.
std::string granuleScore(const std::string& soundFile) {
    return granuleHeader(soundFile) + statement({0, 0.6, 1, 0, 0, 0, 0, 0, 1, 1, 0.5, 0.1, 1}) + closing();
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
        SF_INFO info{};
        info.channels = 1;
        info.samplerate = fileRate;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open((folder / "tone.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        sf_writef_float(file, tone.data(), static_cast<sf_count_t>(tone.size()));
        sf_close(file);
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

// A sound file of two minutes, longer than the 4194304 samples of the
// score's table 1, is played whole: a grain from 0.95 of the way in sounds the
// file's last seconds (the only ones that sound), one from half way is
// silent. The file's second channel is named with its level.
TEST(GranuleSound, ALongFileIsPlayedWholeAndItsOtherChannelsAreNamed) {
    Folder folder;
    // 120 s of silence with a 1 kHz tone in the last ten seconds, channel 2 at
    // half channel 1's level; FLAC keeps the file small.
    constexpr int rate = 44100;
    constexpr long long frames = 120LL * rate;
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = rate;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open((folder / "long.flac").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << "libsndfile cannot write FLAC: " << sf_strerror(nullptr);
    std::vector<float> block(2 * rate);
    for (long long at = 0; at < frames; at += rate) {
        for (long long n = 0; n < rate; ++n) {
            double tone = at + n >= 110LL * rate ? 0.5 * std::sin(2 * pi * 1000 * static_cast<double>(at + n) / rate) : 0.0;
            block[static_cast<std::size_t>(2 * n)] = static_cast<float>(tone);
            block[static_cast<std::size_t>(2 * n + 1)] = static_cast<float>(tone / 2);
        }
        ASSERT_EQ(sf_writef_float(file, block.data(), rate), rate);
    }
    sf_close(file);
    // Voice 1 from half way in (60 s), voice 2 from 0.95 of the way (114 s), half a second each.
    const std::string score = granuleHeader("long.flac") + statement({0, 0.6, 1, 0, 0, 0, 0, 0, 1, 1, 0.5, 0.5, 1}) +
                              statement({1, 0.6, 2, 0, 0, 0, 0, 0, 1, 1, 0.5, 0.95, 1}) + closing();
    writeText(folder.path() / "VELAROOKgranule.sco", score);

    RunResult run = grainrender({folder / "VELAROOKgranule.sco", "-o", folder / "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "grainrender: the sound file long.flac lasts 120.0 s (5292000 samples), more than the score's table 1 of "
              "4194304 samples: the render gives table 1 the file's length (the score file is unchanged)\n"
              "grainrender: the sound file long.flac has 2 channels: the score reads channel 1 only; channel 2 is at "
              "-6.0 dB against it\n");
    EXPECT_EQ(*grain::readFileBytes(folder.path() / "VELAROOKgranule.sco"), score);

    auto sound = grain::sound::readSound(folder.path() / "out.wav");
    ASSERT_EQ(sound.rate, rate);
    const auto& left = sound.channels.at(0);
    auto at = [](double seconds) { return static_cast<std::size_t>(seconds * rate); };
    const double fromMiddle = grain::sound::rms(left, at(0.1), at(0.4));
    const double fromEnd = grain::sound::rms(left, at(1.1), at(1.4));
    EXPECT_GT(fromEnd, 0.05);
    EXPECT_LT(fromMiddle, fromEnd * 1e-3);
    EXPECT_NEAR(grain::sound::peakFrequency(left, rate, 400, 2500, at(1.1), at(1.4)), 1000, 5);
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
        PartLabel label{contentDigest(space), space, rate, contentDigest("orchestra"), 1, 1};
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
