// Wildcard directory search on Windows: the system's own find-first and
// find-next, with its own matching rule.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace trevox {

namespace {

// Entries the search passes over.
constexpr DWORD kPassedOver = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;

struct SearchState {
    std::string name; // the current match in the ANSI code page
};
SearchState g_search;

} // namespace

// Lists the plain files (neither directories nor hidden nor system files)
// the system finds for the pattern: bare names, sorted. A name with a
// character outside the ANSI code page is passed over, since it could not be
// handed back to the system.
void find_files(const std::string& pattern, std::vector<std::string>& names) {
    names.clear();
    const std::size_t cut = pattern.find_last_of("\\/");
    const std::size_t name_start = cut == std::string::npos ? 0 : cut + 1;
    if (name_start == pattern.size() || !win_name(pattern, g_win.name1)) {
        return; // no name part, or no name at all: nothing can match
    }
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileExW(g_win.name1.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & kPassedOver) != 0) {
            continue;
        }
        if (narrow_name(found.cFileName, std::wcslen(found.cFileName), g_search.name)) {
            names.push_back(g_search.name);
        }
    } while (FindNextFileW(h, &found));
    (void)FindClose(h);
    std::sort(names.begin(), names.end(), name_sorts_before);
}

} // namespace trevox
