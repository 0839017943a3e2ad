#include "inputs/inputs.h"

#include "console/console.h"
#include "jobs/backup.h"
#include "jobs/job.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace trevox {
namespace {

namespace fs = std::filesystem;

const char* const kSourceSet[] = {".frm", ".bas", ".cls"};

using test::read_bytes;
using test::write_bytes;

// The source names of the Restore.bat entries, in order, as written there.
std::vector<std::string> restored_sources() {
    std::vector<std::string> out;
    std::istringstream in(read_bytes("Restore.bat"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Copy  ", 0) != 0) {
            continue;
        }
        if (line.back() == '\r') {
            line.pop_back();
        }
        std::size_t at = 6;
        at = line[at] == '"' ? line.find('"', at + 1) + 1 : line.find(' ', at);
        at = line.find_first_not_of(' ', at);
        out.push_back(line.substr(at));
    }
    return out;
}

TEST(InputsExtension, TestCoversFourCharactersFromTheLastComponent) {
    struct Case {
        const char* name;
        bool accepted;
        const char* after; // the name after the in-place lower-casing
    };
    const Case cases[] = {
        {"Main.frm", true, "Main.frm"},
        {"Main.FRM", true, "Main.frm"},
        {"Main.frm.txt", true, "Main.frm.txt"},
        {"Main.frmx", true, "Main.frmx"},
        {"MAIN.Frm.TXT", true, "MAIN.frm.txt"},
        {"Main.Form.frm", false, "Main.form.frm"},
        {"Main", false, "Main"},
        {"Main.fr", false, "Main.fr"},
        {"Notes.txt", false, "Notes.txt"},
        {"..\\Shared\\Main.frm", true, "..\\Shared\\Main.frm"},
        {"My.Dir\\Tools.BAS", true, "My.Dir\\Tools.bas"},
        {"dir.frm/noext", false, "dir.frm/noext"},
        {"Main.bkf", false, "Main.bkf"},
        {"Main.tmp", false, "Main.tmp"},
    };
    for (const Case& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(has_accepted_extension(name, kSourceSet, 3), c.accepted) << c.name;
        EXPECT_EQ(name, c.after) << c.name;
    }
    const char* const group_set[] = {".vbp"};
    std::string vbp = "Main.VBP";
    EXPECT_TRUE(has_accepted_extension(vbp, group_set, 1));
    std::string frm = "Main.frm";
    EXPECT_FALSE(has_accepted_extension(frm, group_set, 1));
}

TEST(InputsMemberPath, TextAfterKeyOrAfterFirstSemicolonBlank) {
    struct Case {
        const char* line;
        const char* path;
    };
    const Case cases[] = {
        {"Form=Main.frm\n", "Main.frm"},
        {"Form=Main.frm", "Main.frm"}, // last line without newline
        {"Module=Tools; Tools.bas\n", "Tools.bas"},
        {"Class=Stack; Stack.cls\n", "Stack.cls"},
        {"StartupProject=Billing.vbp\n", "Billing.vbp"},
        {"Form=My Forms\\Main.frm\n", "My Forms\\Main.frm"},
        {"Module=Tools; My Mods\\Tools; v2.bas\n", "My Mods\\Tools; v2.bas"},
        {"Form=Main.frm \t \n", "Main.frm"},
        {"Form=..\\Shared\\Main.frm\n", "..\\Shared\\Main.frm"},
        {"Form=\n", ""},
        {"Form= \n", ""},
        {"Module=Tools; \n", ""},
    };
    std::string out = "left over";
    for (const Case& c : cases) {
        take_member_path(c.line, out);
        EXPECT_EQ(out, c.path) << c.line;
    }
}

TEST(InputsListLine, KeysAreCaseSensitiveAtTheFirstCharacter) {
    struct Case {
        const char* line;
        ListKind kind;
        bool used;
        const char* member;
    };
    const Case cases[] = {
        {"Form=Main.FRM\n", ListKind::project, true, "Main.frm"},
        {"Class=Stack; Stack.cls\n", ListKind::project, true, "Stack.cls"},
        {"Module=Tools; Tools.bas\n", ListKind::project, true, "Tools.bas"},
        {"form=Main.frm\n", ListKind::project, false, ""},
        {"Form =Main.frm\n", ListKind::project, false, ""},
        {" Form=Main.frm\n", ListKind::project, false, ""},
        {"UserControl=Ctl.ctl\n", ListKind::project, false, ""},
        {"Designer=Report.dsr\n", ListKind::project, false, ""},
        {"Form=Main.frm \n", ListKind::project, true, "Main.frm"},
        {"Form=..\\Shared\\Main.frm\n", ListKind::project, true, "..\\Shared\\Main.frm"},
        {"Form=NoExtension\n", ListKind::project, false, "NoExtension"},
        {"Form=Lib.vbp\n", ListKind::project, false, "Lib.vbp"},
        {"Project=Main.vbp\n", ListKind::group, true, "Main.vbp"},
        {"StartupProject=Main.VBP\n", ListKind::group, true, "Main.vbp"},
        {"Project=..\\Lib\\Lib.vbp\n", ListKind::group, true, "..\\Lib\\Lib.vbp"},
        {"Form=Main.frm\n", ListKind::group, false, ""},
        {"Project=Main.frm\n", ListKind::project, false, ""},
        {"VBGROUP 5.0\n", ListKind::group, false, ""},
    };
    std::string member;
    for (const Case& c : cases) {
        EXPECT_EQ(accept_list_line(c.line, c.kind, member), c.used) << c.line;
        if (c.used) {
            EXPECT_EQ(member, c.member) << c.line;
        }
    }
}

TEST(InputsWildcard, DirectoryPartOfThePatternIsKept) {
    struct Case {
        const char* pattern;
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"*.bas", "Module1.bas", "Module1.bas"},
        {"lib\\*.bas", "Module1.bas", "lib\\Module1.bas"},
        {"..\\my.src/F*.frm", "Form1.frm", "..\\my.src/Form1.frm"},
        {"/abs/dir/*.*", "a.cls", "/abs/dir/a.cls"},
    };
    std::string out;
    for (const Case& c : cases) {
        wildcard_member_path(c.pattern, c.name, out);
        EXPECT_EQ(out, c.path) << c.pattern;
    }
}

