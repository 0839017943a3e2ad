// Bad input at the edges, end to end: binary files, one line of 200 MB, a
// hundred thousand empty lines, names with blanks, quotes, %, & and non-ASCII
// bytes, a name of 1,000 characters, a symbolic link as the source, a project
// that names itself, a folder or a pipe, empty list files and a settings file of
// garbage, links planted at the names the run writes. Each gets a clear
// message or a correct result; nothing is lost.
#include "harness.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace e2e {
namespace {

#define TVX "Trevox==>  "
const char* const kPause = TVX "Press Enter to continue \n";

RunResult run_in(const std::string& dir, const std::vector<std::string>& args) {
    RunOptions o;
    o.cwd = dir;
    o.args = args;
    o.timeout_ms = 60000;
    RunResult r = run_trevox(o);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0) << "the run crashed";
    return r;
}

// The text without white space (blanks, tabs, line ends, and the vertical
// tabs and form feeds that /b removes at the start of a line): what no
// setting but /c and /s may change, in order.
std::string non_blank(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f') {
            out += c;
        }
    }
    return out;
}

// Where two texts first differ, for a readable failure.
std::string first_difference(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) {
        ++i;
    }
    return "lengths " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
           ", first difference at " + std::to_string(i);
}

// ---------------------------------------------------------------------------
// Binary files

TEST(Edges, NulBytesAreOrdinaryCharacters) {
    ScratchDir dir;
    const std::string text("  x = 1\0\0y\r\n\0  z\r\n\t\0\r\n", 22);
    // Not "Nul.bas": on Windows that names the null device.
    write_file(dir / "Zeros.bas", text);
    const RunResult r = run_in(dir.path, {"Zeros.bas"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "Zeros.bas"), std::string("x = 1\0\0y\r\n\0  z\r\n\0\r\n", 19));
    EXPECT_EQ(read_file(dir / "Zeros.bkb"), text);
}

TEST(Edges, TextWithoutLineEnds) {
    ScratchDir dir;
    std::string words;
    for (int i = 0; i < 20000; ++i) {
        words += "word" + std::to_string(i % 10) + " ";
    }
    write_file(dir / "One.bas", "   " + words);
    const RunResult r = run_in(dir.path, {"One.bas"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "One.bas"), words);
    EXPECT_EQ(read_file(dir / "One.bkb"), "   " + words);
}

// Random bytes, as a binary resource file renamed to a form would hold.
std::string random_bytes(unsigned seed, std::size_t n) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen() & 0xff);
    }
    s.back() = 'E'; // a run of Ctrl-Z at the very end would be dropped
    return s;
}

TEST(Edges, RandomBytesRenamedToAFormUnderEverySetting) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"Res.frm"}, std::vector<std::string>{"Res.frm", "/b"},
          std::vector<std::string>{"Res.frm", "/t", "/s"},
          std::vector<std::string>{"Res.frm", "/z", "/l", "/v"}}) {
        // Under Wine every echoed byte goes through its console, slowly: the
        // echo (/z) gets a smaller file there.
        const bool echoed = args.size() == 4;
        const std::size_t size = under_wine() && echoed ? 32 * 1024 : 256 * 1024;
        const std::string bytes = random_bytes(static_cast<unsigned>(args.size()), size);
        ScratchDir dir;
        write_file(dir / "Res.frm", bytes);
        const RunResult r = run_in(dir.path, args);
        EXPECT_EQ(r.exit_code, 0) << args.size();
        EXPECT_TRUE(read_file(dir / "Res.bkf") == bytes) << args.size();
        const std::string out = read_file(dir / "Res.frm");
        if (args.size() <= 2) {
            // No comment removal, no joining: every character but the blanks
            // and line ends is kept, in order.
            EXPECT_TRUE(non_blank(out) == non_blank(bytes))
                << args.size() << ": " << first_difference(non_blank(out), non_blank(bytes));
        }
        // Whatever came out, Restore.sh brings the bytes back.
        ASSERT_TRUE(run_restore_sh(dir.path));
        EXPECT_TRUE(read_file(dir / "Res.frm") == bytes) << args.size();
    }
}

// ---------------------------------------------------------------------------
// Sizes

