// The grain streams of glissonscore and granulescore. Voice after voice, the
// scheduler loads the voice's trajectory, draws its phase and lays its grains
// along its timeline from 0 until the total duration: each grain samples the
// trajectory, takes its grain duration and inter-onset interval (fixed or from
// the quarter-point envelopes), gets a start time and a note duration, and
// becomes one statement of the score. The program's own field step fills the
// last two p-fields.
#pragma once

#include <functional>

#include "quarter_envelope.hpp"
#include "run_parameters.hpp"
#include "run_state.hpp"
#include "score_writer.hpp"
#include "trajectory_sampling.hpp"

namespace grain {

// Fills a grain's program fields from its previous and current point (offsets
// still applied).
using FieldStep = std::function<void(const TrajectoryPoint& previous, const TrajectoryPoint& current, GrainEvent&)>;

// The quantities of the voice being scheduled.
struct VoiceState {
    float counter = 1.0f;        // voice counter, 1, 2, ...
    int voice = 1;               // the counter truncated: the voice number
    float phase = 0.0f;          // the voice's random phase
    float grainDur = 0.0f;       // g, seconds
    float interval = 0.0f;       // inter-onset interval, seconds
    float clock = 0.0f;          // the current grain's time within the voice
    float readPosition = 0.0f;   // into the voice's trajectory, in samples
};

// The two envelopes of a run: grain duration (mode 2) and intergrain value
// (dynamic density).
struct StreamEnvelopes {
    QuarterEnvelope grainDur;
    QuarterEnvelope intergrain;
};

// The voice loop: voices 1, 2, ... while the counter is not above streams, or
// until a voice's coordinate files are missing.
void runGrainStreams(const RunParameters& parameters, ScoreWriter& writer, RunState& run, const FieldStep& fields);

// The grain loop of one voice, until its clock reaches the total duration or
// its data ends.
void scheduleGrains(VoiceState& voice, const Trajectory& trajectory, StreamEnvelopes& envelopes,
                    const RunParameters& parameters, ScoreWriter& writer, RunState& run, const FieldStep& fields);

}  // namespace grain
