#include "coordinate_files.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decimal_reader.hpp"

namespace grain {

namespace {

// Reads the numbers of one coordinate file through a buffer that is refilled
// in blocks; a number is never split, however long it is.
class NumberStream {
public:
    // buffer is lent for the stream's life; it holds at least 64 KiB.
    NumberStream(std::FILE* file, std::vector<char>& buffer) : file_(file), buffer_(buffer) {
        if (buffer_.size() < (1u << 16)) buffer_.resize(1u << 16);
    }

    enum class Result { value, end, bad };

    // Reads values into samples until limit of them are read, the file ends
    // or something is not a value; returns how many were read and, in
    // stopped, what came after them (value when the limit stopped it).
    int read(float* samples, int limit, Result& stopped) {
        int count = 0;
        stopped = Result::value;
        while (count < limit) {
            // Most values are read in place, in batches; the rest (the last
            // few of a block, or values of another shape) one by one.
            const char* text = buffer_.data();
            CommonReals batch = parseCommonReals(text + pos_, text + end_, samples + count, limit - count);
            count += batch.count;
            pos_ = static_cast<std::size_t>(batch.end - text);
            if (count == limit) break;
            Result result = next(samples[count]);
            if (result != Result::value) {
                stopped = result;
                return count;
            }
            ++count;
        }
        return count;
    }

private:
    // The next value, the end of the file, or something that is not a value.
    Result next(float& value) {
        for (;;) {  // skip white space
            while (pos_ != end_ && isBlank(buffer_[pos_])) ++pos_;
            if (pos_ != end_) break;
            if (!refill()) return Result::end;
        }
        // The parse looks at most three characters past what it takes (a
        // sign, a point, an exponent marker and its sign); when those are all
        // in the buffer, or the file has no more, the number is complete.
        const char* text = buffer_.data();
        RealParse parse = parseReal(text + pos_, text + end_);
        const char* looked = parse.status == NumberStatus::notANumber ? text + pos_ : parse.end;
        if (!atEnd_ && text + end_ - looked < 3) {
            // The number may go on in the next block: make sure the buffer
            // holds its whole word, then read it again.
            std::size_t stop = pos_;
            for (;;) {
                while (stop != end_ && !isBlank(buffer_[stop])) ++stop;
                if (stop != end_ || atEnd_) break;
                std::size_t offset = stop - pos_;
                refill();
                stop = pos_ + offset;
            }
            text = buffer_.data();
            parse = parseReal(text + pos_, text + stop);
        }
        if (parse.status != NumberStatus::ok) return Result::bad;
        pos_ = static_cast<std::size_t>(parse.end - text);
        value = parse.value;
        return Result::value;
    }

    // Keeps the unread bytes, grows the buffer when they fill it, and reads more.
    bool refill() {
        if (atEnd_) return false;
        std::size_t kept = end_ - pos_;
        if (kept != 0 && pos_ != 0) std::memmove(buffer_.data(), buffer_.data() + pos_, kept);
        pos_ = 0;
        end_ = kept;
        if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
        std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
        end_ += got;
        if (got == 0) atEnd_ = true;
        if (!started_) {
            // A file saved by some Windows tools starts with the UTF-8
            // byte-order mark: passed over as if it were not there.
            started_ = true;
            if (end_ >= 3 && std::memcmp(buffer_.data(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
        }
        return got != 0;
    }

    std::FILE* file_;
    std::vector<char>& buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool atEnd_ = false;
    bool started_ = false;
};

std::FILE* openForReading(const std::filesystem::path& path) { return std::fopen(path.string().c_str(), "r"); }

void closeFile(std::FILE*& file) {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
}

}  // namespace

std::filesystem::path fixedCoordinateFolder() {
#ifdef _WIN32
    return std::filesystem::path("D:\\Max\\bg");
#else
    return std::filesystem::path("/mnt/d/Max/bg");
#endif
}

std::filesystem::path coordinateFilePath(const std::filesystem::path& folder, int voice, char letter) {
    return folder / ("bg" + std::to_string(voice) + letter + ".txt");
}

std::optional<VoiceFiles> loadTrajectory(int voice, Trajectory& trajectory, const std::filesystem::path& folder,
                                         Program program, std::ostream& console) {
    console << "writing voice " << voice << (program == Program::additive ? " " : " \n");
    std::filesystem::path paths[3] = {coordinateFilePath(folder, voice, 'a'), coordinateFilePath(folder, voice, 'e'),
                                      coordinateFilePath(folder, voice, 'd')};
    VoiceFiles files{openForReading(paths[0]), openForReading(paths[1]), openForReading(paths[2])};
    if (files.azimuth == nullptr || files.elevation == nullptr || files.distance == nullptr) {
        console << "Program quitting due to missing Boids input files!\n"
                << "Please ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n";
        closeVoiceFiles(files);
        return std::nullopt;
    }

    // The voice's data are the samples that all three files hold, up to the
    // capacity. Where they end, the distance file's end ends them quietly;
    // otherwise the first file (azimuth, elevation, distance) without a value
    // there is named. Each file is read on its own, the distance file first:
    // the others are read only one value beyond what the files before them
    // hold, enough to know what each has where the data end.
    thread_local std::vector<char> buffer;  // serves every file of the run
    float* arrays[3] = {trajectory.azimuth.data(), trajectory.elevation.data(), trajectory.distance.data()};
    std::FILE* opened[3] = {files.azimuth, files.elevation, files.distance};
    NumberStream::Result stopped[3];
    int counts[3];
    int count = trajectoryCapacity;
    for (int c : {2, 0, 1}) {
        NumberStream stream(opened[c], buffer);
        int limit = c == 2 ? trajectoryCapacity : std::min(count + 1, trajectoryCapacity);
        counts[c] = stream.read(arrays[c], limit, stopped[c]);
        count = std::min(count, counts[c]);
    }
    int unreadable = -1;  // which file could not deliver value count + 1
    const bool distanceEnds = counts[2] == count && stopped[2] == NumberStream::Result::end;
    if (count < trajectoryCapacity && !distanceEnds)
        for (int c = 0; c < 3 && unreadable < 0; ++c)
            if (counts[c] == count) unreadable = c;
    trajectory.sampleCount = count;
    if (unreadable >= 0)
        console << "Warning: value " << count + 1 << " of " << paths[unreadable].string()
                << " is missing or not a number; voice " << voice << " uses its first " << count << " samples\n";
    return files;
}

void closeVoiceFiles(VoiceFiles& files) {
    closeFile(files.azimuth);
    closeFile(files.elevation);
    closeFile(files.distance);
}

}  // namespace grain
