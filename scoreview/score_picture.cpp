#include "score_picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace scoreview {

namespace {

// The drawing's measures, in SVG pixels.
constexpr double plotLeft = 90.0;
constexpr double plotWidth = 760.0;
constexpr double legendLeft = plotLeft + plotWidth + 30.0;
constexpr double legendColumnWidth = 90.0;
constexpr double panelGap = 55.0;
constexpr double titleHeight = 60.0;
constexpr int legendRows = 40;
constexpr int opacityLevels = 5;  // distance shown in this many steps of opacity

// value with the given decimals, never "-0".
std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

std::string px(double value) { return fixed(value, 1); }

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// Voice v's colour: hues a golden angle apart, so neighbouring voices differ.
std::string voiceColour(int voice) {
    double hue = std::fmod(static_cast<double>(voice - 1) * 137.508, 360.0);
    return "hsl(" + fixed(hue, 1) + ",70%,42%)";
}

// Tick values of a linear axis from low to high: steps of 1, 2 or 5 times a
// power of ten, about six of them.
std::vector<double> linearTicks(double low, double high) {
    double span = high - low;
    double raw = span / 6.0;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    std::vector<double> ticks;
    for (double k = std::ceil(low / step - 1e-9); k * step <= high + step * 1e-9; k += 1.0) ticks.push_back(k * step);
    return ticks;
}

// Decimals that show a tick step exactly enough.
int decimalsFor(const std::vector<double>& ticks) {
    if (ticks.size() < 2) return 0;
    double step = ticks[1] - ticks[0];
    int d = 0;
    while (d < 6 && std::fabs(step * std::pow(10.0, d) - std::round(step * std::pow(10.0, d))) > 1e-6) ++d;
    return d;
}

// A value axis of one panel: maps a value to its height in the panel.
struct Axis {
    double low = 0.0, high = 1.0;
    bool logarithmic = false;
    std::string label;
    std::vector<double> ticks;
    int decimals = 0;
    // 0 at the bottom of the panel, 1 at the top.
    double place(double value) const {
        double t = logarithmic ? (std::log(std::max(value, low)) - std::log(low)) / (std::log(high) - std::log(low))
                               : (value - low) / (high - low);
        return std::clamp(t, 0.0, 1.0);
    }
};

Axis linearAxis(double low, double high, std::string label) {
    Axis a;
    a.low = low;
    a.high = high > low ? high : low + 1.0;
    a.label = std::move(label);
    a.ticks = linearTicks(a.low, a.high);
    a.decimals = decimalsFor(a.ticks);
    return a;
}

Axis fixedAxis(double low, double high, double step, std::string label) {
    Axis a;
    a.low = low;
    a.high = high;
    a.label = std::move(label);
    for (double v = low; v <= high + 1e-9; v += step) a.ticks.push_back(v);
    return a;
}

// Frequencies from low to high on a logarithmic axis, ticks at 1, 2 and 5
// times the powers of ten.
Axis frequencyAxis(double low, double high, std::string label) {
    Axis a;
    a.logarithmic = true;
    a.low = low / 1.25;
    a.high = high * 1.25;
    if (!(a.low > 0.0) || !(a.high > a.low)) {
        a.low = 20.0;
        a.high = 20000.0;
    }
    a.label = std::move(label);
    for (double power = std::pow(10.0, std::floor(std::log10(a.low))); power <= a.high; power *= 10.0)
        for (double m : {1.0, 2.0, 5.0})
            if (m * power >= a.low && m * power <= a.high) a.ticks.push_back(m * power);
    return a;
}

struct Panel {
    double top = 0.0, height = 0.0;
    Axis axis;
    double y(double value) const { return top + height * (1.0 - axis.place(value)); }
};

class Drawing {
public:
    Drawing(const ScoreReading& reading, double endTime) : reading_(reading), endTime_(endTime) {}

    double x(double seconds) const { return plotLeft + plotWidth * std::clamp(seconds / endTime_, 0.0, 1.0); }

