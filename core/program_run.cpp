#include "program_run.hpp"

#include <cerrno>
#include <cstring>
#include <sstream>

#include "answer_reader.hpp"
#include "answers_file.hpp"
#include "dialogue.hpp"
#include "exit_status.hpp"
#include "file_bytes.hpp"
#include "flock_record.hpp"

namespace grain {

int runScoreProgram(Program program, std::istream& input, std::ostream& console,
                    const std::filesystem::path& coordinateFolder, const std::filesystem::path& scoreFolder,
                    std::ostream& errors, const VoiceLoop& voiceLoop, const std::filesystem::path& answersFile) {
    // Errors follow whatever the console already shows.
    auto fail = [&](const std::string& message) {
        console.flush();
        return leave(errors, programName(program), message, exitFailed);
    };
    std::istringstream fileInput;
    if (!answersFile.empty()) {
        auto bytes = readFileBytes(answersFile);
        if (!bytes)
            return fail("no score written: cannot read the answers file " + answersFile.string() + ": " +
                        (std::filesystem::is_directory(answersFile) ? "it is a folder" : std::strerror(errno)));
        fileInput.str(*bytes);
    }
    AnswerReader reader{answersFile.empty() ? input : fileInput, console};
    reader.fromFile = !answersFile.empty();
    RunParameters parameters;
    try {
        parameters = runDialogue(program, reader);
    } catch (const DialogueStopped& stopped) {
        return fail(std::string("no score written: ") + stopped.what());
    }
    if (reader.fromFile) {
        if (auto leftover = leftoverAnswer(reader))
            return fail("no score written: the answers file " + answersFile.string() + " holds more answers than " +
                        "the dialogue asked for, from line " + std::to_string(leftover->line) + " (\"" +
                        leftover->text + "\"); a changed menu answer asks fewer questions: remove the answers " +
                        "it no longer asks");
    }
    if (Outcome<> usable = answersUsable(program, parameters); !usable)
        return fail("no score written: " + usable.reason());
    if (auto mismatch = samplingIntervalMismatch(coordinateFolder, parameters.minGrainDur)) {
        console.flush();
        errors << programName(program) << ": warning: " << *mismatch << "\n";
    }

    ScoreWriter writer;
    if (Outcome<> opened = openScore(writer, program, scoreFolder); !opened) return fail(opened.reason());
    if (Outcome<> added = addCompanionFile(writer, scoreFolder / answersFileName(program), answersFileText(program, reader.taken));
        !added)
        return fail(added.reason());
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
