// The run from start to exit: usage, confirmation, banners, mirroring, exit
// codes, and a single source file reformatted end to end.
#include "harness.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <csignal>
#include <cstdlib>

namespace e2e {
namespace {

std::string real(const std::string& path) {
    char buf[PATH_MAX];
    return shown_dir(realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path);
}

std::string banner(const std::string& cwd, const char* title = "Trevox Source Code") {
    return std::string("Trevox==>  Ver. 1.2a   March 14, 2000 \n") + "Trevox==>  " + title + " \n" +
           "Trevox==>  Written and maintained by the Trevox developers \n" +
           "Trevox==>  Mail: see the README of your Trevox copy \n" +
           "Trevox==>  Current Working Directory is " + cwd + " \n\n";
}

const char* const usage_text =
    "Trevox==>  Trevox  Ver. 1.2a of March 14, 2000 \n"
    "\n"
    "Trevox==>  Usage: Trevox  SourceFileName  [Options] \n"
    "\n"
    "Trevox==>  Options (See also the Trevox.ini file): \n"
    "Trevox==>     /t   - Pack Tight -- invokes the \n"
    "Trevox==>            /b and /c options \n"
    "Trevox==>     /b   - Remove Blank Lines \n"
    "Trevox==>     /c   - Remove Comments \n"
    "Trevox==>     /l   - List Mode -- show scrolling list of activity \n"
    "Trevox==>     /v   - Verbose Mode -- pause after processing each file \n"
    "Trevox==>     /?   - List all the options.   \n"
    "Trevox==>            Used by itself, without filenames \n"
    "Trevox==>  Note: Options are not case sensitive \n"
    "\n"
    "Trevox==>  For the latest updates and product information: \n"
    "Trevox==>     Web: the Trevox project page \n"
    "Trevox==>     Mail: the Trevox developers \n";

const char* const confirm_text = "Trevox==>  This program will, at a minimum, remove all leading \n"
                                 "Trevox==>  blanks and tabs from the input file(s). \n"
                                 "Trevox==>  Are you sure you want to continue (Y-N)? \n";

std::string strip_cr(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c != '\r') {
            out += c;
        }
    }
    return out;
}

TEST(RunFlow, UsageScreenWithoutArgumentsOrWithSlashQuestion) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"/?"},
          std::vector<std::string>{"/?x"}, std::vector<std::string>{"/?", "Form1.frm"},
          std::vector<std::string>{"/b", "Form1.frm"}}) {
        // A switch before any name leaves no input name: usage, nothing touched.
        ScratchDir dir;
        write_file(dir / "Form1.frm", "  x = 1\r\n");
        RunOptions o;
        o.cwd = dir.path;
        o.args = args;
        o.stdout_to_file = true;
        RunResult r = run_trevox(o);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out,
                  banner(real(dir.path)) + usage_text + "Trevox==>  Press Enter to continue \n");
        EXPECT_EQ(r.err, "") << "nothing is mirrored before the confirmation";
        EXPECT_FALSE(exists(dir / "Restore.bat"));
        EXPECT_EQ(read_file(dir / "Form1.frm"), "  x = 1\r\n");
    }
}

// --help, -h and --version answer on standard output and end at once: no
// screen clear, no settings file (none is there, and nothing says so), no
// question, no pause, exit code 0, wherever they stand among the arguments.
TEST(RunFlow, HelpAndVersionAnswerAtOnce) {
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"--help"}, usage_text},
        {{"-h"}, usage_text},
        {{"Form1.frm", "/t", "--help"}, usage_text},
        {{"--version"}, "trevox 1.2a (package " TREVOX_PACKAGE_VERSION ")\n"},
        {{"--version", "--help"}, "trevox 1.2a (package " TREVOX_PACKAGE_VERSION ")\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        ScratchDir dir;
        write_file(dir / "Form1.frm", "  x = 1\r\n");
        const RunResult r = run_args(dir.path, c.args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(dir / "Form1.frm"), "  x = 1\r\n");
        EXPECT_FALSE(exists(dir / "Restore.bat"));
    }
}