    // Frame, value ticks with grid lines and labels, and the axis label.
    void frame(const Panel& p, bool timeLabels) {
        svg += "<g class=\"axes\" stroke=\"#888\" fill=\"none\">\n";
        svg += "<rect x=\"" + px(plotLeft) + "\" y=\"" + px(p.top) + "\" width=\"" + px(plotWidth) + "\" height=\"" +
               px(p.height) + "\"/>\n";
        for (double v : p.axis.ticks)
            svg += "<line x1=\"" + px(plotLeft - 5.0) + "\" y1=\"" + px(p.y(v)) + "\" x2=\"" + px(plotLeft + plotWidth) +
                   "\" y2=\"" + px(p.y(v)) + "\" stroke=\"#e4e4e4\"/>\n";
        for (double t : timeTicks_)
            svg += "<line x1=\"" + px(x(t)) + "\" y1=\"" + px(p.top + p.height) + "\" x2=\"" + px(x(t)) + "\" y2=\"" +
                   px(p.top + p.height + 5.0) + "\"/>\n";
        svg += "</g>\n<g class=\"labels\" fill=\"#222\">\n";
        for (double v : p.axis.ticks)
            svg += "<text x=\"" + px(plotLeft - 8.0) + "\" y=\"" + px(p.y(v) + 4.0) + "\" text-anchor=\"end\">" +
                   fixed(v, p.axis.decimals) + "</text>\n";
        if (timeLabels)
            for (double t : timeTicks_)
                svg += "<text x=\"" + px(x(t)) + "\" y=\"" + px(p.top + p.height + 18.0) +
                       "\" text-anchor=\"middle\">" + fixed(t, timeDecimals_) + "</text>\n";
        double middle = p.top + p.height / 2.0;
        svg += "<text x=\"" + px(plotLeft - 62.0) + "\" y=\"" + px(middle) + "\" text-anchor=\"middle\" transform=\"rotate(-90 " +
               px(plotLeft - 62.0) + " " + px(middle) + ")\">" + escaped(p.axis.label) + "</text>\n";
        svg += "</g>\n";
    }

    void setTimeTicks(std::vector<double> ticks) {
        timeTicks_ = std::move(ticks);
        timeDecimals_ = decimalsFor(timeTicks_);
    }

    // One short stroke per grain, grouped by voice.
    void grainStrokes(const Panel& p, const std::function<double(const GrainStatement&)>& from,
                      const std::function<double(const GrainStatement&)>& to) {
        double longest = 0.0;
        for (const GrainStatement& g : reading_.grains) longest = std::max(longest, g.grainDuration);
        for (int voice : reading_.voices) {
            svg += "<g class=\"grains\" data-voice=\"" + std::to_string(voice) + "\" stroke=\"" + voiceColour(voice) +
                   "\" stroke-linecap=\"round\">\n";
            for (const GrainStatement& g : reading_.grains) {
                if (g.voice != voice) continue;
                double width = longest > 0.0 ? 0.8 + 4.2 * std::max(g.grainDuration, 0.0) / longest : 0.8;
                svg += "<line x1=\"" + px(x(g.start)) + "\" y1=\"" + px(p.y(from(g))) + "\" x2=\"" +
                       px(x(g.start + std::max(g.grainDuration, 0.0))) + "\" y2=\"" + px(p.y(to(g))) +
                       "\" stroke-width=\"" + fixed(width, 2) + "\"/>\n";
            }
            svg += "</g>\n";
        }
    }

    // Every voice's path through one coordinate, the grains' distance as opacity.
    void positionPaths(const Panel& p, double GrainStatement::*oldValue, double GrainStatement::*value, bool wraps) {
        for (int voice : reading_.voices) {
            std::map<int, std::string> byLevel;
            for (const GrainStatement& g : reading_.grains) {
                if (g.voice != voice) continue;
                double before = g.*oldValue, now = g.*value;
                // An azimuth that passes 0 degrees jumps by almost 360: keep the stroke level.
                if (wraps && std::fabs(now - before) > 180.0) before = now;
                std::string& d = byLevel[distanceLevel(g.dist)];
                d.append("M").append(px(x(g.start))).append(" ").append(px(p.y(before)));
                d.append("L").append(px(x(g.start + std::max(g.grainDuration, 0.0)))).append(" ").append(px(p.y(now)));
            }
            svg += "<g class=\"path\" data-voice=\"" + std::to_string(voice) + "\" stroke=\"" + voiceColour(voice) +
                   "\" fill=\"none\" stroke-width=\"1.5\">\n";
            for (const auto& [level, d] : byLevel)
                svg += "<path stroke-opacity=\"" + fixed(opacity(level), 2) + "\" d=\"" + d + "\"/>\n";
            svg += "</g>\n";
        }
    }

    void setDistances(double nearest, double furthest) {
        nearest_ = nearest;
        furthest_ = furthest;
    }
    double nearest() const { return nearest_; }
    double furthest() const { return furthest_; }
    static double opacity(int level) { return 1.0 - 0.75 * level / (opacityLevels - 1); }

    std::string svg;

private:
    int distanceLevel(double distance) const {
        if (!(furthest_ > nearest_)) return 0;
        double t = std::clamp((distance - nearest_) / (furthest_ - nearest_), 0.0, 1.0);
        return static_cast<int>(std::lround(t * (opacityLevels - 1)));
    }

    const ScoreReading& reading_;
    double endTime_;
    std::vector<double> timeTicks_;
    int timeDecimals_ = 0;
    double nearest_ = 0.0, furthest_ = 0.0;
};

}  // namespace

