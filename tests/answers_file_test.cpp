// The answers a run keeps beside its score (<program>.answers) and runs that
// take them back with --answers: the same score byte for byte, a transcript
// that shows every answer after its question, one changed answer acting as
// that answer typed, and files that say too little or too much refused.
#include <gtest/gtest.h>

#include <regex>

#include "answers_file.hpp"
#include "program_run.hpp"
#include "test_support.hpp"

using namespace grain;
using namespace grain::testing;

namespace {

const std::filesystem::path examples = std::filesystem::path(GRAIN_TEST_DATA) / ".." / ".." / "examples";

void writeTwoVoices(const std::filesystem::path& folder) {
    writeRamp(folder, 1, 400, -170, 1.5, -40, 0.25, 1, 0.01);
    writeRamp(folder, 2, 400, 20, -0.75, 10, -0.1, 3, -0.005);
}

// Typed as a composer might: several answers on one line, tabs, and in
// glissonscore a menu answer that is asked again. {T} is the total duration.
struct Typed {
    Program program;
    std::string answers;
    std::string lastQuestion;  // what a file without its last answer lacks
};
const Typed typedRuns[] = {
    {Program::glisson, "7\n1   100\t10000 3\n2 0.1 0.2\t0.2 0.1 0.1\n1\n1\n{T}\t2 1\n", "the reverb"},
    {Program::granule, "1 0.05\t0.1\n0 0 0.5 1 0.5 0\n{T}  2 1\nmy file.wav\n0.5\n", "the grain playback speed"},
    {Program::additive, "100 3\t{T}\n0 0 0.5 1 0.5 0 2\n1\n", "the reverb"},
};

std::string withTotal(std::string answers, const std::string& total) {
    return answers.replace(answers.find("{T}"), 3, total);
}

// The answers' texts in the file, in order: every line that is neither blank
// nor a comment, up to its comment.
std::vector<std::string> answersIn(const std::string& file) {
    std::vector<std::string> answers;
    std::istringstream lines(file);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::smatch answer;
        answers.push_back(std::regex_match(line, answer, std::regex("(.*?) +#.*")) ? answer[1].str() : line);
    }
    return answers;
}

// Whether shown is typed with each answer, and a line end, inserted where
// the program waited for it, in order.
bool showsEachAnswerAfterItsQuestion(const std::string& typed, const std::string& shown,
                                     const std::vector<std::string>& answers) {
    std::size_t i = 0, j = 0, k = 0;
    while (i < shown.size()) {
        const std::string echo = k < answers.size() ? answers[k] + "\n" : "";
        if (!echo.empty() && shown.compare(i, echo.size(), echo) == 0 && typed.compare(j, echo.size(), echo) != 0) {
            i += echo.size();
            ++k;
        } else if (j < typed.size() && shown[i] == typed[j]) {
            ++i;
            ++j;
        } else {
            return false;
        }
    }
    return j == typed.size() && k == answers.size();
}

TEST(AnswersFile, aTypedRunKeepsItsAnswersAndTheFileGivesTheSameScoreShowingEveryAnswer) {
    TempFolder coordinates;
    writeTwoVoices(coordinates.path());
    for (const Typed& t : typedRuns) {
        const std::string name = programName(t.program);
        TempFolder typedFolder, fileFolder, changedFolder, typedChangedFolder, shortFolder;
        RunResult typed = runProgram(t.program, withTotal(t.answers, "2"), coordinates.path(), typedFolder.path());
        ASSERT_EQ(typed.status, 0) << name << typed.errors;
        const auto kept = typedFolder.path() / answersFileName(t.program);
        const std::string file = readText(kept);
        ASSERT_FALSE(file.empty()) << name;
        const std::vector<std::string> answers = answersIn(file);
        // Every answer has a comment naming its question; the 7 asked again is not kept.
        EXPECT_EQ(answers.front(), t.program == Program::additive ? "100" : "1") << file;
        EXPECT_TRUE(std::regex_search(file, std::regex("\n2 +# total duration, s\n"))) << file;

        RunResult again = runProgram(t.program, "", coordinates.path(), fileFolder.path(), kept);
        EXPECT_EQ(again.status, 0) << name << again.errors;
        EXPECT_EQ(again.score, typed.score) << name;
        EXPECT_EQ(readText(fileFolder.path() / answersFileName(t.program)), file) << name;
        // The transcript is that of the kept answers typed one a line, each
        // answer shown after its question.
        std::string oneALine;
        for (const std::string& answer : answers) oneALine += answer + "\n";
        TempFolder plainFolder;
        RunResult plain = runProgram(t.program, oneALine, coordinates.path(), plainFolder.path());
        EXPECT_EQ(plain.score, typed.score) << name;
        EXPECT_TRUE(showsEachAnswerAfterItsQuestion(plain.console, again.console, answers)) << again.console;

        // One answer changed in the file acts as that answer typed.
        const auto changed = changedFolder.path() / "changed.answers";
        writeText(changed, std::regex_replace(file, std::regex("\n2( +# total duration)"), "\n3$1"));
        RunResult fromChanged = runProgram(t.program, "", coordinates.path(), changedFolder.path(), changed);
        RunResult typedChanged =
            runProgram(t.program, withTotal(t.answers, "3"), coordinates.path(), typedChangedFolder.path());
        EXPECT_EQ(fromChanged.status, typedChanged.status) << name << fromChanged.errors;
        EXPECT_EQ(fromChanged.errors, typedChanged.errors) << name;
        EXPECT_EQ(fromChanged.score, typedChanged.score) << name;
        EXPECT_NE(fromChanged.score, typed.score) << name;

        // Without its last answer the file is a short dialogue: no score, no answers kept.
        const auto cut = shortFolder.path() / "cut.answers";
        writeText(cut, file.substr(0, file.rfind("\n" + answers.back()) + 1));
        RunResult refused = runProgram(t.program, "", coordinates.path(), shortFolder.path(), cut);
        EXPECT_EQ(refused.status, 1) << name;
        EXPECT_EQ(refused.errors, name + ": no score written: the answers file ended before the answer for " +
                                      t.lastQuestion + "\n");
        EXPECT_FALSE(refused.scoreExists) << name;
        EXPECT_FALSE(std::filesystem::exists(shortFolder.path() / answersFileName(t.program))) << name;
    }
}

