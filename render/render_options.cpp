#include "render_options.hpp"

#include <algorithm>
#include <charconv>
#include <set>

#include "containers.hpp"
#include "hrtf_set.hpp"
#include "techniques.hpp"

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
    std::set<std::string> off;  // the --no-... switches given
    auto refuse = [](std::string reason) { return ParsedRenderOptions(grain::because(std::move(reason))); };
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
        } else if (argument == "--play") {
            options.play = true;
        } else if (argument == "--no-connect") {
            options.noConnect = true;
        } else if (argument == "--connect") {
            if (!value(options.connect) || options.connect.empty())
                return refuse("--connect wants the start of the port names to play into, as system:playback_");
        } else if (argument == "-o") {
            if (!value(options.output) || options.output.empty()) return refuse("-o wants the name of the output file");
        } else if (argument == "--space") {
            const Technique* technique = value(text) ? findTechnique(text) : nullptr;
            if (!technique || technique->speakerFile) return refuse("--space wants one of " + techniqueNames());
            options.space = technique->name;
            options.spaceGiven = true;
        } else if (argument == "--decode") {
            if (!value(options.decode) || options.decode.empty())
                return refuse("--decode wants a layout (" + techniqueNames() + ") or a speaker file");
        } else if (argument == "--verbose") {
            options.verbose = true;
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
            auto rate = value(text) ? wholeNumber(text, lowestRate, highestRate) : std::nullopt;
            if (!rate) return refuse("--rate wants a sample rate from 22050 to 192000 Hz");
            options.rate = static_cast<int>(*rate);
        } else if (argument == "--hrtf") {
            if (!value(options.hrtf) || options.hrtf.empty())
                return refuse("--hrtf wants a SOFA file, or csound for Csound's own HRTF data");
        } else if (auto cue = std::find_if(cueSwitches.begin(), cueSwitches.end(),
                                           [&](const CueSwitch& s) { return s.option == argument; });
                   cue != cueSwitches.end()) {
            off.insert(argument);
        } else if (argument == "--part") {
            if (!value(text) || !readPart(text, options.part, options.partCount))
                return refuse("--part wants K/N, part K of N parts, 1 <= K <= N");
        } else if (argument.size() > 1 && argument[0] == '-') {
            return refuse("unknown option " + argument);
        } else {
            positional.push_back(argument);
        }
    }
    if (options.help || options.version) return options;
    for (const auto& cue : cueSwitches)
        if (off.count(cue.option) != 0) options.cuesOff.push_back(cue.option);
    if (!options.hrtf.empty()) {
        if (options.space != "binaural") return refuse("--hrtf goes with --space binaural");
        if (options.hrtf == "csound" && options.rate != 0 && options.rate != 44100 && options.rate != 48000 &&
            options.rate != 96000)
            return refuse("Csound's HRTF data (--hrtf csound) is at 44100, 48000 or 96000 Hz: a SOFA file renders at any rate");
    }
    if (!options.speakers.empty()) {
        if (options.space != "stereo") return refuse("--speakers is a technique of its own: it does not go with --space");
        options.space = "speakers";
    }
    if (options.normalize && options.loudness) return refuse("--normalize and --loudness do not go together: choose one");
    // The channels of the finished file: the technique's, or the layout's it is decoded to (0: its speaker file's).
    int channels = findTechnique(options.space) ? findTechnique(options.space)->channels : 0;
    if (!options.decode.empty()) {
        const Technique* layout = findTechnique(options.decode);
        channels = layout && layout->layout ? layout->channels : 0;
        if (options.mix || options.part != 0 || !options.speakers.empty() || options.play)
            return refuse("--decode goes with a whole render in Ambisonics or an AmbiX file, not with --mix, --part, --speakers or --play");
        if (positional.size() == 1 && containerOf(positional[0])) {
            if (options.spaceGiven || jobsGiven || !options.orchestra.empty() || options.rate != 0 || !options.cuesOff.empty())
                return refuse("--decode LAYOUT IN decodes an AmbiX file: --space, --jobs, --orchestra, --rate and the "
                              "--no-... switches go with a score");
            options.decodeFile = true;
            options.decodeInput = positional[0];
        } else if (!options.spaceGiven) {
            options.space = "ambix3";
        } else if (layoutOf(options.space, 0) != ChannelLayout::ambisonic) {
            return refuse("--decode decodes Ambisonics: the score is rendered with --space ambix1 or ambix3 for it");
        }
    }
    if ((!options.connect.empty() || options.noConnect) && !options.play)
        return refuse("--connect and --no-connect say where --play plays: they go with --play");
    if (!options.connect.empty() && options.noConnect) return refuse("--connect and --no-connect do not go together: choose one");
    if (options.mix) {
        if (positional.size() < 2) return refuse("--mix wants the output file and at least one part file");
        if (jobsGiven || options.part != 0 || !options.orchestra.empty() || options.rate != 0 || options.play ||
            !options.speakers.empty() || !options.output.empty() || windowGiven || !options.hrtf.empty() ||
            !options.cuesOff.empty())
            return refuse("--mix takes only the output file, the part files, --space, --normalize, --loudness and --quiet");
        options.output = positional[0];
        options.mixParts.assign(positional.begin() + 1, positional.end());
        if (auto container = checkContainer(options.output, 0); !container) return refuse(container.reason());
        return options;
    }
    if (positional.size() != 1) return refuse(positional.empty() ? "no score given" : "only one score can be rendered at a time");
    if (jobsGiven && options.part != 0) return refuse("--part renders one part on one core: --jobs does not go with it");
    if (options.play) {
        if (options.part != 0) return refuse("--play plays the whole score: --part does not go with it");
        if (jobsGiven) return refuse("--play renders on one core as it plays: --jobs does not go with it");
        if (options.rate != 0) return refuse("--play renders at the JACK server's rate: --rate does not go with it");
        if ((options.normalize || options.loudness) && options.output.empty())
            return refuse("--play plays as it renders, at the level rendered: --normalize and --loudness level "
                          "only the file of -o");
    }
    if (options.part != 0) {
        if (options.normalize || options.loudness)
            return refuse("a part is not the finished render: --normalize and --loudness go with the whole render or --mix");
        if (!options.output.empty() && containerOf(options.output).value_or(Container{}).extension != ".w64")
            return refuse("a part file is W64: name it .w64");
    } else if (!options.output.empty()) {
        if (auto container = checkContainer(options.output, channels); !container) return refuse(container.reason());
    }
    if (options.decodeFile) return options;
    options.score = positional[0];
    return options;
}

