// Wildcard directory search on POSIX, with the matching rule of Windows.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace trevox {

namespace {

constexpr std::size_t kNoStar = static_cast<std::size_t>(-1);

bool is_continuation_byte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// Moves `i` past the rest of a UTF-8 sequence, so that positions in the name
// are always at the start of a character.
std::size_t skip_continuation(const char* name, std::size_t i) {
    while (name[i] != '\0' && is_continuation_byte(name[i])) {
        ++i;
    }
    return i;
}

// `name` against the first `plen` characters of `pattern`: "*" any run,
// "?" one character, letters regardless of ASCII case. The usual greedy walk
// that goes back only to the last "*", so the time stays near linear.
bool match_prefix(const char* pattern, std::size_t plen, const char* name) {
    std::size_t pi = 0;
    std::size_t ni = 0;
    std::size_t star = kNoStar; // position of the last "*" seen
    std::size_t mark = 0;       // where the name stood when it was seen
    while (name[ni] != '\0') {
        if (pi < plen && pattern[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (pi < plen && pattern[pi] == '?') {
            ++pi;
            ni = skip_continuation(name, ni + 1);
        } else if (pi < plen && ascii_lower(static_cast<unsigned char>(pattern[pi])) ==
                                    ascii_lower(static_cast<unsigned char>(name[ni]))) {
            ++pi;
            ++ni;
        } else if (star != kNoStar) {
            pi = star + 1;
            mark = skip_continuation(name, mark + 1);
            ni = mark;
        } else {
            return false;
        }
    }
    while (pi < plen && pattern[pi] == '*') {
        ++pi;
    }
    return pi == plen;
}

// Case-insensitive order, ties in byte order.
bool name_before(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = ascii_lower(static_cast<unsigned char>(a[i]));
        const unsigned char cb = ascii_lower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

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

// The wildcard rule. A pattern that ends in ".*" also matches the names its
// part before ".*" matches (so "*.*" matches every name and "Form1.*" matches
// "Form1"), as on Windows. "?" takes one character (a whole UTF-8 sequence).
bool wildcard_match(const char* pattern, const char* name) {
    if (pattern == nullptr || name == nullptr) {
        return false;
    }
    const std::size_t plen = std::strlen(pattern);
    if (match_prefix(pattern, plen, name)) {
        return true;
    }
    return plen >= 2 && pattern[plen - 2] == '.' && pattern[plen - 1] == '*' &&
           match_prefix(pattern, plen - 2, name);
}

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
    std::sort(names.begin(), names.end(), name_before);
}

} // namespace trevox
