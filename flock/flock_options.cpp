#include "flock_options.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace flock {

namespace {

constexpr double defaultDuration = 12.0;

bool parseReal(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    return first != last && error == std::errc() && end == last && std::isfinite(value);
}

bool parseWhole(const std::string& text, std::uint64_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, error] = std::from_chars(first, last, value);
    return first != last && error == std::errc() && end == last;
}

// The samples that cover duration seconds, both ends included.
std::optional<int> samplesFor(double duration, double interval) {
    double count = std::floor(duration / interval + 1e-9) + 1.0;
    if (count > static_cast<double>(maxSamples)) return std::nullopt;
    return static_cast<int>(count);
}

std::string show(double value) {
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("?");
}

}  // namespace

std::string flockUsage(const std::filesystem::path& defaultFolder) {
    return "Usage: flockpaths [OPTION]...\n"
           "Flies a flock of boids around a listener and writes every boid's path as\n"
           "the coordinate files that glissonscore, granulescore and additivescore read:\n"
           "for boid k (1, 2, ...) bg<k>a.txt (azimuth), bg<k>e.txt (elevation) and\n"
           "bg<k>d.txt (distance), one value per line with four decimals, sample n lying\n"
           "n sampling intervals after the start.\n"
           "\n"
           "Conventions: the listener sits at the origin facing ahead.\n"
           "  azimuth    degrees, clockwise seen from above: 0 ahead, 90 right, -90 left,\n"
           "             180 behind; always within -180 to 180\n"
           "  elevation  degrees above the horizontal plane, -90 (below) to 90 (above)\n"
           "  distance   metres from the listener\n"
           "\n"
           "Options (a value may also follow an equals sign, --voices=8):\n"
           "  --voices N        boids, one per grain stream, 1 to 100 (default 4)\n"
           "  --interval S      spatial sampling interval in seconds; make it the minimum\n"
           "                    grain duration of the score, above 0 and at most 10\n"
           "                    (default 0.05)\n"
           "  --duration S      seconds of flight to sample, both ends included; give it a\n"
           "                    little longer than the score's total duration (default 12)\n"
           "  --samples N       samples per boid instead of a duration, 2 to 20000\n"
           "  --seed N          seed of the flock, 0 to 18446744073709551615 (default 1);\n"
           "                    the same options and seed always write the same files\n"
           "  --out FOLDER      where to write the files, created when missing\n"
           "                    (default " + defaultFolder.string() + ")\n"
           "  --separation W    weight of keeping apart from near neighbours (default 1.5)\n"
           "  --alignment W     weight of flying like the neighbours (default 1)\n"
           "  --cohesion W      weight of staying with the neighbours (default 1)\n"
           "  --wander W        weight of each boid's own random steering (default 0.5)\n"
           "  --radius M        radius of the bounding sphere around the listener in\n"
           "                    metres, 2 to 1000 (default 20)\n"
           "  --min-speed V     slowest flight in metres per second (default 1)\n"
           "  --max-speed V     fastest flight in metres per second (default 6)\n"
           "  --svg FILE        also draw the paths into an SVG picture: a top view and\n"
           "                    the elevation over time\n"
           "  --replace         replace (or remove) coordinate files in the folder that\n"
           "                    flockpaths did not write, or that were changed since\n"
           "  --help            show this text and exit\n"
           "  --version         show the version and exit\n"
           "\n"
           "Weights are 0 to 100. At most 20000 samples, and at most 3600 seconds of flight.\n"
           "The bounding sphere is soft: a boid that flies past it turns back. Boids veer\n"
           "away from the listener inside 2 metres (half the radius for a smaller sphere).\n"
           "Files are written under temporary names and renamed when all are complete;\n"
           "files of higher boid numbers left in the folder by an earlier run are removed,\n"
           "so that the folder holds exactly this flock. flockpaths records what it wrote\n"
           "in the folder (flockpaths.manifest: the sampling interval, each file's size\n"
           "and digest; the score programs warn when the interval is not their minimum\n"
           "grain duration) and replaces or removes only those files, and only while\n"
           "they are unchanged: any other coordinate file there, such as one of a Boids\n"
           "patch, makes it refuse (exit status 1) unless --replace is given. Nothing is\n"
           "written when an option or the folder is refused.\n";
}

