#include "score_picture.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "svg_drawing.hpp"

namespace scoreview {

namespace {

using drawing::fixed;
using drawing::px;

// The drawing's measures, in SVG pixels.
constexpr double plotLeft = 90.0;
constexpr double plotWidth = 760.0;
constexpr double legendLeft = plotLeft + plotWidth + 30.0;
constexpr double panelGap = 55.0;
constexpr double titleHeight = 60.0;
constexpr int legendRows = 40;
constexpr int opacityLevels = 5;  // distance shown in this many steps of opacity

double grainEnd(const GrainStatement& g) { return g.start + std::max(g.grainDuration, 0.0); }

// The grains and positions of a reading, drawn against one time axis.
class Drawing {
public:
    Drawing(const ScoreReading& reading, const drawing::Axis& time) : reading_(reading), time_(time) {
        bool first = true;
        for (const GrainStatement& g : reading.grains) {
            byVoice_[g.voice].push_back(&g);
            double near = std::min(g.dist, g.distOld), far = std::max(g.dist, g.distOld);
            nearest_ = first ? near : std::min(nearest_, near);
            furthest_ = first ? far : std::max(furthest_, far);
            first = false;
        }
    }

    // One short stroke per grain from its start over its grain duration,
    // grouped by voice, as thick as the grain duration.
    void grainStrokes(const drawing::PlotArea& area, const drawing::Axis& values, double GrainStatement::*from,
                      double GrainStatement::*to) {
        double longest = 0.0;
        for (const GrainStatement& g : reading_.grains) longest = std::max(longest, g.grainDuration);
        for (int voice : reading_.voices) {
            svg += "<g class=\"grains\" data-voice=\"" + std::to_string(voice) + "\" stroke=\"" +
                   drawing::voiceColour(voice) + "\" stroke-linecap=\"round\">\n";
            for (const GrainStatement* grain : grainsOf(voice)) {
                const GrainStatement& g = *grain;
                double width = longest > 0.0 ? 0.8 + 4.2 * std::max(g.grainDuration, 0.0) / longest : 0.8;
                svg += "<line x1=\"" + px(area.x(time_, g.start)) + "\" y1=\"" + px(area.y(values, g.*from)) +
                       "\" x2=\"" + px(area.x(time_, grainEnd(g))) + "\" y2=\"" + px(area.y(values, g.*to)) +
                       "\" stroke-width=\"" + fixed(width, 2) + "\"/>\n";
            }
            svg += "</g>\n";
        }
    }

    // An azimuth brought into 0 to 360 by whole turns: above 360 into (0, 360],
    // below 0 into [0, 360); 0 to 360 stay as they are.
    static double foldedAzimuth(double azimuth) {
        if (azimuth > 360.0) return azimuth - 360.0 * (std::ceil(azimuth / 360.0) - 1.0);
        if (azimuth < 0.0) return azimuth - 360.0 * std::floor(azimuth / 360.0);
        return azimuth;
    }

    // Every voice's path through one coordinate, each grain a stroke from the
    // previous grain's value to its own, the grain's distance as opacity.
    void positionPaths(const drawing::PlotArea& area, const drawing::Axis& values, double GrainStatement::*oldValue,
                       double GrainStatement::*value, bool wraps) {
        for (int voice : reading_.voices) {
            std::map<int, std::string> byLevel;
            for (const GrainStatement* grain : grainsOf(voice)) {
                const GrainStatement& g = *grain;
                double before = g.*oldValue, now = g.*value;
                if (wraps) {
                    // Azimuths are drawn within 0 to 360: a score may hold one
                    // above 360 (data from 0 to 360 crossing ahead) and a
                    // voice's first Aziold carries 360 more. An azimuth that
                    // passes 0 degrees jumps by almost 360: keep the stroke level.
                    before = foldedAzimuth(before);
                    now = foldedAzimuth(now);
                    if (std::fabs(now - before) > 180.0) before = now;
                }
                std::string& d = byLevel[distanceLevel(g.dist)];
                d.append("M").append(px(area.x(time_, g.start))).append(" ").append(px(area.y(values, before)));
                d.append("L").append(px(area.x(time_, grainEnd(g)))).append(" ").append(px(area.y(values, now)));
            }
            svg += "<g class=\"path\" data-voice=\"" + std::to_string(voice) + "\" stroke=\"" +
                   drawing::voiceColour(voice) + "\" fill=\"none\" stroke-width=\"1.5\">\n";
            for (const auto& [level, d] : byLevel)
                svg += "<path stroke-opacity=\"" + fixed(1.0 - 0.75 * level / (opacityLevels - 1), 2) + "\" d=\"" + d +
                       "\"/>\n";
            svg += "</g>\n";
        }
    }

    double nearest() const { return nearest_; }
    double furthest() const { return furthest_; }

    std::string svg;

private:
    int distanceLevel(double distance) const {
        if (!(furthest_ > nearest_)) return 0;
        double t = std::clamp((distance - nearest_) / (furthest_ - nearest_), 0.0, 1.0);
        return static_cast<int>(std::lround(t * (opacityLevels - 1)));
    }

