// Restore.bat carried out by a Windows command interpreter (Wine's cmd):
// after a run, every source is back byte for byte, also under names that
// hold blanks and the characters the interpreter treats specially.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace e2e {
namespace {

// The program that runs the command interpreter: the launcher of the binary
// under test, else TREVOX_E2E_CMD (e.g. "wine"); empty when there is none.
std::string cmd_launcher() {
    if (under_wine()) {
        return launcher();
    }
    const char* env = std::getenv("TREVOX_E2E_CMD");
    return env != nullptr ? env : "";
}

// Runs Restore.bat in `dir` with "cmd /c", its pause answered by a line on
// standard input. The exit code of the interpreter.
int run_restore_bat(const std::string& dir) {
    const std::string cmd =
        "cd '" + dir + "' && echo | " + cmd_launcher() + " cmd /c Restore.bat >.e2e-bat-out 2>&1";
    return std::system(cmd.c_str());
}

TEST(RestoreBat, CommandInterpreterPutsTheGroupBackByteForByte) {
    if (cmd_launcher().empty()) {
        GTEST_SKIP() << "no Windows command interpreter: set TREVOX_E2E_CMD=wine to run it";
    }
    ScratchDir dir;
    copy_examples(dir.path);
    const char* const sources[] = {"MainForm.frm", "Helpers.bas",   "Customer.cls",
                                   "Stack.cls",    "TextTools.bas", "About.frm"};
    std::map<std::string, std::string> before;
    for (const char* s : sources) {
        before[s] = read_file(dir / s);
    }
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Demo.vbg", "/t"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    for (const char* s : sources) {
        ASSERT_NE(read_file(dir / s), before.at(s)) << s << " was not reformatted";
    }
    ASSERT_EQ(run_restore_bat(dir.path), 0) << read_file(dir / ".e2e-bat-out");
    for (const char* s : sources) {
        EXPECT_EQ(read_file(dir / s), before.at(s)) << s << " not restored";
    }
}

TEST(RestoreBat, NamesWithBlanksAndSpecialCharactersComeBack) {
    if (cmd_launcher().empty()) {
        GTEST_SKIP() << "no Windows command interpreter: set TREVOX_E2E_CMD=wine to run it";
    }
    ScratchDir dir;
    const char* const names[] = {"My Mod.bas",   "A&B.bas",  "C^D.bas", "50%.bas",
                                 "x%PATH%y.bas", "p(1).bas", "q!r.bas", "Odd Form.frm"};
    std::map<std::string, std::string> before;
    int n = 0;
    for (const char* name : names) {
        before[name] = "  n = " + std::to_string(++n) + "\r\n";
        write_file(dir / name, before[name]);
    }
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"*.*"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    for (const char* name : names) {
        ASSERT_EQ(read_file(dir / name), before.at(name).substr(2))
            << name << " was not reformatted";
    }
    const std::string bat = read_file(dir / "Restore.bat");
    EXPECT_NE(bat.find("\"x%%PATH%%y.bkb\""), std::string::npos) << bat;
    ASSERT_EQ(run_restore_bat(dir.path), 0) << read_file(dir / ".e2e-bat-out");
    for (const char* name : names) {
        EXPECT_EQ(read_file(dir / name), before.at(name)) << name << " not restored";
    }
}

// A symbolic link and its target in one wildcard: Restore.bat gives back the
// original under every name.
TEST(RestoreBat, LinkAndItsTargetComeBackUnderEveryName) {
    if (cmd_launcher().empty()) {
        GTEST_SKIP() << "no Windows command interpreter: set TREVOX_E2E_CMD=wine to run it";
    }
    ScratchDir dir;
    const std::string original = plant_one_module_under_three_names(dir);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"*.bas"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    const char* const names[] = {"Alias.bas", "Target.bas", "Zlink.bas"};
    for (const char* name : names) {
        ASSERT_NE(read_file(dir / name), original) << name << " was not reformatted";
    }
    ASSERT_EQ(run_restore_bat(dir.path), 0) << read_file(dir / ".e2e-bat-out");
    for (const char* name : names) {
        EXPECT_EQ(read_file(dir / name), original) << name << " not restored";
    }
}

} // namespace
} // namespace e2e
