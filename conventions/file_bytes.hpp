// A file's bytes, read whole, and a short fingerprint of them: 64-bit FNV-1a
// as 16 hexadecimal digits, the same on every machine. The fingerprint tells
// a file changed by hand or a part of another render; it is no protection
// against someone who wants to forge one.
#pragma once

#include <filesystem>
#include <string>

#include "outcome.hpp"

namespace grain {

// Every byte of the file, or why it cannot be read ("cannot read FILE: the
// system's reason").
Outcome<std::string> readFileBytes(const std::filesystem::path& file);

// The digest of bytes.
std::string contentDigest(const std::string& bytes);

}  // namespace grain
