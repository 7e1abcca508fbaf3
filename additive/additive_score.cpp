#include "additive_score.hpp"

#include "partial_voices.hpp"
#include "program_run.hpp"

namespace grain {

int runAdditiveScore(std::istream& input, std::ostream& console, const std::filesystem::path& coordinateFolder,
                     const std::filesystem::path& scoreFolder, std::ostream& errors,
                     const std::filesystem::path& answersFile) {
    return runScoreProgram(Program::additive, input, console, coordinateFolder, scoreFolder, errors,
                           runPartialVoices, answersFile);
}

}  // namespace grain
