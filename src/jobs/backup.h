// Backup copies and the restore script.
#pragma once

#include "platform/platform.h"

#include <string>

namespace trevox {

struct RestoreState {
    TextWriter restore_file;
    std::string backup_name;
    std::string entry;
};
extern RestoreState g_restore;

void restore_reset();

// Creates Restore.bat with its header. 0 on success, 1 after its messages.
int create_restore_script();

// Closes Restore.bat (end of run).
void close_restore_script();

void restore_write(const std::string& text);

// Backup copy of the source and its restore entry. 0 on success, 1 after
// reporting the failure and pausing.
int make_backup(const std::string& source_name);

} // namespace trevox
