// Whole runs of the three dialogues with no coordinate files: every prompt,
// the derived minimum grain duration, the refusals, and the score that a run
// without voices still writes.
#include <gtest/gtest.h>

#include "program_run.hpp"
#include "test_support.hpp"

using namespace grain;
using namespace grain::testing;

namespace {

// The console texts, written out as the composer sees them.
const std::string boidsFolder =
    "Please ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n";
const std::string glissonOpening =
    "This program produces a score file for the Csound instrument, \nVelaRookglisson.orc\n\n" + boidsFolder;
const std::string granuleOpening =
    "This program produces a score file for the Csound instrument, \nVelaRookgranule.orc\n\n" + boidsFolder;
const std::string additiveOpening =
    "This program produces a score file for the Csound instrument, \nVelaRookadditive.orc\n\n" + boidsFolder;
const std::string spatialLines =
    "This instrument granulates a mono sound file into multiple grain streams.\n"
    "The grain duration and density are dynamically controllable.\n"
    "In addition, each grain stream is spatialized using the MAX MSP \nimplementation of Boids\n\n";
const std::string menuPrompt = "Please type 1, 2 or 3 and hit return.....";
const std::string frequencyQuestions =
    "1. Frequency linearly mapped to Elevation(-90deg to 90deg).\n"
    "2. Ocataves linearly mapped to Elevation(-90deg to 90deg).\n"
    "3. Start freq mapped to Elevation(-90deg to 90deg) with \n   harmonically related end freq.\n" +
    menuPrompt +
    "\n\nPlease enter the lowest frequency in Hertz. Eg. 100\n"
    "\n\nPlease enter the highest frequency in Hertz. Eg. 10000\n";
const std::string harmonicsQuestion =
    "\n\nPlease enter the number of harmonics in the source signal\n"
    "1 = a single sine wave per grain stream, 3 = 3 sine waves at harmonic intervals\n";
const std::string grainDurationMenu =
    "1. Grain duration randomly chosen between a given maximum and mimimum.\n"
    "2. Single grain duration for all streams, dynamically varying.\n"
    "3. Single grain duration for all streams, fixed value.\n" +
    menuPrompt;
const std::string mode1Questions =
    "Please enter the min grain duration in seconds\nPlease enter the max grain duration in seconds\n";
const std::string mode2Questions =
    "Enter the initial grain duration in seconds\n"
    "Enter the grain duration at a 1/4 of the total duration.\n"
    "Enter the grain duration at the 1/2 of the total duration.\n"
    "Enter the grain duration at the 3/4 of the total duration.\n"
    "Enter the grain duration at the end of the file.\n";
const std::string mode3Question = "Enter the grain duration in seconds\n";
const std::string densityQuestion = "Type 1 for a constant density or 0 to specify a dynamic density control\n";
const std::string intergrainLines =
    "The intergrain duration is specified in multiples of the grain duration\n"
    "0 = max. density, 1 = one grain duration of silence between each grain\n";
const std::string oneIntergrain = "Enter the intergrain value\n";
const std::string fiveIntergrains =
    "Enter the initial intergrain value\n"
    "Enter the intergrain value at a 1/4 of the total duration.\n"
    "Enter the intergrain value at the 1/2 of the total duration.\n"
    "Enter the intergrain value at the 3/4 of the total duration.\n"
    "Enter the intergrain value at the end of the file.\n";
const std::string durationAndStreams =
    "Please enter the total duration in seconds\nPlease enter the total no of grain streams\n"
    "Ensure that the spatial sampling interval in MAX MSP\nequals the minimum grain duration \n\n";
const std::string reverbQuestion = "Type 1 to turn on global reverb, type 0 to turn it off\n";
const std::string missingVoice1 =
    "writing voice 1 \nProgram quitting due to missing Boids input files!\n" + boidsFolder;

const std::string sineTables3 =
    ";Table 1 6 simple sine wave harmonics (using GEN10).\n"
    "f1 0 16384 10 1 1 1 \nf2 0 16385 20 7 1 2    ; grain envelope\n";
const std::string glissonColumns =
    "\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t "
    "Start Freq\t End Freq\n";
const std::string granuleColumns =
    "\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t "
    "File Play Pos\t Play Speed\n";
const std::string additiveColumns =
    "\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t "
    "Fundamental\n";

std::string completion(const char* name) {
    return std::string("\n\n\t\bScore file created and written to ") + name + "\n\n";
}

}  // namespace

