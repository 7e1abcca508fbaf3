#include "render_options.hpp"

#include <algorithm>
#include <charconv>

namespace render {

namespace {

// A whole number from low to high written as decimal digits only.
std::optional<long> wholeNumber(const std::string& text, long low, long high) {
    long value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < low || value > high) return std::nullopt;
    return value;
}

// Reads "K/N" with 1 <= K <= N.
bool readPart(const std::string& text, int& part, int& count) {
    auto slash = text.find('/');
    if (slash == std::string::npos) return false;
    auto k = wholeNumber(text.substr(0, slash), 1, 100000);
    auto n = wholeNumber(text.substr(slash + 1), 1, 100000);
    if (!k || !n || *k > *n) return false;
    part = static_cast<int>(*k);
    count = static_cast<int>(*n);
    return true;
}

}  // namespace

ParsedRenderOptions parseRenderOptions(const std::vector<std::string>& arguments) {
    RenderOptions options;
    std::vector<std::string> positional;
    bool jobsGiven = false;
    auto refuse = [](std::string reason) { return ParsedRenderOptions{std::nullopt, std::move(reason)}; };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= arguments.size()) return false;
            into = arguments[++i];
            return true;
        };
        std::string text;
        if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--mix") {
            options.mix = true;
        } else if (argument == "-o") {
            if (!value(options.output) || options.output.empty()) return refuse("-o wants the name of the output file");
        } else if (argument == "--space") {
            if (!value(text) || std::find(spaceNames.begin(), spaceNames.end(), text) == spaceNames.end())
                return refuse("--space wants one of stereo, binaural, ambix1, ambix3, ring8");
            options.space = text;
        } else if (argument == "--speakers") {
            if (!value(options.speakers) || options.speakers.empty()) return refuse("--speakers wants a speaker file");
        } else if (argument == "--jobs") {
            auto jobs = value(text) ? wholeNumber(text, 1, 1024) : std::nullopt;
            if (!jobs) return refuse("--jobs wants a number of parts from 1 to 1024");
            options.jobs = static_cast<unsigned>(*jobs);
            jobsGiven = true;
        } else if (argument == "--orchestra") {
            if (!value(options.orchestra) || options.orchestra.empty())
                return refuse("--orchestra wants the orchestra file");
        } else if (argument == "--rate") {
            if (!value(text) || (text != "44100" && text != "48000"))
                return refuse("--rate wants 44100 or 48000");
            options.rate = text == "44100" ? 44100 : 48000;
        } else if (argument == "--part") {
            if (!value(text) || !readPart(text, options.part, options.partCount))
                return refuse("--part wants K/N, part K of N parts, 1 <= K <= N");
        } else if (argument.size() > 1 && argument[0] == '-') {
            return refuse("unknown option " + argument);
        } else {
            positional.push_back(argument);
        }
    }
    if (options.help || options.version) return {options, ""};
    if (!options.speakers.empty()) {
        if (options.space != "stereo") return refuse("--speakers is a technique of its own: it does not go with --space");
        options.space = "speakers";
    }
    if (options.mix) {
        if (positional.size() < 2) return refuse("--mix wants the output file and at least one part file");
        if (jobsGiven || options.part != 0 || !options.orchestra.empty() || options.rate != 0 ||
            options.space != "stereo" || !options.speakers.empty() || !options.output.empty())
            return refuse("--mix takes only the output file, the part files and --quiet");
        options.output = positional[0];
        options.mixParts.assign(positional.begin() + 1, positional.end());
        return {options, ""};
    }
    if (positional.size() != 1) return refuse(positional.empty() ? "no score given" : "only one score can be rendered at a time");
    if (jobsGiven && options.part != 0) return refuse("--part renders one part on one core: --jobs does not go with it");
    options.score = positional[0];
    return {options, ""};
}

std::string renderUsage() {
    return "usage: grainrender SCORE [-o OUT] [--space stereo|binaural|ambix1|ambix3|ring8]\n"
           "                   [--speakers FILE] [--jobs N] [--orchestra FILE] [--rate 44100|48000]\n"
           "                   [--part K/N] [--quiet]\n"
           "       grainrender --mix OUT PART...\n"
           "Renders a score of glissonscore, granulescore or additivescore with its orchestra into\n"
           "a 32-bit float sound file, in N parts at once (default: one per core). --part K/N\n"
           "renders only part K of N into its own file; --mix sums parts 1 to N of one render\n"
           "into one, and refuses any other set of files.\n"
           "--speakers FILE renders to the speakers the file describes.\n";
}

}  // namespace render
