// The large-run benchmark: writes a dense cloud's coordinate files into a
// temporary folder (64 voices of 20000 samples for glissonscore and
// granulescore, 128 for additivescore, whose partials thin out towards the
// fundamental), runs each program's whole run on them and sets its time
// against three yardsticks measured in the same run: copying a file as large
// as the score (the I/O floor), the plain stdio way of doing the same work
// (fscanf "%f" in, fprintf "%f" out), and snprintf "%f" of the same
// statements against the score's own formatting.
//
// Every program run happens in a child process of its own, so that its peak
// resident memory is its own; the child is this program started again with
// "--child".
//
//   grainbench                 the large workload
//   grainbench --smoke         a tiny one, to check that everything works
//   grainbench --repeat N      best of N runs of each program, each followed
//                              by a copy of its score (default 9)
//   grainbench --folder PATH   works in PATH and keeps the files (the scores
//                              stay in PATH/scores)

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "additive_score.hpp"
#include "coordinate_names.hpp"
#include "decimal_reader.hpp"
#include "glisson_score.hpp"
#include "granule_score.hpp"
#include "plain_stdio.hpp"
#include "real_format.hpp"
#include "score_writer.hpp"

namespace fs = std::filesystem;
using grain::Program;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time this process has used, user and system, in seconds.
double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Wall time and processor time of one piece of work. On a machine that
// others share, the processor time shows the work itself, the wall time
// also the waits for a turn.
struct Timing {
    double wall = 1e300;
    double cpu = 1e300;
};

class Stopwatch {
public:
    Stopwatch() : wall_(Clock::now()), cpu_(processorSeconds()) {}
    Timing elapsed() const { return {secondsSince(wall_), processorSeconds() - cpu_}; }

private:
    Clock::time_point wall_;
    double cpu_;
};

// The faster of two timings, each measure on its own.
Timing best(Timing a, Timing b) { return {std::min(a.wall, b.wall), std::min(a.cpu, b.cpu)}; }

// Console text of the runs goes nowhere.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

struct Workload {
    int voices;             // grain streams of glissonscore and granulescore
    int additiveVoices;     // partials of additivescore
    int samples;            // samples per coordinate file
    float grainDur;         // seconds between samples (glissonscore, granulescore)
    float totalDuration;    // glissonscore and granulescore, just below samples x grainDur
    float additiveDuration; // additivescore: the highest partial uses all its samples
};

Workload largeWorkload() { return {64, 128, 20000, 0.01f, 199.9f, 156.0f}; }
Workload smokeWorkload() { return {4, 8, 1000, 0.01f, 9.9f, 7.5f}; }

// The dialogue answers that give every voice as many grains as its samples
// allow: the fixed grain duration equal to the sampling interval, no silence
// between grains, reverb on.
std::string answers(Program program, const Workload& w, int voices) {
    std::ostringstream text;
    text.precision(9);
    switch (program) {
        case Program::glisson:
            text << "1\n100\n10000\n3\n3\n" << w.grainDur << "\n1\n0\n" << w.totalDuration << "\n" << voices << "\n1\n";
            break;
        case Program::granule:
            text << "3\n" << w.grainDur << "\n1\n0\n" << w.totalDuration << "\n" << voices << "\n1\ncloud.wav\n1\n";
            break;
        case Program::additive:
            text << "100\n3\n" << w.additiveDuration << "\n1\n0\n" << voices << "\n1\n";
            break;
    }
    return text.str();
}

// A boid wandering around the listener: azimuth and elevation in degrees,
// distance in the patch's unit, one value per line with six decimals.
void writeCoordinates(const fs::path& folder, int voices, int samples) {
    std::vector<char> text(static_cast<std::size_t>(samples) * (grain::maxFloatTextLength + 1));
    for (int voice = 1; voice <= voices; ++voice) {
        std::mt19937 random(static_cast<unsigned>(voice));
        std::uniform_real_distribution<float> step(-1.0f, 1.0f);
        float value[3] = {static_cast<float>(voice * 37 % 360) - 180.0f, 0.0f, 10.0f};
        const float stepSize[3] = {2.5f, 1.5f, 0.2f};
        const float low[3] = {-180.0f, -90.0f, 0.5f}, high[3] = {180.0f, 90.0f, 40.0f};
        std::vector<float> series[3];
        for (auto& s : series) s.reserve(static_cast<std::size_t>(samples));
        for (int i = 0; i < samples; ++i)
            for (int c = 0; c < 3; ++c) {
                value[c] += step(random) * stepSize[c];
                value[c] = std::clamp(value[c], low[c], high[c]);
                series[c].push_back(value[c]);
            }
        for (int c = 0; c < 3; ++c) {
            char* out = text.data();
            for (float v : series[c]) {
                out = grain::formatReal(out, v);
                *out++ = '\n';
            }
            fs::path path = grain::coordinateFilePath(folder, voice, grain::coordinateLetters[static_cast<std::size_t>(c)]);
            std::FILE* file = std::fopen(path.string().c_str(), "wb");
            if (file == nullptr) throw std::runtime_error("cannot create " + path.string());
            std::fwrite(text.data(), 1, static_cast<std::size_t>(out - text.data()), file);
            std::fclose(file);
        }
    }
}

