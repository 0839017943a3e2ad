// Unit tests of the platform layer: text mode, copies, replacement, name
// resolution, wildcards and directory search.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace trevox {
namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------------------
// Helpers

// A fresh directory per test, the current directory while the test runs.
class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override { io_hooks_reset(); }
    void TearDown() override { io_hooks_reset(); }

    test::ScratchDir scratch_{"platform"};
    const std::string dir_ = scratch_.path().string();
};

void put_file(const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ASSERT_EQ(::fchmod(fd, mode), 0);
    ASSERT_EQ(::close(fd), 0);
}

std::string get_file(const std::string& name) {
    std::string out;
    const int fd = ::open(name.c_str(), O_RDONLY);
    if (fd < 0) {
        return "<missing>";
    }
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

mode_t mode_of(const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::lstat(name.c_str(), &st), 0) << name;
    return st.st_mode & 07777;
}

ino_t inode_of(const std::string& name) {
    struct stat st {};
    EXPECT_EQ(::lstat(name.c_str(), &st), 0) << name;
    return st.st_ino;
}

// Deterministic pseudo-random bytes (every byte value occurs).
std::string noise(std::size_t n, std::uint32_t seed) {
    std::string s(n, '\0');
    std::uint32_t x = seed;
    for (char& c : s) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

// Read and write hooks for injecting faults.
struct Injection {
    std::size_t read_limit = SIZE_MAX; // most bytes one read returns
    int read_fail_at = -1;             // this read call (0-based) fails with EIO
    std::size_t write_limit = SIZE_MAX;
    int write_fail_at = -1; // this write call (0-based) and all later ones fail with ENOSPC
    int reads = 0;
    int writes = 0;
};
Injection g_inject;

long limited_read(int fd, void* buf, std::size_t n) {
    if (g_inject.reads++ == g_inject.read_fail_at) {
        errno = EIO;
        return -1;
    }
    return static_cast<long>(::read(fd, buf, std::min(n, g_inject.read_limit)));
}

long limited_write(int fd, const void* buf, std::size_t n) {
    const int call = g_inject.writes++;
    if (g_inject.write_fail_at >= 0 && call >= g_inject.write_fail_at) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<long>(::write(fd, buf, std::min(n, g_inject.write_limit)));
}

void inject(const Injection& how) {
    g_inject = how;
    g_io.read = &limited_read;
    g_io.write = &limited_write;
}

// Every piece text_read_line yields for the file.
std::vector<std::string> read_pieces(const std::string& name, std::size_t max_chars = SIZE_MAX) {
    std::vector<std::string> pieces;
    TextReader r;
    EXPECT_TRUE(text_open_read(r, name));
    std::string line;
    while (text_read_line(r, line, max_chars)) {
        pieces.push_back(line);
        if (pieces.size() > 100000) {
            ADD_FAILURE() << "reader does not end";
            break;
        }
    }
    EXPECT_FALSE(r.failed);
    text_close(r);
    EXPECT_FALSE(text_is_open(r));
    return pieces;
}

// ---------------------------------------------------------------------------
// Text mode: reading

struct ReadCase {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST_F(PlatformTest, TextReadTranslatesAtEveryBlockBoundary) {
    const ReadCase cases[] = {
        {"a\r\nb\r\n", {"a\n", "b\n"}},
        {"a\nb", {"a\n", "b"}},
        {"a\rb\r\n", {"a\rb\n"}},
        {"a\r", {"a\r"}},
        {"\r", {"\r"}},
        {"\r\r\n\r", {"\r\n", "\r"}},
        {"abc\x1a", {"abc"}},
        {"abc\r\n\x1a\x1a\x1a", {"abc\n"}},
        {"\x1a\x1a", {}},
        {"a\x1a"s + "b\r\n", {"a\x1a"s + "b\n"}},
        {"a\x1a\x1a\r\n\x1a", {"a\x1a\x1a\n"}},
        {"\x1a\x1a\x1a"s + "x", {"\x1a\x1a\x1a"s + "x"}},
        {"x\x1a\n", {"x\x1a\n"}},
        {"a\r\x1a", {"a\r"}},
        {"\r\x1a\n", {"\r\x1a\n"}},
        {"a\0b\r\n\0"s, {"a\0b\n"s, "\0"s}},
        {"\0\0"s, {"\0\0"s}},
        {"", {}},
        {"\r\n\r\n", {"\n", "\n"}},
    };
    const std::size_t limits[] = {1, 2, 3, 5, SIZE_MAX};
    for (const ReadCase& c : cases) {
        put_file("in.txt", c.bytes);
        for (const std::size_t limit : limits) {
            Injection how;
            how.read_limit = limit;
            inject(how);
            EXPECT_EQ(read_pieces("in.txt"), c.lines) << "input " << testing::PrintToString(c.bytes)
                                                      << " read " << limit << " bytes at a time";
        }
    }
}

TEST_F(PlatformTest, TextReadCutsPiecesOfMaxChars) {
    struct Case {
        std::string bytes;
        std::size_t max_chars;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"abcdef\r\n", 4, {"abcd", "ef\n"}},
        {"abcdef\r\n", 3, {"abc", "def", "\n"}},
        {"abc\r\n", 4, {"abc\n"}},
        {"ab\r\ncd", 1, {"a", "b", "\n", "c", "d"}},
        {"a\x1a\x1a"s + "b", 1, {"a", "\x1a", "\x1a", "b"}},
        {"\x1a\x1a\x1a\x1a"s + "b\x1a",
         3,
         {"\x1a\x1a\x1a", "\x1a"
                          "b"}},
        {"a\rb\r", 2, {"a\r", "b\r"}},
    };
    const std::size_t limits[] = {1, 2, 3, SIZE_MAX};
    for (const Case& c : cases) {
        put_file("in.txt", c.bytes);
        for (const std::size_t limit : limits) {
            Injection how;
            how.read_limit = limit;
            inject(how);
            EXPECT_EQ(read_pieces("in.txt", c.max_chars), c.pieces)
                << testing::PrintToString(c.bytes) << " max " << c.max_chars << " limit " << limit;
        }
    }
}

TEST_F(PlatformTest, TextReadAcrossRealBlocks) {
    // A CR LF split by the block edge, a line longer than several blocks, and
    // Ctrl-Z runs crossing an edge (one inside the text, one ending the file).
    const std::size_t b = kIoBlockSize;
    std::string bytes(b - 1, 'x');
    bytes += "\r\n";
    const std::string long_line = noise(3 * b + 17, 7);
    std::string long_clean = long_line;
    std::replace(long_clean.begin(), long_clean.end(), '\n', '.');
    std::replace(long_clean.begin(), long_clean.end(), '\r', '.');
    std::replace(long_clean.begin(), long_clean.end(), '\x1a', '.');
    bytes += long_clean + "\r\n";
    // Pad so that a Ctrl-Z run straddles the next block edge.
    const std::size_t pad = (2 * b - 2 - bytes.size() % b) % b;
    bytes += std::string(pad, 'p');
    bytes += "\x1a\x1a\x1a\x1a";
    bytes += "after\r\n";
    const std::size_t pad2 = (2 * b - 2 - bytes.size() % b) % b;
    bytes += std::string(pad2, 'q');
    bytes += "\x1a\x1a\x1a\x1a\x1a";

    put_file("big.txt", bytes);
    const std::vector<std::string> pieces = read_pieces("big.txt");
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0], std::string(b - 1, 'x') + "\n");
    EXPECT_EQ(pieces[1], long_clean + "\n");
    EXPECT_EQ(pieces[2], std::string(pad, 'p') + "\x1a\x1a\x1a\x1a" + "after\n");
    EXPECT_EQ(pieces[3], std::string(pad2, 'q'));
}