    // The voice's grains in score order.
    const std::vector<const GrainStatement*>& grainsOf(int voice) const { return byVoice_.at(voice); }

    const ScoreReading& reading_;
    const drawing::Axis& time_;
    std::map<int, std::vector<const GrainStatement*>> byVoice_;
    double nearest_ = 0.0, furthest_ = 0.0;
};

// The axis of the grain panel: frequencies, or the play position.
drawing::Axis grainAxis(const ScoreReading& reading, grain::Program program) {
    if (program == grain::Program::granule)
        return drawing::linearAxis(0.0, 1.0, "play position in the sound file (0 start, 1 end)");
    double lowest = 0.0, highest = 0.0;
    bool first = true;
    for (const GrainStatement& g : reading.grains) {
        double low = program == grain::Program::glisson ? std::min(g.p13, g.p14) : g.p13;
        double high = program == grain::Program::glisson ? std::max(g.p13, g.p14) : g.p13;
        lowest = first ? low : std::min(lowest, low);
        highest = first ? high : std::max(highest, high);
        first = false;
    }
    if (program == grain::Program::additive) return drawing::linearAxis(0.0, highest * 1.05, "partial frequency (Hz)");
    if (!(lowest > 0.0) || !(highest > lowest)) {
        lowest = 20.0 * 1.25;
        highest = 20000.0 / 1.25;
    }
    return drawing::logarithmicAxis(lowest / 1.25, highest * 1.25, "glissando frequency (Hz)");
}

}  // namespace

std::string scorePicture(const ScoreReading& reading, const std::string& name) {
    const grain::Program program = reading.program.value_or(grain::Program::glisson);
    double endTime = reading.reverbDuration;
    for (const GrainStatement& g : reading.grains)
        endTime = std::max(endTime, g.start + std::max(g.grainDuration, g.noteDuration));
    if (!(endTime > 0.0)) endTime = 1.0;
    const drawing::Axis time = drawing::linearAxis(0.0, endTime, "time (s)");
    const drawing::Axis grainValues = grainAxis(reading, program);
    const drawing::Axis azimuthValues = drawing::steppedAxis(0.0, 360.0, 90.0, "azimuth (degrees, 0 ahead, 90 right)");
    const drawing::Axis elevationValues = drawing::steppedAxis(-90.0, 90.0, 45.0, "elevation (degrees)");
    const drawing::PlotArea grains{plotLeft, titleHeight, plotWidth, 260.0};
    const drawing::PlotArea azimuth{plotLeft, grains.top + grains.height + panelGap, plotWidth, 170.0};
    const drawing::PlotArea elevation{plotLeft, azimuth.top + azimuth.height + panelGap, plotWidth, 170.0};
    const double bottom = elevation.top + elevation.height;

    const int voiceCount = static_cast<int>(reading.voices.size());
    const int legendColumns = std::max(1, (voiceCount + legendRows - 1) / legendRows);
    const double width = legendLeft + drawing::legendColumnWidth * legendColumns + 10.0;
    const double height = bottom + 75.0;

    Drawing d(reading, time);
    std::string& svg = d.svg;
    svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += drawing::svgStart(width, height);
    svg += "<text x=\"" + px(plotLeft) + "\" y=\"28\" font-size=\"16\">" + drawing::escaped(name) + ": " +
           grain::programName(program) + " score, " + std::to_string(voiceCount) +
           (voiceCount == 1 ? " voice, " : " voices, ") + std::to_string(reading.grains.size()) +
           (reading.grains.size() == 1 ? " grain, " : " grains, ") + fixed(endTime, 2) + " seconds</text>\n";

    svg += drawing::plotFrame(grains, time, grainValues, false);
    svg += drawing::plotFrame(azimuth, time, azimuthValues, false);
    svg += drawing::plotFrame(elevation, time, elevationValues, true);
    svg += "<text x=\"" + px(plotLeft) + "\" y=\"" + px(bottom + 60.0) + "\" fill=\"#555\">" +
           "Grain strokes are as thick as their grain duration; positions are fainter further away (distance " +
           fixed(d.nearest(), 2) + " opaque to " + fixed(d.furthest(), 2) + " faint).</text>\n";

    // A glisson glides from p13 to p14; the others' p13 holds.
    d.grainStrokes(grains, grainValues, &GrainStatement::p13,
                   program == grain::Program::glisson ? &GrainStatement::p14 : &GrainStatement::p13);
    d.positionPaths(azimuth, azimuthValues, &GrainStatement::aziOld, &GrainStatement::azi, true);
    d.positionPaths(elevation, elevationValues, &GrainStatement::elevOld, &GrainStatement::elev, false);

    std::vector<std::pair<std::string, std::string>> entries;
    for (int voice : reading.voices)
        entries.emplace_back(drawing::voiceColour(voice), "voice " + std::to_string(voice));
    svg += drawing::legend(legendLeft, titleHeight - 8.0, "voices", entries, legendRows);
    svg += "</svg>\n";
    return svg;
}

}  // namespace scoreview
