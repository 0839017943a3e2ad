// The source-file job on real files in a scratch directory: replacement,
// copy-back, failure reports, and that the source never loses its text.
#include "console/console.h"
#include "console/messages.h"
#include "jobs/backup.h"
#include "jobs/job.h"
#include "jobs/locks.h"
#include "jobs/names.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox {
namespace {

namespace fs = std::filesystem;

// Writes to files whose name ends in this suffix fail as on a full disk.
const char* g_failing_suffix = nullptr;

long write_failing_for_suffix(int fd, const void* buf, std::size_t n) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t len = ::readlink(link, target, sizeof target - 1);
    if (g_failing_suffix != nullptr && len > 0) {
        target[len] = '\0';
        const std::size_t suffix_len = std::strlen(g_failing_suffix);
        const std::size_t target_len = static_cast<std::size_t>(len);
        if (target_len >= suffix_len &&
            std::strcmp(target + target_len - suffix_len, g_failing_suffix) == 0) {
            errno = ENOSPC;
            return -1;
        }
    }
    return static_cast<long>(::write(fd, buf, n));
}

using test::read_bytes;
using test::write_bytes;

bool exists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

// The texts must appear in `out` in this order.
void expect_in_order(const std::string& out, std::initializer_list<std::string> texts) {
    std::size_t at = 0;
    for (const std::string& t : texts) {
        const std::size_t found = out.find(t, at);
        ASSERT_NE(found, std::string::npos) << "missing, or out of order: [" << t << "] in\n"
                                            << out;
        at = found + t.size();
    }
}

std::string format1(const char* format, const std::string& a) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, format, a.c_str());
    return buf;
}

std::string format2(const char* format, const std::string& a, const std::string& b) {
    char buf[1024];
    std::snprintf(buf, sizeof buf, format, a.c_str(), b.c_str());
    return buf;
}

class JobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_reset();
        job_reset();
        run_state_reset();
        restore_reset();
        io_hooks_reset();
        g_failing_suffix = nullptr;
        g_job.stamp_pending = 0;
        ::setenv("SOURCE_DATE_EPOCH", "946684800", 1);
        ASSERT_TRUE(build_stamps());
        testing::internal::CaptureStdout();
        const int created = create_restore_script();
        (void)testing::internal::GetCapturedStdout();
        ASSERT_EQ(created, 0);
    }

    void TearDown() override {
        io_hooks_reset();
        g_failing_suffix = nullptr;
        close_restore_script();
    }

    // Runs the job with standard output captured into `out`.
    int run_job(const std::string& name, std::string& out) {
        testing::internal::CaptureStdout();
        const int result = reformat_file(name);
        out = testing::internal::GetCapturedStdout();
        return result;
    }

    static void expect_streams_closed() {
        EXPECT_FALSE(bytes_is_open(g_job.input));
        EXPECT_FALSE(raw_is_open(g_job.output));
    }

    test::ScratchDir scratch_{"job"};
};

const std::string kIndented = "  x = 1\r\n\ty = 2\r\n   \tz = 3\r\n";
const std::string kFlat = "x = 1\r\ny = 2\r\nz = 3\r\n";

