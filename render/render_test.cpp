// grainrender's tests: the command line, taking scores apart into parts,
// part files and the sets --mix accepts, speaker files, and every refusal of
// a whole run (with real Csound), which must leave nothing in the output
// folder; parts rendered one by one and mixed equal the whole render. The
// equality with plain Csound on the programs' own scores is tested by
// scripts/test.d/render.sh. Every render is bounded: a file may not pass
// 16 MB (the process's file-size limit) and a test case not 30 s (ctest).
#include <gtest/gtest.h>

#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "grain_render.hpp"
#include "output_lock.hpp"
#include "part_file.hpp"
#include "part_label.hpp"
#include "progress.hpp"
#include "render_test_support.hpp"
#include "render_options.hpp"
#include "score_split.hpp"
#include "sound_files.hpp"
#include "speaker_file.hpp"

namespace fs = std::filesystem;
using namespace render;
using namespace render::testing;

namespace {

// A glisson statement of voice at start, 0.1 s long.
std::string glisson(int voice, double start, double grainDur = 0.05) {
    return statement({start, 0.1, double(voice), 0.1, 30, 40, 0, 5, 10, 12, grainDur, 440, 660});
}

// A short glisson score: voices 1 to 4, with more grains the lower the voice.
std::string glissonScore(bool reverb = true, double grainDur = 0.05) {
    std::string text = glissonHeader;
    for (int voice = 1; voice <= 4; ++voice)
        for (int grain = 0; grain < 6 - voice; ++grain) text += glisson(voice, 0.1 * grain, grainDur);
    return text + closing(reverb ? 0.6 : 0);
}

// Writes a float sound file of the given interleaved samples, WAV or W64 by its name, through libsndfile.
void writeSound(const fs::path& path, int channels, int rate, const std::vector<float>& samples) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = (path.extension() == ".wav" ? SF_FORMAT_WAV : SF_FORMAT_W64) | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.string().c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels),
              static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(file);
}

// A label of part part of count, of one score, stereo at 48000 Hz.
PartLabel partOf(int part, int count) { return {contentDigest("score"), "stereo", 48000, contentDigest("orchestra"), part, count, "default", "none", ""}; }

// Writes a part file as grainrender does, with its label.
void writePart(const fs::path& path, int channels, const PartLabel& label, const std::vector<float>& samples) {
    auto writer = PartFileWriter::create(path.string(), channels, label.rate, labelText(label));
    ASSERT_TRUE(writer) << writer.reason();
    auto written = writer->write(samples.data(), static_cast<long long>(samples.size()) / channels);
    ASSERT_TRUE(written) << written.reason();
    auto closed = writer->close();
    ASSERT_TRUE(closed) << closed.reason();
}

std::vector<float> readSound(const fs::path& path, SF_INFO& info) {
    SNDFILE* file = sf_open(path.string().c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr);
    if (!file) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}


}  // namespace

// --- The command line ---

TEST(RenderOptions, ReadsPartsTechniquesAndMixes) {
    auto parsed = parseRenderOptions({"s.sco", "--space", "ambix3", "--part", "2/5", "--rate", "48000", "-o", "x.w64"});
    ASSERT_TRUE(parsed) << parsed.reason();
    EXPECT_EQ(parsed->space, "ambix3");
    EXPECT_EQ(parsed->part, 2);
    EXPECT_EQ(parsed->partCount, 5);
    EXPECT_EQ(parsed->rate, 48000);
    EXPECT_EQ(parsed->window, "default");
    auto hann = parseRenderOptions({"s.sco", "--window", "hann"});
    ASSERT_TRUE(hann) << hann.reason();
    EXPECT_EQ(hann->window, "hann");
    auto speakers = parseRenderOptions({"s.sco", "--speakers", "hall.speakers"});
    ASSERT_TRUE(speakers) << speakers.reason();
    EXPECT_EQ(speakers->space, "speakers");
    // A layout by its alias is the layout; --decode renders Ambisonics (third order unless told) or decodes a file.
    auto layout = parseRenderOptions({"s.sco", "--space", "7.1.4"});
    ASSERT_TRUE(layout) << layout.reason();
    EXPECT_EQ(layout->space, "4+7+0");
    auto once = parseRenderOptions({"s.sco", "--decode", "5.1", "-o", "x.wav"});
    ASSERT_TRUE(once) << once.reason();
    EXPECT_EQ(once->space, "ambix3");
    EXPECT_FALSE(once->decodeFile);
    auto file = parseRenderOptions({"--decode", "hall.speakers", "field.caf", "--verbose"});
    ASSERT_TRUE(file) << file.reason();
    EXPECT_TRUE(file->decodeFile);
    EXPECT_EQ(file->decodeInput, "field.caf");
    EXPECT_TRUE(file->verbose);
    auto mix = parseRenderOptions({"--mix", "out.wav", "a.w64", "b.w64"});
    ASSERT_TRUE(mix) << mix.reason();
    EXPECT_EQ(mix->output, "out.wav");
    EXPECT_EQ(mix->mixParts, (std::vector<std::string>{"a.w64", "b.w64"}));
}

