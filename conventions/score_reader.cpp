#include "score_reader.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <set>
#include <string_view>

#include "score_format.hpp"

namespace grain {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWith(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

// "%f" of a value: an optional minus, digits, a point and six digits.
bool isFixedSix(std::string_view field) {
    std::size_t i = field.empty() || field[0] != '-' ? 0 : 1;
    std::size_t digits = i;
    while (digits < field.size() && isDigit(field[digits])) ++digits;
    if (digits == i || digits + 7 != field.size() || field[digits] != '.') return false;
    for (std::size_t k = digits + 1; k < field.size(); ++k)
        if (!isDigit(field[k])) return false;
    return true;
}

// "%d" of a voice number: digits, no sign, no leading zero.
bool isVoice(std::string_view field) {
    if (field.empty() || field[0] == '0' || field.size() > 9) return false;
    for (char c : field)
        if (!isDigit(c)) return false;
    return true;
}

double numberOf(std::string_view field) {
    double value = 0.0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    return value;
}

// The fields of a statement written as "i1" and then "\t " before every value.
bool splitStatement(std::string_view line, std::string_view head, std::vector<std::string_view>& fields) {
    if (!startsWith(line, head)) return false;
    fields.assign(1, head);
    std::size_t pos = head.size();
    while (pos < line.size()) {
        if (line.substr(pos, fieldLead.size()) != fieldLead) return false;
        pos += fieldLead.size();
        std::size_t end = line.find('\t', pos);
        if (end == std::string_view::npos) end = line.size();
        fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return true;
}

std::vector<std::string_view> linesOf(const std::string& score) {
    std::vector<std::string_view> lines;
    std::string_view text(score);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

// Table 1 of a granule score: "f1 0 <size> 1 \"<file>\" 0 4 1", its size a
// whole number (0: as long as the file, Csound's deferred size).
struct SoundTable {
    long long size;
    std::string_view file;
};
std::optional<SoundTable> soundTableOf(std::string_view line) {
    if (!startsWith(line, soundTableStart) || !line.ends_with(soundTableEnd)) return std::nullopt;
    line.remove_prefix(soundTableStart.size());
    line.remove_suffix(soundTableEnd.size());
    std::size_t digits = 0;
    while (digits < line.size() && isDigit(line[digits])) ++digits;
    long long size = 0;
    if (digits == 0 || digits > 12 || (line[0] == '0' && digits > 1) || !startsWith(line.substr(digits), soundTableGen))
        return std::nullopt;
    std::from_chars(line.data(), line.data() + digits, size);
    return SoundTable{size, line.substr(digits + soundTableGen.size())};
}

GrainStatement grainOf(const std::vector<std::string_view>& fields, int line) {
    GrainStatement g;
    g.line = line;
    double* values[] = {&g.start, &g.noteDuration, nullptr, &g.phase, &g.aziOld, &g.azi, &g.elevOld,
                        &g.elev, &g.distOld, &g.dist, &g.grainDuration, &g.p13, &g.p14};
    for (std::size_t f = 1; f < fields.size(); ++f) {
        if (f + 1 == voicePField)
            g.voice = static_cast<int>(numberOf(fields[f]));
        else
            *values[f - 1] = numberOf(fields[f]);
    }
    return g;
}

// Reads the score's lines as a score of program: all but the line end of the last.
ScoreReading readLines(const std::string& score, Program program);

}  // namespace

ScoreReading readScore(const std::string& score) {
    if (auto program = programOfScore(score)) return readScore(score, *program);
    ScoreReading result;
    result.problems.push_back(score.empty() ? "line 1: the file is empty"
                                            : "line 1: not a score of glissonscore, granulescore or additivescore "
                                              "(no column comment of theirs)");
    return result;
}

ScoreReading readScore(const std::string& score, Program program) {
    ScoreReading result = readLines(score, program);
    // Told last, so that the problems come in the order of their lines.
    if (score.empty() || score.back() != '\n')
        result.problems.push_back("line " + std::to_string(std::count(score.begin(), score.end(), '\n') + 1) +
                                  ": the score does not end with a line end");
    return result;
}

namespace {

ScoreReading readLines(const std::string& score, Program program) {
    ScoreReading result;
    result.program = program;
    const std::vector<std::string_view> lines = linesOf(score);
    auto problem = [&](std::size_t index, const std::string& what) {
        result.problems.push_back("line " + std::to_string(index + 1) + ": " + what);
    };
    // The header: each line of the program's format, whole, or its fixed
    // beginning where the run's values follow.
    const ScoreFormat& format = scoreFormat(program);
    std::vector<HeaderText> header;
    for (int line = 0; line < format.headerLines; ++line)
        header.push_back(headerText(format.header[static_cast<std::size_t>(line)], format));
    std::size_t at = 0;
    for (std::size_t k = 0; k < header.size(); ++k) {
        const auto& [expected, valuesFollow] = header[k];
        if (at >= lines.size()) {
            problem(at, "the header ends early");
            return result;
        }
        std::string_view line = lines[at];
        if (format.header[k] == HeaderLine::soundTable) {
            if (auto table = soundTableOf(line)) {
                result.soundTableLine = static_cast<int>(at + 1);
                result.soundTableSize = table->size;
                result.soundFile = std::string(table->file);
            } else {
                problem(at, "header line should be '" + expected + "<size>" + std::string(soundTableGen) +
                                "<sound file>" + std::string(soundTableEnd) + "'");
            }
        } else if (valuesFollow ? !startsWith(line, expected) : line != expected) {
            problem(at, "header line should be '" + expected + (valuesFollow ? "...'" : "'"));
        }
        ++at;
    }

    // The grain statements.
    const auto wanted = static_cast<std::size_t>(format.pFields());
    std::set<int> voices;
    std::vector<std::string_view> fields;
    for (; at < lines.size() && startsWith(lines[at], grainStatement); ++at) {
        if (!splitStatement(lines[at], grainStatement, fields)) {
            problem(at, "the values of a grain statement are not each led by a tab and a blank");
            continue;
        }
        if (fields.size() != wanted) {
            problem(at, "a grain statement has " + std::to_string(fields.size()) + " p-fields instead of " +
                            std::to_string(wanted));
            continue;
        }
        bool good = true;
        for (std::size_t f = 1; f < fields.size(); ++f) {
            const bool voice = f + 1 == voicePField;
            if (voice ? isVoice(fields[f]) : isFixedSix(fields[f])) continue;
            good = false;
            std::string what(1, 'p');
            what.append(std::to_string(f + 1));
            what.append(" is '").append(fields[f]).append("', not ");
            what.append(voice ? "a voice number" : "a number with six decimals");
            problem(at, what);
        }
        if (!good) continue;
        result.grains.push_back(grainOf(fields, static_cast<int>(at + 1)));
        voices.insert(result.grains.back().voice);
    }
    result.voices.assign(voices.begin(), voices.end());

    // The closing lines: the reverb statement when asked for, then the end.
    auto expectLine = [&](std::string_view what) {
        const std::string named =
            what.empty() ? std::string("an empty line") : std::string("'").append(what).append("'");
        if (at >= lines.size()) {
            problem(at, "the score ends before " + named);
            return false;
        }
        if (lines[at] != what) {
            std::string found(lines[at]);
            problem(at, "'" + found.append("' where ").append(named).append(" belongs"));
            return false;
        }
        ++at;
        return true;
    };
    if (!expectLine("")) return result;
    if (at < lines.size() && startsWith(lines[at], reverbStatement)) {
        std::string_view line = lines[at];
        std::string_view duration = line.size() > reverbStart.size() + reverbTail.size()
                                        ? line.substr(reverbStart.size(),
                                                      line.size() - reverbStart.size() - reverbTail.size())
                                        : "";
        if (startsWith(line, reverbStart) && line.ends_with(reverbTail) && isFixedSix(duration))
            result.reverbDuration = numberOf(duration);
        else
            problem(at, "the reverb statement should read 'i99<tab> 0<tab> <duration><tab>'");
        result.reverb = true;
        result.reverbLine = static_cast<int>(at + 1);
        ++at;
        if (!expectLine("")) return result;
    }
    if (!expectLine(endStatement)) return result;
    if (at != lines.size()) problem(at, "text after the end statement");
    return result;
}

}  // namespace

}  // namespace grain
