#include "vbap.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <set>

namespace space {

namespace {

constexpr double onPlane = 1e-9;        // how near a plane a direction lies on it (unit vectors)
constexpr double inCell = 1e-9;         // how far below 0 a corner gain may be for a grain still in the cell
constexpr double sameDirection = 0.01;  // degrees: two speakers nearer than this stand at one direction
constexpr double holeAngle = 45;        // degrees: straight down or up is a hole when no speaker is nearer

Vector minus(Vector a, Vector b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector cross(Vector a, Vector b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(Vector a) { return std::sqrt(dot(a, a)); }
Vector scaled(Vector a, double s) { return {a.x * s, a.y * s, a.z * s}; }

Direction directionOf(Vector v) {
    constexpr double degrees = 180 / std::numbers::pi;
    return {std::atan2(v.y, v.x) * degrees, std::asin(std::clamp(v.z / length(v), -1.0, 1.0)) * degrees};
}

// Row by row, the inverse of the matrix whose columns are a, b, c; false when singular.
bool invert(Vector a, Vector b, Vector c, std::array<double, 9>& inverse) {
    double determinant = dot(a, cross(b, c));
    if (std::fabs(determinant) < 1e-12) return false;
    Vector rows[3] = {cross(b, c), cross(c, a), cross(a, b)};
    for (int r = 0; r < 3; ++r) {
        inverse[3 * r] = rows[r].x / determinant;
        inverse[3 * r + 1] = rows[r].y / determinant;
        inverse[3 * r + 2] = rows[r].z / determinant;
    }
    return true;
}

// What one bus channel becomes at the speakers: its gain on every channel.
std::vector<double> reach(const Panning& panning, int bus) {
    if (bus < panning.channels) {
        std::vector<double> column(static_cast<std::size_t>(panning.channels), 0.0);
        column[static_cast<std::size_t>(bus)] = 1;
        return column;
    }
    return panning.spread[static_cast<std::size_t>(bus - panning.channels)];
}

PanCell makeCell(const Panning& panning, std::array<int, 3> bus, Vector a, Vector b, Vector c) {
    PanCell cell;
    cell.bus = bus;
    invert(a, b, c, cell.inverse);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            auto u = reach(panning, bus[static_cast<std::size_t>(i)]), v = reach(panning, bus[static_cast<std::size_t>(j)]);
            double sum = 0;
            for (std::size_t k = 0; k < u.size(); ++k) sum += u[k] * v[k];
            cell.power[static_cast<std::size_t>(3 * i + j)] = sum;
        }
    return cell;
}

// The arcs of a ring: between neighbours less than 180 degrees apart; a gap
// of 180 degrees or more is cut in half, each half sounding from its end.
void ringCells(Panning& panning, const std::vector<std::pair<double, int>>& around) {
    const Vector overhead{0, 0, 1};
    for (std::size_t k = 0; k < around.size(); ++k) {
        auto [from, fromChannel] = around[k];
        auto [to, toChannel] = around[(k + 1) % around.size()];
        double gap = to - from + (k + 1 == around.size() ? 360 : 0);
        if (gap < 180) {
            panning.cells.push_back(makeCell(panning, {fromChannel, toChannel, fromChannel}, unitVector({from, 0}),
                                             unitVector({to, 0}), overhead));
            continue;
        }
        // each half in pieces of at most 90 degrees, every corner its end's channel
        int pieces = static_cast<int>(std::ceil(gap / 2 / 90));
        for (int half = 0; half < 2; ++half) {
            int channel = half == 0 ? fromChannel : toChannel;
            for (int piece = 0; piece < pieces; ++piece) {
                double start = from + gap / 2 * (half + static_cast<double>(piece) / pieces);
                double end = from + gap / 2 * (half + static_cast<double>(piece + 1) / pieces);
                panning.cells.push_back(makeCell(panning, {channel, channel, channel}, unitVector({start, 0}),
                                                 unitVector({end, 0}), overhead));
            }
        }
    }
}

struct Face {
    std::vector<int> corners;  // points on the face; three for a triangle, in order round its outward normal
    Vector normal;             // outward
    double offset = 0;         // the plane is normal . x = offset; the origin is inside when offset > 0
};

// The faces of the convex hull of points on the unit sphere, by trying every
// plane through three of them (a layout has tens of speakers, not thousands).
std::vector<Face> hullFaces(const std::vector<Vector>& points) {
    std::vector<Face> faces;
    std::set<std::vector<int>> seen;
    int n = static_cast<int>(points.size());
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            for (int k = j + 1; k < n; ++k) {
                Vector normal = cross(minus(points[j], points[i]), minus(points[k], points[i]));
                if (length(normal) < 1e-9) continue;
                normal = scaled(normal, 1 / length(normal));
                double offset = dot(normal, points[i]);
                bool below = true, above = true;
                for (int m = 0; m < n && (below || above); ++m) {
                    double side = dot(normal, points[m]) - offset;
                    if (side > onPlane) below = false;
                    if (side < -onPlane) above = false;
                }
                if (!below && !above) continue;  // points on both sides: no face
                std::vector<int> on;
                for (int m = 0; m < n; ++m)
                    if (std::fabs(dot(normal, points[m]) - offset) <= onPlane) on.push_back(m);
                if (!below) {
                    normal = scaled(normal, -1);
                    offset = -offset;
                }
                if (!seen.insert(on).second) continue;
                Face face{on, normal, offset};
                if (on.size() == 3 && dot(cross(minus(points[j], points[i]), minus(points[k], points[i])), normal) < 0)
                    face.corners = {i, k, j};
                faces.push_back(face);
            }
    return faces;
}


}  // namespace

std::optional<SpeakerPair> speakersAtOneDirection(const Layout& layout) {
    std::vector<int> speakers = speakerChannels(layout);
    for (std::size_t a = 0; a < speakers.size(); ++a)
        for (std::size_t b = a + 1; b < speakers.size(); ++b)
            if (degreesBetween(layout.channels[static_cast<std::size_t>(speakers[a])].direction,
                               layout.channels[static_cast<std::size_t>(speakers[b])].direction) < sameDirection)
                return SpeakerPair{speakers[a] + 1, speakers[b] + 1};
    return std::nullopt;
}

grain::Outcome<Panning> designPanning(const Layout& layout) {
    Panning panning;
    panning.channels = static_cast<int>(layout.channels.size());
    std::vector<int> speakers = speakerChannels(layout);
    if (speakers.empty()) return grain::because("it has no speaker to pan onto");
    if (auto together = speakersAtOneDirection(layout))
        return grain::because("channels " + std::to_string(together->first) + " and " +
                              std::to_string(together->second) + " stand at the same direction");

    auto directionOfChannel = [&](int channel) { return layout.channels[static_cast<std::size_t>(channel)].direction; };
    bool oneElevation = std::all_of(speakers.begin(), speakers.end(), [&](int c) {
        return directionOfChannel(c).elevation == directionOfChannel(speakers[0]).elevation;
    });
    if ((oneElevation && std::fabs(directionOfChannel(speakers[0]).elevation) < 90) || speakers.size() == 1) {
        panning.ring = true;
        std::vector<std::pair<double, int>> around;
        for (int channel : speakers) {
            double azimuth = std::fmod(directionOfChannel(channel).azimuth, 360.0);
            around.push_back({azimuth < 0 ? azimuth + 360 : azimuth, channel});
        }
        std::stable_sort(around.begin(), around.end());
        ringCells(panning, around);
        return panning;
    }

    // Over the sphere: the speakers, then imaginary ones where the layout leaves a hole.
    std::vector<Vector> points;
    for (int channel : speakers) points.push_back(unitVector(directionOfChannel(channel)));
    auto nearestSpeaker = [&](Direction direction) {
        double nearest = 180;
        for (int channel : speakers) nearest = std::min(nearest, degreesBetween(direction, directionOfChannel(channel)));
        return nearest;
    };
    // the real speakers an imaginary one passes its share to: given, or (empty) those it borders
    std::vector<std::set<int>> givenNeighbours;
    auto addImaginary = [&](Direction direction, std::set<int> sharedBy) {
        panning.imaginary.push_back(direction);
        points.push_back(unitVector(direction));
        givenNeighbours.push_back(std::move(sharedBy));
    };
    for (Direction pole : {Direction{0, -90}, Direction{0, 90}})
        if (nearestSpeaker(pole) > holeAngle) addImaginary(pole, {});
    std::vector<Face> faces;
    bool sidesAdded = false;
    // Each round adds one imaginary speaker: a dome of rings may hold a flat face
    // between every two neighbouring speakers of a ring.
    const int rounds = 4 * static_cast<int>(speakers.size()) + 16;
    for (int round = 0; round < rounds; ++round) {
        faces = hullFaces(points);
        // A face of four or more speakers in one plane (the two back pairs of
        // 7.1.4, one above the other) cannot be cut into triangles alike on
        // both sides: an imaginary speaker midway along its longest edge
        // splits it, its share passed to that edge's two ends alone, so that
        // a grain along the edge still sounds from those two.
        auto flat = std::find_if(faces.begin(), faces.end(), [](const Face& f) { return f.corners.size() > 3; });
        if (flat != faces.end()) {
            int from = -1, to = -1;
            double longest = 0;
            for (std::size_t a = 0; a < flat->corners.size(); ++a)
                for (std::size_t b = a + 1; b < flat->corners.size(); ++b) {
                    Vector u = points[static_cast<std::size_t>(flat->corners[a])], v = points[static_cast<std::size_t>(flat->corners[b])];
                    // only edges of the face: every other corner on one side of the line through u and v
                    Vector across = cross(flat->normal, minus(v, u));
                    bool left = false, right = false;
                    for (int c : flat->corners) {
                        double side = dot(across, minus(points[static_cast<std::size_t>(c)], u));
                        left = left || side > onPlane;
                        right = right || side < -onPlane;
                    }
                    if (left && right) continue;
                    double d = length(minus(u, v));
                    if (d > longest + 1e-12) {
                        longest = d;
                        from = flat->corners[a];
                        to = flat->corners[b];
                    }
                }
            Vector middle = scaled(Vector{points[static_cast<std::size_t>(from)].x + points[static_cast<std::size_t>(to)].x,
                                          points[static_cast<std::size_t>(from)].y + points[static_cast<std::size_t>(to)].y,
                                          points[static_cast<std::size_t>(from)].z + points[static_cast<std::size_t>(to)].z},
                                   0.5);
            if (length(middle) < 1e-6) middle = flat->normal;  // two opposite speakers: the hole's middle is the face's
            std::set<int> ends;
            for (int end : {from, to})
                if (end < static_cast<int>(speakers.size())) ends.insert(end);
            addImaginary(directionOf(middle), ends);
            continue;
        }
        bool surrounds = !faces.empty() && std::all_of(faces.begin(), faces.end(), [](const Face& f) { return f.offset > 1e-6; });
        if (surrounds) break;
        if (sidesAdded) return grain::because("its speakers do not surround the listener and cannot be made to");
        // a half dome or a frontal array in three dimensions: the empty sides too
        for (Direction side : {Direction{180, 0}, Direction{0, 0}, Direction{-90, 0}, Direction{90, 0}})
            if (nearestSpeaker(side) > 90 - 1e-9) addImaginary(side, {});
        sidesAdded = true;
    }
    if (!std::all_of(faces.begin(), faces.end(), [](const Face& f) { return f.corners.size() == 3 && f.offset > 1e-6; }))
        return grain::because("its speakers cannot be cut into triangles");

    const int speakerCount = static_cast<int>(speakers.size());
    auto busOf = [&](int point) { return point < speakerCount ? speakers[static_cast<std::size_t>(point)] : panning.channels + point - speakerCount; };
    // Each imaginary speaker's share goes to the real speakers it borders (or,
    // bordering none, to those its imaginary neighbours border).
    std::vector<std::set<int>> neighbours(points.size());
    for (const auto& face : faces)
        for (int a : face.corners)
            for (int b : face.corners)
                if (a != b) neighbours[static_cast<std::size_t>(a)].insert(b);
    for (int k = 0; k < static_cast<int>(panning.imaginary.size()); ++k) {
        std::set<int> real = givenNeighbours[static_cast<std::size_t>(k)];
        if (real.empty())
            for (int n : neighbours[static_cast<std::size_t>(speakerCount + k)])
            if (n < speakerCount) real.insert(n);
        if (real.empty())
            for (int n : neighbours[static_cast<std::size_t>(speakerCount + k)])
                for (int m : neighbours[static_cast<std::size_t>(n)])
                    if (m < speakerCount) real.insert(m);
        if (real.empty()) return grain::because("an imaginary speaker of its triangles borders no speaker");
        std::vector<double> share(static_cast<std::size_t>(panning.channels), 0.0);
        for (int n : real) share[static_cast<std::size_t>(busOf(n))] = 1 / std::sqrt(static_cast<double>(real.size()));
        panning.spread.push_back(share);
    }
    for (const auto& face : faces) {
        auto [a, b, c] = std::array<int, 3>{face.corners[0], face.corners[1], face.corners[2]};
        panning.triangles.push_back({busOf(a), busOf(b), busOf(c)});
        panning.cells.push_back(makeCell(panning, panning.triangles.back(), points[static_cast<std::size_t>(a)],
                                         points[static_cast<std::size_t>(b)], points[static_cast<std::size_t>(c)]));
    }
    return panning;
}

namespace {

// A grain's cell and its corner gains at unit power: the first cell the grain
// lies in (or, at a seam's rounding, the one it is least outside), its gains
// below 0 taken as 0; no cell when the panning has none.
struct CellGains {
    const PanCell* cell = nullptr;
    std::array<double, 3> gains{};
};

CellGains cellGains(const Panning& panning, Direction direction) {
    Vector p = unitVector(panning.ring ? Direction{direction.azimuth, 0} : direction);
    CellGains pan;
    double bestLeast = -std::numeric_limits<double>::infinity();
    for (const auto& cell : panning.cells) {
        std::array<double, 3> gains;
        for (std::size_t r = 0; r < 3; ++r)
            gains[r] = cell.inverse[3 * r] * p.x + cell.inverse[3 * r + 1] * p.y + cell.inverse[3 * r + 2] * p.z;
        double least = std::min({gains[0], gains[1], gains[2]});
        if (least > bestLeast) {
            bestLeast = least;
            pan = {&cell, gains};
        }
        if (least >= -inCell) break;
    }
    if (!pan.cell) return pan;
    auto& g = pan.gains;
    for (auto& gain : g) gain = std::max(gain, 0.0);
    double power = 0;
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j) power += g[i] * pan.cell->power[3 * i + j] * g[j];
    double norm = power > 0 ? 1 / std::sqrt(power) : 0;
    for (auto& gain : g) gain *= norm;
    return pan;
}

}  // namespace

std::vector<double> panGains(const Panning& panning, Direction direction) {
    CellGains pan = cellGains(panning, direction);
    std::vector<double> out(static_cast<std::size_t>(panning.channels), 0.0);
    if (!pan.cell) return out;
    for (std::size_t i = 0; i < 3; ++i) {
        auto column = reach(panning, pan.cell->bus[i]);
        for (std::size_t c = 0; c < out.size(); ++c) out[c] += pan.gains[i] * column[c];
    }
    return out;
}

std::vector<float> panningGrid(const Panning& panning) {
    std::vector<float> grid;
    grid.reserve(std::size_t{6} * gridAzimuths * gridElevations);
    for (int row = 0; row < gridElevations; ++row)
        for (int azimuth = 0; azimuth < gridAzimuths; ++azimuth) {
            CellGains pan = cellGains(panning, {double(azimuth) / gridSteps, double(row - (gridElevations - 1) / 2) / gridSteps});
            for (int corner : pan.cell ? pan.cell->bus : std::array<int, 3>{}) grid.push_back(static_cast<float>(corner));
            for (double gain : pan.gains) grid.push_back(static_cast<float>(gain));
        }
    return grid;
}

std::string panningMacros(const Panning& panning, const std::string& gridFile) {
    std::vector<double> spread;
    for (const auto& share : panning.spread) spread.insert(spread.end(), share.begin(), share.end());
    if (spread.empty()) spread.push_back(0);  // an array wants one value at least
    std::string text = "; The panning of a layout onto its speakers, written by grainrender for space-pan.inc.\n";
    text += "#define PAN_CHANNELS #" + std::to_string(panning.channels) + "#\n";
    text += "#define PAN_BUS #" + std::to_string(panning.channels + static_cast<int>(panning.imaginary.size())) + "#\n";
    text += "#define PAN_SPREAD #";
    char number[40];
    for (std::size_t k = 0; k < spread.size(); ++k) {
        std::snprintf(number, sizeof number, "%s%.17g", k == 0 ? "" : ", ", spread[k]);
        text += number;
    }
    text += "#\n#define PAN_GRID_STEPS #" + std::to_string(gridSteps) + "#\n";
    text += "#define PAN_GRID #" + gridFile + "#\n";
    return text;
}

}  // namespace space