TEST_F(PlatformTest, TextReadErrorEndsTheInput) {
    put_file("in.txt", "line1\r\nline2\r\nline3\r\n");
    Injection how;
    how.read_limit = 7; // the first read brings "line1\r\n"
    how.read_fail_at = 1;
    inject(how);
    TextReader r;
    ASSERT_TRUE(text_open_read(r, "in.txt"));
    std::string line;
    EXPECT_TRUE(text_read_line(r, line));
    EXPECT_EQ(line, "line1\n");
    EXPECT_FALSE(r.failed);
    EXPECT_FALSE(text_read_line(r, line));
    EXPECT_TRUE(line.empty());
    EXPECT_TRUE(r.failed);
    EXPECT_FALSE(text_read_line(r, line)); // stays at the end
    text_close(r);

    // A piece read before the error is still handed out.
    how = Injection{};
    how.read_limit = 3;
    how.read_fail_at = 1;
    inject(how);
    ASSERT_TRUE(text_open_read(r, "in.txt"));
    EXPECT_FALSE(r.failed);
    EXPECT_TRUE(text_read_line(r, line));
    EXPECT_EQ(line, "lin");
    EXPECT_TRUE(r.failed);
    EXPECT_FALSE(text_read_line(r, line));
    text_close(r);
}

TEST_F(PlatformTest, TextOpenReadRefusesWhatIsNoFile) {
    TextReader r;
    EXPECT_FALSE(text_open_read(r, "missing.txt"));
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    EXPECT_FALSE(text_open_read(r, "sub"));
    ASSERT_EQ(::mkfifo("fifo", 0644), 0);
    EXPECT_FALSE(text_open_read(r, "fifo")); // must not block either
    EXPECT_FALSE(text_open_read(r, ""));
    EXPECT_FALSE(text_open_read(r, "sub\0x"s));
    EXPECT_FALSE(text_is_open(r));
    std::string line;
    EXPECT_FALSE(text_read_line(r, line));

    // "\" separates directories.
    put_file("sub/f.txt", "hello\r\n");
    EXPECT_EQ(read_pieces("sub\\f.txt"), std::vector<std::string>{"hello\n"});

    // A reader is reused across files without leftovers.
    put_file("one.txt", "a\r");
    put_file("two.txt", "\nb");
    ASSERT_TRUE(text_open_read(r, "one.txt"));
    std::string l1;
    std::string l2;
    EXPECT_TRUE(text_read_line(r, l1, 1));
    EXPECT_EQ(l1, "a");
    ASSERT_TRUE(text_open_read(r, "two.txt")); // closes one.txt, forgets its pending CR
    EXPECT_TRUE(text_read_line(r, l2));
    EXPECT_EQ(l2, "\n");
    text_close(r);
}

// ---------------------------------------------------------------------------
// Text mode: writing

