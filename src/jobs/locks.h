// Folder locks: two runs never work in one folder at the same time.
//
// A run holds the lock of its current folder (where Restore.bat, Restore.sh
// and Trevox.log go) from before it creates Restore.bat, and the lock of each
// folder it writes beside a source in (temporary files, backups) from before
// its first write there, until the run ends. A lock is the exclusive hold on
// the hidden file ".trevox.lock" in the folder, which the system lets go of
// when the process ends, however it ends. A run never waits for a lock: a
// folder that another run holds is reported, and nothing is written in it.
// One folder is locked once per run, whatever name leads to it.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

namespace trevox {

// The lock file in every locked folder.
inline constexpr const char* kFolderLockName = ".trevox.lock";

// A folder this run holds (or may write in without a lock: a folder that
// takes no new file, so that the run can make none there either).
struct HeldFolder {
    FileId folder;
    FileLock lock; // not taken for a folder that takes no new file
};

struct LockState {
    std::vector<HeldFolder> held;
    std::string last_folder; // the folder part last found held, as written
    bool last_valid = false;
    std::string folder;    // the folder part of a name, as written
    std::string lock_name; // its lock file
    std::string shown;     // the folder as messages name it
};
extern LockState g_locks;

// Lets go of every lock of the run (the end of a run; tests).
void release_folder_locks();

// Locks the current folder. 0 when the run holds it; 1 after a message that
// names the folder (busy, or the lock cannot be taken).
int lock_current_folder();

// Locks the folder of `file_name` (its directory part, matched regardless of
// letter case when it names no folder as written; the current folder when it
// has none). 0 when the run holds it, or when there is no such folder; 1 after
// a message that names the folder as written.
int lock_folder_of(const std::string& file_name);

} // namespace trevox
