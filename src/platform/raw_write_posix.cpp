// Raw output files on POSIX: an unbuffered descriptor, writes retried until
// every byte is stored.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <sys/stat.h>
#include <unistd.h>

namespace trevox {

// Creates or empties `name` as os_open_write does; the permission bits are
// set after the open so that the umask does not reduce them and an existing
// file gets them too.
bool raw_open_write(RawWriter& w, const std::string& name, int mode_bits) {
    if (mode_bits < 0 || w.fd >= 0) {
        return false;
    }
    const int fd = os_open_write(name, mode_bits);
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