// A fresh working directory with an open restore script, the state of every
// subsystem involved reset.
class InputsDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        run_state_reset();
        restore_reset();
        inputs_reset();
        job_reset();
        g_run.restore_stamp_line = "echo .  Created by Trevox on 03-14-00 at 09:05:30\n";
        ASSERT_EQ(create_restore_script(), 0);
    }
    void TearDown() override {
        inputs_reset();
        restore_reset();
    }

    test::ScratchDir scratch_{"inputs"};
};

TEST_F(InputsDisk, NoMatchIsReportedOnStandardOutput) {
    testing::internal::CaptureStdout();
    const int result = process_wildcard("*.frm");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out, "Trevox==>  No Match Found for *.frm \n");
    EXPECT_EQ(g_job.multi_file_mode, 0);
    EXPECT_EQ(g_run.job_failures, 1);
}

TEST_F(InputsDisk, OnlyOtherExtensionsProcessNothingQuietly) {
    write_bytes("Notes.txt", "x\r\n");
    fs::create_directory("Dir.frm");
    testing::internal::CaptureStdout();
    const int result = process_wildcard("*.*");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(g_job.multi_file_mode, 1);
    close_restore_script();
    EXPECT_TRUE(restored_sources().empty());
}

TEST_F(InputsDisk, WildcardProcessesAcceptedNamesInNameOrder) {
    write_bytes("Main.frm", "Option Explicit\r\n");
    write_bytes("Tools.BAS", "Sub A()\r\nEnd Sub\r\n");
    write_bytes("Notes.txt", "notes\r\n");
    write_bytes("Old.frm.txt", "old\r\n");
    write_bytes("apple.cls", "x\r\n");
    EXPECT_EQ(process_wildcard("*.*"), 0);
    EXPECT_EQ(g_job.multi_file_mode, 1);
    close_restore_script();
    const std::vector<std::string> expected = {"apple.cls", "Main.frm", "Old.frm.txt", "Tools.BAS"};
    EXPECT_EQ(restored_sources(), expected);
    EXPECT_EQ(read_bytes("Tools.bkb"), "Sub A()\r\nEnd Sub\r\n");
    EXPECT_EQ(read_bytes("Notes.txt"), "notes\r\n");
}

TEST_F(InputsDisk, WildcardWithDirectoryPartWorksInThatDirectory) {
    fs::create_directory("lib");
    write_bytes("lib/Module1.bas", "  Dim A As Long\r\n");
    write_bytes("Module1.bas", "  untouched\r\n");
    EXPECT_EQ(process_wildcard("lib\\*.bas"), 0);
    close_restore_script();
    const std::vector<std::string> expected = {"lib\\Module1.bas"};
    EXPECT_EQ(restored_sources(), expected);
    EXPECT_EQ(read_bytes("lib/Module1.bkb"), "  Dim A As Long\r\n");
    EXPECT_FALSE(fs::exists("Module1.bkb"));
    EXPECT_EQ(read_bytes("Module1.bas"), "  untouched\r\n");
}

TEST_F(InputsDisk, ProjectWithAMissingMemberGoesOn) {
    write_bytes("App.vbp", "Type=Exe\r\n"
                           "Form=Missing.frm\r\n"
                           "form=Skipped.frm\r\n"
                           "Module=Tools; Tools.bas\r\n"
                           "Class=Stack; Stack.CLS\r\n"
                           "Reference=*\\G{0}#2.0#0#stdole2.tlb#OLE\r\n"
                           "Form=My Forms\\Main.frm");
    write_bytes("Skipped.frm", "x\r\n");
    write_bytes("Tools.bas", "Sub A()\r\n");
    write_bytes("Stack.cls", "Sub B()\r\n");
    fs::create_directory("My Forms");
    write_bytes("My Forms/Main.frm", "Sub C()\r\n");

    testing::internal::CaptureStdout();
    const int result = process_project("App.vbp");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(g_job.multi_file_mode, 1);
    close_restore_script();
    const std::vector<std::string> expected = {"Tools.bas", "Stack.cls", "\"My Forms\\Main.frm\""};
    EXPECT_EQ(restored_sources(), expected);
    EXPECT_FALSE(fs::exists("Skipped.bkf"));
    EXPECT_EQ(read_bytes("My Forms/Main.bkf"), "Sub C()\r\n");
}