// An unknown option, anywhere, is refused on standard error with exit code
// 2 before anything is done; so is a word with one "-" that names nothing,
// while one that names a file is a name.
TEST(RunFlow, UnknownOptionIsRefusedBeforeAnything) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--word"}, std::vector<std::string>{"Form1.frm", "/y", "--word"},
          std::vector<std::string>{"-word", "Form1.frm"}}) {
        ScratchDir dir;
        write_file(dir / "Form1.frm", "  x = 1\r\n");
        RunOptions o;
        o.cwd = dir.path;
        o.args = args;
        o.settings_file = false;
        o.stdout_to_file = true;
        const RunResult r = run_trevox(o);
        const std::string& word = args[0] == "Form1.frm" ? args[2] : args[0];
        EXPECT_EQ(r.exit_code, 2) << word;
        EXPECT_EQ(r.err, "Trevox==>  Unknown option " + word +
                             "; nothing was changed \n"
                             "Trevox==>  trevox --help shows the usage \n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(read_file(dir / "Form1.frm"), "  x = 1\r\n");
        EXPECT_FALSE(exists(dir / "Restore.bat"));
    }
    ScratchDir dir;
    write_file(dir / "-Old.bas", "  x = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"-Old.bas"};
    EXPECT_EQ(run_trevox(o).exit_code, 0);
    EXPECT_EQ(read_file(dir / "-Old.bas"), "x = 1\r\n");
}

TEST(RunFlow, DeclinedConfirmationTouchesNothing) {
    for (char key : {'n', '\r', 'x'}) {
        ScratchDir dir;
        write_file(dir / "Restore.bat", "old script");
        write_file(dir / "Form1.frm", "  x = 1\r\n");
        RunOptions o;
        o.cwd = dir.path;
        o.args = {"Form1.frm"};
        o.confirm_key = key;
        RunResult r = run_trevox(o);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.confirms, 1);
        EXPECT_EQ(r.pauses, 0);
        EXPECT_EQ(read_file(dir / "Restore.bat"), "old script");
        EXPECT_EQ(read_file(dir / "Form1.frm"), "  x = 1\r\n");
        EXPECT_FALSE(exists(dir / "Form1.tmp"));
        EXPECT_NE(strip_cr(r.terminal).find(confirm_text), std::string::npos);
    }
}

// Keys typed ahead answer a pause at once, and every further waiting key is
// discarded with it: an arrow key's several codes and whole answers typed for
// the pauses to come. The next pause waits for a key of its own.
TEST(RunFlow, KeysTypedAheadOfAPauseAreDiscarded) {
    ScratchDir dir;
    for (const char* n : {"A.bas", "B.bas", "C.bas"}) {
        write_file(dir / n, "  x = 1\r\n");
    }
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"*.bas", "/v"};
    o.first_pause_keys = "\r\x1b[Ay\r\r\r";
    o.pause_key = 0;
    // Held at the second pause long enough for any key left over to answer it.
    o.stop_when = [](const RunResult& now) { return now.pauses >= 2; };
    o.stop_after_us = 1500000;
    const RunResult r = run_trevox(o);
    ASSERT_FALSE(r.timed_out);
    EXPECT_TRUE(r.stop_sent) << "the run went on without waiting:\n" << screen(r);
    EXPECT_EQ(r.signal, SIGKILL);
    EXPECT_EQ(r.pauses, 2) << screen(r);
    EXPECT_EQ(read_file(dir / "A.bas"), "x = 1\r\n");
    EXPECT_EQ(read_file(dir / "B.bas"), "x = 1\r\n");
    EXPECT_EQ(read_file(dir / "C.bas"), "  x = 1\r\n") << "no key answered the second pause";
}

TEST(RunFlow, NoTerminalEndsWithExitOneAndTouchesNothing) {
    ScratchDir dir;
    write_file(dir / "Form1.frm", "  x = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Form1.frm"};
    o.with_terminal = false;
    RunResult r = run_trevox(o);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find(confirm_text), std::string::npos);
    EXPECT_NE(r.out.find("needs a terminal"), std::string::npos) << r.out;
    EXPECT_FALSE(exists(dir / "Restore.bat"));
    EXPECT_EQ(read_file(dir / "Form1.frm"), "  x = 1\r\n");
}