TEST(RenderOptions, BadCommandLinesExitWithStatusTwoAndWriteNothing) {
    TemporaryFolder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    std::string score = (folder / "VELAROOKglisson.sco").string();
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {},
             {score, score},
             {score, "--space", "quad"},
             {score, "--jobs", "0"},
             {score, "--jobs", "two"},
             {score, "--rate", "16000"},
             {score, "--rate", "192001"},
             {score, "--hrtf", "kemar.sofa"},
             {score, "--space", "binaural", "--hrtf", "csound", "--rate", "22050"},
             {"--mix", (folder / "out.wav").string(), score, "--no-doppler"},
             {score, "--part", "4/3"},
             {score, "--part", "0/3"},
             {score, "--part", "1/3", "--jobs", "2"},
             {score, "--space", "ring8", "--speakers", "hall.speakers"},
             {score, "--window", "kaiser"},
             {"--mix", (folder / "out.wav").string(), score, "--window", "hann"},
             {score, "-o"},
             {score, "--loud"},
             {"--mix", (folder / "out.wav").string()},
             {"--mix", (folder / "out.wav").string(), score, "--rate", "48000"},
             // The container comes from the output's name, before anything is rendered.
             {score, "-o", (folder / "out.mp3").string()},
             {score, "-o", (folder / "out").string()},
             {score, "--space", "ambix3", "-o", (folder / "out.flac").string()},
             {score, "--space", "7.1.4", "-o", (folder / "out.flac").string()},   // 12 channels
             {score, "--decode", "22.2", "-o", (folder / "out.flac").string()},
             {score, "--space", "stereo", "--decode", "5.1"},
             {score, "--decode", "5.1", "--part", "1/2"},
             {score, "--space", "speakers"},
             {"--decode", "5.1", (folder / "field.caf").string(), "--jobs", "2"},
             {score, "--part", "1/2", "-o", (folder / "part1.wav").string()},
             {"--mix", (folder / "out.ogg").string(), score},
             // A level is one number, for the finished render only.
             {score, "--normalize", "-1", "--loudness", "-23"},
             {score, "--normalize", "3"},
             {score, "--loudness", "loud"},
             {score, "--part", "1/2", "--loudness", "-23"},
             // --play plays the whole score on one core at the server's rate, and says where.
             {score, "--connect", "system:playback_"},
             {score, "--play", "--connect", "system:playback_", "--no-connect"},
             {score, "--play", "--connect"},
             {score, "--play", "--part", "1/2"},
             {score, "--play", "--jobs", "2"},
             {score, "--play", "--rate", "48000"},
             {score, "--play", "--normalize", "-1"},
             {"--mix", (folder / "out.wav").string(), score, "--play"},
         }) {
        RunResult run = grainrender(arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_EQ(run.err.rfind("grainrender: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(folder.names(), std::set<std::string>{"VELAROOKglisson.sco"});
}

// --- Scores taken apart ---

TEST(ScoreSplit, TheHeaderIsEverythingBeforeTheFirstGrainAndTheColumnsNameTheProgram) {
    auto reading = splitScore(glissonScore());
    ASSERT_TRUE(reading) << reading.reason();
    EXPECT_EQ(reading->program, grain::Program::glisson);
    EXPECT_EQ(reading->header, glissonHeader);
    EXPECT_EQ(reading->grains.size(), 14u);
    EXPECT_EQ(reading->reverb, "i99\t 0\t 0.600000\t\n");

    auto granuleReading = splitScore(granuleHeader("my sound.wav") + glisson(1, 0) + closing());
    ASSERT_TRUE(granuleReading) << granuleReading.reason();
    SplitScore granule = *granuleReading;
    EXPECT_EQ(granule.program, grain::Program::granule);
    EXPECT_EQ(granule.soundFile, "my sound.wav");
    EXPECT_EQ(granule.soundTableSize, 4194304);
    // Table 1 made longer for a long file (or another file named): that line
    // changes and nothing else; a table widened by hand reads as well.
    std::string longer = granuleHeader("/tmp/long sound.wav");
    longer.replace(longer.find("4194304"), 7, "5292000");
    setSoundTable(granule, 5292000, "/tmp/long sound.wav");
    EXPECT_EQ(granule.header, longer);
    auto widened = splitScore(longer + glisson(1, 0) + closing());
    ASSERT_TRUE(widened) << widened.reason();
    EXPECT_EQ(widened->soundTableSize, 5292000);
    std::string deferred = granuleHeader("x.wav");  // Csound's size 0: the file's length
    deferred.replace(deferred.find("4194304"), 7, "0");
    auto sized = splitScore(deferred + glisson(1, 0) + closing());
    ASSERT_TRUE(sized) << sized.reason();
    EXPECT_EQ(sized->soundTableSize, 0);
    deferred.replace(deferred.find(" 0 1 "), 5, " 01 1 ");
    EXPECT_FALSE(splitScore(deferred + glisson(1, 0) + closing()));
}

TEST(ScoreSplit, RefusesWhatTheProgramsDoNotWrite) {
    EXPECT_FALSE(splitScore("f1 0 16384 10 1 \n" + glisson(1, 0) + "e\n"));
    EXPECT_FALSE(splitScore(""));
    auto other = splitScore(glissonHeader + glisson(1, 0) + "i2 0 1 1\ne\n");
    EXPECT_FALSE(other);
    EXPECT_EQ(other.reason().rfind("line 7: ", 0), 0u) << other.reason();
    EXPECT_FALSE(splitScore(glissonHeader + "i1\t 0\t 0.1\n"));
    EXPECT_FALSE(splitScore(glissonHeader + "i1\t 0\t 0.1\t 1.5\t 0\n"));
}

TEST(ScoreSplit, EveryGrainLandsInExactlyOnePartWithTheHeaderAndTheReverbInEach) {
    auto score = *splitScore(glissonScore());
    for (int count : {1, 2, 3, 4, 7}) {
        auto shares = shareVoices(score, count);
        std::size_t grains = 0;
        for (int part = 0; part < count; ++part) {
            std::string text = partScoreText(score, shares, part);
            EXPECT_EQ(text.rfind(glissonHeader, 0), 0u);
            EXPECT_NE(text.find("\ni99\t 0\t 0.600000\t\n\ne\n"), std::string::npos) << text;
            auto again = splitScore(text);
            if (!again && count > 4) {  // more parts than voices: some hold none
                EXPECT_NE(again.reason().find("holds no grain statements"), std::string::npos) << again.reason();
                continue;
            }
            ASSERT_TRUE(again) << again.reason();
            for (const auto& grain : again->grains) EXPECT_EQ(shares.at(grain.voice), part);
            grains += again->grains.size();
        }
        EXPECT_EQ(grains, score.grains.size()) << count << " parts";
    }
}

TEST(ScoreSplit, VoicesAreDealtOutByNoteTimeTheSameWayEveryTime) {
    auto score = *splitScore(glissonScore());  // voices hold 5, 4, 3 and 2 grains
    auto shares = shareVoices(score, 2);
    EXPECT_EQ(shares, (std::map<int, int>{{1, 0}, {2, 1}, {3, 1}, {4, 0}}));  // 7 grains and 7
    EXPECT_EQ(shareVoices(score, 2), shares);
    EXPECT_DOUBLE_EQ(partEndTime(score, shares, 1), 0.6);  // the reverb's end
}

// --- Part files mixed ---

TEST(Mix, SumsThePartsSampleBySampleAndTheShorterGoOnInSilence) {
    TemporaryFolder folder;
    writeSound(folder / "a.w64", 2, 48000, {0.5f, -0.25f, 0.5f, 0.0f, 0.125f, 0.0f});
    writeSound(folder / "b.w64", 2, 48000, {0.25f, 0.25f});
    auto mixed = mixSoundFiles({(folder / "a.w64").string(), (folder / "b.w64").string()}, (folder / "m.wav").string());
    ASSERT_TRUE(mixed) << mixed.reason();
    EXPECT_EQ(mixed->frames, 3);
    EXPECT_EQ(mixed->peaks, (std::vector<double>{0.75, 0.0}));
    SF_INFO info{};
    EXPECT_EQ(readSound(folder / "m.wav", info), (std::vector<float>{0.75f, 0.0f, 0.5f, 0.0f, 0.125f, 0.0f}));
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.samplerate, 48000);
}

TEST(Mix, RefusesPartsThatDoNotAgreeAndLeavesNoOutput) {
    TemporaryFolder folder;
    writePart(folder / "a.w64", 2, partOf(1, 2), {0.5f, 0.5f});
    writePart(folder / "b.w64", 4, partOf(2, 2), {0.5f, 0.5f, 0.5f, 0.5f});
    PartLabel slower = partOf(2, 2);
    slower.rate = 44100;
    writePart(folder / "c.w64", 2, slower, {0.5f, 0.5f});
    writeText(folder / "d.w64", "not a sound");
    for (const char* other : {"b.w64", "c.w64", "d.w64", "e.w64"}) {
        RunResult run = grainrender({"--mix", (folder / "m.wav").string(), (folder / "a.w64").string(), (folder / other).string()});
        EXPECT_EQ(run.status, 1) << other;
        EXPECT_NE(run.err.find(other), std::string::npos) << run.err;
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"a.w64", "b.w64", "c.w64", "d.w64"}));
    // The labels refuse such sets first; the mixing itself refuses them too, whatever the files say.
    for (const auto& [other, says] : std::vector<std::pair<std::string, std::string>>{
             {"b.w64", "4 channels at 48000 Hz"}, {"c.w64", "2 channels at 44100 Hz"}}) {
        auto mixed = mixSoundFiles({(folder / "a.w64").string(), (folder / other).string()}, (folder / "m.wav").string());
        EXPECT_FALSE(mixed) << other;
        EXPECT_NE(mixed.reason().find(says), std::string::npos) << mixed.reason();
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"a.w64", "b.w64", "c.w64", "d.w64"}));
}

