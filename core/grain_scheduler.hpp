// The grain streams of glissonscore and granulescore: the schedule that the
// voice loop runs for them. Each voice's grain duration is drawn between the
// shortest and longest (menu 1), follows the grain duration envelope (menu
// 2) or is fixed (menu 3); its inter-onset interval is the intergrain value
// times the grain duration plus the grain duration, the intergrain value
// constant or from its envelope. A statement starts at the voice clock (menu
// 1) or shifted by the voice's share of one interval. The program's own field
// step fills the last two p-fields.
#pragma once

#include "quarter_envelope.hpp"
#include "run_parameters.hpp"
#include "voice_loop.hpp"

namespace grain {

// The two envelopes of a run: grain duration (mode 2) and intergrain value
// (dynamic density).
struct StreamEnvelopes {
    QuarterEnvelope grainDur;
    QuarterEnvelope intergrain;
};

// x g + g: an intergrain value x as an inter-onset interval.
inline float intervalOf(float intergrain, float grainDur) {
    return static_cast<float>(static_cast<double>(intergrain) * grainDur + grainDur);
}

// The grain stream schedule, with the program's field step: Fields is called
// as fields(previous, current, event) with the previous and current point
// (offsets still applied) and fills the event's program fields.
template <class Fields, bool withElevationOffset>
struct GrainStreamSchedule {
    static constexpr const char* voiceLineEnd = " \n";
    static constexpr bool elevationOffset = withElevationOffset;

    const RunParameters& p;
    Fields fields;
    StreamEnvelopes envelopes{makeQuarterEnvelope(p.grainDurPoints, p.totalDuration),
                              makeQuarterEnvelope(p.intergrainPoints, p.totalDuration)};

    bool beginVoice(VoiceState& v, RunState&) {
        if (p.grainDurMode == 1)
            v.grainDur = static_cast<float>((static_cast<double>(p.maxGrainDur) - p.minGrainDur) * v.phase +
                                            p.minGrainDur);
        else
            v.grainDur = p.grainDurPoints[0];
        grain::beginVoice(envelopes.grainDur, v.grainDur);
        v.interval = intervalOf(p.intergrainPoints[0], v.grainDur);
        return true;
    }

    bool timeGrain(VoiceState& v, RunState& run) {
        if (p.grainDurMode == 2) v.grainDur = valueAnchoredAt(envelopes.grainDur, v.clock, 1.0f);
        if (p.densityMode == 0) v.interval = timeAnchoredAt(envelopes.intergrain, v.clock, v.grainDur);
        if (p.densityMode == 1) v.interval = intervalOf(p.intergrainPoints[0], v.grainDur);
        if (voiceGoesOn(v.grainDur, v.interval, v.clock)) return true;
        endVoice(run, p, v.voice, v.clock, whyVoiceStops(v.grainDur, v.interval, v.clock));
        return false;
    }

    float startTime(const VoiceState& v) const {
        if (p.grainDurMode == 1) return v.clock;
        return static_cast<float>((static_cast<double>(v.counter) - 1) / p.streams * v.interval + v.clock);
    }

    void fillFields(const VoiceState&, const TrajectoryPoint& previous, const TrajectoryPoint& current,
                    GrainEvent& event, RunState&) {
        fields(previous, current, event);
    }

    bool afterGrain(VoiceState&, RunState&) { return true; }
};

// Runs the grain streams of a program whose field step is fields.
template <bool withElevationOffset, class Fields>
void runGrainStreams(const RunParameters& p, ScoreWriter& writer, RunState& run, Fields fields) {
    GrainStreamSchedule<Fields, withElevationOffset> schedule{p, fields};
    runVoices(p, writer, run, schedule);
}

}  // namespace grain
