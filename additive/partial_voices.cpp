#include "partial_voices.hpp"

#include "real_format.hpp"

namespace grain {

bool PartialSchedule::beginVoice(VoiceState& v, RunState& run) {
    partialFreq = static_cast<float>(static_cast<double>(v.counter) * p.fundamental);
    double grainDur = 1.0 / partialFreq * p.fundamental;
    v.grainDur = static_cast<float>(grainDur);
    run.console << "partial no." << formatReal(v.counter) << " freq " << formatReal(partialFreq)
                << " grain duration " << formatReal(grainDur) << "\n";
    auto start = static_cast<float>(static_cast<double>(p.intergrainPoints[0]) * v.grainDur + v.grainDur);
    v.interval = start;
    voiceTime = 0.0f;
    grain::beginVoice(intergrain, start);
    // The start interval only advances the voice time; it cannot stall the clock.
    if (v.clock < p.totalDuration) {
        if (std::string why = whyVoiceStops(v.grainDur, v.interval, 0.0f); !why.empty()) {
            endVoice(run, p, v.voice, v.clock, why);
            return false;
        }
    }
    return true;
}

void runPartialVoices(const RunParameters& p, ScoreWriter& writer, RunState& run) {
    PartialSchedule schedule{p};
    runVoices(p, writer, run, schedule);
}

}  // namespace grain