TEST(Dialogue, glissonscoreAsksItsWholeScriptAndWritesAScoreWithoutVoices) {
    TempFolder folder;
    RunResult run = runProgram(Program::glisson, "1\n100\n10000\n3\n1\n0.02\n0.1\n1\n1\n30\n2\n1\n",
                               folder.path() / "none", folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files: a score without voices
    EXPECT_EQ(run.console, glissonOpening + spatialLines + frequencyQuestions + harmonicsQuestion +
                               grainDurationMenu + mode1Questions + densityQuestion + intergrainLines +
                               oneIntergrain + durationAndStreams + reverbQuestion + missingVoice1 +
                               completion("VelaRookglisson.sco"));
    EXPECT_EQ(run.score, sineTables3 + glissonColumns + "\ni99\t 0\t 30.000000\t\n" + "\ne\n");
    const auto none = folder.path() / "none";
    EXPECT_EQ(run.errors, "glissonscore: voice 1 of 2 not read: " + (none / "bg1a.txt").string() +
                              ": No such file or directory; " + (none / "bg1e.txt").string() +
                              ": No such file or directory; " + (none / "bg1d.txt").string() +
                              ": No such file or directory; the score holds no voice\n");
}

TEST(Dialogue, severalAnswersOnOneLineFillTheQuestionsInOrder) {
    TempFolder folder;
    RunResult run = runProgram(Program::glisson, "2 100 10000 0 2 0.05 0.02 0.08 0.02 0.1 0 0 1 2 3 4 10 1 0\n",
                               folder.path(), folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files: a score without voices
    EXPECT_EQ(run.console, glissonOpening + spatialLines + frequencyQuestions + harmonicsQuestion +
                               grainDurationMenu + mode2Questions + "min grain dur is 0.020000\n\n" +
                               densityQuestion + intergrainLines + fiveIntergrains + durationAndStreams +
                               reverbQuestion + missingVoice1 + completion("VelaRookglisson.sco"));
    EXPECT_EQ(run.score,
              ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 \n"
              "f2 0 16385 20 7 1 2    ; grain envelope\n" +
                  glissonColumns + "\ne\n");
}

TEST(Dialogue, modeTwoTakesTheRunningMinimumOfTheFiveDurations) {
    TempFolder folder;
    for (auto [durations, shown] : {std::pair{"0.3 0.3 0.3 0.3 0.3", "0.300000"},
                                    std::pair{"0.5 0.4 0.3 0.2 0.1", "0.100000"},
                                    std::pair{"0.1 0.2 0.3 0.4 0.5", "0.100000"},
                                    std::pair{"0.2 0.1 0.3 0.05 0.4", "0.050000"}}) {
        RunResult run = runProgram(Program::granule, std::string("2 ") + durations + " 1 1 1 0 0\nx.wav\n1\n",
                                   folder.path(), folder.path());
        EXPECT_NE(run.console.find(std::string("min grain dur is ") + shown + "\n\n"), std::string::npos)
            << durations;
    }
}

TEST(Dialogue, modeThreeAndAnyDensityButZeroAskOneValueEach) {
    TempFolder folder;
    RunResult run = runProgram(Program::glisson, "3\n0\n50\n1\n3\n0.05\n5\n1\n10\n1\n2\n", folder.path(),
                               folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files: a score without voices
    EXPECT_EQ(run.console, glissonOpening + spatialLines + frequencyQuestions + harmonicsQuestion +
                               grainDurationMenu + mode3Question + densityQuestion + intergrainLines +
                               oneIntergrain + durationAndStreams + reverbQuestion + missingVoice1 +
                               completion("VelaRookglisson.sco"));
    EXPECT_EQ(run.score,
              ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 1 \n"
              "f2 0 16385 20 7 1 2    ; grain envelope\n" +
                  glissonColumns + "\ne\n");
}

TEST(Dialogue, onlyAReverbAnswerOfExactlyOneWritesTheReverbStatement) {
    TempFolder folder;
    for (const char* reverb : {"0", "2", "-1", "1"}) {
        RunResult run = runProgram(Program::glisson, std::string("1 1 2 1 3 0.1 1 1 30 1 ") + reverb + "\n",
                                   folder.path(), folder.path());
        bool hasReverb = run.score.find("\ni99\t 0\t 30.000000\t\n\ne\n") != std::string::npos;
        EXPECT_EQ(hasReverb, std::string(reverb) == "1") << reverb;
        EXPECT_TRUE(run.score.ends_with("\ne\n"));
    }
}

TEST(Dialogue, granulescoreReadsTheSoundFileNameAsAWholeLine) {
    TempFolder folder;
    RunResult run = runProgram(Program::granule, "1\n0.02\n0.1\n1\n0\n4\n2\n1\nmy file.wav\n0.5\n", folder.path(),
                               folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files: a score without voices
    EXPECT_EQ(run.console, granuleOpening + spatialLines + grainDurationMenu + mode1Questions + densityQuestion +
                               intergrainLines + oneIntergrain + durationAndStreams + reverbQuestion +
                               "Enter the filename to be granulated. Eg. myfile.wav\n"
                               "Please enter the grain playback speed (1=normal, 0.5=half speed, 2=double speed, "
                               "etc\n" +
                               missingVoice1 + completion("VelaRookgranule.sco"));
    EXPECT_EQ(run.score, "f1 0 4194304 1 \"my file.wav\" 0 4 1\nf2 0 16385 20 7 1 2    ; grain envelope\n" +
                             granuleColumns + "\ni99\t 0\t 4.000000\t\n\ne\n");

    RunResult empty = runProgram(Program::granule, "3 0.1 1 1 4 2 0\n\n1\n", folder.path(), folder.path());
    EXPECT_EQ(empty.status, incompleteScoreStatus);
    EXPECT_TRUE(empty.score.starts_with("f1 0 4194304 1 \"\" 0 4 1\n"));

    RunResult windows = runProgram(Program::granule, "3\r\n0.1\r\n1\r\n1\r\n4\r\n2\r\n0\r\nmy file.wav\r\n1\r\n",
                                   folder.path(), folder.path());
    EXPECT_TRUE(windows.score.starts_with("f1 0 4194304 1 \"my file.wav\" 0 4 1\n")) << "CR LF answers";

    std::string longName(150, 'n');
    RunResult longer = runProgram(Program::granule, "3 0.1 1 1 4 2 0\n" + longName + "\n1", folder.path(),
                                  folder.path());
    EXPECT_TRUE(longer.score.starts_with("f1 0 4194304 1 \"" + longName + "\" 0 4 1\n")) << "kept whole";
}

TEST(Dialogue, additivescoreDerivesTheMinimumFromFundamentalAndStreams) {
    TempFolder folder;
    RunResult run = runProgram(Program::additive, "100\n3\n10\n1\n0.5\n8\n1", folder.path() / "none",
                               folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files: a score without voices
    EXPECT_EQ(run.console,
              additiveOpening +
                  "Grainlet synthesis linkss the grain duration to the frequency of \nthe source signal.\n"
                  "In this additive synthesis approach, each grain stream also \ncorresponds to a single partial\n"
                  "Hence, the source signal for each grain stream is a sine tone\n"
                  "at integer multiples of a specifiec fundamental frequency.\n"
                  "In addition, each grain stream is spatialized using the MAX MSP \nimplementation of Boids\n"
                  "\n\nPlease enter the fundamenal frequency in Hertz. Eg. 100\n" +
                  harmonicsQuestion + "Please enter the total duration in seconds\n" +
                  "The intergrain duration is specified as multiples of the grain duration\n"
                  "This controls the density, 0 produces the densest possible tone,\n"
                  "1 introduces one grain of silence between each grain, etc.\n\n" +
                  densityQuestion + oneIntergrain +
                  "Please enter the total no of grain streams\n\tThis corresponds to the number of partials.\n"
                  "\nThe minimum grain duration will be 0.125000\n"
                  "Ensure that this equals the spatial sampling interval in MAX MSP.\n\n\n" +
                  reverbQuestion + "writing voice 1 Program quitting due to missing Boids input files!\n" +
                  boidsFolder + completion("VelaRookadditive.sco"));
    // A constant intergrain value holds at every point of the piece.
    EXPECT_EQ(run.score,
              ";User data - fundamental 100.000000, igstart 0.500000, igmid1 0.500000, igmid1 0.500000, igmid1 "
              "0.500000, igend 0.500000, duration 10.000000, streams 8.000000 mingrain duration 0.125000\n" +
                  sineTables3 + additiveColumns + "\ni99\t 0\t 10.000000\t\n\ne\n");
}

TEST(Dialogue, additivescoreShowsTheMinimumBeforeRoundingAndStoresTheFloat) {
    TempFolder folder;
    RunResult run = runProgram(Program::additive, "100 0 2 0 0 0.25 0.5 0.75 1 3 0", folder.path(), folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files: a score without voices
    EXPECT_NE(run.console.find("\nThe minimum grain duration will be 0.333333\n"), std::string::npos);
    EXPECT_TRUE(run.score.starts_with(
        ";User data - fundamental 100.000000, igstart 0.000000, igmid1 0.250000, igmid1 0.500000, igmid1 "
        "0.750000, igend 1.000000, duration 2.000000, streams 3.000000 mingrain duration 0.333333\n"
        ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 \n"));
}

TEST(Dialogue, aCharacterToDiscardMayMeetTheEndOfTheInput) {
    TempFolder folder;
    // Mode 2 discards a character before its last question, and glissonscore
    // one after the reverb answer: answers piped from a file often end there.
    RunResult run = runProgram(Program::glisson, "1 100 10000 3 2 0.1 0.2 0.2 0.1 0.1 1 1 2 2 0", folder.path(),
                               folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);  // no coordinate files: a score without voices
    EXPECT_TRUE(run.scoreExists);
}