TEST_F(PlatformTest, TextWriteTurnsNewlinesIntoCrLf) {
    TextWriter w;
    ASSERT_TRUE(text_open_write(w, "out.txt"));
    EXPECT_TRUE(text_is_open(w));
    EXPECT_TRUE(text_write(w, "a\nb\n\nc"));
    EXPECT_TRUE(text_write(w, "\0\r\x1a\n"s));
    EXPECT_TRUE(text_write(w, "", 0));
    EXPECT_TRUE(text_close(w));
    EXPECT_FALSE(text_is_open(w));
    EXPECT_EQ(get_file("out.txt"), "a\r\nb\r\n\r\nc\0\r\x1a\r\n"s);

    // Lines of every length around the block size, in many writes and in one.
    std::string text;
    std::string expected;
    for (std::size_t len = 0; text.size() < 3 * kIoBlockSize; len = (len * 7 + 3) % 5000) {
        const std::string body(len, static_cast<char>('a' + len % 26));
        text += body + "\n";
        expected += body + "\r\n";
    }
    ASSERT_TRUE(text_open_write(w, "big.txt"));
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t n = std::min<std::size_t>(text.size() - at, 1 + at % 9000);
        ASSERT_TRUE(text_write(w, text.data() + at, n));
        at += n;
    }
    ASSERT_TRUE(text_close(w));
    EXPECT_TRUE(get_file("big.txt") == expected);
    ASSERT_TRUE(text_open_write(w, "one.txt"));
    ASSERT_TRUE(text_write(w, text));
    ASSERT_TRUE(text_close(w));
    EXPECT_TRUE(get_file("one.txt") == expected);

    // Written through short writes, the text still arrives whole.
    Injection how;
    how.write_limit = 1000;
    inject(how);
    ASSERT_TRUE(text_open_write(w, "short.txt"));
    ASSERT_TRUE(text_write(w, text));
    ASSERT_TRUE(text_close(w));
    EXPECT_TRUE(get_file("short.txt") == expected);

    // Reading back gives the text that was written.
    io_hooks_reset();
    std::string back;
    for (const std::string& piece : read_pieces("big.txt")) {
        back += piece;
    }
    EXPECT_TRUE(back == text);
}

TEST_F(PlatformTest, TextOpenWriteEmptiesAndSetsMode) {
    const mode_t old_mask = ::umask(022);
    put_file("old.txt", "previous text that is long\r\n");
    TextWriter w;
    ASSERT_TRUE(text_open_write(w, "old.txt"));
    ASSERT_TRUE(text_write(w, "x"));
    ASSERT_TRUE(text_close(w));
    EXPECT_EQ(get_file("old.txt"), "x");

    ASSERT_TRUE(text_open_write(w, "new.txt", 0640));
    ASSERT_TRUE(text_close(w));
    EXPECT_EQ(mode_of("new.txt"), 0640u);
    ASSERT_TRUE(text_open_write(w, "plain.txt"));
    ASSERT_TRUE(text_close(w));
    EXPECT_EQ(mode_of("plain.txt"), 0644u);
    ::umask(old_mask);

    ASSERT_EQ(::mkdir("sub", 0755), 0);
    EXPECT_FALSE(text_open_write(w, "sub"));
    EXPECT_FALSE(text_open_write(w, "nodir/x.txt"));
    EXPECT_FALSE(text_open_write(w, ""));
    EXPECT_FALSE(text_is_open(w));
    EXPECT_FALSE(text_write(w, "x"));
    EXPECT_FALSE(text_close(w));
    ASSERT_TRUE(text_open_write(w, "sub\\in.txt"));
    ASSERT_TRUE(text_close(w));
    EXPECT_EQ(get_file("sub/in.txt"), "");
}

TEST_F(PlatformTest, TextFlushStoresBeforeClose) {
    TextWriter w;
    ASSERT_TRUE(text_open_write(w, "out.txt"));
    ASSERT_TRUE(text_write(w, "header\n"));
    EXPECT_EQ(get_file("out.txt"), ""); // still in the block
    ASSERT_TRUE(text_flush(w));
    EXPECT_EQ(get_file("out.txt"), "header\r\n");
    ASSERT_TRUE(text_write(w, "entry\n"));
    ASSERT_TRUE(text_flush(w));
    EXPECT_EQ(get_file("out.txt"), "header\r\nentry\r\n");
    ASSERT_TRUE(text_close(w));
    EXPECT_FALSE(text_flush(w));
}

TEST_F(PlatformTest, TextWriteFailureIsSticky) {
    const std::string big(3 * kIoBlockSize, 'z');
    // The disk fills up on the second block.
    Injection how;
    how.write_fail_at = 1;
    inject(how);
    TextWriter w;
    ASSERT_TRUE(text_open_write(w, "out.txt"));
    EXPECT_FALSE(text_write(w, big));
    EXPECT_TRUE(w.failed);
    io_hooks_reset(); // the disk has room again: the file is still broken
    EXPECT_FALSE(text_write(w, "more\n"));
    EXPECT_FALSE(text_flush(w));
    EXPECT_FALSE(text_close(w));
    EXPECT_FALSE(text_is_open(w));

    // A failure that shows only when the last block is pushed at close.
    how = Injection{};
    how.write_fail_at = 0;
    inject(how);
    ASSERT_TRUE(text_open_write(w, "out2.txt"));
    EXPECT_FALSE(w.failed); // a new file starts clean
    EXPECT_TRUE(text_write(w, "small\n"));
    EXPECT_FALSE(text_close(w));

    // Same at an explicit flush; later writes fail too.
    ASSERT_TRUE(text_open_write(w, "out3.txt"));
    EXPECT_TRUE(text_write(w, "small\n"));
    EXPECT_FALSE(text_flush(w));
    EXPECT_FALSE(text_write(w, "x"));
    EXPECT_FALSE(text_close(w));

    // A write that stores nothing (returns 0) is a failure, not a hang.
    g_io.write = [](int, const void*, std::size_t) -> long { return 0; };
    ASSERT_TRUE(text_open_write(w, "out4.txt"));
    EXPECT_TRUE(text_write(w, "x\n"));
    EXPECT_FALSE(text_close(w));
}

// ---------------------------------------------------------------------------
// Binary copies

