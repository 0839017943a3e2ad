// Wildcard directory search on POSIX, with the matching rule of Windows.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace trevox {

namespace {

// True when the entry `e` of the directory `dir_prefix` (OS form, ending with
// "/" or empty) is a regular file, following symbolic links.
bool entry_is_regular(const std::string& dir_prefix, const struct dirent* e) {
#if defined(DT_REG) && defined(DT_UNKNOWN) && defined(DT_LNK)
    if (e->d_type == DT_REG) {
        return true;
    }
    if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) {
        return false;
    }
#endif
    std::string& path = g_posix.name3;
    path.assign(dir_prefix);
    path.append(e->d_name);
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// Lists the plain, non-hidden files of the pattern's directory whose names
// match its last component; bare names, sorted. A directory part that names
// no directory as written is looked up regardless of letter case.
void find_files(const std::string& pattern, std::vector<std::string>& names) {
    names.clear();
    if (pattern.find('\0') != std::string::npos) {
        return;
    }
    const std::size_t cut = pattern.find_last_of("\\/");
    const std::size_t name_start = cut == std::string::npos ? 0 : cut + 1;
    if (name_start == pattern.size()) {
        return; // no name part: nothing can match
    }
    std::string& dir_prefix = g_posix.name2; // OS form, "" or ending with "/"
    dir_prefix.clear();
    if (name_start > 0) {
        const std::string resolved = resolve_name_case(pattern.substr(0, name_start));
        dir_prefix.assign(resolved);
        std::replace(dir_prefix.begin(), dir_prefix.end(), '\\', '/');
    }
    DIR* d = ::opendir(dir_prefix.empty() ? "." : dir_prefix.c_str());
    if (d == nullptr) {
        return;
    }
    const char* name_pattern = pattern.c_str() + name_start;
    while (const struct dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.' || !wildcard_match(name_pattern, e->d_name)) {
            continue;
        }
        if (entry_is_regular(dir_prefix, e)) {
            names.emplace_back(e->d_name);
        }
    }
    (void)::closedir(d);
    std::sort(names.begin(), names.end(), name_sorts_before);
}

} // namespace trevox
