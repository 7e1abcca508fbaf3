#include "program_run.hpp"

#include "answer_reader.hpp"
#include "dialogue.hpp"

namespace grain {

int runScoreProgram(Program program, std::istream& input, std::ostream& console,
                    const std::filesystem::path& coordinateFolder, const std::filesystem::path& scoreFolder,
                    std::ostream& errors, const VoiceLoop& voiceLoop) {
    const char* name = programName(program);
    RunParameters parameters;
    try {
        AnswerReader reader{input, console};
        parameters = runDialogue(program, reader);
    } catch (const DialogueStopped& stopped) {
        console.flush();
        errors << "\n" << name << ": no score written: " << stopped.what() << "\n";
        return 1;
    }
    if (auto why = unusableAnswers(program, parameters)) {
        errors << name << ": no score written: " << *why << "\n";
        return 1;
    }

    ScoreWriter writer;
    if (!openScore(writer, program, scoreFolder)) {
        errors << name << ": " << writer.failure << "\n";
        return 1;
    }
    writeHeader(writer, parameters);
    RunState run{program, console, coordinateFolder, std::make_unique<Trajectory>(), RandomSource{}, TrajectoryPoint{}};
    voiceLoop(parameters, writer, run);
    if (!finishScore(writer, parameters, console)) {
        console.flush();
        errors << name << ": " << writer.failure << "\n";
        return 1;
    }
    return 0;
}

}  // namespace grain
