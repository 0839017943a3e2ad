// The environment, the same on every system.
#include "platform/platform.h"

#include <cstdlib>

namespace trevox {

const char* env_value(const char* name) {
    if (name == nullptr || *name == '\0') {
        return nullptr;
    }
    return std::getenv(name);
}

} // namespace trevox
