// Placeholder until this subsystem is built.
#include "log/log.h"

namespace trevox {
LogState g_log;
void log_reset() {}
void log_line(const char*, std::size_t) {}
} // namespace trevox
