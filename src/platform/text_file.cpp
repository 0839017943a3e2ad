// Text-mode files: our own translation, the same on every platform.
//
// Reading turns CR LF into "\n"; a lone CR, a NUL and a Ctrl-Z that is
// followed by any other byte are ordinary characters; a run of Ctrl-Z at the
// very end of the file is dropped. Writing turns "\n" into CR LF. Both sides
// move data in large blocks through g_io.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace trevox {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char kCtrlZ = '\x1a';
constexpr int kModeBitsMask = 07777;

// Bytes the reader's block holds beyond the kIoBlockSize that reads fill, so
// that first_special() may load a whole vector at any position before the end
// of the data. What lies past the data is never used.
constexpr std::size_t kVectorBytes = 16;
constexpr std::size_t kScanSlack = kVectorBytes;

// Reads the next block into the reader. False at the end of the file or on a
// read error (which also sets `failed`).
bool fill_block(TextReader& r) {
    if (r.at_eof || r.failed) {
        return false;
    }
    if (r.block.size() < kIoBlockSize + kScanSlack) {
        r.block.resize(kIoBlockSize + kScanSlack);
    }
    const long got = g_io.read(r.fd, r.block.data(), kIoBlockSize);
    if (got < 0) {
        r.failed = true;
        return false;
    }
    if (got == 0) {
        r.at_eof = true;
        return false;
    }
    assert(static_cast<std::size_t>(got) <= kIoBlockSize);
    r.pos = 0;
    r.end = static_cast<std::size_t>(got);
    return true;
}

// Length of the run of Ctrl-Z characters at the reader's position.
std::size_t ctrlz_run(const TextReader& r) {
    std::size_t i = r.pos;
    while (i < r.end && r.block[i] == kCtrlZ) {
        ++i;
    }
    return i - r.pos;
}

#if defined(__SSE2__) || defined(_M_X64)
// Index (relative to `p`) of the first LF, CR or Ctrl-Z in [p, p+n); `n` when
// there is none. Sixteen bytes at a time; may read (never use) up to 15 bytes
// past p+n, which must lie within the same buffer.
std::size_t first_special(const char* p, std::size_t n) {
    const __m128i lf = _mm_set1_epi8(kLf);
    const __m128i cr = _mm_set1_epi8(kCr);
    const __m128i ctrlz = _mm_set1_epi8(kCtrlZ);
    for (std::size_t i = 0; i < n; i += kVectorBytes) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                         _mm_cmpeq_epi8(v, ctrlz));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) {
            return std::min(n, i + static_cast<std::size_t>(std::countr_zero(mask)));
        }
    }
    return n;
}
#else
// True for the three characters that end a plain run of text.
bool is_special(char c) {
    return c == kLf || c == kCr || c == kCtrlZ;
}

// Index (relative to `p`) of the first LF, CR or Ctrl-Z in [p, p+n); `n` when
// there is none.
std::size_t first_special(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (is_special(p[i])) {
            return i;
        }
    }
    return n;
}
#endif

// Pushes the writer's block to the file. Marks the writer failed on any error.
bool flush_block(TextWriter& w) {
    if (w.failed) {
        w.used = 0;
        return false;
    }
    if (w.used > 0 && !io_write_all(w.fd, w.block.data(), w.used)) {
        w.failed = true;
    }
    w.used = 0;
    return !w.failed;
}

} // namespace

IoHooks g_io = {&os_read, &os_write};

// Puts the built-in read and write wrappers back.
void io_hooks_reset() {
    g_io.read = &os_read;
    g_io.write = &os_write;
}

bool io_read_is_default() {
    return g_io.read == &os_read;
}

bool io_write_is_default() {
    return g_io.write == &os_write;
}

