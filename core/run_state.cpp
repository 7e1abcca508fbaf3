#include "run_state.hpp"

#include <bit>
#include <charconv>
#include <cmath>
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
                        e.own[0], e.own[1]})
        carries |= (std::bit_cast<std::uint32_t>(value) & 0x7f800000u) + 0x00800000u;
    return (carries & 0x80000000u) == 0;
}

bool advanceVoiceCounter(float& counter) {
    auto next = static_cast<float>(static_cast<double>(counter) + 1);
    if (next == counter) return false;
    counter = next;
    return true;
}

bool writeGrain(ScoreWriter& writer, const GrainEvent& event, RunState& run, const RunParameters& parameters,
                float clock) {
    if (!isFinite(event)) {
        endVoice(run, parameters, event.voice, clock, "its grain values are no longer finite numbers");
        return false;
    }
    writeEvent(writer, event);
    return true;
}

namespace {

// A number of seconds or a count as a composer reads it: at most six
// significant digits, no trailing zeros ("12.35", "20", "1e+30").
std::string plainNumber(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr);
}

// A whole count, in full while it is one that a double holds exactly.
std::string countText(double count) {
    if (!(count < 1e15)) return plainNumber(count);
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, count, std::chars_format::fixed, 0).ptr);
}

std::string endedAt(int voice, float clock, const RunParameters& p) {
    return "voice " + std::to_string(voice) + " ended at " + plainNumber(clock) + " s of " +
           plainNumber(p.totalDuration) + " s: ";
}

}  // namespace

bool startVoice(RunState& run, const RunParameters& p, int voice, const char* lineEnd) {
    run.console << "writing voice " << voice << lineEnd;
    TrajectoryLoad load = loadTrajectory(voice, *run.trajectory, run.coordinateFolder);
    printLoadMessages(run.console, voice, load);
    if (load.loaded()) return true;
    std::string text = "voice " + std::to_string(voice) + " of " + countText(std::floor(p.streams)) + " not read: ";
    for (const MissingFile& file : load.missing) text += file.path.string() + ": " + file.reason + "; ";
    if (voice == 1)
        text += "the score holds no voice";
    else if (voice == 2)
        text += "the score holds voice 1";
    else
        text += "the score holds voices 1 to " + std::to_string(voice - 1);
    run.shortfalls.push_back(text);
    return false;
}

void endVoice(RunState& run, const RunParameters& p, int voice, float clock, const std::string& why) {
    run.console << "Voice " << voice << " ends here: " << why << "\n";
    run.shortfalls.push_back(endedAt(voice, clock, p) + why);
}

void recordEndOfData(RunState& run, const RunParameters& p, int voice, float clock) {
    // A grain at read position r interpolates samples floor(r) and floor(r) + 1,
    // and read positions stay below T / m: the whole duration takes ceil(T / m) + 1.
    const int held = run.trajectory->sampleCount;
    const double needed = std::ceil(static_cast<double>(p.totalDuration) / p.minGrainDur) + 1;
    std::string text = endedAt(voice, clock, p);
    text += held == trajectoryCapacity ? "a voice holds at most " : "its files hold ";
    text += std::to_string(held) + " samples of " + plainNumber(p.minGrainDur) + " s, and " +
            plainNumber(p.totalDuration) + " s take " + countText(needed);
    run.shortfalls.push_back(text);
}

}  // namespace grain
