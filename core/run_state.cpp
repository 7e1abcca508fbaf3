#include "run_state.hpp"

#include <bit>
#include <cstdint>

#include "real_format.hpp"

namespace grain {

std::string whyVoiceStops(float grainDur, float interval, float clock) {
    if (!isPositiveFinite(grainDur))
        return "its grain duration " + formatReal(grainDur) + " is not a positive number of seconds";
    if (!isPositiveFinite(interval))
        return "its inter-onset interval " + formatReal(interval) + " is not a positive number of seconds";
    if (!movesClockOn(interval, clock))
        return "its inter-onset interval " + formatReal(interval) + " no longer moves its clock on from " +
               formatReal(clock) + " seconds";
    return {};
}

bool isFinite(const GrainEvent& e) {
    // A float is infinite or NaN when its exponent bits are all set; then
    // adding one to the exponent carries into the sign bit. Tested for all
    // values at once, without a branch each: every statement goes through here.
    std::uint32_t carries = 0;
    for (float value : {e.srt, e.dur, e.phase, e.aziOld, e.azi, e.elevOld, e.elev, e.distOld, e.dist, e.grainDur,
                        e.startFreq, e.endFreq, e.filePlayPos, e.playSpeed, e.partialFreq})
        carries |= (std::bit_cast<std::uint32_t>(value) & 0x7f800000u) + 0x00800000u;
    return (carries & 0x80000000u) == 0;
}

bool advanceVoiceCounter(float& counter) {
    auto next = static_cast<float>(static_cast<double>(counter) + 1);
    if (next == counter) return false;
    counter = next;
    return true;
}

bool writeGrain(ScoreWriter& writer, const GrainEvent& event, RunState& run) {
    if (!isFinite(event)) {
        printVoiceEnd(run.console, event.voice, "its grain values are no longer finite numbers");
        return false;
    }
    writeEvent(writer, event);
    return true;
}

void printVoiceEnd(std::ostream& console, int voice, const std::string& why) {
    console << "Voice " << voice << " ends here: " << why << "\n";
}

}  // namespace grain
