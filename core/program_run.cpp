#include "program_run.hpp"

#include "answer_reader.hpp"
#include "dialogue.hpp"
#include "exit_status.hpp"

namespace grain {

int runScoreProgram(Program program, std::istream& input, std::ostream& console,
                    const std::filesystem::path& coordinateFolder, const std::filesystem::path& scoreFolder,
                    std::ostream& errors, const VoiceLoop& voiceLoop) {
    // Errors follow whatever the console already shows.
    auto fail = [&](const std::string& message) {
        console.flush();
        return leave(errors, programName(program), message, exitFailed);
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
    if (Outcome<> opened = openScore(writer, program, scoreFolder); !opened) return fail(opened.reason());
    writeHeader(writer, parameters);
    RunState run{console, coordinateFolder, std::make_unique<Trajectory>(), RandomSource{}, TrajectoryPoint{}};
    voiceLoop(parameters, writer, run);
    if (Outcome<> finished = finishScore(writer, parameters, console); !finished) return fail(finished.reason());
    if (run.shortfalls.empty()) return exitDone;
    console.flush();
    for (const std::string& shortfall : run.shortfalls)
        leave(errors, programName(program), shortfall, exitIncompleteScore);
    return exitIncompleteScore;
}

}  // namespace grain
