#include "grain_scheduler.hpp"

namespace grain {

namespace {

// x g + g: an intergrain value x as an inter-onset interval.
float intervalOf(float intergrain, float grainDur) {
    return static_cast<float>(static_cast<double>(intergrain) * grainDur + grainDur);
}

}  // namespace

void runGrainStreams(const RunParameters& p, ScoreWriter& writer, RunState& run, const FieldStep& fields) {
    StreamEnvelopes envelopes{makeQuarterEnvelope(p.grainDurPoints, p.totalDuration),
                              makeQuarterEnvelope(p.intergrainPoints, p.totalDuration)};
    for (float counter = 1.0f; !(counter > p.streams);) {
        VoiceState voice;
        voice.counter = counter;
        voice.voice = static_cast<int>(counter);
        if (!startVoice(run, p, voice.voice, " \n")) return;
        voice.phase = drawFraction(run.random);
        if (p.grainDurMode == 1)
            voice.grainDur = static_cast<float>((static_cast<double>(p.maxGrainDur) - p.minGrainDur) * voice.phase +
                                                p.minGrainDur);
        else
            voice.grainDur = p.grainDurPoints[0];
        beginVoice(envelopes.grainDur, voice.grainDur);
        voice.interval = intervalOf(p.intergrainPoints[0], voice.grainDur);
        scheduleGrains(voice, *run.trajectory, envelopes, p, writer, run, fields);
        if (!advanceVoiceCounter(counter)) return;
    }
}

void scheduleGrains(VoiceState& v, const Trajectory& trajectory, StreamEnvelopes& envelopes, const RunParameters& p,
                    ScoreWriter& writer, RunState& run, const FieldStep& fields) {
    while (v.clock < p.totalDuration) {
        TrajectoryPoint current;
        if (!sampleGrain(run, p, trajectory, v.readPosition, v.clock, v.voice, current)) return;

        if (p.grainDurMode == 2) v.grainDur = valueAnchoredAt(envelopes.grainDur, v.clock, 1.0f);
        if (p.densityMode == 0) v.interval = timeAnchoredAt(envelopes.intergrain, v.clock, v.grainDur);
        if (p.densityMode == 1) v.interval = intervalOf(p.intergrainPoints[0], v.grainDur);
        if (!voiceGoesOn(v.grainDur, v.interval, v.clock)) {
            endVoice(run, p, v.voice, v.clock, whyVoiceStops(v.grainDur, v.interval, v.clock));
            return;
        }

        GrainEvent event;
        if (p.grainDurMode == 1)
            event.srt = v.clock;
        else
            event.srt = static_cast<float>((static_cast<double>(v.counter) - 1) / p.streams * v.interval + v.clock);
        event.dur = floatSum(v.interval, v.interval);
        current.azimuth = wrapAzimuth(current.azimuth);
        fields(run.previous, current, event);
        placeGrain(event, run, current, v.voice, v.phase, v.grainDur);
        if (!writeGrain(writer, event, run, p, v.clock)) return;

        v.readPosition = static_cast<float>(static_cast<double>(v.interval) / p.minGrainDur + v.readPosition);
        run.previous = current;
        v.clock = floatSum(v.clock, v.interval);
    }
}

}  // namespace grain