TEST_F(PlatformTest, CopyIsByteExact) {
    const std::string small = noise(256 * 3, 1) + "\r\n\x1a\0"s;
    const std::string large = noise(5 * kIoBlockSize + 12345, 2);
    put_file("small.bin", small);
    put_file("large.bin", large);
    put_file("empty.bin", "");
    put_file("dest.bin", std::string(10 * kIoBlockSize, 'o')); // longer: must be emptied
    EXPECT_EQ(copy_file_exact("small.bin", "small.bak"), CopyStatus::ok);
    EXPECT_EQ(get_file("small.bak"), small);
    EXPECT_EQ(copy_file_exact("large.bin", "dest.bin"), CopyStatus::ok);
    EXPECT_TRUE(get_file("dest.bin") == large);
    EXPECT_EQ(copy_file_exact("empty.bin", "empty.bak"), CopyStatus::ok);
    EXPECT_EQ(get_file("empty.bak"), "");

    // A true copy: another file, unchanged when the source changes in place.
    EXPECT_NE(inode_of("small.bin"), inode_of("small.bak"));
    const int fd = ::open("small.bin", O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "CHANGED", 7), 7);
    ::close(fd);
    EXPECT_EQ(get_file("small.bak"), small);

    // Through the block loop (hooks swapped), also with short reads and writes.
    Injection how;
    how.read_limit = 4097;
    how.write_limit = 1000;
    inject(how);
    EXPECT_EQ(copy_file_exact("large.bin", "loop.bak"), CopyStatus::ok);
    EXPECT_TRUE(get_file("loop.bak") == large);
    EXPECT_GT(g_inject.writes, 0); // the hooks really carried the copy

    // "\" separates directories on both sides.
    io_hooks_reset();
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    EXPECT_EQ(copy_file_exact("large.bin", "sub\\large.bak"), CopyStatus::ok);
    EXPECT_TRUE(get_file("sub/large.bak") == large);
}

TEST_F(PlatformTest, CopyReportsEachFailure) {
    const std::string data = noise(3 * kIoBlockSize, 3);
    put_file("src.bin", data);
    EXPECT_EQ(copy_file_exact("missing.bin", "x.bak"), CopyStatus::source_open_failed);
    EXPECT_FALSE(file_exists("x.bak"));
    EXPECT_EQ(copy_file_exact("src.bin", "nodir/x.bak"), CopyStatus::dest_create_failed);
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    EXPECT_EQ(copy_file_exact("sub", "x.bak"), CopyStatus::source_open_failed);
    EXPECT_EQ(copy_file_exact("src.bin", "sub"), CopyStatus::dest_create_failed);
    EXPECT_EQ(copy_file_exact("", "x.bak"), CopyStatus::source_open_failed);
    EXPECT_EQ(copy_file_exact("src.bin", ""), CopyStatus::dest_create_failed);

    // The source itself, under the same or another name, is never emptied.
    EXPECT_EQ(copy_file_exact("src.bin", "src.bin"), CopyStatus::dest_create_failed);
    ASSERT_EQ(::symlink("src.bin", "alias.bin"), 0);
    EXPECT_EQ(copy_file_exact("src.bin", "alias.bin"), CopyStatus::dest_create_failed);
    EXPECT_TRUE(get_file("src.bin") == data);

    // A full disk on the second write.
    Injection how;
    how.write_fail_at = 1;
    inject(how);
    EXPECT_EQ(copy_file_exact("src.bin", "full.bak"), CopyStatus::write_failed);
    EXPECT_EQ(g_inject.writes, 2); // no retry after the failure

    // A read error of the source.
    how = Injection{};
    how.read_fail_at = 1;
    inject(how);
    EXPECT_EQ(copy_file_exact("src.bin", "bad.bak"), CopyStatus::write_failed);
}

// ---------------------------------------------------------------------------
// Every writer writes only a file of its own: never through a link

// The three ways the platform writes a file, each writing `text` to `name`.
struct Writer {
    const char* how;
    bool (*write)(const std::string& name, const std::string& text);
};

bool write_as_text(const std::string& name, const std::string& text) {
    TextWriter w;
    return text_open_write(w, name) && text_write(w, text) && text_close(w);
}

bool write_raw(const std::string& name, const std::string& text) {
    RawWriter w;
    return raw_open_write(w, name, 0644) && raw_write(w, text) && raw_close(w);
}

bool write_as_copy(const std::string& name, const std::string& text) {
    put_file("copy-source.bin", text);
    return copy_file_exact("copy-source.bin", name) == CopyStatus::ok;
}

const Writer kWriters[] = {{"text", write_as_text}, {"raw", write_raw}, {"copy", write_as_copy}};

bool is_plain_file_of_its_own(const std::string& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}

