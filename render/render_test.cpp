// grainrender's tests: the command line, taking scores apart into parts,
// mixing part files, and every refusal of a whole run (with real Csound),
// which must leave nothing in the output folder. The equality of parts and
// whole on the programs' own scores is tested by scripts/test.d/render.sh.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "grain_render.hpp"
#include "progress.hpp"
#include "render_options.hpp"
#include "score_split.hpp"
#include "sound_files.hpp"

namespace fs = std::filesystem;
using namespace render;

namespace {

const std::string glissonHeader =
    ";Table 1 6 simple sine wave harmonics (using GEN10).\n"
    "f1 0 16384 10 1 1 1 \n"
    "f2 0 16385 20 7 1 2    ; grain envelope\n"
    "\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t Start "
    "Freq\t End Freq\n";

// A glisson statement of voice at start, 0.1 s long.
std::string glisson(int voice, double start, double grainDur = 0.05) {
    std::ostringstream line;
    line << "i1\t " << start << "\t 0.1\t " << voice << "\t 0.1\t 30\t 40\t 0\t 5\t 10\t 12\t " << grainDur
         << "\t 440\t 660\n";
    return line.str();
}

// A short glisson score: voices 1 to 4, with more grains the lower the voice.
std::string glissonScore(bool reverb = true, double grainDur = 0.05) {
    std::string text = glissonHeader;
    for (int voice = 1; voice <= 4; ++voice)
        for (int grain = 0; grain < 6 - voice; ++grain) text += glisson(voice, 0.1 * grain, grainDur);
    if (reverb) text += "\ni99\t 0\t 0.6\t\n";
    return text + "\ne\n";
}

class TemporaryFolder {
public:
    TemporaryFolder() {
        path_ = fs::temp_directory_path() / ("grainrender-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }
    // The names of everything in the folder.
    std::set<std::string> names() const {
        std::set<std::string> all;
        for (const auto& entry : fs::directory_iterator(path_)) all.insert(entry.path().filename().string());
        return all;
    }

private:
    fs::path path_;
};

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Writes a float WAV file of the given interleaved samples.
void writeSound(const fs::path& path, int channels, int rate, const std::vector<float>& samples) {
    SoundWriter writer = openPartWriter(path.string(), channels, rate);
    ASSERT_TRUE(writer.file) << writer.error;
    ASSERT_TRUE(writeFrames(writer, samples.data(), static_cast<long long>(samples.size()) / channels));
    ASSERT_TRUE(closeWriter(writer));
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

struct RunResult {
    int status;
    std::string out, err;
};

RunResult grainrender(const std::vector<std::string>& arguments) {
    RenderEnvironment environment{{GRAIN_SOURCE_EXAMPLES}, 2, false};
    std::ostringstream out, err;
    int status = runGrainRender(arguments, environment, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace

// --- The command line ---

TEST(RenderOptions, ReadsPartsTechniquesAndMixes) {
    auto parsed = parseRenderOptions({"s.sco", "--space", "ambix3", "--part", "2/5", "--rate", "48000", "-o", "x.w64"});
    ASSERT_TRUE(parsed.options) << parsed.refusal;
    EXPECT_EQ(parsed.options->space, "ambix3");
    EXPECT_EQ(parsed.options->part, 2);
    EXPECT_EQ(parsed.options->partCount, 5);
    EXPECT_EQ(parsed.options->rate, 48000);
    auto speakers = parseRenderOptions({"s.sco", "--speakers", "hall.speakers"});
    ASSERT_TRUE(speakers.options) << speakers.refusal;
    EXPECT_EQ(speakers.options->space, "speakers");
    auto mix = parseRenderOptions({"--mix", "out.wav", "a.w64", "b.w64"});
    ASSERT_TRUE(mix.options) << mix.refusal;
    EXPECT_EQ(mix.options->output, "out.wav");
    EXPECT_EQ(mix.options->mixParts, (std::vector<std::string>{"a.w64", "b.w64"}));
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
             {score, "--rate", "96000"},
             {score, "--part", "4/3"},
             {score, "--part", "0/3"},
             {score, "--part", "1/3", "--jobs", "2"},
             {score, "--space", "ring8", "--speakers", "hall.speakers"},
             {score, "-o"},
             {score, "--loud"},
             {"--mix", (folder / "out.wav").string()},
             {"--mix", (folder / "out.wav").string(), score, "--rate", "48000"},
             // The container comes from the output's name, before anything is rendered.
             {score, "-o", (folder / "out.mp3").string()},
             {score, "-o", (folder / "out").string()},
             {score, "--space", "ambix3", "-o", (folder / "out.flac").string()},
             {score, "--part", "1/2", "-o", (folder / "part1.wav").string()},
             {"--mix", (folder / "out.ogg").string(), score},
             // A level is one number, for the finished render only.
             {score, "--normalize", "-1", "--loudness", "-23"},
             {score, "--normalize", "3"},
             {score, "--loudness", "loud"},
             {score, "--part", "1/2", "--loudness", "-23"},
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
    auto reading = splitScore(glissonScore(), "piece.sco");
    ASSERT_TRUE(reading.score) << reading.refusal;
    EXPECT_EQ(reading.score->program.program, "glissonscore");
    EXPECT_EQ(reading.score->header, glissonHeader);
    EXPECT_EQ(reading.score->grains.size(), 14u);
    EXPECT_EQ(reading.score->reverb, "i99\t 0\t 0.6\t\n");

    std::string granule = "f1 0 4194304 1 \"my sound.wav\" 0 4 1\nf2 0 16385 20 7 1 2    ; grain envelope\n\n"
                          ";inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t "
                          "Dist\t\t Graindur\t File Play Pos\t Play Speed\n" + glisson(1, 0) + "\ne\n";
    auto granuleReading = splitScore(granule, "VELAROOKglisson.sco");
    ASSERT_TRUE(granuleReading.score) << granuleReading.refusal;
    EXPECT_EQ(granuleReading.score->program.program, "granulescore");
    EXPECT_EQ(granuleReading.score->soundFile, "my sound.wav");

    // Without the column comment the file name decides, in either case.
    auto named = splitScore("f1 0 16384 10 1 \n" + glisson(1, 0) + "e\n", "VelaRookAdditive.sco");
    ASSERT_TRUE(named.score) << named.refusal;
    EXPECT_EQ(named.score->program.program, "additivescore");
}

TEST(ScoreSplit, RefusesWhatTheProgramsDoNotWrite) {
    EXPECT_FALSE(splitScore("f1 0 16384 10 1 \n" + glisson(1, 0) + "e\n", "mine.sco").score);
    EXPECT_FALSE(splitScore("", "mine.sco").score);
    auto other = splitScore(glissonHeader + glisson(1, 0) + "i2 0 1 1\ne\n", "x.sco");
    EXPECT_FALSE(other.score);
    EXPECT_NE(other.refusal.find("line 7"), std::string::npos) << other.refusal;
    EXPECT_FALSE(splitScore(glissonHeader + "i1\t 0\t 0.1\n", "x.sco").score);
    EXPECT_FALSE(splitScore(glissonHeader + "i1\t 0\t 0.1\t 1.5\t 0\n", "x.sco").score);
}

TEST(ScoreSplit, EveryGrainLandsInExactlyOnePartWithTheHeaderAndTheReverbInEach) {
    auto score = *splitScore(glissonScore(), "x.sco").score;
    for (int count : {1, 2, 3, 4, 7}) {
        auto shares = shareVoices(score, count);
        std::size_t grains = 0;
        for (int part = 0; part < count; ++part) {
            std::string text = partScoreText(score, shares, part);
            EXPECT_EQ(text.rfind(glissonHeader, 0), 0u);
            EXPECT_NE(text.find("\ni99\t 0\t 0.6\t\n\ne\n"), std::string::npos) << text;
            auto again = splitScore(text, "x.sco");
            ASSERT_TRUE(again.score) << again.refusal;
            for (const auto& grain : again.score->grains) EXPECT_EQ(shares.at(grain.voice), part);
            grains += again.score->grains.size();
        }
        EXPECT_EQ(grains, score.grains.size()) << count << " parts";
    }
}

TEST(ScoreSplit, VoicesAreDealtOutByNoteTimeTheSameWayEveryTime) {
    auto score = *splitScore(glissonScore(), "x.sco").score;  // voices hold 5, 4, 3 and 2 grains
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
    ASSERT_TRUE(mixed.summary) << mixed.refusal;
    EXPECT_EQ(mixed.summary->frames, 3);
    EXPECT_EQ(mixed.summary->peaks, (std::vector<double>{0.75, 0.0}));
    SF_INFO info{};
    EXPECT_EQ(readSound(folder / "m.wav", info), (std::vector<float>{0.75f, 0.0f, 0.5f, 0.0f, 0.125f, 0.0f}));
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.samplerate, 48000);
}

TEST(Mix, RefusesPartsThatDoNotAgreeAndLeavesNoOutput) {
    TemporaryFolder folder;
    writeSound(folder / "a.w64", 2, 48000, {0.5f, 0.5f});
    writeSound(folder / "b.w64", 4, 48000, {0.5f, 0.5f, 0.5f, 0.5f});
    writeSound(folder / "c.w64", 2, 44100, {0.5f, 0.5f});
    writeText(folder / "d.w64", "not a sound");
    for (const char* other : {"b.w64", "c.w64", "d.w64", "e.w64"}) {
        RunResult run = grainrender({"--mix", (folder / "m.wav").string(), (folder / "a.w64").string(), (folder / other).string()});
        EXPECT_EQ(run.status, 1) << other;
        EXPECT_NE(run.err.find(other), std::string::npos) << run.err;
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"a.w64", "b.w64", "c.w64", "d.w64"}));
}

TEST(Mix, APeakAboveFullScaleIsWarnedOf) {
    TemporaryFolder folder;
    writeSound(folder / "a.w64", 1, 44100, {0.75f, -0.5f});
    RunResult run = grainrender({"--mix", (folder / "m.wav").string(), (folder / "a.w64").string(), (folder / "a.w64").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("m.wav: 0.00 s, 1 channel at 44100 Hz, peak 3.5 dBFS"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("warning: channel 1 of"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("+3.5 dBFS"), std::string::npos) << run.err;
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

TEST(Render, EachRefusalIsOneLineWithStatusOneAndLeavesNothingBehind) {
    TemporaryFolder folder;
    auto at = [&](const std::string& name) { return (folder / name).string(); };
    writeText(folder / "VELAROOKglisson.sco", glissonScore());
    writeText(folder / "notes.sco", "f1 0 16384 10 1\ni1 0 1\ne\n");
    writeText(folder / "VELAROOKgranule.sco",
              "f1 0 4194304 1 \"missing.wav\" 0 4 1\nf2 0 16385 20 7 1 2    ; grain envelope\n" + glisson(1, 0) + "e\n");
    // A grain duration of 0 is a faulty statement: the orchestra makes it an init error.
    writeText(folder / "faulty.sco", glissonScore(true, 0));
    fs::create_directory(folder / "taken.wav");
    const std::set<std::string> inputs{"VELAROOKglisson.sco", "notes.sco", "VELAROOKgranule.sco", "faulty.sco",
                                       "taken.wav"};
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    for (const auto& [arguments, says] : std::vector<Case>{
             {{at("nothing.sco")}, "nothing.sco: it is missing"},
             {{at("notes.sco")}, "is not a score of glissonscore, granulescore or additivescore"},
             {{at("VELAROOKglisson.sco"), "--orchestra", at("none.orc")}, "the orchestra " + at("none.orc") + " is missing"},
             {{at("VELAROOKgranule.sco")}, "the sound file \"missing.wav\" of the score is missing"},
             {{at("VELAROOKglisson.sco"), "--speakers", at("hall.speakers")}, "the speaker file " + at("hall.speakers") + " is missing"},
             {{at("VELAROOKglisson.sco"), "-o", at("taken.wav")}, "cannot write the output file"},
             {{at("VELAROOKglisson.sco"), "-o", at("no/such/folder/x.wav")}, "cannot write the output file"},
             {{at("faulty.sco"), "-o", at("f.wav"), "--jobs", "1"}, "INIT ERROR"},
             {{at("faulty.sco"), "-o", at("f.wav"), "--jobs", "4"}, "the other parts were stopped"},
             {{at("faulty.sco"), "-o", at("f.w64"), "--part", "2/3"}, "SCORE ERROR"},
         }) {
        RunResult run = grainrender(arguments);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_NE(run.err.find(says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("grainrender: ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(folder.names(), inputs) << run.err;
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

// --- What the composer sees while it renders ---

TEST(Progress, TheBarCountsAllPartsAndForeseesTheTimeLeftAtTheRateSoFar) {
    // Two parts of 10 s of score each, 5 s of them done in 10 s of wall time.
    EXPECT_EQ(progressLine(5, 20, 10, 10), "[#######.......................]  25%  2.5 of 10.0 s, 0.2 x real time, 0:30 left");
    EXPECT_EQ(progressLine(0, 20, 10, 0), "[..............................]   0%  0.0 of 10.0 s");
    EXPECT_EQ(dbfs(0.5), "-6.0 dBFS");
    EXPECT_EQ(dbfs(0), "silent");
}
