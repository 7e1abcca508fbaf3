// What a score is, in one place: the grammar of the scores that the three
// programs write, and what each program is. A score is a header (function
// tables and comments, ending with the column comment that names the
// program's p-fields), one grain statement per grain ("i1" and its p-fields),
// an empty line, the reverb statement when the composer asked for the reverb
// (an empty line after it), and the end statement. Every value of a statement
// follows a tab and a blank.
//
// Per program: its name, the score it writes and the orchestra that plays it,
// its own p-fields after the shared ones, the lines of its score's header and
// whether it writes elevations through an offset. The score writer, the
// dialogue, the help texts, the strict score reader (score_reader.hpp) and
// grainrender take them from here, and tell a score's program the same way:
// by its column comment.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace grain {

// The three score programs.
enum class Program { glisson, granule, additive };

// --- Statements ---

inline constexpr std::string_view grainStatement = "i1";   // a grain, instr 1
inline constexpr std::string_view reverbStatement = "i99";  // the global reverb, instr 99
inline constexpr std::string_view endStatement = "e";       // the end of the score
inline constexpr std::string_view fieldLead = "\t ";       // what goes before every value of a statement
// The reverb statement up to its duration, and what follows the duration:
// "i99\t 0\t <duration>\t".
inline constexpr std::string_view reverbStart = "i99\t 0\t ";
inline constexpr std::string_view reverbTail = "\t";
static_assert(reverbStart.starts_with(reverbStatement) && reverbStart.substr(3).starts_with(fieldLead));

// The p-fields every grain statement has: "i1", then p2 start, p3 note
// duration, p4 voice, p5 phase, p6-p7 azimuths (previous, this), p8-p9
// elevations, p10-p11 distances, p12 grain duration. The voice is a whole
// number, every other value "%f" of a float.
inline constexpr int sharedPFields = 12;
inline constexpr int voicePField = 4;

// A program's own p-fields follow the shared ones: at most this many.
inline constexpr int maxOwnFields = 2;

// One of a program's own p-fields.
struct OwnField {
    std::string_view title;  // its column title ("Start Freq")
    bool repeatsPrevious;    // usually the value of the field before it in the statement before
};

// --- The header ---

// The lines a score's header is made of, in the order a format lists them.
enum class HeaderLine {
    userData,          // additivescore: ";User data - fundamental ..." and the run's values
    sineTableComment,  // ";Table 1 6 simple sine wave harmonics (using GEN10)."
    sineTable,         // "f1 0 16384 10 " and "1 " for every harmonic
    soundTable,        // granulescore: "f1 0 4194304 1 \"<sound file>\" 0 4 1"
    envelopeTable,     // the grain envelope, table 2
    blank,             // the empty line before the column comment
    columnComment,     // ";inst\t srt ..." with the program's own titles last
};

inline constexpr std::string_view sineTableComment = ";Table 1 6 simple sine wave harmonics (using GEN10).";
inline constexpr std::string_view sineTableStart = "f1 0 16384 10 ";
inline constexpr std::string_view sineTablePartial = "1 ";  // once per harmonic
// Table 1 of a granule score reads the sound file (GEN01, channel 1) into a
// table of soundTableSize samples: "f1 0 4194304 1 \"<sound file>\" 0 4 1".
inline constexpr std::string_view soundTableStart = "f1 0 ";
inline constexpr long long soundTableSize = 4194304;
inline constexpr std::string_view soundTableGen = " 1 \"";
inline constexpr std::string_view soundTableEnd = "\" 0 4 1";
inline constexpr std::string_view envelopeTable = "f2 0 16385 20 7 1 2    ; grain envelope";
// The labels of the user data line, each followed by its value: fundamental,
// the five intergrain points, total duration, streams, minimum grain duration.
inline constexpr std::array<std::string_view, 9> userDataLabels{
    ";User data - fundamental ", ", igstart ", ", igmid1 ", ", igmid1 ", ", igmid1 ",
    ", igend ",                   ", duration ", ", streams ", " mingrain duration "};