// Writes the whole range through g_io.write; false on an error or a write
// that stores nothing (a full disk reported as a short write).
bool io_write_all(int fd, const char* data, std::size_t n) {
    assert(data != nullptr || n == 0);
    while (n > 0) {
        const long put = g_io.write(fd, data, n);
        if (put <= 0) {
            return false;
        }
        assert(static_cast<std::size_t>(put) <= n);
        data += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Reading

// Opens a regular file for reading; an open reader is closed first. Refuses
// directories and every other kind of entry (a FIFO would block).
bool text_open_read(TextReader& r, const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        return false;
    }
    if (r.fd >= 0) {
        text_close(r);
    }
    const int fd = os_open_read(name);
    if (fd < 0) {
        return false;
    }
    r.fd = fd;
    r.pos = 0;
    r.end = 0;
    r.at_eof = false;
    r.failed = false;
    r.pending_cr = false;
    r.pending_ctrlz = 0;
    return true;
}

// Reads one line (or a piece of at most `max_chars` characters) into `line`.
bool text_read_line(TextReader& r, std::string& line, std::size_t max_chars) {
    if (r.fd < 0 || max_chars == 0) {
        line.clear();
        return false;
    }
    if (r.pos < r.end && !r.pending_cr && r.pending_ctrlz == 0) {
        // The usual case: a line ending in CR LF, whole within the block,
        // with no other CR and no Ctrl-Z. One copy, whose CR becomes the "\n".
        const char* p = r.block.data() + r.pos;
        const std::size_t avail = std::min(r.end - r.pos, max_chars);
        const std::size_t plain = first_special(p, avail);
        if (plain + 1 < avail && p[plain] == kCr && p[plain + 1] == kLf) {
            line.clear();
            line.append(p, plain + 1);
            line.back() = kLf;
            r.pos += plain + 2;
            return true;
        }
    }
    line.clear();
    for (;;) {
        if (line.size() >= max_chars) {
            return true;
        }
        if (r.pos == r.end && !fill_block(r)) {
            // End of the file (or a read error, treated as the end).
            if (r.pending_cr) {
                r.pending_cr = false;
                line.push_back(kCr);
                continue;
            }
            r.pending_ctrlz = 0; // the run ends the file: dropped
            return !line.empty();
        }
        assert(r.pos < r.end);
        if (r.pending_cr) {
            // A CR ended the previous block: the first byte here decides.
            r.pending_cr = false;
            if (r.block[r.pos] == kLf) {
                ++r.pos;
                line.push_back(kLf);
                return true;
            }
            line.push_back(kCr);
            continue;
        }
        if (r.pending_ctrlz > 0) {
            const std::size_t more = ctrlz_run(r);
            if (more > 0) {
                r.pending_ctrlz += more; // the run goes on
                r.pos += more;
                continue;
            }
            // Another byte follows: the run is text.
            const std::size_t n = std::min(r.pending_ctrlz, max_chars - line.size());
            line.append(n, kCtrlZ);
            r.pending_ctrlz -= n;
            continue;
        }
        const std::size_t room = max_chars - line.size();
        const std::size_t avail = std::min(r.end - r.pos, room);
        const char* p = r.block.data() + r.pos;
        const std::size_t plain = first_special(p, avail);
        line.append(p, plain);
        r.pos += plain;
        if (plain == avail) {
            continue; // the block or the room is used up
        }
        const char c = r.block[r.pos];
        if (c == kLf) {
            ++r.pos;
            line.push_back(kLf);
            return true;
        }
        if (c == kCr) {
            ++r.pos;
            if (r.pos == r.end) {
                r.pending_cr = true;
            } else if (r.block[r.pos] == kLf) {
                ++r.pos;
                line.push_back(kLf);
                return true;
            } else {
                line.push_back(kCr);
            }
            continue;
        }
        assert(c == kCtrlZ);
        // Held back until we know whether anything but Ctrl-Z follows.
        const std::size_t run = ctrlz_run(r);
        r.pending_ctrlz = run;
        r.pos += run;
    }
}

// Closes the reader; its block stays allocated for the next file.
void text_close(TextReader& r) {
    if (r.fd >= 0) {
        os_close(r.fd);
    }
    r.fd = -1;
    r.pos = 0;
    r.end = 0;
    r.pending_cr = false;
    r.pending_ctrlz = 0;
}

bool text_is_open(const TextReader& r) {
    return r.fd >= 0;
}

// ---------------------------------------------------------------------------
// Writing

// Creates or empties `name` for writing; an open writer is closed first. A
// read-only file is refused.
bool text_open_write(TextWriter& w, const std::string& name, int mode_bits) {
    if (name.empty() || name.find('\0') != std::string::npos || mode_bits > kModeBitsMask) {
        return false;
    }
    // An open writer gives up its text first, and is closed only once the new
    // file is open: a refused name leaves the open writer as it is.
    if (w.fd >= 0) {
        (void)text_flush(w);
    }
    const int fd = os_open_write(name, mode_bits);
    if (fd < 0) {
        return false;
    }
    if (w.fd >= 0) {
        (void)text_close(w);
    }
    if (w.block.size() < kIoBlockSize) {
        w.block.resize(kIoBlockSize);
    }
    w.fd = fd;
    w.used = 0;
    w.failed = false;
    return true;
}

// Appends text, "\n" going out as CR LF.
bool text_write(TextWriter& w, const char* data, std::size_t n) {
    if (w.fd < 0 || w.failed) {
        return false;
    }
    if (data == nullptr) {
        return n == 0;
    }
    assert(w.block.size() >= kIoBlockSize);
    const std::size_t cap = w.block.size();
    if (n > 0 && n < cap - w.used && data[n - 1] == kLf &&
        std::memchr(data, kLf, n - 1) == nullptr) {
        // The usual case: one line, room for it and its CR in the block.
        char* out = w.block.data() + w.used;
        std::memcpy(out, data, n - 1);
        out[n - 1] = kCr;
        out[n] = kLf;
        w.used += n + 1;
        return true;
    }
    while (n > 0) {
        if (cap - w.used < 2 && !flush_block(w)) {
            return false;
        }
        // Copy up to the next "\n", as far as the block has room.
        const std::size_t room = cap - w.used - 1; // keep one byte for the LF of a CR LF
        const std::size_t span = std::min(n, room);
        const void* nl = std::memchr(data, kLf, span);
        const std::size_t plain =
            nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - data) : span;
        std::memcpy(w.block.data() + w.used, data, plain);
        w.used += plain;
        data += plain;
        n -= plain;
        if (nl != nullptr) {
            w.block[w.used++] = kCr;
            w.block[w.used++] = kLf;
            ++data;
            --n;
        }
    }
    return true;
}

