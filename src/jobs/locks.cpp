#include "jobs/locks.h"

#include "console/console.h"
#include "console/messages.h"

#include <utility>

namespace trevox {

LockState g_locks;

namespace {

// True when this run already holds the folder `id`.
bool holds(const FileId& id) {
    for (const HeldFolder& h : g_locks.held) {
        if (h.folder.device == id.device && h.folder.inode == id.inode) {
            return true;
        }
    }
    return false;
}

// Locks the folder `folder` (written with a trailing separator, or empty for
// the current one), which messages call `shown`.
int lock_folder(const std::string& folder, const std::string& shown) {
    std::string& name = g_locks.lock_name;
    name.assign(folder);
    name += '.';
    FileId id;
    if (!file_identity(name, id)) {
        // A folder that is not there as written may be there in other
        // letter case; one that is not there at all holds nothing to write
        // beside (what the run opens there next fails and says so).
        name = resolve_name_case(name);
        if (!file_identity(name, id)) {
            return 0;
        }
    }
    if (holds(id)) {
        return 0;
    }
    name.pop_back(); // the folder as found, with its separator
    name += kFolderLockName;
    HeldFolder held;
    held.folder = id;
    switch (lock_file_take(held.lock, name)) {
    case LockStatus::taken:
    case LockStatus::no_new_files:
        g_locks.held.push_back(std::move(held));
        return 0;
    case LockStatus::busy:
        say(msg::folder_busy, shown.c_str());
        return 1;
    case LockStatus::failed:
        break;
    }
    say(msg::folder_unlockable, shown.c_str());
    return 1;
}

} // namespace

void release_folder_locks() {
    for (HeldFolder& h : g_locks.held) {
        lock_file_release(h.lock);
    }
    g_locks.held.clear();
}

// The folder is named by its full path.
int lock_current_folder() {
    current_directory(g_locks.shown);
    if (g_locks.shown.empty()) {
        g_locks.shown.push_back('.');
    }
    return lock_folder(std::string(), g_locks.shown);
}

// The folder is named as the file name writes it, without its last separator
// (kept for a root such as "/" or "C:\").
int lock_folder_of(const std::string& file_name) {
    const std::size_t sep = file_name.find_last_of("\\/");
    if (sep == std::string::npos) {
        return lock_current_folder();
    }
    g_locks.folder.assign(file_name, 0, sep + 1);
    std::string& shown = g_locks.shown;
    shown.assign(file_name, 0, sep);
    if (shown.empty() || shown.back() == ':') {
        shown += file_name[sep];
    }
    return lock_folder(g_locks.folder, shown);
}

} // namespace trevox
