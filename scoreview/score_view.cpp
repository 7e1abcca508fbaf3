#include "score_view.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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

int refuseCommandLine(std::ostream& errors, const std::string& why) {
    errors << "scoreview: " << why << "\nTry 'scoreview --help'.\n";
    return 2;
}

}  // namespace

int runScoreView(const std::vector<std::string>& arguments, std::ostream& console, std::ostream& errors) {
    std::string scoreName, pictureName;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help") {
            console << usage;
            return 0;
        }
        if (a == "--version") {
            console << grain::versionLine("scoreview");
            return 0;
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

    // Text mode, as the score programs write it: on Windows a score's CR LF
    // line ends are read as the line ends they are.
    std::ifstream file(scoreName);
    if (!file) {
        errors << "scoreview: cannot read " << scoreName << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    std::ostringstream text;
    text << file.rdbuf();
    ScoreReading reading = grain::readScore(text.str());
    if (!reading.problems.empty()) {
        for (std::size_t k = 0; k < reading.problems.size() && k < shownProblems; ++k)
            errors << "scoreview: " << scoreName << ": " << reading.problems[k] << "\n";
        if (reading.problems.size() > shownProblems)
            errors << "scoreview: " << scoreName << ": and " << reading.problems.size() - shownProblems
                   << " more problems\n";
        errors << "scoreview: " << scoreName << " is not a sound score; no picture written\n";
        return 1;
    }
    std::string name = std::filesystem::path(scoreName).filename().string();
    if (auto failure = drawing::writePicture(pictureName, scorePicture(reading, name))) {
        errors << "scoreview: " << *failure << "\n";
        return 1;
    }
    const std::size_t grains = reading.grains.size(), voices = reading.voices.size();
    console << "scoreview: " << grains << (grains == 1 ? " grain of " : " grains of ") << voices
            << (voices == 1 ? " voice drawn in " : " voices drawn in ") << pictureName << "\n";
    return 0;
}

}  // namespace scoreview