TEST(Mix, APeakAboveFullScaleIsWarnedOf) {
    TemporaryFolder folder;
    PartLabel first = partOf(1, 2), second = partOf(2, 2);
    first.rate = second.rate = 44100;
    writePart(folder / "a.w64", 1, first, {0.75f, -0.5f});
    writePart(folder / "b.w64", 1, second, {0.75f, -0.5f});
    RunResult run = grainrender({"--mix", (folder / "m.wav").string(), (folder / "a.w64").string(), (folder / "b.w64").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("m.wav: 0.00 s, 1 channel at 44100 Hz, peak 3.5 dBFS\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("warning: channel 1 of"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("+3.5 dBFS"), std::string::npos) << run.err;
}

TEST(PartFile, IsAFloatW64FileThatCarriesItsLabelBeforeTheSamples) {
    TemporaryFolder folder;
    PartLabel label{contentDigest("score"), "speakers " + contentDigest("hall"), 44100, contentDigest("orchestra"), 7, 12, "hann", contentDigest("kemar"), "--no-air --no-reverb"};
    std::vector<float> samples{0.5f, -0.25f, 1.5f, 0.0f, -1.0f, 0.125f};
    writePart(folder / "p.w64", 3, label, samples);
    SF_INFO info{};
    EXPECT_EQ(readSound(folder / "p.w64", info), samples);  // libsndfile reads it and passes over the label
    EXPECT_EQ(info.format, SF_FORMAT_W64 | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.channels, 3);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.frames, 2);
    auto text = readPartLabelText((folder / "p.w64").string());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->rfind("grainrender part 7 of 12\n", 0), 0u) << *text;
    auto back = parseLabel(*text);
    ASSERT_TRUE(back);
    EXPECT_EQ(labelText(*back), labelText(label));
    // Every size counts its chunk's 24-byte header: the riff's is the file's, and
    // the chunks walked by their sizes end at the file's end, the data chunk's
    // with the last frame (a reader that trusts the size, as ffmpeg does, reads every frame).
    std::ifstream stream(folder / "p.w64", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(stream)), {});
    auto size64 = [&](std::size_t at) {
        std::uint64_t value = 0;
        std::memcpy(&value, bytes.data() + at, sizeof value);
        return value;
    };
    ASSERT_GE(bytes.size(), 40u);
    EXPECT_EQ(size64(16), bytes.size());
    std::size_t at = 40, dataEnd = 0;
    for (; at + 24 <= bytes.size() && size64(at + 16) >= 24; at += (size64(at + 16) + 7) & ~std::uint64_t{7})
        if (bytes.compare(at, 4, "data") == 0) dataEnd = at + size64(at + 16);
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(dataEnd, bytes.size());
    // A W64 file of libsndfile's own records no part.
    writeSound(folder / "plain.w64", 1, 44100, {0.5f});
    EXPECT_FALSE(readPartLabelText((folder / "plain.w64").string()));
}

