#include "granule_score.hpp"

#include "grain_scheduler.hpp"
#include "playback_fields.hpp"
#include "program_run.hpp"
#include "score_format.hpp"

namespace grain {

int runGranuleScore(std::istream& input, std::ostream& console, const std::filesystem::path& coordinateFolder,
                    const std::filesystem::path& scoreFolder, std::ostream& errors,
                    const std::filesystem::path& answersFile) {
    auto voices = [](const RunParameters& p, ScoreWriter& writer, RunState& run) {
        // The file play position is the last draw before the statement.
        auto fields = [&p, &run](const TrajectoryPoint&, const TrajectoryPoint&, GrainEvent& event) {
            event.own = {drawFilePlayPos(run.random), p.playSpeed};  // File Play Pos, Play Speed
        };
        runGrainStreams<scoreFormat(Program::granule).elevationOffset>(p, writer, run, fields);
    };
    return runScoreProgram(Program::granule, input, console, coordinateFolder, scoreFolder, errors, voices, answersFile);
}

}  // namespace grain
