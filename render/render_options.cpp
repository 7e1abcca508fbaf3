#include "render_options.hpp"

#include <algorithm>
#include <charconv>

#include "containers.hpp"

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

// A level in decibels from low to high, as a decimal number.
std::optional<double> level(const std::string& text, double low, double high) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || !(value >= low && value <= high)) return std::nullopt;
    return value;
}

}  // namespace

ParsedRenderOptions parseRenderOptions(const std::vector<std::string>& arguments) {
    RenderOptions options;
    std::vector<std::string> positional;
    bool jobsGiven = false;
    bool windowGiven = false;
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
            options.spaceGiven = true;
        } else if (argument == "--window") {
            if (!value(text) || std::find(windowNames.begin(), windowNames.end(), text) == windowNames.end())
                return refuse("--window wants one of default, table, hann");
            options.window = text;
            windowGiven = true;
        } else if (argument == "--normalize") {
            if (!value(text) || !(options.normalize = level(text, -60, 0)))
                return refuse("--normalize wants the peak in dBFS, from -60 to 0");
        } else if (argument == "--loudness") {
            if (!value(text) || !(options.loudness = level(text, -60, 0)))
                return refuse("--loudness wants the integrated loudness in LUFS, from -60 to 0");
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
    if (options.normalize && options.loudness) return refuse("--normalize and --loudness do not go together: choose one");
    if (options.mix) {
        if (positional.size() < 2) return refuse("--mix wants the output file and at least one part file");
        if (jobsGiven || options.part != 0 || !options.orchestra.empty() || options.rate != 0 ||
            !options.speakers.empty() || !options.output.empty() || windowGiven)
            return refuse("--mix takes only the output file, the part files, --space, --normalize, --loudness and --quiet");
        options.output = positional[0];
        options.mixParts.assign(positional.begin() + 1, positional.end());
        if (auto why = containerRefusal(options.output, 0); !why.empty()) return refuse(why);
        return {options, ""};
    }
    if (positional.size() != 1) return refuse(positional.empty() ? "no score given" : "only one score can be rendered at a time");
    if (jobsGiven && options.part != 0) return refuse("--part renders one part on one core: --jobs does not go with it");
    if (options.part != 0) {
        if (options.normalize || options.loudness)
            return refuse("a part is not the finished render: --normalize and --loudness go with the whole render or --mix");
        if (!options.output.empty() && containerOf(options.output).value_or(Container{}).extension != ".w64")
            return refuse("a part file is W64: name it .w64");
    } else if (!options.output.empty()) {
        if (auto why = containerRefusal(options.output, techniqueChannels(options.space)); !why.empty()) return refuse(why);
    }
    options.score = positional[0];
    return {options, ""};
}

std::string renderUsage() {
    return "usage: grainrender SCORE [-o OUT] [--space stereo|binaural|ambix1|ambix3|ring8]\n"
           "                   [--speakers FILE] [--window default|table|hann] [--jobs N]\n"
           "                   [--orchestra FILE] [--rate 44100|48000]\n"
           "                   [--part K/N] [--normalize DBFS | --loudness LUFS] [--quiet]\n"
           "       grainrender --mix OUT PART... [--space NAME] [--normalize DBFS | --loudness LUFS]\n"
           "Renders a score of glissonscore, granulescore or additivescore with its orchestra into\n"
           "a sound file, in N parts at once (default: one per core). The output's name sets the\n"
           "container: .wav, .caf (AmbiX for Ambisonics), .w64, .aiff (32-bit float), .flac (24-bit).\n"
           "--part K/N renders only part K of N into its own W64 file; --mix sums parts 1 to N of\n"
           "one render into one, and refuses any other set of files.\n"
           "--speakers FILE renders to the speakers the file describes. --window table reads\n"
           "every grain's envelope as the score's table 2 is, edges and all; hann is a raised\n"
           "cosine; default fades table 2 to silence at both ends. --normalize brings the\n"
           "peak, --loudness the integrated loudness (EBU R128) of the finished render to a level.\n";
}

}  // namespace render
