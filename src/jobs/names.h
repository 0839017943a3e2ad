// File-name rules shared by the dispatch, the job, the backups and the input
// sets. A name's extension starts at the first "." of its last component
// (after its last "\" or "/"), never in a directory part.
#pragma once

#include <cstddef>
#include <string>

namespace trevox {

// Position of the last component (after the last "\" or "/"); 0 for a
// name without a folder part.
std::size_t leaf_pos(const std::string& name);

// Position of the first "." of the last component, or npos.
std::size_t extension_pos(const std::string& name);

// Writes into `out` (its capacity reused) `name` cut at its extension followed
// by `new_extension` (the whole name followed by it when there is none).
// `new_extension` is a non-null text starting with ".".
void name_with_extension(const std::string& name, const char* new_extension, std::string& out);

// The name cut at its extension, plus ".tmp" (whole name plus ".tmp" without one).
std::string temp_name_for(const std::string& name);

} // namespace trevox
