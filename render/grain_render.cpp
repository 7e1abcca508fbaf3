#include "grain_render.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "atomic_file.hpp"
#include "command_line.hpp"
#include "containers.hpp"
#include "file_bytes.hpp"
#include "hrtf_set.hpp"
#include "loudness.hpp"
#include "part_file.hpp"
#include "part_label.hpp"
#include "part_render.hpp"
#include "progress.hpp"
#include "render_options.hpp"
#include "resample.hpp"
#include "score_split.hpp"
#include "sound_files.hpp"
#include "speaker_file.hpp"

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
std::string defaultOutput(const RenderOptions& options, const ScoreProgram& program) {
    std::string name = fs::path(program.orchestra).stem().string();
    if (!options.speakers.empty())
        name.append(1, '-').append(fs::path(options.speakers).stem().string());
    else if (options.space != "stereo")
        name.append(1, '-').append(options.space);
    if (options.part != 0)
        name += "-part" + std::to_string(options.part) + "of" + std::to_string(options.partCount) + ".w64";
    else
        name += ".wav";
    return (fs::path(options.score).parent_path() / name).string();
}

std::string findOrchestra(const RenderOptions& options, const ScoreProgram& program,
                          const RenderEnvironment& environment, std::string& refusal) {
    if (!options.orchestra.empty()) {
        if (fs::is_regular_file(options.orchestra)) return options.orchestra;
        refusal = "the orchestra " + options.orchestra + " is missing";
        return "";
    }
    std::string looked;
    for (const auto& folder : environment.orchestraFolders) {
        auto candidate = fs::path(folder) / program.orchestra;
        if (fs::is_regular_file(candidate)) return candidate.string();
        looked += (looked.empty() ? "" : ", ") + folder;
    }
    refusal = "the orchestra " + program.orchestra + " of " + program.program + " is missing (looked in " +
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

// The level the composer asked for, if any.
LevelTarget levelTarget(const RenderOptions& options) {
    if (options.normalize) return {LevelTarget::Kind::peak, *options.normalize};
    if (options.loudness) return {LevelTarget::Kind::loudness, *options.loudness};
    return {};
}

// Brings the mixed render (a float file, its summary) to the asked level and
// into the output's container, then tells what was written: the closing line
// (with the gain applied, when a level was asked for) and any warnings.
int deliver(const std::string& mixedPath, const SoundSummary& mixed, const RenderOptions& options,
            const std::string& space, const std::string& output, Clock::time_point start, std::ostream& out,
            std::ostream& err) {
    if (int channels = techniqueChannels(space); channels != 0 && channels != mixed.channels) {
        err << "grainrender: the render has " << mixed.channels << " channels, " << space << " has " << channels << "\n";
        return 1;
    }
    ChannelLayout layout = layoutOf(space, mixed.channels);
    LevelTarget target = levelTarget(options);
    GainChoice gain = chooseGain(target, mixedPath, mixed, layout);
    if (!gain.error.empty()) {
        err << "grainrender: " << gain.error << "\n";
        return 1;
    }
    MixResult written = writeContainer(mixedPath, output, layout, gain.gain);
    if (!written.summary) {
        err << "grainrender: " << written.refusal << "\n";
        return 1;
    }
    double wall = secondsSince(start);
    out << closingLine(output, *written.summary, wall)
        << (target.kind == LevelTarget::Kind::none ? "" : ", " + gainText(gain.gain)) << "\n";
    if (!gain.warning.empty()) err << "grainrender: warning: " << gain.warning << "\n";
    for (const auto& line : peakWarnings(output, *written.summary)) err << "grainrender: " << line << "\n";
    return 0;
}

int mixParts(const RenderOptions& options, std::ostream& out, std::ostream& err) {
    auto start = Clock::now();
    if (auto refusal = outputRefusal(options.output); !refusal.empty()) {
        err << "grainrender: " << refusal << "\n";
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
    return deliver(sum.temporary().string(), *mixed.summary, options, options.spaceGiven ? options.space : "",
                   options.output, start, out, err);
}

// Renders the jobs at once, one thread each, with the progress bar on err when asked.
std::vector<PartOutcome> renderAll(const std::vector<PartJob>& jobs, const std::vector<double>& ends, double music,
                                   bool showProgress, const std::atomic<bool>* interrupted, Clock::time_point start,
                                   std::ostream& err) {
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
        // A part that plays on past its last statement (the reverb's tail) is as long as it has played.
        double done = 0, total = 0, length = music;
        for (std::size_t k = 0; k < jobs.size(); ++k) {
            double time = times[k].load();
            done += time;
            total += std::max(time, ends[k]);
            length = std::max(length, time);
        }
        err << "\r" << progressLine(done, total, length, secondsSince(start)) << "\x1b[K" << std::flush;
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

int renderScore(const RenderOptions& options, const RenderEnvironment& environment, std::ostream& out,
                std::ostream& err) {
    auto start = Clock::now();
    auto refuse = [&](const std::string& why) {
        err << "grainrender: " << why << "\n";
        return 1;
    };
    auto scoreBytes = fs::is_regular_file(options.score) ? grain::readFileBytes(options.score) : std::nullopt;
    if (!scoreBytes)
        return refuse("cannot read the score " + options.score + ": " +
                      (fs::exists(options.score) ? "it is not a readable file" : "it is missing"));
    const std::string& text = *scoreBytes;
    SplitReading reading = splitScore(text, fs::path(options.score).filename().string());
    if (!reading.score) return refuse("the score " + options.score + " " + reading.refusal);
    SplitScore score = *reading.score;
    // The switches: --no-reverb leaves the reverb statement out, the others set their cue's macro to 0.
    std::vector<std::string> macros;
    PartLabel label;
    for (const auto& cue : cueSwitches) {
        if (std::find(options.cuesOff.begin(), options.cuesOff.end(), cue.option) == options.cuesOff.end()) continue;
        if (cue.macro.empty()) {
            score.reverb.clear();
            score.reverbEnd = 0;
        } else {
            macros.push_back(cue.macro + "=0");
        }
        label.switches += (label.switches.empty() ? "" : " ") + cue.option;
    }

    std::string refusal;
    std::string orchestra = findOrchestra(options, score.program, environment, refusal);
    if (orchestra.empty()) return refuse(refusal);
    auto orchestraBytes = grain::readFileBytes(orchestra);
    if (!orchestraBytes) return refuse("cannot read the orchestra " + orchestra);
    const std::string& orchestraText = *orchestraBytes;

    fs::path scoreFolder = fs::absolute(fs::path(options.score)).parent_path();
    if (score.program.id == grain::Program::granule && !fs::is_regular_file(scoreFolder / score.soundFile))
        return refuse("the sound file \"" + score.soundFile + "\" of the score is missing: it belongs in " +
                      scoreFolder.string());

    // What every part file records: the technique is the speaker file's digest for --speakers.
    label.score = contentDigest(text);
    label.space = options.space;
    label.orchestra = orchestraDigest(orchestra);
    if (!options.speakers.empty()) {
        if (!fs::is_regular_file(options.speakers)) return refuse("the speaker file " + options.speakers + " is missing");
        auto speakerBytes = grain::readFileBytes(options.speakers);
        if (!speakerBytes) return refuse("cannot read the speaker file " + options.speakers);
        const std::string& speakerText = *speakerBytes;
        SpeakerLayout layout = readSpeakerLayout(speakerText, options.speakers);
        if (!layout.refusal.empty()) return refuse(layout.refusal);
        label.space = "speakers " + contentDigest(speakerText);
    }

    std::string output = options.output.empty() ? defaultOutput(options, score.program) : options.output;
    if (auto why = outputRefusal(output); !why.empty()) return refuse(why);

    // Binaural hears a SOFA HRTF set unless Csound's own data is asked for.
    std::string sofa;
    if (options.space == "binaural") {
        sofa = options.hrtf.empty() ? defaultSofaFile : options.hrtf;
        if (sofa == "csound") {
            label.hrtf = "csound";
            sofa.clear();
        } else {
            auto sofaBytes = fs::is_regular_file(sofa) ? grain::readFileBytes(sofa) : std::nullopt;
            if (!sofaBytes) return refuse("cannot read the HRTF set " + sofa);
            label.hrtf = contentDigest(*sofaBytes);
        }
    }

    // The render's rate, where something must be made for it before Csound starts.
    int rate = options.rate;
    if (rate == 0 && (score.program.id == grain::Program::granule || options.space == "binaural")) {
        PartJob probe{orchestraText, fs::absolute(orchestra).parent_path().string(), scoreFolder.string(), "",
                      options.space, options.speakers.empty() ? "" : fs::absolute(options.speakers).string(),
                      options.rate, {}, "", {}};
        initialiseCsound();
        rate = renderRate(probe);
    }
    if (label.hrtf == "csound" && rate != 44100 && rate != 48000 && rate != 96000)
        return refuse("Csound's HRTF data (--hrtf csound) is at 44100, 48000 or 96000 Hz, not " + std::to_string(rate));

    // The sound file at the render's rate: table 1 reads a converted copy when the composer's file differs.
    SoundAtRate sound;
    if (score.program.id == grain::Program::granule) {
        sound = soundAtRate((scoreFolder / score.soundFile).string(), rate,
                            fs::absolute(output).parent_path().string());
        if (!sound.error.empty()) return refuse(sound.error);
        if (sound.copy) {
            auto named = score.header.find('"' + score.soundFile + '"');
            if (named != std::string::npos) score.header.replace(named + 1, score.soundFile.size(), sound.path);
            err << "grainrender: " << sound.note << "\n";
        }
    }

    PartPlan plan = planParts(options, environment, score);
    // A part file is written into the output's temporary file; a whole
    // render's parts go into a folder named after it, mixed into the output.
    grain::AtomicFile outputFile(output);
    LeftoverFiles leftovers;
    fs::path partFolder;
    if (options.part == 0) {
        partFolder = outputFile.temporary().string() + "-parts";
        leftovers.paths.push_back(partFolder);
        std::error_code error;
        fs::create_directory(partFolder, error);
        if (error) return refuse("cannot make the folder of the parts " + partFolder.string() + ": " + error.message());
    }
    if (!sofa.empty()) {
        // The virtual speakers' impulse responses, in a folder of their own beside the output while it renders.
        fs::path speakerFile = fs::absolute(orchestra).parent_path() / virtualSpeakerFile;
        auto speakerBytes = grain::readFileBytes(speakerFile);
        if (!speakerBytes) return refuse("cannot read binaural's virtual speakers " + speakerFile.string());
        SpeakerLayout layout = readSpeakerLayout(*speakerBytes, speakerFile.string());
        if (!layout.refusal.empty()) return refuse(layout.refusal);
        fs::path tables = outputFile.temporary().string() + "-hrtf";
        leftovers.paths.push_back(tables);
        std::error_code error;
        fs::create_directory(tables, error);
        if (error) return refuse("cannot make the folder of the HRTF tables " + tables.string() + ": " + error.message());
        if (auto why = writeHrtfTables(sofa, layout.speakers, rate, tables.string()); !why.empty()) return refuse(why);
        macros.push_back("HRTF_TABLES=" + tables.string());
    }
    std::vector<PartJob> jobs;
    std::vector<double> ends;
    double music = 0;
    for (int part : plan.parts) {
        PartJob job;
        job.orchestraText = orchestraText;
        job.orchestraFolder = fs::absolute(orchestra).parent_path().string();
        job.soundFolder = scoreFolder.string();
        job.scoreText = partScoreText(score, plan.shares, part);
        job.space = options.space;
        job.speakers = options.speakers.empty() ? "" : fs::absolute(options.speakers).string();
        job.rate = options.rate;
        job.macros = macros;
        job.outPath = options.part != 0 ? outputFile.temporary().string()
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

    std::vector<std::string> partFiles;
    for (const auto& job : jobs) partFiles.push_back(job.outPath);
    if (options.part != 0) {
        // The part file is complete: give it its name.
        if (auto why = outputFile.commit(); !why.empty()) return refuse(why);
        finish(output, outcomes[0].sound, secondsSince(start), out, err);
        return 0;
    }
    auto sum = (partFolder / "mix.w64").string();
    MixResult mixed = mixSoundFiles(partFiles, sum);
    if (!mixed.summary) return refuse(mixed.refusal);
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
    return options.mix ? mixParts(options, out, err) : renderScore(options, environment, out, err);
}

}  // namespace render
