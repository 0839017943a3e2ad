// The modes that write no file, end to end: --check and --diff over a tree
// (nothing written; the diff, applied by patch and git apply, gives what a
// run writes), their exit codes, the filter through a pipe, KeepLineEnds in
// a run and in the filter, and the README's pre-commit hook in a git
// repository.
#include "harness.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

#define TVX "Trevox==>  "
// The stamp of a run under the harness's SOURCE_DATE_EPOCH.
const std::string kStamp = "   '-- $Reformatted by Trevox, Ver. 1.2a, on 03-14-00 at 09:05:30";

// Every entry under `dir` (the harness's own files aside) with its
// permission bits, modification time and bytes.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string rel = fs::relative(e.path(), dir).string();
        struct stat st {};
        if (rel.rfind(".e2e-", 0) != 0 && lstat(e.path().c_str(), &st) == 0) {
            entries[rel] = std::to_string(st.st_mode) + " " + std::to_string(st.st_mtim.tv_sec) +
                           "." + std::to_string(st.st_mtim.tv_nsec) + " " +
                           (e.is_regular_file() ? read_file(e.path()) : "");
        }
    }
    return entries;
}

int shell(const std::string& command) {
    return std::system(command.c_str());
}

// The example group (all of it to reformat), a file in shape, a file stamped
// by an earlier run, an LF file to reformat in a folder, and an LF file in
// shape apart from its line ends.
const std::vector<std::string> kTreeNames = {"Demo.vbg", "Flat.bas", "Stamped.bas", "lf/Unix.bas",
                                             "Only.cls"};
void make_tree(const std::string& dir) {
    copy_examples(dir);
    write_file(dir + "/Flat.bas", "Attribute VB_Name = \"Flat\"\r\nx = 1\r\n");
    write_file(dir + "/Stamped.bas", "Option Explicit" + kStamp + "\r\nSub A()\r\nEnd Sub\r\n");
    fs::create_directory(dir + "/lf");
    write_file(dir + "/lf/Unix.bas", "Sub A()\n    Dim s     As String\nEnd Sub");
    write_file(dir + "/Only.cls", "Sub B()\nEnd Sub\n");
}

TEST(Modes, CheckAndDiffWriteNothingAndTheDiffGivesWhatARunWrites) {
    ScratchDir dir;
    make_tree(dir / "check");
    const auto before = snapshot(dir / "check");
    std::vector<std::string> args = {"--check"};
    args.insert(args.end(), kTreeNames.begin(), kTreeNames.end());
    RunResult r = run_args(dir / "check", args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "would reformat MainForm.frm\nwould reformat Helpers.bas\n"
                     "would reformat Customer.cls\nwould reformat Stack.cls\n"
                     "would reformat TextTools.bas\nwould reformat About.frm\n"
                     "would reformat lf/Unix.bas\nwould reformat Only.cls\n");
    EXPECT_EQ(r.err, "");
    args[0] = "--diff";
    r = run_args(dir / "check", args, false);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "");
    const std::string& diff = r.out_bytes;
    EXPECT_NE(diff.find("would reformat lf/Unix.bas\n--- lf/Unix.bas\n+++ lf/Unix.bas\n"
                        "@@ -1,3 +1,3 @@\n-Sub A()\n-    Dim s     As String\n"
                        "+Sub A()\r\n+Dim s As String\r\n End Sub\n\\ No newline at end of file\n"),
              std::string::npos)
        << diff;
    EXPECT_NE(diff.find("would reformat Only.cls\n"
                        "only the line ends of Only.cls would change (to CR LF)\n"),
              std::string::npos);
    EXPECT_EQ(snapshot(dir / "check"), before) << "bytes, times and listing as they were";

    write_file(dir / "changes.diff", diff);
    make_tree(dir / "patched");
    ASSERT_EQ(shell("cd '" + dir / "patched" + "' && patch -p0 -s <../changes.diff"), 0);
    make_tree(dir / "applied");
    ASSERT_EQ(
        shell("cd '" + dir / "applied" + "' && git apply -p0 --whitespace=nowarn ../changes.diff"),
        0);
    make_tree(dir / "run");
    RunOptions o;
    o.cwd = dir / "run";
    o.args = kTreeNames;
    o.args.push_back("/y");
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    for (const std::string name :
         {"MainForm.frm", "Helpers.bas", "Customer.cls", "Stack.cls", "TextTools.bas", "About.frm",
          "Flat.bas", "Stamped.bas", "lf/Unix.bas", "Only.cls"}) {
        SCOPED_TRACE(name);
        std::string ran = read_file(dir / "run/" + name);
        if (name == "MainForm.frm") { // the run's first Option Explicit line
            ASSERT_NE(ran.find(kStamp), std::string::npos);
            ran.erase(ran.find(kStamp), kStamp.size());
        }
        if (name == "Only.cls") { // named in one line, left to the run
            EXPECT_EQ(ran, crlf(read_file(dir / "check/Only.cls")));
            ran = read_file(dir / "check/Only.cls");
        }
        EXPECT_EQ(read_file(dir / "patched/" + name), ran);
        EXPECT_EQ(read_file(dir / "applied/" + name), ran);
    }
}

