#include "command_line.hpp"

#include <iostream>

#include "coordinate_files.hpp"
#include "exit_status.hpp"
#include "score_writer.hpp"

#ifndef GRAIN_VERSION
#error "GRAIN_VERSION is set by the build from the project's version"
#endif

namespace grain {

namespace {

// What each program asks, in the order of its dialogue.
const char* dialogueSummary(Program program) {
    switch (program) {
        case Program::glisson:
            return "It asks for the frequency mapping (1 to 3), the lowest and highest\n"
                   "frequency in Hz and the number of harmonics, the grain durations (a\n"
                   "menu of 1 to 3), the density (constant or dynamic intergrain values),\n"
                   "the total duration in seconds, the number of grain streams and the\n"
                   "global reverb (1 on, 0 off).\n";
        case Program::granule:
            return "It asks for the grain durations (a menu of 1 to 3), the density\n"
                   "(constant or dynamic intergrain values), the total duration in\n"
                   "seconds, the number of grain streams, the global reverb (1 on, 0 off),\n"
                   "the name of the mono sound file to granulate (a whole line) and the\n"
                   "grain playback speed.\n";
        case Program::additive:
            return "It asks for the fundamental frequency in Hz, the number of harmonics,\n"
                   "the total duration in seconds, the density (constant or dynamic\n"
                   "intergrain values), the number of grain streams (one partial each) and\n"
                   "the global reverb (1 on, 0 off).\n";
    }
    return "";
}

// Where the installation keeps the orchestra.
std::string orchestraPlace(Program program) {
#ifdef _WIN32
    return std::string(orchestraFileName(program)) + ", in the examples folder beside this program";
#else
    return std::string(orchestraFileName(program)) + ", in share/grainscores/examples/ of the installation\n" +
           "(/usr/share/grainscores/examples/ from the Debian package)";
#endif
}

}  // namespace

std::string programHelp(Program program) {
    const std::string name = programName(program);
    return "Usage: " + name + " [--answers FILE | --help | --version]\n" +
           "Asks its questions on the console (answers may be piped, one a line) and\n"
           "writes a Csound score with one i1 statement per grain. The answers it took\n"
           "are kept beside the score in " + name + ".answers, one a line with its\n"
           "question; change one and run again with --answers.\n"
           "\n" +
           dialogueSummary(program) +
           "\n"
           "Coordinate files: bgNa.txt, bgNe.txt and bgNd.txt (azimuth, elevation and\n"
           "distance of voice N) in " + fixedCoordinateFolder().string() + "\n" +
           "Score: " + scoreFileName(program) + " in the current directory\n" +
           "Orchestra: " + orchestraPlace(program) + "\n"
           "\n"
           "  --answers FILE  take the answers from FILE (blank lines and # comments\n"
           "                  passed over), each shown after its question\n"
           "  --help          show this text and exit\n"
           "  --version       show the version and exit\n"
           "\n"
           "Exit status: 0 when the score was written whole; 3 when it was written\n"
           "but a voice is missing or cut short (each named on standard error after\n"
           "the completion message); 1 when no score was written (an earlier score\n"
           "is then left as it was); 2 for an unknown argument.\n";
}

std::optional<int> answerCommandLine(Program program, const std::vector<std::string>& arguments,
                                     std::ostream& console, std::ostream& errors,
                                     std::filesystem::path& answersFile) {
    answersFile.clear();
    if (arguments.empty()) return std::nullopt;
    const std::string name = programName(program);
    if (arguments[0] == "--answers") {
        if (arguments.size() == 2 && !arguments[1].empty()) {
            answersFile = arguments[1];
            return std::nullopt;
        }
        if (arguments.size() < 2 || arguments[1].empty()) {
            errors << name << ": --answers needs the name of an answers file; try '" << name << " --help'\n";
            return 2;
        }
        errors << name << ": unknown argument '" << arguments[2] << "'; try '" << name << " --help'\n";
        return 2;
    }
    if (arguments.size() == 1 && arguments[0] == "--help") {
        console << programHelp(program);
        return exitDone;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        console << versionLine(name);
        return exitDone;
    }
    const std::string& first = arguments[0] == "--help" || arguments[0] == "--version" ? arguments[1] : arguments[0];
    return leave(errors, name, "unknown argument '" + first + "'; try '" + name + " --help'", exitCommandLine);
}

int scoreProgramMain(Program program, ScoreProgramRun run, int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::filesystem::path answersFile;
    if (auto answered = answerCommandLine(program, arguments, std::cout, std::cerr, answersFile)) return *answered;
    return run(std::cin, std::cout, fixedCoordinateFolder(), std::filesystem::path("."), std::cerr, answersFile);
}

}  // namespace grain
