#include "score_writer.hpp"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <system_error>

#include "real_format.hpp"
#include "score_format.hpp"

namespace grain {

namespace {

constexpr std::size_t bufferSize = 1 << 20;
static_assert(sharedPFields + maxOwnFields <= 16 &&
                  maxStatementLength >= 16 * (maxFloatTextLength + 2) + 16,
              "room for a statement of every program's fields");
static_assert(6 + maxOwnFields <= std::tuple_size_v<decltype(ScoreWriter::recent)>, "an entry for every own field");

void recordFailure(ScoreWriter& writer, const char* what, int error) {
    if (writer.status)
        writer.status = because(std::string("cannot ") + what + " the score file " + writer.path.string() + ": " +
                                 std::strerror(error));
}

void flushBuffer(ScoreWriter& writer) {
    for (RecentField& field : writer.recent) field.length = 0;  // their texts go now
    if (writer.used != 0 && writer.status) {
        errno = 0;
        if (std::fwrite(writer.buffer.get(), 1, writer.used, writer.file) != writer.used)
            recordFailure(writer, "write", errno != 0 ? errno : EIO);
    }
    writer.used = 0;
}

char* reserve(ScoreWriter& writer, std::size_t length) {
    if (writer.used + length > bufferSize) flushBuffer(writer);
    return writer.buffer.get() + writer.used;
}

void append(ScoreWriter& writer, std::string_view text) {
    if (text.size() > bufferSize) {
        flushBuffer(writer);
        if (writer.status && std::fwrite(text.data(), 1, text.size(), writer.file) != text.size())
            recordFailure(writer, "write", errno != 0 ? errno : EIO);
        return;
    }
    std::memcpy(reserve(writer, text.size()), text.data(), text.size());
    writer.used += text.size();
}

void appendReal(ScoreWriter& writer, float value) {
    char* start = reserve(writer, maxFloatTextLength);
    writer.used += static_cast<std::size_t>(formatFloat(start, value) - start);
}

}  // namespace

const char* scoreFileName(Program program) { return scoreFormat(program).scoreFileName.data(); }

Outcome<> openScore(ScoreWriter& writer, Program program, const std::filesystem::path& folder) {
    writer.program = program;
    writer.path = folder / scoreFileName(program);
    writer.used = 0;
    writer.status = Done{};
    writer.recent = {};
    // Each own field keeps its text in an entry of its own after the shared
    // fields', unless it usually repeats the field before it: then the two
    // share one, as an "old" field shares its new field's.
    const ScoreFormat& format = scoreFormat(program);
    writer.ownFields = format.ownFieldCount;
    std::uint8_t entry = 5;
    for (int k = 0; k < format.ownFieldCount; ++k) {
        if (k == 0 || !format.ownFields[static_cast<std::size_t>(k)].repeatsPrevious) ++entry;
        writer.ownRecent[static_cast<std::size_t>(k)] = entry;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(writer.path, ignored)) {  // nothing could ever take its place
        recordFailure(writer, "create", EISDIR);
        return writer.status;
    }
    writer.replacement = std::make_unique<AtomicFileGroup>();
    AtomicFile& score = writer.replacement->add(writer.path);
    errno = 0;
    writer.file = std::fopen(score.temporary().string().c_str(), "w");
    if (writer.file == nullptr) {
        recordFailure(writer, "create", errno != 0 ? errno : EIO);
        writer.replacement.reset();
        return writer.status;
    }
    writer.buffer = std::make_unique<char[]>(bufferSize);
    return {};
}

Outcome<> addCompanionFile(ScoreWriter& writer, const std::filesystem::path& target, const std::string& content) {
    AtomicFile& file = writer.replacement->add(target);
    errno = 0;
    std::FILE* out = std::fopen(file.temporary().string().c_str(), "w");
    bool written = out != nullptr && std::fwrite(content.data(), 1, content.size(), out) == content.size();
    if (out != nullptr && std::fclose(out) != 0) written = false;
    if (!written && writer.status)
        writer.status = because("cannot write " + target.string() + ": " + std::strerror(errno != 0 ? errno : EIO));
    if (!written) return writer.status;
    return {};
}

void writeHeader(ScoreWriter& writer, const RunParameters& p) {
    const ScoreFormat& format = scoreFormat(writer.program);
    for (int line = 0; line < format.headerLines; ++line) {
        const HeaderLine kind = format.header[static_cast<std::size_t>(line)];
        append(writer, headerText(kind, format).text);
        // The run's values, where the line has them.
        if (kind == HeaderLine::userData) {
            // With a constant density the one intergrain value holds at
            // every point of the piece, so it stands for all five.
            auto ig = p.intergrainPoints;
            if (p.densityMode != 0) ig.fill(ig[0]);
            const float values[] = {p.fundamental, ig[0], ig[1], ig[2], ig[3], ig[4],
                                    p.totalDuration, p.streams, p.minGrainDur};
            appendReal(writer, values[0]);
            for (std::size_t i = 1; i < userDataLabels.size(); ++i) {
                append(writer, userDataLabels[i]);
                appendReal(writer, values[i]);
            }
        } else if (kind == HeaderLine::sineTable) {
            for (int i = 0; i < p.harmonics; ++i) append(writer, sineTablePartial);  // one partial per harmonic
        } else if (kind == HeaderLine::soundTable) {
            char size[24];
            append(writer, std::string_view(size, static_cast<std::size_t>(
                                                      std::to_chars(size, size + sizeof size, soundTableSize).ptr - size)));
            append(writer, soundTableGen);
            append(writer, p.soundFile);
            append(writer, soundTableEnd);
        }
        append(writer, "\n");
    }
}

namespace {

// Writes value as a field of a statement: a tab, a blank and the value like
// "%f", copied from where recent says the same float was written last, else
// formatted and remembered in recent. Texts of up to 16 characters (every
// float below 10^8) are kept; the copy moves 16 characters whatever the
// length, which the room of a statement allows.
inline char* recentField(char* out, float value, RecentField& recent) {
    out[0] = '\t';
    out[1] = ' ';
    out += 2;
    auto bits = std::bit_cast<std::uint32_t>(value);
    if (bits == recent.bits && recent.length != 0) {
        std::memmove(out, recent.text, 16);  // the text may lie just before out
        return out + recent.length;
    }
    char* end = formatFloat(out, value);
    auto length = static_cast<std::uint32_t>(end - out);
    recent.bits = bits;
    recent.length = length <= 16 ? length : 0;
    recent.text = out;
    return end;
}

// Writes the grain's statement at out and returns its end: the one encoder of
// a statement, for the writer and for formatEvent alike. The program's own
// fields are the first ownFields of the event's, each remembered in its
// entry of recent (ownRecent).
inline char* encodeStatement(char* out, const GrainEvent& e, int ownFields,
                             const std::array<std::uint8_t, maxOwnFields>& ownRecent,
                             std::array<RecentField, 8>& recent) {
    static_assert(grainStatement.size() + fieldLead.size() == 4);
    std::memcpy(out, grainStatement.data(), grainStatement.size());
    std::memcpy(out + grainStatement.size(), fieldLead.data(), fieldLead.size());
    out = formatFloat(out + 4, e.srt);
    out = recentField(out, e.dur, recent[0]);
    out[0] = '\t';
    out[1] = ' ';
    out = std::to_chars(out + 2, out + 14, e.voice).ptr;
    out = recentField(out, e.phase, recent[1]);
    // Each "old" field shares the place of its new field, which it usually
    // repeats from the statement before.
    out = recentField(out, e.aziOld, recent[2]);
    out = recentField(out, e.azi, recent[2]);
    out = recentField(out, e.elevOld, recent[3]);
    out = recentField(out, e.elev, recent[3]);
    out = recentField(out, e.distOld, recent[4]);
    out = recentField(out, e.dist, recent[4]);
    out = recentField(out, e.grainDur, recent[5]);
    for (int k = 0; k < ownFields; ++k) {
        const auto field = static_cast<std::size_t>(k);
        out = recentField(out, e.own[field], recent[ownRecent[field]]);
    }
    *out = '\n';
    return out + 1;
}

}  // namespace

char* formatEvent(char* out, Program program, const GrainEvent& event) {
    // Every own field its own entry: nothing is repeated within a statement.
    std::array<RecentField, 8> recent{};
    std::array<std::uint8_t, maxOwnFields> ownRecent{};
    for (std::size_t k = 0; k < ownRecent.size(); ++k) ownRecent[k] = static_cast<std::uint8_t>(6 + k);
    return encodeStatement(out, event, scoreFormat(program).ownFieldCount, ownRecent, recent);
}

void writeEvent(ScoreWriter& writer, const GrainEvent& event) {
    char* start = reserve(writer, maxStatementLength);
    writer.used += static_cast<std::size_t>(
        encodeStatement(start, event, writer.ownFields, writer.ownRecent, writer.recent) - start);
}

Outcome<> finishScore(ScoreWriter& writer, const RunParameters& p, std::ostream& console) {
    if (p.reverb == 1) {
        append(writer, "\n");
        append(writer, reverbStart);
        appendReal(writer, p.totalDuration);
        append(writer, reverbTail);
        append(writer, "\n");
    }
    append(writer, "\n");
    append(writer, endStatement);
    append(writer, "\n");
    flushBuffer(writer);
    errno = 0;
    if (std::fflush(writer.file) != 0) recordFailure(writer, "write", errno != 0 ? errno : EIO);
    errno = 0;
    if (std::fclose(writer.file) != 0) recordFailure(writer, "close", errno != 0 ? errno : EIO);
    writer.file = nullptr;
    writer.buffer.reset();
    if (writer.status) writer.status = writer.replacement->commit();
    writer.replacement.reset();  // removes the temporary files unless they were placed
    if (!writer.status) return writer.status;
    console << "\n\n\t\bScore file created and written to " << scoreFormat(writer.program).completionName << "\n\n";
    console.flush();
    return {};
}

}  // namespace grain
