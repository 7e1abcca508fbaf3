#include "partial_voices.hpp"

#include "real_format.hpp"
#include "trajectory_sampling.hpp"

namespace grain {

void runPartialVoices(const RunParameters& p, ScoreWriter& writer, RunState& run) {
    QuarterEnvelope intergrain = makeQuarterEnvelope(p.intergrainPoints, p.totalDuration);
    for (float k = 1.0f; !(k > p.streams);) {
        PartialVoice v;
        v.counter = k;
        v.voice = static_cast<int>(k);
        if (!startVoice(run, p, v.voice, " ")) return;
        v.phase = drawFraction(run.random);
        v.partialFreq = static_cast<float>(static_cast<double>(k) * p.fundamental);
        double grainDur = 1.0 / v.partialFreq * p.fundamental;
        v.grainDur = static_cast<float>(grainDur);
        run.console << "partial no." << formatReal(k) << " freq " << formatReal(v.partialFreq) << " grain duration "
                    << formatReal(grainDur) << "\n";
        auto start = static_cast<float>(static_cast<double>(p.intergrainPoints[0]) * v.grainDur + v.grainDur);
        v.interval = start;
        beginVoice(intergrain, start);
        schedulePartialGrains(v, *run.trajectory, intergrain, p, writer, run);
        if (!advanceVoiceCounter(k)) return;
    }
}

void schedulePartialGrains(PartialVoice& v, const Trajectory& trajectory, QuarterEnvelope& intergrain,
                           const RunParameters& p, ScoreWriter& writer, RunState& run) {
    // The start interval only advances the voice time; it cannot stall the clock.
    if (v.clock < p.totalDuration) {
        if (std::string why = whyVoiceStops(v.grainDur, v.interval, 0.0f); !why.empty()) {
            endVoice(run, p, v.voice, v.clock, why);
            return;
        }
    }
    while (v.clock < p.totalDuration) {
        TrajectoryPoint current;
        if (!sampleGrain(run, p, trajectory, v.readPosition, v.clock, v.voice, current)) return;

        GrainEvent event;
        event.srt = static_cast<float>(v.phase / 2.0 + v.clock);
        event.dur = floatSum(v.interval, v.interval);
        current.azimuth = wrapAzimuth(current.azimuth);
        placeGrain(event, run, current, v.voice, v.phase, v.grainDur);
        event.partialFreq = v.partialFreq;
        if (!writeGrain(writer, event, run, p, v.clock)) return;

        v.readPosition = static_cast<float>(static_cast<double>(v.interval) / p.minGrainDur + v.readPosition);
        run.previous = current;
        v.voiceTime = floatSum(v.voiceTime, v.interval);
        if (p.densityMode == 0) v.interval = valueAnchoredAt(intergrain, v.voiceTime, v.grainDur);
        if (!voiceGoesOn(v.grainDur, v.interval, v.clock)) {
            endVoice(run, p, v.voice, v.clock, whyVoiceStops(v.grainDur, v.interval, v.clock));
            return;
        }
        v.clock = floatSum(v.clock, v.interval);
    }
}

}  // namespace grain
