#include "path_files.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "svg_drawing.hpp"

namespace flock {

namespace {

const char* const letters = "aed";  // azimuth, elevation, distance

std::filesystem::path partialName(const std::filesystem::path& file) {
    return file.parent_path() / (file.filename().string() + ".partial");
}

bool writeFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

// Removes a file this run wrote; never a folder that stands in its way.
void removeQuietly(const std::filesystem::path& file) {
    std::error_code ignored;
    if (!std::filesystem::is_directory(file, ignored)) std::filesystem::remove(file, ignored);
}

std::filesystem::path boidFile(const std::filesystem::path& folder, std::size_t boid, char letter) {
    return folder / ("bg" + std::to_string(boid) + letter + ".txt");
}

}  // namespace

std::string fixedText(double value, int decimals) {
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i) scale *= 10.0;
    long long count = std::llround(value * scale);
    unsigned long long magnitude = count < 0 ? 0ull - static_cast<unsigned long long>(count)
                                             : static_cast<unsigned long long>(count);
    // Digits from the last decimal backwards.
    char digits[48];
    char* at = digits + sizeof digits;
    for (int place = 0;; ++place) {
        if (place == decimals && decimals > 0) *--at = '.';
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
        if (place >= decimals && magnitude == 0) break;
    }
    if (count < 0) *--at = '-';
    return std::string(at, digits + sizeof digits);
}

std::string coordinateText(const std::vector<double>& values) {
    std::string text;
    text.reserve(values.size() * 10);
    for (double v : values) {
        text += fixedText(v, 4);
        text += '\n';
    }
    return text;
}

WriteOutcome writeCoordinateFiles(const std::vector<BoidPath>& paths, const std::filesystem::path& folder) {
    WriteOutcome outcome;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
        outcome.failure = "cannot make the folder " + folder.string() + (error ? ": " + error.message() : "");
        return outcome;
    }

    // Every file is written in full under its temporary name first.
    std::vector<std::filesystem::path> written;
    auto giveUp = [&](std::string why) {
        for (const auto& partial : written) removeQuietly(partial);
        outcome.failure = std::move(why);
        return outcome;
    };
    for (std::size_t b = 0; b < paths.size(); ++b) {
        std::vector<double> columns[3];
        for (const ListenerAngles& heard : paths[b].heard) {
            columns[0].push_back(heard.azimuth);
            columns[1].push_back(heard.elevation);
            columns[2].push_back(heard.distance);
        }
        for (int c = 0; c < 3; ++c) {
            std::filesystem::path partial = partialName(boidFile(folder, b + 1, letters[c]));
            written.push_back(partial);
            if (!writeFile(partial, coordinateText(columns[c]))) return giveUp("cannot write " + partial.string());
        }
    }
    // Then all are renamed. A rename that fails takes the files already in
    // place back out, so the folder never holds part of a flock.
    std::vector<std::filesystem::path> placed;
    for (const auto& partial : written) {
        std::filesystem::path file = partial.parent_path() / partial.stem();
        std::filesystem::rename(partial, file, error);
        if (error) {
            for (const auto& done : placed) removeQuietly(done);
            return giveUp("cannot rename " + partial.string() + " to " + file.string() + ": " + error.message());
        }
        placed.push_back(file);
    }

    // Files of higher boid numbers from an earlier, larger flock would be read
    // as further voices: remove them.
    for (std::size_t b = paths.size() + 1;; ++b) {
        bool any = false;
        for (int c = 0; c < 3; ++c) {
            std::filesystem::path stale = boidFile(folder, b, letters[c]);
            if (std::filesystem::remove(stale, error)) {
                any = true;
                outcome.removedStale.push_back(stale.filename().string());
            }
        }
        if (!any) break;
    }
    outcome.ok = true;
    return outcome;
}

