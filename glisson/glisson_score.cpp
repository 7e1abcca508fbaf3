#include "glisson_score.hpp"

#include "frequency_mapper.hpp"
#include "grain_scheduler.hpp"
#include "program_run.hpp"
#include "score_format.hpp"

namespace grain {

int runGlissonScore(std::istream& input, std::ostream& console, const std::filesystem::path& coordinateFolder,
                    const std::filesystem::path& scoreFolder, std::ostream& errors,
                    const std::filesystem::path& answersFile) {
    auto voices = [](const RunParameters& p, ScoreWriter& writer, RunState& run) {
        GlissonFrequencyMapper mapper{p.frequencyMode, p.lowFrequency, p.highFrequency};
        // Elevations are sampled +90 degrees (0 to 180) for the frequency mapping.
        auto fields = [&mapper](const TrajectoryPoint& previous, const TrajectoryPoint& current, GrainEvent& event) {
            auto [start, end] = mapFrequencies(mapper, previous.elevation, current.elevation);
            event.own = {start, end};  // Start Freq, End Freq
        };
        runGrainStreams<scoreFormat(Program::glisson).elevationOffset>(p, writer, run, fields);
    };
    return runScoreProgram(Program::glisson, input, console, coordinateFolder, scoreFolder, errors, voices, answersFile);
}

}  // namespace grain
