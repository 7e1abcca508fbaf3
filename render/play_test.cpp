// grainrender --play, heard through a JACK server of the test's own: jackd
// with its dummy driver (no sound card, no real-time scheduling) under a name
// of this test run, jack_capture recording what grainrender plays into it, and
// the recording compared with the offline render of the same score. Every
// process runs as grainrender runs for a composer, in a process of its own,
// bounded in time; the server the test started is stopped by its pid.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <jack/jack.h>

#include "jack_server.hpp"
#include "render_test_support.hpp"
#include "sound_measure.hpp"

extern char** environ;

namespace fs = std::filesystem;
using namespace render;
using namespace render::testing;
using Clock = std::chrono::steady_clock;

namespace {

// A program run in a process of its own, its output and errors into files.
// The destructor kills it if it still runs, by its pid, and waits for it.
class Process {
public:
    // unbounded: the child is started without the tests' file-size limit.
    Process(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err, bool unbounded = false) {
        rlimit bound{};
        getrlimit(RLIMIT_FSIZE, &bound);
        rlimit child{bound.rlim_max, bound.rlim_max};
        if (unbounded) setrlimit(RLIMIT_FSIZE, &child);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        // grainrender blocks the stopping signals in its threads: the child starts with none blocked.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        if (posix_spawnp(&pid_, argv[0], &files, &attributes, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
        if (unbounded) setrlimit(RLIMIT_FSIZE, &bound);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() {
        if (running()) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    bool running() const { return pid_ > 0 && status_ < 0; }
    void signal(int number) const {
        if (running()) kill(pid_, number);
    }
    // The exit status, or -1 when it ran past the time limit (and was killed).
    int wait(double seconds) {
        for (auto end = Clock::now() + std::chrono::duration<double>(seconds); running();) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (Clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

std::string readText(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The path of a tool, or empty; the test fails naming its package when it is missing.
std::string tool(const std::string& name, const std::string& package) {
    for (std::string folder : {"/usr/bin", "/usr/local/bin", "/bin"})
        if (fs::exists(folder + "/" + name)) return folder + "/" + name;
    ADD_FAILURE() << name << " is missing: scripts/install-deps.sh installs it (" << package
                  << ", scripts/packages/sound.txt)";
    return "";
}

// A JACK server with the dummy driver under a name of this run, 48 kHz, four
// playback ports and a large period; every JACK client of the test (and its
// children) finds it by JACK_DEFAULT_SERVER.
class DummyServer {
public:
    explicit DummyServer(const fs::path& folder) {
        std::string name = "grainrender-test-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        std::string jackd = tool("jackd", "jackd2");
        if (jackd.empty()) return;
        server_ = std::make_unique<Process>(std::vector<std::string>{jackd, "--no-realtime", "--name", name, "-d",
                                                                      "dummy", "-r", "48000", "-p", "2048", "-w",
                                                                      "42667", "-P", "4", "-C", "0"},
                                            folder / "jackd.out", folder / "jackd.err", true);
        for (auto end = Clock::now() + std::chrono::seconds(10); Clock::now() < end && server_->running();) {
            if (findJackServer().ok()) {
                ready_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "the JACK server did not start: " << readText(folder / "jackd.err");
    }
    ~DummyServer() {
        if (server_) {
            server_->signal(SIGTERM);
            server_->wait(5);
        }
    }
    bool ready() const { return ready_; }

private:
    std::unique_ptr<Process> server_;
    bool ready_ = false;
};

// Waits until the server has a port of that name (a client that has started); false after seconds.
bool portAppears(const std::string& name, double seconds) {
    jack_client_t* client = jack_client_open("grainrender-test-watch", JackNoStartServer, nullptr);
    if (!client) return false;
    bool found = false;
    for (auto end = Clock::now() + std::chrono::duration<double>(seconds); !found && Clock::now() < end;) {
        found = jack_port_by_name(client, name.c_str()) != nullptr;
        if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    jack_client_close(client);
    return found;
}

// A glisson score of four voices placed around the listener, a grain every
// 0.1 s each for `seconds`, dry, written as glissonscore writes it.
std::string glissonScore(double seconds) {
    std::string text = ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 1 1 1 \n"
                       "f2 0 16385 20 7 1 2    ; grain envelope\n\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t "
                       "Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t Start Freq\t End Freq\n";
    char line[256];
    for (int voice = 1; voice <= 4; ++voice)
        for (int grain = 0; grain * 0.1 < seconds; ++grain) {
            std::snprintf(line, sizeof line,
                          "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\n",
                          grain * 0.1 + voice * 0.02, 0.1, voice, 0.1, voice * 80.0, voice * 80.0 + 20, 0.0, 10.0, 3.0,
                          4.0, 0.05, 200.0 * voice, 300.0 * voice);
            text += line;
        }
    return text + "\ne\n";
}

// The first frame of a sound that is not silence.
std::size_t onset(const grain::sound::Sound& sound) {
    for (std::size_t n = 0; n < sound.frames(); ++n)
        for (const auto& channel : sound.channels)
            if (std::fabs(channel[n]) > 1e-4) return n;
    return sound.frames();
}

// How well heard matches expected once aligned by their first sounding
// frames (the same samples, so the same frame): the correlation over all
// channels and the level against expected in dB.
struct Match {
    double correlation = 0, level = 0;
};
Match match(const grain::sound::Sound& expected, const grain::sound::Sound& heard) {
    if (expected.channels.size() != heard.channels.size() || expected.frames() == 0) return {};
    const std::size_t from = onset(expected), shift = onset(heard) - from;
    double cross = 0, wanted = 0, got = 0;
    for (std::size_t c = 0; c < expected.channels.size(); ++c)
        for (std::size_t n = from; n < expected.frames(); ++n) {
            double x = expected.channels[c][n], y = n + shift < heard.frames() ? heard.channels[c][n + shift] : 0;
            cross += x * y, wanted += x * x, got += y * y;
        }
    if (wanted == 0 || got == 0) return {};
    return {cross / std::sqrt(wanted * got), 10 * std::log10(got / wanted)};
}

std::string grainrenderProgram() { return GRAINRENDER_PROGRAM; }

}  // namespace

TEST(Play, WhatTheServerReceivesIsTheOfflineRenderAndTheFileOfOIsToo) {
    TemporaryFolder folder;
    DummyServer server(folder.path());
    ASSERT_TRUE(server.ready());
    std::string capture = tool("jack_capture", "jack-capture");
    ASSERT_FALSE(capture.empty());
    writeText(folder / "VELAROOKglisson.sco", glissonScore(0.6));
    for (const auto& technique : std::vector<std::pair<std::string, int>>{{"stereo", 2}, {"ambix1", 4}}) {
        const std::string space = technique.first;
        const int channels = technique.second;
        std::string score = (folder / "VELAROOKglisson.sco").string();
        auto at = [&](const std::string& name) { return (folder / (space + name)).string(); };
        RunResult offline = grainrender({score, "--space", space, "--rate", "48000", "-o", at("-offline.wav")});
        ASSERT_EQ(offline.status, 0) << offline.err;

        // The recorder's ports first, then grainrender connected to them in order.
        Process recorder({capture, "--daemon", "--manual-connections", "--channels", std::to_string(channels),
                          "--recording-time", "30", at("-heard.wav")},
                         folder / "capture.out", folder / "capture.err");
        ASSERT_TRUE(recorder.started());
        ASSERT_TRUE(portAppears("jack_capture:input" + std::to_string(channels), 10)) << readText(folder / "capture.err");
        auto start = Clock::now();
        Process play({grainrenderProgram(), score, "--play", "--space", space, "--connect", "jack_capture:input",
                      "-o", at("-played.wav")},
                     folder / "play.out", folder / "play.err");
        ASSERT_EQ(play.wait(20), 0) << readText(folder / "play.err");
        double wall = std::chrono::duration<double>(Clock::now() - start).count();
        recorder.signal(SIGINT);
        ASSERT_EQ(recorder.wait(10), 0) << readText(folder / "capture.err");

        // It played in real time and said so, with JACK's count of under-runs (on a
        // loaded machine the dummy server may report some: the recording below
        // shows whether any sound was lost); nothing else on standard error.
        std::string said = readText(folder / "play.out");
        EXPECT_NE(said.find("played through JACK: "), std::string::npos) << said;
        EXPECT_NE(said.find(std::to_string(channels) + " channels at 48000 Hz"), std::string::npos) << said;
        EXPECT_TRUE(std::regex_search(said, std::regex(", [0-9]+ under-runs?\n"))) << said;
        EXPECT_EQ(readText(folder / "play.err"), "");
        auto expected = grain::sound::readSound(at("-offline.wav"));
        double seconds = static_cast<double>(expected.frames()) / 48000;
        EXPECT_GT(wall, seconds) << "played faster than real time";

        Match heard = match(expected, grain::sound::readSound(at("-heard.wav")));
        EXPECT_GE(heard.correlation, 0.99) << space;
        EXPECT_NEAR(heard.level, 0, 0.5) << space;
        // The file written beside the playing is the offline render's.
        Match written = match(expected, grain::sound::readSound(at("-played.wav")));
        EXPECT_GT(written.correlation, 0.999999) << space;
        EXPECT_NEAR(written.level, 0, 0.001) << space;
    }
}

TEST(Play, WithoutAServerItSaysHowToStartOneAndCtrlCStopsItWithinASecondLeavingNothing) {
    TemporaryFolder folder;
    writeText(folder / "VELAROOKglisson.sco", glissonScore(8));
    std::string score = (folder / "VELAROOKglisson.sco").string();
    {
        setenv("JACK_DEFAULT_SERVER", ("grainrender-test-none-" + std::to_string(getpid())).c_str(), 1);
        Process play({grainrenderProgram(), score, "--play"}, folder / "none.out", folder / "none.err");
        EXPECT_EQ(play.wait(10), 1);
        std::string said = readText(folder / "none.err");
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find("jackd -d alsa"), std::string::npos) << said;
        EXPECT_NE(said.find("pw-jack"), std::string::npos) << said;
        fs::remove(folder / "none.out");
        fs::remove(folder / "none.err");
    }
    DummyServer server(folder.path());
    ASSERT_TRUE(server.ready());
    fs::path logs = fs::temp_directory_path();
    const std::string tag = "grainrender-play-" + std::to_string(getpid());
    Process play({grainrenderProgram(), score, "--play", "--no-connect", "-o", (folder / "piece.wav").string()},
                 logs / (tag + ".out"), logs / (tag + ".err"));
    // Playing: its ports are there, and it has rendered a little.
    ASSERT_TRUE(portAppears("grainrender:output1", 10)) << readText(logs / (tag + ".err"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(play.running()) << readText(logs / (tag + ".err"));
    auto interrupted = Clock::now();
    play.signal(SIGINT);
    int status = play.wait(5);
    double stopping = std::chrono::duration<double>(Clock::now() - interrupted).count();
    EXPECT_EQ(status, 1) << readText(logs / (tag + ".err"));
    EXPECT_EQ(readText(logs / (tag + ".err")), "grainrender: stopped; no output written\n");
    EXPECT_LT(stopping, 1.0);
    fs::remove(logs / (tag + ".out"));
    fs::remove(logs / (tag + ".err"));
    // No temporary file, no part folder: the folder holds what it held (and the server's logs).
    EXPECT_EQ(folder.names(), (std::set<std::string>{"VELAROOKglisson.sco", "jackd.out", "jackd.err"}));
}
