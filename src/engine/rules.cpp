// Placeholder until this subsystem is built.
#include "engine/rules.h"

namespace trevox {
void strip_leading_blanks(std::string&) {}
void strip_leading_space(std::string&) {}
void strip_comment(std::string&) {}
std::size_t find_comment(const std::string&) {
    return 0;
}
void trim_trailing_blanks(std::string&) {}
bool is_declaration(const std::string&) {
    return false;
}
void tighten_as(std::string&) {}
} // namespace trevox
