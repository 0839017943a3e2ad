// Helpers shared by the Windows files of the platform layer. Not part of the
// interface: only files in src/platform include this.
//
// Names arrive in the ANSI code page, as the command line, project files and
// the runtime give them, and go to the system's wide-character calls. A name
// too long for the classic path limit is made absolute and given the "\\?\"
// prefix, so that names of any length work.
#pragma once

#include "platform/platform_internal.h"

#include <cstddef>
#include <string>

namespace trevox {

// Wide names from this length on get the long-name prefix (the classic limit
// for a directory name, which leaves room for an 8.3 file name).
constexpr std::size_t kLongNameFrom = 248;

// Scratch buffers for names turned into wide form, reused across calls so
// that no call allocates once they have grown. Several slots because one
// operation may need more than one name at a time.
struct WinScratch {
    std::wstring name1;
    std::wstring name2;
    std::wstring name3;
    std::wstring full; // absolute form of a long name
};
extern WinScratch g_win;

// Turns a user's name into the wide form the system takes ("/" and "\" both
// separate directories there). False when the name can never name a file
// (empty, or holding a NUL character).
bool win_name(const std::string& name, std::wstring& out);

// Turns `len` wide characters into the ANSI code page. False when a character
// has no form there (such a name could not be handed back to the system).
bool narrow_name(const wchar_t* wide, std::size_t len, std::string& out);

} // namespace trevox