TEST_F(JobTest, SingleFileIsReplacedAndKeepsItsPermissions) {
    write_bytes("Form1.bas", kIndented);
    ASSERT_EQ(::chmod("Form1.bas", 0640), 0);
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    EXPECT_EQ(read_bytes("Form1.bas"), kFlat);
    EXPECT_FALSE(exists("Form1.tmp"));
    struct stat st {};
    ASSERT_EQ(::stat("Form1.bas", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(out.find(msg::prefix), std::string::npos) << out; // not verbose: silent
    EXPECT_EQ(g_run.job_failures, 0);
    expect_streams_closed();
    close_restore_script();
    EXPECT_NE(read_bytes("Restore.bat").find("Form1.bas"), std::string::npos);
}

TEST_F(JobTest, NameIsResolvedAndTempLivesBesideTheSource) {
    fs::create_directory("src.d");
    write_bytes("src.d/Main.bas", kIndented);
    g_settings.VerboseMode = 1;
    g_settings.ListMode = 1;
    std::string out;
    EXPECT_EQ(run_job("SRC.D\\main.BAS", out), 0);
    EXPECT_EQ(g_job.source_name, "src.d\\Main.bas");
    EXPECT_EQ(g_job.temp_name, "src.d\\Main.tmp");
    EXPECT_EQ(read_bytes("src.d/Main.bas"), kFlat);
    EXPECT_FALSE(exists("src.d/Main.tmp"));
    EXPECT_FALSE(exists(".tmp"));
    expect_in_order(out, {format2(msg::copying_to_temp, "src.d\\Main.bas", "src.d\\Main.tmp"),
                          format2(msg::renaming, "src.d\\Main.tmp", "src.d\\Main.bas")});
}

TEST_F(JobTest, VerboseAndListPrintOneEmptyLineAndNeverPause) {
    write_bytes("Form1.bas", kIndented);
    g_settings.VerboseMode = 1;
    g_settings.ListMode = 1;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    const std::string copying = format2(msg::copying_to_temp, "Form1.bas", "Form1.tmp");
    const std::string renaming = format2(msg::renaming, "Form1.tmp", "Form1.bas");
    EXPECT_EQ(copying, "Trevox==>  Copying   Form1.bas --> Form1.tmp \n");
    EXPECT_EQ(renaming, "Trevox==>  Renaming  Form1.tmp --> Form1.bas \n\n");
    EXPECT_EQ(out, copying + renaming + "\n");
}

TEST_F(JobTest, VerboseAlonePausesAfterTheFile) {
    write_bytes("Form1.bas", kIndented);
    g_settings.VerboseMode = 1;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    expect_in_order(out, {format2(msg::renaming, "Form1.tmp", "Form1.bas"), msg::press_enter});
}

TEST_F(JobTest, CopyingLineIsNeverMirrored) {
    write_bytes("Form1.bas", kIndented);
    g_settings.VerboseMode = 1;
    g_settings.ListMode = 1;
    g_run.mirror_output = 1;
    testing::internal::CaptureStderr();
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Copying   Form1.bas"), std::string::npos);
    EXPECT_EQ(err.find("Copying"), std::string::npos) << err;
    EXPECT_NE(err.find("Renaming  Form1.tmp"), std::string::npos) << err;
}

TEST_F(JobTest, MissingSourceIsReportedInBothModes) {
    struct Case {
        int multi_file_mode;
        int result;
        const char* closing;
    };
    const Case cases[] = {{0, 1, msg::program_will_abort}, {1, 0, msg::program_will_continue}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.multi_file_mode);
        g_job.multi_file_mode = c.multi_file_mode;
        g_run.job_failures = 0;
        std::string out;
        EXPECT_EQ(run_job("Missing.bas", out), c.result);
        expect_in_order(out, {format1(msg::unable_open_read, "Missing.bas"),
                              msg::probably_not_exist, c.closing, msg::press_enter});
        EXPECT_FALSE(exists("Missing.tmp"));
        EXPECT_EQ(g_run.job_failures, 1);
        expect_streams_closed();
    }
}

TEST_F(JobTest, BackupFailureStopsTheJobBeforeAnyLine) {
    write_bytes("Form1.bas", kIndented);
    fs::create_directory("Form1.bkb"); // the backup cannot be created
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 1);
    EXPECT_EQ(read_bytes("Form1.bas"), kIndented);
    EXPECT_EQ(read_bytes("Form1.tmp"), ""); // created, no line written
    expect_in_order(out, {format1(msg::error_creating_backup, "Form1.bas"), msg::program_will_abort,
                          msg::press_enter});
    EXPECT_EQ(g_run.job_failures, 1);
    expect_streams_closed();
}

TEST_F(JobTest, ReadOnlySourceIsReportedAndUntouched) {
    // Whether its text would change or not, a read-only source is reported.
    for (const std::string& text : {kIndented, kFlat}) {
        SCOPED_TRACE(text);
        write_bytes("Form1.bas", text);
        ASSERT_EQ(::chmod("Form1.bas", 0444), 0);
        g_run.job_failures = 0;
        std::string out;
        EXPECT_EQ(run_job("Form1.bas", out), 1);
        EXPECT_EQ(read_bytes("Form1.bas"), text);
        EXPECT_EQ(read_bytes("Form1.tmp"), kFlat);
        expect_in_order(out, {format1(msg::error_on_delete, "Form1.bas"),
                              format1(msg::output_will_be_in, "Form1.tmp"), msg::contact_notify,
                              msg::press_enter});
        EXPECT_EQ(g_run.job_failures, 1);
        expect_streams_closed();
        ASSERT_EQ(::chmod("Form1.bas", 0644), 0);
    }
}