// The column comment up to the program's own titles: p1 to p12.
inline constexpr std::string_view sharedColumns =
    ";inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t ";
// Between two of the program's own column titles.
inline constexpr std::string_view ownColumnLead = "\t ";

struct ScoreFormat {
    Program program;
    std::string_view name;            // the program as the composer starts it ("glissonscore")
    std::string_view scoreFileName;   // the score it creates ("VELAROOKglisson.sco")
    std::string_view orchestraFileName;  // the orchestra that plays it ("VelaRookglisson.orc")
    std::string_view completionName;  // the score as the completion message spells it ("VelaRookglisson.sco")
    std::array<OwnField, maxOwnFields> ownFields;  // p13 on, the first ownFieldCount of them
    int ownFieldCount;
    bool elevationOffset;             // elevations sampled +90 degrees (0 to 180) and written without it
    std::array<HeaderLine, 7> header;  // the header's lines, the first headerLines of them
    int headerLines;

    // P-fields of a grain statement, "i1" included.
    constexpr int pFields() const { return sharedPFields + ownFieldCount; }
};

inline constexpr std::array<ScoreFormat, 3> scoreFormats{{
    {Program::glisson, "glissonscore", "VELAROOKglisson.sco", "VelaRookglisson.orc", "VelaRookglisson.sco",
     // A glissando that starts where the voice's last one ended (the linear
     // mapping of both elevations) repeats its end frequency.
     {{{"Start Freq", false}, {"End Freq", true}}}, 2, true,
     {HeaderLine::sineTableComment, HeaderLine::sineTable, HeaderLine::envelopeTable, HeaderLine::blank,
      HeaderLine::columnComment},
     5},
    {Program::granule, "granulescore", "VELAROOKgranule.sco", "VelaRookgranule.orc", "VelaRookgranule.sco",
     {{{"File Play Pos", false}, {"Play Speed", false}}}, 2, false,
     {HeaderLine::soundTable, HeaderLine::envelopeTable, HeaderLine::blank, HeaderLine::columnComment},
     4},
    {Program::additive, "additivescore", "VELAROOKadditive.sco", "VelaRookadditive.orc", "VelaRookadditive.sco",
     {{{"Fundamental", false}, {}}}, 1, false,
     {HeaderLine::userData, HeaderLine::sineTableComment, HeaderLine::sineTable, HeaderLine::envelopeTable,
      HeaderLine::blank, HeaderLine::columnComment},
     6},
}};

// The format of program.
constexpr const ScoreFormat& scoreFormat(Program program) { return scoreFormats[static_cast<int>(program)]; }

// The program's name as the composer starts it, for messages.
const char* programName(Program program);

// The example orchestra that plays the program's scores ("VelaRookglisson.orc", ...).
const char* orchestraFileName(Program program);

// The text of a header line of format, or its fixed beginning where the run's
// values follow (valuesFollow): the user data, the harmonics of the sine
// table, the sound table's size and file.
struct HeaderText {
    std::string text;
    bool valuesFollow;
};
HeaderText headerText(HeaderLine line, const ScoreFormat& format);

// Whether line (without its line end) is the column comment of format.
constexpr bool isColumnComment(std::string_view line, const ScoreFormat& format) {
    if (!line.starts_with(sharedColumns)) return false;
    line.remove_prefix(sharedColumns.size());
    for (int k = 0; k < format.ownFieldCount; ++k) {
        if (k != 0) {
            if (!line.starts_with(ownColumnLead)) return false;
            line.remove_prefix(ownColumnLead.size());
        }
        std::string_view title = format.ownFields[static_cast<std::size_t>(k)].title;
        if (!line.starts_with(title)) return false;
        line.remove_prefix(title.size());
    }
    return line.empty();
}

// The program whose score text is: the first line that begins like a column
// comment decides (a line end of CR LF counts as LF). Nothing when no line
// does or that line is no program's.
std::optional<Program> programOfScore(std::string_view text);

}  // namespace grain
