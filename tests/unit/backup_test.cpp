#include "jobs/backup.h"

#include "console/console.h"
#include "platform/platform.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox {
namespace {

namespace fs = std::filesystem;

const char* const kStampLine = "echo .  Created by Trevox on 03-14-00 at 09:05:30\n";

using test::count_of;
using test::read_bytes;
using test::write_bytes;

// A fresh working directory per test, the backup state reset around it.
class BackupDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        restore_reset();
        run_state_reset();
        g_run.restore_stamp_line = kStampLine;
    }
    void TearDown() override { restore_reset(); }

    test::ScratchDir scratch_{"backup"};
};

TEST(BackupNames, ExtensionOfTheLastComponentPicksTheBackupExtension) {
    struct Case {
        const char* source;
        const char* backup;
    };
    const Case cases[] = {
        {"Form1.frm", "Form1.bkf"},
        {"Form1.FRM", "Form1.bkf"},
        {"MODULE.Bas", "MODULE.bkb"},
        {"Stack.cls", "Stack.bkc"},
        {"a.b.bas", "a.bkb"},
        {"x.basic", "x.bkb"},
        {"x.cls.bas", "x.bkb"},
        {"x.frm.cls", "x.bkc"},
        {"x.frm.txt", "x.bkf"},
        {"Form1.frx", "Form1.bak"},
        {"noext", "noext.bak"},
        {"..\\Shared\\Main.frm", "..\\Shared\\Main.bkf"},
        {"my.src/Form1.frm", "my.src/Form1.bkf"},
        {"dir.d\\noext", "dir.d\\noext.bak"},
        {".frm", ".bkf"},
        {"x.", "x.bak"},
    };
    std::string out = "left over";
    for (const Case& c : cases) {
        make_backup_name(c.source, out);
        EXPECT_EQ(out, c.backup) << c.source;
    }
}

TEST(RestoreEntry, ExactBytesAndColumns) {
    struct Case {
        const char* backup;
        const char* source;
        const char* entry;
    };
    const Case cases[] = {
        // The example: nine blanks between the names.
        {"Form1.bkf", "Form1.frm", "Copy  Form1.bkf         Form1.frm\n\n"},
        // 14 characters: exactly 24 after the four blanks, source in column 25.
        {"ABCDEFGHIJ.bkf", "ABCDEFGHIJ.frm", "Copy  ABCDEFGHIJ.bkf    ABCDEFGHIJ.frm\n\n"},
        // 15 characters: the source follows the four blanks directly.
        {"ABCDEFGHIJK.bkf", "ABCDEFGHIJK.frm", "Copy  ABCDEFGHIJK.bkf    ABCDEFGHIJK.frm\n\n"},
        {"..\\src\\Main.bkb", "..\\src\\Main.bas",
         "Copy  ..\\src\\Main.bkb    ..\\src\\Main.bas\n\n"},
        {"a.bak", "a", "Copy  a.bak             a\n\n"},
        // Quoted names: the quotes and doubled % count for the padding.
        {"My Form.bkf", "My Form.frm", "Copy  \"My Form.bkf\"     \"My Form.frm\"\n\n"},
        {"100%.bkb", "100%.bas", "Copy  \"100%%.bkb\"       \"100%%.bas\"\n\n"},
        {"a&b.bkf", "a&b.frm", "Copy  \"a&b.bkf\"         \"a&b.frm\"\n\n"},
        {"a&b.bkf", "a&b.frm.old", "Copy  \"a&b.bkf\"         \"a&b.frm.old\"\n\n"},
        // Each name on its own.
        {"dir\\Tab\t.bkb", "dir\\Tab\t.bas", "Copy  \"dir\\Tab\t.bkb\"    \"dir\\Tab\t.bas\"\n\n"},
    };
    std::string out;
    for (const Case& c : cases) {
        make_restore_entry(c.backup, c.source, out);
        EXPECT_EQ(out, c.entry) << c.backup;
    }
}

