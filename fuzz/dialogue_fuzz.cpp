// Arbitrary bytes as the answers of one program's dialogue (GRAIN_FUZZ_PROGRAM
// names it). The dialogue either completes, with menu answers within their
// menus and every answer a finite number, or stops with a message that names
// the question; nothing else may escape, and the menus must not loop forever.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "answer_reader.hpp"
#include "dialogue.hpp"

namespace {

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "dialogue invariant broken: %s\n", why.c_str());
    std::abort();
}

bool inMenu(int answer) { return answer >= 1 && answer <= 3; }

void checkAnswers(grain::Program program, const grain::RunParameters& p) {
    using grain::Program;
    if (program == Program::glisson && !inMenu(p.frequencyMode)) fail("frequency menu answer out of the menu");
    if (program != Program::additive && !inMenu(p.grainDurMode)) fail("grain duration menu answer out of the menu");
    const float reals[] = {p.lowFrequency, p.highFrequency, p.fundamental, p.maxGrainDur, p.totalDuration,
                           p.streams,      p.playSpeed};
    for (float value : reals)
        if (!std::isfinite(value)) fail("an answer that is not finite was accepted");
    for (float value : p.grainDurPoints)
        if (!std::isfinite(value)) fail("a grain duration that is not finite was accepted");
    for (float value : p.intergrainPoints)
        if (!std::isfinite(value)) fail("an intergrain value that is not finite was accepted");
    // The derived minimum is refused exactly when it is no positive finite number.
    bool usable = p.minGrainDur > 0.0f && std::isfinite(p.minGrainDur);
    if (usable != grain::answersUsable(program, p).ok()) fail("answersUsable disagrees with the minimum");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const grain::Program program = grain::Program::GRAIN_FUZZ_PROGRAM;
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream console;
    grain::AnswerReader reader{input, console};
    try {
        checkAnswers(program, grain::runDialogue(program, reader));
    } catch (const grain::DialogueStopped& stopped) {
        std::string why = stopped.what();
        if (why.rfind("the input ended before the answer for ", 0) != 0 && why.rfind("the answer \"", 0) != 0)
            fail("a stopped dialogue says: " + why);
    }
    if (console.str().rfind("This program produces a score file for the Csound instrument, \n", 0) != 0)
        fail("the dialogue does not open with its first prompt");
    return 0;
}
