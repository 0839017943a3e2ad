// Placeholder until this subsystem is built.
#include "platform/platform.h"

namespace trevox {
void find_files(const std::string&, std::vector<std::string>& names) {
    names.clear();
}
bool wildcard_match(const char*, const char*) {
    return false;
}
} // namespace trevox
