// What the composer sees when the input is wrong, one group per row of the
// README's table "When input is wrong": answers that are not numbers or end
// too early, menu answers outside the menu, durations that give no schedule,
// missing, short or malformed coordinate files, and a score that cannot be
// created or written.
#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program_run.hpp"
#include "test_support.hpp"

using namespace grain;
using namespace grain::testing;

namespace {

const std::string glissonAnswers = "1\n100\n10000\n3\n3\n0.05\n1\n1\n1\n1\n1\n";
// Grain duration 0.05 s, intergrain 0, 1 s: each grain reads the next sample.
std::string denseGlisson(int streams) { return "1\n100\n10000\n3\n3\n0.05\n1\n0\n1\n" + std::to_string(streams) + "\n1\n"; }
const std::string completion = "\n\n\t\bScore file created and written to VelaRookglisson.sco\n\n";
const std::string endOfData =
    "\n\nEnd of Boids input file reached\n\nScore file will contain unstable values\n\n"
    "Please either increase the minimum grain duration, or\n"
    "resample Boids in MAX MSP at a faster sampling period\n";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A run that must be refused: exit 1, exactly the message expected, no
// completion message, and a score that was there before is left as it was.
void expectRefused(Program program, const std::string& answers, const std::string& message) {
    TempFolder coordinates, scores;
    writeRamp(coordinates.path(), 1, 50, 10, 1, 5, 1, 2, 0.1);
    const auto scorePath = scores.path() / scoreFileName(program);
    writeText(scorePath, "the composer's earlier score\n");
    RunResult run = runProgram(program, answers, coordinates.path(), scores.path());
    EXPECT_EQ(run.status, 1) << answers;
    EXPECT_EQ(run.errors, message) << answers;
    EXPECT_FALSE(contains(run.console, "Score file created")) << answers;
    EXPECT_EQ(run.score, "the composer's earlier score\n") << answers;
}

// What a run leaves when the score's file stops taking bytes part-way: the
// run goes on in a child process whose files may not grow beyond limit bytes
// (the system then refuses every write past it, as a full disk would).
struct FailedWrite {
    int status = -1;
    std::string errors;
    std::string console;
};

FailedWrite runWithFileSizeLimit(Program program, const std::string& answers, const std::filesystem::path& coordinates,
                                 const std::filesystem::path& scores, const std::filesystem::path& transcript,
                                 rlim_t limit) {
    FailedWrite result;
    pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a refused write, not a killed process
        struct rlimit bound {limit, limit};
        setrlimit(RLIMIT_FSIZE, &bound);
        alarm(60);  // a run that hangs fails the test instead of holding it
        RunResult run = runProgram(program, answers, coordinates, scores);
        writeText(transcript / "errors", run.errors);
        writeText(transcript / "console", run.console.substr(run.console.size() > 4000 ? run.console.size() - 4000 : 0));
        _exit(run.status);
    }
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.errors = readText(transcript / "errors");
    result.console = readText(transcript / "console");
    return result;
}

}  // namespace

TEST(BadInput, anAnswerThatIsNotANumberNamesTheQuestionAndWritesNoScore) {
    expectRefused(Program::glisson, "1\n100\nabc\n",
                  "glissonscore: no score written: the answer \"abc\" for the highest frequency is not a number\n");
    // An integer question does not take a real, nor a real question a word.
    expectRefused(Program::granule, "2.5\n",
                  "granulescore: no score written: the answer \"2.5\" for the grain duration menu is not a whole number\n");
    expectRefused(Program::additive, "100\n3\n1\n1\nslow\n",
                  "additivescore: no score written: the answer \"slow\" for the intergrain value is not a number\n");
    // A long word is shown up to its 40th character.
    expectRefused(Program::granule, "3 0.05 1 0 1 1 0\nx.wav\nabcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJ\n",
                  "granulescore: no score written: the answer \"abcdefghijklmnopqrstuvwxyz0123456789ABCD\" for the "
                  "grain playback speed is not a number\n");
    // Numbers beyond what the answer can hold are refused the same way.
    expectRefused(Program::glisson, "1\n100\n1e39\n",
                  "glissonscore: no score written: the answer \"1e39\" for the highest frequency is too large\n");
    expectRefused(Program::glisson, "1\n100\n1000\n99999999999\n",
                  "glissonscore: no score written: the answer \"99999999999\" for the number of harmonics is too "
                  "large\n");
}

