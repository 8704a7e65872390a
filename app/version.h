// Which build this is, fixed when CMake configures (cmake/Version.cmake).
#pragma once

#include <string>

namespace version {
// The firmware version of the embedded image, "9.5".
extern const char* const firmware;

// What --version prints, line end included:
// "PROGRAM 1.0.0 (firmware 9.5, commit 0123456789ab)"; the commit is
// "unknown" outside a git checkout.
std::string line(const std::string& program);
}  // namespace version