TEST(RestoreEntry, LongNamesAreWrittenWhole) {
    const std::string base(300, 'L');
    std::string out;
    make_restore_entry(base + ".bkf", base + ".frm", out);
    EXPECT_EQ(out, "Copy  " + base + ".bkf    " + base + ".frm\n\n");
}

TEST(RestoreEntry, OnlyTheListedCharactersCallForQuotes) {
    const std::string special = " \t&|<>^()[]{}=;!'+,`~%";
    for (const char c : special) {
        EXPECT_TRUE(restore_name_needs_quotes(std::string("a") + c + "b.bas"))
            << "character " << static_cast<int>(c);
    }
    const std::string plain = "-_.\\/$#@:abcXYZ019";
    for (const char c : plain) {
        EXPECT_FALSE(restore_name_needs_quotes(std::string("a") + c + "b.bas"))
            << "character " << static_cast<int>(c);
    }
}

TEST(RestoreShEntry, QuotedForShWithForwardSlashes) {
    struct Case {
        const char* backup;
        const char* source;
        const char* line;
    };
    const Case cases[] = {
        {"Form1.bkf", "Form1.frm", "cp -p -- 'Form1.bkf' 'Form1.frm'\n"},
        {"..\\Shared\\Main.bkf", "..\\Shared\\Main.frm",
         "cp -p -- '../Shared/Main.bkf' '../Shared/Main.frm'\n"},
        {"it's.bkb", "it's.bas", "cp -p -- 'it'\\''s.bkb' 'it'\\''s.bas'\n"},
        {"$HOME `x` 100%.bkb", "-n.bas", "cp -p -- '$HOME `x` 100%.bkb' '-n.bas'\n"},
    };
    std::string out;
    for (const Case& c : cases) {
        make_restore_sh_entry(c.backup, c.source, out);
        EXPECT_EQ(out, c.line) << c.backup;
    }
}

TEST_F(BackupDisk, RestoreBatHeaderOnDiskWithCrLf) {
    ASSERT_EQ(create_restore_script(), 0);
    // Flushed after the header: on disk before the script is closed.
    const std::string expected = "@echo off \r\n"
                                 "cls \r\n"
                                 "echo . \r\n"
                                 "echo .  This batch file will restore the last files \r\n"
                                 "echo .  processed by Trevox to their pre-processed \r\n"
                                 "echo .  state by copying the backup files back to the \r\n"
                                 "echo .  original files. \r\n"
                                 "echo . \r\n"
                                 "echo .  Created by Trevox on 03-14-00 at 09:05:30\r\n"
                                 "echo . \r\n"
                                 "echo .  Use Ctrl-C to cancel or any key to continue \r\n"
                                 "echo . \r\n\r\n"
                                 "pause \r\n\r\n";
    EXPECT_EQ(read_bytes("Restore.bat"), expected);
    close_restore_script();
    EXPECT_EQ(read_bytes("Restore.bat"), expected);
}

TEST_F(BackupDisk, RestoreBatIsEmptiedByANewRun) {
    write_bytes("Restore.bat", std::string(5000, '#'));
    ASSERT_EQ(create_restore_script(), 0);
    close_restore_script();
    const std::string text = read_bytes("Restore.bat");
    EXPECT_EQ(text.rfind("@echo off \r\n", 0), 0u);
    EXPECT_EQ(text.find('#'), std::string::npos);
}