TEST(AnswersFile, theBundledExamplesGiveTheDemosScoresAndAreWhatARunKeeps) {
    // The demo's answers as they were piped before the files had comments.
    const std::map<Program, std::string> piped = {
        {Program::glisson, "1\n100\n10000\n3\n3\n0.05\n1\n1\n10\n4\n1\n"},
        {Program::granule, "1\n0.05\n0.15\n1\n0.5\n10\n4\n1\ntestsound.wav\n1\n"},
        {Program::additive, "100\n1\n10\n1\n0\n20\n1\n"},
    };
    TempFolder coordinates;
    writeTwoVoices(coordinates.path());
    for (const auto& [program, answers] : piped) {
        TempFolder pipedFolder, fileFolder;
        const auto example = examples / answersFileName(program);
        RunResult before = runProgram(program, answers, coordinates.path(), pipedFolder.path());
        RunResult now = runProgram(program, "", coordinates.path(), fileFolder.path(), example);
        EXPECT_EQ(now.status, before.status) << now.errors;
        EXPECT_TRUE(before.scoreExists);
        EXPECT_EQ(now.score, before.score) << example;
        EXPECT_EQ(readText(pipedFolder.path() / answersFileName(program)), readText(example)) << example;
    }
}

TEST(AnswersFile, aFileWithAnswersLeftOverOrARefusedScoreWritesNothingAndLeavesEarlierAnswers) {
    TempFolder coordinates, scores;
    writeTwoVoices(coordinates.path());
    struct Case {
        Program program;
        std::string file;
        std::string error;
    };
    const std::vector<Case> cases = {
        // The dynamic density's values left behind when its answer became 1:
        // the rest shifts onto the wrong questions and is refused.
        {Program::glisson, "1 # mapping\n100\n10000\n3\n3\n0.1\n1 # was 0\n1\n1\n2\n2\n\n# the old values\n1 2 2 1\n",
         "glissonscore: no score written: the answers file {F} holds more answers than the dialogue asked for, "
         "from line 14 (\"1\"); a changed menu answer asks fewer questions: remove the answers it no longer "
         "asks\n"},
        // A minimum grain duration of 0 gives no score, and no answers file either.
        {Program::granule, "3\n0\n1\n1\n2\n2\n1\n# name\nx.wav\n1\n",
         "granulescore: no score written: the minimum grain duration 0.000000 is not a positive number of "
         "seconds\n"},
        {Program::additive, "100 1 # the next answer is not a number\n2 # seconds\nslow\n",
         "additivescore: no score written: the answer \"slow\" for the density is not a number\n"},
    };
    for (const Case& c : cases) {
        const auto file = scores.path() / "my.answers", kept = scores.path() / answersFileName(c.program);
        writeText(file, c.file);
        writeText(kept, "# an earlier run's\n");
        RunResult run = runProgram(c.program, "", coordinates.path(), scores.path(), file);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errors, std::regex_replace(c.error, std::regex("\\{F\\}"), file.string()));
        EXPECT_FALSE(run.scoreExists);
        EXPECT_EQ(readText(kept), "# an earlier run's\n") << "an earlier answers file stays as it was";
        std::filesystem::remove(kept);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scores.path()), {}), 1) << "no temporary file is left";
    // The score and its answers are placed together: answers that cannot
    // take their place (a folder stands there) leave no score either.
    TempFolder blocked;
    std::filesystem::create_directory(blocked.path() / "glissonscore.answers");
    RunResult both = runProgram(Program::glisson, "1 100 10000 3 3 0.05 1 1 1 1 0\n", coordinates.path(), blocked.path());
    EXPECT_EQ(both.status, 1);
    EXPECT_FALSE(both.scoreExists);
    EXPECT_NE(both.errors.find("cannot replace " + (blocked.path() / "glissonscore.answers").string()), std::string::npos)
        << both.errors;
    RunResult missing = runProgram(Program::glisson, "", coordinates.path(), scores.path(), scores.path() / "none");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.errors, "glissonscore: no score written: cannot read the answers file " +
                                  (scores.path() / "none").string() + ": No such file or directory\n");
}

}  // namespace