TEST(PartFile, AWriteBeyondTheFileSizeLimitFailsWithTheSystemsReason) {
    ASSERT_TRUE(bounded);
    TemporaryFolder folder;
    auto writer = PartFileWriter::create((folder / "p.w64").string(), 2, 48000, labelText(partOf(1, 1)));
    ASSERT_TRUE(writer) << writer.reason();
    std::vector<float> block(2 * 65536, 0.25f);  // 512 kB
    grain::Outcome<> written;
    for (rlim_t size = 0; written && size <= largestFile; size += block.size() * sizeof(float))
        written = writer->write(block.data(), 65536);
    EXPECT_FALSE(written);
    EXPECT_NE(written.reason().find("File too large"), std::string::npos) << written.reason();
    auto closed = writer->close();
    EXPECT_FALSE(closed);
    EXPECT_EQ(closed.reason(), written.reason());
}

TEST(Mix, TakesExactlyPartsOneToNOfOneRenderEachOnceInAnyOrder) {
    TemporaryFolder folder;
    auto at = [&](const std::string& name) { return (folder / name).string(); };
    for (int part = 1; part <= 3; ++part) writePart(folder / ("p" + std::to_string(part) + ".w64"), 1, partOf(part, 3), {0.125f * static_cast<float>(part)});
    auto variant = [&](const std::string& name, auto change) {
        PartLabel label = partOf(3, 3);
        change(label);
        writePart(folder / name, 1, label, {0.5f});
    };
    variant("otherScore.w64", [](PartLabel& l) { l.score = contentDigest("another score"); });
    variant("binaural.w64", [](PartLabel& l) { l.space = "binaural"; });
    variant("hall.w64", [](PartLabel& l) { l.space = "speakers " + contentDigest("hall"); });
    variant("dome.w64", [](PartLabel& l) { l.space = "speakers " + contentDigest("dome"); });
    variant("slower.w64", [](PartLabel& l) { l.rate = 44100; });
    variant("otherOrchestra.w64", [](PartLabel& l) { l.orchestra = contentDigest("another orchestra"); });
    variant("ofFour.w64", [](PartLabel& l) { l.partCount = 4; });
    variant("hann.w64", [](PartLabel& l) { l.window = "hann"; });
    variant("kemar.w64", [](PartLabel& l) { l.hrtf = contentDigest("kemar"); });
    variant("dry.w64", [](PartLabel& l) { l.switches = "--no-doppler --no-reverb"; });
    writeSound(folder / "plain.w64", 1, 48000, {0.5f});
    const std::set<std::string> inputs = folder.names();
    struct Case {
        std::vector<std::string> parts;
        std::string says;
    };
    for (const auto& [parts, says] : std::vector<Case>{
             {{"p1.w64", "p3.w64"}, "part 2 of 3 is missing"},
             {{"p2.w64"}, "parts 1 and 3 of 3 are missing"},
             {{"p1.w64", "p2.w64", "p2.w64", "p3.w64"}, "part 2 of 3 is given twice: " + at("p2.w64") + " and " + at("p2.w64")},
             {{"p1.w64", "p2.w64", "otherScore.w64"}, at("p1.w64") + " and " + at("otherScore.w64") + " are parts of different scores"},
             {{"p1.w64", "p2.w64", "binaural.w64"}, at("p1.w64") + " was rendered in stereo, " + at("binaural.w64") + " in binaural"},
             {{"p1.w64", "hall.w64"}, " was rendered in stereo, " + at("hall.w64") + " for a speaker file"},
             {{"hall.w64", "dome.w64"}, at("hall.w64") + " and " + at("dome.w64") + " were rendered for different speaker files"},
             {{"p1.w64", "p2.w64", "slower.w64"}, at("p1.w64") + " is at 48000 Hz, " + at("slower.w64") + " at 44100 Hz"},
             {{"p1.w64", "p2.w64", "otherOrchestra.w64"}, " were rendered with different orchestras"},
             {{"p1.w64", "p2.w64", "ofFour.w64"}, at("p1.w64") + " is part 1 of 3, " + at("ofFour.w64") + " part 3 of 4"},
             {{"p1.w64", "p2.w64", "hann.w64"}, at("p1.w64") + " was rendered with the window default, " + at("hann.w64") + " with hann"},
             {{"p1.w64", "p2.w64", "kemar.w64"}, at("p1.w64") + " and " + at("kemar.w64") + " were rendered with different HRTF sets"},
             {{"p1.w64", "p2.w64", "dry.w64"}, at("p1.w64") + " was rendered with every cue on, " + at("dry.w64") + " with --no-doppler --no-reverb"},
             {{"p1.w64", "p2.w64", "plain.w64"}, "the file " + at("plain.w64") + " is no part file of grainrender --part"},
         }) {
        std::vector<std::string> arguments{"--mix", at("m.wav")};
        for (const auto& part : parts) arguments.push_back(at(part));
        RunResult run = grainrender(arguments);
        EXPECT_EQ(run.status, 1) << says;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(folder.names(), inputs) << run.err;
    }
    RunResult run = grainrender({"--mix", at("m.wav"), at("p3.w64"), at("p1.w64"), at("p2.w64")});
    ASSERT_EQ(run.status, 0) << run.err;
    SF_INFO info{};
    EXPECT_EQ(readSound(folder / "m.wav", info), std::vector<float>{0.75f});
}

