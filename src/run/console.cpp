// Placeholder until this subsystem is built.
#include "run/console.h"

namespace trevox {
RunState g_run;
void run_state_reset() {
    g_run = RunState{};
}
int say(const char*, ...) {
    return 0;
}
void pause() {}
void show_banner() {}
void show_banner_titled(const char*) {}
bool build_stamps() {
    return true;
}
} // namespace trevox
