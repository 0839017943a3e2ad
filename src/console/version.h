// The program's versions: the version text of the banners and messages
// (messages.h), and the version of the package the build was made from, held
// in one place, the project version of CMakeLists.txt.
#pragma once

#include <string>

namespace trevox {

// The one line `--version` prints, without its newline: "trevox 1.2a", and
// the package version in parentheses when its text differs from the banner's,
// "trevox 1.2a (package 1.2.0)".
std::string version_line();

// The same line for the given texts (tests).
std::string version_line_of(const std::string& banner_version, const std::string& package);

} // namespace trevox
