#include "ambisonic_decoding.hpp"

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace render {

grain::Outcome<SoundSummary> decodeAmbisonics(const std::string& from, const std::string& to,
                                              const space::AmbisonicDecoder& decoder) {
    constexpr sf_count_t blockFrames = 8192;
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> in(sf_open(from.c_str(), SFM_READ, &info), sf_close);
    if (!in) return grain::because("cannot read the Ambisonics file " + from + ": " + sf_strerror(nullptr));
    const auto components = static_cast<std::size_t>((decoder.order + 1) * (decoder.order + 1));
    if (static_cast<std::size_t>(info.channels) != components)
        return grain::because("the Ambisonics file " + from + " has " + std::to_string(info.channels) +
                              " channels, not " + std::to_string(components));
    const std::size_t channels = decoder.gains.size();
    SF_INFO outInfo{};
    outInfo.channels = static_cast<int>(channels);
    outInfo.samplerate = info.samplerate;
    outInfo.format = SF_FORMAT_W64 | SF_FORMAT_FLOAT;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> out(sf_open(to.c_str(), SFM_WRITE, &outInfo), sf_close);
    if (!out) return grain::because("cannot write the decoded render " + to + ": " + sf_strerror(nullptr));

    SoundSummary summary;
    summary.channels = outInfo.channels;
    summary.rate = info.samplerate;
    summary.peaks.assign(channels, 0.0);
    std::vector<float> block(static_cast<std::size_t>(blockFrames) * components);
    std::vector<float> decoded(static_cast<std::size_t>(blockFrames) * channels);
    for (sf_count_t got; (got = sf_readf_float(in.get(), block.data(), blockFrames)) > 0;) {
        for (std::size_t frame = 0; frame < static_cast<std::size_t>(got); ++frame) {
            const float* field = &block[frame * components];
            for (std::size_t c = 0; c < channels; ++c) {
                double sum = 0;
                for (std::size_t a = 0; a < components; ++a) sum += decoder.gains[c][a] * field[a];
                decoded[frame * channels + c] = static_cast<float>(sum);
                summary.peaks[c] = std::max(summary.peaks[c], std::fabs(sum));
            }
        }
        if (sf_writef_float(out.get(), decoded.data(), got) != got)
            return grain::because("cannot write the decoded render " + to + ": " + sf_strerror(out.get()));
        summary.frames += got;
    }
    if (summary.frames != info.frames)
        return grain::because("cannot read the Ambisonics file " + from + ": " + sf_strerror(in.get()));
    if (sf_close(out.release()) != 0) return grain::because("cannot write the decoded render " + to);
    return summary;
}

std::string decoderGainsText(const space::Layout& layout, const space::AmbisonicDecoder& decoder) {
    std::string text = "decoder of order " + std::to_string(decoder.order) + " to " + layout.name +
                       ", gains per channel in ACN order:\n";
    char number[32];
    for (std::size_t c = 0; c < decoder.gains.size(); ++c) {
        std::string name = layout.channels[c].name;
        text += "  " + name + std::string(name.size() < 6 ? 6 - name.size() : 1, ' ');
        for (double g : decoder.gains[c]) {
            std::snprintf(number, sizeof number, " %8.5f", g);
            text += number;
        }
        text += "\n";
    }
    return text;
}

}  // namespace render
