// Input sets end to end over the bundled examples: the group, a project, a
// wildcard; backups, Restore.bat and Restore.sh.
#include "harness.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

namespace e2e {
namespace {

const char* const kSources[] = {"MainForm.frm", "Helpers.bas",   "Customer.cls",
                                "Stack.cls",    "TextTools.bas", "About.frm"};

std::string backup_of(const std::string& name) {
    const std::string base = name.substr(0, name.find('.'));
    const std::string ext = name.substr(name.find('.'));
    return base + (ext == ".frm" ? ".bkf" : ext == ".cls" ? ".bkc" : ".bkb");
}

std::string entry(const std::string& source) {
    std::string e = "Copy  " + backup_of(source) + "    ";
    while (e.size() < 24) {
        e += ' ';
    }
    return e + source + "\r\n\r\n";
}

std::string restore_header() {
    return crlf("@echo off \n"
                "cls \n"
                "echo . \n"
                "echo .  This batch file will restore the last files \n"
                "echo .  processed by Trevox to their pre-processed \n"
                "echo .  state by copying the backup files back to the \n"
                "echo .  original files. \n"
                "echo . \n"
                "echo .  Created by Trevox on 03-14-00 at 09:05:30\n"
                "echo . \n"
                "echo .  Use Ctrl-C to cancel or any key to continue \n"
                "echo . \n\n"
                "pause \n\n");
}

std::map<std::string, std::string> originals() {
    std::map<std::string, std::string> m;
    for (const char* s : kSources) {
        m[s] = read_file(std::string(TREVOX_EXAMPLES) + "/" + s);
    }
    return m;
}

TEST(InputSets, GroupProcessesEveryMemberWithBackupsAndRestoreScripts) {
    ScratchDir dir;
    copy_examples(dir.path);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Demo.vbg"};
    RunResult r = run_trevox(o);
    ASSERT_EQ(r.exit_code, 0) << r.terminal;
    const auto before = originals();
    std::string expected_bat = restore_header();
    for (const char* s : kSources) {
        EXPECT_NE(read_file(dir / s), before.at(s)) << s << " was not reformatted";
        EXPECT_EQ(read_file(dir / backup_of(s)), before.at(s)) << s;
        EXPECT_FALSE(exists(dir / (std::string(s).substr(0, std::string(s).find('.')) + ".tmp")));
        expected_bat += entry(s);
    }
    EXPECT_EQ(read_file(dir / "Restore.bat"), expected_bat);
    // Only the first Option Explicit of the run is stamped.
    int stamps = 0;
    for (const char* s : kSources) {
        stamps += count(read_file(dir / s), "$Reformatted by Trevox");
    }
    EXPECT_EQ(stamps, 1);
    EXPECT_EQ(count(read_file(dir / "MainForm.frm"), "$Reformatted by Trevox"), 1);

    if (under_wine()) {
        // Restore.sh is written on POSIX only; Restore.bat is carried out by
        // the command interpreter in restore_bat_e2e.cpp.
        EXPECT_FALSE(exists(dir / "Restore.sh"));
        return;
    }
    // The shell restore script brings every original back byte for byte.
    struct stat st {};
    ASSERT_EQ(stat((dir / "Restore.sh").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0111, 0u) << "Restore.sh is executable";
    ASSERT_TRUE(run_restore_sh(dir.path));
    for (const char* s : kSources) {
        EXPECT_EQ(read_file(dir / s), before.at(s)) << s << " not restored";
    }
}

TEST(InputSets, ProjectWildcardAndSingleFileAgreeOnTheResult) {
    // The same file reformatted through a project, a wildcard and by name
    // gives the same bytes (the stamp aside: each run stamps its first file).
    ScratchDir a, b, c;
    for (ScratchDir* d : {&a, &b, &c}) {
        copy_examples(d->path);
    }
    RunOptions o;
    o.cwd = a.path;
    o.args = {"Lib.vbp"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    o.cwd = b.path;
    o.args = {"*.cls"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    o.cwd = c.path;
    o.args = {"Stack.cls"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    EXPECT_EQ(read_file(a / "Stack.cls"), read_file(c / "Stack.cls"));
    // The wildcard processed Customer.cls first, so Stack.cls is not stamped there.
    EXPECT_EQ(count(read_file(b / "Customer.cls"), "$Reformatted"), 1);
    EXPECT_EQ(count(read_file(b / "Stack.cls"), "$Reformatted"), 0);
    EXPECT_EQ(read_file(b / "MainForm.frm"),
              read_file(std::string(TREVOX_EXAMPLES) + "/MainForm.frm"));
    std::string bat = read_file(b / "Restore.bat");
    EXPECT_NE(bat.find(entry("Customer.cls") + entry("Stack.cls")), std::string::npos);
}

// What the shell makes of *.bas and the like: several names, all processed
// in one run (one question, one Restore.bat, one stamp), the same bytes as
// the wildcard gives.
TEST(InputSets, SeveralNamesAreOneRun) {
    ScratchDir named, wild;
    copy_examples(named.path);
    copy_examples(wild.path);
    RunOptions o;
    o.cwd = named.path;
    o.args = {"Customer.cls", "Helpers.bas", "Stack.cls", "/b"};
    const RunResult r = run_trevox(o);
    ASSERT_EQ(r.exit_code, 0) << r.terminal;
    EXPECT_EQ(r.confirms, 1);
    EXPECT_EQ(count(screen(r), "Completed"), 1);
    const auto before = originals();
    int stamps = 0;
    for (const char* s : {"Customer.cls", "Helpers.bas", "Stack.cls"}) {
        EXPECT_NE(read_file(named / s), before.at(s)) << s << " was not reformatted";
        EXPECT_EQ(read_file(named / backup_of(s)), before.at(s)) << s;
        stamps += count(read_file(named / s), "$Reformatted by Trevox");
    }
    EXPECT_EQ(stamps, 1);
    EXPECT_EQ(read_file(named / "Restore.bat"),
              restore_header() + entry("Customer.cls") + entry("Helpers.bas") + entry("Stack.cls"));

    o.cwd = wild.path;
    o.args = {"*.cls", "/b"};
    ASSERT_EQ(run_trevox(o).exit_code, 0);
    for (const char* s : {"Customer.cls", "Stack.cls"}) {
        EXPECT_EQ(read_file(named / s), read_file(wild / s)) << s;
    }

    // A name that fails is reported and skipped, as in a wildcard set.
    ScratchDir gap;
    write_file(gap / "A.bas", "  a = 1\r\n");
    write_file(gap / "B.bas", "  b = 1\r\n");
    o.cwd = gap.path;
    o.args = {"A.bas", "Gone.bas", "B.bas"};
    o.stdout_to_file = true;
    const RunResult g = run_trevox(o);
    EXPECT_EQ(g.exit_code, 0);
    EXPECT_NE(g.out.find("Trevox==>  Unable to open Gone.bas for reading \n"
                         "Trevox==>  The file probably doesn't exist \n\n"
                         "Trevox==>  Program will continue \n\n"),
              std::string::npos)
        << g.out;
    EXPECT_EQ(read_file(gap / "A.bas"), "a = 1\r\n");
    EXPECT_EQ(read_file(gap / "B.bas"), "b = 1\r\n");
}

// A "/" inside a name separates folders: the words of the path are never
// read as switches, also when the folders of an absolute path are named like
// switches. A wildcard in an existing folder is a name too.
TEST(InputSets, SlashesInNamesAreFolders) {
    ScratchDir dir;
    const std::string text = "  ' note\r\n\r\n  x = 1\r\n";
    const std::string cleared = "' note\r\n\r\nx = 1\r\n"; // neither /b nor /c
    const std::string uncommented = "\r\nx = 1\r\n";       // /c alone
    ASSERT_EQ(mkdir((dir / "forms").c_str(), 0755), 0);
    write_file(dir / "forms/TextTools.bas", text);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"forms/TextTools.bas", "/v"};
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "forms/TextTools.bas"), cleared);
    EXPECT_EQ(read_file(dir / "forms/TextTools.bkb"), text);

    for (const char* folder : {"b", "b/t", "work"}) {
        ASSERT_EQ(mkdir((dir / folder).c_str(), 0755), 0);
    }
    write_file(dir / "b/t/Big.frm", text);
    write_file(dir / "b/Mod.bas", text);
    write_file(dir / "b/Cls.cls", text);
    o.cwd = dir / "work";
    o.args = {dir / "b/t/Big.frm", dir / "b/*.bas", "/c"};
    r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "b/t/Big.frm"), uncommented);
    EXPECT_EQ(read_file(dir / "b/Mod.bas"), uncommented);
    EXPECT_EQ(read_file(dir / "b/Cls.cls"), text) << "not named";
    EXPECT_EQ(count(read_file(dir / "work/Restore.bat"), "Copy"), 2);
}

TEST(InputSets, MissingMemberIsReportedAndTheProjectGoesOn) {
    ScratchDir dir;
    write_file(dir / "P.vbp", crlf("Type=Exe\nModule=Gone; Gone.bas\nModule=Here; Here.bas\n"));
    write_file(dir / "Here.bas", "  x = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"P.vbp"};
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Trevox==>  Unable to open Gone.bas for reading \n"), std::string::npos);
    EXPECT_NE(r.out.find("Trevox==>  Program will continue \n\n"), std::string::npos);
    EXPECT_EQ(read_file(dir / "Here.bas"), "x = 1\r\n");
}

TEST(InputSets, UnopenableProjectStopsTheGroup) {
    ScratchDir dir;
    write_file(dir / "G.vbg",
               crlf("VBGROUP 5.0\nProject=A.vbp\nProject=Missing.vbp\nProject=B.vbp\n"));
    write_file(dir / "A.vbp", crlf("Module=A; A.bas\n"));
    write_file(dir / "B.vbp", crlf("Module=B; B.bas\n"));
    write_file(dir / "A.bas", "  a = 1\r\n");
    write_file(dir / "B.bas", "  b = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"G.vbg"};
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "A.bas"), "a = 1\r\n");
    EXPECT_EQ(read_file(dir / "B.bas"), "  b = 1\r\n")
        << "projects after the failure are not looked at";
    EXPECT_NE(r.out.find("Trevox==>  Unable to open Missing.vbp for reading \n"
                         "Trevox==>  The file probably doesn't exist \n\n"),
              std::string::npos);
}

TEST(InputSets, WildcardWithoutMatchAndWithADirectoryPart) {
    ScratchDir dir;
    mkdir((dir / "lib").c_str(), 0755);
    write_file(dir / "lib/Module1.bas", "  m = 1\r\n");
    write_file(dir / "Module1.bas", "  root = 1\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"lib\\*.bas"};
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "lib/Module1.bas"), "m = 1\r\n");
    EXPECT_EQ(read_file(dir / "Module1.bas"), "  root = 1\r\n") << "a file the user never named";
    EXPECT_TRUE(exists(dir / "lib/Module1.bkb"));

