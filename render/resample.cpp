#include "resample.hpp"

#include <samplerate.h>
#include <sndfile.h>

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

std::string resampleSoundFile(const std::string& from, const std::string& to, int rate) {
    SF_INFO inInfo{};
    SoundFile in(sf_open(from.c_str(), SFM_READ, &inInfo), sf_close);
    if (!in) return "cannot read the sound file " + from + ": " + sf_strerror(nullptr);
    SF_INFO outInfo{};
    outInfo.channels = inInfo.channels;
    outInfo.samplerate = rate;
    outInfo.format = SF_FORMAT_W64 | SF_FORMAT_FLOAT;
    SoundFile out(sf_open(to.c_str(), SFM_WRITE, &outInfo), sf_close);
    if (!out) return "cannot write the converted sound file " + to + ": " + sf_strerror(nullptr);

    int error = 0;
    std::unique_ptr<SRC_STATE, SRC_STATE* (*)(SRC_STATE*)> converter(
        src_new(SRC_SINC_BEST_QUALITY, inInfo.channels, &error), src_delete);
    if (!converter) return std::string("cannot convert the sound file's rate: ") + src_strerror(error);
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
            return std::string("cannot convert the sound file's rate: ") + src_strerror(error);
        // What the converter did not take moves to the front for the next round.
        if (data.input_frames_used < pending) {
            std::copy(input.begin() + data.input_frames_used * static_cast<long>(channels),
                      input.begin() + pending * static_cast<long>(channels), input.begin());
        }
        pending -= data.input_frames_used;
        if (data.output_frames_gen > 0 &&
            sf_writef_float(out.get(), output.data(), data.output_frames_gen) != data.output_frames_gen)
            return "cannot write the converted sound file " + to + ": " + sf_strerror(out.get());
        if (ended && pending == 0 && data.output_frames_gen == 0) break;
    }
    if (sf_close(out.release()) != 0) return "cannot write the converted sound file " + to;
    return "";
}

SoundAtRate soundAtRate(const std::string& path, int rate, const std::string& scratch) {
    SoundAtRate sound;
    sound.path = path;
    int fileRate = soundFileRate(path);
    if (fileRate == 0 || fileRate == rate || rate <= 0) return sound;  // Csound reports a file it cannot read
    sound.copy = std::make_unique<grain::AtomicFile>(fs::path(scratch) / fs::path(path).filename());
    sound.path = sound.copy->temporary().string();
    sound.error = resampleSoundFile(path, sound.path, rate);
    if (sound.error.empty())
        sound.note = "the sound file " + fs::path(path).filename().string() + " is at " + std::to_string(fileRate) +
                     " Hz: the render plays a copy converted to " + std::to_string(rate) + " Hz";
    return sound;
}

}  // namespace render
