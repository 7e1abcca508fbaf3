// A short fingerprint of a file's bytes: 64-bit FNV-1a as 16 hexadecimal
// digits, the same on every machine. It tells a file changed by hand or a
// part of another render; it is no protection against someone who wants to
// forge one.
#pragma once

#include <string>

namespace grain {

// The digest of bytes.
std::string contentDigest(const std::string& bytes);

}  // namespace grain
