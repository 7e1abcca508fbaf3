#include "grain_render.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "ambisonic_decoding.hpp"
#include "atomic_file.hpp"
#include "containers.hpp"
#include "file_bytes.hpp"
#include "exit_status.hpp"
#include "hrtf_set.hpp"
#include "outcome.hpp"
#include "jack_server.hpp"
#include "loudness.hpp"
#include "output_lock.hpp"
#include "part_file.hpp"
#include "part_label.hpp"
#include "part_render.hpp"
#include "progress.hpp"
#include "render_options.hpp"
#include "resample.hpp"
#include "score_split.hpp"
#include "sound_files.hpp"
#include "speaker_file.hpp"
#include "version.hpp"
#include "techniques.hpp"
#include "vbap.hpp"

namespace fs = std::filesystem;

namespace render {

namespace {

using Clock = std::chrono::steady_clock;

// Seconds since start, by the steady clock.
double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A step's result on the road of a run: its value, or why the run ends there
// with "grainrender: why" (the ground floor's outcome of a step).
template <typename T = grain::Done>
using Step = grain::Outcome<T>;
using Refusal = grain::Reason;

// Tells the composer why the run ends; the exit status of a refused or failed run.
int refuse(std::ostream& err, const std::string& why) { return grain::leave(err, "grainrender", why, grain::exitFailed); }

// A temporary file or folder, removed with all it holds when its owner goes,
// whether the run finished or not.
class Leftover {
public:
    Leftover() = default;
    // Owns path (made or not yet).
    explicit Leftover(fs::path path) : path_(std::move(path)) {}
    Leftover(Leftover&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    Leftover& operator=(Leftover&& other) noexcept {
        std::swap(path_, other.path_);
        return *this;
    }
    // Removes what it owns.
    ~Leftover() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    // Where it is; empty when it owns nothing.
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The name a layout gives an output: a standard layout's own, or the speaker file's stem.
std::string layoutName(const std::string& nameOrFile) {
    return findTechnique(nameOrFile) ? nameOrFile : fs::path(nameOrFile).stem().string();
}

// The output name when none is given: the orchestra's name, the technique
// unless stereo, and the part, beside the score.
std::string defaultOutput(const RenderOptions& options, grain::Program program) {
    std::string name = fs::path(grain::orchestraFileName(program)).stem().string();
    if (!options.decode.empty())
        name.append(1, '-').append(layoutName(options.decode));
    else if (!options.speakers.empty())
        name.append(1, '-').append(fs::path(options.speakers).stem().string());
    else if (options.space != "stereo")
        name.append(1, '-').append(options.space);
    if (options.part != 0)
        name += "-part" + std::to_string(options.part) + "of" + std::to_string(options.partCount) + ".w64";
    else
        name += ".wav";
    return (fs::path(options.score).parent_path() / name).string();
}

// The orchestra of the score's program: the one named, or the first found in
// the environment's folders.
Step<std::string> findOrchestra(const RenderOptions& options, grain::Program program,
                                const RenderEnvironment& environment) {
    const std::string orchestraName = grain::orchestraFileName(program);
    if (!options.orchestra.empty()) {
        if (fs::is_regular_file(options.orchestra)) return options.orchestra;
        return Refusal{"the orchestra " + options.orchestra + " is missing"};
    }
    std::string looked;
    for (const auto& folder : environment.orchestraFolders) {
        auto candidate = fs::path(folder) / orchestraName;
        if (fs::is_regular_file(candidate)) return candidate.string();
        looked += (looked.empty() ? "" : ", ") + folder;
    }
    return Refusal{"the orchestra " + orchestraName + " of " + grain::programName(program) + " is missing (looked in " +
                   (looked.empty() ? std::string("no folder") : looked) + "; --orchestra names it)"};
}

// The speaker layout a render pans onto or decodes to: a standard one by name,
// or the composer's speaker file.
Step<space::Layout> speakerLayout(const std::string& nameOrFile) {
    if (const Technique* technique = findTechnique(nameOrFile); technique && technique->layout) return *technique->layout;
    if (!fs::is_regular_file(nameOrFile)) return Refusal{"the speaker file " + nameOrFile + " is missing"};
    auto bytes = grain::readFileBytes(nameOrFile);
    if (!bytes) return Refusal{"cannot read the speaker file " + nameOrFile};
    auto read = readSpeakerLayout(*bytes, nameOrFile);
    if (!read) return grain::because(read.reason());
    return read->layout;
}

// The panning of a layout (checked when it was read).
space::Panning panningOf(const space::Layout& layout) { return *space::designPanning(layout); }

// The decoding of an Ambisonics render to a layout, asked for with --decode.
struct Decoding {
    space::Layout layout;
    std::string space;  // the layout's technique, or "speakers" for a speaker file
};

// The decoding to a layout named or read from a speaker file.
Step<Decoding> decodingTo(const std::string& nameOrFile) {
    auto layout = speakerLayout(nameOrFile);
    if (!layout) return grain::because(layout.reason());
    return Decoding{*layout, findTechnique(nameOrFile) ? nameOrFile : "speakers"};
}

// A finished sound as floats, before its level and container: where it is,
// what it holds, and the technique its channels are of.
struct FloatRender {
    std::string path;
    SoundSummary summary;
    std::string space;
};

// The output delivered: what it holds and the gain that brought it to the asked level.
struct Delivered {
    SoundSummary summary;
    GainChoice gain;
};

// The level the composer asked for, if any.
LevelTarget levelTarget(const RenderOptions& options) {
    if (options.normalize) return {LevelTarget::Kind::peak, *options.normalize};
    if (options.loudness) return {LevelTarget::Kind::loudness, *options.loudness};
    return {};
}

// Brings a float render to the asked level and into the output's container.
Step<Delivered> deliver(const FloatRender& render, const RenderOptions& options, const std::string& output) {
    const SoundSummary& mixed = render.summary;
    if (const Technique* technique = findTechnique(render.space);
        technique && technique->channels != 0 && technique->channels != mixed.channels)
        return Refusal{"the render has " + std::to_string(mixed.channels) + " channels, " + render.space + " has " +
                       std::to_string(technique->channels)};
    auto gain = chooseGain(levelTarget(options), render.path, mixed, layoutOf(render.space, mixed.channels));
    if (!gain) return grain::because(gain.reason());
    auto written = writeContainer(render.path, output, maskOf(render.space, mixed.channels), gain->gain);
    if (!written) return grain::because(written.reason());
    return Delivered{*written, *gain};
}

// Tells what was written: the closing line (with the real-time factor of wall
// seconds, and then more), the level's warning if any, and the peaks' warnings.
void tellWritten(const std::string& output, const SoundSummary& summary, double wall, const std::string& more,
                 const std::string& levelWarning, std::ostream& out, std::ostream& err) {
    out << closingLine(output, summary, wall) << more << "\n";
    if (!levelWarning.empty()) err << "grainrender: warning: " << levelWarning << "\n";
    for (const auto& line : peakWarnings(output, summary)) err << "grainrender: " << line << "\n";
}

// Delivers a float render into the output and tells what was written (the
// real-time factor of a render that started at start; none for a mix).
int finishOutput(const FloatRender& render, const RenderOptions& options, const std::string& output,
                 std::optional<Clock::time_point> start, std::ostream& out, std::ostream& err) {
    auto delivered = deliver(render, options, output);
    if (!delivered) return refuse(err, delivered.reason());
    double wall = start ? secondsSince(*start) : 0.0;
    const GainChoice& gain = delivered->gain;
    std::string level = levelTarget(options).kind == LevelTarget::Kind::none ? "" : ", " + gainText(gain.gain);
    tellWritten(output, delivered->summary, wall, level, gain.warning, out, err);
    return grain::exitDone;
}

// Decodes the Ambisonics file at ambisonicPath (of channels) to the layout
// into the float file decodedPath, showing the decoder's gains when verbose.
Step<FloatRender> decodeRender(const std::string& ambisonicPath, int channels, const Decoding& decoding,
                               const std::string& decodedPath, bool verbose, std::ostream& out) {
    int order = space::ambisonicOrder(channels);
    if (order == 0)
        return Refusal{ambisonicPath + " has " + std::to_string(channels) +
                       " channels: Ambisonics of first to third order has 4, 9 or 16"};
    space::AmbisonicDecoder decoder = space::designDecoder(panningOf(decoding.layout), order);
    if (verbose) out << decoderGainsText(decoding.layout, decoder);
    auto decoded = decodeAmbisonics(ambisonicPath, decodedPath, decoder);
    if (!decoded) return grain::because(decoded.reason());
    return FloatRender{decodedPath, *decoded, decoding.space};
}

// The channels of the AmbiX file that --decode LAYOUT IN decodes.
Step<int> ambisonicChannels(const std::string& path) {
    if (!fs::is_regular_file(path)) return Refusal{"the Ambisonics file " + path + " is missing"};
    SF_INFO info{};
    SNDFILE* probe = sf_open(path.c_str(), SFM_READ, &info);
    if (!probe) return Refusal{"cannot read the Ambisonics file " + path + ": " + sf_strerror(nullptr)};
    sf_close(probe);
    return info.channels;
}

// The output checked to be writable and locked for this run; the lock is held while it lives.
Step<std::unique_ptr<OutputLock>> lockOutput(const std::string& output) {
    if (auto writable = checkOutputFile(output); !writable) return grain::because(writable.reason());
    return OutputLock::take(output);
}

// grainrender --decode LAYOUT IN: the AmbiX file decoded to the layout.
int decodeFile(const RenderOptions& options, std::ostream& out, std::ostream& err) {
    auto start = Clock::now();
    auto decoding = decodingTo(options.decode);
    if (!decoding) return refuse(err, decoding.reason());
    auto channels = ambisonicChannels(options.decodeInput);
    if (!channels) return refuse(err, channels.reason());
    fs::path input(options.decodeInput);
    std::string named = input.stem().string() + "-" + layoutName(options.decode) + ".wav";
    std::string output = options.output.empty() ? (input.parent_path() / named).string() : options.output;
    auto lock = lockOutput(output);
    if (!lock) return refuse(err, lock.reason());
    // The decoded float file goes beside the output until it is delivered.
    grain::AtomicFile work(output);
    Leftover decodedFile(work.temporary().string() + "-decoded.w64");
    auto decoded =
        decodeRender(options.decodeInput, *channels, *decoding, decodedFile.path().string(), options.verbose, out);
    if (!decoded) return refuse(err, decoded.reason());
    return finishOutput(*decoded, options, output, start, out, err);
}

// The labels of the part files of --mix, when they are parts 1 to N of one render, each once.
Step<std::vector<std::optional<PartLabel>>> partLabels(const std::vector<std::string>& parts) {
    for (const auto& part : parts)
        if (!fs::is_regular_file(part)) return Refusal{"the part file " + part + " is missing"};
    std::vector<std::optional<PartLabel>> labels;
    for (const auto& part : parts) {
        auto text = readPartLabelText(part);
        labels.push_back(text ? parseLabel(*text) : std::nullopt);
    }
    if (auto set = checkPartSet(parts, labels); !set) return Refusal{set.reason() + "; nothing is mixed"};
    return labels;
}

// The technique of mixed parts of channels: the one named, or, when the
// composer names none, the one their labels record (a technique of as many
// channels; otherwise the channels tell).
std::string mixedSpace(const RenderOptions& options, const std::vector<std::optional<PartLabel>>& labels,
                       int channels) {
    if (options.spaceGiven) return options.space;
    const Technique* recorded = labels[0] ? findTechnique(labels[0]->space) : nullptr;
    return recorded && (recorded->channels == 0 || recorded->channels == channels) ? recorded->name : "";
}

// grainrender --mix OUT PART...: the part files checked, summed and delivered.
int mixParts(const RenderOptions& options, std::ostream& out, std::ostream& err) {
    auto lock = lockOutput(options.output);
    if (!lock) return refuse(err, lock.reason());
    auto labels = partLabels(options.mixParts);
    if (!labels) return refuse(err, labels.reason());
    // The sum goes to a float file of its own first: the level and the container come after.
    grain::AtomicFile sum(options.output);
    auto mixed = mixSoundFiles(options.mixParts, sum.temporary().string());
    if (!mixed) return refuse(err, mixed.reason());
    FloatRender render{sum.temporary().string(), *mixed, mixedSpace(options, *labels, mixed->channels)};
    // A mix renders nothing: its speed against real time would say nothing of the render.
    return finishOutput(render, options, options.output, std::nullopt, out, err);
}

// What a render starts from: the score read whole and split, and its orchestra.
struct ScoreInHand {
    std::string text;           // the score as read (the part labels record its digest)
    SplitScore score;           // its lines, to be dealt to the parts
    std::string orchestra;      // the orchestra's file
    std::string orchestraText;  // its code
    fs::path folder;            // the score's folder, where its sound file belongs
};

// Reads the score and checks every line of it, finds and reads its orchestra,
// and checks that a granule score's sound file is beside it.
Step<ScoreInHand> readScore(const RenderOptions& options, const RenderEnvironment& environment) {
    auto scoreBytes = fs::is_regular_file(options.score) ? grain::readFileBytes(options.score) : grain::because("");
    if (!scoreBytes)
        return Refusal{"cannot read the score " + options.score + ": " +
                       (fs::exists(options.score) ? "it is not a readable file" : "it is missing")};
    // Only a whole score is rendered: every line as its program writes it.
    auto split = splitScore(*scoreBytes);
    if (!split) return Refusal{options.score + ": " + split.reason() + "; nothing rendered"};
    ScoreInHand hand{std::move(*scoreBytes), std::move(*split), "", "", {}};
    auto orchestra = findOrchestra(options, hand.score.program, environment);
    if (!orchestra) return grain::because(orchestra.reason());
    hand.orchestra = *orchestra;
    auto orchestraBytes = grain::readFileBytes(hand.orchestra);
    if (!orchestraBytes) return Refusal{"cannot read the orchestra " + hand.orchestra};
    hand.orchestraText = std::move(*orchestraBytes);
    hand.folder = fs::absolute(fs::path(options.score)).parent_path();
    if (hand.score.program == grain::Program::granule && !fs::is_regular_file(hand.folder / hand.score.soundFile))
        return Refusal{"the sound file \"" + hand.score.soundFile + "\" of the score is missing: it belongs in " +
                       hand.folder.string()};
    return hand;
}

// The HRTF set binaural hears: a SOFA file, or Csound's own data.
struct HrtfSet {
    std::string sofa;           // the SOFA file; empty for Csound's data or another technique
    std::string label = "none"; // what the part files record: the SOFA file's digest, "csound" or "none"
};

// Binaural hears a SOFA HRTF set (the default one unless --hrtf names
// another) unless Csound's own data is asked for; other techniques none.
Step<HrtfSet> hrtfSetOf(const RenderOptions& options) {
    if (options.space != "binaural") return HrtfSet{};
    std::string sofa = options.hrtf.empty() ? defaultSofaFile : options.hrtf;
    if (sofa == "csound") return HrtfSet{"", "csound"};
    auto sofaBytes = fs::is_regular_file(sofa) ? grain::readFileBytes(sofa) : grain::because("");
    if (!sofaBytes) return Refusal{"cannot read the HRTF set " + sofa};
    return HrtfSet{sofa, contentDigest(*sofaBytes)};
}

// How a render sounds: its technique, the layout it pans onto, the HRTF set
// binaural hears, and the layout it is decoded to.
struct Sounding {
    const Technique* technique = nullptr;
    std::optional<space::Layout> layout;  // the speakers it pans onto, for a technique of a layout
    std::string labelSpace;               // what the part files record: the technique, or the speaker file's digest
    int channels = 0;                     // the render's channels
    HrtfSet hrtf;                         // binaural's HRTF set
    std::optional<Decoding> decoding;     // --decode: the layout an Ambisonics render is decoded to
};

// The technique asked for with its layout (a speaker file read and checked)
// or its HRTF set, and the layout of --decode.
Step<Sounding> chooseSounding(const RenderOptions& options) {
    Sounding sounding{findTechnique(options.space), {}, options.space, 0, {}, {}};
    sounding.layout = sounding.technique->layout;
    if (sounding.technique->speakerFile) {
        auto layout = speakerLayout(options.speakers);
        if (!layout) return grain::because(layout.reason());
        sounding.layout = *layout;
        sounding.labelSpace = "speakers " + contentDigest(*grain::readFileBytes(options.speakers));
    }
    sounding.channels =
        sounding.layout ? static_cast<int>(sounding.layout->channels.size()) : sounding.technique->channels;
    auto hrtf = hrtfSetOf(options);
    if (!hrtf) return grain::because(hrtf.reason());
    sounding.hrtf = *hrtf;
    if (options.decode.empty()) return sounding;
    auto decoding = decodingTo(options.decode);
    if (!decoding) return grain::because(decoding.reason());
    sounding.decoding = std::move(*decoding);
    return sounding;
}

// --play takes the JACK server's rate and period, and its ports must hold the
// render's channels unless the composer connects them; no server without --play.
Step<JackServer> playTarget(const RenderOptions& options, int channels) {
    if (!options.play) return JackServer{};
    auto server = findJackServer();
    if (!server) return grain::because(server.reason());
    if (options.connect.empty() && !options.noConnect && channels > server->playbackPorts)
        return Refusal{"the JACK server plays " + std::to_string(server->playbackPorts) + " channels, " + options.space +
                       " has " + std::to_string(channels) +
                       ": --connect names the ports of a decoder, or --no-connect leaves them to you"};
    return server;
}

// Where a render writes, held while it runs.
struct OutputPlace {
    std::string output;                // the output; empty for a render that only plays (--play without -o)
    fs::path workFolder;               // where its temporary files go: the output's folder, or the score's
    std::unique_ptr<OutputLock> lock;  // the output's lock; none without an output
};

// The output named, or by default (none when it only plays), checked and locked.
Step<OutputPlace> claimOutput(const RenderOptions& options, const ScoreInHand& score) {
    OutputPlace place;
    place.output = !options.output.empty() ? options.output
                   : options.play          ? ""
                                           : defaultOutput(options, score.score.program);
    place.workFolder = place.output.empty() ? score.folder : fs::absolute(place.output).parent_path();
    if (place.output.empty()) return place;
    auto lock = lockOutput(place.output);
    if (!lock) return grain::because(lock.reason());
    place.lock = std::move(*lock);
    return place;
}

// How a grain is heard: its window, and the distance cues turned off with the --no-... switches.
struct Cues {
    std::vector<std::string> macros;  // the orchestra's macros: the window's, and the cues' set to 0 ("DOPPLER=0")
    std::string window;               // what the part files record: the window's name
    std::string switches;             // and the switches, a space between them
};

// The grain's window, and the cues off that the switches name: --no-reverb
// leaves the score's reverb statement out, the others set their cue's macro to 0.
Cues turnCuesOff(const RenderOptions& options, SplitScore& score) {
    Cues cues;
    cues.window = options.window;
    cues.macros.push_back("WINDOW=" + options.window);
    for (const auto& cue : cueSwitches) {
        if (std::find(options.cuesOff.begin(), options.cuesOff.end(), cue.option) == options.cuesOff.end()) continue;
        if (cue.macro.empty()) {
            score.reverb.clear();
            score.reverbEnd = 0;
        } else {
            cues.macros.push_back(cue.macro + "=0");
        }
        cues.switches += (cues.switches.empty() ? "" : " ") + cue.option;
    }
    return cues;
}

// Which voices each part renders, and which parts this run renders.
struct PartPlan {
    std::map<int, int> shares;
    std::vector<int> parts;
};

// One part per job, never more than there are voices; or the one part asked for.
PartPlan planParts(const RenderOptions& options, const RenderEnvironment& environment, const SplitScore& score) {
    PartPlan plan;
    if (options.play) {  // one instance plays the whole score
        plan.shares = shareVoices(score, 1);
        plan.parts.push_back(0);
        return plan;
    }
    if (options.part != 0) {
        plan.shares = shareVoices(score, options.partCount);
        plan.parts.push_back(options.part - 1);
        return plan;
    }
    std::set<int> voiceNumbers;
    for (const auto& grain : score.grains) voiceNumbers.insert(grain.voice);
    std::size_t voices = voiceNumbers.size();
    unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, environment.cores);
    int count = static_cast<int>(std::max<std::size_t>(1, std::min<std::size_t>(jobs, voices)));
    plan.shares = shareVoices(score, count);
    for (int k = 0; k < count; ++k) plan.parts.push_back(k);
    return plan;
}

// Seconds of sound a render holds beyond its last statement's end: the
// example orchestras' reverb tail (3 s) and the grains' distance delays.
constexpr double tailAllowance = 4;

// Decimal megabytes or gigabytes, one decimal: "812.4 MB", "3.2 GB".
std::string byteText(double bytes) {
    char text[32];
    if (bytes >= 1e9)
        std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
    else
        std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

// Whether copies of a float render of seconds (and the tail) fit in the
// folder's free space; the reason, with both figures, when not. An unknown
// rate counts as 48000 Hz, the highest the orchestras are rendered at.
Step<> checkSpace(const fs::path& folder, double seconds, int rate, int channels, int copies,
                  const RenderEnvironment& environment) {
    double copy = (seconds + tailAllowance) * (rate > 0 ? rate : 48000) * std::max(channels, 1) * sizeof(float);
    double needed = copy * copies;
    std::error_code error;
    double available = environment.freeSpace ? static_cast<double>(environment.freeSpace(folder.string()))
                                             : static_cast<double>(fs::space(folder, error).available);
    if (error || needed <= available) return grain::Done{};
    return Refusal{"the render needs about " + byteText(needed) + " in " + folder.string() + " (" +
                   std::to_string(copies) + (copies == 1 ? " file" : " files") + " of " + byteText(copy) +
                   " at once), but it has " + byteText(available) + " free"};
}

// Whether the render's files fit in its work folder: the parts and their
// mix, then the mix and the output (the parts are gone by then); a part file
// alone for --part; nothing to hold for a render that only plays.
Step<> checkRoom(const RenderOptions& options, const RenderEnvironment& environment, const SplitScore& score,
                 const PartPlan& plan, const OutputPlace& place, int rate, int channels) {
    if (place.output.empty()) return grain::Done{};
    double seconds = 0;
    for (int part : plan.parts) seconds = std::max(seconds, partEndTime(score, plan.shares, part));
    int copies = options.part != 0 ? 1 : std::max(static_cast<int>(plan.parts.size()) + 1, 2);
    return checkSpace(place.workFolder, seconds, rate, channels, copies, environment);
}

// The files a render writes before its output, removed when it ends unless committed.
struct WorkFiles {
    std::unique_ptr<grain::AtomicFile> output;   // the output's temporary file (--part writes into it), if any
    std::unique_ptr<grain::AtomicFile> scratch;  // names the folder of a render that only plays
    Leftover parts;                              // the folder of a whole render's parts and a layout's panning
};

// Names the output's temporary file and makes the folder of the parts: a
// whole render's parts go into a folder named after the output, and so do a
// layout's panning and binaural's HRTF tables, the files written for the
// orchestra (a render that only plays keeps that folder beside the score).
Step<WorkFiles> makeWorkFiles(const RenderOptions& options, const OutputPlace& place, bool forOrchestra) {
    WorkFiles files;
    if (!place.output.empty()) files.output = std::make_unique<grain::AtomicFile>(place.output);
    files.scratch = std::make_unique<grain::AtomicFile>(place.workFolder / "grainrender-play");
    if (!((options.part == 0 && files.output) || forOrchestra)) return files;
    files.parts = Leftover((files.output ? *files.output : *files.scratch).temporary().string() + "-parts");
    std::error_code error;
    fs::create_directory(files.parts.path(), error);
    if (error)
        return Refusal{"cannot make the folder of the parts " + files.parts.path().string() + ": " + error.message()};
    return files;
}

// Writes the layout's panning for the orchestra into the folder, and the
// grid of its gains beside it (raw 32-bit floats in the machine's byte order,
// as GEN01 reads them: a raw file has no sample rate for Csound to warn
// about); the panning's file, or empty without a layout.
Step<std::string> writePanning(const std::optional<space::Layout>& layout, const fs::path& folder) {
    if (!layout) return std::string();
    space::Panning design = panningOf(*layout);
    std::string gridPath = fs::absolute(folder / "grainrender-panning-grid.raw").string();
    std::vector<float> grid = space::panningGrid(design);
    std::ofstream gridFile(gridPath, std::ios::binary);
    if (!gridFile.write(reinterpret_cast<const char*>(grid.data()), static_cast<std::streamsize>(grid.size() * sizeof(float))) ||
        !gridFile.flush())
        return Refusal{"cannot write the panning of the layout into " + gridPath};
    std::string panningPath = (folder / "grainrender-panning.txt").string();
    std::ofstream panning(panningPath, std::ios::binary);
    if (!(panning << space::panningMacros(design, gridPath)) || !panning.flush())
        return Refusal{"cannot write the panning of the layout into " + panningPath};
    return panningPath;
}

// What every part's job shares: the orchestra, the folders, the technique,
// the panning, the cues' macros and the rate.
PartJob commonJob(const ScoreInHand& score, const Technique& technique, const std::string& panning, const Cues& cues,
                  int rate) {
    PartJob common;
    common.orchestraText = score.orchestraText;
    common.orchestraFolder = fs::absolute(score.orchestra).parent_path().string();
    common.soundFolder = score.folder.string();
    common.space = spaceMacro(technique);
    common.panning = panning;
    common.macros = cues.macros;
    common.rate = rate;
    return common;
}

// The rate the render runs at: the job's, or the orchestra's where something
// must be made for it before Csound starts (a granule score's sound file,
// binaural's HRTFs); 0 where nothing needs it. Csound's HRTF data has three.
Step<int> renderRateOf(const PartJob& common, const ScoreInHand& score, const Sounding& sounding) {
    int rate = common.rate;
    if (rate == 0 && (score.score.program == grain::Program::granule || sounding.technique->name == "binaural")) {
        initialiseCsound();
        rate = renderRate(common);
    }
    if (sounding.hrtf.label == "csound" && rate != 44100 && rate != 48000 && rate != 96000)
        return Refusal{"Csound's HRTF data (--hrtf csound) is at 44100, 48000 or 96000 Hz, not " + std::to_string(rate)};
    return rate;
}

// A granule score's sound file at the render's rate, with the notes for err:
// table 1 reads a converted copy (written into workFolder) when the composer's
// file differs, and holds the whole file, however long (the score handed to
// Csound gives it the file's length when the score's is too short).
Step<SoundAtRate> soundForRender(ScoreInHand& score, int rate, const fs::path& workFolder, std::ostream& err) {
    if (score.score.program != grain::Program::granule) return SoundAtRate{};
    auto sound = soundAtRate((score.folder / score.score.soundFile).string(), rate, workFolder.string());
    if (!sound) return grain::because(sound.reason());
    if (sound->copy) err << "grainrender: " << sound->note << "\n";
    SoundFileFacts facts = soundFileFacts(sound->path);
    const std::string name = fs::path(score.score.soundFile).filename().string();
    long long size = score.score.soundTableSize;
    if (size != 0 && facts.frames > size) {
        err << "grainrender: " << longSoundNote(name, facts, size) << "\n";
        size = facts.frames;
    }
    if (facts.channels() > 1) err << "grainrender: " << channelsNote(name, facts) << "\n";
    if (sound->copy || size != score.score.soundTableSize)
        setSoundTable(score.score, size, sound->copy ? sound->path : score.score.soundFile);
    return sound;
}

// Binaural's virtual speakers when it hears a SOFA set: the speaker file
// beside the orchestra, panned onto as a layout is; none otherwise.
Step<std::optional<space::Layout>> virtualSpeakers(const HrtfSet& hrtf, const ScoreInHand& score) {
    if (hrtf.sofa.empty()) return std::optional<space::Layout>();
    fs::path speakerFile = fs::absolute(score.orchestra).parent_path() / virtualSpeakerFile;
    auto speakerBytes = grain::readFileBytes(speakerFile);
    if (!speakerBytes) return Refusal{"cannot read binaural's virtual speakers " + speakerFile.string()};
    auto layout = readSpeakerLayout(*speakerBytes, speakerFile.string());
    if (!layout) return grain::because(layout.reason());
    return std::optional<space::Layout>(std::move(layout->layout));
}

// Writes the pairs of impulse responses of the virtual speakers from the SOFA
// set at the render's rate into a folder of their own in folder; the
// orchestra's macro that names it, or empty when binaural hears no SOFA set.
Step<std::string> writeHrtf(const HrtfSet& hrtf, const std::optional<space::Layout>& speakers, int rate,
                            const fs::path& folder) {
    if (hrtf.sofa.empty()) return std::string();
    std::vector<space::Direction> directions;
    for (const auto& channel : speakers->channels) directions.push_back(channel.direction);
    fs::path tables = folder / "hrtf";
    std::error_code error;
    fs::create_directory(tables, error);
    if (error) return Refusal{"cannot make the folder of the HRTF tables " + tables.string() + ": " + error.message()};
    if (auto written = writeHrtfTables(hrtf.sofa, directions, rate, tables.string()); !written)
        return grain::because(written.reason());
    return "HRTF_TABLES=" + tables.string();
}

// The jobs of a run, one per part, with the score time each ends at and the latest.
struct PartJobs {
    std::vector<PartJob> jobs;
    std::vector<double> ends;
    double music = 0;
};

// One job per part of the plan: its share of the score (kept going tail
// seconds past its end), where it plays or writes, and what its file records
// (label, with the part's number).
PartJobs partJobs(const RenderOptions& options, const ScoreInHand& score, const PartPlan& plan, const PartJob& common,
                  const JackServer& server, const WorkFiles& files, const PartLabel& label, double tail) {
    PartJobs all;
    for (int part : plan.parts) {
        PartJob job = common;
        job.scoreText = partScoreText(score.score, plan.shares, part, tail);
        job.play = {options.play, options.connect.empty() ? server.playback : options.connect, options.noConnect,
                    server.period};
        job.outPath = !files.output        ? ""
                      : options.part != 0 ? files.output->temporary().string()
                                          : (files.parts.path() / ("part" + std::to_string(part + 1) + ".w64")).string();
        job.label = label;
        job.label.part = part + 1;
        job.label.partCount = options.part != 0 ? options.partCount : static_cast<int>(plan.parts.size());
        all.jobs.push_back(std::move(job));
        all.ends.push_back(partEndTime(score.score, plan.shares, part));
        all.music = std::max(all.music, all.ends.back());
    }
    return all;
}

// A render planned whole: what it holds while it runs (the output's lock, its
// temporary files and folder, the converted sound file), released when it
// goes, and the jobs of its parts.
struct RenderPlan {
    OutputPlace place;
    WorkFiles files;
    SoundAtRate sound;
    std::optional<Decoding> decoding;
    PartJobs parts;
};

// What a render is to be, decided before anything is written: how it sounds,
// where it plays, its output (locked), its cues, its parts and their rate.
struct RenderClaim {
    Sounding sounding;
    JackServer server;
    OutputPlace place;
    Cues cues;
    PartPlan plan;
    int rate = 0;  // the parts' rate; 0 keeps the orchestra's
};

// Decides the render: how it sounds, where it plays (and so its rate), its
// output and lock, the cues turned off, its parts, and whether they fit.
Step<RenderClaim> claimRender(const RenderOptions& options, const RenderEnvironment& environment, ScoreInHand& score) {
    auto sounding = chooseSounding(options);
    if (!sounding) return grain::because(sounding.reason());
    auto server = playTarget(options, sounding->channels);
    if (!server) return grain::because(server.reason());
    auto place = claimOutput(options, score);
    if (!place) return grain::because(place.reason());
    Cues cues = turnCuesOff(options, score.score);
    PartPlan plan = planParts(options, environment, score.score);
    const int rate = options.play ? server->rate : options.rate;
    if (auto room = checkRoom(options, environment, score.score, plan, *place, rate, sounding->channels); !room)
        return grain::because(room.reason());
    return RenderClaim{std::move(*sounding), std::move(*server), std::move(*place), std::move(cues), std::move(plan), rate};
}

// What every part file records: the score, the technique (the speaker file's
// digest for --speakers), the orchestra, the window, the HRTF set and the switches.
PartLabel renderLabel(const ScoreInHand& score, const RenderClaim& claim) {
    PartLabel label;
    label.score = contentDigest(score.text);
    label.space = claim.sounding.labelSpace;
    label.orchestra = orchestraDigest(score.orchestra);
    label.hrtf = claim.sounding.hrtf.label;
    label.switches = claim.cues.switches;
    label.window = claim.cues.window;
    return label;
}

// Prepares what the claimed render's parts read: its temporary files, the
// layout's panning, the sound file and the HRTFs at its rate, and the jobs.
Step<RenderPlan> prepareRender(const RenderOptions& options, ScoreInHand& score, RenderClaim claim, std::ostream& err) {
    const Sounding& sounding = claim.sounding;
    auto files = makeWorkFiles(options, claim.place, sounding.layout || !sounding.hrtf.sofa.empty());
    if (!files) return grain::because(files.reason());
    auto virtualLayout = virtualSpeakers(sounding.hrtf, score);
    if (!virtualLayout) return grain::because(virtualLayout.reason());
    auto panning = writePanning(sounding.layout ? sounding.layout : *virtualLayout, files->parts.path());
    if (!panning) return grain::because(panning.reason());
    PartJob common = commonJob(score, *sounding.technique, *panning, claim.cues, claim.rate);
    auto rate = renderRateOf(common, score, sounding);
    if (!rate) return grain::because(rate.reason());
    auto sound = soundForRender(score, *rate, claim.place.workFolder, err);
    if (!sound) return grain::because(sound.reason());
    auto hrtf = writeHrtf(sounding.hrtf, *virtualLayout, *rate, files->parts.path());
    if (!hrtf) return grain::because(hrtf.reason());
    if (!hrtf->empty()) common.macros.push_back(*hrtf);
    const double tail = sounding.hrtf.sofa.empty() ? 0.0 : hrtfLateness;  // binaural's convolutions come late
    PartJobs jobs = partJobs(options, score, claim.plan, common, claim.server, *files, renderLabel(score, claim), tail);
    return RenderPlan{std::move(claim.place), std::move(*files), std::move(*sound), std::move(claim.sounding.decoding),
                      std::move(jobs)};
}

// Plans the render of the score: decided, then prepared.
Step<RenderPlan> planRender(const RenderOptions& options, const RenderEnvironment& environment, ScoreInHand& score,
                            std::ostream& err) {
    auto claim = claimRender(options, environment, score);
    if (!claim) return grain::because(claim.reason());
    return prepareRender(options, score, std::move(*claim), err);
}

// Why the parts did not end well: the problems of the first part that
// failed, a line each after the first, or that the run was stopped.
Refusal partsFailure(const std::vector<PartOutcome>& outcomes) {
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
        if (outcomes[k].end != PartEnd::failed || outcomes[k].problems.empty()) continue;
        std::string why = "Csound reported a problem";
        if (outcomes.size() > 1)
            why += " in part " + std::to_string(k + 1) + " of " + std::to_string(outcomes.size()) +
                   ", the other parts were stopped";
        why += ":";
        for (const auto& line : outcomes[k].problems) why += "\n  " + line;
        return Refusal{why};
    }
    return Refusal{"stopped; no output written"};
}

// Renders the jobs at once, one thread each, with the progress bar on err when asked.
std::vector<PartOutcome> renderAll(const std::vector<PartJob>& jobs, const std::vector<double>& ends, double music,
                                   bool showProgress, const std::atomic<bool>* interrupted, Clock::time_point start,
                                   std::ostream& err) {
    const bool playing = !jobs.empty() && jobs[0].play.enabled;
    std::vector<PartOutcome> outcomes(jobs.size());
    std::vector<std::atomic<double>> times(jobs.size());
    std::atomic<bool> stop{false};
    std::size_t finished = 0;
    std::mutex mutex;
    std::condition_variable partEnded;
    initialiseCsound();
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        times[k] = 0;
        threads.emplace_back([&, k] {
            outcomes[k] = renderPart(jobs[k], stop, times[k]);
            std::lock_guard lock(mutex);
            ++finished;
            partEnded.notify_all();
        });
    }
    for (std::unique_lock lock(mutex); finished < jobs.size();) {
        partEnded.wait_for(lock, std::chrono::milliseconds(200));
        if (interrupted && *interrupted) stop = true;
        if (!showProgress || finished == jobs.size()) continue;
        std::vector<double> now;
        for (const auto& time : times) now.push_back(time.load());
        PartsDone parts = partsDone(now, ends);
        err << "\r" << (playing ? playLine(parts.done, music) : progressLine(parts.done, parts.total, music, secondsSince(start)))
            << "\x1b[K" << std::flush;
    }
    for (auto& thread : threads) thread.join();
    if (showProgress) err << "\r\x1b[K" << std::flush;
    return outcomes;
}

// Runs the plan's parts at once: their outcomes when every part ended well;
// why not when one failed or the run was stopped.
Step<std::vector<PartOutcome>> runParts(const PartJobs& parts, const RenderOptions& options,
                                        const RenderEnvironment& environment, Clock::time_point start,
                                        std::ostream& err) {
    bool showProgress = environment.terminal && !options.quiet;
    auto outcomes = renderAll(parts.jobs, parts.ends, parts.music, showProgress, environment.interrupted, start, err);
    if (std::all_of(outcomes.begin(), outcomes.end(), [](const PartOutcome& o) { return o.end == PartEnd::rendered; })) return outcomes;
    return partsFailure(outcomes);
}

// Gives the finished part file of --part its name and tells what it holds.
int namePartFile(RenderPlan& plan, const SoundSummary& sound, Clock::time_point start, std::ostream& out,
                 std::ostream& err) {
    if (auto done = plan.files.output->commit(); !done) return refuse(err, done.reason());
    tellWritten(plan.place.output, sound, secondsSince(start), "", "", out, err);
    return grain::exitDone;
}

// Mixes a whole render's part files into one float file beside them; the
// parts, once in the mix, are removed to give their room to the output.
Step<FloatRender> mixRender(const RenderPlan& plan, const std::string& space) {
    std::vector<std::string> partFiles;
    for (const auto& job : plan.parts.jobs) partFiles.push_back(job.outPath);
    auto sum = (plan.files.parts.path() / "mix.w64").string();
    auto mixed = mixSoundFiles(partFiles, sum);
    if (!mixed) return grain::because(mixed.reason());
    std::error_code ignored;  // a part that stays is removed with its folder at the end
    for (const auto& part : partFiles) fs::remove(part, ignored);
    return FloatRender{sum, *mixed, space};
}

// Finishes a render whose parts ended well: the played line of --play (all
// when it only plays); the part file of --part named; or the parts mixed,
// decoded when asked, and delivered into the output.
int finishRender(RenderPlan& plan, const std::vector<PartOutcome>& outcomes, const RenderOptions& options,
                 Clock::time_point start, std::ostream& out, std::ostream& err) {
    if (options.play) out << playedLine(outcomes[0].sound, outcomes[0].underruns) << "\n";
    if (!plan.files.output) return grain::exitDone;
    if (options.part != 0) return namePartFile(plan, outcomes[0].sound, start, out, err);
    auto render = mixRender(plan, options.space);
    if (render && plan.decoding)
        render = decodeRender(render->path, render->summary.channels, *plan.decoding,
                              (plan.files.parts.path() / "decoded.w64").string(), options.verbose, out);
    if (!render) return refuse(err, render.reason());
    return finishOutput(*render, options, plan.place.output, start, out, err);
}

// grainrender SCORE: the score read and checked, the render planned, its parts run, and the render finished.
int renderScore(const RenderOptions& options, const RenderEnvironment& environment, std::ostream& out,
                std::ostream& err) {
    auto start = Clock::now();
    auto score = readScore(options, environment);
    if (!score) return refuse(err, score.reason());
    auto plan = planRender(options, environment, *score, err);
    if (!plan) return refuse(err, plan.reason());
    auto outcomes = runParts(plan->parts, options, environment, start, err);
    if (!outcomes) return refuse(err, outcomes.reason());
    return finishRender(*plan, *outcomes, options, start, out, err);
}

}  // namespace

int runGrainRender(const std::vector<std::string>& arguments, const RenderEnvironment& environment,
                   std::ostream& out, std::ostream& err) {
    ParsedRenderOptions parsed = parseRenderOptions(arguments);
    if (!parsed) {
        return grain::leave(err, "grainrender", parsed.reason() + " (grainrender --help shows the options)",
                            grain::exitCommandLine);
    }
    const RenderOptions& options = *parsed;
    if (options.help) {
        out << renderUsage();
        return grain::exitDone;
    }
    if (options.version) {
        out << grain::versionLine("grainrender");
        return grain::exitDone;
    }
    if (options.decodeFile) return decodeFile(options, out, err);
    return options.mix ? mixParts(options, out, err) : renderScore(options, environment, out, err);
}

}  // namespace render
