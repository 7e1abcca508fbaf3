#include "part_render.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

#include "part_file.hpp"
#include "sound_files.hpp"

#if __has_include(<csound/csound.h>)
#include <csound/csound.h>
#else
#include <csound.h>
#endif

namespace render {

namespace {

constexpr std::size_t keptProblemLines = 20;
constexpr long long framesPerWrite = 4096;

// Csound's messages of one instance, gathered into lines.
struct MessageLog {
    std::string pending;
    std::vector<std::string> problems;
    bool failed = false;
    int underruns = 0;
};

// Csound's JACK module reports every under-run the server tells it of in this line.
bool isUnderrunLine(const std::string& line) { return line.find("rtjack: xrun in real time audio") != std::string::npos; }

// The JACK server's periods that Csound's ring buffer holds: a second, and at
// least eight, so that the render rides out a dense moment (many grains
// starting at once, or a busy machine) that takes longer than a period to
// render. A preview wants no low latency: the sound is heard up to a second
// after it is rendered, and Ctrl-C still stops at the next period. Measured on
// a busy 2-core machine (load 5), a binaural render of a dense score through
// a 1024-frame period at 44.1 kHz under-ran 71 times with a ring of eight
// periods, 23 times with half a second and not once with a second.
int ringPeriods(int period, int rate) { return std::max(8, (rate + period - 1) / period); }

// True when a line of Csound's messages reports an error or a warning.
bool isProblemLine(const std::string& line) {
    static const std::regex clean(R"(^\s*0 errors in performance\s*$)");
    static const std::regex problem(R"(error|warning|note deleted|undefined|cannot|not found|failed)",
                                    std::regex::icase);
    return !std::regex_search(line, clean) && std::regex_search(line, problem);
}

// Counts an under-run, or keeps a problem line; passes over the rest.
void takeLine(MessageLog& log, const std::string& line) {
    if (isUnderrunLine(line)) {
        ++log.underruns;
    } else if (isProblemLine(line)) {
        log.failed = true;
        if (log.problems.size() < keptProblemLines) log.problems.push_back(line);
    }
}

void takeMessage(CSOUND* csound, int, const char* text) {
    auto* log = static_cast<MessageLog*>(csoundGetHostData(csound));
    log->pending += text;
    for (auto end = log->pending.find('\n'); end != std::string::npos; end = log->pending.find('\n')) {
        takeLine(*log, log->pending.substr(0, end));
        log->pending.erase(0, end + 1);
    }
}

void flushMessages(MessageLog& log) {
    if (log.pending.empty()) return;
    takeLine(log, log.pending);
    log.pending.clear();
}

// The options of a part's instance: no audio device (or JACK's), quiet, the folders, the technique, its macros and the rate.
void setJobOptions(CSOUND* csound, const PartJob& job) {
    // The panning file is found by its name in a second include folder: Csound
    // cuts the name an orchestra includes at 127 characters, a folder it searches not.
    std::filesystem::path panning(job.panning);
    std::string includeFolders = job.orchestraFolder;
    if (!job.panning.empty()) includeFolders.append(1, ';').append(panning.parent_path().string());
    for (const std::string& option :
         {std::string("-d"), std::string("-m4"), std::string("-+msg_color=0"),
          "--env:INCDIR=" + includeFolders, "--env:SSDIR=" + job.soundFolder, "--omacro:SPACE=" + job.space}) {
        csoundSetOption(csound, option.c_str());
    }
    if (!job.panning.empty()) csoundSetOption(csound, ("--omacro:PANNING=" + panning.filename().string()).c_str());
    for (const auto& macro : job.macros) csoundSetOption(csound, ("--omacro:" + macro).c_str());
    if (!job.play.enabled) {
        csoundSetOption(csound, "-n");
    } else {
        // Csound's own ports, "grainrender:output1" and on, connected in order to
        // the system's playback ports (Csound's default), to the named ones, or to none.
        std::string device = job.play.noConnect ? "dac:null" : job.play.connect.empty() ? "dac" : "dac:" + job.play.connect;
        for (const std::string& option :
             {std::string("-+rtaudio=jack"), std::string("-+jack_client=grainrender"), "-o" + device,
              "-b" + std::to_string(job.play.period), "-B" + std::to_string(job.play.period * ringPeriods(job.play.period, job.rate))})
            csoundSetOption(csound, option.c_str());
    }
    if (job.rate > 0) csoundSetOption(csound, ("--sample-rate=" + std::to_string(job.rate)).c_str());
}

}  // namespace

int renderRate(const PartJob& job) {
    if (job.rate > 0) return job.rate;
    std::unique_ptr<CSOUND, void (*)(CSOUND*)> csound(csoundCreate(nullptr), csoundDestroy);
    if (!csound) return 0;
    csoundSetMessageStringCallback(csound.get(), [](CSOUND*, int, const char*) {});
    setJobOptions(csound.get(), job);
    if (csoundCompileOrc(csound.get(), job.orchestraText.c_str()) != 0) return 0;  // the parts report why
    return static_cast<int>(csoundGetSr(csound.get()));
}

void initialiseCsound() {
    static std::once_flag once;
    std::call_once(once, [] {
        csoundInitialize(CSOUNDINIT_NO_SIGNAL_HANDLER | CSOUNDINIT_NO_ATEXIT);
        // One instance lives as long as the process, so that Csound's opcode
        // libraries stay loaded: every part's instance finds them loaded
        // instead of loading and unloading them again (which also leaves what
        // their initialisation allocated unreachable at every unloading).
        static CSOUND* keeper = csoundCreate(nullptr);
        (void)keeper;
    });
}

PartOutcome renderPart(const PartJob& job, std::atomic<bool>& stop, std::atomic<double>& scoreTime) {
    PartOutcome outcome;
    MessageLog log;
    std::unique_ptr<CSOUND, void (*)(CSOUND*)> csound(csoundCreate(&log), csoundDestroy);
    auto fail = [&](const std::string& why) {
        flushMessages(log);
        outcome.problems = log.problems;
        if (outcome.problems.empty()) outcome.problems.push_back(why);
        stop = true;
        return outcome;
    };
    if (!csound) return fail("Csound could not be started");
    csoundSetMessageStringCallback(csound.get(), takeMessage);
    setJobOptions(csound.get(), job);
    // Csound's orchestra compiler is not safe in two threads at once (the names
    // it gives its own variables collide): one part compiles at a time.
    static std::mutex compiling;
    std::unique_lock compileLock(compiling);
    if (csoundCompileOrc(csound.get(), job.orchestraText.c_str()) != 0) return fail("Csound could not compile the orchestra");
    compileLock.unlock();
    if (csoundReadScore(csound.get(), job.scoreText.c_str()) != 0) return fail("Csound could not read the score");
    if (csoundStart(csound.get()) != 0 || log.failed) return fail("Csound could not start the performance");

    SoundSummary& sound = outcome.sound;
    sound.channels = static_cast<int>(csoundGetNchnls(csound.get()));
    sound.rate = static_cast<int>(csoundGetSr(csound.get()));
    sound.w64 = true;
    const auto channels = static_cast<std::size_t>(sound.channels);
    sound.peaks.assign(channels, 0.0);
    auto ksmps = static_cast<long long>(csoundGetKsmps(csound.get()));
    double fullScale = csoundGet0dBFS(csound.get());
    PartLabel label = job.label;
    label.rate = sound.rate;
    std::optional<PartFileWriter> writer;
    if (!job.outPath.empty()) {
        auto made = PartFileWriter::create(job.outPath, sound.channels, sound.rate, labelText(label));
        if (!made) return fail(made.reason());
        writer.emplace(std::move(*made));
    }

    auto samplesPerCycle = static_cast<std::size_t>(ksmps) * channels;
    long long cyclesPerWrite = std::max(1LL, framesPerWrite / ksmps);
    std::vector<float> buffer(samplesPerCycle * static_cast<std::size_t>(cyclesPerWrite));
    auto write = [&](long long frames) -> grain::Outcome<> {
        sound.frames += frames;
        if (!writer) return grain::Done{};
        return writer->write(buffer.data(), frames);
    };
    long long cycles = 0;
    while (!stop && !log.failed) {
        if (csoundPerformKsmps(csound.get()) != 0) break;
        const MYFLT* spout = csoundGetSpout(csound.get());
        float* into = buffer.data() + static_cast<std::size_t>(cycles) * samplesPerCycle;
        // The samples as the file holds them, and each channel's peak of them.
        for (std::size_t s = 0; s < samplesPerCycle; s += channels)
            for (std::size_t c = 0; c < channels; ++c) {
                into[s + c] = static_cast<float>(spout[s + c] / fullScale);
                sound.peaks[c] = std::max(sound.peaks[c], std::fabs(static_cast<double>(into[s + c])));
            }
        if (++cycles == cyclesPerWrite) {
            if (auto written = write(cycles * ksmps); !written) return fail(written.reason());
            cycles = 0;
        }
        scoreTime = csoundGetScoreTime(csound.get());
    }
    // Counted while the score plays: the ring buffer running dry after the last sample is no under-run.
    outcome.underruns = log.underruns;
    if (job.play.enabled && !stop && !log.failed) {
        // JACK plays on what Csound's ring buffer still holds; closing now would cut it off.
        auto ring = std::chrono::duration<double>((ringPeriods(job.play.period, sound.rate) + 2.0) * job.play.period / sound.rate);
        for (auto end = std::chrono::steady_clock::now() + ring; !stop && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (stop && !log.failed) {
        outcome.end = PartEnd::stopped;
        return outcome;
    }
    csoundCleanup(csound.get());  // prints the count of performance errors
    flushMessages(log);
    if (log.failed) return fail("Csound reported errors");
    if (auto written = write(cycles * ksmps); !written) return fail(written.reason());
    if (writer)
        if (auto closed = writer->close(); !closed) return fail(closed.reason());
    scoreTime = csoundGetScoreTime(csound.get());
    outcome.end = PartEnd::rendered;
    return outcome;
}

}  // namespace render
