#include "progress.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace render {

namespace {

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

// Minutes and seconds, "4:07".
std::string clockTime(double seconds) {
    auto whole = static_cast<long long>(std::max(0.0, seconds) + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

}  // namespace

PartsDone partsDone(const std::vector<double>& times, const std::vector<double>& ends) {
    PartsDone parts;
    for (std::size_t k = 0; k < times.size() && k < ends.size(); ++k) {
        parts.done += std::min(times[k], ends[k]);
        parts.total += ends[k];
    }
    return parts;
}

std::string progressLine(double done, double total, double music, double wall) {
    constexpr int barWidth = 30;
    double fraction = total > 0 ? std::clamp(done / total, 0.0, 1.0) : 0.0;
    int filled = static_cast<int>(fraction * barWidth);
    std::string line(1, '[');
    line.append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(barWidth - filled), '.');
    line.append("] ");
    line += format("%3.0f%%  %.1f of %.1f s", fraction * 100, fraction * music, music);
    if (wall > 0 && fraction > 0) {
        line += format(", %.1f x real time", fraction * music / wall);
        line += ", " + clockTime(wall * (1 - fraction) / fraction) + " left";
    }
    return line;
}

std::string playLine(double played, double music) { return progressLine(played, music, music, 0) + " played"; }

std::string playedLine(const SoundSummary& summary, int underruns) {
    SoundSummary played = summary;
    played.w64 = false;  // no file: the samples went to JACK
    return closingLine("played through JACK", played, 0) + ", " + std::to_string(underruns) +
           (underruns == 1 ? " under-run" : " under-runs");
}

std::string dbfs(double peak) {
    if (peak <= 0) return "silent";
    return format("%.1f dBFS", 20 * std::log10(peak));
}

std::string closingLine(const std::string& name, const SoundSummary& summary, double wall) {
    double seconds = summary.rate > 0 ? static_cast<double>(summary.frames) / summary.rate : 0.0;
    std::string line = name + ": " + format("%.2f s, ", seconds) + std::to_string(summary.channels) +
                       (summary.channels == 1 ? " channel" : " channels") + " at " + std::to_string(summary.rate) +
                       " Hz" + (summary.w64 ? " (W64)" : "") + ", " + (summary.channels == 1 ? "peak" : "peaks");
    for (double peak : summary.peaks) line.append(1, ' ').append(dbfs(peak));
    if (wall > 0) line += format(", %.1f x real time", seconds / wall);
    return line;
}

std::vector<std::string> peakWarnings(const std::string& name, const SoundSummary& summary) {
    std::vector<std::string> lines;
    for (std::size_t c = 0; c < summary.peaks.size(); ++c)
        if (summary.peaks[c] > 1.0)
            lines.push_back("warning: channel " + std::to_string(c + 1) + " of " + name + " peaks at +" +
                            format("%.1f", 20 * std::log10(summary.peaks[c])) +
                            " dBFS, above full scale: lower the level before a fixed-point copy");
    return lines;
}

}  // namespace render
