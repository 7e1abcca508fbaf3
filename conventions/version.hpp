// The version of the collection: every program and companion answers
// --version with its own name and this one version.
#pragma once

#include <string>

namespace grain {

// The version of the programs, shared by every program of the collection.
const char* collectionVersion();

// "NAME VERSION" and a line end: the answer to --version of any program.
std::string versionLine(const std::string& name);

}  // namespace grain