// The child: one whole run of one program, timed; prints the seconds.
int runChild(Program program, const Workload& w, int voices, const fs::path& coordinates, const fs::path& scores) {
    std::istringstream input(answers(program, w, voices));
    NullBuffer nothing;
    std::ostream console(&nothing);
    Stopwatch watch;
    int status = 0;
    switch (program) {
        case Program::glisson: status = grain::runGlissonScore(input, console, coordinates, scores); break;
        case Program::granule: status = grain::runGranuleScore(input, console, coordinates, scores); break;
        case Program::additive: status = grain::runAdditiveScore(input, console, coordinates, scores); break;
    }
    Timing run = watch.elapsed();
    std::printf("%.9f %.9f\n", run.wall, run.cpu);
    return status;
}

struct ChildRun {
    Timing time;
    long peakKiB = 0;
};

// Starts this program again as a child for one run and collects its time and
// peak resident memory.
ChildRun runInChild(const char* self, Program program, bool smoke, int voices, const fs::path& coordinates,
                    const fs::path& scores) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("cannot make a pipe");
    std::string programArg = std::to_string(static_cast<int>(program)), voicesArg = std::to_string(voices);
    std::string coordinateArg = coordinates.string(), scoreArg = scores.string();
    pid_t child = fork();
    if (child < 0) throw std::runtime_error("cannot start a child");
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        const char* arguments[] = {self,
                                   "--child",
                                   programArg.c_str(),
                                   smoke ? "1" : "0",
                                   voicesArg.c_str(),
                                   coordinateArg.c_str(),
                                   scoreArg.c_str(),
                                   nullptr};
        execv("/proc/self/exe", const_cast<char* const*>(arguments));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string reply;
    char block[256];
    ssize_t got;
    while ((got = read(pipeEnds[0], block, sizeof block)) > 0) reply.append(block, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("the run failed");
    char* rest = nullptr;
    double wall = std::strtod(reply.c_str(), &rest);
    return {{wall, std::strtod(rest, nullptr)}, usage.ru_maxrss};
}

// Copies a file through a 1 MiB buffer: what writing the score's bytes costs
// at the least.
Timing copyTime(const fs::path& from, const fs::path& to) {
    std::vector<char> buffer(1 << 20);
    Stopwatch watch;
    std::FILE* in = std::fopen(from.string().c_str(), "rb");
    std::FILE* out = std::fopen(to.string().c_str(), "wb");
    if (in == nullptr || out == nullptr) throw std::runtime_error("cannot copy " + from.string());
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) != 0) std::fwrite(buffer.data(), 1, got, out);
    std::fclose(in);
    std::fclose(out);
    return watch.elapsed();
}

// What the score holds, and its statements read back in blocks.
struct ScoreFacts {
    long long statements = 0;
    long long bytes = 0;
    std::vector<long long> perVoice;  // statements of voice 1, 2, ...
    Timing format{0, 0};              // formatEvent of every statement
    Timing snprintfFormat{0, 0};      // snprintf "%f" of every statement
    bool identical = true;            // both gave the same text
};

int fieldCount(Program program) { return grain::scoreFormat(program).pFields(); }

void add(Timing& total, Timing part) {
    total.wall += part.wall;
    total.cpu += part.cpu;
}