TEST_F(BackupDisk, RestoreShHeaderAndModeAndLineEnds) {
    ASSERT_EQ(create_restore_script(), 0);
    write_bytes("Form1.frm", "Line\r\n");
    ASSERT_EQ(make_backup("Form1.frm"), 0);
    close_restore_script();

    const std::string sh = read_bytes("Restore.sh");
    EXPECT_EQ(sh.rfind("#!/bin/sh\n", 0), 0u);
    EXPECT_EQ(sh.find('\r'), std::string::npos);
    EXPECT_NE(sh.find("echo '.  This batch file will restore the last files '\n"),
              std::string::npos);
    EXPECT_NE(sh.find("echo '.  Created by Trevox on 03-14-00 at 09:05:30'\n"), std::string::npos);
    EXPECT_NE(sh.find("read dummy\n"), std::string::npos);
    const std::string last = "cp -p -- 'Form1.bkf' 'Form1.frm'\n";
    ASSERT_GE(sh.size(), last.size());
    EXPECT_EQ(sh.substr(sh.size() - last.size()), last);
    EXPECT_LT(sh.find("read dummy"), sh.find("cp -p"));

    struct stat st {};
    ASSERT_EQ(stat("Restore.sh", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST_F(BackupDisk, BackupIsByteExactAndEntryIsOnDiskAtOnce) {
    std::string bytes = "Attribute VB_Name = \"M\"\r\nlone\rcr\n\x1a mid";
    bytes += '\0';
    bytes += "nul\x1a\x1a";
    bytes += std::string(20000, 'z'); // more than one copy block
    write_bytes("Module1.bas", bytes);
    write_bytes("Empty.cls", "");
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("Module1.bas"), 0);
    ASSERT_EQ(make_backup("Empty.cls"), 0);

    EXPECT_EQ(read_bytes("Module1.bkb"), bytes);
    EXPECT_TRUE(fs::exists("Empty.bkc"));
    EXPECT_EQ(read_bytes("Empty.bkc"), "");
    // Before the close: each entry was flushed after it was written.
    const std::string bat = read_bytes("Restore.bat");
    const std::string tail = "pause \r\n\r\n"
                             "Copy  Module1.bkb       Module1.bas\r\n\r\n"
                             "Copy  Empty.bkc         Empty.cls\r\n\r\n";
    ASSERT_GE(bat.size(), tail.size());
    EXPECT_EQ(bat.substr(bat.size() - tail.size()), tail);
    EXPECT_NE(read_bytes("Restore.sh").find("cp -p -- 'Empty.bkc' 'Empty.cls'\n"),
              std::string::npos);
}

TEST_F(BackupDisk, SameFileTwiceKeepsTheFirstBackupAndWritesTheEntryAgain) {
    write_bytes("Form1.frm", "original\r\n");
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("Form1.frm"), 0);

    // The job replaces the source through a new file renamed over it.
    write_bytes("Form1.new", "reformatted\r\n");
    ASSERT_EQ(std::rename("Form1.new", "Form1.frm"), 0);
    EXPECT_EQ(make_backup("Form1.frm"), 0);
    // Named another way: still the same file.
    EXPECT_EQ(make_backup("./Form1.frm"), 0);
    close_restore_script();

    EXPECT_EQ(read_bytes("Form1.bkf"), "original\r\n");
    const std::string bat = read_bytes("Restore.bat");
    EXPECT_EQ(count_of(bat, "Copy  Form1.bkf         Form1.frm\r\n\r\n"), 2);
    EXPECT_EQ(count_of(bat, "Copy  ./Form1.bkf       ./Form1.frm\r\n\r\n"), 1);
    EXPECT_EQ(count_of(read_bytes("Restore.sh"), "cp -p -- 'Form1.bkf' 'Form1.frm'\n"), 2);
}

// What a job does to its source: a new file renamed over it.
void replace_text(const std::string& name, const std::string& text) {
    write_bytes("replacement.new", text);
    ASSERT_EQ(std::rename("replacement.new", name.c_str()), 0);
}

TEST_F(BackupDisk, FileReachedAgainThroughALinkKeepsItsFirstBackup) {
    // The link first, then its target, then another link: one backup.
    write_bytes("a.bas", "original\r\n");
    ASSERT_EQ(::symlink("a.bas", "0.bas"), 0);
    ASSERT_EQ(::symlink("a.bas", "l.bas"), 0);
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("0.bas"), 0);
    replace_text("a.bas", "reformatted\r\n"); // the job replaced the target
    EXPECT_EQ(make_backup("a.bas"), 0);
    EXPECT_EQ(make_backup("l.bas"), 0);
    close_restore_script();

    EXPECT_EQ(read_bytes("0.bkb"), "original\r\n");
    EXPECT_FALSE(fs::exists("a.bkb"));
    EXPECT_FALSE(fs::exists("l.bkb"));
    const std::string bat = read_bytes("Restore.bat");
    EXPECT_NE(bat.find("Copy  0.bkb             0.bas\r\n\r\n"
                       "Copy  0.bkb             a.bas\r\n\r\n"
                       "Copy  0.bkb             l.bas\r\n\r\n"),
              std::string::npos)
        << bat;
    EXPECT_NE(read_bytes("Restore.sh").find("cp -p -- '0.bkb' 'a.bas'\n"), std::string::npos);
}

