// Byte-for-byte comparison of two files on Windows, block by block.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <cstring>
#include <io.h>
#include <vector>

namespace trevox {
namespace {

constexpr std::size_t kCompareBlockSize = std::size_t{256} * 1024;

// Buffers of the comparison, allocated on first use and reused afterwards.
struct CompareState {
    std::vector<char> block_a;
    std::vector<char> block_b;
};
CompareState g_compare;

// Reads until `n` bytes are in `buf` or the file ends. Bytes read, or -1.
long read_full(int fd, char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const long r = g_io.read(fd, buf + got, n - got);
        if (r < 0) {
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
