// Helpers shared by the files of the platform layer on every system. Not part
// of the interface: only files in src/platform include this.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trevox {

// The permission bits a caller may give a new file, and those that grant
// write to anyone.
constexpr int kModeBitsMask = 07777;
constexpr int kAnyWriteBits = 0222;

// Size of the blocks text files and binary copies move at a time.
constexpr std::size_t kIoBlockSize = std::size_t{128} * 1024;

// ---------------------------------------------------------------------------
// Descriptor-level calls, one implementation per system. Descriptors are the
// ones g_io reads and writes; names are written the way users write them.

// The built-in read and write: bytes moved, or -1 (interrupted calls retried).
long os_read(int fd, void* buf, std::size_t n);
long os_write(int fd, const void* buf, std::size_t n);

// Opens an existing regular file for reading, in binary. -1 when it cannot be
// opened or is not a regular file (a directory, a device, a pipe).
int os_open_read(const std::string& name);

// Creates or empties `name` for writing, in binary. `mode_bits`, when not
// negative, are the permission bits a new file gets. -1 on failure.
int os_open_write(const std::string& name, int mode_bits);

// Closes `fd`. False when the system reports that something was not stored.
bool os_close(int fd);

// ---------------------------------------------------------------------------
// Shared by every system (text_file.cpp, wildcard.cpp).

// True when `fn` is the built-in wrapper, i.e. no test has swapped the hooks.
bool io_read_is_default();
bool io_write_is_default();

// Writes all `n` bytes through g_io.write. False on any failure or a write
// that moves nothing.
bool io_write_all(int fd, const char* data, std::size_t n);

// ASCII-only case folding (names are compared the way Windows compares them
// for plain letters; other bytes compare as they are).
inline unsigned char ascii_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// True when the rest of two open files, read through g_io, holds the same
// bytes (the callers have checked that the sizes agree). False on a read error.
bool same_contents(int fd_a, int fd_b);

// Copies the rest of `in` (from its current offset) to `out` through g_io.
// False on a read or write error.
bool copy_by_blocks(int in, int out);

// The order of directory search results: case-insensitive, ties in byte order.
bool name_sorts_before(std::string_view a, std::string_view b);

} // namespace trevox
