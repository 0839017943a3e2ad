// Raw output files on POSIX: an unbuffered descriptor, writes retried until
// every byte is stored.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox {

// Creates or empties `name` (a read-only file is refused); the permission bits
// are set after the open so that the umask does not reduce them and an
// existing file gets them too.
bool raw_open_write(RawWriter& w, const std::string& name, int mode_bits) {
    if (name.empty() || mode_bits < 0 || w.fd >= 0 || write_forbidden_by_mode(name.c_str())) {
        return false;
    }
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                          static_cast<mode_t>(mode_bits));
    if (fd < 0) {
        return false;
    }
    if (::fchmod(fd, static_cast<mode_t>(mode_bits)) != 0) {
        ::close(fd);
        return false;
    }
    w.fd = fd;
    w.failed = false;
    return true;
}

} // namespace trevox
