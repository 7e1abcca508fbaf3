#include "score_writer.hpp"

#include <bit>
#include <cerrno>
#include <system_error>
#include <charconv>
#include <cstring>
#include <string_view>

#include "real_format.hpp"

namespace grain {

namespace {

constexpr std::size_t bufferSize = 1 << 20;
static_assert(maxStatementLength >= 16 * (maxFloatTextLength + 2) + 16, "room for a statement of 14 fields");

void recordFailure(ScoreWriter& writer, const char* what, int error) {
    if (writer.failure.empty())
        writer.failure = std::string("cannot ") + what + " the score file " + writer.path.string() + ": " +
                         std::strerror(error);
}

void flushBuffer(ScoreWriter& writer) {
    for (RecentField& field : writer.recent) field.length = 0;  // their texts go now
    if (writer.used != 0 && writer.failure.empty()) {
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
        if (writer.failure.empty() && std::fwrite(text.data(), 1, text.size(), writer.file) != text.size())
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

// The f1 sine table with one partial per harmonic, and the grain envelope.
void appendSineTables(ScoreWriter& writer, int harmonics) {
    append(writer, ";Table 1 6 simple sine wave harmonics (using GEN10).\n");
    append(writer, "f1 0 16384 10 ");
    for (int i = 0; i < harmonics; ++i) append(writer, "1 ");
    append(writer, "\nf2 0 16385 20 7 1 2    ; grain envelope\n");
}

}  // namespace

const char* scoreFileName(Program program) {
    switch (program) {
        case Program::glisson: return "VELAROOKglisson.sco";
        case Program::granule: return "VELAROOKgranule.sco";
        case Program::additive: return "VELAROOKadditive.sco";
    }
    return "";
}

bool openScore(ScoreWriter& writer, Program program, const std::filesystem::path& folder) {
    writer.program = program;
    writer.path = folder / scoreFileName(program);
    writer.used = 0;
    writer.failure.clear();
    writer.recent = {};
    std::error_code ignored;
    if (std::filesystem::is_directory(writer.path, ignored)) {  // nothing could ever take its place
        recordFailure(writer, "create", EISDIR);
        return false;
    }
    writer.replacement = std::make_unique<AtomicFile>(writer.path);
    errno = 0;
    writer.file = std::fopen(writer.replacement->temporary().string().c_str(), "w");
    if (writer.file == nullptr) {
        recordFailure(writer, "create", errno != 0 ? errno : EIO);
        writer.replacement.reset();
        return false;
    }
    writer.buffer = std::make_unique<char[]>(bufferSize);
    return true;
}

void writeHeader(ScoreWriter& writer, const RunParameters& p) {
    switch (writer.program) {
        case Program::glisson:
            appendSineTables(writer, p.harmonics);
            append(writer,
                   "\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t "
                   "Graindur\t Start Freq\t End Freq\n");
            break;
        case Program::granule:
            append(writer, "f1 0 4194304 1 \"");
            append(writer, p.soundFile);
            append(writer, "\" 0 4 1\n");
            append(writer, "f2 0 16385 20 7 1 2    ; grain envelope\n");
            append(writer,
                   "\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t "
                   "Graindur\t File Play Pos\t Play Speed\n");
            break;
        case Program::additive: {
            // With a constant density the one intergrain value holds at every
            // point of the piece, so it stands for all five.
            auto ig = p.intergrainPoints;
            if (p.densityMode != 0) ig.fill(ig[0]);
            const char* labels[] = {";User data - fundamental ", ", igstart ", ", igmid1 ", ", igmid1 ", ", igmid1 ",
                                    ", igend ", ", duration ", ", streams ", " mingrain duration "};
            const float values[] = {p.fundamental, ig[0], ig[1], ig[2], ig[3], ig[4],
                                    p.totalDuration, p.streams, p.minGrainDur};
            for (int i = 0; i < 9; ++i) {
                append(writer, labels[i]);
                appendReal(writer, values[i]);
            }
            append(writer, "\n");
            appendSineTables(writer, p.harmonics);
            append(writer,
                   "\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t "
                   "Graindur\t Fundamental\n");
            break;
        }
    }
}

char* formatEvent(char* out, Program program, const GrainEvent& e) {
    out[0] = 'i';
    out[1] = '1';
    const float times[] = {e.srt, e.dur};
    out = formatRealFields(out + 2, times, 2);
    out[0] = '\t';
    out[1] = ' ';
    out = std::to_chars(out + 2, out + 14, e.voice).ptr;
    float rest[] = {e.phase, e.aziOld, e.azi, e.elevOld, e.elev, e.distOld, e.dist, e.grainDur, 0.0f, 0.0f};
    std::size_t count = 10;
    switch (program) {
        case Program::glisson: rest[8] = e.startFreq; rest[9] = e.endFreq; break;
        case Program::granule: rest[8] = e.filePlayPos; rest[9] = e.playSpeed; break;
        case Program::additive: rest[8] = e.partialFreq; count = 9; break;
    }
    out = formatRealFields(out, rest, count);
    *out = '\n';
    return out + 1;
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

}  // namespace

void writeEvent(ScoreWriter& writer, const GrainEvent& e) {
    char* start = reserve(writer, maxStatementLength);
    char* out = start;
    auto& recent = writer.recent;
    out[0] = 'i';
    out[1] = '1';
    out[2] = '\t';
    out[3] = ' ';
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
    switch (writer.program) {
        case Program::glisson:
            // A glissando that starts where the voice's last one ended (the
            // linear mapping of both elevations) repeats its end frequency.
            out = recentField(out, e.startFreq, recent[6]);
            out = recentField(out, e.endFreq, recent[6]);
            break;
        case Program::granule:
            out = recentField(out, e.filePlayPos, recent[6]);
            out = recentField(out, e.playSpeed, recent[7]);
            break;
        case Program::additive: out = recentField(out, e.partialFreq, recent[6]); break;
    }
    *out = '\n';
    writer.used += static_cast<std::size_t>(out + 1 - start);
}

bool finishScore(ScoreWriter& writer, const RunParameters& p, std::ostream& console) {
    if (p.reverb == 1) {
        append(writer, "\ni99\t 0\t ");
        appendReal(writer, p.totalDuration);
        append(writer, "\t\n");
    }
    append(writer, "\ne\n");
    flushBuffer(writer);
    errno = 0;
    if (std::fflush(writer.file) != 0) recordFailure(writer, "write", errno != 0 ? errno : EIO);
    errno = 0;
    if (std::fclose(writer.file) != 0) recordFailure(writer, "close", errno != 0 ? errno : EIO);
    writer.file = nullptr;
    writer.buffer.reset();
    if (writer.failure.empty()) writer.failure = writer.replacement->commit();
    writer.replacement.reset();  // removes the temporary file unless it became the score
    if (!writer.failure.empty()) return false;
    switch (writer.program) {
        case Program::glisson:
            console << "\n\n\t\bScore file created and written to VelaRookglisson.sco\n\n";
            break;
        case Program::granule:
            console << "\n\n\t\bScore file created and written to VelaRookgranule.sco\n\n";
            break;
        case Program::additive:
            console << "\n\n\t\bScore file created and written to VelaRookadditive.sco\n\n";
            break;
    }
    console.flush();
    return true;
}

}  // namespace grain
