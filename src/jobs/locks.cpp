#include "jobs/locks.h"

#include "console/console.h"
#include "console/messages.h"
#include "jobs/names.h"

#include <algorithm>
#include <utility>

namespace trevox {

LockState g_locks;

namespace {

// True when this run already holds the folder `id`.
bool holds(const FileId& id) {
    return std::any_of(g_locks.held.begin(), g_locks.held.end(),
                       [&id](const HeldFolder& h) { return FileIdEqual{}(h.folder, id); });
}

// The folder `folder` (as written, with its last separator; empty for the
// current folder) as messages name it: the current folder by its full path,
// any other as written without its last separator (kept for a root such as
// "/" or "C:\").
const std::string& shown_folder(const std::string& folder) {
    std::string& shown = g_locks.shown;
    if (folder.empty()) {
        current_directory(shown);
        if (shown.empty()) {
            shown.push_back('.');
        }
        return shown;
    }
    shown.assign(folder, 0, folder.size() - 1);
    if (shown.empty() || shown.back() == ':') {
        shown.push_back(folder.back());
    }
    return shown;
}

// Locks the folder `folder` (as written, with its last separator; empty for
// the current folder). The folder last locked under the same text needs no
// look at the disk: a name relative to the current folder, which a run never
// leaves, leads to the same folder each time.
int lock_folder(const std::string& folder) {
    if (g_locks.last_valid && folder == g_locks.last_folder) {
        return 0;
    }
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
    if (!holds(id)) {
        name.pop_back(); // the folder as found, with its separator
        name += kFolderLockName;
        HeldFolder held;
        held.folder = id;
        switch (lock_file_take(held.lock, name)) {
        case LockStatus::taken:
        case LockStatus::no_new_files:
            g_locks.held.push_back(std::move(held));
            break;
        case LockStatus::busy:
            say(msg::folder_busy, shown_folder(folder).c_str());
            return 1;
        case LockStatus::failed:
            say(msg::folder_unlockable, shown_folder(folder).c_str());
            return 1;
        }
    }
    g_locks.last_folder = folder;
    g_locks.last_valid = true;
    return 0;
}

} // namespace

void release_folder_locks() {
    for (HeldFolder& h : g_locks.held) {
        lock_file_release(h.lock);
    }
    g_locks.held.clear();
    g_locks.last_valid = false;
}

int lock_current_folder() {
    g_locks.folder.clear();
    return lock_folder(g_locks.folder);
}

int lock_folder_of(const std::string& file_name) {
    g_locks.folder.assign(file_name, 0, leaf_pos(file_name));
    return lock_folder(g_locks.folder);
}

} // namespace trevox
