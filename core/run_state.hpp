// What a run keeps from voice to voice: the one Trajectory that every voice
// refills, the random source, the point of the previous grain, and what the
// score lacks (voices missing or cut short). Also the start of a voice and the
// checks that end a voice which can no longer move on in time.
#pragma once

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "coordinate_files.hpp"
#include "random_source.hpp"
#include "run_parameters.hpp"
#include "score_writer.hpp"
#include "trajectory_sampling.hpp"

namespace grain {

struct RunState {
    std::ostream& console;
    std::filesystem::path coordinateFolder;
    std::unique_ptr<Trajectory> trajectory = std::make_unique<Trajectory>();
    RandomSource random;
    TrajectoryPoint previous;  // the voice's previous grain; set at every voice's first grain
    // What the score lacks, one line each (a voice not read, a voice cut
    // short), told on standard error after the completion message.
    std::vector<std::string> shortfalls = {};
};

// Starts voice: prints its console line ("writing voice N" and lineEnd) and
// reads its coordinate files into the run's trajectory, with the messages of
// what the reading found. False when a file is missing: the voice loop ends
// there, and the shortfall names each missing file.
bool startVoice(RunState& run, const RunParameters& parameters, int voice, const char* lineEnd);

// Ends voice at voice clock clock: prints the line that says so and why, and
// records the shortfall.
void endVoice(RunState& run, const RunParameters& parameters, int voice, float clock, const std::string& why);

// a + b as a clock or counter accumulates it: evaluated in double, stored as float.
inline float floatSum(float a, float b) { return static_cast<float>(static_cast<double>(a) + b); }

// Moves the voice counter on by one (a float addition). Beyond 2^24 a float
// counter no longer grows: then the result is false and the voice loop ends,
// rather than repeat that voice.
bool advanceVoiceCounter(float& counter);

// Records that voice's data ended at voice clock clock, after the end-of-data
// messages: how many samples its files hold and how many the whole duration takes.
void recordEndOfData(RunState& run, const RunParameters& parameters, int voice, float clock);

// Writes the grain's point at the voice's read position into point, after
// the first-grain rule (at voice clock 0 the previous point becomes this
// one), and returns true. elevationOffset is glissonscore's +90 degrees.
// False, after a message, when the voice ends here: a
// read position that is no longer a finite number, or the end of the voice's
// data.
inline bool sampleGrain(RunState& run, const RunParameters& parameters, const Trajectory& trajectory,
                        float readPosition, float clock, int voice, bool elevationOffset, TrajectoryPoint& point) {
    if (!std::isfinite(readPosition)) {
        endVoice(run, parameters, voice, clock, "its read position is no longer a finite number");
        return false;
    }
    if (!samplePoint(trajectory, readPosition, elevationOffset, run.console, point)) {
        recordEndOfData(run, parameters, voice, clock);
        return false;
    }
    if (clock == 0.0f) run.previous = point;
    return true;
}

// Fills the statement's voice, phase, previous and current place (azimuth
// wrapped, elevations as written) and grain duration.
inline void placeGrain(GrainEvent& event, const RunState& run, const TrajectoryPoint& current, int voice, float phase,
                       float grainDur, bool offset) {
    event.voice = voice;
    event.phase = phase;
    event.aziOld = run.previous.azimuth;
    event.azi = current.azimuth;
    event.elevOld = writtenElevation(run.previous.elevation, offset);
    event.elev = writtenElevation(current.elevation, offset);
    event.distOld = run.previous.distance;
    event.dist = current.distance;
    event.grainDur = grainDur;
}

// Appends the statement, unless one of its numbers is not finite: then the
// voice ends here at clock, with a message, and the result is false.
bool writeGrain(ScoreWriter& writer, const GrainEvent& event, RunState& run, const RunParameters& parameters,
                float clock);

// Why a voice whose grain has duration grainDur and inter-onset interval
// interval at voice clock clock cannot go on (an empty text when it can): a
// duration or interval that is not a positive finite number, or a clock that
// the interval no longer moves forward in float.
std::string whyVoiceStops(float grainDur, float interval, float clock);

// The three conditions of a voice going on, which whyVoiceStops names.
// Positive and finite: above 0 (which NaN is not) and not infinite.
inline bool isPositiveFinite(float value) { return value > 0.0f && value <= FLT_MAX; }
// Whether the interval still moves the clock on, in float.
inline bool movesClockOn(float interval, float clock) {
    return static_cast<float>(static_cast<double>(clock) + interval) != clock;
}

// Whether a voice can go on, that is whether whyVoiceStops is empty; tested
// at every grain, so that the text of why not is built only when it is needed.
inline bool voiceGoesOn(float grainDur, float interval, float clock) {
    return isPositiveFinite(grainDur) && isPositiveFinite(interval) && movesClockOn(interval, clock);
}

// Whether every number of the statement is finite.
bool isFinite(const GrainEvent& event);

}  // namespace grain
