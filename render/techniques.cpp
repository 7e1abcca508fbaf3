#include "techniques.hpp"

namespace render {

namespace {

constexpr std::uint32_t frontLeftRight = 0x1 | 0x2;  // SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT

std::vector<Technique> makeTechniques() {
    std::vector<Technique> all = {
        {"stereo", "", 2, "space-stereo.inc", frontLeftRight, ChannelLayout::pair, false, std::nullopt},
        {"binaural", "", 2, "space-binaural.inc", frontLeftRight, ChannelLayout::pair, false, std::nullopt},
        {"ambix1", "", 4, "space-ambix1.inc", 0, ChannelLayout::ambisonic, false, std::nullopt},
        {"ambix3", "", 16, "space-ambix3.inc", 0, ChannelLayout::ambisonic, false, std::nullopt},
        {"ring8", "", 8, "space-ring8.inc", 0, ChannelLayout::speakers, false, std::nullopt},
        {"speakers", "", 0, "space-layout.inc", 0, ChannelLayout::speakers, true, std::nullopt},
    };
    for (const auto& named : space::namedLayouts())
        all.push_back({named.layout.name, named.alias, static_cast<int>(named.layout.channels.size()), "space-layout.inc",
                       named.layout.mask, ChannelLayout::speakers, false, named.layout});
    return all;
}

}  // namespace

const std::vector<Technique>& techniques() {
    static const std::vector<Technique> all = makeTechniques();
    return all;
}

const Technique* findTechnique(const std::string& name) {
    for (const auto& technique : techniques())
        if (technique.name == name || (!technique.alias.empty() && technique.alias == name)) return &technique;
    return nullptr;
}

std::string spaceMacro(const Technique& technique) {
    const std::string& include = technique.include;  // "space-<macro>.inc"
    return include.substr(6, include.size() - 6 - 4);
}

std::string techniqueNames() {
    std::string names;
    for (const auto& technique : techniques()) {
        if (technique.speakerFile) continue;  // --speakers names it
        names.append(names.empty() ? "" : ", ").append(technique.name);
        if (!technique.alias.empty()) names.append(" (" + technique.alias + ")");
    }
    return names;
}

ChannelLayout layoutOf(const std::string& space, int channels) {
    if (const Technique* technique = findTechnique(space)) return technique->kind;
    if (channels == 2) return ChannelLayout::pair;
    if (channels == 4 || channels == 16) return ChannelLayout::ambisonic;
    return ChannelLayout::speakers;
}

std::uint32_t maskOf(const std::string& space, int channels) {
    if (const Technique* technique = findTechnique(space)) return technique->mask;
    return channels == 2 ? frontLeftRight : 0;
}

}  // namespace render
