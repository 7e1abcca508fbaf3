// The command line of grainrender: rendering a score (whole, or one part of
// it, or played as it renders) or mixing part files. Parsing never prints or exits; it hands back the
// settings, a request for help, or the reason the command line is refused.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "outcome.hpp"

namespace render {

// The grain windows the orchestras know, by the name the WINDOW macro takes; the first is theirs by default.
inline const std::vector<std::string> windowNames = {"default", "table", "hann"};

// The switches that turn a cue off, in the order a part's label lists them,
// each with the orchestra's macro it sets to 0 (--no-reverb has none: the
// score's reverb statement is left out).
struct CueSwitch {
    std::string option;  // "--no-doppler"
    std::string macro;   // "DOPPLER"; empty for --no-reverb
};
inline const std::vector<CueSwitch> cueSwitches = {{"--no-doppler", "DOPPLER"},
                                                   {"--no-air", "AIR"},
                                                   {"--no-attenuation", "ATTENUATION"},
                                                   {"--no-distance-reverb", "DISTANCE_REVERB"},
                                                   {"--no-reverb", ""}};

// The sample rates a render may have, Hz.
constexpr int lowestRate = 22050;
constexpr int highestRate = 192000;

struct RenderOptions {
    bool help = false;
    bool version = false;
    bool mix = false;                  // grainrender --mix OUT PART...
    bool decodeFile = false;           // grainrender --decode LAYOUT IN: decodes an AmbiX file, renders nothing
    std::string score;                 // the score to render
    std::string output;                // -o, or the output of --mix; empty: the default name
    std::vector<std::string> mixParts; // the part files of --mix
    std::string space = "stereo";      // a technique's name (techniques.hpp)
    std::string speakers;              // --speakers: the composer's speaker file (technique "speakers")
    std::string decode;                // --decode: the layout's name or speaker file to decode Ambisonics to
    std::string decodeInput;           // the AmbiX file of --decode LAYOUT IN
    bool verbose = false;              // --verbose: the decoder's gains too
    std::string window = windowNames[0];  // --window: the grain's window, the orchestra's WINDOW macro
    unsigned jobs = 0;                 // 0: one part per core
    std::string orchestra;             // empty: found by the score's program
    int rate = 0;                      // 0: the orchestra's own sample rate
    std::string hrtf;                  // --hrtf: a SOFA file or "csound" (binaural); empty: the default SOFA file
    std::vector<std::string> cuesOff;  // the --no-... switches given, in the order of cueSwitches
    int part = 0;                      // --part K/N: K from 1, 0 for the whole score
    int partCount = 0;                 // N
    bool quiet = false;
    bool spaceGiven = false;           // --space was given (--mix: what the parts are; else told by their channels)
    std::optional<double> normalize;   // --normalize: the peak to bring the finished render to, dBFS
    std::optional<double> loudness;    // --loudness: the integrated loudness to bring it to, LUFS
    bool play = false;                 // --play: into a JACK server as it renders (and into -o when given)
    std::string connect;               // --connect: the prefix of the ports to play into; empty: the system's
    bool noConnect = false;            // --no-connect: the ports are left unconnected
};

// The settings when the command line is good, or why it is not.
using ParsedRenderOptions = grain::Outcome<RenderOptions>;

// Reads the arguments after the program name.
ParsedRenderOptions parseRenderOptions(const std::vector<std::string>& arguments);

// The --help text.
std::string renderUsage();

}  // namespace render
