// A speaker layout: the channels of a sound file for a room's speakers, in
// the file's order, each a speaker at a direction, a low-frequency effects
// channel (LFE) or a silent one, and the WAV channel mask that names them.
// The standard layouts of the broadcasting recommendation are here by name
// (0+5+0 or 5.1, 4+7+0 or 7.1.4, ...), with the recommendation's nominal
// directions and their channels in the order of their bits in the mask.
//
// Directions are in degrees: azimuth clockwise from the front (90 right, -90
// left, 180 behind), elevation up positive. As a vector, x points ahead, y to
// the right and z up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace space {

// A direction seen from the listener, degrees.
struct Direction {
    double azimuth = 0;
    double elevation = 0;
};

// A direction as a vector: x ahead, y right, z up.
struct Vector {
    double x = 0, y = 0, z = 0;
};

// The unit vector of a direction.
Vector unitVector(Direction direction);

// The angle between two directions, degrees from 0 to 180.
double degreesBetween(Direction a, Direction b);

// What a channel of a layout carries.
enum class ChannelKind {
    speaker,  // a full-range speaker at its direction: the grains are panned onto it
    lfe,      // the low-frequency effects channel: kept silent (bass management is the studio's)
    silent,   // a channel the layout keeps in place but leaves silent
};

struct Channel {
    std::string name;       // "FL", "LFE", "3" for a speaker file's third channel
    ChannelKind kind = ChannelKind::speaker;
    Direction direction;    // a speaker's; nothing for the others
};

struct Layout {
    std::string name;               // "4+7+0", or the speaker file's name
    std::vector<Channel> channels;  // in the file's channel order
    std::uint32_t mask = 0;         // the WAV channel mask; 0 names no speaker positions
};

// A standard layout and the other name it goes by.
struct NamedLayout {
    std::string alias;  // "7.1.4", or empty
    Layout layout;
};

// The standard layouts, fewest channels first.
const std::vector<NamedLayout>& namedLayouts();

// The standard layout of a name or alias ("4+7+0" or "7.1.4"); none otherwise.
std::optional<Layout> namedLayout(const std::string& name);

// The channels (from 0) of a layout that are speakers, in channel order.
std::vector<int> speakerChannels(const Layout& layout);

}  // namespace space
