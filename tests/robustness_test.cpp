// Whole runs on random answers and random coordinate files, mostly plausible
// and now and then wrong (a word for a number, input cut short, zero and
// negative durations, intergrain values at and below -1, huge values, short,
// missing and malformed files). Every run must keep the invariants of
// run_invariants.hpp. The seed is fixed, so a failure repeats; the failing
// case is printed whole.
#include <gtest/gtest.h>

#include <random>

#include "run_invariants.hpp"

using namespace grain;
using namespace grain::testing;

namespace {

class CaseMaker {
public:
    explicit CaseMaker(std::uint64_t seed) : random_(seed) {}

    RunCase make() {
        RunCase run;
        run.program = static_cast<Program>(pick(3));
        answers_.clear();
        cut_ = chance(0.08) ? pick(20) : -1;
        switch (run.program) {
            case Program::glisson:
                answer(menu());
                answer(real(20, 2000));
                answer(real(2000, 20000));
                answer(std::to_string(pick(5)));
                grainDurations();
                streamSettings();
                break;
            case Program::granule:
                grainDurations();
                streamSettings();
                answers_ += chance(0.1) ? "\n" : "sound file.wav\n";
                answer(real(0.25, 4));
                break;
            case Program::additive:
                answer(chance(0.05) ? "0" : real(20, 400));
                answer(std::to_string(pick(5)));
                answer(duration(3));
                density();
                answer(streams());
                answer(std::to_string(pick(3)));
                break;
        }
        run.answers = answers_;
        int voices = 1 + pick(4);
        for (int v = 0; v < voices; ++v) {
            int samples = pick(60);
            for (int c = 0; c < 3; ++c)
                run.files.push_back(chance(0.03) ? std::nullopt : std::optional<std::string>(coordinates(samples, c)));
        }
        return run;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    std::string number(double v) {
        std::ostringstream text;
        text.precision(7);
        text << v;
        return text.str();
    }
    std::string real(double lo, double hi) { return number(std::uniform_real_distribution<double>(lo, hi)(random_)); }

    // Adds one answer, now and then replaced by something wrong; once the cut
    // is reached no more answers are given.
    void answer(const std::string& text) {
        if (cut_ == 0) return;
        if (cut_ > 0) --cut_;
        static const char* const wrong[] = {"x", "1,5", "--1", "1e40", "99999999999", ".", "-"};
        answers_ += chance(0.02) ? wrong[pick(7)] : text;
        answers_ += chance(0.3) ? " " : "\n";
    }
    std::string menu() {
        std::string text;
        while (chance(0.05)) text += std::to_string(pick(9) - 3) + "\n";  // asked again until 1 to 3
        return text + std::to_string(1 + pick(3));
    }
    std::string duration(double most) {
        if (chance(0.04)) return "0";
        if (chance(0.04)) return "-0.05";
        if (chance(0.03)) return "1e-7";
        return real(0.005, most);
    }
    std::string intergrain() {
        if (chance(0.05)) return "-1";
        if (chance(0.03)) return "-3";
        if (chance(0.1)) return real(-0.9, 0);
        return real(0, 2);
    }
    std::string streams() {
        if (chance(0.03)) return "0";
        if (chance(0.03)) return "-1";
        return real(0.5, 4.5);
    }
    void grainDurations() {
        std::string mode = menu();
        answer(mode);
        switch (mode.back()) {
            case '1': answer(duration(0.2)); answer(duration(0.2)); break;
            case '2':
                for (int i = 0; i < 5; ++i) answer(duration(0.2));
                break;
            default: answer(duration(0.2)); break;
        }
    }
    void density() {
        int mode = chance(0.1) ? 2 : pick(2);
        answer(std::to_string(mode));
        for (int i = 0; i < (mode == 0 ? 5 : 1); ++i) answer(intergrain());
    }
    void streamSettings() {
        density();
        answer(duration(3));
        answer(streams());
        answer(std::to_string(pick(3)));
    }

    // One coordinate file: samples values of coordinate c (azimuth,
    // elevation, distance), now and then shorter, longer, malformed, huge or
    // without its final line end.
    std::string coordinates(int samples, int c) {
        if (chance(0.1)) samples += pick(5) - 2;
        std::string text;
        for (int i = 0; i < samples; ++i) {
            if (chance(0.01)) {
                static const char* const bad[] = {"x", "1.2.3", "nan", "1e39", "-"};
                text += bad[pick(5)];
            } else if (chance(0.01)) {
                text += chance(0.5) ? "3e38" : "-3e38";
            } else {
                text += c == 0 ? real(-180, 180) : c == 1 ? real(-90, 90) : real(0, 10);
            }
            text += chance(0.05) ? " " : "\n";
        }
        if (!text.empty() && chance(0.2)) text.pop_back();
        return text;
    }

    std::mt19937_64 random_;
    std::string answers_;
    int cut_ = -1;
};

std::string describe(const RunCase& run) {
    const char* names[] = {"glissonscore", "granulescore", "additivescore"};
    std::string text = std::string(names[static_cast<int>(run.program)]) + " answers:\n" + run.answers + "\n";
    for (std::size_t i = 0; i < run.files.size(); ++i)
        text += "file " + std::to_string(i) + ": " + (run.files[i] ? *run.files[i] : std::string("(missing)")) + "\n";
    return text;
}

}  // namespace

TEST(Robustness, randomRunsAreRefusedCleanlyOrWriteAFiniteEndedScore) {
    CaseMaker maker(20261207);
    int refused = 0, withGrains = 0;
    const int cases = 400;
    for (int i = 0; i < cases; ++i) {
        RunCase run = maker.make();
        TempFolder coordinates, scores;
        writeCoordinateFiles(run, coordinates.path());
        int before = openDescriptorCount();
        RunResult result = runProgram(run.program, run.answers, coordinates.path(), scores.path());
        int after = openDescriptorCount();
        std::string violation = runInvariantViolation(run.program, result, before, after);
        ASSERT_EQ(violation, "") << "case " << i << "\n" << describe(run);
        if (result.status != 0 && result.status != incompleteScoreStatus) ++refused;
        if (!statements(result.score).empty()) ++withGrains;
    }
    // The mix stays useful: runs of both kinds.
    EXPECT_GE(refused, cases / 20);
    EXPECT_GE(withGrains, cases / 4);
}

TEST(Robustness, aScoreLargerThanTheWriteBufferKeepsEveryStatementWhole) {
    // 12000 grains of about 150 characters each: the score is written out in
    // several blocks, and statements on either side of each block's end must
    // still be complete and agree with their neighbours.
    TempFolder coordinates, scores;
    writeRamp(coordinates.path(), 1, 12002, -170, 0.03, -80, 0.013, 1, 0.001);
    for (Program program : {Program::glisson, Program::granule}) {
        const std::string answers = program == Program::glisson ? "1 100 10000 3 3 0.001 1 0 12 1 0\n"
                                                                 : "3 0.001 1 0 12 1 0\nsound.wav\n1\n";
        int before = openDescriptorCount();
        RunResult result = runProgram(program, answers, coordinates.path(), scores.path());
        int after = openDescriptorCount();
        EXPECT_EQ(runInvariantViolation(program, result, before, after), "");
        EXPECT_GT(result.score.size(), 1500000u);
        EXPECT_NEAR(static_cast<double>(statements(result.score).size()), 12000.0, 2.0);  // float clock
    }
}

TEST(Robustness, aFieldRepeatingTheFieldJustBeforeItIsWrittenWhole) {
    // A voice's first grain is its own previous grain: its old and new
    // elevation and distance are the same floats, side by side in the
    // statement. (Copying the text just written onto its own tail once
    // overlapped; the sanitizers report that.)
    TempFolder scores;
    ScoreWriter writer;
    ASSERT_TRUE(openScore(writer, Program::glisson, scores.path()));
    GrainEvent event;
    event.dur = 0.1f;
    event.voice = 1;
    event.phase = 0.5f;
    event.aziOld = event.azi = 10.0f;
    event.elevOld = event.elev = 5.0f;
    event.distOld = event.dist = 2.0f;
    event.grainDur = 0.05f;
    event.own = {100.0f, 100.0f};
    writeEvent(writer, event);
    writeEvent(writer, event);
    std::ostringstream console;
    ASSERT_TRUE(finishScore(writer, RunParameters{}, console));
    const std::string line =
        "i1\t 0.000000\t 0.100000\t 1\t 0.500000\t 10.000000\t 10.000000\t 5.000000\t 5.000000\t 2.000000\t "
        "2.000000\t 0.050000\t 100.000000\t 100.000000\n";
    EXPECT_EQ(readText(scores.path() / "VELAROOKglisson.sco"), line + line + "\ne\n");
}

TEST(Robustness, theRunBoundCoversRunsThatWriteManyGrains) {
    // An intergrain value just above -1 makes the intervals a millionth of the
    // grain duration: accepted as typed, but far too many grains to check.
    RunCase tiny{Program::glisson, "1 100 10000 3 3 0.05 1 -0.999999 100 1 0\n", {"1 2 3", "1 2 3", "1 2 3"}};
    EXPECT_FALSE(caseStaysSmall(tiny, 20000));
    RunCase plain{Program::glisson, "1 100 10000 3 3 0.05 1 0 1 1 0\n", {"1 2 3", "1 2 3", "1 2 3"}};
    EXPECT_TRUE(caseStaysSmall(plain, 20000));
    // So does a sine table of a billion harmonics.
    RunCase harmonics{Program::additive, "1 1000000101 1 1 1 2 0\n", {"1 2 3", "1 2 3", "1 2 3"}};
    EXPECT_FALSE(caseStaysSmall(harmonics, 20000));
    // An interval of zero ends every voice at its first grain.
    RunCase stopped{Program::granule, "3 0.05 1 -1 1000 1 0\nx.wav\n1\n", {"1 2 3", "1 2 3", "1 2 3"}};
    EXPECT_TRUE(caseStaysSmall(stopped, 20000));
}

TEST(Robustness, fuzzInputsAreCutIntoAnswersAndCoordinateFiles) {
    const unsigned char bytes[] = {'2', '1', ' ', '2', 0, 'a', 0, 0xff, 0, 'd', 0};
    RunCase run = decodeRunCase(bytes, sizeof bytes);
    EXPECT_EQ(run.program, Program::additive);
    EXPECT_EQ(run.answers, "1 2");
    ASSERT_EQ(run.files.size(), 4u);
    EXPECT_EQ(run.files[0], std::optional<std::string>("a"));
    EXPECT_EQ(run.files[1], std::nullopt);
    EXPECT_EQ(run.files[2], std::optional<std::string>("d"));
    EXPECT_EQ(run.files[3], std::optional<std::string>(""));
}
