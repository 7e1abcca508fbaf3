#include "content_digest.hpp"

#include <cstdint>
#include <cstdio>

namespace grain {

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