TEST_F(InputsDisk, MemberPathLongerThanAReadPieceIsHeldWhole) {
    std::string path;
    std::string disk_path;
    for (int i = 0; i < 3; ++i) {
        const std::string part(100, static_cast<char>('a' + i));
        path += part + "\\";
        disk_path += part + "/";
        fs::create_directory(disk_path);
    }
    path += "Long.bas";
    disk_path += "Long.bas";
    write_bytes(disk_path, "Sub L()\r\n");
    // A piece after the first that begins with a key is a line of its own.
    const std::string filler(255 - 10, 'r');
    write_bytes("Long.vbp",
                "Module=Long; " + path + "\r\nReference=" + filler + "Form=Piece.frm\r\n");
    write_bytes("Piece.frm", "Sub P()\r\n");

    EXPECT_EQ(process_project("Long.vbp"), 0);
    close_restore_script();
    const std::vector<std::string> expected = {path, "Piece.frm"};
    EXPECT_EQ(restored_sources(), expected);
    EXPECT_TRUE(fs::exists(disk_path.substr(0, disk_path.size() - 4) + ".bkb"));
}

TEST_F(InputsDisk, UnopenableProjectReportsAndCounts) {
    testing::internal::CaptureStdout();
    const int result = process_project("Nothing.vbp");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1);
    EXPECT_NE(out.find("Trevox==>  Unable to open Nothing.vbp for reading \n"
                       "Trevox==>  The file probably doesn't exist \n\n"),
              std::string::npos);
    EXPECT_EQ(g_run.job_failures, 1);
    EXPECT_EQ(g_job.multi_file_mode, 0);
}

TEST_F(InputsDisk, GroupStopsAtAProjectThatCannotBeOpened) {
    write_bytes("All.vbg", "VBGROUP 5.0\r\n"
                           "StartupProject=First.vbp\r\n"
                           "Project=Missing.vbp\r\n"
                           "Project=Last.vbp\r\n");
    write_bytes("First.vbp", "Module=One; One.bas\r\n");
    write_bytes("Last.vbp", "Module=Two; Two.bas\r\n");
    write_bytes("One.bas", "Sub One()\r\n");
    write_bytes("Two.bas", "Sub Two()\r\n");

    testing::internal::CaptureStdout();
    const int result = process_group("All.vbg");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1);
    EXPECT_NE(out.find("Trevox==>  Unable to open Missing.vbp for reading \n"), std::string::npos);
    EXPECT_EQ(g_run.job_failures, 1);
    close_restore_script();
    const std::vector<std::string> expected = {"One.bas"};
    EXPECT_EQ(restored_sources(), expected);
    EXPECT_FALSE(fs::exists("Two.bkb"));
}

TEST_F(InputsDisk, ProjectListedTwiceKeepsTheOriginalBackup) {
    write_bytes("Twice.vbg", "StartupProject=App.vbp\r\nProject=App.vbp\r\n");
    write_bytes("App.vbp", "Module=Tools; Tools.bas\r\n");
    write_bytes("Tools.bas", "    Dim   A   As Long\r\n");
    EXPECT_EQ(process_group("Twice.vbg"), 0);
    close_restore_script();
    const std::vector<std::string> expected = {"Tools.bas", "Tools.bas"};
    EXPECT_EQ(restored_sources(), expected);
    EXPECT_EQ(read_bytes("Tools.bkb"), "    Dim   A   As Long\r\n");
}

TEST_F(InputsDisk, MembersSharingABackupNameClashButTheSameFileDoesNot) {
    write_bytes("P.vbp", "Form=Form1.frm\r\nForm=Form1.frm.old\r\nForm=Form1.frm\r\n");
    write_bytes("Form1.frm", "  form = 1\r\n");
    write_bytes("Form1.frm.old", "  old = 1\r\n");

    testing::internal::CaptureStdout();
    const int result = process_project("P.vbp");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    close_restore_script();
    EXPECT_NE(out.find("Trevox==>  Backup file Form1.bkf already holds the backup of Form1.frm "
                       "made in this run \n"),
              std::string::npos);
    EXPECT_EQ(read_bytes("Form1.bkf"), "  form = 1\r\n");
    EXPECT_EQ(read_bytes("Form1.frm.old"), "  old = 1\r\n");
    const std::vector<std::string> expected = {"Form1.frm", "Form1.frm"};
    EXPECT_EQ(restored_sources(), expected);
}

} // namespace
} // namespace trevox