TEST(RunFlow, BadSourceDateEpochStopsBeforeAnything) {
    ScratchDir dir;
    write_file(dir / "Form1.frm", "  x = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Form1.frm"};
    o.source_date_epoch = "12ab";
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.confirms, 0);
    EXPECT_NE(r.out.find("SOURCE_DATE_EPOCH"), std::string::npos);
    EXPECT_FALSE(exists(dir / "Restore.bat"));
}

// A form with every construct the pump treats, reformatted with defaults.
TEST(RunFlow, SingleFormReformattedByteForByte) {
    ScratchDir dir;
    const std::string source = crlf("VERSION 5.00\n"
                                    "Begin VB.Form Form1 \n"
                                    "   Caption         =   \"Demo\"   'kept\n"
                                    "   Begin VB.CommandButton cmd \n"
                                    "   End\n"
                                    "End\n"
                                    "Attribute VB_Name = \"Form1\"\n"
                                    "Attribute VB_Exposed = False\n"
                                    "   Option Explicit   ' old note\n"
                                    "\n"
                                    "  \t\n"
                                    "Private   mName    As String\n"
                                    "\tDim  x   As Long ' counter\n"
                                    "Option Explicit\n"
                                    "    '$Protect\n"
                                    "    Const  A    As Long = 1\n"
                                    "  '$UnProtect not the end\n"
                                    "'$UnProtect\n"
                                    "    x = 1\n"
                                    "  End Sub");
    const std::string expected = crlf("VERSION 5.00\n"
                                      "Begin VB.Form Form1 \n"
                                      "   Caption         =   \"Demo\"   'kept\n"
                                      "   Begin VB.CommandButton cmd \n"
                                      "   End\n"
                                      "End\n"
                                      "Attribute VB_Name = \"Form1\"\n"
                                      "Attribute VB_Exposed = False\n"
                                      "   Option Explicit   ' old note\n"
                                      "\n"
                                      "\n"
                                      "Private   mName As String\n"
                                      "Dim  x As Long ' counter\n"
                                      "Option Explicit   '-- $Reformatted by Trevox, Ver. "
                                      "1.2a, on 03-14-00 at 09:05:30\n"
                                      "'$Protect\n"
                                      "    Const  A    As Long = 1\n"
                                      "  '$UnProtect not the end\n"
                                      "'$UnProtect\n"
                                      "x = 1\n"
                                      "End Sub");
    write_file(dir / "Form1.frm", source);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Form1.frm"};
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "Form1.frm"), expected);
    EXPECT_FALSE(exists(dir / "Form1.tmp"));
    EXPECT_EQ(read_file(dir / "Form1.bkf"), source);
    EXPECT_NE(strip_cr(r.terminal).find("Trevox==>  Trevox  Ver. 1.2a Completed \n"),
              std::string::npos);
}

TEST(RunFlow, RedirectedOutputIsMirroredFromTheRunBannerOn) {
    ScratchDir dir;
    write_file(dir / "Form1.bas", "  x = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Form1.bas"};
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    const std::string cwd = real(dir.path);
    const std::string run_part = banner(cwd, "Reformat Visual Basic Source Code") +
                                 "Trevox==>  Trevox  Ver. 1.2a Completed \n"
                                 "Trevox==>  Copyright (c) 2000 the Trevox developers \n"
                                 "Trevox==>  Press Enter to continue \n";
    EXPECT_EQ(r.out, banner(cwd) + confirm_text + banner(cwd) + run_part);
    EXPECT_EQ(r.err, run_part);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no clear-screen bytes";
    EXPECT_EQ(read_file(dir / "Form1.bas"), "x = 1\r\n");
    EXPECT_EQ(r.terminal.find("Trevox==>"), std::string::npos) << "nothing on the terminal";
}

