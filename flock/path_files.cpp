#include "path_files.hpp"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <system_error>

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

WriteOutcome writeWhole(const std::filesystem::path& file, const std::string& text) {
    WriteOutcome outcome;
    std::filesystem::path partial = partialName(file);
    if (!writeFile(partial, text)) {
        removeQuietly(partial);
        outcome.failure = "cannot write " + partial.string();
        return outcome;
    }
    std::error_code error;
    std::filesystem::rename(partial, file, error);
    if (error) {
        removeQuietly(partial);
        outcome.failure = "cannot rename " + partial.string() + " to " + file.string() + ": " + error.message();
        return outcome;
    }
    outcome.ok = true;
    return outcome;
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
    static const char* const colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                          "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};
    const double panel = 420.0, margin = 40.0;
    const double viewX = margin + panel / 2.0, viewY = margin + panel / 2.0;
    const double scale = (panel / 2.0 - 10.0) / settings.radius;  // pixels per metre
    const double plotX = margin * 2.0 + panel, plotWidth = panel, plotTop = margin;
    const double lastTime = static_cast<double>(settings.samples - 1) * settings.interval;
    auto n1 = [](double v) { return fixedText(v, 1); };

    std::string svg;
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + n1(plotX + plotWidth + margin) + "\" height=\"" +
           n1(panel + margin * 2.0) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    // Top view: ahead is up, right is right.
    svg += "<text x=\"" + n1(margin) + "\" y=\"" + n1(margin - 12.0) +
           "\">Seen from above (ahead is up), bounding sphere " + n1(settings.radius) + " m</text>\n";
    svg += "<circle cx=\"" + n1(viewX) + "\" cy=\"" + n1(viewY) + "\" r=\"" + n1(settings.radius * scale) +
           "\" fill=\"none\" stroke=\"#999\" stroke-dasharray=\"4 4\"/>\n";
    svg += "<circle cx=\"" + n1(viewX) + "\" cy=\"" + n1(viewY) + "\" r=\"4\" fill=\"black\"/>\n";
    svg += "<text x=\"" + n1(viewX + 6.0) + "\" y=\"" + n1(viewY - 6.0) + "\">listener</text>\n";
    for (std::size_t b = 0; b < paths.size(); ++b) {
        svg += "<polyline fill=\"none\" stroke-width=\"1.2\" stroke=\"" + std::string(colours[b % 10]) + "\" points=\"";
        for (const Vec3& p : paths[b].positions) svg += n1(viewX - p.y * scale) + "," + n1(viewY - p.x * scale) + " ";
        svg += "\"/>\n";
    }
    // Elevation over time.
    svg += "<text x=\"" + n1(plotX) + "\" y=\"" + n1(plotTop - 12.0) + "\">Elevation (-90 to 90 degrees) over " +
           n1(lastTime) + " s</text>\n";
    svg += "<rect x=\"" + n1(plotX) + "\" y=\"" + n1(plotTop) + "\" width=\"" + n1(plotWidth) + "\" height=\"" +
           n1(panel) + "\" fill=\"none\" stroke=\"#999\"/>\n";
    svg += "<line x1=\"" + n1(plotX) + "\" y1=\"" + n1(plotTop + panel / 2.0) + "\" x2=\"" + n1(plotX + plotWidth) +
           "\" y2=\"" + n1(plotTop + panel / 2.0) + "\" stroke=\"#ccc\"/>\n";
    for (std::size_t b = 0; b < paths.size(); ++b) {
        svg += "<polyline fill=\"none\" stroke-width=\"1.2\" stroke=\"" + std::string(colours[b % 10]) + "\" points=\"";
        const auto& heard = paths[b].heard;
        for (std::size_t k = 0; k < heard.size(); ++k) {
            double t = lastTime > 0.0 ? static_cast<double>(k) * settings.interval / lastTime : 0.0;
            svg += n1(plotX + t * plotWidth) + "," + n1(plotTop + (90.0 - heard[k].elevation) / 180.0 * panel) + " ";
        }
        svg += "\"/>\n";
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace flock
