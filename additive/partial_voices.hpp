// additivescore's grainlet schedule: voice k is the k-th partial of an
// additive tone, a stream of grainlets at k times the fundamental whose
// duration is tied to that frequency (one period of the partial, times the
// fundamental). Each voice moves along its own Boids trajectory; the interval
// between grainlets is constant or follows the intergrain envelope, scaled by
// the grainlet duration, and is worked out after each statement. The voice
// loop of the core runs it.
#pragma once

#include "quarter_envelope.hpp"
#include "run_parameters.hpp"
#include "run_state.hpp"
#include "score_writer.hpp"
#include "score_format.hpp"
#include "voice_loop.hpp"

namespace grain {

struct PartialSchedule {
    static constexpr const char* voiceLineEnd = " ";  // the partial line follows on the same line
    static constexpr bool elevationOffset = scoreFormat(Program::additive).elevationOffset;

    const RunParameters& p;
    QuarterEnvelope intergrain = makeQuarterEnvelope(p.intergrainPoints, p.totalDuration);
    float partialFreq = 0.0f;  // k x fundamental, Hz
    float voiceTime = 0.0f;    // the sum of the intervals the voice's written grains used

    // The partial's frequency, grainlet duration and start interval, and its
    // console line; false when that interval cannot start the voice.
    bool beginVoice(VoiceState& v, RunState& run);

    bool timeGrain(VoiceState&, RunState&) { return true; }

    // The clock, offset by half the phase.
    float startTime(const VoiceState& v) const { return static_cast<float>(v.phase / 2.0 + v.clock); }

    void fillFields(const VoiceState&, const TrajectoryPoint&, const TrajectoryPoint&, GrainEvent& event,
                    RunState&) const {
        event.own[0] = partialFreq;  // Fundamental: the partial's frequency
    }

    // The interval of the next grainlet: from the envelope at the voice time
    // of the grainlets written (dynamic density), else the start interval.
    bool afterGrain(VoiceState& v, RunState& run) {
        voiceTime = floatSum(voiceTime, v.interval);
        if (p.densityMode == 0) v.interval = valueAnchoredAt(intergrain, voiceTime, v.grainDur);
        if (voiceGoesOn(v.grainDur, v.interval, v.clock)) return true;
        endVoice(run, p, v.voice, v.clock, whyVoiceStops(v.grainDur, v.interval, v.clock));
        return false;
    }
};

// The voice loop of additivescore: partials 1, 2, ... while k is not above
// streams, or until a voice's coordinate files are missing.
void runPartialVoices(const RunParameters& parameters, ScoreWriter& writer, RunState& run);

}  // namespace grain
