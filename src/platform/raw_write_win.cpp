// Raw output files on Windows: an unbuffered binary descriptor, writes
// retried until every byte is stored.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <io.h>

namespace trevox {

// Creates or empties `name` as os_open_write does. The permission bits come
// down to the read-only attribute (set when they grant write to nobody, else
// cleared), given after the open so that an existing file gets it too.
bool raw_open_write(RawWriter& w, const std::string& name, int mode_bits) {
    if (name.empty() || mode_bits < 0 || mode_bits > kModeBitsMask || w.fd >= 0) {
        return false;
    }
    const int fd = os_open_write(name, -1);
    if (fd < 0) {
        return false;
    }
    // Through the open file: the name might lead elsewhere by now.
    FILE_BASIC_INFO basic{}; // zero times: left as they are
    basic.FileAttributes =
        (mode_bits & kAnyWriteBits) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE ||
        !SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic)) {
        (void)os_close(fd);
        return false;
    }
    w.fd = fd;
    w.failed = false;
    return true;
}

} // namespace trevox
