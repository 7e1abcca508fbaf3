#include "version.hpp"

namespace grain {

const char* collectionVersion() { return GRAIN_VERSION; }

std::string versionLine(const std::string& name) { return name + " " + collectionVersion() + "\n"; }

}  // namespace grain
