// The Windows side of the platform layer: what differs from POSIX (attributes,
// the system's search, long names, the clock computed here), run under Wine
// or on Windows itself.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace trevox {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, the current directory while the test runs.
class WinPlatformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        io_hooks_reset();
        old_cwd_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("trevox-win-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount64()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        // A folder left by an earlier run under the same name must not stop this one.
        std::error_code ec;
        fs::remove_all(dir_, ec);
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_cwd_);
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir_, ec); !ec && it != fs::end(it);
             it.increment(ec)) {
            (void)SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
    fs::path old_cwd_;
};

void put_file(const std::string& name, const std::string& bytes) {
    std::ofstream out(fs::u8path(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << name;
}

std::string get_file(const std::string& name) {
    std::ifstream in(fs::u8path(name), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

DWORD attributes_of(const std::string& name) {
    return GetFileAttributesA(name.c_str());
}

void add_attributes(const std::string& name, DWORD add) {
    const DWORD now = attributes_of(name);
    ASSERT_NE(now, INVALID_FILE_ATTRIBUTES) << name;
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), (now & ~FILE_ATTRIBUTE_NORMAL) | add)) << name;
}

TEST_F(WinPlatformTest, TextFilesAreBinaryWithOurOwnLineEnds) {
    TextWriter w;
    ASSERT_TRUE(text_open_write(w, "t.bas"));
    ASSERT_TRUE(text_write(w, std::string("a\nb\r\nc\x1a"
                                          "d\n",
                                          10)));
    ASSERT_TRUE(text_close(w));
    EXPECT_EQ(get_file("t.bas"), std::string("a\r\nb\r\r\nc\x1a"
                                             "d\r\n",
                                             13));
    put_file("r.bas", std::string("x\r\ny\x1a z\x1a\x1a", 9));
    TextReader r;
    std::string line;
    std::vector<std::string> lines;
    ASSERT_TRUE(text_open_read(r, "r.bas"));
    while (text_read_line(r, line)) {
        lines.push_back(line);
    }
    text_close(r);
    EXPECT_EQ(lines, (std::vector<std::string>{"x\n", "y\x1a z"}));
    EXPECT_FALSE(text_open_read(r, ".")) << "a directory is not a text file";
    EXPECT_FALSE(text_open_read(r, "NUL")) << "a device is not a text file";
}

TEST_F(WinPlatformTest, ReplaceRefusesTheReadOnlyAttribute) {
    put_file("Mod1.bas", "old");
    put_file("Mod1.tmp", "new");
    add_attributes("Mod1.bas", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(file_is_read_only("Mod1.bas"));
    EXPECT_EQ(replace_file("Mod1.tmp", "Mod1.bas"), ReplaceStatus::read_only);
    EXPECT_EQ(get_file("Mod1.bas"), "old");
    EXPECT_EQ(get_file("Mod1.tmp"), "new");

    ASSERT_TRUE(SetFileAttributesA("Mod1.bas", FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(file_is_read_only("Mod1.bas"));
    EXPECT_EQ(replace_file("Mod1.tmp", "Mod1.bas"), ReplaceStatus::ok);
    EXPECT_EQ(get_file("Mod1.bas"), "new");
    EXPECT_FALSE(file_exists("Mod1.tmp"));
}

TEST_F(WinPlatformTest, ReplaceKeepsTheTargetsAttributesAndRefusesItself) {
    put_file("Mod1.bas", "old");
    put_file("Mod1.tmp", "new");
    add_attributes("Mod1.bas", FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(replace_file("Mod1.tmp", "mod1.BAS"), ReplaceStatus::ok);
    EXPECT_EQ(get_file("Mod1.bas"), "new");
    EXPECT_NE(attributes_of("Mod1.bas") & FILE_ATTRIBUTE_HIDDEN, 0u);

    EXPECT_EQ(replace_file("Mod1.bas", "MOD1.bas"), ReplaceStatus::failed);
    EXPECT_EQ(get_file("Mod1.bas"), "new");
    EXPECT_EQ(replace_file("Gone.tmp", "Mod1.bas"), ReplaceStatus::failed);
    put_file("New.tmp", "fresh");
    EXPECT_EQ(replace_file("New.tmp", "New.bas"), ReplaceStatus::ok);
    EXPECT_EQ(get_file("New.bas"), "fresh");
}

TEST_F(WinPlatformTest, SearchPassesOverDirectoriesHiddenAndSystemFiles) {
    for (const char* name : {"b.BAS", "a.bas", "Z.bas", "h.bas", "s.bas", "ro.bas", "n.frm"}) {
        put_file(name, "x");
    }
    fs::create_directory("d.bas");
    add_attributes("h.bas", FILE_ATTRIBUTE_HIDDEN);
    add_attributes("s.bas", FILE_ATTRIBUTE_SYSTEM);
    add_attributes("ro.bas", FILE_ATTRIBUTE_READONLY);
    std::vector<std::string> names;
    find_files("*.bas", names);
    EXPECT_EQ(names, (std::vector<std::string>{"a.bas", "b.BAS", "ro.bas", "Z.bas"}));
    find_files("*.*", names);
    EXPECT_EQ(names, (std::vector<std::string>{"a.bas", "b.BAS", "n.frm", "ro.bas", "Z.bas"}));

    fs::create_directory("lib");
    put_file("lib/Tools.bas", "x");
    find_files("lib\\*.bas", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Tools.bas"})) << "bare names";
    find_files("lib/", names);
    EXPECT_TRUE(names.empty());
    find_files("none\\*.bas", names);
    EXPECT_TRUE(names.empty());
}

TEST_F(WinPlatformTest, NamesLongerThanTheClassicLimit) {
    std::string deep;
    while (deep.size() < 300) {
        deep += std::string(60, 'd') + "\\";
    }
    ASSERT_TRUE(CreateDirectoryA(deep.substr(0, 61).c_str(), nullptr) || true);
    std::string made;
    for (std::size_t at = 0; at < deep.size(); at = deep.find('\\', at) + 1) {
        made = deep.substr(0, deep.find('\\', at));
        std::wstring wide = L"\\\\?\\" + (fs::current_path() / made).wstring();
        ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
    }
    const std::string source = deep + "Long.bas";
    const std::string temp = deep + "Long.tmp";
    TextWriter w;
    ASSERT_TRUE(text_open_write(w, source));
    ASSERT_TRUE(text_write(w, "x = 1\n"));
    ASSERT_TRUE(text_close(w));
    EXPECT_TRUE(is_regular_file(source));
    EXPECT_EQ(copy_file_exact(source, deep + "Long.bkb"), CopyStatus::ok);
    EXPECT_TRUE(files_identical(source, deep + "Long.bkb"));
    ASSERT_TRUE(text_open_write(w, temp));
    ASSERT_TRUE(text_write(w, "y = 2\n"));
    ASSERT_TRUE(text_close(w));
    EXPECT_EQ(replace_file(temp, source), ReplaceStatus::ok);
    TextReader r;
    std::string line;
    ASSERT_TRUE(text_open_read(r, source));
    ASSERT_TRUE(text_read_line(r, line));
    text_close(r);
    EXPECT_EQ(line, "y = 2\n");
    std::vector<std::string> names;
    find_files(deep + "*.*", names);
    EXPECT_EQ(names, (std::vector<std::string>{"Long.bas", "Long.bkb"}));
    EXPECT_TRUE(file_remove(deep + "Long.bkb"));
}

TEST_F(WinPlatformTest, IdentityCopyAndComparison) {
    put_file("x.bas", "same");
    put_file("y.bas", "same");
    FileId a;
    FileId b;
    FileId c;
    ASSERT_TRUE(file_identity("x.bas", a));
    ASSERT_TRUE(file_identity(".\\X.BAS", b));
    ASSERT_TRUE(file_identity("y.bas", c));
    EXPECT_TRUE(a.device == b.device && a.inode == b.inode);
    EXPECT_FALSE(a.device == c.device && a.inode == c.inode);
    EXPECT_FALSE(file_identity("gone.bas", c));

    EXPECT_EQ(copy_file_exact("x.bas", "X.BAS"), CopyStatus::dest_create_failed);
    EXPECT_EQ(get_file("x.bas"), "same") << "never emptied";
    EXPECT_EQ(copy_file_exact("gone.bas", "z.bas"), CopyStatus::source_open_failed);
    EXPECT_TRUE(files_identical("x.bas", "y.bas"));
    put_file("y.bas", "sane");
    EXPECT_FALSE(files_identical("x.bas", "y.bas"));
    EXPECT_EQ(resolve_name_case("X.BAS"), "X.BAS");
}

TEST_F(WinPlatformTest, RawFilesTakeTheReadOnlyAttributeFromTheModeBits) {
    RawWriter w;
    ASSERT_TRUE(raw_open_write(w, "r.sh", 0444));
    ASSERT_TRUE(raw_write(w, "a\nb"));
    ASSERT_TRUE(raw_close(w));
    EXPECT_EQ(get_file("r.sh"), "a\nb");
    EXPECT_NE(attributes_of("r.sh") & FILE_ATTRIBUTE_READONLY, 0u);
    ASSERT_TRUE(SetFileAttributesA("r.sh", FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(raw_open_write(w, "r.sh", 0755));
    ASSERT_TRUE(raw_close(w));
    EXPECT_EQ(attributes_of("r.sh") & FILE_ATTRIBUTE_READONLY, 0u);
}

// The number of names the file `name` has, or 0 when it cannot be opened.
DWORD links_of(const std::string& name) {
    HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok ? info.nNumberOfLinks : 0;
}

// Writes `text` to `name` the way each writer of the platform does.
bool write_with(int writer, const std::string& name, const std::string& text) {
    switch (writer) {
    case 0: {
        TextWriter w;
        return text_open_write(w, name) && text_write(w, text) && text_close(w);
    }
    case 1: {
        RawWriter w;
        return raw_open_write(w, name, 0644) && raw_write(w, text) && raw_close(w);
    }
    default:
        put_file("copy-source.bin", text);
        return copy_file_exact("copy-source.bin", name) == CopyStatus::ok;
    }
}

TEST_F(WinPlatformTest, WritersReplaceHardLinksAndReparsePoints) {
    for (int writer = 0; writer < 3; ++writer) {
        SCOPED_TRACE(writer);
        put_file("victim.txt", "precious");
        ASSERT_TRUE(CreateHardLinkA("hard.out", "victim.txt", nullptr));
        ASSERT_EQ(links_of("victim.txt"), 2u);
        EXPECT_TRUE(write_with(writer, "hard.out", "new text"));
        EXPECT_EQ(get_file("hard.out"), "new text");
        EXPECT_EQ(links_of("hard.out"), 1u);
        EXPECT_EQ(get_file("victim.txt"), "precious");
        EXPECT_EQ(links_of("victim.txt"), 1u);

        // A read-only file is refused under a further name as under its own.
        ASSERT_TRUE(CreateHardLinkA("hard-ro.out", "victim.txt", nullptr));
        add_attributes("victim.txt", FILE_ATTRIBUTE_READONLY);
        EXPECT_FALSE(write_with(writer, "hard-ro.out", "new text"));
        EXPECT_EQ(get_file("victim.txt"), "precious");
        EXPECT_EQ(links_of("victim.txt"), 2u);
        ASSERT_TRUE(SetFileAttributesA("victim.txt", FILE_ATTRIBUTE_NORMAL));

        // A symbolic link, where the system makes one for this process.
        // (Wine reports success and makes none.)
        if (CreateSymbolicLinkA("sym.out", "victim.txt", 0x2 /* unprivileged */) &&
            attributes_of("sym.out") != INVALID_FILE_ATTRIBUTES &&
            (attributes_of("sym.out") & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            EXPECT_TRUE(is_symbolic_link("sym.out"));
            EXPECT_TRUE(write_with(writer, "sym.out", "new text"));
            EXPECT_FALSE(is_symbolic_link("sym.out"));
            EXPECT_EQ(get_file("sym.out"), "new text");
            EXPECT_EQ(get_file("victim.txt"), "precious");
        }
        for (const char* name : {"hard.out", "hard-ro.out", "sym.out", "victim.txt"}) {
            (void)DeleteFileA(name);
        }
    }
}

TEST_F(WinPlatformTest, LockFileIsSharedWithNoOneAndGoesWithItsHolder) {
    FileLock first;
    FileLock second;
    ASSERT_EQ(lock_file_take(first, "run.lock"), LockStatus::taken);
    EXPECT_NE(attributes_of("run.lock") & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(lock_file_take(second, "run.lock"), LockStatus::busy) << "also within one process";
    lock_file_release(first);
    EXPECT_FALSE(file_exists("run.lock")) << "deleted when let go of";
    ASSERT_EQ(lock_file_take(second, "run.lock"), LockStatus::taken);
    lock_file_release(second);

    // A file with further names in the way: its other name keeps it.
    put_file("victim.txt", "precious");
    ASSERT_TRUE(CreateHardLinkA("hard.lock", "victim.txt", nullptr));
    ASSERT_EQ(lock_file_take(first, "hard.lock"), LockStatus::taken);
    EXPECT_EQ(links_of("hard.lock"), 1u);
    lock_file_release(first);
    EXPECT_EQ(get_file("victim.txt"), "precious");
    EXPECT_EQ(links_of("victim.txt"), 1u);

    fs::create_directory("dir.lock");
    EXPECT_EQ(lock_file_take(first, "dir.lock"), LockStatus::failed);
    EXPECT_EQ(lock_file_take(first, "none\\x.lock"), LockStatus::failed);
    EXPECT_EQ(first.handle, -1);
}

} // namespace
} // namespace trevox