// One line of 200 MB (without a line end), written and checked piece by
// piece so that the test itself holds little of it.
TEST(Edges, OneLineOf200Megabytes) {
    constexpr std::size_t kBody = 200u * 1000 * 1000;
    constexpr std::size_t kPiece = 1 << 20;
    const std::string head = "    Dim s     As String ' ";
    ScratchDir dir;
    {
        std::ofstream f(dir / "Long.bas", std::ios::binary);
        f << head;
        const std::string piece(kPiece, 'x');
        for (std::size_t left = kBody; left > 0; left -= std::min(left, kPiece)) {
            f.write(piece.data(), static_cast<std::streamsize>(std::min(left, kPiece)));
        }
        ASSERT_TRUE(f.good());
    }
    const RunResult r = run_in(dir.path, {"Long.bas"});
    EXPECT_EQ(r.exit_code, 0);
    // The text after the head, piece by piece: only x's, kBody of them.
    const auto body_of = [&](const std::string& path, const std::string& expected_head) {
        std::ifstream f(path, std::ios::binary);
        std::string got(expected_head.size(), '\0');
        f.read(got.data(), static_cast<std::streamsize>(got.size()));
        EXPECT_EQ(got, expected_head) << path;
        std::size_t xs = 0;
        bool only_x = true;
        std::string piece(kPiece, '\0');
        while (f.read(piece.data(), kPiece) || f.gcount() > 0) {
            const auto n = static_cast<std::size_t>(f.gcount());
            only_x = only_x && piece.find_first_not_of('x') >= n;
            xs += n;
        }
        EXPECT_TRUE(only_x) << path;
        EXPECT_EQ(xs, kBody) << path;
    };
    body_of(dir / "Long.bas", "Dim s As String ' ");
    body_of(dir / "Long.bkb", head);
    EXPECT_FALSE(exists(dir / "Long.tmp"));
}

