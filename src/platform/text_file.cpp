// Text-mode files: our own translation (platform/text_mode.h), the same on
// every platform, over blocks moved through g_io.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace trevox {

namespace {

constexpr char kLf = '\n';

static_assert(kIoBlockSize == kTextBlockBytes);

// Reads the next block into the reader's splitter. False at the end of the
// file or on a read error (which also sets `failed`).
bool fill_block(TextReader& r) {
    if (r.at_eof || r.failed) {
        return false;
    }
    if (r.block.size() < kIoBlockSize) {
        r.block.resize(kIoBlockSize);
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
    r.lines.put(r.block.data(), static_cast<std::size_t>(got));
    return true;
}

// Makes the next whole line the reader's line. False at the end of the text.
bool next_whole_line(TextReader& r) {
    while (!r.lines.take(r.line)) {
        if (!fill_block(r)) {
            return r.lines.take_last(r.line);
        }
    }
    return true;
}

// The store of a writer's block: straight to its file through g_io.
bool store_to_fd(void* context, const char* data, std::size_t n) {
    return io_write_all(*static_cast<const int*>(context), data, n);
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
    r.at_eof = false;
    r.failed = false;
    return true;
}

// Hands out the text line by line, each line in pieces of at most
// `max_chars` characters: a line's characters and its "\n" as one character.
bool text_read_line(TextReader& r, std::string& line, std::size_t max_chars) {
    line.clear();
    if (r.fd < 0 || max_chars == 0) {
        return false;
    }
    if (!r.has_line) {
        if (!next_whole_line(r)) {
            return false;
        }
        r.has_line = true;
        r.line_used = 0;
    }
    const std::string_view text = r.line.text;
    const std::size_t whole = text.size() + (r.line.newline ? 1 : 0);
    const std::size_t n = std::min(max_chars, whole - r.line_used);
    const std::size_t chars = std::min(n, text.size() - std::min(text.size(), r.line_used));
    line.append(text.data() + r.line_used, chars);
    if (chars < n) {
        line.push_back(kLf);
    }
    r.line_used += n;
    if (r.line_used == whole) {
        r.has_line = false;
    }
    return true;
}

// Closes the reader; its block stays allocated for the next file.
void text_close(TextReader& r) {
    if (r.fd >= 0) {
        os_close(r.fd);
    }
    r.fd = -1;
    r.lines.reset();
    r.has_line = false;
    r.line_used = 0;
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
    text_block_reset(w);
    w.fd = fd;
    return true;
}

// Appends text, "\n" going out as CR LF: line by line into the block.
bool text_write(TextWriter& w, const char* data, std::size_t n) {
    if (w.fd < 0 || w.failed) {
        return false;
    }
    if (data == nullptr) {
        return n == 0;
    }
    std::string_view text(data, n);
    while (!text.empty()) {
        const std::size_t lf = text.find(kLf);
        const bool newline = lf != std::string_view::npos;
        const std::size_t chars = newline ? lf : text.size();
        if (!text_block_put(w, text.substr(0, chars), newline, store_to_fd, &w.fd)) {
            return false;
        }
        text.remove_prefix(newline ? chars + 1 : chars);
    }
    return true;
}

// Pushes the buffered text to the file.
bool text_flush(TextWriter& w) {
    if (w.fd < 0) {
        return false;
    }
    return text_block_flush(w, store_to_fd, &w.fd);
}

// Flushes and closes; false when anything written was not stored (including
// an error reported by close). A writer that is not open gives false.
bool text_close(TextWriter& w) {
    if (w.fd < 0) {
        return false;
    }
    const bool flushed = text_block_flush(w, store_to_fd, &w.fd);
    const bool closed = os_close(w.fd);
    w.fd = -1;
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

// Opens like text_open_write, with no block: the caller writes whole blocks.
bool raw_create(RawWriter& w, const std::string& name) {
    if (w.fd >= 0 || name.empty() || name.find('\0') != std::string::npos) {
        return false;
    }
    const int fd = os_open_write(name, -1);
    if (fd < 0) {
        return false;
    }
    w.fd = fd;
    w.failed = false;
    return true;
}

bool raw_is_open(const RawWriter& w) {
    return w.fd >= 0;
}

// ---------------------------------------------------------------------------
// Byte files: read as stored

bool bytes_open_read(ByteReader& r, const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        return false;
    }
    if (r.fd >= 0) {
        bytes_close(r);
    }
    r.fd = os_open_read(name);
    return r.fd >= 0;
}

long bytes_read(ByteReader& r, char* buf, std::size_t n) {
    if (r.fd < 0) {
        return -1;
    }
    return g_io.read(r.fd, buf, n);
}

void bytes_close(ByteReader& r) {
    if (r.fd >= 0) {
        os_close(r.fd);
    }
    r.fd = -1;
}

bool bytes_is_open(const ByteReader& r) {
    return r.fd >= 0;
}

} // namespace trevox
