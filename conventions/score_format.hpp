// What each score program is, in one place: its name, the score it writes
// and the orchestra that plays it, the p-fields of its grain statements with
// their column titles, the lines of its score's header and whether it
// writes elevations through an offset. The score writer, the dialogue, the
// help texts and every reader of scores (the picture's strict reader, the
// render's splitter) take them from here, and tell a score's program the
// same way: by its column comment.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace grain {

// The three score programs.
enum class Program { glisson, granule, additive };

// The program's name as the composer starts it, for messages.
const char* programName(Program program);

// The example orchestra that plays the program's scores ("VelaRookglisson.orc", ...).
const char* orchestraFileName(Program program);

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

// The texts of the header lines, or their fixed beginnings where the run's
// values follow.
inline constexpr std::string_view userDataStart = ";User data - fundamental ";
inline constexpr std::string_view sineTableComment = ";Table 1 6 simple sine wave harmonics (using GEN10).";
inline constexpr std::string_view sineTableStart = "f1 0 16384 10 ";
inline constexpr std::string_view soundTableStart = "f1 0 4194304 1 \"";
inline constexpr std::string_view soundTableEnd = "\" 0 4 1";
inline constexpr std::string_view envelopeTable = "f2 0 16385 20 7 1 2    ; grain envelope";
// The column comment up to the program's own titles: p1 to p12.
inline constexpr std::string_view sharedColumns =
    ";inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t ";

struct ScoreFormat {
    Program program;
    std::string_view name;            // the program as the composer starts it ("glissonscore")
    std::string_view scoreFileName;   // the score it creates ("VELAROOKglisson.sco")
    std::string_view orchestraFileName;  // the orchestra that plays it ("VelaRookglisson.orc")
    std::string_view completionName;  // the score as the completion message spells it ("VelaRookglisson.sco")
    int pFields;                      // p-fields of a grain statement, "i1" included
    std::string_view ownColumns;      // the column titles of p13 on ("Start Freq\t End Freq")
    bool elevationOffset;             // elevations sampled +90 degrees (0 to 180) and written without it
    std::array<HeaderLine, 7> header;  // the header's lines, the first headerLines of them
    int headerLines;
};

inline constexpr std::array<ScoreFormat, 3> scoreFormats{{
    {Program::glisson, "glissonscore", "VELAROOKglisson.sco", "VelaRookglisson.orc", "VelaRookglisson.sco", 14,
     "Start Freq\t End Freq", true,
     {HeaderLine::sineTableComment, HeaderLine::sineTable, HeaderLine::envelopeTable, HeaderLine::blank,
      HeaderLine::columnComment},
     5},
    {Program::granule, "granulescore", "VELAROOKgranule.sco", "VelaRookgranule.orc", "VelaRookgranule.sco", 14,
     "File Play Pos\t Play Speed", false,
     {HeaderLine::soundTable, HeaderLine::envelopeTable, HeaderLine::blank, HeaderLine::columnComment},
     4},
    {Program::additive, "additivescore", "VELAROOKadditive.sco", "VelaRookadditive.orc", "VelaRookadditive.sco",
     13, "Fundamental", false,
     {HeaderLine::userData, HeaderLine::sineTableComment, HeaderLine::sineTable, HeaderLine::envelopeTable,
      HeaderLine::blank, HeaderLine::columnComment},
     6},
}};

// The format of program.
constexpr const ScoreFormat& scoreFormat(Program program) { return scoreFormats[static_cast<int>(program)]; }

// Whether line (without its line end) is the column comment of format.
constexpr bool isColumnComment(std::string_view line, const ScoreFormat& format) {
    return line.size() == sharedColumns.size() + format.ownColumns.size() && line.starts_with(sharedColumns) &&
           line.ends_with(format.ownColumns);
}

// The program whose score text is: the first line that begins like a column
// comment decides (a line end of CR LF counts as LF). Nothing when no line
// does or that line is no program's.
std::optional<Program> programOfScore(std::string_view text);

}  // namespace grain