// Reads the statements back and formats them again, in blocks, both ways.
ScoreFacts examineScore(const fs::path& scorePath, Program program) {
    ScoreFacts facts;
    facts.bytes = static_cast<long long>(fs::file_size(scorePath));
    std::FILE* file = std::fopen(scorePath.string().c_str(), "rb");
    if (file == nullptr) throw std::runtime_error("no score at " + scorePath.string());
    constexpr std::size_t blockSize = 2048;
    std::vector<grain::GrainEvent> events;
    events.reserve(blockSize);
    std::vector<char> ours(blockSize * grain::maxStatementLength), theirs(blockSize * grain::maxStatementLength);

    auto formatBlock = [&]() {
        Stopwatch watch;
        char* out = ours.data();
        for (const auto& e : events) out = grain::formatEvent(out, program, e);
        add(facts.format, watch.elapsed());
        std::size_t ourLength = static_cast<std::size_t>(out - ours.data());

        Stopwatch snprintfWatch;
        char* put = theirs.data();
        for (const auto& e : events) {
            int n = 0;
            std::size_t room = grain::maxStatementLength;
            if (program != Program::additive)
                n = std::snprintf(put, room, "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\n",
                                  double(e.srt), double(e.dur), e.voice, double(e.phase), double(e.aziOld),
                                  double(e.azi), double(e.elevOld), double(e.elev), double(e.distOld), double(e.dist),
                                  double(e.grainDur), double(e.own[0]), double(e.own[1]));
            else
                n = std::snprintf(put, room, "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\n",
                                  double(e.srt), double(e.dur), e.voice, double(e.phase), double(e.aziOld),
                                  double(e.azi), double(e.elevOld), double(e.elev), double(e.distOld), double(e.dist),
                                  double(e.grainDur), double(e.own[0]));
            put += n;
        }
        add(facts.snprintfFormat, snprintfWatch.elapsed());
        std::size_t theirLength = static_cast<std::size_t>(put - theirs.data());
        if (ourLength != theirLength || std::memcmp(ours.data(), theirs.data(), ourLength) != 0)
            facts.identical = false;
        events.clear();
    };

    char line[4096];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, "i1\t", 3) != 0) continue;
        const char* p = line + 2;
        const char* last = line + std::strlen(line);
        float values[13] = {};
        int voice = 0;
        int count = fieldCount(program);
        for (int f = 0, r = 0; f < count; ++f) {
            while (p != last && grain::isBlank(*p)) ++p;
            if (f == 2) {
                auto parsed = grain::parseInteger(p, last);
                voice = parsed.value;
                p = parsed.end;
            } else {
                auto parsed = grain::parseReal(p, last);
                values[r++] = parsed.value;
                p = parsed.end;
            }
        }
        grain::GrainEvent e;
        e.srt = values[0];
        e.dur = values[1];
        e.voice = voice;
        e.phase = values[2];
        e.aziOld = values[3];
        e.azi = values[4];
        e.elevOld = values[5];
        e.elev = values[6];
        e.distOld = values[7];
        e.dist = values[8];
        e.grainDur = values[9];
        e.own = {values[10], values[11]};
        events.push_back(e);
        ++facts.statements;
        if (voice >= 1) {
            if (facts.perVoice.size() < static_cast<std::size_t>(voice))
                facts.perVoice.resize(static_cast<std::size_t>(voice));
            ++facts.perVoice[static_cast<std::size_t>(voice - 1)];
        }
        if (events.size() == blockSize) formatBlock();
    }
    if (!events.empty()) formatBlock();
    std::fclose(file);
    return facts;
}

struct Report {
    const char* name;
    int voices;
    int samples;
    Timing run;
    ScoreFacts facts;
    long peakKiB;
    long peakKiBFewVoices;
    int fewVoices;
    Timing copy;
    Timing plain;
    double goal;  // the most processor time the run may take, in copies; 0 for the smoke run
};

// How close to the copy each program's large run is to come: additivescore
// reads twice the coordinate values per statement.
double copyGoal(Program program) { return program == Program::additive ? 5.0 : 4.5; }

void printReport(const Report& r) {
    double mb = static_cast<double>(r.facts.bytes) / 1e6;
    double statements = static_cast<double>(r.facts.statements);
    std::printf("%s: %d voices of %d samples, %lld statements, %.1f MB of score\n", r.name, r.voices, r.samples,
                r.facts.statements, mb);
    std::printf("  wall time             %8.3f s      (processor time %.3f s)\n", r.run.wall, r.run.cpu);
    std::printf("  statements per second %8.2f million\n", statements / r.run.wall / 1e6);
    std::printf("  score per second      %8.1f MB\n", mb / r.run.wall);
    std::printf("  peak resident memory  %8.2f MiB    (%d voices: %.2f MiB)\n", static_cast<double>(r.peakKiB) / 1024.0,
                r.fewVoices, static_cast<double>(r.peakKiBFewVoices) / 1024.0);
    std::printf("  (a) run / file copy   %8.2f        (copy %.3f s; in processor time %.2f)\n", r.run.wall / r.copy.wall,
                r.copy.wall, r.run.cpu / r.copy.cpu);
    if (r.goal > 0)
        std::printf("      goal: at most %.1f times the copy in processor time: %s\n", r.goal,
                    r.run.cpu / r.copy.cpu <= r.goal ? "met" : "NOT MET");
    std::printf("  (b) plain stdio / run %8.1f        (fscanf + fprintf %.3f s; in processor time %.1f)\n",
                r.plain.wall / r.run.wall, r.plain.wall, r.plain.cpu / r.run.cpu);
    std::printf("  (c) snprintf / ours   %8.1f        (formatting alone %.3f s against %.3f s; %s)\n",
                r.facts.snprintfFormat.wall / r.facts.format.wall, r.facts.format.wall, r.facts.snprintfFormat.wall,
                r.facts.identical ? "the same text" : "THE TEXT DIFFERS");
    std::fflush(stdout);
}

