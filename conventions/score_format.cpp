#include "score_format.hpp"

namespace grain {

HeaderText headerText(HeaderLine line, const ScoreFormat& format) {
    switch (line) {
        case HeaderLine::userData: return {std::string(userDataLabels[0]), true};
        case HeaderLine::sineTableComment: return {std::string(sineTableComment), false};
        case HeaderLine::sineTable: return {std::string(sineTableStart), true};
        case HeaderLine::soundTable: return {std::string(soundTableStart), true};
        case HeaderLine::envelopeTable: return {std::string(envelopeTable), false};
        case HeaderLine::blank: return {"", false};
        case HeaderLine::columnComment: break;
    }
    std::string text(sharedColumns);
    for (int k = 0; k < format.ownFieldCount; ++k) {
        if (k != 0) text += ownColumnLead;
        text += format.ownFields[static_cast<std::size_t>(k)].title;
    }
    return {text, false};
}

std::optional<Program> programOfScore(std::string_view text) {
    const std::string_view commentStart = sharedColumns.substr(0, 5);  // ";inst"
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.starts_with(commentStart)) {
            for (const ScoreFormat& format : scoreFormats)
                if (isColumnComment(line, format)) return format.program;
            return std::nullopt;
        }
        at = end + 1;
    }
    return std::nullopt;
}

const char* programName(Program program) { return scoreFormat(program).name.data(); }

const char* orchestraFileName(Program program) { return scoreFormat(program).orchestraFileName.data(); }

}  // namespace grain
