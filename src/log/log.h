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
    int log_closed = 0; // closed at the end of the run: nothing more is logged
};
extern LogState g_log;

// Closes the log if open (without a report) and resets its state (tests).
void log_reset();

// The log file's name, in the current directory.
inline constexpr const char* kLogFileName = "Trevox.log";

// Appends one output line to the log, opening it (with its header) on the
// first call of the run.
void log_line(const char* text, std::size_t length);

// End of the run: flushes and closes the log if it is open. A write failure
// that surfaces here (text still buffered) is reported like any other write
// failure. Called once by the run flow at its end.
void log_close_at_exit();

} // namespace trevox
