#include "layout.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace space {

namespace {

constexpr double radians = std::numbers::pi / 180;

Channel speaker(const char* name, double azimuth, double elevation) {
    return {name, ChannelKind::speaker, {azimuth, elevation}};
}

Channel lfe(const char* name) { return {name, ChannelKind::lfe, {}}; }

// The recommendation's layouts, channels in the order of their mask bits
// (FL 0x1, FR 0x2, FC 0x4, LFE 0x8, BL 0x10, BR 0x20, FLC 0x40, FRC 0x80, BC
// 0x100, SL 0x200, SR 0x400, TC 0x800, TFL 0x1000, TFC 0x2000, TFR 0x4000,
// TBL 0x8000, TBC 0x10000, TBR 0x20000). 22.2 has speakers the mask cannot
// name (a second LFE, the bottom layer): the recommendation's order, mask 0.
std::vector<NamedLayout> makeLayouts() {
    auto fl = speaker("FL", -30, 0), fr = speaker("FR", 30, 0), fc = speaker("FC", 0, 0);
    auto sl110 = speaker("SL", -110, 0), sr110 = speaker("SR", 110, 0);
    return {
        {"", {"0+2+0", {fl, fr}, 0x3}},
        {"5.1", {"0+5+0", {fl, fr, fc, lfe("LFE"), sl110, sr110}, 0x60F}},
        {"", {"2+5+0", {fl, fr, fc, lfe("LFE"), sl110, sr110, speaker("TFL", -30, 30), speaker("TFR", 30, 30)}, 0x560F}},
        {"",
         {"4+5+0",
          {fl, fr, fc, lfe("LFE"), sl110, sr110, speaker("TFL", -30, 30), speaker("TFR", 30, 30), speaker("TBL", -110, 30),
           speaker("TBR", 110, 30)},
          0x2D60F}},
        {"7.1",
         {"0+7+0",
          {fl, fr, fc, lfe("LFE"), speaker("BL", -135, 0), speaker("BR", 135, 0), speaker("SL", -90, 0), speaker("SR", 90, 0)},
          0x63F}},
        {"7.1.4",
         {"4+7+0",
          {fl, fr, fc, lfe("LFE"), speaker("BL", -135, 0), speaker("BR", 135, 0), speaker("SL", -90, 0), speaker("SR", 90, 0),
           speaker("TFL", -45, 30), speaker("TFR", 45, 30), speaker("TBL", -135, 30), speaker("TBR", 135, 30)},
          0x2D63F}},
        {"22.2",
         {"9+10+3",
          {speaker("FL", -60, 0),     speaker("FR", 60, 0),      speaker("FC", 0, 0),        lfe("LFE1"),
           speaker("BL", -135, 0),    speaker("BR", 135, 0),     speaker("FLc", -30, 0),     speaker("FRc", 30, 0),
           speaker("BC", 180, 0),     lfe("LFE2"),               speaker("SiL", -90, 0),     speaker("SiR", 90, 0),
           speaker("TpFL", -45, 30),  speaker("TpFR", 45, 30),   speaker("TpFC", 0, 30),     speaker("TpC", 0, 90),
           speaker("TpBL", -135, 30), speaker("TpBR", 135, 30),  speaker("TpSiL", -90, 30),  speaker("TpSiR", 90, 30),
           speaker("TpBC", 180, 30),  speaker("BtFC", 0, -30),   speaker("BtFL", -45, -30),  speaker("BtFR", 45, -30)},
          0}},
    };
}

}  // namespace

Vector unitVector(Direction direction) {
    double azimuth = direction.azimuth * radians, elevation = direction.elevation * radians;
    return {std::cos(elevation) * std::cos(azimuth), std::cos(elevation) * std::sin(azimuth), std::sin(elevation)};
}

double degreesBetween(Direction a, Direction b) {
    Vector u = unitVector(a), v = unitVector(b);
    double cosine = std::clamp(u.x * v.x + u.y * v.y + u.z * v.z, -1.0, 1.0);
    return std::acos(cosine) / radians;
}

const std::vector<NamedLayout>& namedLayouts() {
    static const std::vector<NamedLayout> layouts = makeLayouts();
    return layouts;
}

std::optional<Layout> namedLayout(const std::string& name) {
    for (const auto& named : namedLayouts())
        if (named.layout.name == name || (!named.alias.empty() && named.alias == name)) return named.layout;
    return std::nullopt;
}

std::vector<int> speakerChannels(const Layout& layout) {
    std::vector<int> channels;
    for (std::size_t k = 0; k < layout.channels.size(); ++k)
        if (layout.channels[k].kind == ChannelKind::speaker) channels.push_back(static_cast<int>(k));
    return channels;
}

}  // namespace space
