// scoredriver: a test tool, not one of the programs. It runs a score program
// against a coordinate folder given on its command line (the real programs
// read only the fixed folder), and checks the structure of a written score.
//
//   scoredriver run PROGRAM COORDINATE_FOLDER SCORE_FOLDER   answers on standard input
//   scoredriver check PROGRAM SCORE_FILE
//
// PROGRAM is glissonscore, granulescore or additivescore.
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "additive_score.hpp"
#include "glisson_score.hpp"
#include "granule_score.hpp"
#include "score_reader.hpp"

namespace {

std::optional<grain::Program> programNamed(const std::string& name) {
    for (grain::Program program : {grain::Program::glisson, grain::Program::granule, grain::Program::additive})
        if (name == grain::programName(program)) return program;
    return std::nullopt;
}

int usage() {
    std::cerr << "usage: scoredriver run PROGRAM COORDINATE_FOLDER SCORE_FOLDER < answers\n"
                 "       scoredriver check PROGRAM SCORE_FILE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return usage();
    std::string command = argv[1];
    auto program = programNamed(argv[2]);
    if (!program) return usage();

    if (command == "run" && argc == 5) {
        switch (*program) {
            case grain::Program::glisson: return grain::runGlissonScore(std::cin, std::cout, argv[3], argv[4]);
            case grain::Program::granule: return grain::runGranuleScore(std::cin, std::cout, argv[3], argv[4]);
            case grain::Program::additive: return grain::runAdditiveScore(std::cin, std::cout, argv[3], argv[4]);
        }
    }
    if (command == "check" && argc == 4) {
        std::ifstream file(argv[3], std::ios::binary);
        if (!file) {
            std::cerr << "scoredriver: cannot read " << argv[3] << "\n";
            return 1;
        }
        std::ostringstream text;
        text << file.rdbuf();
        grain::ScoreReading s = grain::readScore(text.str(), *program);
        for (const std::string& p : s.problems) std::cout << argv[3] << ": " << p << "\n";
        if (!s.problems.empty()) return 1;
        std::cout << argv[3] << ": " << s.grains.size() << " grain statements of " << s.voices.size() << " voices"
                  << (s.reverb ? ", reverb" : "") << ", structure sound\n";
        return 0;
    }
    return usage();
}
