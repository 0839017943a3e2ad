// Whether two files hold the same bytes, on POSIX: identity and size first.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox {
namespace {

// Names in OS form, reused across calls.
struct CompareNames {
    std::string path_a;
    std::string path_b;
};
CompareNames g_compare;

// Opens a regular file for reading and fills `st`. -1 when that fails.
int open_regular(const char* path, struct stat& st) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

// Same size first, then the bytes; false when either file cannot be read.
bool files_identical(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    const char* os_a = os_name(a, g_compare.path_a);
    const char* os_b = os_name(b, g_compare.path_b);
    if (os_a == nullptr || os_b == nullptr) {
        return false;
    }
    struct stat st_a {};
    struct stat st_b {};
    // Files of different sizes differ: no need to open them.
    if (::stat(os_a, &st_a) == 0 && ::stat(os_b, &st_b) == 0 && S_ISREG(st_a.st_mode) &&
        S_ISREG(st_b.st_mode) && st_a.st_size != st_b.st_size &&
        (st_a.st_dev != st_b.st_dev || st_a.st_ino != st_b.st_ino)) {
        return false;
    }
    const int fd_a = open_regular(os_a, st_a);
    if (fd_a < 0) {
        return false;
    }
    const int fd_b = open_regular(os_b, st_b);
    if (fd_b < 0) {
        ::close(fd_a);
        return false;
    }
    bool same = false;
    if (st_a.st_dev == st_b.st_dev && st_a.st_ino == st_b.st_ino) {
        same = true;
    } else if (st_a.st_size == st_b.st_size) {
        same = same_contents(fd_a, fd_b);
    }
    ::close(fd_b);
    ::close(fd_a);
    return same;
}

} // namespace trevox
