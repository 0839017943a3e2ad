// Placeholder until this subsystem is built.
#include "jobs/backup.h"

namespace trevox {
RestoreState g_restore;
void restore_reset() {}
int create_restore_script() {
    return 0;
}
void close_restore_script() {}
void restore_write(const std::string&) {}
int make_backup(const std::string&) {
    return 0;
}
} // namespace trevox
