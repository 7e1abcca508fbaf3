#include "sound_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "atomic_file.hpp"

namespace fs = std::filesystem;

namespace render {

namespace {

constexpr long long blockFrames = 8192;
constexpr std::uint64_t wavLimitBytes = 0xFFFFFFFFull - 4096;  // RIFF sizes are 32-bit; room for the header

// A float sound file of the format open at path, or what libsndfile said when it could not be made.
grain::Outcome<SoundWriter> openWriter(const std::string& path, int channels, int rate, int format) {
    SoundWriter writer;
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format | SF_FORMAT_FLOAT;
    writer.file.reset(sf_open(path.c_str(), SFM_WRITE, &info));
    writer.channels = channels;
    if (!writer.file) return grain::because(sf_strerror(nullptr));
    return writer;
}

}  // namespace

grain::Outcome<> writeFrames(SoundWriter& writer, const float* samples, long long frames) {
    if (frames == 0 || sf_writef_float(writer.file.get(), samples, frames) == frames) return grain::Done{};
    return grain::because(std::string("cannot write the sound file: ") + sf_strerror(writer.file.get()));
}

grain::Outcome<> closeWriter(SoundWriter& writer) {
    if (!writer.file) return grain::because("");
    sf_write_sync(writer.file.get());
    if (sf_error(writer.file.get()) != SF_ERR_NO_ERROR) {
        std::string why = std::string("cannot write the sound file: ") + sf_strerror(writer.file.get());
        writer.file.reset();
        return grain::because(why);
    }
    if (sf_close(writer.file.release()) != 0) return grain::because("");
    return grain::Done{};
}

grain::Outcome<> writeTableFile(const std::string& path, const std::vector<float>& frames, int channels, int rate) {
    auto writer = openWriter(path, channels, rate, SF_FORMAT_W64);
    if (!writer) return grain::because("cannot write " + path + ": " + writer.reason());
    auto written = writeFrames(*writer, frames.data(), static_cast<long long>(frames.size()) / channels);
    if (written) written = closeWriter(*writer);
    if (!written) return grain::because("cannot write " + path);
    return grain::Done{};
}

grain::Outcome<> checkOutputFile(const std::string& path) {
    if (fs::is_directory(path)) return grain::because("cannot write the output file " + path + ": it is a folder");
    grain::AtomicFile probe(path);  // removes what it made when it goes
    std::ofstream file(probe.temporary(), std::ios::binary);
    if (!file) return grain::because("cannot write the output file " + path + ": " + std::strerror(errno));
    return grain::Done{};
}

grain::Outcome<SoundSummary> mixSoundFiles(const std::vector<std::string>& parts, const std::string& out) {
    struct Input {
        std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file{nullptr, sf_close};
        SF_INFO info{};
    };
    std::vector<Input> inputs(parts.size());
    SoundSummary summary;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        inputs[i].file.reset(sf_open(parts[i].c_str(), SFM_READ, &inputs[i].info));
        if (!inputs[i].file) return grain::because("cannot read the part file " + parts[i] + ": " + sf_strerror(nullptr));
        const auto& info = inputs[i].info;
        if (i == 0) {
            summary.channels = info.channels;
            summary.rate = info.samplerate;
        } else if (info.channels != summary.channels || info.samplerate != summary.rate) {
            return grain::because("the part file " + parts[i] + " has " + std::to_string(info.channels) +
                                  " channels at " + std::to_string(info.samplerate) + " Hz, " + parts[0] + " has " +
                                  std::to_string(summary.channels) + " at " + std::to_string(summary.rate) + " Hz");
        }
        summary.frames = std::max<long long>(summary.frames, info.frames);
    }
    auto channels = static_cast<std::size_t>(summary.channels);
    summary.w64 = static_cast<std::uint64_t>(summary.frames) * channels * sizeof(float) > wavLimitBytes;
    grain::AtomicFile file(out);
    auto opened = openWriter(file.temporary().string(), summary.channels, summary.rate, summary.w64 ? SF_FORMAT_W64 : SF_FORMAT_WAV);
    if (!opened) return grain::because("cannot write the output file " + out + ": " + opened.reason());
    SoundWriter& writer = *opened;
    auto fail = [&](const std::string& why) {
        writer.file.reset();
        file.discard();
        return grain::Outcome<SoundSummary>(grain::because(why));
    };
    std::vector<double> sum(static_cast<std::size_t>(blockFrames) * channels);
    std::vector<float> block(sum.size());
    std::vector<float> mixed(sum.size());
    summary.peaks.assign(channels, 0.0);
    for (long long done = 0; done < summary.frames; done += blockFrames) {
        long long frames = std::min(blockFrames, summary.frames - done);
        std::fill(sum.begin(), sum.end(), 0.0);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            long long got = sf_readf_float(inputs[i].file.get(), block.data(), frames);
            if (got < 0 || (got < frames && done + got < inputs[i].info.frames))
                return fail("cannot read the part file " + parts[i] + ": " + sf_strerror(inputs[i].file.get()));
            for (std::size_t s = 0; s < static_cast<std::size_t>(got) * channels; ++s) sum[s] += block[s];
        }
        for (std::size_t s = 0; s < static_cast<std::size_t>(frames) * channels; ++s) {
            mixed[s] = static_cast<float>(sum[s]);
            summary.peaks[s % channels] = std::max(summary.peaks[s % channels], std::fabs(static_cast<double>(mixed[s])));
        }
        if (auto written = writeFrames(writer, mixed.data(), frames); !written)
            return fail("cannot write the output file " + out + ": " + written.reason());
    }
    if (auto closed = closeWriter(writer); !closed) return fail("cannot write the output file " + out + ": " + closed.reason());
    if (auto done = file.commit(); !done) return grain::because(done.reason());
    return summary;
}

}  // namespace render
