// The voice loop of every score program. Voice after voice, while the voice
// counter is not above the number of streams, it reads the voice's
// trajectory, draws the voice's phase and lays the voice's grains along its
// timeline from 0 until the total duration: each grain samples the
// trajectory at the voice's read position, gets its timing, becomes one
// statement of the score, and moves the read position, the previous point and
// the clock on. A voice ends early at the end of its data or when its timing
// can no longer move it on; a voice whose files are missing ends the loop.
//
// What differs between the programs is a schedule, a small record that the
// loop is instantiated with (no call through a pointer per grain):
//   voiceLineEnd      what follows "writing voice N" on the console
//   elevationOffset   whether elevations are sampled +90 degrees (glissonscore)
//   beginVoice(v, run)          after the phase draw: the voice's grain
//                               duration and first interval; false when the
//                               voice cannot start (already reported)
//   timeGrain(v, run)           before a statement: this grain's duration and
//                               interval; false when the voice ends here
//   startTime(v)                the statement's start time
//   fillFields(v, previous, current, event, run)
//                               the program's own p-fields
//   afterGrain(v, run)          after the statement: the next interval;
//                               false when the voice ends here
#pragma once

#include "random_source.hpp"
#include "run_parameters.hpp"
#include "run_state.hpp"
#include "score_writer.hpp"
#include "trajectory_sampling.hpp"

namespace grain {

// The quantities of the voice being scheduled.
struct VoiceState {
    float counter = 1.0f;       // voice counter, 1, 2, ...
    int voice = 1;              // the counter truncated: the voice number
    float phase = 0.0f;         // the voice's random phase, 0 to 1
    float grainDur = 0.0f;      // g, seconds
    float interval = 0.0f;      // the inter-onset interval the current grain uses, seconds
    float clock = 0.0f;         // the current grain's time within the voice
    float readPosition = 0.0f;  // into the voice's trajectory, in samples
};

// The grain loop of one voice, until its clock reaches the total duration or
// the voice ends.
template <class Schedule>
void scheduleVoice(VoiceState& v, const RunParameters& p, ScoreWriter& writer, RunState& run, Schedule& schedule) {
    const Trajectory& trajectory = *run.trajectory;
    while (v.clock < p.totalDuration) {
        TrajectoryPoint current;
        if (!sampleGrain(run, p, trajectory, v.readPosition, v.clock, v.voice, Schedule::elevationOffset, current))
            return;
        if (!schedule.timeGrain(v, run)) return;

        GrainEvent event;
        event.srt = schedule.startTime(v);
        event.dur = floatSum(v.interval, v.interval);
        current.azimuth = wrapAzimuth(current.azimuth);
        schedule.fillFields(v, run.previous, current, event, run);
        placeGrain(event, run, current, v.voice, v.phase, v.grainDur, Schedule::elevationOffset);
        if (!writeGrain(writer, event, run, p, v.clock)) return;

        v.readPosition = static_cast<float>(static_cast<double>(v.interval) / p.minGrainDur + v.readPosition);
        run.previous = current;
        if (!schedule.afterGrain(v, run)) return;
        v.clock = floatSum(v.clock, v.interval);
    }
}

// The voice loop: voices 1, 2, ... while the counter is not above streams,
// or until a voice's coordinate files are missing.
template <class Schedule>
void runVoices(const RunParameters& p, ScoreWriter& writer, RunState& run, Schedule& schedule) {
    for (float counter = 1.0f; !(counter > p.streams);) {
        VoiceState v;
        v.counter = counter;
        v.voice = static_cast<int>(counter);
        if (!startVoice(run, p, v.voice, Schedule::voiceLineEnd)) return;
        v.phase = drawFraction(run.random);
        if (schedule.beginVoice(v, run)) scheduleVoice(v, p, writer, run, schedule);
        if (!advanceVoiceCounter(counter)) return;
    }
}

}  // namespace grain
