// Names matched regardless of letter case on POSIX, the way Windows matches
// them, with a cache of folder listings: each folder is read once per run and
// read again only when a lookup misses and the folder may have changed since,
// so that a project of many members costs time in proportion to its size.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>

namespace trevox {

NameCaseState g_name_case;

namespace {

// A listing whose folder was changed this close to the moment it was read
// may miss an entry made in the same tick of the file system's clock (FAT
// keeps times in steps of two seconds).
constexpr std::time_t kClockStepSeconds = 2;

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// "", "." and "..": components that are kept as written.
bool passes_as_written(const char* comp, std::size_t len) {
    return len == 0 || (len == 1 && comp[0] == '.') ||
           (len == 2 && comp[0] == '.' && comp[1] == '.');
}

bool same_time(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Compares `a` (NUL-terminated) with the `len` characters at `b`, letter case
// ignored: negative, 0 or positive.
int compare_folded(const char* a, const char* b, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i) {
        const unsigned char ca = ascii_lower(static_cast<unsigned char>(a[i]));
        const unsigned char cb = ascii_lower(static_cast<unsigned char>(b[i]));
        if (ca != cb || ca == '\0') {
            return ca < cb ? -1 : (ca > cb ? 1 : 0);
        }
    }
    return a[len] == '\0' ? 0 : 1;
}

// Reads the folder `dir_os` (OS form, "." for the current one) into
// `listing`. False when the folder cannot be read (the listing is then empty).
bool read_listing(const char* dir_os, FolderListing& listing) {
    listing.names.clear();
    listing.sorted.clear();
    listing.read = false;
    struct timespec now {};
    (void)::clock_gettime(CLOCK_REALTIME, &now);
    DIR* d = ::opendir(dir_os);
    if (d == nullptr) {
        return false;
    }
    struct stat st {};
    if (::fstat(::dirfd(d), &st) != 0) {
        (void)::closedir(d);
        return false;
    }
    listing.modified = st.st_mtim;
    listing.settled = st.st_mtim.tv_sec + kClockStepSeconds < now.tv_sec;
    while (const struct dirent* e = ::readdir(d)) {
        const std::size_t n = std::strlen(e->d_name);
        if (passes_as_written(e->d_name, n)) {
            continue;
        }
        listing.sorted.push_back(listing.names.size());
        listing.names.append(e->d_name, n + 1); // with its NUL
    }
    (void)::closedir(d);
    const char* base = listing.names.data();
    std::sort(listing.sorted.begin(), listing.sorted.end(), [base](std::size_t x, std::size_t y) {
        return name_sorts_before(base + x, base + y);
    });
    listing.read = true;
    ++g_name_case.listings_read;
    return true;
}

// The first name of `listing` in byte order that equals the `len` characters
// at `comp` regardless of case, or nullptr.
const char* find_in_listing(const FolderListing& listing, const char* comp, std::size_t len) {
    const char* base = listing.names.data();
    const auto it = std::lower_bound(listing.sorted.begin(), listing.sorted.end(), comp,
                                     [base, len](std::size_t at, const char* c) {
                                         return compare_folded(base + at, c, len) < 0;
                                     });
    if (it == listing.sorted.end() || compare_folded(base + *it, comp, len) != 0) {
        return nullptr;
    }
    return base + *it;
}

// Appends to `out` the name of the entry of the folder `dir_os` (OS form, ""
// or ending with "/") that `comp` means: `comp` itself when it exists as
// written, else the first name in byte order equal to it regardless of case.
// `reread` reads the folder afresh whatever its listing holds. False when
// there is none.
bool find_entry(const std::string& dir_os, const char* comp, std::size_t len, bool reread,
                std::string& out) {
    NameCaseState& nc = g_name_case;
    nc.probe.assign(dir_os);
    nc.probe.append(comp, len);
    struct stat st {};
    if (::lstat(nc.probe.c_str(), &st) == 0) {
        out.append(comp, len);
        return true;
    }
    const char* dir = dir_os.empty() ? "." : dir_os.c_str();
    if (::stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    FolderListing& listing = nc.folders[FileId{st.st_dev, st.st_ino, 0}];
    const bool read_now = reread || !listing.read;
    if (read_now && !read_listing(dir, listing)) {
        return false;
    }
    const char* found = find_in_listing(listing, comp, len);
    if (found == nullptr) {
        // A miss: an entry made since the folder was read is found by
        // reading it again, unless it has not changed since.
        const bool unchanged = listing.settled && same_time(listing.modified, st.st_mtim);
        if (read_now || unchanged || !read_listing(dir, listing)) {
            return false;
        }
        found = find_in_listing(listing, comp, len);
        if (found == nullptr) {
            return false;
        }
    }
    out += found;
    return true;
}

// Matches each component of `name` in turn; the separators are kept as
// written. False when a component has no match.
bool resolve_components(const std::string& name, bool reread, std::string& result) {
    result.clear();
    std::string& dir_os = g_name_case.dir_os; // the resolved part in OS form
    dir_os.clear();
    std::size_t i = 0;
    for (;;) {
        std::size_t j = i;
        while (j < name.size() && !is_separator(name[j])) {
            ++j;
        }
        const char* comp = name.data() + i;
        const std::size_t len = j - i;
        const std::size_t before = result.size();
        if (passes_as_written(comp, len)) {
            result.append(comp, len);
        } else if (!find_entry(dir_os, comp, len, reread, result)) {
            return false;
        }
        dir_os.append(result, before, std::string::npos);
        if (j == name.size()) {
            return true;
        }
        result.push_back(name[j]);
        dir_os.push_back('/');
        i = j + 1;
    }
}

} // namespace

// The folder listings are forgotten (tests).
void name_case_reset() {
    g_name_case = NameCaseState{};
}

// The name as written when it exists; else each component matched regardless
// of case, from the folder listings; else `name`. A name found in a listing
// that no longer exists (renamed or removed since) is looked up once more in
// folders read afresh.
std::string resolve_name_case(const std::string& name) {
    const char* os = os_name(name, g_name_case.whole);
    struct stat st {};
    if (os == nullptr || ::lstat(os, &st) == 0) {
        return name;
    }
    std::string result;
    result.reserve(name.size());
    if (!resolve_components(name, false, result)) {
        return name;
    }
    assert(!result.empty());
    if (::lstat(os_name(result, g_name_case.whole), &st) == 0) {
        return result;
    }
    if (!resolve_components(name, true, result)) {
        return name;
    }
    return result;
}

} // namespace trevox
