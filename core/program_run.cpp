#include "program_run.hpp"

#include "answer_reader.hpp"
#include "dialogue.hpp"

namespace grain {

int runScoreProgram(Program program, std::istream& input, std::ostream& console,
                    const std::filesystem::path& coordinateFolder, const std::filesystem::path& scoreFolder,
                    std::ostream& errors, const VoiceLoop& voiceLoop) {
    // Errors follow whatever the console already shows.
    auto fail = [&](const std::string& message) {
        console.flush();
        errors << programName(program) << ": " << message << "\n";
        return 1;
    };
    RunParameters parameters;
    try {
        AnswerReader reader{input, console};
        parameters = runDialogue(program, reader);
    } catch (const DialogueStopped& stopped) {
        return fail(std::string("no score written: ") + stopped.what());
    }
    if (auto why = unusableAnswers(program, parameters)) return fail("no score written: " + *why);

    ScoreWriter writer;
    if (!openScore(writer, program, scoreFolder)) return fail(writer.failure);
    writeHeader(writer, parameters);
    RunState run{console, coordinateFolder, std::make_unique<Trajectory>(), RandomSource{}, TrajectoryPoint{}};
    voiceLoop(parameters, writer, run);
    if (!finishScore(writer, parameters, console)) return fail(writer.failure);
    if (run.shortfalls.empty()) return 0;
    console.flush();
    for (const std::string& shortfall : run.shortfalls) errors << programName(program) << ": " << shortfall << "\n";
    return incompleteScoreStatus;
}

}  // namespace grain
