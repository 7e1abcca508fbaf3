#include "path_files.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "atomic_file.hpp"
#include "coordinate_names.hpp"
#include "file_bytes.hpp"
#include "svg_drawing.hpp"

namespace flock {

namespace {

// Writes text whole as target's file of the group, under its temporary name.
// Done, or why not (naming target).
grain::Outcome<> writeWhole(grain::AtomicFileGroup& group, const std::filesystem::path& target,
                            const std::string& text) {
    std::ofstream out(group.add(target).temporary(), std::ios::binary | std::ios::trunc);
    if (out) {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
    }
    if (out.fail()) return grain::because("cannot write " + target.string());
    return {};
}

// A coordinate file in the folder: its boid number and which of a, e, d.
struct CoordinateFile {
    long long boid = 0;
    std::size_t letter = 0;  // index into grain::coordinateLetters
    std::filesystem::path path;
    bool operator<(const CoordinateFile& other) const {
        return boid != other.boid ? boid < other.boid : letter < other.letter;
    }
};

// Every coordinate file in the folder, by boid number, then a, e, d.
std::vector<CoordinateFile> coordinateFilesIn(const std::filesystem::path& folder) {
    std::vector<CoordinateFile> files;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        std::error_code ignored;
        if (!entry->is_regular_file(ignored)) continue;  // a folder of that name is nobody's coordinate file
        if (auto name = grain::coordinateNameOf(entry->path().filename().string()))
            files.push_back({name->voice, name->letter, entry->path()});
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The record: one line per file, its name, its size in bytes and its digest.
struct Recorded {
    std::uintmax_t size = 0;
    std::string digest;
};

std::map<std::string, Recorded> readRecord(const std::filesystem::path& folder) {
    std::map<std::string, Recorded> record;
    auto text = grain::readFileBytes(folder / manifestName);
    if (!text) return record;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#' || grain::isIntervalRecordLine(line)) continue;
        std::istringstream fields(line);
        std::string name;
        Recorded r;
        if (fields >> name >> r.size >> r.digest) record[name] = r;
    }
    return record;
}

const char* const recordHeading =
    "# The flock's sampling interval, and the coordinate files that flockpaths wrote\n"
    "# here: name, size in bytes, digest. flockpaths replaces or removes only these,\n"
    "# and only while they are unchanged.\n";

// A point of the drawing, in pixels.
struct Point {
    double x = 0.0, y = 0.0;
};

constexpr int tailPieces = 8;         // a path fades towards its start in this many steps
constexpr double faintestTail = 0.15;  // opacity of the oldest piece
constexpr double arrowLength = 10.0, arrowHalfWidth = 4.0;

// One boid's flight seen from above: the path in pieces that fade towards
// the past, the newest opaque, and an arrowhead at its last position
// pointing the way it flies.
template <typename Place>
std::string flight(const std::vector<Vec3>& positions, int boid, const std::string& colour, Place place) {
    using drawing::px;
    std::vector<Point> points;
    points.reserve(positions.size());
    for (const Vec3& p : positions) points.push_back(place(p));
    std::string svg = "<g class=\"flight\" data-boid=\"" + std::to_string(boid) + "\" stroke=\"" + colour +
                      "\" fill=\"none\" stroke-width=\"1.2\">\n";
    const std::size_t last = points.empty() ? 0 : points.size() - 1;
    const std::size_t pieces = std::min<std::size_t>(tailPieces, last);
    for (std::size_t piece = 0; piece < pieces; ++piece) {
        const std::size_t from = piece * last / pieces, to = (piece + 1) * last / pieces;
        const double opacity = faintestTail + (1.0 - faintestTail) * static_cast<double>(piece) /
                                                  static_cast<double>(std::max<std::size_t>(pieces - 1, 1));
        svg += "<polyline stroke-opacity=\"" + drawing::fixed(pieces == 1 ? 1.0 : opacity, 2) + "\" points=\"";
        for (std::size_t k = from; k <= to; ++k) svg += px(points[k].x) + "," + px(points[k].y) + " ";
        svg += "\"/>\n";
    }
    // The heading from the last point that lies an arrow's length back, or
    // the first point when the boid never got that far.
    if (!points.empty()) {
        const Point tip = points[last];
        Point back = points.front();
        for (std::size_t k = last; k-- > 0;) {
            if (std::hypot(tip.x - points[k].x, tip.y - points[k].y) >= arrowLength) {
                back = points[k];
                break;
            }
        }
        const double length = std::hypot(tip.x - back.x, tip.y - back.y);
        if (length > 0.0) {
            const double ux = (tip.x - back.x) / length, uy = (tip.y - back.y) / length;
            const double baseX = tip.x - arrowLength * ux, baseY = tip.y - arrowLength * uy;
            svg += "<polygon class=\"arrow\" fill=\"" + colour + "\" stroke=\"none\" points=\"" + px(tip.x) + "," +
                   px(tip.y) + " " + px(baseX - arrowHalfWidth * uy) + "," + px(baseY + arrowHalfWidth * ux) + " " +
                   px(baseX + arrowHalfWidth * uy) + "," + px(baseY - arrowHalfWidth * ux) + "\"/>\n";
        }
    }
    svg += "</g>\n";
    return svg;
}

}  // namespace

grain::Outcome<> ownsCoordinateFiles(const std::filesystem::path& folder) {
    const std::vector<CoordinateFile> files = coordinateFilesIn(folder);
    if (files.empty()) return {};
    const std::map<std::string, Recorded> record = readRecord(folder);
    for (const CoordinateFile& file : files) {
        auto recorded = record.find(file.path.filename().string());
        if (recorded == record.end()) return grain::because(file.path.string() + " was not written by flockpaths");
        auto bytes = grain::readFileBytes(file.path);
        if (!bytes || bytes->size() != recorded->second.size || grain::contentDigest(*bytes) != recorded->second.digest)
            return grain::because(file.path.string() + " was changed since flockpaths wrote it");
    }
    return {};
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

WriteOutcome writeFlockFiles(const std::vector<BoidPath>& paths, double interval, const std::filesystem::path& folder,
                             const std::optional<std::filesystem::path>& picture, const std::string& pictureText) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder))
        return grain::because("cannot make the folder " + folder.string() + (error ? ": " + error.message() : ""));

    // Every file is written in full under its temporary name first; nothing
    // is placed before all are complete.
    grain::AtomicFileGroup group;
    WrittenFlock written;
    std::string record = recordHeading + grain::intervalRecordLine(interval);
    for (std::size_t b = 0; b < paths.size(); ++b) {
        std::vector<double> columns[3];
        for (const ListenerAngles& heard : paths[b].heard) {
            columns[0].push_back(heard.azimuth);
            columns[1].push_back(heard.elevation);
            columns[2].push_back(heard.distance);
        }
        for (int c = 0; c < 3; ++c) {
            const std::filesystem::path file =
                grain::coordinateFilePath(folder, static_cast<long long>(b) + 1, grain::coordinateLetters[c]);
            const std::string text = coordinateText(columns[c]);
            if (grain::Outcome<> added = writeWhole(group, file, text); !added) return grain::because(added.reason());
            record += file.filename().string() + " " + std::to_string(text.size()) + " " + grain::contentDigest(text) + "\n";
        }
    }
    // Files of higher boid numbers from an earlier, larger flock would be read
    // as further voices: they go when the new flock is placed.
    for (const CoordinateFile& file : coordinateFilesIn(folder)) {
        if (file.boid <= static_cast<long long>(paths.size())) continue;
        group.remove(file.path);
        written.removedStale.push_back(file.path.filename().string());
    }
    if (picture)
        if (grain::Outcome<> added = writeWhole(group, *picture, pictureText); !added)
            return grain::because(added.reason());
    if (grain::Outcome<> added = writeWhole(group, folder / manifestName, record); !added)
        return grain::because(added.reason());

    if (grain::Outcome<> placed = group.commit(); !placed) return grain::because(placed.reason());
    return written;
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
           " m; paths fade towards their start, arrows at their end</text>\n";
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
        svg += flight(paths[b].positions, boid, colour, [&](const Vec3& p) {
            // From above: ahead (x) up, right (-y) to the right.
            return Point{above.x(right, -p.y), above.y(ahead, p.x)};
        });
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
