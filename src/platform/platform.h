// The platform layer: every call into the operating system goes through here.
//
// Nothing outside src/platform includes an OS header. Low-level calls return a
// status; the message texts that report a failure live with their callers.
// Names handed to these functions are written the way users and project files
// write them: "\" and "/" both separate directories.
#pragma once

#include "platform/text_mode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace trevox {

// ---------------------------------------------------------------------------
// Raw I/O entry points. Every read and write of a file descriptor goes through
// these, so that tests can swap them to inject failures (a full disk, a read
// error). Same contract as the POSIX calls: bytes moved, or -1.

struct IoHooks {
    long (*read)(int fd, void* buf, std::size_t n);
    long (*write)(int fd, const void* buf, std::size_t n);
};
extern IoHooks g_io;
void io_hooks_reset();

// ---------------------------------------------------------------------------
// Console

// Clears the console window (the controlling terminal) and homes the cursor.
// Redirected standard output is never touched. Without a terminal: nothing.
void console_clear();

// True when the process has a console to read keys from.
bool console_available();

// Waits for one key press on the console and returns its code, without echo
// and without waiting for Enter. Standard output and standard error are
// flushed first. Returns -1 when there is no console or the read fails.
int console_getch();

// True when a key press is waiting on the console (zero-timeout test).
bool console_kbhit();

// True when standard output is a terminal.
bool stdout_is_terminal();

// The current working directory, whole, into `out`. Empty on failure.
void current_directory(std::string& out);

// ---------------------------------------------------------------------------
// Clock and environment

struct CivilTime {
    int year = 0;  // full year, e.g. 2000
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
};

// The local date and time now.
void local_time_now(CivilTime& out);

// Seconds since 1970 turned into a UTC civil time. False when out of range.
bool utc_time_from_epoch(std::int64_t seconds, CivilTime& out);

// The value of an environment variable, or nullptr when it is not set.
const char* env_value(const char* name);

// ---------------------------------------------------------------------------
// Text-mode files (the same on every platform; the text mode itself is
// platform/text_mode.h)
//
// Reading: CR LF arrives as "\n"; a lone CR is an ordinary character; a run of
// Ctrl-Z characters at the very end of the file is dropped, any other Ctrl-Z
// (and any NUL) is an ordinary character. Writing: "\n" goes out as CR LF.
// Both sides work in large blocks; their buffers are allocated on first use
// and reused across files.

struct TextReader {
    int fd = -1;
    std::vector<char> block;
    LineSplitter lines;
    bool at_eof = false;       // the OS reported the end of the file
    bool failed = false;       // a read error occurred (treated as the end)
    bool has_line = false;     // `line` is being handed out in pieces
    TextLine line;             // the whole line being handed out
    std::size_t line_used = 0; // its characters handed out so far (the line end counts one)
};

// The block (with its `failed` flag) and the file it goes to.
struct TextWriter : TextBlock {
    int fd = -1;
};

// Opens `name` for reading. False when it cannot be opened (or is not a file).
bool text_open_read(TextReader& r, const std::string& name);

// Reads one line into `line` (emptied first): characters up to and including
// the next "\n", or at most `max_chars` characters. False when nothing could
// be read (end of file or read error).
bool text_read_line(TextReader& r, std::string& line, std::size_t max_chars = SIZE_MAX);

void text_close(TextReader& r);
bool text_is_open(const TextReader& r);

// Creates or empties `name` for writing (mode "w"). `mode_bits`, when not
// negative, are the permission bits a new file gets. Whatever writes a file
// (text_open_write, raw_open_write, copy_file_exact) writes only a file of its
// own under that name: a free name gets a new file; a plain file that no other
// name leads to is emptied; a symbolic link, or a file that has further names
// (hard links), is removed and a new file made in its place, so that the
// file the link leads to is never opened, let alone changed (a file with
// further names passes its permission bits on to the new one). Refused, left as
// they are: an existing file whose permission bits grant write to nobody,
// whoever runs the program; a directory, device, pipe or socket.
bool text_open_write(TextWriter& w, const std::string& name, int mode_bits = -1);

// Appends `n` characters. False when this write (or an earlier one) failed.
bool text_write(TextWriter& w, const char* data, std::size_t n);
inline bool text_write(TextWriter& w, const std::string& s) {
    return text_write(w, s.data(), s.size());
}

// Pushes buffered text to the file. False on failure.
bool text_flush(TextWriter& w);

// Flushes and closes. False when anything written was not stored.
bool text_close(TextWriter& w);
bool text_is_open(const TextWriter& w);

// ---------------------------------------------------------------------------
// Byte files: moved in blocks exactly as stored, through g_io (the engine
// applies the text mode itself).

struct ByteReader {
    int fd = -1;
};

// Opens `name` for reading, as text_open_read does (regular files only). An
// open reader is closed first.
bool bytes_open_read(ByteReader& r, const std::string& name);

// Reads up to `n` bytes into `buf`: the number read, 0 at the end of the
// file, -1 on a read error.
long bytes_read(ByteReader& r, char* buf, std::size_t n);

void bytes_close(ByteReader& r);
bool bytes_is_open(const ByteReader& r);

// ---------------------------------------------------------------------------
// Standard input and output as bytes (the filter and the diff)

// Turns off the line-end translation of standard input and standard output
// (on Windows; elsewhere there is none). Whatever was written to standard
// output through stdio before must have been flushed.
void standard_streams_binary();