TEST_F(PlatformTest, WritersReplaceLinksAndNeverWriteThroughThem) {
    ASSERT_EQ(::mkdir("elsewhere", 0755), 0);
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.how);
        put_file("elsewhere/victim.txt", "precious\r\n", 0640);
        const ino_t victim = inode_of("elsewhere/victim.txt");

        // A symbolic link, one that leads nowhere, one to a folder.
        ASSERT_EQ(::symlink("elsewhere/victim.txt", "sym.out"), 0);
        ASSERT_EQ(::symlink("elsewhere/missing.txt", "dangling.out"), 0);
        ASSERT_EQ(::symlink("elsewhere", "folder.out"), 0);
        for (const char* name : {"sym.out", "dangling.out", "folder.out"}) {
            EXPECT_TRUE(w.write(name, "new text")) << name;
            EXPECT_TRUE(is_plain_file_of_its_own(name)) << name;
            EXPECT_EQ(get_file(name), "new text") << name;
        }
        EXPECT_FALSE(file_exists("elsewhere/missing.txt"));

        // A hard link: the other name keeps its file; for the text writer the
        // new file keeps the permission bits.
        ASSERT_EQ(::link("elsewhere/victim.txt", "hard.out"), 0);
        EXPECT_TRUE(w.write("hard.out", "new text"));
        EXPECT_TRUE(is_plain_file_of_its_own("hard.out"));
        EXPECT_EQ(get_file("hard.out"), "new text");
        if (std::string(w.how) == "text") {
            EXPECT_EQ(mode_of("hard.out"), 0640u);
        }

        // A link to a read-only file is a link like any other; a read-only
        // file under a further name is refused, as under its own.
        ASSERT_EQ(::chmod("elsewhere/victim.txt", 0444), 0);
        ASSERT_EQ(::symlink("elsewhere/victim.txt", "sym-ro.out"), 0);
        EXPECT_TRUE(w.write("sym-ro.out", "new text"));
        EXPECT_TRUE(is_plain_file_of_its_own("sym-ro.out"));
        ASSERT_EQ(::link("elsewhere/victim.txt", "hard-ro.out"), 0);
        EXPECT_FALSE(w.write("hard-ro.out", "new text"));
        EXPECT_EQ(inode_of("hard-ro.out"), victim);

        // A pipe is refused at once, reader or not, and stays.
        ASSERT_EQ(::mkfifo("pipe.out", 0644), 0);
        EXPECT_FALSE(w.write("pipe.out", "new text"));
        const int reader = ::open("pipe.out", O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        EXPECT_FALSE(w.write("pipe.out", "new text"));
        char byte = 0;
        EXPECT_LE(::read(reader, &byte, 1), 0) << "nothing written into the pipe";
        ::close(reader);

        EXPECT_EQ(get_file("elsewhere/victim.txt"), "precious\r\n");
        EXPECT_EQ(inode_of("elsewhere/victim.txt"), victim);
        EXPECT_EQ(mode_of("elsewhere/victim.txt"), 0444u);
        for (const char* name : {"sym.out", "dangling.out", "folder.out", "hard.out", "sym-ro.out",
                                 "hard-ro.out", "pipe.out", "elsewhere/victim.txt"}) {
            ASSERT_EQ(::unlink(name), 0) << name;
        }
    }
}

// ---------------------------------------------------------------------------
// Lock files

TEST_F(PlatformTest, LockFileIsExclusiveAndGoesWithItsHolder) {
    FileLock first;
    FileLock second;
    ASSERT_EQ(lock_file_take(first, "run.lock"), LockStatus::taken);
    EXPECT_TRUE(is_plain_file_of_its_own("run.lock"));
    EXPECT_EQ(lock_file_take(second, "run.lock"), LockStatus::busy) << "also within one process";
    EXPECT_EQ(second.handle, -1);
    lock_file_release(first);
    EXPECT_EQ(first.handle, -1);
    EXPECT_FALSE(file_exists("run.lock")) << "its holder removes it";
    ASSERT_EQ(lock_file_take(second, "run.lock"), LockStatus::taken);
    // Its name now leads to another's file: that file stays.
    ASSERT_EQ(::rename("run.lock", "moved.lock"), 0);
    put_file("run.lock", "another's", 0644);
    lock_file_release(second);
    EXPECT_EQ(get_file("run.lock"), "another's");
    EXPECT_TRUE(file_exists("moved.lock"));
    ASSERT_EQ(::unlink("run.lock"), 0);

    // A holder killed while it holds the lock leaves the file, unlocked.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        FileLock held;
        const char taken = lock_file_take(held, "run.lock") == LockStatus::taken ? 'y' : 'n';
        (void)::write(ready[1], &taken, 1);
        if (taken != 'y') {
            ::_exit(1);
        }
        for (;;) {
            ::pause();
        }
    }
    // A child that dies before it writes ends the read instead of hanging it.
    ::close(ready[1]);
    char taken = 0;
    ASSERT_EQ(::read(ready[0], &taken, 1), 1);
    ASSERT_EQ(taken, 'y');
    EXPECT_EQ(lock_file_take(first, "run.lock"), LockStatus::busy);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    EXPECT_TRUE(file_exists("run.lock"));
    EXPECT_EQ(lock_file_take(first, "run.lock"), LockStatus::taken);
    lock_file_release(first);
}

TEST_F(PlatformTest, LockFileReplacesLinksAndRefusesTheRest) {
    put_file("victim.txt", "precious", 0644);
    ASSERT_EQ(::symlink("victim.txt", "sym.lock"), 0);
    ASSERT_EQ(::link("victim.txt", "hard.lock"), 0);
    for (const char* name : {"sym.lock", "hard.lock"}) {
        FileLock lock;
        ASSERT_EQ(lock_file_take(lock, name), LockStatus::taken) << name;
        EXPECT_TRUE(is_plain_file_of_its_own(name)) << name;
        lock_file_release(lock);
        EXPECT_FALSE(file_exists(name)) << name;
    }
    EXPECT_EQ(get_file("victim.txt"), "precious");
    EXPECT_TRUE(is_plain_file_of_its_own("victim.txt"));

    ASSERT_EQ(::mkdir("dir.lock", 0755), 0);
    ASSERT_EQ(::mkfifo("pipe.lock", 0644), 0);
    for (const char* name : {"dir.lock", "pipe.lock", "nodir/x.lock"}) {
        FileLock lock;
        EXPECT_EQ(lock_file_take(lock, name), LockStatus::failed) << name;
        EXPECT_EQ(lock.handle, -1);
    }
    EXPECT_TRUE(file_exists("dir.lock"));
    EXPECT_TRUE(file_exists("pipe.lock"));
    // "\" separates folders here too.
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    FileLock lock;
    ASSERT_EQ(lock_file_take(lock, "sub\\x.lock"), LockStatus::taken);
    EXPECT_TRUE(file_exists("sub/x.lock"));
    lock_file_release(lock);
    EXPECT_FALSE(file_exists("sub/x.lock"));
}

// ---------------------------------------------------------------------------
// Replacing a file

