#include "resample.hpp"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace render {

namespace {

constexpr long blockFrames = 8192;

using SoundFile = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

}  // namespace

int soundFileRate(const std::string& path) {
    SF_INFO info{};
    SoundFile file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    return file ? info.samplerate : 0;
}

grain::Outcome<> resampleSoundFile(const std::string& from, const std::string& to, int rate) {
    SF_INFO inInfo{};
    SoundFile in(sf_open(from.c_str(), SFM_READ, &inInfo), sf_close);
    if (!in) return grain::because("cannot read the sound file " + from + ": " + sf_strerror(nullptr));
    SF_INFO outInfo{};
    outInfo.channels = inInfo.channels;
    outInfo.samplerate = rate;
    outInfo.format = SF_FORMAT_W64 | SF_FORMAT_FLOAT;
    SoundFile out(sf_open(to.c_str(), SFM_WRITE, &outInfo), sf_close);
    if (!out) return grain::because("cannot write the converted sound file " + to + ": " + sf_strerror(nullptr));

    int error = 0;
    std::unique_ptr<SRC_STATE, SRC_STATE* (*)(SRC_STATE*)> converter(
        src_new(SRC_SINC_BEST_QUALITY, inInfo.channels, &error), src_delete);
    if (!converter) return grain::because(std::string("cannot convert the sound file's rate: ") + src_strerror(error));
    const double ratio = static_cast<double>(rate) / inInfo.samplerate;
    auto channels = static_cast<std::size_t>(inInfo.channels);
    std::vector<float> input(static_cast<std::size_t>(blockFrames) * channels);
    // Room for a block's worth of output at any ratio, and then some.
    auto outFrames = static_cast<long>(blockFrames * ratio) + 64;
    std::vector<float> output(static_cast<std::size_t>(outFrames) * channels);
    SRC_DATA data{};
    data.src_ratio = ratio;
    long pending = 0;  // input frames read but not yet taken by the converter
    bool ended = false;
    for (;;) {
        if (!ended && pending == 0) {
            sf_count_t got = sf_readf_float(in.get(), input.data(), blockFrames);
            pending = static_cast<long>(got);
            ended = got < blockFrames;
        }
        data.data_in = input.data();
        data.input_frames = pending;
        data.data_out = output.data();
        data.output_frames = outFrames;
        data.end_of_input = ended ? 1 : 0;
        if ((error = src_process(converter.get(), &data)) != 0)
            return grain::because(std::string("cannot convert the sound file's rate: ") + src_strerror(error));
        // What the converter did not take moves to the front for the next round.
        if (data.input_frames_used < pending) {
            std::copy(input.begin() + data.input_frames_used * static_cast<long>(channels),
                      input.begin() + pending * static_cast<long>(channels), input.begin());
        }
        pending -= data.input_frames_used;
        if (data.output_frames_gen > 0 &&
            sf_writef_float(out.get(), output.data(), data.output_frames_gen) != data.output_frames_gen)
            return grain::because("cannot write the converted sound file " + to + ": " + sf_strerror(out.get()));
        if (ended && pending == 0 && data.output_frames_gen == 0) break;
    }
    if (sf_close(out.release()) != 0) return grain::because("cannot write the converted sound file " + to);
    return grain::Done{};
}

grain::Outcome<SoundAtRate> soundAtRate(const std::string& path, int rate, const std::string& scratch) {
    SoundAtRate sound;
    sound.path = path;
    int fileRate = soundFileRate(path);
    if (fileRate == 0 || fileRate == rate || rate <= 0) return sound;  // Csound reports a file it cannot read
    sound.copy = std::make_unique<grain::AtomicFile>(fs::path(scratch) / fs::path(path).filename());
    sound.path = sound.copy->temporary().string();
    if (auto converted = resampleSoundFile(path, sound.path, rate); !converted)
        return grain::because(converted.reason());
    sound.note = "the sound file " + fs::path(path).filename().string() + " is at " + std::to_string(fileRate) +
                 " Hz: the render plays a copy converted to " + std::to_string(rate) + " Hz";
    return sound;
}

SoundFileFacts soundFileFacts(const std::string& path) {
    SoundFileFacts facts;
    SF_INFO info{};
    SoundFile file(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    if (!file || info.channels < 1) return facts;
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<double> squares(channels, 0.0);
    std::vector<float> block(static_cast<std::size_t>(blockFrames) * channels);
    long long frames = 0;
    for (sf_count_t got; (got = sf_readf_float(file.get(), block.data(), blockFrames)) > 0;) {
        for (std::size_t k = 0; k < static_cast<std::size_t>(got) * channels; ++k)
            squares[k % channels] += static_cast<double>(block[k]) * block[k];
        frames += got;
    }
    facts.frames = frames;
    facts.rate = info.samplerate;
    for (double sum : squares) facts.rms.push_back(frames > 0 ? std::sqrt(sum / static_cast<double>(frames)) : 0.0);
    return facts;
}

namespace {

// value with one decimal, and its sign when signed.
std::string oneDecimal(double value, bool signed_ = false) {
    char text[32];
    std::snprintf(text, sizeof text, signed_ ? "%+.1f" : "%.1f", value);
    return text;
}

}  // namespace

std::string longSoundNote(const std::string& name, const SoundFileFacts& facts, long long size) {
    return "the sound file " + name + " lasts " + oneDecimal(static_cast<double>(facts.frames) / facts.rate) +
           " s (" + std::to_string(facts.frames) + " samples), more than the score's table 1 of " +
           std::to_string(size) + " samples: the render gives table 1 the file's length (the score file is unchanged)";
}

std::string channelsNote(const std::string& name, const SoundFileFacts& facts) {
    std::string note = "the sound file " + name + " has " + std::to_string(facts.channels()) +
                       " channels: the score reads channel 1 only";
    const double first = facts.rms[0];
    for (std::size_t k = 1; k < facts.channels(); ++k) {
        note += k == 1 ? "; " : ", ";
        note += "channel " + std::to_string(k + 1);
        if (facts.rms[k] == 0.0)
            note += " is silent";
        else if (first == 0.0)
            note += " sounds where channel 1 is silent";
        else
            note += " is at " + oneDecimal(20.0 * std::log10(facts.rms[k] / first), true) + " dB against it";
    }
    return note;
}

}  // namespace render
