// The command line of the three score programs: --help and --version answer
// and exit 0, anything else is refused with status 2, and no argument at all
// leaves the program to its dialogue.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "command_line.hpp"
#include "coordinate_files.hpp"
#include "score_writer.hpp"

namespace {

using grain::Program;

struct Answer {
    std::optional<int> status;
    std::string console, errors;
};

Answer answer(Program program, const std::vector<std::string>& arguments) {
    std::ostringstream console, errors;
    Answer a;
    std::filesystem::path answersFile;
    a.status = grain::answerCommandLine(program, arguments, console, errors, answersFile);
    a.console = console.str();
    a.errors = errors.str();
    return a;
}

const Program programs[] = {Program::glisson, Program::granule, Program::additive};

TEST(CommandLine, HelpNamesTheCoordinateFolderTheScoreAndTheOrchestra) {
    const char* orchestras[] = {"VelaRookglisson.orc", "VelaRookgranule.orc", "VelaRookadditive.orc"};
    for (int i = 0; i < 3; ++i) {
        Answer a = answer(programs[i], {"--help"});
        std::string name = grain::programName(programs[i]);
        EXPECT_EQ(a.status, 0) << name;
        EXPECT_EQ(a.errors, "") << name;
        for (const std::string& text : {"Usage: " + name, grain::fixedCoordinateFolder().string(),
                                        std::string(grain::scoreFileName(programs[i])) + " in the current directory",
                                        std::string(orchestras[i]), std::string("--version")})
            EXPECT_NE(a.console.find(text), std::string::npos) << name << " lacks: " << text;
    }
    // Each program tells its own questions.
    EXPECT_NE(answer(Program::glisson, {"--help"}).console.find("frequency mapping"), std::string::npos);
    EXPECT_NE(answer(Program::granule, {"--help"}).console.find("sound file"), std::string::npos);
    EXPECT_NE(answer(Program::additive, {"--help"}).console.find("fundamental"), std::string::npos);
    // And what its exit status says of the score.
    for (Program program : {Program::glisson, Program::granule, Program::additive})
        EXPECT_NE(answer(program, {"--help"}).console.find("3 when it was written\nbut a voice is missing or cut short"),
                  std::string::npos);
}

TEST(CommandLine, VersionIsOneLineWithTheName) {
    for (Program program : programs) {
        Answer a = answer(program, {"--version"});
        EXPECT_EQ(a.status, 0);
        EXPECT_TRUE(std::regex_match(a.console, std::regex(std::string(grain::programName(program)) +
                                                           " [0-9]+\\.[0-9]+\\.[0-9]+\n")))
            << a.console;
        EXPECT_EQ(a.errors, "");
    }
}

TEST(CommandLine, AnyOtherArgumentIsRefusedInOneLineNamingIt) {
    const std::vector<std::vector<std::string>> refused = {
        {"-h"}, {"--helps"}, {"answers.txt"}, {""}, {"--help", "extra"}, {"--version", "--help"}};
    for (const auto& arguments : refused) {
        Answer a = answer(Program::granule, arguments);
        const std::string& named = arguments.size() > 1 ? arguments[1] : arguments[0];
        EXPECT_EQ(a.status, 2) << named;
        EXPECT_EQ(a.console, "") << named;
        EXPECT_EQ(a.errors, "granulescore: unknown argument '" + named + "'; try 'granulescore --help'\n");
    }
}

TEST(CommandLine, AnswersNamesTheFileTheDialogueReadsAndNeedsOne) {
    std::ostringstream console, errors;
    std::filesystem::path file;
    EXPECT_FALSE(grain::answerCommandLine(Program::additive, {"--answers", "my.answers"}, console, errors, file));
    EXPECT_EQ(file, "my.answers");
    EXPECT_EQ(console.str() + errors.str(), "");
    EXPECT_EQ(grain::answerCommandLine(Program::additive, {"--answers"}, console, errors, file), 2);
    EXPECT_EQ(grain::answerCommandLine(Program::additive, {"--answers", "a", "b"}, console, errors, file), 2);
    EXPECT_EQ(file, "");
    EXPECT_EQ(errors.str(),
              "additivescore: --answers needs the name of an answers file; try 'additivescore --help'\n"
              "additivescore: unknown argument 'b'; try 'additivescore --help'\n");
    EXPECT_NE(answer(Program::glisson, {"--help"}).console.find("--answers FILE"), std::string::npos);
}

TEST(CommandLine, NoArgumentLeavesTheDialogueToRun) {
    for (Program program : programs) {
        Answer a = answer(program, {});
        EXPECT_FALSE(a.status.has_value());
        EXPECT_EQ(a.console + a.errors, "");
    }
}

}  // namespace
