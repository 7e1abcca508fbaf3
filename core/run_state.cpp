#include "run_state.hpp"

#include <cmath>

#include "real_format.hpp"

namespace grain {

namespace {

bool positiveFinite(float value) { return value > 0.0f && std::isfinite(value); }

}  // namespace

std::string whyVoiceStops(float grainDur, float interval, float clock) {
    if (!positiveFinite(grainDur))
        return "its grain duration " + formatReal(grainDur) + " is not a positive number of seconds";
    if (!positiveFinite(interval))
        return "its inter-onset interval " + formatReal(interval) + " is not a positive number of seconds";
    if (static_cast<float>(static_cast<double>(clock) + interval) == clock)
        return "its inter-onset interval " + formatReal(interval) + " no longer moves its clock on from " +
               formatReal(clock) + " seconds";
    return {};
}

bool isFinite(const GrainEvent& e) {
    for (float value : {e.srt, e.dur, e.phase, e.aziOld, e.azi, e.elevOld, e.elev, e.distOld, e.dist, e.grainDur,
                        e.startFreq, e.endFreq, e.filePlayPos, e.playSpeed, e.partialFreq})
        if (!std::isfinite(value)) return false;
    return true;
}

bool advanceVoiceCounter(float& counter) {
    auto next = static_cast<float>(static_cast<double>(counter) + 1);
    if (next == counter) return false;
    counter = next;
    return true;
}

std::optional<TrajectoryPoint> sampleGrain(RunState& run, const Trajectory& trajectory, float readPosition,
                                           float clock, int voice) {
    if (!std::isfinite(readPosition)) {
        printVoiceEnd(run.console, voice, "its read position is no longer a finite number");
        return std::nullopt;
    }
    auto point = sampleTrajectory(trajectory, readPosition, hasElevationOffset(run), run.console);
    if (point && clock == 0.0f) run.previous = *point;
    return point;
}

void placeGrain(GrainEvent& event, const RunState& run, const TrajectoryPoint& current, int voice, float phase,
                float grainDur) {
    const bool offset = hasElevationOffset(run);
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