// --- Speaker files ---

TEST(SpeakerFile, ALayoutTheOrchestraCannotPanOntoIsRefusedWithItsLine) {
    auto file = [](const std::string& count, const std::string& dimensions, const std::string& directions) {
        return "; a hall\n#define SPEAKER_COUNT #" + count + "#\n#define SPEAKER_DIMENSIONS #" + dimensions +
               "#\n#define SPEAKER_DIRECTIONS #" + directions + "#  ; channel 1 first\n";
    };
    std::ifstream ring8(std::string(GRAIN_SOURCE_EXAMPLES) + "/ring8.speakers");
    std::ostringstream ring8Text;
    ring8Text << ring8.rdbuf();
    struct Case {
        std::string text;
        std::string says;  // empty: accepted
    };
    for (const auto& [text, says] : std::vector<Case>{
             {ring8Text.str(), ""},
             {file("9", "3", "0,0, 90,0, 180,0, 270,0, 45,50, 135,50, 225,50, 315,50, 0,90"), ""},  // the README's dome
             {file("4", "3", "0,-90, 120,0, 240,0, 0,0"), ""},  // a speaker below and a ring of three
             {"/* a dome,\n   two rings */\n#define SPEAKER_COUNT #6# // six\n#define SPEAKER_DIMENSIONS #3#\n"
              "#define SPEAKER_DIRECTIONS #0,0, 120,0, 240,0,\n  60,45, 180,45, 300,45#\n", ""},  // over two lines
             {"#define SPEAKER_COUNT #3#\n#define SPEAKER_DIMENSIONS #2\n#define SPEAKER_DIRECTIONS #0, 120, 240#\n",
              "line 2: a definition wants a name and its value between two # signs: #define SPEAKER_DIMENSIONS #value#"},
             {file("8", "2", "0, 45, 90, 135, 180, 225, 270"),
              "line 4: SPEAKER_DIRECTIONS holds 7 values, but 8 speakers in 2 dimensions want 8 (an azimuth each)"},
             {file("4", "3", "0, 90, 180, 270"), "line 4: SPEAKER_DIRECTIONS holds 4 values, but 4 speakers in 3 dimensions "
                                                 "want 8 (an azimuth, elevation pair each)"},
             {file("4", "4", "0, 90, 180, 270"), "line 3: SPEAKER_DIMENSIONS is \"4\", not 2 (a ring of azimuths) or 3"},
             {file("4", "3", "0,0, 120,0, 240,0, 0,95"), "line 4: the elevation of speaker 4, 95, is outside -90 to 90 degrees"},
             // A layout need not close: a pair, a frontal array, a half dome; channels may be LFE or silent.
             {file("2", "2", "-30, 30"), ""},
             {file("5", "3", "0,0, 120,0, 240,0, 10,40, 100,40"), ""},
             {file("3", "2", "0, 90, 180"), ""},
             {file("4", "2", "-10, 10, 30, 150"), ""},
             {file("6", "2", "-30, 30, 0, LFE, -110, 110"), ""},
             {file("5", "3", "-30,0, 30,0,\n silent,\n LFE, 0,40"), ""},
             {file("3", "2", "-30, 30, LFE, 0"), "line 4: SPEAKER_DIRECTIONS holds 4 values, but 3 speakers in 2 dimensions want 3 "
                                                 "(an azimuth each, or LFE or silent)"},
             {file("3", "3", "-30,0, 30,\n LFE, 0"), "line 5: speaker 2 has an azimuth but no elevation"},
             {file("4", "2", "0, 90,\n 90, 180"), "line 5: channels 2 and 3 stand at the same direction"},
             {file("3", "2", "0, 120,\n east"), "line 5: value 3 of SPEAKER_DIRECTIONS, \"east\", is neither a number of degrees nor LFE or silent"},
             {file("2.5", "2", "0, 120, 240"), "line 2: SPEAKER_COUNT is \"2.5\", not a number of speakers from 1 to 1024"},
             {"#define SPEAKER_COUNT #3#\n#define SPEAKER_DIMENSIONS #2#\n", "hall.speakers: it does not define SPEAKER_DIRECTIONS"},
             {"SPEAKER_COUNT 3\n", "line 1: \"SPEAKER_COUNT 3\" is neither a comment nor a definition"},
             {"#define SPEAKER_COUNT 3\n", "line 1: a definition wants a name and its value between two # signs"},
             {file("3", "2", "0, 120, 240") + "#define SPEAKER_ROWS #2#\n", "line 5: SPEAKER_ROWS is not one of"},
             {file("3", "2", "0, 120, 240") + "#define SPEAKER_COUNT #4#\n", "line 5: SPEAKER_COUNT is defined a second time (first on line 2)"},
         }) {
        auto layout = readSpeakerLayout(text, "hall.speakers");
        if (says.empty()) {
            ASSERT_TRUE(layout) << text << layout.reason();
            EXPECT_FALSE(layout->layout.channels.empty()) << text;
        } else {
            EXPECT_FALSE(layout) << text;
            EXPECT_EQ(layout.reason().rfind("the speaker file hall.speakers", 0), 0u) << layout.reason();
            EXPECT_NE(layout.reason().find(says), std::string::npos) << layout.reason() << "\nwanted: " << says;
        }
    }
}

// --- Whole runs with real Csound ---