TEST_F(PlatformTest, ReplaceRenamesOverTheTarget) {
    put_file("Form1.frm", "old text", 0640);
    put_file("Form1.tmp", "new text", 0600);
    const ino_t temp_inode = inode_of("Form1.tmp");
    EXPECT_FALSE(file_is_read_only("Form1.frm"));
    EXPECT_EQ(replace_file("Form1.tmp", "Form1.frm"), ReplaceStatus::ok);
    EXPECT_EQ(get_file("Form1.frm"), "new text");
    EXPECT_FALSE(file_exists("Form1.tmp"));
    EXPECT_EQ(inode_of("Form1.frm"), temp_inode); // renamed, not copied
    EXPECT_EQ(mode_of("Form1.frm"), 0640u);

    // Names with "\".
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    put_file("sub/a.bas", "old", 0755);
    put_file("sub/a.tmp", "new", 0644);
    EXPECT_EQ(replace_file("sub\\a.tmp", "sub\\a.bas"), ReplaceStatus::ok);
    EXPECT_EQ(get_file("sub/a.bas"), "new");
    EXPECT_EQ(mode_of("sub/a.bas"), 0755u);

    // A missing temporary file changes nothing.
    EXPECT_EQ(replace_file("gone.tmp", "sub\\a.bas"), ReplaceStatus::failed);
    EXPECT_EQ(get_file("sub/a.bas"), "new");
    // Nor does a temporary file that is the target itself.
    ASSERT_EQ(::link("sub/a.bas", "sub/hard.tmp"), 0);
    EXPECT_EQ(replace_file("sub/hard.tmp", "sub/a.bas"), ReplaceStatus::failed);
    EXPECT_TRUE(file_exists("sub/hard.tmp"));
}

TEST_F(PlatformTest, ReplaceRefusesReadOnlyTargets) {
    // Permission bits decide, so this holds when the tests run as root too.
    put_file("ro.frm", "old text", 0444);
    put_file("ro.tmp", "new text", 0644);
    EXPECT_TRUE(file_is_read_only("ro.frm"));
    EXPECT_EQ(replace_file("ro.tmp", "ro.frm"), ReplaceStatus::read_only);
    EXPECT_EQ(get_file("ro.frm"), "old text");
    EXPECT_EQ(get_file("ro.tmp"), "new text");
    EXPECT_EQ(mode_of("ro.frm"), 0444u);
    EXPECT_EQ(mode_of("ro.tmp"), 0644u);

    put_file("rox.frm", "x", 0555); // executable but writable by nobody
    EXPECT_TRUE(file_is_read_only("rox.frm"));
    put_file("ow.frm", "x", 0200); // writable by its owner only
    EXPECT_FALSE(file_is_read_only("ow.frm"));
    EXPECT_FALSE(file_is_read_only("missing.frm"));

    // Through a link, the file it points to decides.
    ASSERT_EQ(::symlink("ro.frm", "link.frm"), 0);
    EXPECT_TRUE(file_is_read_only("link.frm"));
    EXPECT_EQ(replace_file("ro.tmp", "link.frm"), ReplaceStatus::read_only);
    EXPECT_EQ(get_file("ro.frm"), "old text");
}