TEST_F(BackupDisk, HardLinkReachedAfterItsTwinWasReplacedKeepsTheFirstBackup) {
    write_bytes("a.bas", "original\r\n");
    ASSERT_EQ(::link("a.bas", "h.bas"), 0);
    write_bytes("b.bas", "other\r\n");
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("a.bas"), 0);
    replace_text("a.bas", "reformatted\r\n"); // h.bas keeps the old file
    EXPECT_EQ(make_backup("h.bas"), 0);
    replace_text("h.bas", "reformatted\r\n");
    EXPECT_EQ(make_backup("b.bas"), 0);
    EXPECT_EQ(make_backup("h.bas"), 0); // its new file is known too
    close_restore_script();

    EXPECT_EQ(read_bytes("a.bkb"), "original\r\n");
    EXPECT_FALSE(fs::exists("h.bkb"));
    EXPECT_EQ(count_of(read_bytes("Restore.bat"), "Copy  a.bkb             h.bas\r\n"), 2);
}

TEST_F(BackupDisk, BackupOfThisRunReachedAsASourceIsRefused) {
    write_bytes("a.bas", "original\r\n");
    ASSERT_EQ(::symlink("a.bkb", "x.bas"), 0);
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("a.bas"), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(make_backup("x.bas"), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    close_restore_script();
    EXPECT_NE(out.find("Trevox==>  Backup file a.bkb is the source file itself \n\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists("x.bkb"));
    EXPECT_EQ(read_bytes("Restore.bat").find("x.bas"), std::string::npos);
}

TEST_F(BackupDisk, NeitherScriptWritableReportsRestoreBatFirst) {
    for (const bool folders : {false, true}) {
        for (const char* name : {"Restore.bat", "Restore.sh"}) {
            fs::remove_all(name);
            if (folders) {
                fs::create_directory(name);
            } else {
                write_bytes(name, "old\r\n");
                ASSERT_EQ(::chmod(name, 0444), 0);
            }
        }
        testing::internal::CaptureStdout();
        EXPECT_EQ(create_restore_script(), 1);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, "Trevox==>  Unable to open Restore.bat for writing \n"
                       "Trevox==>  The disk is probably full \n"
                       "Trevox==>  Program aborted \n");
        if (!folders) {
            EXPECT_EQ(read_bytes("Restore.bat"), "old\r\n");
            EXPECT_EQ(read_bytes("Restore.sh"), "old\r\n");
        }
    }
}

TEST_F(BackupDisk, DifferentFileWithATakenBackupNameFails) {
    write_bytes("a.b.bas", "first\r\n");
    write_bytes("a.c.bas", "second\r\n");
    write_bytes("Form1.frm", "form\r\n");
    write_bytes("Form1.frm.old", "old form\r\n");
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("a.b.bas"), 0);
    ASSERT_EQ(make_backup("Form1.frm"), 0);

    testing::internal::CaptureStdout();
    const int clash_bas = make_backup("a.c.bas");
    const int clash_frm = make_backup("Form1.frm.old");
    const std::string out = testing::internal::GetCapturedStdout();
    close_restore_script();

    EXPECT_EQ(clash_bas, 1);
    EXPECT_EQ(clash_frm, 1);
    EXPECT_EQ(read_bytes("a.bkb"), "first\r\n");
    EXPECT_EQ(read_bytes("Form1.bkf"), "form\r\n");
    EXPECT_NE(out.find("Trevox==>  Backup file a.bkb already holds the backup of a.b.bas made in "
                       "this run \n"),
              std::string::npos);
    EXPECT_NE(out.find("Trevox==>  Backup file Form1.bkf already holds the backup of Form1.frm"),
              std::string::npos);
    EXPECT_EQ(count_of(out, "Trevox==>  A backup made in this run is never overwritten \n\n"), 2);
    EXPECT_EQ(count_of(out, "Press Enter to continue"), 2);
    const std::string bat = read_bytes("Restore.bat");
    EXPECT_EQ(count_of(bat, "Copy  "), 2);
    EXPECT_EQ(bat.find("a.c.bas"), std::string::npos);
}

TEST_F(BackupDisk, ANewRunOverwritesOldBackups) {
    write_bytes("Form1.frm", "one\r\n");
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("Form1.frm"), 0);
    close_restore_script();

    restore_reset(); // the next run
    write_bytes("Form1.frm", "two\r\n");
    ASSERT_EQ(create_restore_script(), 0);
    ASSERT_EQ(make_backup("Form1.frm"), 0);
    close_restore_script();
    EXPECT_EQ(read_bytes("Form1.bkf"), "two\r\n");
}

