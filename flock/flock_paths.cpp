#include "flock_paths.hpp"

#include "exit_status.hpp"
#include "flock_options.hpp"
#include "path_files.hpp"
#include "version.hpp"

namespace flock {

int runFlockPaths(const std::vector<std::string>& arguments, const std::filesystem::path& defaultFolder,
                  std::ostream& console, std::ostream& errors) {
    constexpr const char* tool = "flockpaths";
    ParsedOptions parsed = parseFlockOptions(arguments, defaultFolder);
    if (!parsed)
        return grain::leave(errors, tool, parsed.reason() + "\nTry 'flockpaths --help' for the options.",
                            grain::exitCommandLine);
    const FlockOptions& options = *parsed;
    if (options.help) {
        console << flockUsage(defaultFolder);
        return grain::exitDone;
    }
    if (options.version) {
        console << grain::versionLine(tool);
        return grain::exitDone;
    }
    const FlockSettings& s = options.settings;
    // The folder may hold the composer's own coordinate files: refuse before
    // anything is written. The command line is good: this is a failure.
    if (!options.replace) {
        if (grain::Outcome<> owned = ownsCoordinateFiles(options.folder); !owned)
            return grain::leave(errors, tool,
                                owned.reason() + "; --replace replaces it and every other coordinate file in " +
                                    options.folder.string() + "\nflockpaths: nothing written",
                                grain::exitFailed);
    }
    std::vector<BoidPath> paths = simulateFlock(s);
    std::string picture = options.svg ? pathsPicture(paths, s) : std::string();
    WriteOutcome files = writeFlockFiles(paths, s.interval, options.folder, options.svg, picture);
    if (!files) return grain::leave(errors, tool, files.reason(), grain::exitFailed);
    for (const std::string& stale : files->removedStale) console << "removed " << stale << " of an earlier flock\n";
    console << "flockpaths: " << s.voices << (s.voices == 1 ? " boid, " : " boids, ") << s.samples
            << " samples each, one every " << fixedText(s.interval, 6) << " s ("
            << fixedText(static_cast<double>(s.samples - 1) * s.interval, 6) << " s of flight), seed " << s.seed
            << ", written to " << options.folder.string() << "\n";
    if (options.svg) console << "flockpaths: picture written to " << options.svg->string() << "\n";
    return grain::exitDone;
}

}  // namespace flock