TEST_F(JobTest, UnchangedTextLeavesTheSourceAsItIs) {
    write_bytes("Form1.bas", kFlat);
    const struct timespec old_times[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, "Form1.bas", old_times, 0), 0);
    struct stat before {};
    ASSERT_EQ(::stat("Form1.bas", &before), 0);
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    struct stat after {};
    ASSERT_EQ(::stat("Form1.bas", &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, 978307200);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(read_bytes("Form1.bas"), kFlat);
    EXPECT_FALSE(exists("Form1.tmp"));
    EXPECT_EQ(g_run.job_failures, 0);
    // The backup and the restore entry are made as always.
    EXPECT_EQ(read_bytes("Form1.bkb"), kFlat);
    close_restore_script();
    EXPECT_NE(read_bytes("Restore.bat").find("Form1.bas"), std::string::npos);
}

TEST_F(JobTest, UnchangedTextKeepsTheVerboseMessages) {
    write_bytes("Form1.bas", kFlat);
    g_settings.VerboseMode = 1;
    g_settings.ListMode = 1;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    EXPECT_EQ(out, format2(msg::copying_to_temp, "Form1.bas", "Form1.tmp") +
                       format2(msg::renaming, "Form1.tmp", "Form1.bas") + "\n");
    EXPECT_FALSE(exists("Form1.tmp"));
}

TEST_F(JobTest, CopyBackJoinsThroughASecondTemporaryFile) {
    write_bytes("Form1.bas", "  a = 1 + _\r\n      2\r\nb = 3\r\n");
    g_settings.CombineSplitLines = 1;
    g_settings.VerboseMode = 1;
    g_settings.ListMode = 1;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    EXPECT_EQ(read_bytes("Form1.bas"), "a = 1 + 2\r\nb = 3\r\n");
    EXPECT_EQ(read_bytes("Form1.tmp"), "a = 1 + _\r\n2\r\nb = 3\r\n");
    EXPECT_FALSE(exists("Form1.tm2"));
    EXPECT_EQ(g_run.job_failures, 0);
    expect_streams_closed();
    EXPECT_EQ(out, format2(msg::copying_to_temp, "Form1.bas", "Form1.tmp") +
                       format2(msg::copying_back, "Form1.tmp", "Form1.bas") + "\n");
}

// KeepLineEnds: an LF source is written with LF, by both passes; a mixed or
// CR LF source, or any source without the setting, with CR LF.
TEST_F(JobTest, KeepLineEndsWritesLfForAnLfSourceOnly) {
    const struct {
        const char* what;
        int keep;
        int combine;
        std::string source;
        std::string expected;
    } cases[] = {
        {"LF source, last line without end", 1, 0, "  a = 1\n  b = 2", "a = 1\nb = 2"},
        {"LF source joined", 1, 1, "  a = 1 + _\n    2\n", "a = 1 + 2\n"},
        {"mixed source joined", 1, 1, "  a = 1 + _\r\n    2\n", "a = 1 + 2\r\n"},
        {"setting off, joined", 0, 1, "  a = 1 + _\n    2\n", "a = 1 + 2\r\n"},
    };
    int n = 0;
    for (const auto& c : cases) { // a file of its own for each, as in one run
        g_settings.KeepLineEnds = c.keep;
        g_settings.CombineSplitLines = c.combine;
        const std::string name = "Keep" + std::to_string(++n) + ".bas";
        write_bytes(name, c.source);
        std::string out;
        EXPECT_EQ(run_job(name, out), 0) << c.what;
        EXPECT_EQ(read_bytes(name), c.expected) << c.what;
    }
    EXPECT_EQ(g_run.job_failures, 0);
}