TEST_F(BackupDisk, FailuresReportAndWriteNoEntry) {
    ASSERT_EQ(create_restore_script(), 0);
    fs::create_directory("Blocked.bkf"); // a directory where the backup must go
    write_bytes("Blocked.frm", "x\r\n");

    testing::internal::CaptureStdout();
    const int missing = make_backup("Missing.frm");
    const int blocked = make_backup("Blocked.frm");
    const std::string out = testing::internal::GetCapturedStdout();
    close_restore_script();

    EXPECT_EQ(missing, 1);
    EXPECT_EQ(blocked, 1);
    EXPECT_NE(
        out.find("Trevox==>  Unable to Open Source File Missing.frm to make backup copy \n\n"),
        std::string::npos);
    EXPECT_NE(out.find("Trevox==>  Unable to Create Destination File Blocked.bkf \n\n"),
              std::string::npos);
    EXPECT_EQ(read_bytes("Restore.bat").find("Copy"), std::string::npos);
    EXPECT_EQ(read_bytes("Restore.sh").find("cp -p"), std::string::npos);
}

TEST_F(BackupDisk, RestoreShBringsEveryFileBack) {
    const char* const names[] = {"Form1.frm", "My Form.frm", "it's 100%.bas", "a&b.cls"};
    fs::create_directory("sub dir");
    ASSERT_EQ(create_restore_script(), 0);
    for (const char* name : names) {
        write_bytes(name, std::string("original ") + name + "\r\n");
        ASSERT_EQ(make_backup(name), 0) << name;
    }
    write_bytes("sub dir/Deep.bas", "deep\r\n");
    ASSERT_EQ(make_backup("sub dir\\Deep.bas"), 0);
    close_restore_script();

    for (const char* name : names) {
        write_bytes(name, "changed\n");
    }
    write_bytes("sub dir/Deep.bas", "changed\n");

    // Run from another directory, Enter typed at the prompt.
    const std::string cmd = "cd / && printf '\\n' | /bin/sh '" +
                            (scratch_.path() / "Restore.sh").string() + "' >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* name : names) {
        EXPECT_EQ(read_bytes(name), std::string("original ") + name + "\r\n") << name;
    }
    EXPECT_EQ(read_bytes("sub dir/Deep.bas"), "deep\r\n");
}

} // namespace
} // namespace trevox
