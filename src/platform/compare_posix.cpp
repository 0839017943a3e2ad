// Byte-for-byte comparison of two files, block by block.
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace trevox {
namespace {

constexpr std::size_t kCompareBlockSize = std::size_t{256} * 1024;

// Buffers of the comparison, allocated on first use and reused afterwards.
struct CompareState {
    std::vector<char> block_a;
    std::vector<char> block_b;
    std::string path_a;
    std::string path_b;
};
CompareState g_compare;

// `name` with every "\" turned into "/", into `out`.
void native_path(const std::string& name, std::string& out) {
    out.assign(name);
    std::replace(out.begin(), out.end(), '\\', '/');
}

// Opens a regular file for reading and fills `st`. -1 when that fails.
int open_regular(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until `n` bytes are in `buf` or the file ends. Bytes read, or -1.
long read_full(int fd, char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const long r = g_io.read(fd, buf + got, n - got);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<std::size_t>(r);
    }
    return static_cast<long>(got);
}

// Compares the rest of two open files of equal size.
bool same_contents(int fd_a, int fd_b) {
    g_compare.block_a.resize(kCompareBlockSize);
    g_compare.block_b.resize(kCompareBlockSize);
    for (;;) {
        const long got_a = read_full(fd_a, g_compare.block_a.data(), kCompareBlockSize);
        const long got_b = read_full(fd_b, g_compare.block_b.data(), kCompareBlockSize);
        if (got_a < 0 || got_b < 0 || got_a != got_b) {
            return false;
        }
        if (got_a == 0) {
            return true;
        }
        if (std::memcmp(g_compare.block_a.data(), g_compare.block_b.data(),
                        static_cast<std::size_t>(got_a)) != 0) {
            return false;
        }
    }
}

} // namespace

// Same size first, then the bytes; false when either file cannot be read.
bool files_identical(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    native_path(a, g_compare.path_a);
    native_path(b, g_compare.path_b);
    struct stat st_a {};
    struct stat st_b {};
    // Files of different sizes differ: no need to open them.
    if (::stat(g_compare.path_a.c_str(), &st_a) == 0 &&
        ::stat(g_compare.path_b.c_str(), &st_b) == 0 && S_ISREG(st_a.st_mode) &&
        S_ISREG(st_b.st_mode) && st_a.st_size != st_b.st_size &&
        (st_a.st_dev != st_b.st_dev || st_a.st_ino != st_b.st_ino)) {
        return false;
    }
    const int fd_a = open_regular(g_compare.path_a, st_a);
    if (fd_a < 0) {
        return false;
    }
    const int fd_b = open_regular(g_compare.path_b, st_b);
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
