#include "part_render.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <mutex>
#include <regex>

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
};

// True when a line of Csound's messages reports an error or a warning.
bool isProblemLine(const std::string& line) {
    static const std::regex clean(R"(^\s*0 errors in performance\s*$)");
    static const std::regex problem(R"(error|warning|note deleted|undefined|cannot|not found|failed)",
                                    std::regex::icase);
    return !std::regex_search(line, clean) && std::regex_search(line, problem);
}

void takeMessage(CSOUND* csound, int, const char* text) {
    auto* log = static_cast<MessageLog*>(csoundGetHostData(csound));
    log->pending += text;
    for (auto end = log->pending.find('\n'); end != std::string::npos; end = log->pending.find('\n')) {
        std::string line = log->pending.substr(0, end);
        log->pending.erase(0, end + 1);
        if (!isProblemLine(line)) continue;
        log->failed = true;
        if (log->problems.size() < keptProblemLines) log->problems.push_back(line);
    }
}

void flushMessages(MessageLog& log) {
    if (log.pending.empty()) return;
    if (isProblemLine(log.pending)) {
        log.failed = true;
        if (log.problems.size() < keptProblemLines) log.problems.push_back(log.pending);
    }
    log.pending.clear();
}

// The options of a part's instance: no audio device, quiet, the folders, the technique and the rate.
void setJobOptions(CSOUND* csound, const PartJob& job) {
    for (const std::string& option :
         {std::string("-n"), std::string("-d"), std::string("-m4"), std::string("-+msg_color=0"),
          "--env:INCDIR=" + job.orchestraFolder, "--env:SSDIR=" + job.soundFolder, "--omacro:SPACE=" + job.space}) {
        csoundSetOption(csound, option.c_str());
    }
    if (!job.speakers.empty()) csoundSetOption(csound, ("--omacro:SPEAKERS=" + job.speakers).c_str());
    for (const auto& macro : job.macros) csoundSetOption(csound, ("--omacro:" + macro).c_str());
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
    PartFileWriter writer(job.outPath, sound.channels, sound.rate, labelText(label));
    if (!writer.good()) return fail(writer.error());

    auto samplesPerCycle = static_cast<std::size_t>(ksmps) * channels;
    long long cyclesPerWrite = std::max(1LL, framesPerWrite / ksmps);
    std::vector<float> buffer(samplesPerCycle * static_cast<std::size_t>(cyclesPerWrite));
    auto write = [&](long long frames) {
        sound.frames += frames;
        return writer.write(buffer.data(), frames);
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
            if (!write(cycles * ksmps)) return fail(writer.error());
            cycles = 0;
        }
        scoreTime = csoundGetScoreTime(csound.get());
    }
    if (stop && !log.failed) {
        outcome.stopped = true;
        return outcome;
    }
    csoundCleanup(csound.get());  // prints the count of performance errors
    flushMessages(log);
    if (log.failed) return fail("Csound reported errors");
    if (!write(cycles * ksmps) || !writer.close()) return fail(writer.error());
    scoreTime = csoundGetScoreTime(csound.get());
    outcome.ok = true;
    return outcome;
}

}  // namespace render
