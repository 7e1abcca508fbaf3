#include "dialogue.hpp"

#include <cmath>

#include "real_format.hpp"

namespace grain {

namespace {

constexpr const char* menuPrompt = "Please type 1, 2 or 3 and hit return.....";

// Reads a menu answer, asking again until it is 1, 2 or 3.
int readMenuAnswer(AnswerReader& reader, std::string_view question, std::string_view choices) {
    for (;;) {
        int answer = readInteger(reader, question, choices);
        if (answer >= 1 && answer <= 3) return answer;
        forgetLastAnswer(reader);
        print(reader, "Only 1, 2 or 3 can be chosen here.\n");
        print(reader, menuPrompt);
    }
}

void askOpening(AnswerReader& reader, Program program) {
    print(reader, std::string("This program produces a score file for the Csound instrument, \n") +
                      orchestraFileName(program) + "\n\n");
    print(reader, "Please ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n");
}

// The smallest of the five grain durations, scanned as a running minimum.
float smallestGrainDuration(const std::array<float, 5>& points) {
    float m = points[0] < points[1] ? points[0] : points[1];
    for (std::size_t i = 2; i < 5; ++i)
        if (points[i] < m) m = points[i];
    return m;
}

// Asks the five values of an envelope over the piece: at its start, a
// quarter, half and three quarters of the total duration, and its end. The
// grain durations' dialogue passes over one character before the last value.
void askEnvelopePoints(AnswerReader& reader, std::array<float, 5>& points, const std::string& what,
                       const std::string& unit, const std::string& shortUnit, bool discardBeforeEnd) {
    print(reader, "Enter the initial " + what + unit + "\n");
    points[0] = readReal(reader, "the initial " + what, shortUnit);
    const char* const fractions[] = {"1/4", "1/2", "3/4"};
    const char* const articles[] = {"a ", "the ", "the "};
    for (int k = 0; k < 3; ++k) {
        print(reader, "Enter the " + what + " at " + articles[k] + fractions[k] + " of the total duration.\n");
        points[static_cast<std::size_t>(k) + 1] =
            readReal(reader, "the " + what + " at " + fractions[k], " of the total duration" + shortUnit);
    }
    if (discardBeforeEnd) discardCharacter(reader);
    print(reader, "Enter the " + what + " at the end of the file.\n");
    points[4] = readReal(reader, "the " + what + " at the end", " of the total duration" + shortUnit);
}

void askGrainDurations(AnswerReader& reader, RunParameters& p) {
    print(reader,
          "1. Grain duration randomly chosen between a given maximum and mimimum.\n"
          "2. Single grain duration for all streams, dynamically varying.\n"
          "3. Single grain duration for all streams, fixed value.\n");
    print(reader, menuPrompt);
    p.grainDurMode = readMenuAnswer(reader, "the grain duration menu",
                                    ": 1 random between min and max, 2 varying, 3 fixed");
    auto& points = p.grainDurPoints;
    switch (p.grainDurMode) {
        case 1:
            print(reader, "Please enter the min grain duration in seconds\n");
            p.minGrainDur = readReal(reader, "the min grain duration", ", s");
            print(reader, "Please enter the max grain duration in seconds\n");
            p.maxGrainDur = readReal(reader, "the max grain duration", ", s");
            break;
        case 2:
            askEnvelopePoints(reader, points, "grain duration", " in seconds", ", s", true);
            p.minGrainDur = smallestGrainDuration(points);
            print(reader, "min grain dur is " + formatReal(p.minGrainDur) + "\n\n");
            break;
        case 3:
            print(reader, "Enter the grain duration in seconds\n");
            points[0] = readReal(reader, "the grain duration", ", s");
            p.minGrainDur = points[0];
            break;
    }
}

void askDensity(AnswerReader& reader, RunParameters& p) {
    print(reader, "Type 1 for a constant density or 0 to specify a dynamic density control\n");
    p.densityMode = readInteger(reader, "the density", ": 1 constant, 0 dynamic");
}

void askIntergrain(AnswerReader& reader, RunParameters& p) {
    auto& points = p.intergrainPoints;
    if (p.densityMode != 0) {
        print(reader, "Enter the intergrain value\n");
        points[0] = readReal(reader, "the intergrain value", ", grain durations of silence");
        return;
    }
    askEnvelopePoints(reader, points, "intergrain value", "", ", grain durations of silence", false);
}

void askReverb(AnswerReader& reader, RunParameters& p) {
    print(reader, "Type 1 to turn on global reverb, type 0 to turn it off\n");
    p.reverb = readInteger(reader, "the reverb", ": 1 on, 0 off");
}

void askHarmonics(AnswerReader& reader, RunParameters& p) {
    print(reader,
          "\n\nPlease enter the number of harmonics in the source signal\n"
          "1 = a single sine wave per grain stream, 3 = 3 sine waves at harmonic intervals\n");
    p.harmonics = readInteger(reader, "the number of harmonics", " of the sine table");
}

void askSpatialIntroduction(AnswerReader& reader) {
    print(reader,
          "This instrument granulates a mono sound file into multiple grain streams.\n"
          "The grain duration and density are dynamically controllable.\n"
          "In addition, each grain stream is spatialized using the MAX MSP \nimplementation of Boids\n\n");
}

// The questions that glissonscore and granulescore share after the grain
// durations: density, intergrain values, total duration, streams, reverb.
void askStreamSettings(AnswerReader& reader, RunParameters& p) {
    askDensity(reader, p);
    print(reader,
          "The intergrain duration is specified in multiples of the grain duration\n"
          "0 = max. density, 1 = one grain duration of silence between each grain\n");
    askIntergrain(reader, p);
    print(reader, "Please enter the total duration in seconds\n");
    p.totalDuration = readReal(reader, "the total duration", ", s");
    print(reader, "Please enter the total no of grain streams\n");
    p.streams = readReal(reader, "the number of grain streams", " (voices)");
    print(reader, "Ensure that the spatial sampling interval in MAX MSP\nequals the minimum grain duration \n\n");
    askReverb(reader, p);
    discardCharacter(reader);
}

void runGlissonDialogue(AnswerReader& reader, RunParameters& p) {
    askSpatialIntroduction(reader);
    print(reader,
          "1. Frequency linearly mapped to Elevation(-90deg to 90deg).\n"
          "2. Ocataves linearly mapped to Elevation(-90deg to 90deg).\n"
          "3. Start freq mapped to Elevation(-90deg to 90deg) with \n   harmonically related end freq.\n");
    print(reader, menuPrompt);
    p.frequencyMode = readMenuAnswer(reader, "the frequency mapping menu",
                                     ": 1 linear, 2 octaves, 3 harmonic end frequency");
    print(reader, "\n\nPlease enter the lowest frequency in Hertz. Eg. 100\n");
    p.lowFrequency = readReal(reader, "the lowest frequency", ", Hz");
    print(reader, "\n\nPlease enter the highest frequency in Hertz. Eg. 10000\n");
    p.highFrequency = readReal(reader, "the highest frequency", ", Hz");
    askHarmonics(reader, p);
    askGrainDurations(reader, p);
    askStreamSettings(reader, p);
}

void runGranuleDialogue(AnswerReader& reader, RunParameters& p) {
    askSpatialIntroduction(reader);
    askGrainDurations(reader, p);
    askStreamSettings(reader, p);
    print(reader, "Enter the filename to be granulated. Eg. myfile.wav\n");
    p.soundFile = readLine(reader, "the sound file name", ", mono, the whole next line");
    print(reader, "Please enter the grain playback speed (1=normal, 0.5=half speed, 2=double speed, etc\n");
    p.playSpeed = readReal(reader, "the grain playback speed", ": 1 normal, 0.5 half, 2 double");
    discardCharacter(reader);
}

void runAdditiveDialogue(AnswerReader& reader, RunParameters& p) {
    print(reader,
          "Grainlet synthesis linkss the grain duration to the frequency of \nthe source signal.\n"
          "In this additive synthesis approach, each grain stream also \ncorresponds to a single partial\n"
          "Hence, the source signal for each grain stream is a sine tone\n"
          "at integer multiples of a specifiec fundamental frequency.\n"
          "In addition, each grain stream is spatialized using the MAX MSP \nimplementation of Boids\n");
    print(reader, "\n\nPlease enter the fundamenal frequency in Hertz. Eg. 100\n");
    p.fundamental = readReal(reader, "the fundamental frequency", ", Hz");
    askHarmonics(reader, p);
    print(reader, "Please enter the total duration in seconds\n");
    p.totalDuration = readReal(reader, "the total duration", ", s");
    print(reader,
          "The intergrain duration is specified as multiples of the grain duration\n"
          "This controls the density, 0 produces the densest possible tone,\n"
          "1 introduces one grain of silence between each grain, etc.\n\n");
    askDensity(reader, p);
    askIntergrain(reader, p);
    print(reader, "Please enter the total no of grain streams\n\tThis corresponds to the number of partials.\n");
    p.streams = readReal(reader, "the number of grain streams", " (partials)");
    // The grainlet duration of the highest partial: the time between two
    // trajectory samples. The message shows it before rounding to float.
    double minimum = p.fundamental * (1.0 / (static_cast<double>(p.streams) * p.fundamental));
    p.minGrainDur = static_cast<float>(minimum);
    print(reader, "\nThe minimum grain duration will be " + formatReal(minimum) + "\n");
    print(reader, "Ensure that this equals the spatial sampling interval in MAX MSP.\n\n\n");
    askReverb(reader, p);
}

bool positiveFinite(float value) { return value > 0.0f && std::isfinite(value); }

}  // namespace

RunParameters runDialogue(Program program, AnswerReader& reader) {
    RunParameters parameters;
    askOpening(reader, program);
    switch (program) {
        case Program::glisson: runGlissonDialogue(reader, parameters); break;
        case Program::granule: runGranuleDialogue(reader, parameters); break;
        case Program::additive: runAdditiveDialogue(reader, parameters); break;
    }
    reader.console.flush();
    return parameters;
}

Outcome<> answersUsable(Program program, const RunParameters& p) {
    if (positiveFinite(p.minGrainDur)) return {};
    if (program == Program::additive)
        return because("the fundamental " + formatReal(p.fundamental) + " with " + formatReal(p.streams) +
                       " grain streams gives no positive minimum grain duration (fundamental x (1 / (streams x "
                       "fundamental)) seconds)");
    return because("the minimum grain duration " + formatReal(p.minGrainDur) + " is not a positive number of seconds");
}

}  // namespace grain
