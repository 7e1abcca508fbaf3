#include "score_picture.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>
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
constexpr int finestColumns = 2 * static_cast<int>(plotWidth);  // a voice's columns: two per pixel at most

double grainEnd(const GrainStatement& g) { return g.start + std::max(g.grainDuration, 0.0); }

// The values that fall into one pixel column of a voice: their extremes, and
// the nearest distance among them.
struct Column {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    double nearest = std::numeric_limits<double>::infinity();
    bool used() const { return low <= high; }
    void add(double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
};

// The grains and positions of a reading, drawn against one time axis.
class Drawing {
public:
    Drawing(const ScoreReading& reading, const drawing::Axis& time, int detailLimit, int columns)
        : reading_(reading), time_(time), detailLimit_(detailLimit), columns_(columns) {
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
        auto thickness = [longest](const GrainStatement& g) {
            return longest > 0.0 ? 0.8 + 4.2 * std::max(g.grainDuration, 0.0) / longest : 0.8;
        };
        for (int voice : reading_.voices) {
            svg += "<g class=\"grains\" data-voice=\"" + std::to_string(voice) + "\" stroke=\"" +
                   drawing::voiceColour(voice) + "\" stroke-linecap=\"round\">\n";
            if (detailed(voice)) {
                for (const GrainStatement* grain : grainsOf(voice)) {
                    const GrainStatement& g = *grain;
                    svg += "<line x1=\"" + px(area.x(time_, g.start)) + "\" y1=\"" + px(area.y(values, g.*from)) +
                           "\" x2=\"" + px(area.x(time_, grainEnd(g))) + "\" y2=\"" + px(area.y(values, g.*to)) +
                           "\" stroke-width=\"" + fixed(thickness(g), 2) + "\"/>\n";
                }
            } else {
                // Each column a stroke over the values its grains glide
                // through, as thick as the voice's thickest grain.
                std::vector<Column> columns(static_cast<std::size_t>(columns_));
                double width = 0.0;
                for (const GrainStatement* grain : grainsOf(voice)) {
                    const GrainStatement& g = *grain;
                    Column& column = columns[columnOf((g.start + grainEnd(g)) / 2.0)];
                    column.add(g.*from);
                    column.add(g.*to);
                    width = std::max(width, thickness(g));
                }
                std::string d;
                for (std::size_t c = 0; c < columns.size(); ++c)
                    if (columns[c].used()) bar(d, area, values, c, columns[c].high, columns[c].low);
                svg += "<path stroke-width=\"" + fixed(std::max(width, columnWidth(area)), 2) + "\" d=\"" + d +
                       "\"/>\n";
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

    // Where a grain's stroke starts and ends: the previous grain's value and
    // its own. Azimuths (wraps) are drawn within 0 to 360: a score may hold
    // one above 360 (data from 0 to 360 crossing ahead) and a voice's first
    // Aziold carries 360 more. An azimuth that passes 0 degrees jumps by
    // almost 360: the stroke is kept level.
    static std::pair<double, double> strokeEnds(const GrainStatement& g, double GrainStatement::*oldValue,
                                                double GrainStatement::*value, bool wraps) {
        double before = g.*oldValue, now = g.*value;
        if (wraps) {
            before = foldedAzimuth(before);
            now = foldedAzimuth(now);
            if (std::fabs(now - before) > 180.0) before = now;
        }
        return {before, now};
    }

    // Every voice's path through one coordinate, each grain a stroke from the
    // previous grain's value to its own, the grain's distance as opacity.
    void positionPaths(const drawing::PlotArea& area, const drawing::Axis& values, double GrainStatement::*oldValue,
                       double GrainStatement::*value, bool wraps) {
        for (int voice : reading_.voices) {
            if (!detailed(voice)) {
                columnPaths(area, values, voice, oldValue, value, wraps);
                continue;
            }
            std::map<int, std::string> byLevel;
            for (const GrainStatement* grain : grainsOf(voice)) {
                const GrainStatement& g = *grain;
                auto [before, now] = strokeEnds(g, oldValue, value, wraps);
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

    // Whether any voice is drawn column by column.
    bool summarised() const {
        for (int voice : reading_.voices)
            if (!detailed(voice)) return true;
        return false;
    }

    std::string svg;

private:
    // Whether the voice is drawn grain by grain: it has no more grains than its share.
    bool detailed(int voice) const { return grainsOf(voice).size() <= static_cast<std::size_t>(detailLimit_); }

    double columnWidth(const drawing::PlotArea& area) const { return area.width / columns_; }

    // The column that time t falls into.
    std::size_t columnOf(double t) const {
        const int c = static_cast<int>(std::floor(time_.place(t) * columns_));
        return static_cast<std::size_t>(std::clamp(c, 0, columns_ - 1));
    }

    // A vertical stroke in column c from value high to value low.
    void bar(std::string& d, const drawing::PlotArea& area, const drawing::Axis& values, std::size_t c, double high,
             double low) const {
        d.append("M").append(px(area.left + (static_cast<double>(c) + 0.5) * columnWidth(area)));
        d.append(" ").append(px(area.y(values, high))).append("V").append(px(area.y(values, low)));
    }

    // A voice's path through one coordinate, column by column: each column a
    // stroke over the values its grains pass through, as faint as the nearest
    // of them. The strokes of neighbouring columns meet, since each grain's
    // stroke starts from the previous grain's value. Azimuths take the shorter
    // way round: a column whose values lie on both sides of 0 degrees is drawn
    // as the two strokes up to 360 and from 0.
    void columnPaths(const drawing::PlotArea& area, const drawing::Axis& values, int voice,
                     double GrainStatement::*oldValue, double GrainStatement::*value, bool wraps) {
        std::vector<Column> plain(static_cast<std::size_t>(columns_)), turned(plain);
        for (const GrainStatement* grain : grainsOf(voice)) {
            const GrainStatement& g = *grain;
            auto [before, now] = strokeEnds(g, oldValue, value, wraps);
            const std::size_t c = columnOf((g.start + grainEnd(g)) / 2.0);
            for (double v : {before, now}) {
                plain[c].add(v);
                turned[c].add(v < 180.0 ? v + 360.0 : v);  // the same directions, counted on past 360
            }
            plain[c].nearest = std::min(plain[c].nearest, g.dist);
        }
        std::map<int, std::string> byLevel;
        for (std::size_t c = 0; c < plain.size(); ++c) {
            const Column& column = plain[c];
            if (!column.used()) continue;
            std::string& d = byLevel[distanceLevel(column.nearest)];
            const Column& other = turned[c];
            const bool straddles = other.low < 360.0 && other.high >= 360.0;  // values on both sides of 0
            if (wraps && straddles && other.high - other.low < column.high - column.low) {
                bar(d, area, values, c, 360.0, other.low);
                bar(d, area, values, c, other.high - 360.0, 0.0);
            } else {
                bar(d, area, values, c, column.high, column.low);
            }
        }
        svg += "<g class=\"path\" data-voice=\"" + std::to_string(voice) + "\" stroke=\"" +
               drawing::voiceColour(voice) + "\" fill=\"none\" stroke-linecap=\"square\" stroke-width=\"" +
               fixed(std::max(1.5, columnWidth(area)), 2) + "\">\n";
        for (const auto& [level, d] : byLevel)
            svg += "<path stroke-opacity=\"" + fixed(1.0 - 0.75 * level / (opacityLevels - 1), 2) + "\" d=\"" + d +
                   "\"/>\n";
        svg += "</g>\n";
    }

    int distanceLevel(double distance) const {
        if (!(furthest_ > nearest_)) return 0;
        double t = std::clamp((distance - nearest_) / (furthest_ - nearest_), 0.0, 1.0);
        return static_cast<int>(std::lround(t * (opacityLevels - 1)));
    }

    // The voice's grains in score order.
    const std::vector<const GrainStatement*>& grainsOf(int voice) const { return byVoice_.at(voice); }

    const ScoreReading& reading_;
    const drawing::Axis& time_;
    int detailLimit_;  // grains of a voice drawn one by one, at most
    int columns_;      // of each voice drawn column by column
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

std::string scorePicture(const ScoreReading& reading, const std::string& name, int columnBudget) {
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
    const int detailLimit = std::max(columnBudget / std::max(voiceCount, 1), 1);
    const int columns = std::min(detailLimit, finestColumns);
    Drawing d(reading, time, detailLimit, columns);
    const double height = bottom + (d.summarised() ? 93.0 : 75.0);  // a line more to say so
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
    if (d.summarised())
        svg += "<text x=\"" + px(plotLeft) + "\" y=\"" + px(bottom + 78.0) + "\" fill=\"#555\">Voices of more than " +
               std::to_string(detailLimit) + " grains are drawn in " + std::to_string(columns) +
               " columns, each stroke over the extremes of the grains in its column.</text>\n";

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