TEST(BadInput, theEndOfTheInputNamesTheUnansweredQuestionAndWritesNoScore) {
    expectRefused(Program::glisson, "",
                  "glissonscore: no score written: the input ended before the answer for the frequency mapping "
                  "menu\n");
    expectRefused(Program::granule, "3 0.05 1 1 1 1 1",
                  "granulescore: no score written: the input ended before the answer for the sound file name\n");
    expectRefused(Program::additive, "100 3 1 0 0.5 0.5 0.5 0.5 0.5 2",
                  "additivescore: no score written: the input ended before the answer for the reverb\n");
}

TEST(BadInput, aMenuAnswerOutsideTheMenuIsAskedAgain) {
    TempFolder coordinates, scores;
    RunResult run = runProgram(Program::glisson, "0\n4\n-1\n" + glissonAnswers, coordinates.path(), scores.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files
    const std::string again = "Only 1, 2 or 3 can be chosen here.\nPlease type 1, 2 or 3 and hit return.....";
    EXPECT_TRUE(contains(run.console, "hit return....." + again + again + again +
                                          "\n\nPlease enter the lowest frequency in Hertz. Eg. 100\n"));
    EXPECT_TRUE(contains(run.console, completion));

    // Only a number is asked again; a word still stops the run.
    expectRefused(Program::granule, "x",
                  "granulescore: no score written: the answer \"x\" for the grain duration menu is not a number\n");
}

TEST(BadInput, durationsThatGiveNoScheduleAreRefusedBeforeTheScoreIsCreated) {
    expectRefused(Program::glisson, "1\n100\n10000\n3\n3\n0\n1\n1\n1\n1\n1\n",
                  "glissonscore: no score written: the minimum grain duration 0.000000 is not a positive number of "
                  "seconds\n");
    expectRefused(Program::granule, "2\n0.1\n0.2\n-0.1\n0.1\n0.1\n1\n1\n1\n1\n1\nsound.wav\n1\n",
                  "granulescore: no score written: the minimum grain duration -0.100000 is not a positive number of "
                  "seconds\n");
    expectRefused(Program::additive, "0\n3\n1\n1\n1\n2\n1\n",
                  "additivescore: no score written: the fundamental 0.000000 with 2.000000 grain streams gives no "
                  "positive minimum grain duration (fundamental x (1 / (streams x fundamental)) seconds)\n");
    expectRefused(Program::additive, "100\n3\n1\n1\n1\n0\n1\n",
                  "additivescore: no score written: the fundamental 100.000000 with 0.000000 grain streams gives no "
                  "positive minimum grain duration (fundamental x (1 / (streams x fundamental)) seconds)\n");
}

TEST(BadInput, anIntervalThatIsNotPositiveEndsOnlyItsVoice) {
    TempFolder coordinates, scores;
    writeRamp(coordinates.path(), 1, 50, 10, 1, 5, 1, 2, 0.1);
    writeRamp(coordinates.path(), 2, 50, 10, 1, 5, 1, 2, 0.1);
    // Intergrain -1: every interval is 0 seconds.
    RunResult run =
        runProgram(Program::glisson, "1\n100\n10000\n3\n3\n0.05\n1\n-1\n1\n2\n1\n", coordinates.path(), scores.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    EXPECT_TRUE(contains(run.console,
                         "writing voice 1 \nVoice 1 ends here: its inter-onset interval 0.000000 is not a positive "
                         "number of seconds\nwriting voice 2 \nVoice 2 ends here: its inter-onset interval 0.000000 "
                         "is not a positive number of seconds\n" + completion));
    EXPECT_TRUE(statements(run.score).empty());
    EXPECT_EQ(run.errors,
              "glissonscore: voice 1 ended at 0 s of 1 s: its inter-onset interval 0.000000 is not a positive number "
              "of seconds\nglissonscore: voice 2 ended at 0 s of 1 s: its inter-onset interval 0.000000 is not a "
              "positive number of seconds\n");
}

TEST(BadInput, missingCoordinateFilesEndTheVoiceLoopAndTheScoreIsFinished) {
    TempFolder coordinates, scores;
    writeRamp(coordinates.path(), 1, 50, 10, 1, 5, 1, 2, 0.1);
    writeRamp(coordinates.path(), 2, 50, 10, 1, 5, 1, 2, 0.1);
    std::filesystem::remove(coordinates.path() / "bg2e.txt");
    RunResult run = runProgram(Program::glisson, denseGlisson(3),
                               coordinates.path(), scores.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    EXPECT_TRUE(contains(run.console,
                         "writing voice 2 \nProgram quitting due to missing Boids input files!\nPlease ensure the "
                         "coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n" +
                             completion));
    EXPECT_FALSE(contains(run.console, "writing voice 3"));
    ASSERT_FALSE(statements(run.score).empty());
    EXPECT_EQ(statements(run.score).back()[3], "1");  // only voice 1 was written
    EXPECT_EQ(run.errors, "glissonscore: voice 2 of 3 not read: " + (coordinates.path() / "bg2e.txt").string() +
                              ": No such file or directory; the score holds voice 1\n");
}

TEST(BadInput, shortCoordinateFilesEndTheVoiceAtTheEndOfItsData) {
    TempFolder coordinates, scores;
    writeVoice(coordinates.path(), 1, {10}, {5}, {2});  // one sample: nothing to interpolate towards
    writeRamp(coordinates.path(), 2, 3, 10, 1, 5, 1, 2, 0.1);
    RunResult run = runProgram(Program::glisson, denseGlisson(2),
                               coordinates.path(), scores.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    EXPECT_TRUE(contains(run.console, "writing voice 1 \n" + endOfData + "writing voice 2 \n" + endOfData));
    // Voice 2's three samples give two grains (read positions 0 and 1).
    EXPECT_EQ(statements(run.score).size(), 2u);
    EXPECT_TRUE(contains(run.console, completion));
    // Read positions up to 1 s / 0.05 s = 20 interpolate up to sample 21.
    EXPECT_EQ(run.errors, "glissonscore: voice 1 ended at 0 s of 1 s: its files hold 1 samples of 0.05 s, and 1 s "
                          "take 21\nglissonscore: voice 2 ended at 0.1 s of 1 s: its files hold 3 samples of 0.05 s, "
                          "and 1 s take 21\n");
}

TEST(BadInput, anIncompleteScoreIsFinishedThenEachMissingOrShortVoiceIsNamedAndTheStatusIsThree) {
    // Voice 1 is whole, voice 2 has three samples, voice 3 lacks its
    // elevation file; four streams are asked for.
    struct Case {
        Program program;
        std::string answers;
        std::string shortVoice;  // the line of voice 2, after the program's name
    };
    const Case cases[] = {
        {Program::glisson, denseGlisson(4),
         "voice 2 ended at 0.1 s of 1 s: its files hold 3 samples of 0.05 s, and 1 s take 21"},
        {Program::granule, "3 0.05 1 0 1 4 0\nx.wav\n1\n",
         "voice 2 ended at 0.1 s of 1 s: its files hold 3 samples of 0.05 s, and 1 s take 21"},
        // Four partials: grains of 1 / k seconds read samples 0.25 s apart.
        {Program::additive, "20 1 1 1 0 4 0\n",
         "voice 2 ended at 0.5 s of 1 s: its files hold 3 samples of 0.25 s, and 1 s take 5"},
    };
    for (const Case& c : cases) {
        TempFolder coordinates, scores;
        writeRamp(coordinates.path(), 1, 50, 10, 1, 5, 1, 2, 0.1);
        writeRamp(coordinates.path(), 2, 3, 10, 1, 5, 1, 2, 0.1);
        writeRamp(coordinates.path(), 3, 50, 10, 1, 5, 1, 2, 0.1);
        std::filesystem::remove(coordinates.path() / "bg3e.txt");
        // Console and errors in one stream, as a terminal shows them.
        std::istringstream input(c.answers);
        std::ostringstream both;
        int status = 0;
        switch (c.program) {
            case Program::glisson: status = runGlissonScore(input, both, coordinates.path(), scores.path(), both); break;
            case Program::granule: status = runGranuleScore(input, both, coordinates.path(), scores.path(), both); break;
            case Program::additive:
                status = runAdditiveScore(input, both, coordinates.path(), scores.path(), both);
                break;
        }
        const std::string name = programName(c.program);
        const std::string problems = name + ": " + c.shortVoice + "\n" + name + ": voice 3 of 4 not read: " +
                                     (coordinates.path() / "bg3e.txt").string() +
                                     ": No such file or directory; the score holds voices 1 to 2\n";
        EXPECT_EQ(status, incompleteScoreStatus) << name;
        EXPECT_TRUE(both.str().ends_with(std::string("Score file created and written to ") +
                                         (c.program == Program::glisson   ? "VelaRookglisson.sco"
                                          : c.program == Program::granule ? "VelaRookgranule.sco"
                                                                          : "VelaRookadditive.sco") +
                                         "\n\n" + problems))
            << both.str();
        EXPECT_TRUE(readText(scores.path() / scoreFileName(c.program)).ends_with("\ne\n")) << name;
    }
}

TEST(BadInput, aMalformedCoordinateFileIsReadUpToItsFirstBadValueWithAWarning) {
    TempFolder coordinates, scores;
    writeText(coordinates.path() / "bg1a.txt", "10\n11\n12\n13\n");
    writeText(coordinates.path() / "bg1e.txt", "5\n6\n7,5\n8\n");
    writeText(coordinates.path() / "bg1d.txt", "2\n2.1\n2.2\n2.3\n");
    RunResult run = runProgram(Program::glisson, denseGlisson(1), coordinates.path(), scores.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    // "7,5" is read as 7, then ",5" is no number: the fourth value.
    EXPECT_TRUE(contains(run.console, "writing voice 1 \nWarning: value 4 of " +
                                          (coordinates.path() / "bg1e.txt").string() +
                                          " is missing or not a number; voice 1 uses its first 3 samples\n"));
    EXPECT_EQ(statements(run.score).size(), 2u);

    // A shorter azimuth file names that file.
    writeText(coordinates.path() / "bg1a.txt", "10\n");
    writeText(coordinates.path() / "bg1e.txt", "5\n6\n7\n8\n");
    run = runProgram(Program::glisson, denseGlisson(1), coordinates.path(), scores.path());
    EXPECT_TRUE(contains(run.console, "Warning: value 2 of " + (coordinates.path() / "bg1a.txt").string() +
                                          " is missing or not a number; voice 1 uses its first 1 samples\n" +
                                          endOfData));
    EXPECT_TRUE(statements(run.score).empty());
    EXPECT_EQ(run.status, incompleteScoreStatus);
}

TEST(BadInput, aScoreThatCannotBeCreatedIsNamedWithTheReason) {
    TempFolder coordinates, scores;
    writeRamp(coordinates.path(), 1, 50, 10, 1, 5, 1, 2, 0.1);
    const auto missing = scores.path() / "no-such-folder";
    RunResult run = runProgram(Program::glisson, glissonAnswers, coordinates.path(), missing);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "glissonscore: cannot create the score file " +
                              (missing / "VELAROOKglisson.sco").string() + ": No such file or directory\n");
    EXPECT_FALSE(contains(run.console, "Score file created"));
    EXPECT_FALSE(contains(run.console, "writing voice"));  // refused before any voice

    // A folder where the score file should be.
    std::filesystem::create_directory(scores.path() / "VELAROOKgranule.sco");
    run = runProgram(Program::granule, "3 0.05 1 1 1 1 1\nsound.wav\n1\n", coordinates.path(), scores.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "granulescore: cannot create the score file " +
                              (scores.path() / "VELAROOKgranule.sco").string() + ": Is a directory\n");
    EXPECT_TRUE(std::filesystem::is_directory(scores.path() / "VELAROOKgranule.sco"));
}

TEST(BadInput, aWriteThatFailsPartWayKeepsTheEarlierScoreAndLeavesNoTemporaryFile) {
    struct Case {
        Program program;
        std::string answers;  // each gives a score of several hundred kilobytes
    };
    const Case cases[] = {
        {Program::glisson, "1 100 10000 3 3 0.001 1 0 2 1 0\n"},
        {Program::granule, "3 0.001 1 0 2 1 0\nsound.wav\n1\n"},
        {Program::additive, "100 3 100 1 0 20 1\n"},
    };
    TempFolder coordinates;
    for (int voice = 1; voice <= 20; ++voice) writeRamp(coordinates.path(), voice, 2100, -170, 0.03, -80, 0.013, 1, 0.001);
    for (const Case& c : cases) {
        TempFolder scores, transcript;
        const auto scorePath = scores.path() / scoreFileName(c.program);
        const std::string earlier = "f1 0 16384 10 1\n; edited by hand\ni1 0 1 1\ne\n";
        writeText(scorePath, earlier);
        FailedWrite run = runWithFileSizeLimit(c.program, c.answers, coordinates.path(), scores.path(),
                                               transcript.path(), 64 * 1024);
        EXPECT_EQ(run.status, 1) << c.answers;
        EXPECT_EQ(run.errors, std::string(programName(c.program)) + ": cannot write the score file " +
                                  scorePath.string() + ": File too large\n");
        EXPECT_FALSE(contains(run.console, "Score file created"));
        EXPECT_EQ(readText(scorePath), earlier) << "the earlier score, byte for byte";
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(scores.path()))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{scoreFileName(c.program)}) << "no temporary file is left";
    }
    // Without the bound the same run replaces the earlier score whole.
    TempFolder scores;
    writeText(scores.path() / "VELAROOKglisson.sco", "edited by hand\n");
    RunResult whole = runProgram(Program::glisson, cases[0].answers, coordinates.path(), scores.path());
    EXPECT_EQ(whole.status, 0);
    EXPECT_GT(whole.score.size(), 200000u);
    EXPECT_EQ(whole.score.substr(whole.score.size() - 3), "\ne\n");
}
