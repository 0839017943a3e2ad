// Helpers shared by the POSIX files of the platform layer. Not part of the
// interface: only files in src/platform include this.
#pragma once

#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cstddef>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace trevox {

// Scratch buffers for names turned into OS form, reused across calls so that
// no call allocates once the buffers have grown. Several slots because one
// operation may need more than one name at a time.
struct PosixScratch {
    std::string name1;
    std::string name2;
    std::string name3;
};
extern PosixScratch g_posix;

// Turns a user's name into the form the OS takes: every "\" becomes "/".
// Returns a pointer into `buf` (or into `name` when nothing needs changing),
// valid until `buf` or `name` changes; nullptr when the name can never name a
// file (empty, or holding a NUL character).
const char* os_name(const std::string& name, std::string& buf);

// Opens `os_path` for writing as a file of its own, the way text_open_write
// describes: created with `mode`, or an existing plain file with no further
// names emptied; a symbolic link or a file with further names is removed and
// a new file made in its place (the latter's permission bits kept). The name
// is never followed: the file that is opened is checked before anything is
// emptied. Refused: an existing file whose permission bits grant write to
// nobody (also for root), anything that is not a plain file, and `not_this`
// (when given) under this or any other name. The descriptor, or -1.
int open_for_writing(const char* os_path, unsigned mode, const struct stat* not_this = nullptr);

// True when the two stat results are the same file on disk.
inline bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// ---------------------------------------------------------------------------
// Names matched regardless of letter case (name_case_posix.cpp)

// One folder's names as read, held compactly: every name in one text, each
// followed by a NUL, and their starts in the order of name_sorts_before()
// (letter case ignored, ties in byte order), so that the first name in byte
// order of those equal to a given one regardless of case is found by a
// binary search.
struct FolderListing {
    std::string names;
    std::vector<std::size_t> sorted; // starts of the names in `names`
    struct timespec modified {};     // the folder's modification time when read
    bool settled = false;            // it was modified well before it was read: a later
                                     // change shows in its modification time
    bool read = false;
};

// The listings of the run's folders and scratch buffers, one instance.
struct NameCaseState {
    std::unordered_map<FileId, FolderListing, FileIdHash, FileIdEqual> folders; // by identity
    std::size_t listings_read = 0; // folders read so far (tests)
    std::string whole;             // a whole name in OS form
    std::string dir_os;            // the resolved folders in OS form
    std::string probe;             // a folder and one component in OS form
};
extern NameCaseState g_name_case;

// Forgets every listing (tests).
void name_case_reset();

} // namespace trevox
