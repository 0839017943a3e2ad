// Whether two files hold the same bytes, on Windows: identity and size first.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <io.h>

namespace trevox {
namespace {

// Size and identity of an open file. False when the system cannot tell.
bool info_of(int fd, BY_HANDLE_FILE_INFORMATION& info) {
    const intptr_t h = _get_osfhandle(fd);
    return h != -1 && GetFileInformationByHandle(reinterpret_cast<HANDLE>(h), &info) != 0;
}

} // namespace

// Same size first, then the bytes; false when either file cannot be read.
bool files_identical(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) {
        return false;
    }
    const int fd_a = os_open_read(a);
    if (fd_a < 0) {
        return false;
    }
    const int fd_b = os_open_read(b);
    if (fd_b < 0) {
        (void)os_close(fd_a);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    bool same = false;
    if (info_of(fd_a, ia) && info_of(fd_b, ib)) {
        if (ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
            ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow) {
            same = true;
        } else if (ia.nFileSizeHigh == ib.nFileSizeHigh && ia.nFileSizeLow == ib.nFileSizeLow) {
            same = same_contents(fd_a, fd_b);
        }
    }
    (void)os_close(fd_b);
    (void)os_close(fd_a);
    return same;
}

} // namespace trevox
