// additivescore's grainlet schedule: voice k is the k-th partial of an
// additive tone, a stream of grainlets at k times the fundamental whose
// duration is tied to that frequency (one period of the partial, times the
// fundamental). Each voice moves along its own Boids trajectory; the interval
// between grainlets is constant or follows the intergrain envelope, scaled by
// the grainlet duration.
#pragma once

#include "quarter_envelope.hpp"
#include "run_parameters.hpp"
#include "run_state.hpp"
#include "score_writer.hpp"

namespace grain {

// The quantities of the partial being scheduled.
struct PartialVoice {
    float counter = 1.0f;       // k: 1 for the first voice
    int voice = 1;              // k truncated: the voice number
    float phase = 0.0f;         // the voice's random phase, 0 to 1
    float partialFreq = 0.0f;   // k x fundamental, Hz
    float grainDur = 0.0f;      // g: (1 / partialFreq) x fundamental, seconds
    float interval = 0.0f;      // A: the interval the current grain uses
    float readPosition = 0.0f;  // into the voice's trajectory, in samples
    float voiceTime = 0.0f;     // the sum of the intervals the written grains used
    float clock = 0.0f;         // the grain's start time without the phase offset
};

// The voice loop: partials 1, 2, ... while k is not above streams, or until a
// voice's coordinate files are missing.
void runPartialVoices(const RunParameters& parameters, ScoreWriter& writer, RunState& run);

// The grain loop of one partial, until its clock reaches the total duration
// or its data ends.
void schedulePartialGrains(PartialVoice& voice, const Trajectory& trajectory, QuarterEnvelope& intergrain,
                           const RunParameters& parameters, ScoreWriter& writer, RunState& run);

}  // namespace grain
