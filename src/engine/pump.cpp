// Placeholder until this subsystem is built.
#include "engine/pump.h"

namespace trevox {
PumpState g_pump;
void pump_reset_pass() {}
bool read_first_line() {
    return false;
}
int reformat_lines() {
    return 0;
}
void next_line() {}
void emit_line(const char*, std::size_t) {}
void pass_form_header() {}
void pass_protected() {}
bool is_protect_start(const std::string&) {
    return false;
}
} // namespace trevox
