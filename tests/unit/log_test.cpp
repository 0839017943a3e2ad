// The activity log: header, exact bytes, empty texts, open and write failures.
#include "console/console.h"
#include "log/log.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStamp = "Created by Trevox on 03-14-00 at 09:05:30\n";
constexpr const char* kOpenFailed = "Trevox==>  Unable to open Trevox.log for writing \n"
                                    "Trevox==>  The disk is probably full \n"
                                    "Trevox==>  Program will continue \n";
constexpr const char* kWriteFailed = "Trevox==>  Write error on Trevox.log \n"
                                     "Trevox==>  Disk may be full \n"
                                     "Trevox==>  Program will continue \n";

using test::count_of;
using test::read_bytes;
using test::write_bytes;

void log_text(const std::string& text) {
    log_line(text.data(), text.size());
}

// A write that always fails as on a full disk; counts its calls.
int g_failed_writes = 0;
long failing_write(int, const void*, std::size_t) {
    ++g_failed_writes;
    errno = ENOSPC;
    return -1;
}

// Each test runs in a fresh current directory with a known stamp and name.
class Log : public ::testing::Test {
  protected:
    void SetUp() override {
        log_reset();
        run_state_reset();
        g_run.log_stamp_line = kStamp;
        g_run.input_name = "*.frm";
        g_failed_writes = 0;
    }
    void TearDown() override {
        io_hooks_reset();
        log_reset();
        run_state_reset();
    }
    std::string log_bytes() const { return read_bytes(dir_ / "Trevox.log"); }

    test::ScratchDir scratch_{"log"};
    const fs::path dir_ = scratch_.path();
};

TEST_F(Log, ExactBytesAfterSeveralLines) {
    write_bytes(dir_ / "Trevox.log", "the log of an earlier run\n");
    g_run.input_name = "Form1.frm";
    testing::internal::CaptureStdout();
    log_text("Private x As Long\n");
    log_text("s = \"%s %d 100%\"\n");
    log_text("End Sub"); // a last line without newline runs into the next one
    log_text("Attribute VB_Name = \"Module1\"\n");
    EXPECT_EQ(g_log.log_open, 1);
    EXPECT_EQ(log_bytes(), "") << "nothing is flushed line by line";
    log_close_at_exit();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(log_bytes(), "Created by Trevox on 03-14-00 at 09:05:30\r\n"
                           "Source Module is Form1.frm\r\n"
                           "\r\n"
                           "Private x As Long\r\n"
                           "s = \"%s %d 100%\"\r\n"
                           "End SubAttribute VB_Name = \"Module1\"\r\n");
    EXPECT_EQ(g_log.log_module_line, "Source Module is Form1.frm\n\n");
}

TEST_F(Log, EmptyTextOpensButIsNeitherWrittenNorClosing) {
    log_line(nullptr, 0);
    EXPECT_EQ(g_log.log_open, 1) << "the first text of the run opens the log, empty or not";
    EXPECT_TRUE(fs::exists(dir_ / "Trevox.log"));
    log_text("a\n");
    log_line("", 0);
    EXPECT_EQ(g_log.log_open, 1) << "an empty text leaves the log open";
    log_text("b\n");
    log_close_at_exit();
    EXPECT_EQ(log_bytes(), "Created by Trevox on 03-14-00 at 09:05:30\r\n"
                           "Source Module is *.frm\r\n\r\n"
                           "a\r\nb\r\n");
}

TEST_F(Log, NothingLoggedLeavesAnEarlierLogAlone) {
    write_bytes(dir_ / "Trevox.log", "earlier\r\n");
    log_close_at_exit();
    EXPECT_EQ(log_bytes(), "earlier\r\n");
}

TEST_F(Log, NothingIsLoggedAfterTheEndOfTheRun) {
    log_text("a\n");
    log_close_at_exit();
    const std::string closed = log_bytes();
    log_text("b\n");
    log_close_at_exit();
    EXPECT_EQ(log_bytes(), closed) << "the log is neither reopened nor emptied";
    EXPECT_EQ(count_of(closed, "a\r\n"), 1);
}

TEST_F(Log, OpenFailureIsRetried) {
    fs::create_directory(dir_ / "Trevox.log"); // cannot be opened as a file
    testing::internal::CaptureStdout();
    log_text("first\n");
    EXPECT_EQ(g_log.log_open, 0);
    EXPECT_EQ(g_log.log_failed, 0);
    log_text("second\n");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, std::string(kOpenFailed).size()), kOpenFailed);
    EXPECT_EQ(count_of(out, kOpenFailed), 2) << out;

    fs::remove(dir_ / "Trevox.log");
    testing::internal::CaptureStdout();
    log_text("third\n");
    log_close_at_exit();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(log_bytes(), "Created by Trevox on 03-14-00 at 09:05:30\r\n"
                           "Source Module is *.frm\r\n\r\n"
                           "third\r\n");
}

TEST_F(Log, OpenFailureInReadOnlyDirectory) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "the superuser writes into read-only directories";
    }
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    testing::internal::CaptureStdout();
    log_text("x\n");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(count_of(out, kOpenFailed), 1) << out;
    EXPECT_EQ(g_log.log_failed, 0);
    EXPECT_FALSE(fs::exists(dir_ / "Trevox.log"));
}

TEST_F(Log, WriteFailureSurfacingAtTheEnd) {
    log_text("a\n");
    g_io.write = failing_write;
    testing::internal::CaptureStdout();
    log_close_at_exit();
    log_text("b\n");
    log_close_at_exit();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, std::string(kWriteFailed).size()), kWriteFailed);
    EXPECT_EQ(count_of(out, kWriteFailed), 1) << out;
    EXPECT_EQ(g_log.log_failed, 1);
    EXPECT_EQ(g_log.log_open, 0);
}

TEST_F(Log, WriteFailureDuringTheRun) {
    log_text("a\n");
    g_io.write = failing_write;
    const std::string line(1000, 'x');
    testing::internal::CaptureStdout();
    // Buffered text reaches the disk when the buffer fills; the failure shows
    // then. 64 MB is far beyond any buffer.
    for (int i = 0; i < 64 * 1024 && g_log.log_failed == 0; ++i) {
        log_text(line);
    }
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(g_log.log_failed, 1) << "the failed write was never noticed";
    EXPECT_EQ(g_log.log_open, 0);
    EXPECT_EQ(count_of(out, kWriteFailed), 1) << out;

    const int writes = g_failed_writes;
    testing::internal::CaptureStdout();
    for (int i = 0; i < 100; ++i) {
        log_text(line);
        log_text("\n");
    }
    log_close_at_exit();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no further message about the log";
    EXPECT_EQ(g_failed_writes, writes) << "nothing more is written after the failure";
    io_hooks_reset();
    EXPECT_EQ(log_bytes().find('x'), std::string::npos);
}

} // namespace
} // namespace trevox
