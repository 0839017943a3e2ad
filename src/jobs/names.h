// File-name rules shared by the dispatch, the job, the backups and the input
// sets. A name's extension starts at the first "." of its last component
// (after its last "\" or "/"), never in a directory part.
#pragma once

#include <cstddef>
#include <string>

namespace trevox {

// Position of the first "." of the last component, or npos.
std::size_t extension_pos(const std::string& name);

// The name cut at its extension, plus ".tmp" (whole name plus ".tmp" without one).
std::string temp_name_for(const std::string& name);

} // namespace trevox
