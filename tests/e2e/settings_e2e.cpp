// Settings file and switches end to end: /t, the settings file, joining
// (/s, MaxLineLength) and the activity log (/z).
#include "harness.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

const std::string kModule = crlf("Attribute VB_Name = \"Mod1\"\n"
                                 "Option Explicit\n"
                                 "\n"
                                 "' header comment\n"
                                 "Private   mX    As Long   ' state\n"
                                 "Public Sub Go()\n"
                                 "    Dim s As String\n"
                                 "    s = \"a\" & _\n"
                                 "        \"b\"   ' joined\n"
                                 "    Rem old\n"
                                 "    If s = \"it's\" Then s = \"\" ' reset\n"
                                 "\n"
                                 "End Sub\n");

const char* const kStamp = "   '-- $Reformatted by Trevox, Ver. 1.2a, on 03-14-00 at 09:05:30";

TEST(Settings, PackTightSwitchRemovesBlankLinesAndComments) {
    ScratchDir dir;
    write_file(dir / "Mod1.bas", kModule);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Mod1.bas", "/t"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    EXPECT_EQ(read_file(dir / "Mod1.bas"), crlf("Attribute VB_Name = \"Mod1\"\n"
                                                "Option Explicit" +
                                                std::string(kStamp) +
                                                "\n"
                                                "Private   mX As Long\n"
                                                "Public Sub Go()\n"
                                                "Dim s As String\n"
                                                "s = \"a\" & _\n"
                                                "\"b\"\n"
                                                "If s = \"it's\" Then s = \"\"\n"
                                                "End Sub\n"));
}

TEST(Settings, SettingsFileJoinsAndSwitchesAddToIt) {
    ScratchDir dir;
    write_file(dir / "Mod1.bas", kModule);
    write_file(dir / "trevox.ini", crlf("; run settings\n"
                                        "[Trevox]\n"
                                        "  CombineSplitLines = 1\n"
                                        "MaxLineLength=512\n"
                                        "RemoveComments = 0\n"));
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Mod1.bas", "/T"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    const std::string joined = crlf("Attribute VB_Name = \"Mod1\"\n"
                                    "Option Explicit" +
                                    std::string(kStamp) +
                                    "\n"
                                    "Private   mX As Long\n"
                                    "Public Sub Go()\n"
                                    "Dim s As String\n"
                                    "s = \"a\" & \"b\"\n"
                                    "If s = \"it's\" Then s = \"\"\n"
                                    "End Sub\n");
    EXPECT_EQ(read_file(dir / "Mod1.bas"), joined);
    EXPECT_NE(read_file(dir / "Mod1.tmp").find("s = \"a\" & _\r\n\"b\"\r\n"), std::string::npos)
        << "the temporary file keeps the text before joining";
    EXPECT_FALSE(exists(dir / "Mod1.tm2"));
    EXPECT_EQ(read_file(dir / "Mod1.bkb"), kModule);
}

TEST(Settings, SettingsFileAloneTurnsCommentRemovalOn) {
    ScratchDir dir;
    write_file(dir / "Mod1.bas", kModule);
    write_file(dir / "Trevox.INI", crlf("[TREVOX]\nRemoveComments = 1\nVerboseMode = 1\n"));
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Mod1.bas"};
    RunResult r = run_trevox(o);
    ASSERT_EQ(r.exit_code, 0);
    const std::string out = read_file(dir / "Mod1.bas");
    EXPECT_EQ(out.find("header comment"), std::string::npos);
    EXPECT_EQ(out.find("' state"), std::string::npos);
    EXPECT_NE(out.find("\r\n\r\n"), std::string::npos) << "blank lines stay";
    EXPECT_NE(r.terminal.find("Verbose Mode (/v Option)"), std::string::npos);
    EXPECT_NE(r.terminal.find("Copying   Mod1.bas --> Mod1.tmp"), std::string::npos);
}

TEST(Settings, MissingSettingsFileIsReportedAndDefaultsUsed) {
    ScratchDir dir;
    write_file(dir / "Mod1.bas", "  x = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Mod1.bas"};
    o.settings_file = false;
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    ASSERT_EQ(r.exit_code, 0);
    const std::string place = second_place_folder(dir.path);
    EXPECT_EQ(r.out.find("Trevox==>  Unable to open " + place +
                         "Trevox.INI for reading. \n\n"
                         "Trevox==>  The Trevox.INI file must be placed \n"
                         "Trevox==>  in the " +
                         place +
                         " directory to be used. \n\n"
                         "Trevox==>  Trevox will continue; using internal defaults and Command "
                         "Line \n"
                         "Trevox==>  Options as parameters \n\n"
                         "Trevox==>  Press Enter to continue \n"),
              0u)
        << r.out;
    EXPECT_EQ(read_file(dir / "Mod1.bas"), "x = 1\r\n");
}

TEST(ActivityLog, LogHoldsEveryLineOfEveryFileInOrder) {
    ScratchDir dir;
    write_file(dir / "A.bas", crlf("  a = \"100%s %d\"\n"));
    write_file(dir / "B.bas", crlf("\tb = 2\n  c = 3"));
    write_file(dir / "C.bas", crlf("d = 4\n"));
    write_file(dir / "Trevox.log", "log of an earlier run");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"*.bas", "/z"};
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "Trevox.log"), crlf("Created by Trevox on 03-14-00 at 09:05:30\n"
                                                  "Source Module is *.bas\n"
                                                  "\n"
                                                  "a = \"100%s %d\"\n"
                                                  "b = 2\n"
                                                  "c = 3d = 4\n"));
    EXPECT_NE(r.out.find("a = \"100%s %d\"\n"), std::string::npos) << "echoed unchanged";
    EXPECT_EQ(r.err.find("a = \"100"), std::string::npos) << "the echo is not mirrored";
}

TEST(ActivityLog, NoLogWithoutTheSwitch) {
    ScratchDir dir;
    write_file(dir / "A.bas", "  a = 1\r\n");
    write_file(dir / "Trevox.log", "log of an earlier run");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"A.bas"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    EXPECT_EQ(read_file(dir / "Trevox.log"), "log of an earlier run");
}

TEST(ActivityLog, JoiningLogsBothPasses) {
    ScratchDir dir;
    write_file(dir / "A.bas", crlf("x = 1 + _\n  2\n"));
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"A.bas", "/s/z"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    EXPECT_EQ(read_file(dir / "A.bas"), "x = 1 + 2\r\n");
    EXPECT_EQ(read_file(dir / "Trevox.log"), crlf("Created by Trevox on 03-14-00 at 09:05:30\n"
                                                  "Source Module is A.bas\n"
                                                  "\n"
                                                  "x = 1 + _\n"
                                                  "2\n"
                                                  "x = 1 + 2\n"));
}

} // namespace
} // namespace e2e