// Pushes the buffered text to the file.
bool text_flush(TextWriter& w) {
    if (w.fd < 0) {
        return false;
    }
    return flush_block(w);
}

// Flushes and closes; false when anything written was not stored (including
// an error reported by close). A writer that is not open gives false.
bool text_close(TextWriter& w) {
    if (w.fd < 0) {
        return false;
    }
    const bool flushed = flush_block(w);
    const bool closed = os_close(w.fd);
    w.fd = -1;
    w.used = 0;
    return flushed && closed;
}

bool text_is_open(const TextWriter& w) {
    return w.fd >= 0;
}

// ---------------------------------------------------------------------------
// Raw files: unbuffered, written as they are (no line-end translation)

// Writes all `n` bytes through g_io (short writes are retried).
bool raw_write(RawWriter& w, const char* data, std::size_t n) {
    if (w.fd < 0 || w.failed) {
        w.failed = true;
        return false;
    }
    if (!io_write_all(w.fd, data, n)) {
        w.failed = true;
        return false;
    }
    return true;
}

// Closes the descriptor; reports whether everything written was stored.
bool raw_close(RawWriter& w) {
    if (w.fd < 0) {
        return false;
    }
    const bool closed = os_close(w.fd);
    const bool ok = closed && !w.failed;
    w.fd = -1;
    w.failed = false;
    return ok;
}

bool raw_is_open(const RawWriter& w) {
    return w.fd >= 0;
}

} // namespace trevox
