// Placeholder until this subsystem is built.
#include "inputs/inputs.h"

namespace trevox {
int process_wildcard(const std::string&) {
    return 1;
}
int process_project(const std::string&) {
    return 1;
}
int process_group(const std::string&) {
    return 1;
}
} // namespace trevox