std::string pathsPicture(const std::vector<BoidPath>& paths, const FlockSettings& settings) {
    using drawing::px;
    // Two square panels side by side, the legend of the boids to their right;
    // every label lies outside the panels.
    const double side = 420.0, top = 70.0, gap = 120.0;
    constexpr int rows = 25;  // of the legend
    const drawing::PlotArea above{90.0, top, side, side};
    const drawing::PlotArea overTime{above.left + side + gap, top, side, side};
    const double reach = settings.radius * 1.15;  // boids may fly a little past the soft sphere
    const drawing::Axis right = drawing::linearAxis(-reach, reach, "to the right of the listener (m)");
    const drawing::Axis ahead = drawing::linearAxis(-reach, reach, "ahead of the listener (m)");
    const double lastTime = static_cast<double>(settings.samples - 1) * settings.interval;
    const drawing::Axis time = drawing::linearAxis(0.0, lastTime, "time (s)");
    const drawing::Axis elevation = drawing::steppedAxis(-90.0, 90.0, 45.0, "elevation (degrees)");
    const double legendLeft = overTime.left + side + 30.0;
    const int columns = (static_cast<int>(paths.size()) + rows - 1) / rows;
    const double width = legendLeft + drawing::legendColumnWidth * std::max(columns, 1) + 10.0;
    const double height = top + side + 80.0;

    std::string svg;
    svg += drawing::svgStart(width, height);
    svg += "<text x=\"" + px(above.left) + "\" y=\"26\" font-size=\"16\">flockpaths: " + std::to_string(paths.size()) +
           (paths.size() == 1 ? " boid, " : " boids, ") + drawing::fixed(lastTime, 2) + " s of flight sampled every " +
           drawing::fixed(settings.interval, 3) + " s, seed " + std::to_string(settings.seed) + "</text>\n";
    svg += "<text x=\"" + px(above.left) + "\" y=\"" + px(top - 12.0) + "\">Seen from above, ahead is up</text>\n";
    svg += "<text x=\"" + px(above.left) + "\" y=\"" + px(top + side + 58.0) + "\" fill=\"#555\">" +
           "Black dot: the listener; dashed: the bounding sphere, " + drawing::fixed(settings.radius, 1) +
           " m</text>\n";
    svg += "<text x=\"" + px(overTime.left) + "\" y=\"" + px(top - 12.0) + "\">Elevation over time</text>\n";
    svg += drawing::plotFrame(above, right, ahead, true);
    svg += drawing::plotFrame(overTime, time, elevation, true);

    const double centreX = above.x(right, 0.0), centreY = above.y(ahead, 0.0);
    svg += "<circle cx=\"" + px(centreX) + "\" cy=\"" + px(centreY) + "\" r=\"" +
           px(above.x(right, settings.radius) - centreX) +
           "\" fill=\"none\" stroke=\"#999\" stroke-dasharray=\"4 4\"/>\n";
    svg += "<circle cx=\"" + px(centreX) + "\" cy=\"" + px(centreY) + "\" r=\"4\" fill=\"black\"/>\n";
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t b = 0; b < paths.size(); ++b) {
        const int boid = static_cast<int>(b) + 1;
        const std::string colour = drawing::voiceColour(boid);
        entries.emplace_back(colour, "boid " + std::to_string(boid));
        // From above: ahead (x) up, right (-y) to the right.
        svg += "<polyline fill=\"none\" stroke-width=\"1.2\" stroke=\"" + colour + "\" points=\"";
        for (const Vec3& p : paths[b].positions)
            svg += px(above.x(right, -p.y)) + "," + px(above.y(ahead, p.x)) + " ";
        svg += "\"/>\n";
        svg += "<polyline fill=\"none\" stroke-width=\"1.2\" stroke=\"" + colour + "\" points=\"";
        const auto& heard = paths[b].heard;
        for (std::size_t k = 0; k < heard.size(); ++k)
            svg += px(overTime.x(time, static_cast<double>(k) * settings.interval)) + "," +
                   px(overTime.y(elevation, heard[k].elevation)) + " ";
        svg += "\"/>\n";
    }
    svg += drawing::legend(legendLeft, top - 12.0, "boids", entries, rows);
    svg += "</svg>\n";
    return svg;
}

}  // namespace flock
