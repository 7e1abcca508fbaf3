// grainrender: renders a grain score with its orchestra through the Csound
// library, in parts on every core, into one sound file.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "grain_render.hpp"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    render::RenderEnvironment environment;
    // The orchestras: installed beside the program (PREFIX/share/grainscores/examples),
    // at the configured install prefix, or, for the program in its build tree,
    // in the source tree named by the file the build leaves beside it.
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) environment.orchestraFolders.push_back((self.parent_path().parent_path() / GRAIN_INSTALLED_EXAMPLES_RELATIVE).string());
    environment.orchestraFolders.push_back(GRAIN_INSTALLED_EXAMPLES);
    std::string sourceExamples;
    if (!error && std::getline(std::ifstream(self.parent_path() / "grainrender.examples"), sourceExamples))
        environment.orchestraFolders.push_back(sourceExamples);
    environment.cores = std::max(1u, std::thread::hardware_concurrency());
    environment.terminal = isatty(STDERR_FILENO) != 0;
    // Ctrl-C or a kill stops the parts, and the run cleans up its files as after
    // any failure: the signals are taken by one thread that only raises a flag.
    static std::atomic<bool> interrupted{false};
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
    std::thread([stopping] {
        int signal = 0;
        sigwait(&stopping, &signal);
        interrupted = true;
    }).detach();
    environment.interrupted = &interrupted;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return render::runGrainRender(arguments, environment, std::cout, std::cerr);
}
