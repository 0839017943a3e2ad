// Block-by-block work on open files through g_io, the same on every system:
// the comparison behind files_identical(), the plain copy loop, and standard
// input and output as bytes.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cstring>
#include <string>
#include <vector>

namespace trevox {
namespace {

constexpr std::size_t kCompareBlockSize = std::size_t{256} * 1024;

// Buffers, allocated on first use and reused afterwards.
struct BlockState {
    std::vector<char> block_a; // the comparison's two blocks
    std::vector<char> block_b;
    std::vector<char> copy_block; // the copy loop's block
};
BlockState g_blocks;

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

// Reads the rest of `fd` in blocks of the copy block's size, each handed to
// `use` as it comes. False when a read fails or `use` says so.
template <class Use> bool read_by_blocks(int fd, Use use) {
    if (g_blocks.copy_block.size() < kIoBlockSize) {
        g_blocks.copy_block.resize(kIoBlockSize);
    }
    char* buf = g_blocks.copy_block.data();
    for (;;) {
        const long got = g_io.read(fd, buf, g_blocks.copy_block.size());
        if (got <= 0) {
            return got == 0;
        }
        if (!use(buf, static_cast<std::size_t>(got))) {
            return false;
        }
    }
}

} // namespace

// Standard input is read in blocks until the end; a pipe gives what it has.
bool read_standard_input(std::string& out) {
    constexpr int kStandardInput = 0;
    out.clear();
    return read_by_blocks(kStandardInput, [&out](const char* data, std::size_t n) {
        out.append(data, n);
        return true;
    });
}

bool write_standard_output(const char* data, std::size_t n) {
    constexpr int kStandardOutput = 1;
    return n == 0 || io_write_all(kStandardOutput, data, n);
}

// Compares the rest of two open files of equal size.
bool same_contents(int fd_a, int fd_b) {
    g_blocks.block_a.resize(kCompareBlockSize);
    g_blocks.block_b.resize(kCompareBlockSize);
    for (;;) {
        const long got_a = read_full(fd_a, g_blocks.block_a.data(), kCompareBlockSize);
        const long got_b = read_full(fd_b, g_blocks.block_b.data(), kCompareBlockSize);
        if (got_a < 0 || got_b < 0 || got_a != got_b) {
            return false;
        }
        if (got_a == 0) {
            return true;
        }
        if (std::memcmp(g_blocks.block_a.data(), g_blocks.block_b.data(),
                        static_cast<std::size_t>(got_a)) != 0) {
            return false;
        }
    }
}

// Copies the rest of `in` (from its current offset) to `out`.
bool copy_by_blocks(int in, int out) {
    return read_by_blocks(
        in, [out](const char* data, std::size_t n) { return io_write_all(out, data, n); });
}

} // namespace trevox
