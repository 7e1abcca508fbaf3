#include "loudness.hpp"

#include <ebur128.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace render {

namespace {

constexpr long long blockFrames = 8192;

}  // namespace

grain::Outcome<double> integratedLoudness(const std::string& path, ChannelLayout layout) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    if (!file) return grain::because("cannot read the mixed render " + path + ": " + sf_strerror(nullptr));
    auto channels = static_cast<unsigned>(info.channels);
    std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> meter(
        ebur128_init(channels, static_cast<unsigned long>(info.samplerate), EBUR128_MODE_I),
        [](ebur128_state* state) { ebur128_destroy(&state); });
    if (!meter)
        return grain::because("cannot measure the loudness of " + std::to_string(channels) + " channels at " +
                              std::to_string(info.samplerate) + " Hz");
    for (unsigned c = 0; c < channels; ++c) {
        int channel = EBUR128_CENTER;  // weight 1
        if (layout == ChannelLayout::pair) channel = c == 0 ? EBUR128_LEFT : EBUR128_RIGHT;
        if (layout == ChannelLayout::ambisonic && c > 0) channel = EBUR128_UNUSED;
        ebur128_set_channel(meter.get(), c, channel);
    }
    std::vector<float> block(static_cast<std::size_t>(blockFrames) * channels);
    sf_count_t total = 0;
    for (sf_count_t got; (got = sf_readf_float(file.get(), block.data(), blockFrames)) > 0; total += got)
        ebur128_add_frames_float(meter.get(), block.data(), static_cast<std::size_t>(got));
    if (total != info.frames)
        return grain::because("cannot read the mixed render " + path + ": " + sf_strerror(file.get()));
    double loudness = -HUGE_VAL;
    ebur128_loudness_global(meter.get(), &loudness);
    return loudness;
}

grain::Outcome<GainChoice> chooseGain(const LevelTarget& target, const std::string& path, const SoundSummary& summary,
                                      ChannelLayout layout) {
    GainChoice choice;
    if (target.kind == LevelTarget::Kind::none) return choice;
    if (target.kind == LevelTarget::Kind::peak) {
        double peak = summary.peaks.empty() ? 0.0 : *std::max_element(summary.peaks.begin(), summary.peaks.end());
        if (peak > 0)
            choice.gain = std::pow(10.0, target.level / 20) / peak;
        else
            choice.warning = "the render is silent: it has no peak to normalise";
        return choice;
    }
    auto loudness = integratedLoudness(path, layout);
    if (!loudness) return grain::because(loudness.reason());
    if (std::isfinite(*loudness))
        choice.gain = std::pow(10.0, (target.level - *loudness) / 20);
    else
        choice.warning = "the render is too quiet to measure its loudness (below -70 LUFS throughout)";
    return choice;
}

std::string gainText(double gain) {
    char text[48];
    std::snprintf(text, sizeof text, "gain %+.2f dB", 20 * std::log10(gain));
    return text;
}

}  // namespace render
