// The Csound score a run writes, as its ScoreFormat says (score_format.hpp):
// function tables, a column comment, one "i1" statement per grain, the
// optional global reverb statement and the end statement. Statements are built in memory and written in large blocks; the
// file is created in text mode, so line ends follow the platform. The score is
// written under a temporary name beside it and replaces an earlier score only
// when it is complete, so a run that cannot finish it leaves the earlier one
// as it was. Files that belong to the score (the run's answers) are placed
// together with it: both, or neither.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "atomic_file.hpp"
#include "outcome.hpp"
#include "run_parameters.hpp"
#include "score_format.hpp"

namespace grain {

// The p-fields of one grain statement, in p-field order. The last fields
// are the program's own (its ScoreFormat's ownFields): glissonscore's start
// and end frequency (Hz), granulescore's file play position (0 to 1) and play
// speed, additivescore's partial frequency (Hz).
struct GrainEvent {
    float srt = 0.0f;       // start time, seconds
    float dur = 0.0f;       // note duration, seconds
    int voice = 0;          // grain stream number, from 1
    float phase = 0.0f;     // the voice's random phase, 0 to 1
    float aziOld = 0.0f;    // azimuth of the voice's previous grain
    float azi = 0.0f;       // azimuth of this grain
    float elevOld = 0.0f;   // elevation of the previous grain, as written
    float elev = 0.0f;      // elevation of this grain, as written
    float distOld = 0.0f;   // distance of the previous grain
    float dist = 0.0f;      // distance of this grain
    float grainDur = 0.0f;  // grain duration, seconds
    std::array<float, maxOwnFields> own{};  // p13 on, as many as the program has
};

// Where the statements in the buffer last wrote a field. Many fields come
// again unchanged: the previous grain's position is the position of the grain
// before, and durations, phase, speed and partial hold for a whole voice;
// their text is copied instead of formatted again.
struct RecentField {
    std::uint32_t bits = 0;      // the float written, bit for bit
    std::uint32_t length = 0;    // 0 while nothing is kept
    const char* text = nullptr;  // in the buffer, valid until it is written out
};

struct ScoreWriter {
    Program program = Program::glisson;
    std::FILE* file = nullptr;  // the temporary file, while the score is written
    std::filesystem::path path;  // where the finished score goes
    std::unique_ptr<AtomicFileGroup> replacement;  // the score and the files placed with it
    std::unique_ptr<char[]> buffer;
    std::size_t used = 0;
    Outcome<> status;  // done while all is well, else why the first write failed
    std::array<RecentField, 8> recent{};  // by field: see writeEvent
    std::array<std::uint8_t, maxOwnFields> ownRecent{};  // the recent entry of each own field
    int ownFields = 0;                                   // the program's own fields
};

// The name the score file is created under ("VELAROOKglisson.sco", ...).
const char* scoreFileName(Program program);

// Starts the program's score file in folder: a temporary file beside it,
// which finishScore puts in its place. Done, or why the file cannot be made.
Outcome<> openScore(ScoreWriter& writer, Program program, const std::filesystem::path& folder);

// Writes a file that finishScore places together with the score: content in
// text mode, target replaced only when the score is. Done, or why not (kept
// in writer.status as the score's first failure).
Outcome<> addCompanionFile(ScoreWriter& writer, const std::filesystem::path& target, const std::string& content);

// Writes the program's header lines.
void writeHeader(ScoreWriter& writer, const RunParameters& parameters);

// Longest grain statement writeEvent and formatEvent write (14 fields of a widened float).
inline constexpr std::size_t maxStatementLength = 16 * (48 + 2) + 16;

// Writes the grain's statement as the program's score holds it, line end
// included, at out and returns its end; out must hold maxStatementLength
// characters. The same encoder as writeEvent's, for a statement on its own.
char* formatEvent(char* out, Program program, const GrainEvent& event);

// Appends the grain's statement.
void writeEvent(ScoreWriter& writer, const GrainEvent& event);

// Writes the reverb statement (only for reverb 1) and the end statement,
// closes the file, puts it in the place of any earlier score and prints the
// completion message. When anything could not be written, the temporary file
// is removed, an earlier score is left as it was, no completion message is
// printed and the outcome says why.
Outcome<> finishScore(ScoreWriter& writer, const RunParameters& parameters, std::ostream& console);

}  // namespace grain