std::string scorePicture(const ScoreReading& reading, const std::string& name) {
    const grain::Program program = reading.program.value_or(grain::Program::glisson);
    double endTime = reading.reverbDuration;
    double nearest = 0.0, furthest = 0.0, lowest = 0.0, highest = 0.0;
    bool first = true;
    for (const GrainStatement& g : reading.grains) {
        endTime = std::max(endTime, g.start + std::max(g.grainDuration, g.noteDuration));
        double near = std::min(g.dist, g.distOld), far = std::max(g.dist, g.distOld);
        double low = program == grain::Program::glisson ? std::min(g.p13, g.p14) : g.p13;
        double high = program == grain::Program::glisson ? std::max(g.p13, g.p14) : g.p13;
        nearest = first ? near : std::min(nearest, near);
        furthest = first ? far : std::max(furthest, far);
        lowest = first ? low : std::min(lowest, low);
        highest = first ? high : std::max(highest, high);
        first = false;
    }
    if (!(endTime > 0.0)) endTime = 1.0;

    Panel grains{titleHeight, 260.0, {}};
    switch (program) {
        case grain::Program::glisson:
            grains.axis = frequencyAxis(lowest, highest, "glissando frequency (Hz)");
            break;
        case grain::Program::granule:
            grains.axis = linearAxis(0.0, 1.0, "play position in the sound file (0 start, 1 end)");
            break;
        case grain::Program::additive:
            grains.axis = linearAxis(0.0, highest * 1.05, "partial frequency (Hz)");
            break;
    }
    Panel azimuth{grains.top + grains.height + panelGap, 170.0,
                  fixedAxis(0.0, 360.0, 90.0, "azimuth (degrees, 0 ahead, 90 right)")};
    Panel elevation{azimuth.top + azimuth.height + panelGap, 170.0,
                    fixedAxis(-90.0, 90.0, 45.0, "elevation (degrees)")};
    const double bottom = elevation.top + elevation.height;

    const int voiceCount = static_cast<int>(reading.voices.size());
    const int legendColumns = std::max(1, (voiceCount + legendRows - 1) / legendRows);
    const double width = legendLeft + legendColumnWidth * legendColumns + 10.0;
    const double height = bottom + 75.0;

    Drawing d(reading, endTime);
    d.setTimeTicks(linearTicks(0.0, endTime));
    d.setDistances(nearest, furthest);
    std::string& svg = d.svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(width) + "\" height=\"" + px(height) +
           "\" viewBox=\"0 0 " + px(width) + " " + px(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    svg += "<text x=\"" + px(plotLeft) + "\" y=\"28\" font-size=\"16\">" + escaped(name) + ": " +
           grain::programName(program) + " score, " + std::to_string(voiceCount) +
           (voiceCount == 1 ? " voice, " : " voices, ") + std::to_string(reading.grains.size()) +
           (reading.grains.size() == 1 ? " grain, " : " grains, ") + fixed(endTime, 2) + " seconds</text>\n";

    d.frame(grains, false);
    d.frame(azimuth, false);
    d.frame(elevation, true);
    svg += "<text x=\"" + px(plotLeft + plotWidth / 2.0) + "\" y=\"" + px(bottom + 38.0) +
           "\" text-anchor=\"middle\" fill=\"#222\">time (s)</text>\n";
    svg += "<text x=\"" + px(plotLeft) + "\" y=\"" + px(bottom + 60.0) + "\" fill=\"#555\">" +
           "Grain strokes are as thick as their grain duration; positions are fainter further away (distance " +
           fixed(nearest, 2) + " opaque to " + fixed(furthest, 2) + " faint).</text>\n";

    if (program == grain::Program::glisson)
        d.grainStrokes(grains, [](const GrainStatement& g) { return g.p13; },
                       [](const GrainStatement& g) { return g.p14; });
    else
        d.grainStrokes(grains, [](const GrainStatement& g) { return g.p13; },
                       [](const GrainStatement& g) { return g.p13; });
    d.positionPaths(azimuth, &GrainStatement::aziOld, &GrainStatement::azi, true);
    d.positionPaths(elevation, &GrainStatement::elevOld, &GrainStatement::elev, false);

    // The legend of the voices.
    svg += "<g class=\"legend\" fill=\"#222\">\n";
    svg += "<text x=\"" + px(legendLeft) + "\" y=\"" + px(titleHeight - 8.0) + "\">voices</text>\n";
    for (int i = 0; i < voiceCount; ++i) {
        int voice = reading.voices[static_cast<std::size_t>(i)];
        double lx = legendLeft + legendColumnWidth * (i / legendRows);
        double ly = titleHeight + 14.0 + 16.0 * (i % legendRows);
        svg += "<line x1=\"" + px(lx) + "\" y1=\"" + px(ly - 4.0) + "\" x2=\"" + px(lx + 18.0) + "\" y2=\"" +
               px(ly - 4.0) + "\" stroke=\"" + voiceColour(voice) + "\" stroke-width=\"3\"/>\n";
        svg += "<text x=\"" + px(lx + 24.0) + "\" y=\"" + px(ly) + "\">voice " + std::to_string(voice) + "</text>\n";
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

}  // namespace scoreview
