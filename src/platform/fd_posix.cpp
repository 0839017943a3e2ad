// Descriptor-level calls on POSIX: the built-in read and write, opening and
// closing the descriptors the text and binary files use.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox {

namespace {

constexpr int kDefaultFileMode = 0666;

} // namespace

PosixScratch g_posix;

long os_read(int fd, void* buf, std::size_t n) {
    for (;;) {
        const ssize_t got = ::read(fd, buf, n);
        if (got >= 0 || errno != EINTR) {
            return static_cast<long>(got);
        }
    }
}

long os_write(int fd, const void* buf, std::size_t n) {
    for (;;) {
        const ssize_t put = ::write(fd, buf, n);
        if (put >= 0 || errno != EINTR) {
            return static_cast<long>(put);
        }
    }
}

// Treats an interrupted close as done (the descriptor is gone on Linux either
// way).
bool os_close(int fd) {
    const int rc = ::close(fd);
    return rc == 0 || errno == EINTR;
}

// Opens without blocking (a FIFO would block), refuses every kind of entry
// but a regular file, then turns blocking reads back on.
int os_open_read(const std::string& name) {
    const char* os = os_name(name, g_posix.name1);
    if (os == nullptr) {
        return -1;
    }
    const int fd = ::open(os, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        (void)os_close(fd);
        return -1;
    }
    // O_NONBLOCK stays: it has no effect on the reads of a regular file.
    return fd;
}

int os_open_write(const std::string& name, int mode_bits) {
    const char* os = os_name(name, g_posix.name1);
    if (os == nullptr || mode_bits > kModeBitsMask) {
        return -1;
    }
    // Links, read-only files and what is not a file are dealt with there.
    return open_for_writing(os,
                            static_cast<unsigned>(mode_bits >= 0 ? mode_bits : kDefaultFileMode));
}

// POSIX streams carry bytes as they are.
void standard_streams_binary() {}

// "\" becomes "/"; names that cannot name a file give nullptr.
const char* os_name(const std::string& name, std::string& buf) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        return nullptr;
    }
    if (name.find('\\') == std::string::npos) {
        return name.c_str();
    }
    buf.assign(name);
    std::replace(buf.begin(), buf.end(), '\\', '/');
    return buf.c_str();
}

} // namespace trevox
