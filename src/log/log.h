// The activity log Trevox.log, fed by the engine's line writer.
#pragma once

#include "platform/platform.h"

#include <string>

namespace trevox {

struct LogState {
    TextWriter log_stream;
    int log_open = 0;
    int log_failed = 0;
    std::string log_module_line;
};
extern LogState g_log;

// Closes the log if open and resets its state (tests, end of run).
void log_reset();

// Appends one output line to the log, opening it (with its header) on the
// first call of the run.
void log_line(const char* text, std::size_t length);

} // namespace trevox