TEST(Edges, AHundredThousandEmptyLines) {
    const std::string text = crlf(std::string(100000, '\n'));
    for (const bool remove_blank : {false, true}) {
        ScratchDir dir;
        write_file(dir / "Empty.bas", text);
        struct stat before {};
        ASSERT_EQ(stat((dir / "Empty.bas").c_str(), &before), 0);
        std::vector<std::string> args = {"Empty.bas"};
        if (remove_blank) {
            args.push_back("/b");
        }
        const RunResult r = run_in(dir.path, args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(read_file(dir / "Empty.bas"), remove_blank ? "" : text);
        EXPECT_EQ(read_file(dir / "Empty.bkb"), text);
        EXPECT_FALSE(exists(dir / "Empty.tmp"));
        if (!remove_blank) {
            struct stat after {};
            ASSERT_EQ(stat((dir / "Empty.bas").c_str(), &after), 0);
            EXPECT_EQ(after.st_ino, before.st_ino) << "an unchanged text leaves the file alone";
        }
    }
}

// ---------------------------------------------------------------------------
// Names

TEST(Edges, NamesWithBlanksQuotesPercentAmpersandAndNonAscii) {
    const std::string odd = "My 'Odd' 100% & Co \xc3\xb1\xc3\xa9"; // ñé in UTF-8
    const std::string quoted = "Say \"Hi\" %s %d";
    const std::string latin1 = "Caf\xe9 \xff"; // bytes that are no UTF-8
    const std::string controls = "-Line\nBreak\tTab";
    const std::string plain = "My 'Odd' 100% & Co";
    // Windows allows no quote, line break or tab in a name, and gives the
    // program its names in the ANSI code page (ñé as F1 E9).
    const std::vector<std::string> bases =
        under_wine() ? std::vector<std::string>{odd, plain}
                     : std::vector<std::string>{odd, quoted, latin1, controls, plain};
    const std::string shown_odd = under_wine() ? "My 'Odd' 100% & Co \xf1\xe9" : odd;
    for (const std::string& base : bases) {
        for (const bool wildcard : {false, true}) {
            ScratchDir dir;
            const std::string text = "  x = 1\r\n  ' 50% & more\r\n";
            write_file(dir / (base + ".bas"), text);
            const RunResult r =
                run_in(dir.path, {wildcard ? std::string("*.bas") : base + ".bas", "/v"});
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_EQ(read_file(dir / (base + ".bas")), "x = 1\r\n' 50% & more\r\n") << base;
            EXPECT_EQ(read_file(dir / (base + ".bkb")), text) << base;
            const std::string shown = base == odd ? shown_odd : base;
            if (base != odd || !under_wine()) {
                // Wine's console shows non-ASCII names in its own code page.
                EXPECT_NE(
                    screen(r).find(TVX "Copying   " + shown + ".bas --> " + shown + ".tmp \n"),
                    std::string::npos)
                    << screen(r);
            }
            if (base == odd) {
                // The batch script quotes the names and doubles the %.
                EXPECT_NE(read_file(dir / "Restore.bat")
                              .find("Copy  \"My 'Odd' 100%% & Co " + shown.substr(19) +
                                    ".bkb\"    \"My 'Odd' 100%% & Co " + shown.substr(19) +
                                    ".bas\"\r\n"),
                          std::string::npos);
                if (under_wine()) {
                    // The command interpreter reads a batch file in the OEM code
                    // page, the names are written in the ANSI one.
                    continue;
                }
            }
            ASSERT_TRUE(run_restore_sh(dir.path)) << base;
            EXPECT_EQ(read_file(dir / (base + ".bas")), text) << base;
        }
    }
}

TEST(Edges, BackslashInALinuxFileNameIsReportedNotLost) {
    // "\" separates folders in every name the program is given, so a file
    // whose name holds one cannot be named; it is reported and left alone.
    ScratchDir dir;
    write_file(dir / "a\\b.bas", "  x = 1\r\n");
    const RunResult r = run_in(dir.path, {"*.bas"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_SHOWN(r, std::string(TVX "Unable to open a\\b.bas for reading \n") + TVX
                        "The file probably doesn't exist \n\n");
    EXPECT_EQ(read_file(dir / "a\\b.bas"), "  x = 1\r\n");
}

// Puts the backup `stem`.bkb back by the restore script; under Wine by the
// test itself, as the command interpreter's Copy reaches no path past the
// classic length limit.
void restore_long(const std::string& dir, const std::string& stem) {
    if (under_wine()) {
        write_file(stem + ".bas", read_file(stem + ".bkb"));
        return;
    }
    ASSERT_TRUE(run_restore_sh(dir));
}

TEST(Edges, NameOfAThousandCharacters) {
    ScratchDir dir;
    // Four folders of 200 characters and a file name of 196: 1,000 in all,
    // each component within the 255 a file system allows.
    std::string rel; // as the user writes it, with "\"
    std::string os = dir.path;
    for (int i = 0; i < 4; ++i) {
        const std::string folder = std::string(199, static_cast<char>('a' + i)) + "d";
        rel += folder + "\\";
        os += "/" + folder;
        ASSERT_EQ(mkdir(os.c_str(), 0755), 0);
    }
    const std::string leaf = std::string(192, 'f');
    rel += leaf + ".bas";
    ASSERT_EQ(rel.size(), 1000U);
    write_file(os + "/" + leaf + ".bas", "  x = 1\r\n");
    const RunResult r = run_in(dir.path, {rel});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(os + "/" + leaf + ".bas"), "x = 1\r\n");
    EXPECT_EQ(read_file(os + "/" + leaf + ".bkb"), "  x = 1\r\n");
    EXPECT_FALSE(exists(os + "/" + leaf + ".tmp"));
    EXPECT_NE(read_file(dir / "Restore.bat").find(rel + "\r\n"), std::string::npos);
    restore_long(dir.path, os + "/" + leaf);
    EXPECT_EQ(read_file(os + "/" + leaf + ".bas"), "  x = 1\r\n");

    // The same path as a member of a project.
    write_file(dir / "P.vbp", "Module=Long; " + rel + "\r\n");
    const RunResult p = run_in(dir.path, {"P.vbp"});
    EXPECT_EQ(p.exit_code, 0);
    EXPECT_EQ(read_file(os + "/" + leaf + ".bas"), "x = 1\r\n");
    restore_long(dir.path, os + "/" + leaf);
    EXPECT_EQ(read_file(os + "/" + leaf + ".bas"), "  x = 1\r\n");
}

// ---------------------------------------------------------------------------
// A symbolic link as the source

std::string link_target(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

void check_link_run(const std::string& dir, const std::string& target) {
    const std::string text = "  x = 1\r\n";
    write_file(target, text);
    ASSERT_EQ(symlink(target.c_str(), (dir + "/Link.bas").c_str()), 0);
    for (const bool join_lines : {false, true}) {
        std::vector<std::string> args = {"Link.bas"};
        if (join_lines) {
            args.push_back("/s");
        }
        const RunResult r = run_in(dir, args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(link_target(dir + "/Link.bas"), target) << "the link is kept";
        EXPECT_EQ(read_file(target), "x = 1\r\n") << "its target is reformatted";
        struct stat st {};
        ASSERT_EQ(lstat((dir + "/Link.bkb").c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << "the backup is a copy, not a link";
        EXPECT_EQ(read_file(dir + "/Link.bkb"), text);
        ASSERT_TRUE(run_restore_sh(dir));
        EXPECT_EQ(link_target(dir + "/Link.bas"), target);
        EXPECT_EQ(read_file(target), text) << "restored through the link";
        unlink((dir + "/Link.tmp").c_str());
    }
}

TEST(Edges, SymbolicLinkAsTheSource) {
    if (under_wine()) {
        GTEST_SKIP() << "Wine follows a POSIX symbolic link as if it were the file itself";
    }
    ScratchDir dir;
    ASSERT_EQ(mkdir((dir / "real").c_str(), 0755), 0);
    check_link_run(dir.path, dir / "real/Target.bas");
}

TEST(Edges, SymbolicLinkToAnotherFileSystem) {
    if (under_wine()) {
        GTEST_SKIP() << "Wine follows a POSIX symbolic link as if it were the file itself";
    }
    ScratchDir dir;
    const std::string other = dir / "other";
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    if (mount("trevox-test", other.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "this machine does not let the test mount a file system";
    }
    check_link_run(dir.path, other + "/Target.bas");
    umount2(other.c_str(), MNT_DETACH);
}

// ---------------------------------------------------------------------------
// Links planted at the names the run writes

// A link at each name the run writes, leading to a file elsewhere: the run
// replaces the link with a file of its own and goes on; the file the link
// leads to comes out byte for byte as it was.
TEST(Edges, LinksAtTheNamesTheRunWritesLeadNowhere) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool stays; // the name holds a file of the run's own afterwards
    };
    const std::vector<Case> cases = {
        {"A.tmp", {"A.bas"}, false},           {"A.tmp", {"A.bas", "/s"}, true},
        {"A.tm2", {"A.bas", "/s"}, false},     {"A.bkb", {"A.bas"}, true},
        {"Restore.bat", {"A.bas"}, true},      {"Restore.sh", {"A.bas"}, true},
        {"Trevox.log", {"A.bas", "/z"}, true},
    };
    const std::string original = "  x = Foo(a, _\r\n      b)\r\n";
    const std::string victim_text = "another file's text\r\n";
    for (const Case& c : cases) {
        for (const bool symbolic : {true, false}) {
            if (under_wine() && (symbolic || std::string(c.name) == "Restore.sh")) {
                continue; // Wine shows a POSIX symbolic link as the file itself
            }
            const std::string what = std::string(c.name) + (symbolic ? " symbolic" : " hard") +
                                     (c.args.size() > 1 ? " " + c.args[1] : "");
            ScratchDir dir;
            ASSERT_EQ(mkdir((dir / "elsewhere").c_str(), 0755), 0);
            const std::string victim = dir / "elsewhere/victim.txt";
            write_file(victim, victim_text);
            write_file(dir / "A.bas", original);
            const std::string planted = dir / c.name;
            ASSERT_EQ(symbolic ? symlink(victim.c_str(), planted.c_str())
                               : link(victim.c_str(), planted.c_str()),
                      0);
            const RunResult r = run_in(dir.path, c.args);
            EXPECT_EQ(r.exit_code, 0) << what;
            EXPECT_EQ(screen(r).find("Unable"), std::string::npos) << what << screen(r);
            EXPECT_EQ(read_file(victim), victim_text) << what;
            struct stat st {};
            ASSERT_EQ(lstat(victim.c_str(), &st), 0);
            if (!symbolic) {
                EXPECT_EQ(st.st_nlink, 1U) << what << ": the planted name no longer leads to it";
            }
            EXPECT_EQ(read_file(dir / "A.bas"), c.args.size() > 1 && c.args[1] == "/s"
                                                    ? "x = Foo(a, b)\r\n"
                                                    : "x = Foo(a, _\r\nb)\r\n")
                << what;
            EXPECT_EQ(read_file(dir / "A.bkb"), original) << what;
            if (c.stays) {
                ASSERT_EQ(lstat(planted.c_str(), &st), 0) << what;
                EXPECT_TRUE(S_ISREG(st.st_mode)) << what;
            } else {
                EXPECT_FALSE(exists(planted)) << what;
            }
            ASSERT_TRUE(run_restore_sh(dir.path)) << what;
            EXPECT_EQ(read_file(dir / "A.bas"), original) << what;
            EXPECT_EQ(read_file(victim), victim_text) << what;
        }
    }
}

// ---------------------------------------------------------------------------
// Projects and groups

TEST(Edges, ProjectNamingItselfAFolderAndAPipe) {
    ScratchDir dir;
    const std::string project = "Form=Self.vbp\r\nModule=Me; Self.vbp\r\nForm=Dir.frm\r\n"
                                "Class=Pipe; Pipe.cls\r\nModule=A; A.bas\r\n";
    write_file(dir / "Self.vbp", project);
    ASSERT_EQ(mkdir((dir / "Dir.frm").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir / "Pipe.cls").c_str(), 0644), 0);
    write_file(dir / "A.bas", "  x = 1\r\n");
    const RunResult r = run_in(dir.path, {"Self.vbp"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_SHOWN(r, std::string(TVX "Unable to open Dir.frm for reading \n") +
                        TVX "The file probably doesn't exist \n\n" TVX
                            "Program will continue \n\n" +
                        kPause);
    EXPECT_SHOWN(r, std::string(TVX "Unable to open Pipe.cls for reading \n") + TVX
                        "The file probably doesn't exist \n\n");
    EXPECT_EQ(read_file(dir / "Self.vbp"), project);
    EXPECT_FALSE(exists(dir / "Self.bak"));
    EXPECT_FALSE(exists(dir / "Self.tmp"));
    EXPECT_FALSE(exists(dir / "Dir.bkf"));
    EXPECT_EQ(read_file(dir / "A.bas"), "x = 1\r\n");
}

TEST(Edges, GroupNamingItselfAndAFolderAsItsInput) {
    ScratchDir dir;
    write_file(dir / "G.vbg", "Project=G.vbg\r\nStartupProject=P.vbp\r\n");
    write_file(dir / "P.vbp", "Module=A; A.bas\r\n");
    write_file(dir / "A.bas", "  x = 1\r\n");
    RunResult r = run_in(dir.path, {"G.vbg"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "A.bas"), "x = 1\r\n");
    EXPECT_EQ(read_file(dir / "G.vbg"), "Project=G.vbg\r\nStartupProject=P.vbp\r\n");

    // A folder given as the run's input, under each kind of name.
    for (const std::string name : {"F.vbg", "F.vbp", "F.bas"}) {
        ASSERT_EQ(mkdir((dir / name).c_str(), 0755), 0);
        r = run_in(dir.path, {name});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_SHOWN(r, TVX "Unable to open " + name + " for reading \n" +
                            TVX "The file probably doesn't exist \n\n");
        rmdir((dir / name).c_str());
    }
}

TEST(Edges, EmptyListAndSourceFiles) {
    for (const std::string name : {"Empty.vbg", "Empty.vbp", "Empty.bas"}) {
        ScratchDir dir;
        write_file(dir / name, "");
        const RunResult r = run_in(dir.path, {name});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_SHOWN(r, TVX "Trevox  Ver. 1.2a Completed \n");
        EXPECT_EQ(read_file(dir / name), "");
        if (name == "Empty.bas") {
            EXPECT_SHOWN(r, "\n" TVX "Unable to read Empty.bas \n" TVX "Program will abort \n");
        } else {
            EXPECT_EQ(r.pauses, 1) << "nothing to report: only the final pause";
        }
    }
}

TEST(Edges, SettingsFileOfGarbage) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        ScratchDir dir;
        std::string garbage = random_bytes(seed, 4096);
        if (seed % 2 == 0) {
            garbage = "[Trevox]\r\nMaxLineLength = " + std::string(300, '9') + "\r\n" + garbage;
        }
        write_file(dir / "Trevox.INI", garbage);
        write_file(dir / "A.bas", "  x = 1\r\n");
        const RunResult r = run_in(dir.path, {"A.bas", "/s"});
        EXPECT_EQ(r.exit_code, 0) << seed;
        EXPECT_EQ(read_file(dir / "A.bkb"), "  x = 1\r\n");
        EXPECT_EQ(read_file(dir / "A.bas"), "x = 1\r\n") << seed;
    }
}

} // namespace
} // namespace e2e
