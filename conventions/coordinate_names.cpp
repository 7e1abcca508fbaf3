#include "coordinate_names.hpp"

#include <cctype>

namespace grain {

std::filesystem::path fixedCoordinateFolder() {
#ifdef _WIN32
    return std::filesystem::path("D:\\Max\\bg");
#else
    return std::filesystem::path("/mnt/d/Max/bg");
#endif
}

std::string coordinateFileName(long long voice, char letter) {
    return "bg" + std::to_string(voice) + letter + ".txt";
}

std::filesystem::path coordinateFilePath(const std::filesystem::path& folder, long long voice, char letter) {
    return folder / coordinateFileName(voice, letter);
}

std::optional<CoordinateName> coordinateNameOf(std::string name) {
#ifdef _WIN32
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));  // BG1A.TXT is bg1a.txt there
#endif
    if (name.size() < 8 || name.compare(0, 2, "bg") != 0 || name.compare(name.size() - 4, 4, ".txt") != 0)
        return std::nullopt;
    const std::string digits = name.substr(2, name.size() - 7);
    const std::size_t letter = coordinateLetters.find(name[name.size() - 5]);
    if (letter == std::string_view::npos || digits.empty() || digits.size() > 9 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return CoordinateName{std::stoll(digits), letter};
}

}  // namespace grain