// 0: none would change; 1: some would; 2: an input could not be read or
// named nothing, the others still checked. No settings file: not mentioned.
TEST(Modes, CheckExitCodes) {
    const struct {
        std::vector<std::string> args;
        int exit_code;
        std::string out;
        std::string err; // a part of standard error ("": empty)
    } cases[] = {
        {{"--check", "Flat.bas"}, 0, "", ""},
        {{"Flat.bas", "Indented.bas", "--check"}, 1, "would reformat Indented.bas\n", ""},
        {{"--check", "Missing.bas", "Indented.bas"},
         2,
         "would reformat Indented.bas\n",
         TVX "Unable to open Missing.bas for reading \n" TVX "The file probably doesn't exist \n"},
        {{"--check", "None*.frm", "Empty.bas", "Notes.txt", "Indented.bas"},
         2,
         "would reformat Indented.bas\n",
         TVX "No Match Found for None*.frm \n" TVX "Unable to read Empty.bas \n" TVX
             "Invalid Input File Name \n"},
        {{"--check", "Blank.bas", "/b"}, 1, "would reformat Blank.bas\n", ""},
        {{"--check", "/b"}, 2, "", TVX "Usage: Trevox  SourceFileName  [Options] \n"},
        {{"--diff", "--check", "Indented.bas"},
         1,
         "would reformat Indented.bas\n--- Indented.bas\n+++ Indented.bas\n@@ -1 +1 @@\n"
         "-  x = 1\r\n+x = 1\r\n",
         ""},
        {{"--check", "-"},
         2,
         "",
         TVX "--check and - cannot be used together; nothing was changed \n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        ScratchDir dir;
        write_file(dir / "Flat.bas", "x = 1\r\n");
        write_file(dir / "Indented.bas", "  x = 1\r\n");
        write_file(dir / "Blank.bas", "x = 1\r\n\r\ny = 2\r\n");
        write_file(dir / "Empty.bas", "");
        write_file(dir / "Notes.txt", "notes\r\n");
        const auto before = snapshot(dir.path);
        const RunResult r = run_args(dir.path, c.args);
        EXPECT_EQ(r.exit_code, c.exit_code);
        // The diff's lines as stored; the check's lines as text.
        EXPECT_EQ(c.args[0] == "--diff" ? r.out_bytes : r.out, c.out);
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        }
        EXPECT_EQ(snapshot(dir.path), before);
    }
}

RunResult filter(const std::string& dir, const std::vector<std::string>& args,
                 const std::string& input) {
    RunOptions o;
    o.cwd = dir;
    o.args = args;
    o.with_terminal = false;
    o.stdin_bytes = input;
    return run_trevox(o);
}

TEST(Modes, FilterThroughAPipe) {
    ScratchDir dir;
    write_file(dir / "Trevox.INI", crlf("[Trevox]\nRemoveComments=1\n"));
    const auto before = snapshot(dir.path);
    RunResult r = filter(dir.path, {"-"}, "  a = 1 ' one\r\n\r\n    Dim x    As Long\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out_bytes, "a = 1\r\n\r\nDim x As Long\r\n");
    EXPECT_EQ(r.err, "");
    r = filter(dir.path, {"--stdin", "/b"}, "Option Explicit\r\n\r\nx = 1\r\n");
    EXPECT_EQ(r.out_bytes, "Option Explicit\r\nx = 1\r\n") << "no stamp";
    r = filter(dir.path, {"-"}, "");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out_bytes + r.err, "");
    r = filter(dir.path, {"-", "Main.frm"}, "x = 1\r\n");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out_bytes, "");
    EXPECT_EQ(r.err, TVX "The filter reads standard input and takes no name: Main.frm \n");

    // Three megabytes, as the pipe gives them.
    std::string big;
    std::string flat;
    for (int i = 0; i < 200000; ++i) {
        big += "    x" + std::to_string(i) + " = 1\n";
        flat += "x" + std::to_string(i) + " = 1\r\n";
    }
    r = filter(dir.path, {"-"}, big);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out_bytes == flat) << "the big text differs";
    EXPECT_EQ(snapshot(dir.path), before) << "the filter writes no file";

    // Any bytes: what a run writes in the file's place.
    std::string bytes;
    unsigned state = 2024;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>(state >> 16);
        if (i % 97 == 0) {
            bytes += "\r\n    Dim a    As Long ' c _\n  next _\r\n";
        }
    }
    write_file(dir / "Random.bas", bytes);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Random.bas", "/y", "/t", "/s"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    EXPECT_TRUE(filter(dir.path, {"-", "/t", "/s"}, bytes).out_bytes ==
                read_file(dir / "Random.bas"));
}

