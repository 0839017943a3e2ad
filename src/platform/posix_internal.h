// Helpers shared by the POSIX files of the platform layer. Not part of the
// interface: only files in src/platform include this.
#pragma once

#include "platform/platform_internal.h"

#include <string>
#include <sys/stat.h>

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

} // namespace trevox
