#include "flock_record.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "file_bytes.hpp"

namespace grain {

namespace {

constexpr const char* intervalKey = "interval ";

// A number as a composer would write it: up to digits significant digits,
// no trailing zeros.
std::string shortNumber(double value, int digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

}  // namespace

std::string intervalRecordLine(double seconds) { return intervalKey + shortNumber(seconds, 9) + " s\n"; }

bool isIntervalRecordLine(const std::string& line) { return line.rfind(intervalKey, 0) == 0; }

std::optional<double> recordedSamplingInterval(const std::filesystem::path& folder) {
    auto text = readFileBytes(folder / flockRecordName);
    if (!text) return std::nullopt;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (!isIntervalRecordLine(line)) continue;
        const char* first = line.data() + std::char_traits<char>::length(intervalKey);
        double seconds = 0.0;
        auto [end, error] = std::from_chars(first, line.data() + line.size(), seconds);
        if (error == std::errc() && end != first && std::isfinite(seconds) && seconds > 0.0) return seconds;
    }
    return std::nullopt;
}

std::optional<std::string> samplingIntervalMismatch(const std::filesystem::path& folder, float minGrainDur) {
    auto interval = recordedSamplingInterval(folder);
    if (!interval || !(minGrainDur > 0.0f)) return std::nullopt;
    // A score time t reads the sample t / minGrainDur, which the boid reached
    // at t x interval / minGrainDur: the path plays minGrainDur / interval
    // times slower. Rounding of a typed interval (1/3 as 0.333333) is no
    // mismatch.
    const double slower = minGrainDur / *interval;
    if (std::fabs(slower - 1.0) <= 1e-4) return std::nullopt;
    const double factor = slower > 1.0 ? slower : 1.0 / slower;
    return "the flock in " + folder.string() + " was sampled every " + shortNumber(*interval, 6) +
           " s, but the minimum grain duration is " + shortNumber(minGrainDur, 6) + " s: its paths will play " +
           shortNumber(factor, factor < 1.1 ? 3 : 2) + (slower > 1.0 ? " times slower" : " times faster") +
           " (flockpaths --interval " + shortNumber(minGrainDur, 6) + " samples them at the score's pace)";
}

}  // namespace grain