    o.args = {"*.frm"};
    r = run_trevox(o);
    EXPECT_NE(r.out.find("Trevox==>  No Match Found for *.frm \n"), std::string::npos);
    EXPECT_EQ(r.err.find("No Match Found"), std::string::npos) << "not mirrored";
}

TEST(InputSets, BackupClashWithinARunIsRefused) {
    // Form1.frm and Form1.frm.old both back up to Form1.bkf.
    ScratchDir dir;
    write_file(dir / "Form1.frm", "  first = 1\r\n");
    write_file(dir / "Form1.frm.old", "  second = 1\r\n");
    write_file(dir / "P.vbp", crlf("Form=Form1.frm\nForm=Form1.frm.old\nForm=Form1.frm\n"));
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"P.vbp"};
    o.stdout_to_file = true;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file(dir / "Form1.frm"), "first = 1\r\n");
    EXPECT_EQ(read_file(dir / "Form1.frm.old"), "  second = 1\r\n") << "its backup name was taken";
    EXPECT_EQ(read_file(dir / "Form1.bkf"), "  first = 1\r\n") << "the backup keeps the original";
    EXPECT_NE(r.out.find("Trevox==>  Error creating backup file for Form1.frm.old \n\n"),
              std::string::npos);
    const std::string bat = read_file(dir / "Restore.bat");
    EXPECT_EQ(count(bat, "Copy  Form1.bkf"), 2) << "the same file again gets its entry again";
}

