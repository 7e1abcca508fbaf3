#include "flock_paths.hpp"

#include "flock_options.hpp"
#include "path_files.hpp"
#include "version.hpp"

namespace flock {

int runFlockPaths(const std::vector<std::string>& arguments, const std::filesystem::path& defaultFolder,
                  std::ostream& console, std::ostream& errors) {
    ParsedOptions parsed = parseFlockOptions(arguments, defaultFolder);
    if (!parsed.options) {
        errors << "flockpaths: " << parsed.refusal << "\nTry 'flockpaths --help' for the options.\n";
        return 2;
    }
    const FlockOptions& options = *parsed.options;
    if (options.help) {
        console << flockUsage(defaultFolder);
        return 0;
    }
    if (options.version) {
        console << grain::versionLine("flockpaths");
        return 0;
    }
    const FlockSettings& s = options.settings;
    // The folder may hold the composer's own coordinate files: refuse before
    // anything is written.
    if (!options.replace) {
        if (auto foreign = firstForeignFile(options.folder)) {
            errors << "flockpaths: " << *foreign << "; --replace replaces it and every other coordinate file in "
                   << options.folder.string() << "\nflockpaths: nothing written\n";
            return 2;
        }
    }
    std::vector<BoidPath> paths = simulateFlock(s);
    std::string picture = options.svg ? pathsPicture(paths, s) : std::string();
    WriteOutcome files = writeFlockFiles(paths, s.interval, options.folder, options.svg, picture);
    if (!files.ok) {
        errors << "flockpaths: " << files.failure << "\n";
        return 1;
    }
    for (const std::string& stale : files.removedStale) console << "removed " << stale << " of an earlier flock\n";
    console << "flockpaths: " << s.voices << (s.voices == 1 ? " boid, " : " boids, ") << s.samples
            << " samples each, one every " << fixedText(s.interval, 6) << " s ("
            << fixedText(static_cast<double>(s.samples - 1) * s.interval, 6) << " s of flight), seed " << s.seed
            << ", written to " << options.folder.string() << "\n";
    if (options.svg) console << "flockpaths: picture written to " << options.svg->string() << "\n";
    return 0;
}

}  // namespace flock
