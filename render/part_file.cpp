#include "part_file.hpp"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace render {

namespace {

static_assert(std::endian::native == std::endian::little, "W64 holds little-endian numbers: the samples are written as they are in memory");

using Guid = std::array<unsigned char, 16>;

// The chunk names of W64, and the label's chunk, a name of grainrender's own.
constexpr Guid riffGuid = {0x72, 0x69, 0x66, 0x66, 0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr Guid waveGuid = {0x77, 0x61, 0x76, 0x65, 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr Guid fmtGuid = {0x66, 0x6D, 0x74, 0x20, 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr Guid factGuid = {0x66, 0x61, 0x63, 0x74, 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr Guid dataGuid = {0x64, 0x61, 0x74, 0x61, 0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr Guid labelGuid = {0xB8, 0x9A, 0x8E, 0xDF, 0x17, 0xBE, 0xE6, 0x5B, 0x71, 0x21, 0x07, 0x3F, 0x0C, 0x45, 0xAF, 0xDF};

constexpr std::uint64_t chunkHeader = 24;  // a chunk's name and its size, which counts the header
constexpr long riffSizeAt = 16;
constexpr long factFramesAt = 104;
constexpr std::uint16_t floatFormat = 3;    // WAVE_FORMAT_IEEE_FLOAT
constexpr std::uint64_t longestLabel = 4096;

std::uint64_t padded(std::uint64_t size) { return (size + 7) & ~std::uint64_t{7}; }

void put(std::string& bytes, const Guid& guid) { bytes.append(reinterpret_cast<const char*>(guid.data()), guid.size()); }

template <typename Number>
void put(std::string& bytes, Number value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

grain::Reason PartFileWriter::fail(const std::string& what) {
    if (status_) status_ = grain::because("cannot write " + path_ + ": " + what);
    return grain::because(status_.reason());
}

PartFileWriter::PartFileWriter(const std::string& path, int channels) : path_(path), channels_(channels) {}

grain::Outcome<PartFileWriter> PartFileWriter::create(const std::string& path, int channels, int rate,
                                                      const std::string& label) {
    PartFileWriter writer(path, channels);
    writer.file_.reset(std::fopen(path.c_str(), "wb"));
    if (!writer.file_) return writer.fail(std::strerror(errno));
    const auto blockAlign = static_cast<std::uint16_t>(static_cast<std::size_t>(channels) * sizeof(float));
    std::string header;
    put(header, riffGuid);
    put(header, std::uint64_t{0});  // the file's size, filled in by close
    put(header, waveGuid);
    put(header, fmtGuid);
    put(header, chunkHeader + 16);
    put(header, floatFormat);
    put(header, static_cast<std::uint16_t>(channels));
    put(header, static_cast<std::uint32_t>(rate));
    put(header, static_cast<std::uint32_t>(rate) * blockAlign);
    put(header, blockAlign);
    put(header, std::uint16_t{32});
    put(header, factGuid);
    put(header, chunkHeader + 8);
    put(header, std::uint64_t{0});  // the frames, filled in by close
    put(header, labelGuid);
    put(header, chunkHeader + label.size());
    header += label;
    header.append(padded(label.size()) - label.size(), '\0');
    put(header, dataGuid);
    put(header, std::uint64_t{0});  // the samples' size, filled in by close
    writer.dataStart_ = static_cast<long>(header.size());
    if (std::fwrite(header.data(), 1, header.size(), writer.file_.get()) != header.size())
        return writer.fail(std::strerror(errno));
    return writer;
}

grain::Outcome<> PartFileWriter::write(const float* samples, long long frames) {
    if (!status_) return status_;
    if (frames == 0) return grain::Done{};
    auto count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_);
    if (std::fwrite(samples, sizeof(float), count, file_.get()) != count) return fail(std::strerror(errno));
    frames_ += frames;
    return grain::Done{};
}

grain::Outcome<> PartFileWriter::close() {
    if (!file_ || !status_) {
        file_.reset();
        return fail("it is not open");
    }
    auto samples = static_cast<std::uint64_t>(frames_) * static_cast<std::uint64_t>(channels_) * sizeof(float);
    std::uint64_t fileSize = static_cast<std::uint64_t>(dataStart_) + samples;
    std::uint64_t dataSize = chunkHeader + samples;
    auto frames = static_cast<std::uint64_t>(frames_);
    auto patch = [&](long at, std::uint64_t value) {
        return std::fseek(file_.get(), at, SEEK_SET) == 0 && std::fwrite(&value, sizeof value, 1, file_.get()) == 1;
    };
    bool written = patch(riffSizeAt, fileSize) && patch(factFramesAt, frames) &&
                   patch(dataStart_ - static_cast<long>(sizeof(std::uint64_t)), dataSize) && std::fflush(file_.get()) == 0;
    if (!written) fail(std::strerror(errno));
    if (std::fclose(file_.release()) != 0 && written) fail(std::strerror(errno));
    return status_;
}

std::optional<std::string> readPartLabelText(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return std::nullopt;
    Guid guid{};
    std::uint64_t size = 0;
    auto readChunkHeader = [&] {
        return std::fread(guid.data(), 1, guid.size(), file.get()) == guid.size() &&
               std::fread(&size, sizeof size, 1, file.get()) == 1;
    };
    if (!readChunkHeader() || guid != riffGuid) return std::nullopt;
    if (std::fread(guid.data(), 1, guid.size(), file.get()) != guid.size() || guid != waveGuid) return std::nullopt;
    // The chunks one after the other, each starting on a multiple of 8 bytes.
    while (readChunkHeader() && size >= chunkHeader) {
        if (guid == labelGuid) {
            if (size > chunkHeader + longestLabel) return std::nullopt;
            std::string text(size - chunkHeader, '\0');
            if (std::fread(text.data(), 1, text.size(), file.get()) != text.size()) return std::nullopt;
            return text;
        }
        if (guid == dataGuid) return std::nullopt;  // the label comes before the samples
        if (std::fseek(file.get(), static_cast<long>(padded(size) - chunkHeader), SEEK_CUR) != 0) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace render