TEST_F(JobTest, CopyBackOfUnchangedTextKeepsTheSource) {
    write_bytes("Form1.bas", kFlat);
    const struct timespec old_times[2] = {{978307200, 0}, {978307200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, "Form1.bas", old_times, 0), 0);
    g_settings.CombineSplitLines = 1;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    struct stat after {};
    ASSERT_EQ(::stat("Form1.bas", &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, 978307200);
    EXPECT_FALSE(exists("Form1.tm2"));
    EXPECT_EQ(read_bytes("Form1.tmp"), kFlat);
}

TEST_F(JobTest, CopyBackOverReadOnlySourceGivesTheOpenForWritingMessages) {
    write_bytes("Form1.bas", kIndented);
    ASSERT_EQ(::chmod("Form1.bas", 0444), 0);
    g_settings.CombineSplitLines = 1;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    EXPECT_EQ(read_bytes("Form1.bas"), kIndented);
    EXPECT_EQ(read_bytes("Form1.tmp"), kFlat);
    EXPECT_FALSE(exists("Form1.tm2"));
    expect_in_order(out, {format1(msg::unable_open_write, "Form1.bas"), msg::disk_probably_full});
    EXPECT_EQ(g_run.job_failures, 1);
    expect_streams_closed();
}

TEST_F(JobTest, WriteFailureLeavesTheSourceIntact) {
    // A short file fails when its buffered text is stored, a long one while it
    // is being written; either way the source keeps every byte.
    std::string long_text;
    for (int i = 0; i < 400000; ++i) {
        long_text += "   x = x + 1\r\n";
    }
    for (const std::string& text : {kIndented, long_text}) {
        SCOPED_TRACE(text.size());
        write_bytes("Form1.bas", text);
        g_run.job_failures = 0;
        g_failing_suffix = "/Form1.tmp";
        g_io.write = &write_failing_for_suffix;
        std::string out;
        EXPECT_EQ(run_job("Form1.bas", out), 1);
        io_hooks_reset();
        EXPECT_TRUE(read_bytes("Form1.bas") == text);
        EXPECT_TRUE(out.find(msg::input_not_altered) != std::string::npos ||
                    out.find(msg::error_writing_output) != std::string::npos)
            << out;
        EXPECT_EQ(g_run.job_failures, 1);
        expect_streams_closed();
    }
}

TEST_F(JobTest, ShortFileWriteFailureGivesTheDamagedOutputBlock) {
    write_bytes("Form1.bas", kIndented);
    g_failing_suffix = "/Form1.tmp";
    g_io.write = &write_failing_for_suffix;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 1);
    io_hooks_reset();
    EXPECT_EQ(read_bytes("Form1.bas"), kIndented);
    expect_in_order(out, {"\n", format1(msg::error_detected, "Form1.bas"), msg::input_not_altered,
                          format1(msg::see_distorted, "Form1.tmp"), msg::contact_report,
                          msg::contact_web, msg::thank_you, msg::press_enter});
}

TEST_F(JobTest, CopyBackWriteFailureLeavesTheSourceIntact) {
    write_bytes("Form1.bas", "  a = 1 + _\r\n  2\r\n");
    g_settings.CombineSplitLines = 1;
    g_failing_suffix = "/Form1.tm2";
    g_io.write = &write_failing_for_suffix;
    std::string out;
    EXPECT_EQ(run_job("Form1.bas", out), 0);
    io_hooks_reset();
    EXPECT_EQ(read_bytes("Form1.bas"), "  a = 1 + _\r\n  2\r\n");
    EXPECT_EQ(read_bytes("Form1.tmp"), "a = 1 + _\r\n2\r\n");
    EXPECT_FALSE(exists("Form1.tm2"));
    expect_in_order(out, {msg::error_writing_output, msg::disk_drive_may_be_full});
    EXPECT_EQ(g_run.job_failures, 1);
    expect_streams_closed();
}

TEST_F(JobTest, EmptySourceIsReportedAndNotRewritten) {
    write_bytes("Empty.bas", "");
    std::string out;
    EXPECT_EQ(run_job("Empty.bas", out), 1);
    expect_in_order(out, {"\n", format1(msg::unable_to_read, "Empty.bas"),
                          msg::program_will_abort_1, msg::press_enter, msg::program_will_abort});
    ASSERT_TRUE(exists("Empty.bas"));
    EXPECT_EQ(read_bytes("Empty.bas"), "");
    EXPECT_EQ(g_run.job_failures, 1);
    expect_streams_closed();
}

TEST_F(JobTest, EmptyTemporaryFileCopiesBackAsAnEmptySource) {
    write_bytes("Form1.tmp", "");
    write_bytes("Form1.bas", "old text\r\n");
    std::string out;
    testing::internal::CaptureStdout();
    const int result = copy_back_joined("Form1.tmp", "Form1.bas");
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read_bytes("Form1.bas"), "");
    EXPECT_FALSE(exists("Form1.tm2"));
    EXPECT_EQ(out.find("Unable to read"), std::string::npos) << out;
    expect_streams_closed();
}

TEST_F(JobTest, CopyBackWithoutTemporaryFileReportsIt) {
    write_bytes("Form1.bas", "text\r\n");
    std::string out;
    testing::internal::CaptureStdout();
    const int result = copy_back_joined("Form1.tmp", "Form1.bas");
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(read_bytes("Form1.bas"), "text\r\n");
    expect_in_order(out, {format1(msg::unable_open_read, "Form1.tmp"), msg::probably_not_exist});
    EXPECT_EQ(g_run.job_failures, 1);
}