ParsedOptions parseFlockOptions(const std::vector<std::string>& arguments, const std::filesystem::path& defaultFolder) {
    FlockOptions options;
    options.folder = defaultFolder;
    FlockSettings& s = options.settings;
    std::optional<double> duration;
    std::optional<std::uint64_t> samples;
    auto refuse = [](std::string why) -> ParsedOptions { return grain::because(std::move(why)); };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--version") {
            options.version = true;
            continue;
        }
        if (name == "--replace") {
            options.replace = true;
            continue;
        }
        if (name.rfind("--", 0) != 0) return refuse("unexpected argument '" + name + "'");
        if (auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        }
        if (!value) return refuse("option " + name + " needs a value");

        auto real = [&](double low, double high, bool lowIncluded) -> std::optional<double> {
            double v = 0.0;
            if (!parseReal(*value, v)) return std::nullopt;
            if (lowIncluded ? v < low : v <= low) return std::nullopt;
            if (v > high) return std::nullopt;
            return v;
        };
        auto badValue = [&](const std::string& wanted) {
            return refuse("option " + name + " wants " + wanted + ", not '" + *value + "'");
        };

        if (name == "--voices") {
            std::uint64_t v = 0;
            if (!parseWhole(*value, v) || v < 1 || v > static_cast<std::uint64_t>(maxVoices))
                return badValue("a whole number from 1 to 100");
            s.voices = static_cast<int>(v);
        } else if (name == "--interval") {
            auto v = real(0.0, maxIntervalSeconds, false);
            if (!v) return badValue("seconds above 0 and at most 10");
            s.interval = *v;
        } else if (name == "--duration") {
            auto v = real(0.0, maxFlightSeconds, false);
            if (!v) return badValue("seconds above 0 and at most 3600");
            duration = *v;
        } else if (name == "--samples") {
            std::uint64_t v = 0;
            if (!parseWhole(*value, v) || v < 2 || v > static_cast<std::uint64_t>(maxSamples))
                return badValue("a whole number from 2 to 20000");
            samples = v;
        } else if (name == "--seed") {
            std::uint64_t v = 0;
            if (!parseWhole(*value, v)) return badValue("a whole number from 0 to 18446744073709551615");
            s.seed = v;
        } else if (name == "--out") {
            if (value->empty()) return badValue("a folder");
            options.folder = *value;
        } else if (name == "--svg") {
            if (value->empty()) return badValue("a file name");
            options.svg = std::filesystem::path(*value);
        } else if (name == "--separation" || name == "--alignment" || name == "--cohesion" || name == "--wander") {
            auto v = real(0.0, 100.0, true);
            if (!v) return badValue("a weight from 0 to 100");
            (name == "--separation" ? s.separation
             : name == "--alignment" ? s.alignment
             : name == "--cohesion"  ? s.cohesion
                                     : s.wander) = *v;
        } else if (name == "--radius") {
            auto v = real(2.0, 1000.0, true);
            if (!v) return badValue("metres from 2 to 1000");
            s.radius = *v;
        } else if (name == "--min-speed" || name == "--max-speed") {
            auto v = real(0.0, 1000.0, false);
            if (!v) return badValue("metres per second above 0 and at most 1000");
            (name == "--min-speed" ? s.minSpeed : s.maxSpeed) = *v;
        } else {
            return refuse("unknown option " + name);
        }
    }
    if (options.help || options.version) return options;

    if (duration && samples) return refuse("give either --duration or --samples, not both");
    if (s.minSpeed > s.maxSpeed)
        return refuse("--min-speed " + show(s.minSpeed) + " is above --max-speed " + show(s.maxSpeed));
    if (samples) {
        s.samples = static_cast<int>(*samples);
    } else {
        double d = duration.value_or(defaultDuration);
        auto count = samplesFor(d, s.interval);
        if (!count)
            return refuse(show(d) + " seconds at an interval of " + show(s.interval) + " seconds need more than " +
                          std::to_string(maxSamples) + " samples");
        if (*count < 2) return refuse("the duration " + show(d) + " is shorter than one interval");
        s.samples = *count;
    }
    if (static_cast<double>(s.samples - 1) * s.interval > maxFlightSeconds)
        return refuse("the flight would last more than 3600 seconds");
    return options;
}

}  // namespace flock