// KeepLineEnds: an LF text stays LF, a mixed one gets CR LF, in the run (by
// option or settings key) and in the filter; without it everything gets CR LF.
TEST(Modes, KeepLineEnds) {
    const std::string lf = "Sub A()\n    x = 1\nEnd Sub\n";
    const std::string mixed = "Sub A()\r\n    x = 1\nEnd Sub\r\n";
    const std::string flat_lf = "Sub A()\nx = 1\nEnd Sub\n";
    const std::string flat_crlf = "Sub A()\r\nx = 1\r\nEnd Sub\r\n";
    const struct {
        std::vector<std::string> options;
        const char* ini;
        std::string lf_result;
    } cases[] = {
        {{"--keep-line-ends"}, "", flat_lf},
        {{}, "[Trevox]\r\nKeepLineEnds=1\r\n", flat_lf},
        {{}, "", flat_crlf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        ScratchDir dir;
        write_file(dir / "Lf.bas", lf);
        write_file(dir / "Mixed.bas", mixed);
        write_file(dir / "Trevox.INI", c.ini);
        RunOptions o;
        o.cwd = dir.path;
        o.args = c.options;
        o.args.insert(o.args.end(), {"Lf.bas", "Mixed.bas", "/y"});
        EXPECT_EQ(run_trevox(o).exit_code, 0);
        EXPECT_EQ(read_file(dir / "Lf.bas"), c.lf_result);
        EXPECT_EQ(read_file(dir / "Mixed.bas"), flat_crlf);
        std::vector<std::string> args = c.options;
        args.push_back("-");
        EXPECT_EQ(filter(dir.path, args, lf).out_bytes, c.lf_result);
        EXPECT_EQ(filter(dir.path, args, mixed).out_bytes, flat_crlf);
    }
}

// doc/pre-commit, as the README shows it, in a git repository: a commit of a
// file out of shape is refused with its diff, the file reformatted is
// committed, and a commit without Visual Basic files is not held up.
TEST(Modes, PreCommitHookExample) {
    const std::string hook = read_file(TREVOX_SOURCE_DIR "/doc/pre-commit");
    ASSERT_NE(hook, "");
    EXPECT_NE(read_file(TREVOX_SOURCE_DIR "/README.md").find(hook), std::string::npos)
        << "the README shows doc/pre-commit as it is";
    ScratchDir dir;
    const std::string repo = dir / "repo";
    std::string program = binary_under_test();
    if (under_wine()) {
        program = dir / "trevox-wine";
        write_file(program,
                   "#!/bin/sh\nexec " + launcher() + " '" + binary_under_test() + "' \"$@\"\n");
        ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    }
    const std::string git = "cd '" + repo + "' && HOME='" + dir.path +
                            "' GIT_CONFIG_NOSYSTEM=1 TREVOX='" + program +
                            "' git -c user.name=t -c user.email=t@example.com ";
    fs::create_directory(repo);
    ASSERT_EQ(shell(git + "init -q"), 0);
    write_file(repo + "/.git/hooks/pre-commit", hook);
    ASSERT_EQ(chmod((repo + "/.git/hooks/pre-commit").c_str(), 0755), 0);
    write_file(repo + "/notes.txt", "  anything\n");
    ASSERT_EQ(shell(git + "add notes.txt && " + git + "commit -q -m notes >/dev/null 2>&1"), 0);

    fs::create_directory(repo + "/my forms");
    write_file(repo + "/my forms/Main.frm", "Sub A()\n    x = 1\nEnd Sub\n");
    write_file(repo + "/Tools.bas", "Sub B()\nEnd Sub\n");
    ASSERT_EQ(shell(git + "add . >/dev/null"), 0);
    // Git shows a hook's standard output on its standard error.
    EXPECT_NE(shell(git + "commit -q -m forms >'" + dir / "out" + "' 2>&1"), 0);
    const std::string out = read_file(dir / "out");
    EXPECT_NE(out.find("would reformat my forms/Main.frm\n"), std::string::npos) << out;
    EXPECT_NE(out.find("-    x = 1\n+x = 1\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Tools.bas"), std::string::npos) << "an LF file in shape passes";
    EXPECT_NE(out.find("pre-commit:"), std::string::npos) << out;

    write_file(repo + "/my forms/Main.frm", "Sub A()\nx = 1\nEnd Sub\n");
    ASSERT_EQ(shell(git + "add . >/dev/null"), 0);
    EXPECT_EQ(shell(git + "commit -q -m forms >/dev/null 2>&1"), 0);
}

} // namespace
} // namespace e2e