std::string renderUsage() {
    std::string usage =
        "usage: grainrender SCORE [-o OUT] [--space TECHNIQUE] [--speakers FILE] [--decode LAYOUT]\n"
        "                   [--window default|table|hann] [--hrtf FILE.sofa|csound] [--jobs N]\n"
        "                   [--orchestra FILE] [--rate HZ] [--part K/N]\n"
        "                   [--normalize DBFS | --loudness LUFS] [--quiet] [--verbose]\n"
        "                   [--no-doppler] [--no-air] [--no-attenuation] [--no-distance-reverb] [--no-reverb]\n"
        "       grainrender SCORE --play [--connect PREFIX | --no-connect] [-o OUT] [--space NAME]\n"
        "                   [--speakers FILE] [--orchestra FILE] [--quiet]\n"
        "       grainrender --mix OUT PART... [--space TECHNIQUE] [--normalize DBFS | --loudness LUFS]\n"
        "       grainrender --decode LAYOUT IN [-o OUT] [--normalize DBFS | --loudness LUFS] [--verbose]\n"
        "Renders a score of glissonscore, granulescore or additivescore with its orchestra into\n"
        "a sound file, in N parts at once (default: one per core). The output's name sets the\n"
        "container: .wav, .caf (AmbiX for Ambisonics), .w64, .aiff (32-bit float), .flac (24-bit).\n"
        "--part K/N renders only part K of N into its own W64 file; --mix sums parts 1 to N of\n"
        "one render into one, and refuses any other set of files.\n"
        "--space TECHNIQUE (default stereo), or a speaker layout by name, channels in file order:\n";
    for (const auto& technique : techniques()) {
        if (technique.speakerFile || technique.layout) continue;
        usage += "  " + technique.name + std::string(16 - technique.name.size(), ' ') + std::to_string(technique.channels) +
                 " channels\n";
    }
    for (const auto& technique : techniques()) {
        if (!technique.layout) continue;
        std::string name = technique.name + (technique.alias.empty() ? "" : " (" + technique.alias + ")");
        usage += "  " + name + std::string(name.size() < 16 ? 16 - name.size() : 1, ' ');
        for (const auto& channel : technique.layout->channels) usage += channel.name + " ";
        usage.back() = '\n';
    }
    usage +=
        "The LFE channels stay silent: the grains are full range, bass management is the studio's.\n"
        "--speakers FILE renders to the speakers the file describes (examples/ring8.speakers).\n"
        "--decode LAYOUT decodes Ambisonics to a layout above or a speaker file: an AmbiX file IN\n"
        "(first to third order), or the score rendered in ambix3 (or --space ambix1) at once.\n"
        "--window table reads every grain's envelope as the score's table 2 is, edges and all;\n"
        "hann is a raised cosine; default fades table 2 to silence at both ends.\n"
        "--normalize brings the peak, --loudness the integrated loudness (EBU R128) of the\n"
        "finished render to a level.\n"
        "--hrtf names the HRTF set binaural hears: a SOFA file (default\n" + defaultSofaFile +
        ") or csound, Csound's own data.\n"
        "--rate renders at 22050 to 192000 Hz (default: the orchestra's rate, 44100).\n"
        "--no-doppler, --no-air, --no-attenuation and --no-distance-reverb turn that distance\n"
        "cue off; --no-reverb leaves the reverb out. Parts mix only with parts of the same switches.\n"
        "Disk: a render of N parts needs N + 1 times the output's size as float (its parts and\n"
        "their mix) free in the output's folder, --part one; a render that cannot fit is refused\n"
        "before it starts, as is one into an output that another grainrender is writing.\n"
        "--play renders in real time into a JACK server (jackd, or PipeWire's through pw-jack)\n"
        "at its rate, one port per channel, connected in order to the system's playback ports\n"
        "or to the ports whose names begin with PREFIX; with -o it writes the file too. It\n"
        "renders on one core: Csound's own threads (-j) made a dense score 14 times slower.\n"
        "The render benchmark's dense scores, 64 grains at once (6400 a second), render 5 to 7.4\n"
        "times faster than real time in every technique, and with 125 at once 3 to 5.4 times:\n"
        "every technique plays such scores in real time; on a busy machine binaural, the\n"
        "dearest, is the first to under-run.\n";
    return usage;
}

}  // namespace render
