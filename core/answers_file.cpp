#include "answers_file.hpp"

namespace grain {

std::string answersFileName(Program program) { return std::string(programName(program)) + ".answers"; }

std::string answersFileText(Program program, const std::vector<TakenAnswer>& taken) {
    const std::string name = programName(program);
    std::string text = "# " + name + "'s answers, one a line in the order asked. Change one and run\n" + "#   " +
                       name + " --answers " + answersFileName(program) + "\n";
    constexpr std::size_t commentColumn = 12;
    for (const TakenAnswer& answer : taken) {
        if (answer.wholeLine) {
            text += "# " + answer.note + "\n" + answer.text + "\n";
            continue;
        }
        text += answer.text;
        text.append(answer.text.size() < commentColumn ? commentColumn - answer.text.size() : 1, ' ');
        text += "# " + answer.note + "\n";
    }
    return text;
}

}  // namespace grain
