#include "file_bytes.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace grain {

Outcome<std::string> readFileBytes(const std::filesystem::path& file) {
    auto cannot = [&](int error) { return because("cannot read " + file.string() + ": " + std::strerror(error)); };
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) return cannot(errno != 0 ? errno : ENOENT);
    std::ostringstream bytes;
    errno = 0;
    bytes << in.rdbuf();
    if (in.bad() || errno == EISDIR) return cannot(errno != 0 ? errno : EIO);
    return bytes.str();
}

std::string contentDigest(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace grain