// Reads the whole of standard input into `out` (emptied first), through
// g_io. False on a read error.
bool read_standard_input(std::string& out);

// Writes `n` bytes to standard output, through g_io. False on a failed write.
bool write_standard_output(const char* data, std::size_t n);

// ---------------------------------------------------------------------------
// Binary files and file operations

enum class CopyStatus { ok, source_open_failed, dest_create_failed, write_failed };

// Copies `from` to `to` byte for byte (created or emptied). The fastest true
// copy the file system offers; never a link. `to` is opened as by
// text_open_write; a read-only `to`, or a `to` that leads to `from` itself
// (also through a link), is refused (dest_create_failed).
CopyStatus copy_file_exact(const std::string& from, const std::string& to);

enum class ReplaceStatus { ok, read_only, failed };

// Puts `temp` in the place of `target` atomically: `target` always holds
// either its old or its new text. A read-only target is never replaced. The
// new file keeps the permission bits of `target`.
ReplaceStatus replace_file(const std::string& temp, const std::string& target);

// True when `name` is read-only: its permission bits grant write to nobody,
// or this process may not write it.
bool file_is_read_only(const std::string& name);

bool file_remove(const std::string& name);
bool file_exists(const std::string& name); // any kind of entry
bool is_regular_file(const std::string& name);
// True when `name` itself is a symbolic link (on Windows: a reparse point).
bool is_symbolic_link(const std::string& name);

// Identity of the file on disk, to tell whether two names are the same file
// (device and inode; symbolic links followed). `links` is not part of the
// identity: the number of names (hard links) the file had when asked.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 0;
};
bool file_identity(const std::string& name, FileId& out);
// The file an identity names: device and inode, whatever its link count.
struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept {
        return static_cast<std::size_t>(id.inode * 0x9E3779B97F4A7C15ULL ^ id.device);
    }
};
struct FileIdEqual {
    bool operator()(const FileId& a, const FileId& b) const noexcept {
        return a.device == b.device && a.inode == b.inode;
    }
};

// True when `a` and `b` are both readable regular files holding the same
// bytes. Sizes are compared first, then the contents block by block. False
// when either cannot be read.
bool files_identical(const std::string& a, const std::string& b);

// Makes the name of the existing file that `name` means when it names no file
// as written: each component is matched regardless of letter case. The result
// keeps the separators as written. When nothing matches, `name` is returned
// unchanged.
std::string resolve_name_case(const std::string& name);

// ---------------------------------------------------------------------------
// Raw output files: bytes go out exactly as given (no line-end translation),
// each write straight to the file (nothing is buffered).

struct RawWriter {
    int fd = -1;
    bool failed = false; // sticky: once a write failed, every later write fails
};

// Creates or empties `name` for writing, as text_open_write does (a new file
// gets the usual permission bits, a read-only file is refused). The writer
// must not be open.
bool raw_create(RawWriter& w, const std::string& name);

// Creates or empties `name` for writing, as text_open_write does, and gives
// it the permission bits `mode_bits` exactly (not reduced by the umask). False
// when it cannot be opened (a read-only file is refused, as by text_open_write).
bool raw_open_write(RawWriter& w, const std::string& name, int mode_bits);

// Writes `n` bytes. False when this write (or an earlier one) failed.
bool raw_write(RawWriter& w, const char* data, std::size_t n);
inline bool raw_write(RawWriter& w, const std::string& s) {
    return raw_write(w, s.data(), s.size());
}

// Closes. False when anything written was not stored.
bool raw_close(RawWriter& w);
bool raw_is_open(const RawWriter& w);

// ---------------------------------------------------------------------------
// Lock files: an exclusive hold on a lock file, never waited for, that the
// system lets go of when the process ends, however it ends (a killed process
// leaves no lock behind). Two holds on one lock file conflict also within one
// process.

enum class LockStatus {
    taken,        // the lock is held
    busy,         // someone else holds it
    no_new_files, // there is no lock file, and none can be made (the folder
                  // takes no new file: read-only, not ours, or full)
    failed,       // anything else: something at the name cannot be a lock file
};

struct FileLock {
    std::intptr_t handle = -1; // the open lock file: descriptor or system handle
    std::string name;          // as given to lock_file_take
    FileId id;                 // the lock file on disk
};

// Takes the exclusive lock of the lock file `name`, created when missing (a
// hidden file on Windows), without waiting. A symbolic link or a file with
// further names at `name` is replaced by a lock file of its own; nothing is
// ever written to it. `lock` must not hold a lock.
LockStatus lock_file_take(FileLock& lock, const std::string& name);

// Removes the lock file and lets go of the lock (in that order, so that no
// one ever holds a lock file that is no longer under its name). Nothing
// happens when `lock` holds none.
void lock_file_release(FileLock& lock);

// ---------------------------------------------------------------------------
// Directory search

// Every plain file matching the wildcard pattern ("*" and "?", letter case
// ignored, "*.*" matches every name): bare names, no directory part, sorted by
// case-insensitive name (ties in byte order). Directories, hidden and other
// non-regular entries are never yielded.
void find_files(const std::string& pattern, std::vector<std::string>& names);

// The wildcard rule on its own: does `name` match `pattern`?
bool wildcard_match(const char* pattern, const char* name);

} // namespace trevox
