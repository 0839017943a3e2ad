// Placeholder until this subsystem is built.
#include "platform/platform.h"

namespace trevox {
void console_clear() {}
bool console_available() {
    return false;
}
int console_getch() {
    return -1;
}
bool console_kbhit() {
    return false;
}
bool stdout_is_terminal() {
    return false;
}
void current_directory(std::string& out) {
    out.clear();
}
void local_time_now(CivilTime& out) {
    out = CivilTime{};
}
bool utc_time_from_epoch(std::int64_t, CivilTime& out) {
    out = CivilTime{};
    return false;
}
const char* env_value(const char*) {
    return nullptr;
}
} // namespace trevox
