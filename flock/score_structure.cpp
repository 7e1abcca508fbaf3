#include "score_structure.hpp"

#include <set>
#include <sstream>

namespace flock {

namespace {

const char* const columnsCommon =
    ";inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t ";
const char* const sineTable = ";Table 1 6 simple sine wave harmonics (using GEN10).";
const char* const envelopeTable = "f2 0 16385 20 7 1 2    ; grain envelope";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "%f" of a value: an optional minus, digits, a point and six digits.
bool isFixedSix(const std::string& field) {
    std::size_t i = field.empty() || field[0] != '-' ? 0 : 1;
    std::size_t digits = i;
    while (digits < field.size() && isDigit(field[digits])) ++digits;
    if (digits == i || digits + 7 != field.size() || field[digits] != '.') return false;
    for (std::size_t k = digits + 1; k < field.size(); ++k)
        if (!isDigit(field[k])) return false;
    return true;
}

// "%d" of a voice number: digits, no sign, no leading zero.
bool isVoice(const std::string& field) {
    if (field.empty() || field[0] == '0') return false;
    for (char c : field)
        if (!isDigit(c)) return false;
    return true;
}

// The fields of a statement written as "i1" and then "\t " before every value.
bool splitStatement(const std::string& line, const std::string& head, std::vector<std::string>& fields) {
    if (line.rfind(head, 0) != 0) return false;
    fields.assign(1, head);
    std::size_t pos = head.size();
    while (pos < line.size()) {
        if (line.compare(pos, 2, "\t ") != 0) return false;
        pos += 2;
        std::size_t end = line.find('\t', pos);
        if (end == std::string::npos) end = line.size();
        fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return true;
}

}  // namespace

int grainFields(grain::Program program) { return program == grain::Program::additive ? 13 : 14; }

ScoreStructure checkScore(grain::Program program, const std::string& score) {
    ScoreStructure result;
    std::vector<std::string> lines;
    {
        std::istringstream text(score);
        std::string line;
        while (std::getline(text, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    }
    if (score.empty() || score.back() != '\n') result.problems.push_back("the score does not end with a line end");
    auto problem = [&](std::size_t index, const std::string& what) {
        result.problems.push_back("line " + std::to_string(index + 1) + ": " + what);
    };

    // The header.
    std::vector<std::string> header;
    std::string lastColumns;
    if (program == grain::Program::additive) header.push_back(";User data - fundamental ");
    if (program == grain::Program::granule) {
        header.push_back("f1 0 4194304 1 \"");
        lastColumns = "File Play Pos\t Play Speed";
    } else {
        header.push_back(sineTable);
        header.push_back("f1 0 16384 10 ");
        lastColumns = program == grain::Program::glisson ? "Start Freq\t End Freq" : "Fundamental";
    }
    header.push_back(envelopeTable);
    header.push_back("");
    header.push_back(std::string(columnsCommon) + lastColumns);
    std::size_t at = 0;
    for (const std::string& expected : header) {
        bool prefixOnly = expected.rfind(";User", 0) == 0 || expected.rfind("f1 ", 0) == 0;
        if (at >= lines.size()) {
            problem(at, "the header ends early");
            return result;
        }
        const std::string& line = lines[at];
        bool fits = prefixOnly ? line.rfind(expected, 0) == 0 : line == expected;
        if (!fits) problem(at, "header line should be '" + expected + (prefixOnly ? "...'" : "'"));
        ++at;
    }

    // The grain statements.
    const std::size_t wanted = static_cast<std::size_t>(grainFields(program));
    std::set<std::string> voices;
    std::vector<std::string> fields;
    for (; at < lines.size() && lines[at].rfind("i1", 0) == 0; ++at) {
        ++result.statements;
        if (!splitStatement(lines[at], "i1", fields)) {
            problem(at, "the values of a grain statement are not each led by a tab and a blank");
            continue;
        }
        if (fields.size() != wanted) {
            problem(at, "a grain statement has " + std::to_string(fields.size()) + " p-fields instead of " +
                            std::to_string(wanted));
            continue;
        }
        for (std::size_t f = 1; f < fields.size(); ++f) {
            bool good = f == 3 ? isVoice(fields[f]) : isFixedSix(fields[f]);
            if (!good)
                problem(at, "p" + std::to_string(f + 1) + " is '" + fields[f] + "', not " +
                                (f == 3 ? "a voice number" : "a number with six decimals"));
        }
        voices.insert(fields[3]);
    }
    result.voices = static_cast<int>(voices.size());

    // The closing lines: the reverb statement when asked for, then the end.
    auto expectLine = [&](const std::string& what) {
        if (at >= lines.size()) {
            problem(at, "the score ends before '" + what + "'");
            return false;
        }
        if (lines[at] != what) {
            problem(at, "'" + lines[at] + "' where '" + what + "' belongs");
            return false;
        }
        ++at;
        return true;
    };
    if (!expectLine("")) return result;
    if (at < lines.size() && lines[at].rfind("i99", 0) == 0) {
        const std::string& line = lines[at];
        const std::string lead = "i99\t 0\t ";
        bool good = line.size() > lead.size() + 1 && line.rfind(lead, 0) == 0 && line.back() == '\t' &&
                    isFixedSix(line.substr(lead.size(), line.size() - lead.size() - 1));
        if (!good)
            problem(at, "the reverb statement should read 'i99<tab> 0<tab> <duration><tab>'");
        result.reverb = true;
        ++at;
        if (!expectLine("")) return result;
    }
    if (!expectLine("e")) return result;
    if (at != lines.size()) problem(at, "text after the end statement");
    return result;
}

}  // namespace flock
