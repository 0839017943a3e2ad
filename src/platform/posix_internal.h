// Helpers shared by the POSIX files of the platform layer. Not part of the
// interface: only files in src/platform include this.
#pragma once

#include "platform/platform_internal.h"

#include <string>

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

// True when `os_path` names an existing file whose permission bits grant write
// to nobody. Such a file is never opened for writing, also not by a process
// (root) that the OS would let through: the user marked it read-only.
bool write_forbidden_by_mode(const char* os_path);

// Opens `os_path` for writing, created with `mode` or emptied; an existing
// file that write_forbidden_by_mode() refuses is left as it is. The usual
// case, a name that is free, takes a single system call. The descriptor, or
// -1.
int open_for_writing(const char* os_path, unsigned mode);

} // namespace trevox
