// Placeholder until this subsystem is built.
#include "run/run.h"

namespace trevox {
int run_main(int, char**) {
    return 0;
}
void dispatch(const std::string&) {}
} // namespace trevox
