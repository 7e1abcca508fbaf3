// grainrender: renders a grain score with its orchestra through the Csound
// library, in parts on every core, into one sound file.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "grain_render.hpp"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    render::RenderEnvironment environment;
    // The orchestras: installed beside the program (PREFIX/share/grainscores/examples),
    // at the configured install prefix, or in the source tree this program was built from.
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) environment.orchestraFolders.push_back((self.parent_path().parent_path() / GRAIN_INSTALLED_EXAMPLES_RELATIVE).string());
    environment.orchestraFolders.push_back(GRAIN_INSTALLED_EXAMPLES);
    environment.orchestraFolders.push_back(GRAIN_SOURCE_EXAMPLES);
    environment.cores = std::max(1u, std::thread::hardware_concurrency());
    environment.terminal = isatty(STDERR_FILENO) != 0;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return render::runGrainRender(arguments, environment, std::cout, std::cerr);
}