TEST_F(PlatformTest, ReplaceThroughALinkKeepsTheLink) {
    ASSERT_EQ(::mkdir("real", 0755), 0);
    put_file("real/Module1.bas", "old text", 0664);
    ASSERT_EQ(::symlink("real/Module1.bas", "Module1.bas"), 0);
    put_file("Module1.tmp", "new text", 0600);
    EXPECT_EQ(replace_file("Module1.tmp", "Module1.bas"), ReplaceStatus::ok);
    struct stat st {};
    ASSERT_EQ(::lstat("Module1.bas", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(get_file("real/Module1.bas"), "new text");
    EXPECT_EQ(mode_of("real/Module1.bas"), 0664u);
    EXPECT_FALSE(file_exists("Module1.tmp"));

    // A link that points nowhere is not replaced.
    ASSERT_EQ(::symlink("nowhere.bas", "dangling.bas"), 0);
    put_file("d.tmp", "x");
    EXPECT_EQ(replace_file("d.tmp", "dangling.bas"), ReplaceStatus::failed);
    ASSERT_EQ(::lstat("dangling.bas", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// ---------------------------------------------------------------------------
// Small file operations

TEST_F(PlatformTest, FileQueries) {
    put_file("a.txt", "x");
    ASSERT_EQ(::mkdir("sub", 0755), 0);
    put_file("sub/b.txt", "y");
    ASSERT_EQ(::symlink("a.txt", "link.txt"), 0);
    ASSERT_EQ(::symlink("none.txt", "dangling.txt"), 0);

    EXPECT_TRUE(file_exists("a.txt"));
    EXPECT_TRUE(file_exists("sub"));
    EXPECT_TRUE(file_exists("sub\\b.txt"));
    EXPECT_TRUE(file_exists("dangling.txt"));
    EXPECT_FALSE(file_exists("none.txt"));
    EXPECT_FALSE(file_exists(""));

    EXPECT_TRUE(is_regular_file("a.txt"));
    EXPECT_TRUE(is_regular_file("link.txt"));
    EXPECT_TRUE(is_regular_file("sub\\b.txt"));
    EXPECT_FALSE(is_regular_file("sub"));
    EXPECT_FALSE(is_regular_file("dangling.txt"));

    FileId a;
    FileId l;
    FileId b;
    ASSERT_TRUE(file_identity("a.txt", a));
    ASSERT_TRUE(file_identity("link.txt", l));
    ASSERT_TRUE(file_identity("sub\\b.txt", b));
    EXPECT_EQ(a.device, l.device);
    EXPECT_EQ(a.inode, l.inode);
    EXPECT_NE(a.inode, b.inode);
    EXPECT_FALSE(file_identity("none.txt", a));

    EXPECT_TRUE(file_remove("sub\\b.txt"));
    EXPECT_FALSE(file_exists("sub/b.txt"));
    EXPECT_FALSE(file_remove("sub\\b.txt"));
    EXPECT_FALSE(file_remove("sub"));
}

TEST_F(PlatformTest, ResolveNameCase) {
    put_file("Form1.FRM", "x");
    ASSERT_EQ(::mkdir("MyDir", 0755), 0);
    put_file("MyDir/Class1.Cls", "x");
    put_file("ABC.TXT", "x");
    put_file("Abc.txt", "x");
    put_file("abc.TXT", "x");

    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"Form1.FRM", "Form1.FRM"},
        {"form1.frm", "Form1.FRM"},
        {"FORM1.frm", "Form1.FRM"},
        {"./form1.frm", "./Form1.FRM"},
        {"mydir\\class1.cls", "MyDir\\Class1.Cls"},
        {"MYDIR/CLASS1.CLS", "MyDir/Class1.Cls"},
        {"mydir\\..\\form1.frm", "MyDir\\..\\Form1.FRM"},
        {"mydir\\\\class1.cls", "MyDir\\\\Class1.Cls"},
        {"mydir", "MyDir"},
        {"mydir\\", "MyDir\\"},
        {"abc.txt", "ABC.TXT"}, // first in byte order when no exact match
        {"Abc.txt", "Abc.txt"},
        {"nothere.frm", "nothere.frm"},
        {"mydir\\missing.cls", "mydir\\missing.cls"},
        {"nodir\\form1.frm", "nodir\\form1.frm"},
        {"form1.frm\\x", "form1.frm\\x"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolve_name_case(c.in), c.out) << c.in;
    }
    // Absolute names: the directory part as written already exists.
    EXPECT_EQ(resolve_name_case(dir_ + "/mydir\\CLASS1.cls"), dir_ + "/MyDir\\Class1.Cls");
}

TEST_F(PlatformTest, ResolveNameCaseReadsEachFolderOnce) {
    name_case_reset();
    ASSERT_EQ(::mkdir("Sub", 0755), 0);
    constexpr int kNames = 300;
    for (int i = 0; i < kNames; ++i) {
        put_file("Mod" + std::to_string(i) + ".Bas", "x");
        put_file("Sub/Cls" + std::to_string(i) + ".Cls", "x");
    }
    for (int i = 0; i < kNames; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(resolve_name_case("mod" + n + ".bas"), "Mod" + n + ".Bas");
        EXPECT_EQ(resolve_name_case("sub\\cls" + n + ".cls"), "Sub\\Cls" + n + ".Cls");
    }
    EXPECT_EQ(g_name_case.listings_read, 2U) << "the current folder and Sub, once each";

    // A file made since the listing was read: the miss reads the folder again.
    put_file("Late.BAS", "x");
    EXPECT_EQ(resolve_name_case("late.bas"), "Late.BAS");
    EXPECT_EQ(g_name_case.listings_read, 3U);
    // A name renamed since: found under its new name.
    ASSERT_EQ(::rename("Mod7.Bas", "MOD7.bas"), 0);
    EXPECT_EQ(resolve_name_case("mod7.BAS"), "MOD7.bas");
    EXPECT_EQ(resolve_name_case("Mod7.Bas"), "MOD7.bas");

    // A folder not changed for a while is not read again for a name it lacks.
    const struct timespec long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, "Sub", long_ago, 0), 0);
    EXPECT_EQ(resolve_name_case("sub\\nothere.cls"), "sub\\nothere.cls");
    const std::size_t settled = g_name_case.listings_read;
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(resolve_name_case("sub\\missing" + std::to_string(i) + ".cls"),
                  "sub\\missing" + std::to_string(i) + ".cls");
    }
    EXPECT_EQ(g_name_case.listings_read, settled);
    // Its change shows in its modification time: the next miss reads it again.
    put_file("Sub/New.CLS", "x");
    EXPECT_EQ(resolve_name_case("sub/new.cls"), "Sub/New.CLS");
    EXPECT_EQ(g_name_case.listings_read, settled + 1);
}

// ---------------------------------------------------------------------------
// Wildcards and directory search

TEST(PlatformWildcard, MatchTable) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "noext", true},
        {"*.*", "a.b.c", true},
        {"*.*", "", true},
        {"*", "", true},
        {"*", "anything.at.all", true},
        {"**", "abc", true},
        {"*.bas", "Module1.BAS", true},
        {"*.bas", "Module1.bas.txt", false},
        {"*.bas", "bas", false},
        {"*.bas", ".bas", true},
        {"*.frm", "Form1.frm.old", false},
        {"?.frm", "a.frm", true},
        {"?.frm", "ab.frm", false},
        {"?.frm", ".frm", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"FORM*", "form1.frm", true},
        {"*1.F?M", "Form1.frm", true},
        {"*a*b*c*", "xxaxxbxxcxx", true},
        {"*a*b*c*", "xxaxxcxxbxx", false},
        {"*ab", "aab", true},
        {"*aab", "aaab", true},
        {"a*a", "a", false},
        {"Form1.*", "Form1", true},
        {"Form1.*", "form1.FRM", true},
        {"Form1.*", "Form12", false},
        {"x*.*", "y", false},
        {"", "", true},
        {"", "a", false},
        {"a*", "", false},
        {"?", "", false},
        {"?.txt", "\xc3\xa9.txt", true}, // one character, two bytes
        {"??.txt", "\xc3\xa9.txt", false},
        {"[ab].txt", "[ab].txt", true},
        {"[ab].txt", "a.txt", false},
        {"\xc3\x89*", "\xc3\xa9t\xc3\xa9", false}, // only ASCII letters fold
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match)
            << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
    }
    EXPECT_FALSE(wildcard_match(nullptr, "a"));
    EXPECT_FALSE(wildcard_match("a", nullptr));

    // Many stars against a long name that almost matches: the greedy walk
    // ends; a backtracking one would not in any reasonable time.
    const std::string name(4000, 'a');
    EXPECT_FALSE(wildcard_match("*a*a*a*a*a*a*a*a*a*a*a*a*b", name.c_str()));
    EXPECT_TRUE(wildcard_match("*a*a*a*a*a*a*a*a*a*a*a*a*", name.c_str()));
}

