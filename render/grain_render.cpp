#include "grain_render.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "ambisonic_decoding.hpp"
#include "atomic_file.hpp"
#include "containers.hpp"
#include "file_bytes.hpp"
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

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Removes the folder of a whole render's parts when the run ends, finished or not.
struct LeftoverFiles {
    std::vector<fs::path> paths;
    ~LeftoverFiles() {
        std::error_code ignored;
        for (auto& path : paths) fs::remove_all(path, ignored);
    }
};

// The output name when none is given: the orchestra's name, the technique
// unless stereo, and the part, beside the score.
std::string defaultOutput(const RenderOptions& options, grain::Program program) {
    std::string name = fs::path(grain::orchestraFileName(program)).stem().string();
    if (!options.decode.empty())
        name.append(1, '-').append(findTechnique(options.decode) ? options.decode : fs::path(options.decode).stem().string());
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

std::string findOrchestra(const RenderOptions& options, grain::Program program,
                          const RenderEnvironment& environment, std::string& refusal) {
    const std::string orchestraName = grain::orchestraFileName(program);
    if (!options.orchestra.empty()) {
        if (fs::is_regular_file(options.orchestra)) return options.orchestra;
        refusal = "the orchestra " + options.orchestra + " is missing";
        return "";
    }
    std::string looked;
    for (const auto& folder : environment.orchestraFolders) {
        auto candidate = fs::path(folder) / orchestraName;
        if (fs::is_regular_file(candidate)) return candidate.string();
        looked += (looked.empty() ? "" : ", ") + folder;
    }
    refusal = "the orchestra " + orchestraName + " of " + grain::programName(program) + " is missing (looked in " +
              (looked.empty() ? std::string("no folder") : looked) + "; --orchestra names it)";
    return "";
}

// Shows the problems of the first part that failed.
void reportFailure(const std::vector<PartOutcome>& outcomes, std::ostream& err) {
    for (std::size_t k = 0; k < outcomes.size(); ++k) {
        if (outcomes[k].ok || outcomes[k].stopped || outcomes[k].problems.empty()) continue;
        err << "grainrender: Csound reported a problem";
        if (outcomes.size() > 1) err << " in part " << k + 1 << " of " << outcomes.size() << ", the other parts were stopped";
        err << ":\n";
        for (const auto& line : outcomes[k].problems) err << "  " << line << "\n";
        return;
    }
    err << "grainrender: stopped; no output written\n";
}

void finish(const std::string& output, const SoundSummary& summary, double wall, std::ostream& out, std::ostream& err) {
    out << closingLine(output, summary, wall) << "\n";
    for (const auto& line : peakWarnings(output, summary)) err << "grainrender: " << line << "\n";
}

// The speaker layout a render pans onto or decodes to: a standard one by name,
// or the composer's speaker file; refusal says why there is none.
std::optional<space::Layout> speakerLayout(const std::string& nameOrFile, std::string& refusal) {
    if (const Technique* technique = findTechnique(nameOrFile); technique && technique->layout) return technique->layout;
    if (!fs::is_regular_file(nameOrFile)) {
        refusal = "the speaker file " + nameOrFile + " is missing";
        return std::nullopt;
    }
    auto bytes = grain::readFileBytes(nameOrFile);
    if (!bytes) {
        refusal = "cannot read the speaker file " + nameOrFile;
        return std::nullopt;
    }
    SpeakerLayout read = readSpeakerLayout(*bytes, nameOrFile);
    if (!read.refusal.empty()) {
        refusal = read.refusal;
        return std::nullopt;
    }
    return read.layout;
}

// The panning of a layout (checked when it was read).
space::Panning panningOf(const space::Layout& layout) { return *space::designPanning(layout).panning; }

// The decoding of an Ambisonics render to a layout, asked for with --decode.
struct Decoding {
    space::Layout layout;
    std::string space;  // the layout's technique, or "speakers" for a speaker file
};

// The level the composer asked for, if any.
LevelTarget levelTarget(const RenderOptions& options) {
    if (options.normalize) return {LevelTarget::Kind::peak, *options.normalize};
    if (options.loudness) return {LevelTarget::Kind::loudness, *options.loudness};
    return {};
}

// Brings the mixed render (a float file, its summary) to the asked level and
// into the output's container, then tells what was written: the closing line
// (with the real-time factor of a render that started at start, and the gain
// applied, when a level was asked for) and any warnings.
int deliver(const std::string& mixedPath, const SoundSummary& mixed, const RenderOptions& options,
            const std::string& space, const std::string& output, std::optional<Clock::time_point> start,
            std::ostream& out, std::ostream& err) {
    if (const Technique* technique = findTechnique(space); technique && technique->channels != 0 &&
                                                           technique->channels != mixed.channels) {
        err << "grainrender: the render has " << mixed.channels << " channels, " << space << " has " << technique->channels
            << "\n";
        return 1;
    }
    ChannelLayout layout = layoutOf(space, mixed.channels);
    LevelTarget target = levelTarget(options);
    GainChoice gain = chooseGain(target, mixedPath, mixed, layout);
    if (!gain.error.empty()) {
        err << "grainrender: " << gain.error << "\n";
        return 1;
    }
    MixResult written = writeContainer(mixedPath, output, maskOf(space, mixed.channels), gain.gain);
    if (!written.summary) {
        err << "grainrender: " << written.refusal << "\n";
        return 1;
    }
    double wall = start ? secondsSince(*start) : 0.0;
    out << closingLine(output, *written.summary, wall)
        << (target.kind == LevelTarget::Kind::none ? "" : ", " + gainText(gain.gain)) << "\n";
    if (!gain.warning.empty()) err << "grainrender: warning: " << gain.warning << "\n";
    for (const auto& line : peakWarnings(output, *written.summary)) err << "grainrender: " << line << "\n";
    return 0;
}

// Decodes the Ambisonics file at ambisonicPath to the layout into the float
// file decodedPath, and delivers that.
int decodeAndDeliver(const std::string& ambisonicPath, int channels, const Decoding& decoding,
                     const std::string& decodedPath, const RenderOptions& options, const std::string& output,
                     Clock::time_point start, std::ostream& out, std::ostream& err) {
    int order = space::ambisonicOrder(channels);
    if (order == 0) {
        err << "grainrender: " << ambisonicPath << " has " << channels
            << " channels: Ambisonics of first to third order has 4, 9 or 16\n";
        return 1;
    }
    space::AmbisonicDecoder decoder = space::designDecoder(panningOf(decoding.layout), order);
    if (options.verbose) out << decoderGainsText(decoding.layout, decoder);
    MixResult decoded = decodeAmbisonics(ambisonicPath, decodedPath, decoder);
    if (!decoded.summary) {
        err << "grainrender: " << decoded.refusal << "\n";
        return 1;
    }
    return deliver(decodedPath, *decoded.summary, options, decoding.space, output, start, out, err);
}

// grainrender --decode LAYOUT IN: the AmbiX file decoded to the layout.
int decodeFile(const RenderOptions& options, std::ostream& out, std::ostream& err) {
    auto start = Clock::now();
    std::string refusal;
    auto layout = speakerLayout(options.decode, refusal);
    if (!layout) {
        err << "grainrender: " << refusal << "\n";
        return 1;
    }
    Decoding decoding{*layout, findTechnique(options.decode) ? options.decode : "speakers"};
    if (!fs::is_regular_file(options.decodeInput)) {
        err << "grainrender: the Ambisonics file " << options.decodeInput << " is missing\n";
        return 1;
    }
    SF_INFO info{};
    if (SNDFILE* probe = sf_open(options.decodeInput.c_str(), SFM_READ, &info)) {
        sf_close(probe);
    } else {
        err << "grainrender: cannot read the Ambisonics file " << options.decodeInput << ": " << sf_strerror(nullptr) << "\n";
        return 1;
    }
    fs::path input(options.decodeInput);
    std::string output = options.output.empty()
                             ? (input.parent_path() / (input.stem().string() + "-" +
                                                       (findTechnique(options.decode) ? options.decode
                                                                                      : fs::path(options.decode).stem().string()) +
                                                       ".wav"))
                                   .string()
                             : options.output;
    if (auto why = outputRefusal(output); !why.empty()) {
        err << "grainrender: " << why << "\n";
        return 1;
    }
    // The decoded float file goes beside the output until it is delivered.
    grain::AtomicFile work(output);
    LeftoverFiles leftovers;
    leftovers.paths.push_back(work.temporary().string() + "-decoded.w64");
    return decodeAndDeliver(options.decodeInput, info.channels, decoding, leftovers.paths.back().string(), options, output,
                            start, out, err);
}

int mixParts(const RenderOptions& options, std::ostream& out, std::ostream& err) {
    if (auto refusal = outputRefusal(options.output); !refusal.empty()) {
        err << "grainrender: " << refusal << "\n";
        return 1;
    }
    OutputLock lock(options.output);
    if (!lock.refusal().empty()) {
        err << "grainrender: " << lock.refusal() << "\n";
        return 1;
    }
    for (const auto& part : options.mixParts) {
        if (!fs::is_regular_file(part)) {
            err << "grainrender: the part file " << part << " is missing\n";
            return 1;
        }
    }
    std::vector<std::optional<PartLabel>> labels;
    for (const auto& part : options.mixParts) {
        auto text = readPartLabelText(part);
        labels.push_back(text ? parseLabel(*text) : std::nullopt);
    }
    if (auto refusal = partSetRefusal(options.mixParts, labels); !refusal.empty()) {
        err << "grainrender: " << refusal << "; nothing is mixed\n";
        return 1;
    }
    // The sum goes to a float file of its own first: the level and the container come after.
    grain::AtomicFile sum(options.output);
    MixResult mixed = mixSoundFiles(options.mixParts, sum.temporary().string());
    if (!mixed.summary) {
        err << "grainrender: " << mixed.refusal << "\n";
        return 1;
    }
    // The parts' technique, when the composer names none: their labels record
    // it (a technique of as many channels; otherwise the channels tell).
    std::string space = options.spaceGiven ? options.space : "";
    const Technique* recorded = labels[0] ? findTechnique(labels[0]->space) : nullptr;
    if (!options.spaceGiven && recorded && (recorded->channels == 0 || recorded->channels == mixed.summary->channels))
        space = recorded->name;
    // A mix renders nothing: its speed against real time would say nothing of the render.
    return deliver(sum.temporary().string(), *mixed.summary, options, space, options.output, std::nullopt, out, err);
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

// Empty when copies of a float render of seconds (and the tail) fit in the
// folder's free space; the reason, with both figures, otherwise. An unknown
// rate counts as 48000 Hz, the highest the orchestras are rendered at.
std::string spaceRefusal(const fs::path& folder, double seconds, int rate, int channels, int copies,
                         const RenderEnvironment& environment) {
    double copy = (seconds + tailAllowance) * (rate > 0 ? rate : 48000) * std::max(channels, 1) * sizeof(float);
    double needed = copy * copies;
    std::error_code error;
    double available = environment.freeSpace ? static_cast<double>(environment.freeSpace(folder.string()))
                                             : static_cast<double>(fs::space(folder, error).available);
    if (error || needed <= available) return "";
    return "the render needs about " + byteText(needed) + " in " + folder.string() + " (" + std::to_string(copies) +
           (copies == 1 ? " file" : " files") + " of " + byteText(copy) + " at once), but it has " + byteText(available) +
           " free";
}

int renderScore(const RenderOptions& options, const RenderEnvironment& environment, std::ostream& out,
                std::ostream& err) {
    auto start = Clock::now();
    auto refuse = [&](const std::string& why) {
        err << "grainrender: " << why << "\n";
        return 1;
    };
    auto scoreBytes = fs::is_regular_file(options.score) ? grain::readFileBytes(options.score) : grain::because("");
    if (!scoreBytes)
        return refuse("cannot read the score " + options.score + ": " +
                      (fs::exists(options.score) ? "it is not a readable file" : "it is missing"));
    const std::string& text = *scoreBytes;
    // Only a whole score is rendered: every line as its program writes it.
    SplitReading reading = splitScore(text);
    if (!reading.score) return refuse(options.score + ": " + reading.refusal + "; nothing rendered");
    SplitScore score = *reading.score;

    std::string refusal;
    std::string orchestra = findOrchestra(options, score.program, environment, refusal);
    if (orchestra.empty()) return refuse(refusal);
    auto orchestraBytes = grain::readFileBytes(orchestra);
    if (!orchestraBytes) return refuse("cannot read the orchestra " + orchestra);
    const std::string& orchestraText = *orchestraBytes;

    fs::path scoreFolder = fs::absolute(fs::path(options.score)).parent_path();
    if (score.program == grain::Program::granule && !fs::is_regular_file(scoreFolder / score.soundFile))
        return refuse("the sound file \"" + score.soundFile + "\" of the score is missing: it belongs in " +
                      scoreFolder.string());

    // What every part file records: the technique is the speaker file's digest for --speakers.
    PartLabel label{contentDigest(text), options.space, 0, orchestraDigest(orchestra), 0, 0, options.window};
    const Technique& technique = *findTechnique(options.space);
    std::string layoutRefusal;
    std::optional<space::Layout> layout = technique.layout;
    if (technique.speakerFile) {
        if (!(layout = speakerLayout(options.speakers, layoutRefusal))) return refuse(layoutRefusal);
        label.space = "speakers " + contentDigest(*grain::readFileBytes(options.speakers));
    }
    const int channels = layout ? static_cast<int>(layout->channels.size()) : technique.channels;
    std::optional<Decoding> decoding;
    if (!options.decode.empty()) {
        auto target = speakerLayout(options.decode, layoutRefusal);
        if (!target) return refuse(layoutRefusal);
        decoding = Decoding{*target, findTechnique(options.decode) ? options.decode : "speakers"};
    }

    // --play takes the JACK server's rate and period, and writes a file only when -o names one.
    JackServer server;
    if (options.play) {
        server = findJackServer();
        if (!server.refusal.empty()) return refuse(server.refusal);
        if (options.connect.empty() && !options.noConnect && channels > server.playbackPorts)
            return refuse("the JACK server plays " + std::to_string(server.playbackPorts) + " channels, " +
                          options.space + " has " + std::to_string(channels) +
                          ": --connect names the ports of a decoder, or --no-connect leaves them to you");
    }
    const int rate = options.play ? server.rate : options.rate;
    std::string output = !options.output.empty() ? options.output
                         : options.play          ? ""
                                                 : defaultOutput(options, score.program);
    if (!output.empty())
        if (auto why = outputRefusal(output); !why.empty()) return refuse(why);
    fs::path workFolder = output.empty() ? scoreFolder : fs::absolute(output).parent_path();
    std::optional<OutputLock> lock;
    if (!output.empty()) {
        lock.emplace(output);
        if (!lock->refusal().empty()) return refuse(lock->refusal());
    }

    PartPlan plan = planParts(options, environment, score);
    if (!output.empty()) {
        double seconds = 0;
        for (int part : plan.parts) seconds = std::max(seconds, partEndTime(score, plan.shares, part));
        // The parts and their mix; then the mix and the output (the parts are gone by then).
        int copies = options.part != 0 ? 1 : std::max(static_cast<int>(plan.parts.size()) + 1, 2);
        if (auto why = spaceRefusal(workFolder, seconds, rate, channels, copies, environment); !why.empty())
            return refuse(why);
    }

    // A part file is written into the output's temporary file; a whole
    // render's parts go into a folder named after it, mixed into the output,
    // and so does the layout's panning, written for the orchestra (a render
    // that only plays keeps that folder beside the score).
    std::optional<grain::AtomicFile> outputFile;
    if (!output.empty()) outputFile.emplace(output);
    grain::AtomicFile scratch(workFolder / "grainrender-play");  // names the folder of a render that only plays
    LeftoverFiles leftovers;
    fs::path partFolder;
    if ((options.part == 0 && outputFile) || layout) {
        partFolder = (outputFile ? outputFile->temporary() : scratch.temporary()).string() + "-parts";
        leftovers.paths.push_back(partFolder);
        std::error_code error;
        fs::create_directory(partFolder, error);
        if (error) return refuse("cannot make the folder of the parts " + partFolder.string() + ": " + error.message());
    }
    std::string panningPath;
    if (layout) {
        panningPath = (partFolder / "grainrender-panning.txt").string();
        std::ofstream panning(panningPath, std::ios::binary);
        if (!(panning << space::panningMacros(panningOf(*layout))) || !panning.flush())
            return refuse("cannot write the panning of the layout into " + panningPath);
    }
    PartJob common;
    common.orchestraText = orchestraText;
    common.orchestraFolder = fs::absolute(orchestra).parent_path().string();
    common.soundFolder = scoreFolder.string();
    common.space = spaceMacro(technique);
    common.panning = panningPath;
    common.rate = rate;
    common.window = options.window;

    // The sound file at the render's rate: table 1 reads a converted copy when the composer's file differs.
    SoundAtRate sound;
    if (score.program == grain::Program::granule) {
        initialiseCsound();
        sound = soundAtRate((scoreFolder / score.soundFile).string(), renderRate(common), workFolder.string());
        if (!sound.error.empty()) return refuse(sound.error);
        if (sound.copy) err << "grainrender: " << sound.note << "\n";
        // Table 1 holds the whole file, however long: the score handed to
        // Csound gives it the file's length when the score's is too short.
        SoundFileFacts facts = soundFileFacts(sound.path);
        const std::string name = fs::path(score.soundFile).filename().string();
        long long size = score.soundTableSize;
        if (size != 0 && facts.frames > size) {
            err << "grainrender: " << longSoundNote(name, facts, size) << "\n";
            size = facts.frames;
        }
        if (facts.channels() > 1) err << "grainrender: " << channelsNote(name, facts) << "\n";
        if (sound.copy || size != score.soundTableSize)
            setSoundTable(score, size, sound.copy ? sound.path : score.soundFile);
    }

    std::vector<PartJob> jobs;
    std::vector<double> ends;
    double music = 0;
    for (int part : plan.parts) {
        PartJob job = common;
        job.scoreText = partScoreText(score, plan.shares, part);
        job.play = {options.play, options.connect.empty() ? server.playback : options.connect, options.noConnect,
                    server.period};
        job.outPath = !outputFile          ? ""
                      : options.part != 0 ? outputFile->temporary().string()
                                          : (partFolder / ("part" + std::to_string(part + 1) + ".w64")).string();
        job.label = label;
        job.label.part = part + 1;
        job.label.partCount = options.part != 0 ? options.partCount : static_cast<int>(plan.parts.size());
        jobs.push_back(std::move(job));
        ends.push_back(partEndTime(score, plan.shares, part));
        music = std::max(music, ends.back());
    }

    bool showProgress = environment.terminal && !options.quiet;
    auto outcomes = renderAll(jobs, ends, music, showProgress, environment.interrupted, start, err);
    if (!std::all_of(outcomes.begin(), outcomes.end(), [](const PartOutcome& o) { return o.ok; })) {
        reportFailure(outcomes, err);
        return 1;
    }

    if (options.play) {
        out << playedLine(outcomes[0].sound, outcomes[0].underruns) << "\n";
        if (!outputFile) return 0;
    }
    std::vector<std::string> partFiles;
    for (const auto& job : jobs) partFiles.push_back(job.outPath);
    if (options.part != 0) {
        // The part file is complete: give it its name.
        if (auto done = outputFile->commit(); !done) return refuse(done.reason());
        finish(output, outcomes[0].sound, secondsSince(start), out, err);
        return 0;
    }
    auto sum = (partFolder / "mix.w64").string();
    MixResult mixed = mixSoundFiles(partFiles, sum);
    if (!mixed.summary) return refuse(mixed.refusal);
    // The parts are in the mix: their room goes to the output.
    std::error_code ignored;  // a part that stays is removed with its folder at the end
    for (const auto& part : partFiles) fs::remove(part, ignored);
    if (decoding)
        return decodeAndDeliver(sum, mixed.summary->channels, *decoding, (partFolder / "decoded.w64").string(), options,
                                output, start, out, err);
    return deliver(sum, *mixed.summary, options, options.space, output, start, out, err);
}

}  // namespace

int runGrainRender(const std::vector<std::string>& arguments, const RenderEnvironment& environment,
                   std::ostream& out, std::ostream& err) {
    ParsedRenderOptions parsed = parseRenderOptions(arguments);
    if (!parsed.options) {
        err << "grainrender: " << parsed.refusal << " (grainrender --help shows the options)\n";
        return 2;
    }
    const RenderOptions& options = *parsed.options;
    if (options.help) {
        out << renderUsage();
        return 0;
    }
    if (options.version) {
        out << grain::versionLine("grainrender");
        return 0;
    }
    if (options.decodeFile) return decodeFile(options, out, err);
    return options.mix ? mixParts(options, out, err) : renderScore(options, environment, out, err);
}

}  // namespace render
