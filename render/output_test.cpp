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
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>

#include "containers.hpp"
#include "file_bytes.hpp"
#include "grain_render.hpp"
#include "hrtf_set.hpp"
#include "part_file.hpp"
#include "part_label.hpp"
#include "render_test_support.hpp"
#include "sound_measure.hpp"
#include "techniques.hpp"
#include "vbap.hpp"

#ifdef GRAIN_HAVE_SPATIALAUDIO
#include <spatialaudio/Ambisonics.h>
#endif

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

// Every technique of the table: its include file is there, a render has its
// channels and its channel mask in the WAV header (ffprobe names the masks it
// knows), LFE and silent channels are silent; and the scripts that render in
// every technique Csound renders alone name those of the table.
TEST(Containers, EveryTechniqueOfTheTableRendersItsChannelsWithItsChannelMask) {
    Folder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore(0.3));
    const std::map<std::string, std::string> ffprobeNames = {{"stereo", "stereo"}, {"0+2+0", "stereo"},
                                                             {"0+5+0", "5.1(side)"}, {"0+7+0", "7.1"}};
    std::string alone;  // the techniques Csound renders with no file of grainrender's
    for (const Technique& technique : techniques()) {
        const std::string& space = technique.name;
        EXPECT_TRUE(fs::is_regular_file(fs::path(GRAIN_SOURCE_EXAMPLES) / technique.include)) << technique.include;
        if (!technique.speakerFile && !technique.layout) alone += (alone.empty() ? "" : " ") + space;
        auto channels = static_cast<std::uint32_t>(technique.speakerFile ? 8 : technique.channels);
        std::uint32_t mask = technique.mask;
        std::string out = folder / (space + ".wav");
        RunResult run = technique.speakerFile
                            ? grainrender({folder / "VELAROOKglisson.sco", "--speakers",
                                           std::string(GRAIN_SOURCE_EXAMPLES) + "/ring8.speakers", "-o", out})
                            : grainrender({folder / "VELAROOKglisson.sco", "--space", technique.alias.empty() ? space : technique.alias,
                                           "-o", out});
        ASSERT_EQ(run.status, 0) << run.err;
        if (technique.layout) {
            SF_INFO info;
            auto all = samples(out, info);
            for (std::size_t c = 0; c < technique.layout->channels.size(); ++c) {
                if (technique.layout->channels[c].kind == space::ChannelKind::speaker) continue;
                float loudest = 0;
                for (std::size_t s = c; s < all.size(); s += channels) loudest = std::max(loudest, std::fabs(all[s]));
                EXPECT_EQ(loudest, 0.0f) << space << " channel " << technique.layout->channels[c].name;
            }
        }
        if (auto name = ffprobeNames.find(space); name != ffprobeNames.end()) {
            std::string named = shell("ffprobe", "-v error -show_entries stream=channel_layout -of csv=p=0 " + shellWord(out));
            EXPECT_EQ(named, name->second + "\n") << space;
        }
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
    std::ifstream file(fs::path(GRAIN_SOURCE_EXAMPLES).parent_path() / "scripts/lib/csound.bash");
    std::string text((std::istreambuf_iterator<char>(file)), {});
    std::smatch named;
    ASSERT_TRUE(std::regex_search(text, named, std::regex("csound_techniques=\\(([a-z0-9 ]+)\\)")));
    EXPECT_EQ(named[1].str(), alone) << "the scripts render in other techniques than the table's (render/techniques.cpp)";
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
        PartLabel label{contentDigest(space), space, rate, contentDigest("orchestra"), 1, 1, "default", "none", ""};
        auto writer = PartFileWriter::create(part, channels, rate, labelText(label));
        ASSERT_TRUE(writer) << writer.reason();
        ASSERT_TRUE(writer->write(tone.data(), 3 * rate));
        auto closed = writer->close();
        ASSERT_TRUE(closed) << closed.reason();
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

// --- Speaker layouts ---

namespace {

constexpr double grainSpacing = 0.1;  // s between the grains of a direction score
constexpr std::size_t scoreGrains = 30;  // the most grains of one direction score: its render stays small

// A glisson score of one grain (500 Hz, 60 ms, one metre away, not moving)
// from each direction in turn, grainSpacing apart, with no reverb.
std::string directionScore(const std::vector<space::Direction>& directions) {
    std::ostringstream text;
    text << ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 1 \nf2 0 16385 20 7 1 2    ; grain envelope\n\n"
         << sharedColumns << "Start Freq\t End Freq\n";
    for (std::size_t k = 0; k < directions.size(); ++k) {
        const space::Direction& d = directions[k];
        text << statement({static_cast<double>(k) * grainSpacing, 0.1, 1, 0, d.azimuth, d.azimuth, d.elevation, d.elevation, 1, 1, 0.06, 500, 500});
    }
    text << closing();
    return text.str();
}

// The energy of every channel in the window of each grain of a direction score.
std::vector<std::vector<double>> grainEnergies(const grain::sound::Sound& sound, std::size_t grains) {
    std::vector<std::vector<double>> energies;
    for (std::size_t k = 0; k < grains; ++k) {
        auto from = static_cast<std::size_t>(static_cast<double>(k) * grainSpacing * sound.rate);
        auto to = std::min(sound.frames(), static_cast<std::size_t>((static_cast<double>(k) * grainSpacing + 0.09) * sound.rate));
        std::vector<double> energy;
        for (const auto& channel : sound.channels) {
            double sum = 0;
            for (std::size_t s = from; s < to; ++s) sum += channel[s] * channel[s];
            energy.push_back(sum);
        }
        energies.push_back(energy);
    }
    return energies;
}

double total(const std::vector<double>& values) { return std::accumulate(values.begin(), values.end(), 0.0); }

}  // namespace

// Every named layout, rendered: a grain at each speaker sounds from it, every
// grain's channels carry the library's gains (so the orchestra pans as the
// library does), at the same power within 0.5 dB, the LFE silent; and the
// loudest speaker of a grain going round at 0, 30 and 60 degrees up is the
// nearest one.
TEST(Layouts, EveryNamedLayoutPansEachGrainOntoItsSpeakersWithTheLibrarysGains) {
    Folder folder;
    for (const auto& named : space::namedLayouts()) {
        const space::Layout& layout = named.layout;
        space::Panning panning = *space::designPanning(layout);
        std::vector<space::Direction> directions;
        for (int channel : space::speakerChannels(layout)) directions.push_back(layout.channels[static_cast<std::size_t>(channel)].direction);
        const std::size_t atSpeakers = directions.size();
        for (double elevation : {0.0, 30.0, 60.0})
            for (double azimuth = -180; azimuth < 180; azimuth += 15) directions.push_back({azimuth, elevation});
        std::vector<std::vector<double>> energies;
        for (std::size_t first = 0; first < directions.size(); first += scoreGrains) {
            std::vector<space::Direction> some(directions.begin() + static_cast<std::ptrdiff_t>(first),
                                               directions.begin() + static_cast<std::ptrdiff_t>(std::min(directions.size(), first + scoreGrains)));
            writeText(folder / "VELAROOKglisson.sco", directionScore(some));
            std::string out = folder / (layout.name + ".wav");
            RunResult run = grainrender({folder / "VELAROOKglisson.sco", "--space", layout.name, "-o", out, "--jobs", "1"});
            ASSERT_EQ(run.status, 0) << run.err;
            for (auto& energy : grainEnergies(grain::sound::readSound(out), some.size())) energies.push_back(energy);
        }
        double mean = 0;
        for (const auto& energy : energies) mean += total(energy) / static_cast<double>(energies.size());
        int nearestLoudest = 0, ear = 0;
        for (std::size_t k = 0; k < directions.size(); ++k) {
            const auto& energy = energies[k];
            auto gains = space::panGains(panning, directions[k]);
            std::string where = layout.name + " at " + std::to_string(directions[k].azimuth) + "/" + std::to_string(directions[k].elevation);
            EXPECT_NEAR(grain::sound::decibels(std::sqrt(total(energy) / mean)), 0, 0.5) << where;
            for (std::size_t c = 0; c < energy.size(); ++c) {
                EXPECT_NEAR(energy[c] / total(energy), gains[c] * gains[c], 0.01) << where << " channel " << layout.channels[c].name;
                if (layout.channels[c].kind == space::ChannelKind::lfe) {
                    EXPECT_EQ(energy[c], 0) << where;
                }
            }
            auto loudest = static_cast<std::size_t>(std::max_element(energy.begin(), energy.end()) - energy.begin());
            if (k < atSpeakers) {
                EXPECT_GE(energy[loudest] / total(energy), 0.9) << where;
                EXPECT_EQ(space::degreesBetween(layout.channels[loudest].direction, directions[k]), 0) << where;
                continue;
            }
            double nearest = 180;
            for (int channel : space::speakerChannels(layout))
                nearest = std::min(nearest, space::degreesBetween(layout.channels[static_cast<std::size_t>(channel)].direction, directions[k]));
            bool isNearest = space::degreesBetween(layout.channels[loudest].direction, directions[k]) < nearest + 0.01;
            nearestLoudest += isNearest;
            if (directions[k].elevation == 0) {
                EXPECT_TRUE(isNearest) << where;
                ++ear;
            }
        }
        // Above, where the upper speakers are few and far apart, the vector
        // base puts a grain 30 degrees up between two of them mostly on those
        // two, though the one below is nearer (space/space_test.cpp).
        std::size_t circling = directions.size() - atSpeakers;
        bool sparseAbove = layout.name == "2+5+0" || layout.name == "4+5+0" || layout.name == "4+7+0";
        EXPECT_GE(nearestLoudest, (sparseAbove ? 0.85 : 0.99) * static_cast<double>(circling)) << layout.name;
        std::printf("%s: the nearest speaker loudest for %d of %zu directions going round\n", layout.name.c_str(), nearestLoudest, circling);
    }
}

// A speaker file's LFE and silent channels stay silent in their places; a
// frontal array sends a grain outside it to its nearer end; ring8's file pans
// as the ring8 technique always has.
TEST(Layouts, ASpeakerFilesLfeAndSilentChannelsStaySilentAndAFrontalArrayKeepsItsEnds) {
    Folder folder;
    writeText(folder / "front.speakers",
              "#define SPEAKER_COUNT #5#\n#define SPEAKER_DIMENSIONS #2#\n#define SPEAKER_DIRECTIONS #-30, LFE, 0, silent, 30#\n");
    const std::vector<space::Direction> directions = {{90, 0}, {-90, 0}, {15, 0}, {170, 20}};
    writeText(folder / "VELAROOKglisson.sco", directionScore(directions));
    RunResult run = grainrender({folder / "VELAROOKglisson.sco", "--speakers", folder / "front.speakers", "-o", folder / "front.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    auto sound = grain::sound::readSound(folder / "front.wav");
    ASSERT_EQ(sound.channels.size(), 5u);
    for (std::size_t silent : {1u, 3u})
        EXPECT_EQ(*std::max_element(sound.channels[silent].begin(), sound.channels[silent].end()), 0.0) << silent;
    auto energies = grainEnergies(sound, directions.size());
    EXPECT_GE(energies[0][4] / total(energies[0]), 0.99);  // 90 degrees: the right end
    EXPECT_GE(energies[1][0] / total(energies[1]), 0.99);  // -90: the left end
    EXPECT_NEAR(grain::sound::decibels(std::sqrt(energies[2][2] / energies[2][4])), 0, 0.5);  // between centre and right
    EXPECT_GE(energies[3][4] / total(energies[3]), 0.99);  // behind on the right: the right end

    // ring8 through its speaker file and the panning of a layout, against the ring8 technique.
    writeText(folder / "VELAROOKglisson.sco", glissonScore(0.5));
    run = grainrender({folder / "VELAROOKglisson.sco", "--space", "ring8", "-o", folder / "ring8.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    run = grainrender({folder / "VELAROOKglisson.sco", "--speakers", std::string(GRAIN_SOURCE_EXAMPLES) + "/ring8.speakers", "-o",
                       folder / "file.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    auto ring = grain::sound::readSound(folder / "ring8.wav"), file = grain::sound::readSound(folder / "file.wav");
    ASSERT_EQ(file.channels.size(), 8u);
    ASSERT_EQ(file.frames(), ring.frames());
    double largest = 0, peak = 0;
    for (std::size_t c = 0; c < 8; ++c)
        for (std::size_t s = 0; s < ring.frames(); ++s) {
            largest = std::max(largest, std::fabs(ring.channels[c][s] - file.channels[c][s]));
            peak = std::max(peak, std::fabs(ring.channels[c][s]));
        }
    // A layout's panning is read from a grid half a degree fine: a grain sounds
    // at most a quarter of a degree from where ring8 puts it.
    EXPECT_LT(largest, 0.01 * peak) << "ring8's file pans otherwise than ring8";
}

// --- Decoding Ambisonics to a layout ---

namespace {

// The direction the energy of a grain's channels points to (speaker k at directions[k]).
space::Direction energyDirection(const std::vector<double>& energy, const std::vector<space::Direction>& directions) {
    space::Vector sum;
    for (std::size_t c = 0; c < energy.size(); ++c) {
        space::Vector u = space::unitVector(directions[c]);
        sum = {sum.x + energy[c] * u.x, sum.y + energy[c] * u.y, sum.z + energy[c] * u.z};
    }
    double length = std::sqrt(sum.x * sum.x + sum.y * sum.y + sum.z * sum.z);
    return {std::atan2(sum.y, sum.x) * 180 / pi, std::asin(sum.z / length) * 180 / pi};
}

}  // namespace

// A third-order render of grains from 50 directions over the upper hemisphere,
// decoded to 7.1.4: each grain's energy points within 15 degrees of where it
// came from, 8 on average; the LFE is silent and ffprobe reads the layout's
// channels from the mask; the decode of a score in one step is the decode of
// its AmbiX render.
TEST(Decoding, AThirdOrderRenderDecodedToSevenOneFourPointsWhereEachGrainCameFrom) {
    Folder folder;
    const space::Layout layout = *space::namedLayout("7.1.4");
    std::vector<space::Direction> speakers;
    for (const auto& channel : layout.channels) speakers.push_back(channel.direction);
    std::vector<space::Direction> directions;
    for (int k = 0; k < 50; ++k)
        directions.push_back({std::fmod(k * 137.50776405, 360.0) - 180, std::asin((k + 0.5) / 50) * 180 / pi});
    double worst = 0, sum = 0;
    for (std::size_t first = 0; first < directions.size(); first += 25) {
        std::vector<space::Direction> some(directions.begin() + static_cast<std::ptrdiff_t>(first),
                                           directions.begin() + static_cast<std::ptrdiff_t>(first + 25));
        writeText(folder / "VELAROOKglisson.sco", directionScore(some));
        RunResult run = grainrender({folder / "VELAROOKglisson.sco", "--space", "ambix3", "-o", folder / "field.caf"});
        ASSERT_EQ(run.status, 0) << run.err;
        run = grainrender({"--decode", "7.1.4", folder / "field.caf", "-o", folder / "room.wav", "--verbose"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("decoder of order 3 to 4+7+0"), std::string::npos) << run.out;
        if (first == 0) {
            run = grainrender({folder / "VELAROOKglisson.sco", "--decode", "7.1.4", "-o", folder / "once.wav"});
            ASSERT_EQ(run.status, 0) << run.err;
            SF_INFO twoSteps, oneStep;
            auto a = samples(folder / "room.wav", twoSteps), b = samples(folder / "once.wav", oneStep);
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t s = 0; s < a.size(); ++s) ASSERT_NEAR(a[s], b[s], 1e-6) << s;
            EXPECT_EQ(shell("ffprobe", "-v error -show_entries stream=channel_layout -of csv=p=0 " + shellWord(folder / "once.wav")),
                      "12 channels (FL+FR+FC+LFE+BL+BR+SL+SR+TFL+TFR+TBL+TBR)\n");
        }
        auto sound = grain::sound::readSound(folder / "room.wav");
        ASSERT_EQ(sound.channels.size(), 12u);
        EXPECT_EQ(*std::max_element(sound.channels[3].begin(), sound.channels[3].end()), 0.0);
        auto energies = grainEnergies(sound, some.size());
        for (std::size_t k = 0; k < some.size(); ++k) {
            double error = space::degreesBetween(energyDirection(energies[k], speakers), some[k]);
            EXPECT_LT(error, 15) << some[k].azimuth << "/" << some[k].elevation;
            worst = std::max(worst, error);
            sum += error;
        }
    }
    EXPECT_LT(sum / static_cast<double>(directions.size()), 8);
    std::printf("decoded to 7.1.4: the energy points %.1f degrees from the grain at most, %.1f on average\n", worst,
                sum / static_cast<double>(directions.size()));
}

// The same kind of render decoded to 5.1 by grainrender and by libspatialaudio's
// own 5.0 decoder: ahead and to either side both point the energy the same
// way (within 20 degrees of each other) and make the same speaker loudest;
// grainrender's points within 20 degrees of the grain, behind too.
TEST(Decoding, TheFiveOneDecodeAgreesWithLibspatialaudiosOnTheMainDirections) {
#ifndef GRAIN_HAVE_SPATIALAUDIO
    FAIL() << "libspatialaudio is missing: scripts/install-deps.sh installs it (scripts/packages/sound.txt)";
#else
    Folder folder;
    const std::vector<space::Direction> directions = {{0, 0}, {90, 0}, {-90, 0}, {180, 0}};
    writeText(folder / "VELAROOKglisson.sco", directionScore(directions));
    RunResult run = grainrender({folder / "VELAROOKglisson.sco", "--space", "ambix3", "-o", folder / "field.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    run = grainrender({"--decode", "5.1", folder / "field.wav", "-o", folder / "ours.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    const space::Layout layout = *space::namedLayout("5.1");
    std::vector<space::Direction> ourSpeakers;
    for (const auto& channel : layout.channels) ourSpeakers.push_back(channel.direction);
    auto ours = grainEnergies(grain::sound::readSound(folder / "ours.wav"), directions.size());

    // libspatialaudio: ACN channel order, azimuth anticlockwise in radians.
    auto field = grain::sound::readSound(folder / "field.wav");
    ASSERT_EQ(field.channels.size(), 16u);
    auto frames = static_cast<unsigned>(field.frames());
    CAmbisonicDecoder decoder;
    ASSERT_TRUE(decoder.Configure(3, true, kAmblib_50));
    CBFormat bFormat;
    ASSERT_TRUE(bFormat.Configure(3, true, frames));
    std::vector<float> stream(frames);
    for (unsigned c = 0; c < 16; ++c) {
        std::transform(field.channels[c].begin(), field.channels[c].end(), stream.begin(), [](double v) { return static_cast<float>(v); });
        bFormat.InsertStream(stream.data(), c, frames);
    }
    const unsigned count = decoder.GetSpeakerCount();
    std::vector<std::vector<float>> feeds(count, std::vector<float>(frames));
    std::vector<float*> pointers;
    std::vector<space::Direction> theirSpeakers;
    for (unsigned k = 0; k < count; ++k) {
        pointers.push_back(feeds[k].data());
        PolarPoint at = decoder.GetPosition(k);
        theirSpeakers.push_back({-at.fAzimuth * 180 / pi, at.fElevation * 180 / pi});
    }
    decoder.Process(&bFormat, frames, pointers.data());
    grain::sound::Sound theirSound{field.rate, {}};
    for (const auto& feed : feeds) theirSound.channels.emplace_back(feed.begin(), feed.end());
    auto theirs = grainEnergies(theirSound, directions.size());

    for (std::size_t k = 0; k < directions.size(); ++k) {
        space::Direction ourWay = energyDirection(ours[k], ourSpeakers), theirWay = energyDirection(theirs[k], theirSpeakers);
        std::string where = "grain at " + std::to_string(directions[k].azimuth);
        EXPECT_LT(space::degreesBetween(ourWay, directions[k]), 20) << where;
        // libspatialaudio's 5.0 decoder projects the field onto the five
        // speakers as if they stood evenly: a grain from behind comes mostly
        // from the centre (its own encoding of one, measured: 7680 in C against
        // 2970 in each surround), so behind it is no judge.
        if (directions[k].azimuth == 180) continue;
        EXPECT_LT(space::degreesBetween(ourWay, theirWay), 20) << where << ": ours " << ourWay.azimuth << ", theirs " << theirWay.azimuth;
        auto ourLoudest = std::max_element(ours[k].begin(), ours[k].end()) - ours[k].begin();
        auto theirLoudest = std::max_element(theirs[k].begin(), theirs[k].end()) - theirs[k].begin();
        EXPECT_LT(space::degreesBetween(ourSpeakers[static_cast<std::size_t>(ourLoudest)], theirSpeakers[static_cast<std::size_t>(theirLoudest)]), 1)
            << where;
    }
#endif
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
    std::string text = granuleHeader("noise.wav");
    for (std::size_t k = 0; k < places.size(); ++k) {
        const Direction& d = places[k];
        text += statement({static_cast<double>(k) * slotSeconds, 2 * grainSeconds, static_cast<double>(k + 1), 0, d.azimuth,
                           d.azimuth, d.elevation, d.elevation, 1, 1, grainSeconds, 0.1, 1});
    }
    return text + closing();
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
        // The convolution's output comes late, and the render waits for it:
        // the last grain ends whole, in silence.
        for (const auto& ear : sound.channels) {
            const double last = grain::sound::rms(ear, ear.size() - static_cast<std::size_t>(rate / 500), ear.size());
            EXPECT_LT(last, 1e-3 * grain::sound::rms(ear, 0, ear.size())) << "the last grain is cut off";
        }
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
    std::string text = ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10";
    for (int h = 0; h < 40; ++h) text += " 1";
    text += " \nf2 0 16385 20 7 1 2    ; grain envelope\n\n" + sharedColumns + "Start Freq\t End Freq\n" +
            statement({0, 8, 1, 0, -30, 10, 0, 0, 1, 1, 4, 200, 200}) + closing();
    writeText(folder / "VELAROOKglisson.sco", text);
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
    std::string header = ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 1 1 1 1 1 1 \n"
                         "f2 0 16385 20 7 1 2    ; grain envelope\n\n" + sharedColumns + "Start Freq\t End Freq\n";
    auto grain = [](double start, int voice, double from, double to, double hz) {
        return statement({start, 0.6, static_cast<double>(voice), 0, 0, 0, 0, 0, from, to, 0.3, hz, hz});
    };
    writeText(folder / "VELAROOKglisson.sco", header + grain(0, 1, 25, 10, 1000) + grain(1, 2, 2, 2, 1000) +
                                                  grain(1.5, 3, 4, 4, 1000) + grain(2, 4, 20, 20, 2000) +
                                                  grain(2.5, 5, 1, 1, 2000) + closing());
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
    writeText(folder / "VELAROOKglisson.sco", header + statement({0, 0.1, 1, 0, 0, 0, 0, 0, 8, 8, 0.05, 1000, 1000}) + closing(0.1));
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