// A group written on Windows: its project names, and the member names inside
// them, differ in letter case from the files (as does a project named on the
// command line); every one of them is found.
TEST(InputSets, NamesInAnyLetterCaseFindTheirFiles) {
    ScratchDir dir;
    mkdir((dir / "Sub").c_str(), 0755);
    write_file(dir / "All.vbg", crlf("VBGROUP 5.0\nProject=MACHINE.VBP\n"
                                     "StartupProject=main.vbp\nProject=sub\\p.vbp\n"));
    write_file(dir / "MACHINE.VBP", crlf("Module=Machine; MACHINE.BAS\n"));
    write_file(dir / "Main.vbp", crlf("Form=main.frm\n"));
    write_file(dir / "Sub/P.vbp", crlf("Class=C; SUB\\c.cls\n"));
    const std::map<std::string, std::string> sources = {
        {"Machine.bas", "  m = 1\r\n"}, {"Main.frm", "  f = 1\r\n"}, {"Sub/C.cls", "  c = 1\r\n"}};
    // Natively the job works on the names found on disk; on Windows, whose
    // file system ignores case, on the names as the lists write them.
    const bool wine = under_wine();
    const std::map<std::string, std::string> backups = {
        {"Machine.bas", wine ? "MACHINE.bkb" : "Machine.bkb"},
        {"Main.frm", wine ? "main.bkf" : "Main.bkf"},
        {"Sub/C.cls", wine ? "Sub/c.bkc" : "Sub/C.bkc"}};
    const std::string machine_entry = wine ? "Copy  MACHINE.bkb       MACHINE.bas\r\n"
                                           : "Copy  Machine.bkb       Machine.bas\r\n";
    for (const char* input : {"all.vbg", "machine.vbp"}) {
        for (const auto& [name, text] : sources) {
            write_file(dir / name, text);
        }
        RunOptions o;
        o.cwd = dir.path;
        o.args = {input, "/y"};
        o.confirm_key = 0;
        o.pause_key = 0;
        const RunResult r = run_trevox(o);
        EXPECT_EQ(r.exit_code, 0) << input << "\n" << r.terminal;
        const bool whole_group = std::string(input) == "all.vbg";
        for (const auto& [name, text] : sources) {
            const bool named = whole_group || name == "Machine.bas";
            EXPECT_EQ(read_file(dir / name), named ? text.substr(2) : text)
                << input << ": " << name;
            if (named) {
                EXPECT_EQ(read_file(dir / backups.at(name)), text) << input << ": " << name;
            }
        }
        EXPECT_NE(read_file(dir / "Restore.bat").find(machine_entry), std::string::npos) << input;
    }
}

