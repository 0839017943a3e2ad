#include "jobs/names.h"

#include <cassert>

namespace trevox {

std::size_t leaf_pos(const std::string& name) {
    const std::size_t sep = name.find_last_of("\\/");
    return sep == std::string::npos ? 0 : sep + 1;
}

// Position of the first "." after the last directory separator, or npos.
std::size_t extension_pos(const std::string& name) {
    return name.find('.', leaf_pos(name));
}

// `name` up to its extension, then `new_extension`, into `out`.
void name_with_extension(const std::string& name, const char* new_extension, std::string& out) {
    assert(new_extension != nullptr && new_extension[0] == '.');
    assert(&out != &name);
    const std::size_t dot = extension_pos(name);
    out.assign(name, 0, (dot == std::string::npos) ? name.size() : dot);
    out += new_extension;
}

// The name up to its extension with ".tmp" in its place.
std::string temp_name_for(const std::string& name) {
    std::string out;
    name_with_extension(name, ".tmp", out);
    return out;
}

} // namespace trevox