TEST_F(JobTest, SourceThatIsItsOwnTemporaryNameIsNeverEmptied) {
    write_bytes("Data.tmp", kIndented);
    std::string out;
    EXPECT_EQ(run_job("Data.tmp", out), 1);
    EXPECT_EQ(read_bytes("Data.tmp"), kIndented);
    expect_in_order(out, {format1(msg::unable_open_write, "Data.tmp"), msg::disk_probably_full,
                          msg::program_will_abort});
    expect_streams_closed();
}

// Another run holds a folder: its files are reported and skipped, nothing is
// written beside them, and the run's own folders are locked once each,
// whatever name leads to them.
TEST_F(JobTest, FolderHeldByAnotherRunIsReportedAndLeftAlone) {
    write_bytes("sub/A.bas", kIndented);
    write_bytes("own/B.bas", kIndented);
    write_bytes("own/C.bas", kIndented);
    write_bytes("D.bas", kIndented);
    FileLock other_run;
    ASSERT_EQ(lock_file_take(other_run, std::string("sub/") + kFolderLockName), LockStatus::taken);
    for (const int multi : {0, 1}) {
        g_job.multi_file_mode = multi;
        std::string out;
        EXPECT_EQ(run_job("sub\\A.bas", out), multi != 0 ? 0 : 1);
        expect_in_order(out, {format1(msg::folder_busy, "sub"),
                              multi != 0 ? msg::program_will_continue : msg::program_will_abort});
        EXPECT_EQ(read_bytes("sub/A.bas"), kIndented);
        EXPECT_FALSE(exists("sub/A.tmp"));
        EXPECT_FALSE(exists("sub/A.bkb"));
        expect_streams_closed();
    }
    // The folder as written in other letter case is the same folder; a folder
    // that is not there holds nothing to lock.
    std::string out;
    EXPECT_EQ(run_job("SUB/a.bas", out), 0);
    expect_in_order(out, {format1(msg::folder_busy, "SUB"), msg::program_will_continue});
    EXPECT_EQ(run_job("gone/X.bas", out), 0);
    expect_in_order(out, {format1(msg::unable_open_read, "gone/X.bas")});
    EXPECT_EQ(g_run.job_failures, 4);

    ASSERT_EQ(lock_current_folder(), 0);
    EXPECT_EQ(run_job("own/B.bas", out), 0);
    EXPECT_EQ(run_job("own/../own/C.bas", out), 0);
    EXPECT_EQ(run_job("D.bas", out), 0);
    EXPECT_EQ(run_job("./D.bas", out), 0);
    EXPECT_EQ(g_locks.held.size(), 2u) << "the current folder and own/";
    EXPECT_EQ(read_bytes("own/C.bas"), kFlat);
    EXPECT_EQ(read_bytes("D.bas"), kFlat);
    EXPECT_TRUE(exists(std::string("own/") + kFolderLockName));

    // A name at the lock that can be no lock file: the folder is not used.
    ASSERT_TRUE(fs::create_directories(std::string("odd/") + kFolderLockName));
    write_bytes("odd/E.bas", kIndented);
    g_job.multi_file_mode = 1;
    EXPECT_EQ(run_job("odd/E.bas", out), 0);
    expect_in_order(out, {format1(msg::folder_unlockable, "odd"), msg::program_will_continue});
    EXPECT_EQ(read_bytes("odd/E.bas"), kIndented);

    lock_file_release(other_run);
    EXPECT_EQ(run_job("sub/A.bas", out), 0);
    EXPECT_EQ(read_bytes("sub/A.bas"), kFlat);
    release_folder_locks();
    for (const char* folder : {"", "sub/", "own/"}) {
        EXPECT_FALSE(exists(std::string(folder) + kFolderLockName)) << folder;
    }
}

TEST(JobNames, SecondTemporaryNameFollowsTheExtensionRule) {
    struct Case {
        const char* source;
        const char* second;
    };
    const Case cases[] = {
        {"Form1.frm", "Form1.tm2"},
        {"a.b.bas", "a.tm2"},
        {"..\\src\\Main.bas", "..\\src\\Main.tm2"},
        {"noext", "noext.tm2"},
    };
    std::string out = "previous content";
    for (const Case& c : cases) {
        name_with_extension(c.source, kSecondTempExtension, out);
        EXPECT_EQ(out, c.second) << c.source;
    }
}

} // namespace
} // namespace trevox