// A symbolic link and its target in one wildcard, the link's name first: the
// file is backed up once, before it changes, and the restore script gives
// back the original through every name.
TEST(InputSets, LinkAndItsTargetInOneWildcardAreOneFile) {
    if (under_wine()) {
        GTEST_SKIP() << "Wine renames over a Linux symbolic link itself: the names part";
    }
    ScratchDir dir;
    const std::string original = plant_one_module_under_three_names(dir);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"*.bas"};
    const RunResult r = run_trevox(o);
    ASSERT_EQ(r.exit_code, 0) << r.terminal;
    const std::string reformatted = read_file(dir / "Target.bas");
    EXPECT_NE(reformatted, original);
    EXPECT_EQ(read_file(dir / "Alias.bkb"), original);
    EXPECT_FALSE(exists(dir / "Target.bkb"));
    EXPECT_FALSE(exists(dir / "Zlink.bkb"));
    const std::string bat = read_file(dir / "Restore.bat");
    EXPECT_EQ(count(bat, "Copy  Alias.bkb"), 3) << bat;

    ASSERT_TRUE(run_restore_sh(dir.path));
    EXPECT_EQ(read_file(dir / "Target.bas"), original);
    char target[64] = {};
    ASSERT_GT(readlink((dir / "Zlink.bas").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "Target.bas") << "the link stays a link";
}

} // namespace
} // namespace e2e