TEST(Render, RendersTheScoreBesideItInTheParts) {
    TemporaryFolder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    RunResult run = grainrender({(folder / "VELAROOKglisson.sco").string(), "--jobs", "3", "--rate", "48000"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("VelaRookglisson.wav: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" s, 2 channels at 48000 Hz, peaks "), std::string::npos) << run.out;
    EXPECT_EQ(folder.names(), (std::set<std::string>{"VELAROOKglisson.sco", "VelaRookglisson.wav"}));
    SF_INFO info{};
    auto samples = readSound(folder / "VelaRookglisson.wav", info);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.channels, 2);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 0.01f);
}

TEST(Render, TheWindowAskedForReachesTheOrchestra) {
    // The first grain's first sound: the default window fades it in from
    // silence, the scores' own table 2 starts near half its peak.
    TemporaryFolder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    auto firstSound = [&](const std::vector<std::string>& window) {
        std::vector<std::string> arguments{(folder / "VELAROOKglisson.sco").string(), "-o", (folder / "w.wav").string()};
        arguments.insert(arguments.end(), window.begin(), window.end());
        RunResult run = grainrender(arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        SF_INFO info{};
        auto samples = readSound(folder / "w.wav", info);
        auto first = std::find_if(samples.begin(), samples.end(), [](float v) { return v != 0; });
        return first == samples.end() ? 0.0f : std::fabs(*first);
    };
    const float smooth = firstSound({}), table = firstSound({"--window", "table"});
    EXPECT_LT(smooth, 1e-5f);
    EXPECT_GT(table, 1e-3f);
    EXPECT_EQ(firstSound({"--window", "default"}), smooth);
}

TEST(Render, EachRefusalIsOneLineWithStatusOneAndLeavesNothingBehind) {
    TemporaryFolder folder;
    auto at = [&](const std::string& name) { return (folder / name).string(); };
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    // An orchestra that makes Csound warn: its instrument reads one p-field more than a glisson grain has.
    writeText(folder / "dry.sco", glissonScore(false));
    writeText(folder / "warns.orc", "sr = 44100\nksmps = 32\nnchnls = 2\n0dbfs = 1\ninstr 1\n  aout = p15\n  outs aout, aout\nendin\n");
    writeText(folder / "notes.sco", "f1 0 16384 10 1\ni1 0 1\ne\n");
    writeText(folder / "VELAROOKgranule.sco", granuleHeader("missing.wav") + glisson(1, 0) + closing());
    // A grain duration of 0 is a faulty statement: the orchestra makes it an init error.
    writeText(folder / "faulty.sco", glissonScore(true, 0));
    fs::create_directory(folder / "taken.wav");
    // Scores cut short: nothing after the header, no end statement, nothing at all.
    writeText(folder / "header.sco", glissonHeader);
    std::string whole = glissonScore();
    writeText(folder / "cut.sco", whole.substr(0, whole.find("\ni99")));
    writeText(folder / "empty.sco", "");
    // Seven directions for eight speakers.
    writeText(folder / "short.speakers", "#define SPEAKER_COUNT #8#\n#define SPEAKER_DIMENSIONS #2#\n"
                                         "#define SPEAKER_DIRECTIONS #0, 45, 90, 135, 180, 225, 270#\n");
    const std::set<std::string> inputs{"VELAROOKglisson.sco", "dry.sco", "warns.orc", "notes.sco", "VELAROOKgranule.sco", "faulty.sco",
                                       "taken.wav", "header.sco", "cut.sco", "empty.sco",
                                       "short.speakers"};
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    for (const auto& [arguments, says] : std::vector<Case>{
             {{at("nothing.sco")}, "nothing.sco: it is missing"},
             {{at("notes.sco")}, "notes.sco: line 1: not a score of glissonscore, granulescore or additivescore"},
             {{at("VELAROOKglisson.sco"), "--orchestra", at("none.orc")}, "the orchestra " + at("none.orc") + " is missing"},
             {{at("VELAROOKgranule.sco")}, "the sound file \"missing.wav\" of the score is missing"},
             {{at("VELAROOKglisson.sco"), "--speakers", at("hall.speakers")}, "the speaker file " + at("hall.speakers") + " is missing"},
             {{at("VELAROOKglisson.sco"), "-o", at("taken.wav")}, "cannot write the output file"},
             {{at("VELAROOKglisson.sco"), "-o", at("no/such/folder/x.wav")}, "cannot write the output file"},
             {{at("faulty.sco"), "-o", at("f.wav"), "--jobs", "1"}, "INIT ERROR"},
             {{at("dry.sco"), "--orchestra", at("warns.orc")}, "WARNING: instr 1 uses 15 p-fields but is given 14"},
             {{at("faulty.sco"), "-o", at("f.wav"), "--jobs", "4"}, "the other parts were stopped"},
             {{at("faulty.sco"), "-o", at("f.w64"), "--part", "2/3"}, "SCORE ERROR"},
             {{at("header.sco")}, "header.sco: line 6: the score ends before an empty line"},
             {{at("cut.sco")}, "cut.sco: line 20: the score ends before an empty line; nothing rendered"},
             {{at("empty.sco"), "--part", "1/2"}, "empty.sco: line 1: the file is empty"},
             {{at("VELAROOKglisson.sco"), "--space", "binaural", "--hrtf", at("none.sofa")}, "cannot read the HRTF set " + at("none.sofa")},
             {{at("VELAROOKglisson.sco"), "--space", "binaural", "--hrtf", at("notes.sco")},
              "the HRTF set " + at("notes.sco") + " is no SOFA file libmysofa can read"},
             {{at("VELAROOKglisson.sco"), "--speakers", at("short.speakers")},
              "the speaker file " + at("short.speakers") + ", line 3: SPEAKER_DIRECTIONS holds 7 values"},
         }) {
        RunResult run = grainrender(arguments);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("grainrender: ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(folder.names(), inputs) << run.err;
    }
}

// Csound would carry a missing p-field over from the statement before and
// render the grain somewhere else: grainrender reads every line first, as
// scoreview does, and renders only a whole score.
TEST(Render, ADamagedScoreIsRefusedAtItsLineBeforeCsoundStarts) {
    const std::string whole = glissonScore();  // grains on lines 6 to 19
    const std::string sixth = glisson(1, 0);
    auto replaced = [&](const std::string& line) {
        std::string text = whole;
        return text.replace(text.find(sixth), sixth.size(), line);
    };
    std::string word = statement({0, 0.1, 1, 0.1, 30, 40, 7, 5, 10, 12, 0.05, 440, 660});
    word.replace(word.find("7.000000"), 8, "loud");
    const std::string cut = whole.substr(0, whole.find("\ni99"));  // ends with line 19
    const std::string additiveHeader =
        ";User data - fundamental 100.000000, igstart 0.100000, igmid1 0.100000, igmid1 0.100000, igmid1 0.100000, "
        "igend 0.100000, duration 1.000000, streams 1.000000 mingrain duration 0.100000\n"
        ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 1 \n"
        "f2 0 16385 20 7 1 2    ; grain envelope\n\n" + sharedColumns + "Fundamental\n";
    struct Case {
        std::string score;
        std::string says;
    };
    for (const auto& [score, says] : std::vector<Case>{
             // One number deleted.
             {replaced(sixth.substr(0, sixth.rfind("\t "))  + "\n"),
              "line 6: a grain statement has 13 p-fields instead of 14"},
             {replaced(word), "line 6: p8 is 'loud', not a number with six decimals"},
             // The end of the file lost in the middle of the last statement.
             {cut.substr(0, cut.size() - 26), "line 19: a grain statement has 12 p-fields instead of 14"},
             // A glisson statement in an additive score.
             {additiveHeader + glisson(1, 0) + closing(), "line 7: a grain statement has 14 p-fields instead of 13"},
         }) {
        TemporaryFolder folder;
        writeText(folder / "piece.sco", score);
        RunResult run = grainrender({(folder / "piece.sco").string()});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.err.rfind("grainrender: " + (folder / "piece.sco").string() + ": " + says, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(folder.names(), std::set<std::string>{"piece.sco"});
    }
}

TEST(Render, PartsRenderedOneByOneUnderTheirOwnNamesMixInAnyOrderToTheWholeRender) {
    TemporaryFolder folder;
    auto at = [&](const std::string& name) { return (folder / name).string(); };
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    RunResult whole = grainrender({at("VELAROOKglisson.sco"), "--jobs", "1", "-o", at("whole.wav")});
    ASSERT_EQ(whole.status, 0) << whole.err;
    // Without -o a part is named after its number, counted from 1.
    for (int part = 1; part <= 3; ++part) {
        std::string name = "VelaRookglisson-part" + std::to_string(part) + "of3.w64";
        RunResult run = grainrender({at("VELAROOKglisson.sco"), "--part", std::to_string(part) + "/3"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.rfind(at(name) + ": ", 0), 0u) << run.out;
        auto label = parseLabel(readPartLabelText(at(name)).value_or(""));
        ASSERT_TRUE(label) << name;
        EXPECT_EQ(label->part, part);
        EXPECT_EQ(label->partCount, 3);
    }
    RunResult mix = grainrender({"--mix", at("mixed.wav"), at("VelaRookglisson-part3of3.w64"),
                                 at("VelaRookglisson-part1of3.w64"), at("VelaRookglisson-part2of3.w64")});
    ASSERT_EQ(mix.status, 0) << mix.err;
    SF_INFO wholeInfo{}, mixedInfo{};
    auto expected = readSound(folder / "whole.wav", wholeInfo);
    auto mixed = readSound(folder / "mixed.wav", mixedInfo);
    ASSERT_EQ(mixed.size(), expected.size());
    float largest = 0, difference = 0;
    for (std::size_t s = 0; s < mixed.size(); ++s) {
        largest = std::max(largest, std::fabs(expected[s]));
        difference = std::max(difference, std::fabs(mixed[s] - expected[s]));
    }
    EXPECT_GT(largest, 0.01f);
    EXPECT_LT(difference, 1e-5f) << "the parts do not add up to the whole";  // -100 dBFS
    // The closing line tells the length the file holds, here not a whole number of seconds.
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s, ", static_cast<double>(wholeInfo.frames) / wholeInfo.samplerate);
    EXPECT_NE(wholeInfo.frames % wholeInfo.samplerate, 0);
    EXPECT_EQ(whole.out.rfind(at("whole.wav") + ": " + seconds, 0), 0u) << whole.out;
}

TEST(Render, PartsRenderedForAnotherSpeakerFileOfAsManySpeakersOrWithOtherSwitchesDoNotMix) {
    TemporaryFolder folder;
    auto at = [&](const std::string& name) { return (folder / name).string(); };
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    // Two hexagons, the second turned by 30 degrees.
    writeText(folder / "hall.speakers", "#define SPEAKER_COUNT #6#\n#define SPEAKER_DIMENSIONS #2#\n"
                                        "#define SPEAKER_DIRECTIONS #0, 60, 120, 180, 240, 300#\n");
    writeText(folder / "turned.speakers", "#define SPEAKER_COUNT #6#\n#define SPEAKER_DIMENSIONS #2#\n"
                                          "#define SPEAKER_DIRECTIONS #30, 90, 150, 210, 270, 330#\n");
    auto part = [&](const std::string& name, const std::string& speakers, std::vector<std::string> more) {
        std::vector<std::string> arguments{at("VELAROOKglisson.sco"), "--speakers", at(speakers), "-o", at(name)};
        arguments.insert(arguments.end(), more.begin(), more.end());
        RunResult run = grainrender(arguments);
        EXPECT_EQ(run.status, 0) << run.err;
    };
    part("one.w64", "hall.speakers", {"--part", "1/2"});
    part("two.w64", "hall.speakers", {"--part", "2/2"});
    part("turned.w64", "turned.speakers", {"--part", "2/2"});
    part("dry.w64", "hall.speakers", {"--part", "2/2", "--no-air", "--no-reverb"});
    for (const auto& [second, says] : std::vector<std::pair<std::string, std::string>>{
             {"turned.w64", at("one.w64") + " and " + at("turned.w64") + " were rendered for different speaker files"},
             {"dry.w64", at("one.w64") + " was rendered with every cue on, " + at("dry.w64") + " with --no-air --no-reverb"},
             {"two.w64", ""}}) {
        RunResult run = grainrender({"--mix", at("mixed.wav"), at("one.w64"), at(second)});
        EXPECT_EQ(run.status, says.empty() ? 0 : 1) << run.err;
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
    }
}

TEST(Render, AnOrchestraFoundNowhereIsNamedWithTheFoldersLookedIn) {
    TemporaryFolder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    std::ostringstream out, err;
    RenderEnvironment nowhere{{folder.path().string()}, 1, false};
    EXPECT_EQ(runGrainRender({(folder / "VELAROOKglisson.sco").string()}, nowhere, out, err), 1);
    EXPECT_NE(err.str().find("VelaRookglisson.orc of glissonscore is missing (looked in " + folder.path().string()),
              std::string::npos) << err.str();
    EXPECT_EQ(folder.names(), std::set<std::string>{"VELAROOKglisson.sco"});
}

TEST(Render, AnOutputThatAnotherRunWritesOrThatCannotFitIsRefusedBeforeRendering) {
    TemporaryFolder folder;
    auto at = [&](const std::string& name) { return (folder / name).string(); };
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    writePart(folder / "p.w64", 2, partOf(1, 1), {0.5f, 0.5f});
    writePart(folder / "field.w64", 4, partOf(1, 1), {0.5f, 0, 0, 0});  // first-order Ambisonics
    const std::set<std::string> inputs{"VELAROOKglisson.sco", "p.w64", "field.w64"};
    {
        auto first = OutputLock::take(at("piece.wav"));  // a render that writes piece.wav now
        ASSERT_TRUE(first) << first.reason();
        for (const auto& arguments : std::vector<std::vector<std::string>>{
                 {at("VELAROOKglisson.sco"), "-o", at("piece.wav")},
                 {"--mix", at("piece.wav"), at("p.w64")},
                 {"--decode", "7.1.4", at("field.w64"), "-o", at("piece.wav")}}) {
            RunResult run = grainrender(arguments);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, "grainrender: another grainrender is writing " + at("piece.wav") +
                                   " now: wait for it to end, or choose another output\n");
        }
        EXPECT_EQ(folder.names(), (std::set<std::string>{"VELAROOKglisson.sco", "p.w64", "field.w64", ".piece.wav.grainrender-lock"}));
    }
    // Two parts and their mix at once, each of 0.6 s and the tail's 4 s at 44100 Hz in two channels: 1.6 MB.
    for (std::uintmax_t free : {std::uintmax_t{1000}, std::uintmax_t{4'800'000}, std::uintmax_t{4'900'000}}) {
        RenderEnvironment environment{{GRAIN_SOURCE_EXAMPLES}, 2, false};
        environment.freeSpace = [&](const std::string& where) {
            EXPECT_EQ(where, folder.path().string());
            return free;
        };
        std::ostringstream out, err;
        int status = runGrainRender({at("VELAROOKglisson.sco"), "--rate", "44100", "-o", at("piece.wav")}, environment, out, err);
        if (free > 4'870'000) {
            EXPECT_EQ(status, 0) << err.str();
            EXPECT_EQ(folder.names(), (std::set<std::string>{"VELAROOKglisson.sco", "p.w64", "field.w64", "piece.wav"}));
            continue;
        }
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err.str(), "grainrender: the render needs about 4.9 MB in " + folder.path().string() +
                                 " (3 files of 1.6 MB at once), but it has " + (free == 1000 ? "0.0" : "4.8") +
                                 " MB free\n");
        EXPECT_EQ(folder.names(), inputs);
    }
}

// --- What the composer sees while it renders ---

TEST(Progress, TheBarCountsAllPartsAndForeseesTheTimeLeftAtTheRateSoFar) {
    // Two parts of 10 s of score each, 5 s of them done in 10 s of wall time.
    EXPECT_EQ(progressLine(5, 20, 10, 10), "[#######.......................]  25%  2.5 of 10.0 s, 0.2 x real time, 0:30 left");
    EXPECT_EQ(progressLine(0, 20, 10, 0), "[..............................]   0%  0.0 of 10.0 s");
    // A part rendering the reverb's tail past its last statement moves neither the total nor the done beyond it.
    for (const auto& [times, done] : std::vector<std::pair<std::vector<double>, double>>{
             {{4, 1}, 5}, {{10, 10}, 20}, {{12.8, 3}, 13}, {{13, 13}, 20}}) {
        PartsDone parts = partsDone(times, {10, 10});
        EXPECT_EQ(parts.total, 20);
        EXPECT_EQ(parts.done, done);
    }
    EXPECT_EQ(dbfs(0.5), "-6.0 dBFS");
    SoundSummary summary{66150, 2, 44100, {0.5, 0.25}, false};
    EXPECT_EQ(closingLine("x.wav", summary, 0), "x.wav: 1.50 s, 2 channels at 44100 Hz, peaks -6.0 dBFS -12.0 dBFS");
    EXPECT_EQ(dbfs(0), "silent");
    EXPECT_EQ(playLine(2.5, 10), "[#######.......................]  25%  2.5 of 10.0 s played");
    EXPECT_EQ(playedLine({66150, 2, 44100, {0.5, 0.25}, true}, 1),
              "played through JACK: 1.50 s, 2 channels at 44100 Hz, peaks -6.0 dBFS -12.0 dBFS, 1 under-run");
}
