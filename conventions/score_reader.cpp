#include "score_reader.hpp"

#include <charconv>
#include <set>
#include <string_view>

#include "score_format.hpp"

namespace scoreview {

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
        if (line.substr(pos, 2) != "\t ") return false;
        pos += 2;
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

GrainStatement grainOf(const std::vector<std::string_view>& fields, int line) {
    GrainStatement g;
    g.line = line;
    double* values[] = {&g.start, &g.noteDuration, nullptr, &g.phase, &g.aziOld, &g.azi, &g.elevOld,
                        &g.elev, &g.distOld, &g.dist, &g.grainDuration, &g.p13, &g.p14};
    for (std::size_t f = 1; f < fields.size(); ++f) {
        if (f == 3)
            g.voice = static_cast<int>(numberOf(fields[f]));
        else
            *values[f - 1] = numberOf(fields[f]);
    }
    return g;
}

}  // namespace

int grainFields(grain::Program program) { return grain::scoreFormat(program).pFields; }

ScoreReading readScore(const std::string& score) {
    if (auto program = grain::programOfScore(score)) return readScore(score, *program);
    ScoreReading result;
    result.problems.push_back(score.empty() ? "line 1: the file is empty"
                                            : "line 1: not a score of glissonscore, granulescore or additivescore "
                                              "(no column comment of theirs)");
    return result;
}

ScoreReading readScore(const std::string& score, grain::Program program) {
    ScoreReading result;
    result.program = program;
    const std::vector<std::string_view> lines = linesOf(score);
    auto problem = [&](std::size_t index, const std::string& what) {
        result.problems.push_back("line " + std::to_string(index + 1) + ": " + what);
    };
    if (score.empty() || score.back() != '\n')
        problem(lines.empty() ? 0 : lines.size() - 1, "the score does not end with a line end");

    // The header: each line of the program's format, whole, or its fixed
    // beginning where the run's values follow.
    using grain::HeaderLine;
    const grain::ScoreFormat& format = grain::scoreFormat(program);
    struct Expected {
        std::string text;
        bool prefixOnly;
    };
    std::vector<Expected> header;
    for (int line = 0; line < format.headerLines; ++line) {
        switch (format.header[static_cast<std::size_t>(line)]) {
            case HeaderLine::userData: header.push_back({std::string(grain::userDataStart), true}); break;
            case HeaderLine::sineTableComment: header.push_back({std::string(grain::sineTableComment), false}); break;
            case HeaderLine::sineTable: header.push_back({std::string(grain::sineTableStart), true}); break;
            case HeaderLine::soundTable: header.push_back({std::string(grain::soundTableStart), true}); break;
            case HeaderLine::envelopeTable: header.push_back({std::string(grain::envelopeTable), false}); break;
            case HeaderLine::blank: header.push_back({"", false}); break;
            case HeaderLine::columnComment:
                header.push_back({std::string(grain::sharedColumns), false});
                header.back().text.append(format.ownColumns);
                break;
        }
    }
    std::size_t at = 0;
    for (const auto& [expected, prefixOnly] : header) {
        if (at >= lines.size()) {
            problem(at, "the header ends early");
            return result;
        }
        std::string_view line = lines[at];
        bool fits = prefixOnly ? startsWith(line, expected) : line == expected;
        if (!fits) problem(at, "header line should be '" + expected + (prefixOnly ? "...'" : "'"));
        ++at;
    }

    // The grain statements.
    const std::size_t wanted = static_cast<std::size_t>(grainFields(program));
    std::set<int> voices;
    std::vector<std::string_view> fields;
    for (; at < lines.size() && startsWith(lines[at], "i1"); ++at) {
        if (!splitStatement(lines[at], "i1", fields)) {
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
            if (f == 3 ? isVoice(fields[f]) : isFixedSix(fields[f])) continue;
            good = false;
            std::string what(1, 'p');
            what.append(std::to_string(f + 1));
            what.append(" is '").append(fields[f]).append("', not ");
            what.append(f == 3 ? "a voice number" : "a number with six decimals");
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
    if (at < lines.size() && startsWith(lines[at], "i99")) {
        std::string_view line = lines[at];
        const std::string_view lead = "i99\t 0\t ";
        std::string_view duration =
            line.size() > lead.size() + 1 ? line.substr(lead.size(), line.size() - lead.size() - 1) : "";
        if (startsWith(line, lead) && line.back() == '\t' && isFixedSix(duration))
            result.reverbDuration = numberOf(duration);
        else
            problem(at, "the reverb statement should read 'i99<tab> 0<tab> <duration><tab>'");
        result.reverb = true;
        ++at;
        if (!expectLine("")) return result;
    }
    if (!expectLine("e")) return result;
    if (at != lines.size()) problem(at, "text after the end statement");
    return result;
}

}  // namespace scoreview