TEST_F(PlatformTest, FindFilesListsPlainFilesSorted) {
    put_file("b.bas", "x");
    put_file("A.bas", "x");
    put_file("a.BAS", "x");
    put_file("C.cls", "x");
    put_file("noext", "x");
    put_file(".hidden.bas", "x");
    ASSERT_EQ(::mkdir("dir.bas", 0755), 0);
    ASSERT_EQ(::symlink("b.bas", "link.bas"), 0);
    ASSERT_EQ(::symlink("nowhere", "dangling.bas"), 0);
    ASSERT_EQ(::symlink("dir.bas", "dirlink.bas"), 0);
    ASSERT_EQ(::mkfifo("pipe.bas", 0644), 0);

    std::vector<std::string> names = {"stale"};
    find_files("*.bas", names);
    EXPECT_EQ(names, (std::vector<std::string>{"A.bas", "a.BAS", "b.bas", "link.bas"}));
    find_files("*.*", names);
    EXPECT_EQ(names,
              (std::vector<std::string>{"A.bas", "a.BAS", "b.bas", "C.cls", "link.bas", "noext"}));
    find_files("?.CLS", names);
    EXPECT_EQ(names, std::vector<std::string>{"C.cls"});
    find_files("*.frm", names);
    EXPECT_TRUE(names.empty());

    // A directory part: bare names from that directory, "\" or "/", any case.
    ASSERT_EQ(::mkdir("Lib", 0755), 0);
    put_file("Lib/Zeta.frm", "x");
    put_file("Lib/alpha.frm", "x");
    put_file("Lib/other.bas", "x");
    const std::vector<std::string> lib = {"alpha.frm", "Zeta.frm"};
    find_files("Lib\\*.frm", names);
    EXPECT_EQ(names, lib);
    find_files("Lib/*.frm", names);
    EXPECT_EQ(names, lib);
    find_files("lib\\*.FRM", names);
    EXPECT_EQ(names, lib);
    find_files(dir_ + "/Lib\\*.frm", names);
    EXPECT_EQ(names, lib);
    find_files("Lib\\", names);
    EXPECT_TRUE(names.empty());
    find_files("Nowhere\\*.frm", names);
    EXPECT_TRUE(names.empty());
    find_files("", names);
    EXPECT_TRUE(names.empty());
}

// ---------------------------------------------------------------------------
// Clock, environment, current directory

TEST(PlatformClock, UtcFromEpoch) {
    struct Case {
        std::int64_t seconds;
        CivilTime t;
    };
    const Case cases[] = {
        {0, {1970, 1, 1, 0, 0, 0}},
        {953024730, {2000, 3, 14, 9, 5, 30}},
        {2147483648LL, {2038, 1, 19, 3, 14, 8}},
        {-1, {1969, 12, 31, 23, 59, 59}},
        {951782400, {2000, 2, 29, 0, 0, 0}},
        {32503680000, {3000, 1, 1, 0, 0, 0}},
        {253402300799, {9999, 12, 31, 23, 59, 59}},
    };
    for (const Case& c : cases) {
        CivilTime t;
        ASSERT_TRUE(utc_time_from_epoch(c.seconds, t)) << c.seconds;
        EXPECT_EQ(t.year, c.t.year) << c.seconds;
        EXPECT_EQ(t.month, c.t.month) << c.seconds;
        EXPECT_EQ(t.day, c.t.day) << c.seconds;
        EXPECT_EQ(t.hour, c.t.hour) << c.seconds;
        EXPECT_EQ(t.minute, c.t.minute) << c.seconds;
        EXPECT_EQ(t.second, c.t.second) << c.seconds;
    }
    CivilTime t;
    EXPECT_FALSE(utc_time_from_epoch(INT64_MAX, t));
    EXPECT_FALSE(utc_time_from_epoch(INT64_MIN, t));

    CivilTime now;
    local_time_now(now);
    EXPECT_GE(now.year, 2020);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.day >= 1 && now.day <= 31);
}

TEST(PlatformEnv, Values) {
    ASSERT_EQ(::setenv("TREVOX_PLATFORM_TEST", "12345", 1), 0);
    ASSERT_NE(env_value("TREVOX_PLATFORM_TEST"), nullptr);
    EXPECT_STREQ(env_value("TREVOX_PLATFORM_TEST"), "12345");
    ASSERT_EQ(::unsetenv("TREVOX_PLATFORM_TEST"), 0);
    EXPECT_EQ(env_value("TREVOX_PLATFORM_TEST"), nullptr);
    EXPECT_EQ(env_value(nullptr), nullptr);
}

TEST_F(PlatformTest, CurrentDirectoryOfAnyLength) {
    // Deeper than any small fixed buffer.
    std::string expected;
    current_directory(expected);
    char* real = ::realpath(".", nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(expected, real);
    std::free(real);
    const std::string part(100, 'd');
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(::mkdir(part.c_str(), 0755), 0);
        ASSERT_EQ(::chdir(part.c_str()), 0);
        expected += "/" + part;
    }
    std::string cwd = "left over";
    current_directory(cwd);
    EXPECT_EQ(cwd, expected);
    EXPECT_GT(cwd.size(), 1200u);
}

} // namespace
} // namespace trevox