TEST(RunFlow, UnusualBytesSurvive) {
    ScratchDir dir;
    std::string long_line(100000, 'a');
    long_line.replace(600, 6, "  \"  \"");
    std::string source = "  " + long_line + "\r\n";
    source += std::string("x = \"a\x1a") + "b\"\r\n"; // Ctrl-Z inside the text
    source += std::string("y = \"\0z\"\r\n", 10);     // NUL
    source += "z = 1\rw = 2\r\n";                     // lone CR
    source += "last\x1a\x1a";                         // Ctrl-Z run at the end
    write_file(dir / "Mod1.bas", source);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Mod1.bas"};
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    std::string expected = long_line + "\r\n";
    expected += std::string("x = \"a\x1a") + "b\"\r\n";
    expected += std::string("y = \"\0z\"\r\n", 10);
    expected += "z = 1\rw = 2\r\n";
    expected += "last";
    EXPECT_EQ(read_file(dir / "Mod1.bas"), expected);
    EXPECT_EQ(read_file(dir / "Mod1.bkb"), source);
}

TEST(RunFlow, ReadOnlySourceIsLeftUntouched) {
    ScratchDir dir;
    write_file(dir / "Mod1.bas", "  x = 1\r\n");
    chmod((dir / "Mod1.bas").c_str(), 0444);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Mod1.bas"};
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "Mod1.bas"), "  x = 1\r\n");
    EXPECT_EQ(read_file(dir / "Mod1.tmp"), "x = 1\r\n");
    const std::string t = strip_cr(r.terminal);
    EXPECT_NE(t.find("Trevox==>  Error on delete of Mod1.bas file \n"), std::string::npos);
    EXPECT_NE(t.find("Trevox==>  Output will be in Mod1.tmp \n"), std::string::npos);
}

TEST(RunFlow, InvalidInputNames) {
    for (const char* name : {"Form1.FRM", "*.BAS", "x.txt"}) {
        ScratchDir dir;
        RunOptions o;
        o.cwd = dir.path;
        o.args = {name};
        o.stdout_to_file = true;
        RunResult r = run_trevox(o);
        EXPECT_EQ(r.exit_code, 0) << name;
        EXPECT_NE(r.out.find("Trevox==>  Invalid Input File Name \n"
                             "Trevox==>  No processing occured \n\n"),
                  std::string::npos)
            << name;
        EXPECT_EQ(read_file(dir / "Restore.bat").find("Copy"), std::string::npos);
    }
}

// Words after the first switch are switches or reported like invalid names;
// none of them turns on a switch by its first letter or is processed.
TEST(RunFlow, NamesAfterTheOptionsAreInvalidNames) {
    ScratchDir dir;
    write_file(dir / "A.bas", "  ' note\r\n\r\n  a = 1\r\n");
    write_file(dir / "Big.bas", "  b = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"A.bas", "/v", "Big.bas", "tight"};
    o.stdout_to_file = true;
    const RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "A.bas"), "' note\r\n\r\na = 1\r\n") << "neither /b nor /t";
    EXPECT_EQ(read_file(dir / "Big.bas"), "  b = 1\r\n");
    EXPECT_EQ(count(r.out, "Trevox==>  Invalid Input File Name \n"
                           "Trevox==>  No processing occured \n\n"),
              2);
    EXPECT_NE(r.out.find("Verbose Mode (/v Option)"), std::string::npos);
    EXPECT_EQ(count(read_file(dir / "Restore.bat"), "Copy"), 1);
}

TEST(RunFlow, NameInAFolderWithADotIsASourceFile) {
    ScratchDir dir;
    mkdir((dir / "my.src").c_str(), 0755);
    write_file(dir / "my.src/Form1.frm", "  x = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"my.src\\Form1.frm"};
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "my.src/Form1.frm"), "x = 1\r\n");
    EXPECT_FALSE(exists(dir / "my.tmp"));
    EXPECT_FALSE(exists(dir / "my.src/Form1.tmp"));
}

} // namespace
} // namespace e2e
