#include "score_view.hpp"

#include <filesystem>

#include "exit_status.hpp"
#include "file_bytes.hpp"
#include "score_picture.hpp"
#include "score_reader.hpp"
#include "svg_drawing.hpp"
#include "version.hpp"

namespace scoreview {

namespace {

// Problems shown of a refused score; the rest are counted.
constexpr std::size_t shownProblems = 5;

const char* const usage =
    "Usage: scoreview SCORE [-o FILE.svg]\n"
    "Draws a score written by glissonscore, granulescore or additivescore as an SVG\n"
    "picture: the grains over time (glissando frequencies, play positions in the\n"
    "sound file or partial frequencies), one colour per voice, and beneath them the\n"
    "azimuth and elevation of every voice, fainter further away. Without -o the\n"
    "picture is written beside the score, its name ending in .svg instead of .sco.\n"
    "A score that is not one of the programs' is refused with its line and what is\n"
    "wrong, and no picture is written.\n"
    "\n"
    "  -o FILE.svg   where to write the picture\n"
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n";

constexpr const char* tool = "scoreview";

int refuseCommandLine(std::ostream& errors, const std::string& why) {
    return grain::leave(errors, tool, why + "\nTry 'scoreview --help'.", grain::exitCommandLine);
}

}  // namespace

int runScoreView(const std::vector<std::string>& arguments, std::ostream& console, std::ostream& errors) {
    std::string scoreName, pictureName;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help") {
            console << usage;
            return grain::exitDone;
        }
        if (a == "--version") {
            console << grain::versionLine(tool);
            return grain::exitDone;
        }
        if (a == "-o") {
            if (i + 1 == arguments.size()) return refuseCommandLine(errors, "-o wants the name of the picture");
            pictureName = arguments[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return refuseCommandLine(errors, "unknown option '" + a + "'");
        } else if (scoreName.empty()) {
            scoreName = a;
        } else {
            return refuseCommandLine(errors, "one score at a time, not also '" + a + "'");
        }
    }
    if (scoreName.empty()) return refuseCommandLine(errors, "which score? Name it");
    if (pictureName.empty()) pictureName = std::filesystem::path(scoreName).replace_extension(".svg").string();
    if (std::filesystem::path(pictureName) == std::filesystem::path(scoreName))
        return refuseCommandLine(errors, "the picture would replace the score " + scoreName);

    // The reader takes CR LF line ends as the line ends they are.
    grain::Outcome<std::string> text = grain::readFileBytes(scoreName);
    if (!text) return grain::leave(errors, tool, text.reason(), grain::exitFailed);
    ScoreReading reading = grain::readScore(*text);
    if (!reading.problems.empty()) {
        for (std::size_t k = 0; k < reading.problems.size() && k < shownProblems; ++k)
            errors << "scoreview: " << scoreName << ": " << reading.problems[k] << "\n";
        if (reading.problems.size() > shownProblems)
            errors << "scoreview: " << scoreName << ": and " << reading.problems.size() - shownProblems
                   << " more problems\n";
        return grain::leave(errors, tool, scoreName + " is not a sound score; no picture written", grain::exitFailed);
    }
    std::string name = std::filesystem::path(scoreName).filename().string();
    if (grain::Outcome<> written = drawing::writePicture(pictureName, scorePicture(reading, name)); !written)
        return grain::leave(errors, tool, written.reason(), grain::exitFailed);
    const std::size_t grains = reading.grains.size(), voices = reading.voices.size();
    console << "scoreview: " << grains << (grains == 1 ? " grain of " : " grains of ") << voices
            << (voices == 1 ? " voice drawn in " : " voices drawn in ") << pictureName << "\n";
    return grain::exitDone;
}

}  // namespace scoreview
