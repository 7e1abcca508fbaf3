#include "containers.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "atomic_file.hpp"

namespace fs = std::filesystem;

namespace render {

namespace {

constexpr long long blockFrames = 8192;

const std::array<Container, 6> containers = {{
    // A .wav is RF64 with the WAV header it falls back to when it fits in 4 GB:
    // every reader of WAV reads it, and a long render is not cut off.
    {".wav", SF_FORMAT_RF64 | SF_FORMAT_FLOAT, 0},
    {".caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0},
    {".w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT, 0},
    {".aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 0},
    {".aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 0},
    {".flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 8},
}};

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::uint32_t littleEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
}

// Sets the channel mask of the extensible fmt chunk of a closed WAV or RF64
// file. libsndfile chooses the mask from the channel count alone (quad for 4
// channels, 7.1 for 8) and has no command to say "no speaker positions", so
// the mask is written into the header it made. False when the file has no
// extensible fmt chunk.
bool setChannelMask(const fs::path& path, std::uint32_t mask) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char chunk[8];
    // Chunks follow the 12-byte RIFF (or RF64) header; each id and size is
    // followed by its data, padded to an even length.
    for (std::streamoff at = 12; file.seekg(at) && file.read(reinterpret_cast<char*>(chunk), 8);) {
        std::uint32_t size = littleEndian32(chunk + 4);
        if (std::equal(chunk, chunk + 4, "fmt ")) {
            unsigned char fmt[40];
            if (size != 40 || !file.read(reinterpret_cast<char*>(fmt), 40) || fmt[0] != 0xFE || fmt[1] != 0xFF)
                return false;
            const unsigned char bytes[4] = {static_cast<unsigned char>(mask), static_cast<unsigned char>(mask >> 8),
                                            static_cast<unsigned char>(mask >> 16), static_cast<unsigned char>(mask >> 24)};
            file.seekp(at + 8 + 20);  // wFormatTag, nChannels, nSamplesPerSec, nAvgBytesPerSec, nBlockAlign,
                                      // wBitsPerSample, cbSize, wValidBitsPerSample: 20 bytes before the mask
            file.write(reinterpret_cast<const char*>(bytes), 4);
            return static_cast<bool>(file.flush());
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

}  // namespace

std::optional<Container> containerOf(const std::string& path) {
    std::string extension = lowerCase(fs::path(path).extension().string());
    for (const auto& container : containers)
        if (container.extension == extension) return container;
    return std::nullopt;
}

grain::Outcome<Container> checkContainer(const std::string& path, int channels) {
    auto container = containerOf(path);
    if (!container)
        return grain::because("the output " + path +
                              " has no known sound file extension: .wav, .caf, .w64, .aiff or .flac");
    if (container->maxChannels != 0 && channels > container->maxChannels)
        return grain::because("a " + container->extension + " file holds at most " +
                              std::to_string(container->maxChannels) + " channels, the render has " +
                              std::to_string(channels) + ": choose .wav, .caf or .w64");
    return *container;
}

grain::Outcome<SoundSummary> writeContainer(const std::string& from, const std::string& output, std::uint32_t mask,
                                            double gain) {
    if (auto named = checkContainer(output, 0); !named) return grain::because(named.reason());
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> in(sf_open(from.c_str(), SFM_READ, &info), sf_close);
    if (!in) return grain::because("cannot read the mixed render " + from + ": " + sf_strerror(nullptr));
    auto container = checkContainer(output, info.channels);
    if (!container) return grain::because(container.reason());

    grain::AtomicFile file(output);
    SF_INFO outInfo{};
    outInfo.channels = info.channels;
    outInfo.samplerate = info.samplerate;
    outInfo.format = container->format;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> out(sf_open(file.temporary().c_str(), SFM_WRITE, &outInfo), sf_close);
    if (!out) return grain::because("cannot write the output file " + output + ": " + sf_strerror(nullptr));
    if ((container->format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64)
        sf_command(out.get(), SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // A fixed-point file clips what passes full scale instead of wrapping round.
    sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    SoundSummary summary;
    summary.channels = info.channels;
    summary.rate = info.samplerate;
    auto channels = static_cast<std::size_t>(info.channels);
    summary.peaks.assign(channels, 0.0);
    std::vector<float> block(static_cast<std::size_t>(blockFrames) * channels);
    for (;;) {
        sf_count_t got = sf_readf_float(in.get(), block.data(), blockFrames);
        if (got <= 0) break;
        auto samples = static_cast<std::size_t>(got) * channels;
        for (std::size_t s = 0; s < samples; ++s) {
            if (gain != 1.0) block[s] = static_cast<float>(block[s] * gain);
            summary.peaks[s % channels] = std::max(summary.peaks[s % channels], std::fabs(static_cast<double>(block[s])));
        }
        if (sf_writef_float(out.get(), block.data(), got) != got)
            return grain::because("cannot write the output file " + output + ": " + sf_strerror(out.get()));
        summary.frames += got;
    }
    if (summary.frames != info.frames)
        return grain::because("cannot read the mixed render " + from + ": " + sf_strerror(in.get()));
    sf_write_sync(out.get());
    if (sf_error(out.get()) != SF_ERR_NO_ERROR || sf_close(out.release()) != 0)
        return grain::because("cannot write the output file " + output);
    if (container->extension == ".wav" && !setChannelMask(file.temporary(), mask))
        return grain::because("cannot write the channel mask of " + output);
    if (auto done = file.commit(); !done)
        return grain::because("cannot write the output file " + output + ": " + done.reason());
    return summary;
}

}  // namespace render
