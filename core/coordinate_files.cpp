#include "coordinate_files.hpp"

#include <algorithm>
#include <cerrno>
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

    // Where reading goes on and where the characters at hand end, for the
    // batch reading that most values take; moveTo continues after it.
    const char* cursor() const { return buffer_.data() + pos_; }
    const char* charactersEnd() const { return buffer_.data() + end_; }
    void moveTo(const char* place) { pos_ = static_cast<std::size_t>(place - buffer_.data()); }

    // The next value, the end of the file, or something that is not a value;
    // the long way, refilling the buffer as needed.
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

private:
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

// Opens path for reading; when it cannot be, adds it to missing with the reason.
CoordinateFile openForReading(const std::filesystem::path& path, std::vector<MissingFile>& missing) {
    errno = 0;
    CoordinateFile file(std::fopen(path.string().c_str(), "r"));
    if (!file) missing.push_back({path, std::strerror(errno != 0 ? errno : ENOENT)});
    return file;
}

}  // namespace

TrajectoryLoad loadTrajectory(int voice, Trajectory& trajectory, const std::filesystem::path& folder) {
    TrajectoryLoad load;
    std::filesystem::path paths[3] = {coordinateFilePath(folder, voice, 'a'), coordinateFilePath(folder, voice, 'e'),
                                      coordinateFilePath(folder, voice, 'd')};
    CoordinateFile files[3] = {openForReading(paths[0], load.missing), openForReading(paths[1], load.missing),
                               openForReading(paths[2], load.missing)};
    if (!load.loaded()) return load;

    // The voice's data are the samples that all three files hold, up to the
    // capacity. Where they end, the distance file's end ends them quietly;
    // otherwise the first file (azimuth, elevation, distance) without a value
    // there is named. The files are read side by side, each as far as it
    // goes, most values in batches and the rest (the last few of a block,
    // values of another shape) the long way, one at a time.
    thread_local std::vector<char> buffers[3];  // serve every voice of the run
    NumberStream streams[3] = {NumberStream(files[0].get(), buffers[0]), NumberStream(files[1].get(), buffers[1]),
                               NumberStream(files[2].get(), buffers[2])};
    float* arrays[3] = {trajectory.azimuth.data(), trajectory.elevation.data(), trajectory.distance.data()};
    int counts[3] = {0, 0, 0};
    NumberStream::Result stopped[3] = {NumberStream::Result::value, NumberStream::Result::value,
                                       NumberStream::Result::value};
    for (;;) {
        CommonRealsText texts[3];
        int reading[3];
        int n = 0;
        for (int c = 0; c < 3; ++c)
            if (counts[c] < trajectoryCapacity && stopped[c] == NumberStream::Result::value) {
                texts[n] = {streams[c].cursor(), streams[c].charactersEnd(), arrays[c], counts[c], trajectoryCapacity};
                reading[n++] = c;
            }
        if (n == 0) break;
        const int held = parseCommonReals(texts, n);
        for (int i = 0; i < n; ++i) {
            streams[reading[i]].moveTo(texts[i].first);
            counts[reading[i]] = texts[i].count;
        }
        const int c = reading[held];
        if (counts[c] < trajectoryCapacity) {
            stopped[c] = streams[c].next(arrays[c][counts[c]]);
            if (stopped[c] == NumberStream::Result::value) ++counts[c];
        }
    }
    const int count = std::min({counts[0], counts[1], counts[2]});
    int unreadable = -1;  // which file could not deliver value count + 1
    const bool distanceEnds = counts[2] == count && stopped[2] == NumberStream::Result::end;
    if (count < trajectoryCapacity && !distanceEnds)
        for (int c = 0; c < 3 && unreadable < 0; ++c)
            if (counts[c] == count) unreadable = c;
    trajectory.sampleCount = count;
    load.sampleCount = count;
    if (unreadable >= 0) load.unreadable = paths[unreadable];
    return load;
}

void printLoadMessages(std::ostream& console, int voice, const TrajectoryLoad& load) {
    if (!load.loaded())
        console << "Program quitting due to missing Boids input files!\n"
                << "Please ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n";
    else if (!load.unreadable.empty())
        console << "Warning: value " << load.sampleCount + 1 << " of " << load.unreadable.string()
                << " is missing or not a number; voice " << voice << " uses its first " << load.sampleCount
                << " samples\n";
}

}  // namespace grain