// A temporary folder removed again at the end, or a given one that is kept.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& kept) {
        if (!kept.empty()) {
            path_ = kept;
            keep_ = true;
            fs::create_directories(path_);
            return;
        }
        std::string pattern = (fs::temp_directory_path() / "grainbench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!keep_) fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
    bool keep_ = false;
};

// The first line of a file that starts with key, or nothing.
std::string lineStartingWith(const char* path, const std::string& key) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return {};
    char line[512];
    std::string found;
    while (std::fgets(line, sizeof line, file) != nullptr)
        if (std::strncmp(line, key.c_str(), key.size()) == 0) {
            found = line;
            break;
        }
    std::fclose(file);
    while (!found.empty() && (found.back() == '\n' || found.back() == ' ')) found.pop_back();
    return found;
}

// The machine the numbers come from, and how busy it was.
void printMachine() {
    std::string model = lineStartingWith("/proc/cpuinfo", "model name");
    auto colon = model.find(':');
    model = colon == std::string::npos ? "unknown processor" : model.substr(colon + 2);
    std::printf("machine: %ld processors, %s; load average %s\n", sysconf(_SC_NPROCESSORS_ONLN), model.c_str(),
                lineStartingWith("/proc/loadavg", "").substr(0, 14).c_str());
}

int runBenchmark(const char* self, bool smoke, int repeat, const std::string& folder) {
    Workload w = smoke ? smokeWorkload() : largeWorkload();
    printMachine();
    ScratchFolder scratch(folder);
    fs::path coordinates = scratch.path() / "bg", scores = scratch.path() / "scores";
    fs::create_directories(coordinates);
    fs::create_directories(scores);
    int mostVoices = std::max(w.voices, w.additiveVoices);
    std::printf("writing %d voices of %d samples into %s\n", mostVoices, w.samples, coordinates.string().c_str());
    std::fflush(stdout);
    writeCoordinates(coordinates, mostVoices, w.samples);

    bool allSame = true;
    for (Program program : {Program::glisson, Program::granule, Program::additive}) {
        int voices = program == Program::additive ? w.additiveVoices : w.voices;
        Report r{grain::programName(program), voices, w.samples, {}, {}, 0, 0, 0, {}, {}, smoke ? 0.0 : copyGoal(program)};
        fs::path score = scores / grain::scoreFileName(program);
        // Each run is followed by a copy of its score: on a machine that
        // others share, busy and quiet spells then fall on both alike, and
        // the best of each is set against the other.
        fs::path copy = scratch.path() / "copy.sco";
        for (int i = 0; i < repeat; ++i) {
            fs::remove(score);  // the run creates its score afresh
            ChildRun run = runInChild(self, program, smoke, voices, coordinates, scores);
            r.run = best(r.run, run.time);
            r.peakKiB = std::max(r.peakKiB, run.peakKiB);
            r.copy = best(r.copy, copyTime(score, copy));
            fs::remove(copy);
        }
        r.fewVoices = std::max(1, voices / 8);
        fs::path fewScores = scratch.path() / "few";
        fs::create_directories(fewScores);
        r.peakKiBFewVoices = runInChild(self, program, smoke, r.fewVoices, coordinates, fewScores).peakKiB;
        fs::remove_all(fewScores);

        r.facts = examineScore(score, program);
        allSame = allSame && r.facts.identical;
        fs::path plainScore = scratch.path() / "plain.sco";
        Stopwatch watch;
        plainStdioRun(coordinates, r.facts.perVoice, fieldCount(program), w.samples, plainScore);
        r.plain = watch.elapsed();
        fs::remove(plainScore);
        printReport(r);
    }
    return allSame ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 7 && std::strcmp(argv[1], "--child") == 0) {
            auto program = static_cast<Program>(std::atoi(argv[2]));
            Workload w = std::strcmp(argv[3], "1") == 0 ? smokeWorkload() : largeWorkload();
            return runChild(program, w, std::atoi(argv[4]), argv[5], argv[6]);
        }
        bool smoke = false;
        int repeat = 9;
        std::string folder;
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--smoke") == 0) {
                smoke = true;
            } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
                repeat = std::max(1, std::atoi(argv[++i]));
            } else if (std::strcmp(argv[i], "--folder") == 0 && i + 1 < argc) {
                folder = argv[++i];
            } else {
                std::fprintf(stderr, "usage: grainbench [--smoke] [--repeat N] [--folder PATH]\n");
                return 2;
            }
        }
        return runBenchmark(argv[0], smoke, repeat, folder);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "grainbench: %s\n", failure.what());
        return 1;
    }
}
