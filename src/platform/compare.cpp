// Byte-for-byte comparison of two open files, block by block: the part of
// files_identical() that is the same on every system.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cstring>
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

} // namespace

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

} // namespace trevox
