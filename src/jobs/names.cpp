#include "jobs/names.h"

namespace trevox {

// Position of the first "." after the last directory separator, or npos.
std::size_t extension_pos(const std::string& name) {
    std::size_t start = name.find_last_of("\\/");
    start = (start == std::string::npos) ? 0 : start + 1;
    return name.find('.', start);
}

// The name up to its extension with ".tmp" in its place.
std::string temp_name_for(const std::string& name) {
    const std::size_t dot = extension_pos(name);
    std::string out = (dot == std::string::npos) ? name : name.substr(0, dot);
    out += ".tmp";
    return out;
}

} // namespace trevox
