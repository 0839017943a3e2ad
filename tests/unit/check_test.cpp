// The check, the diff and the filter on their own: what they print for each
// kind of file, what they count, that they write nothing, and KeepLineEnds.
#include "check/check.h"

#include "console/console.h"
#include "console/messages.h"
#include "inputs/inputs.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace trevox {
namespace {

namespace fs = std::filesystem;
using test::read_bytes;
using test::write_bytes;

TEST(CheckTexts, OnlyLineEndsDiffer) {
    struct Case {
        const char* a;
        const char* b;
        bool expected;
    };
    const Case cases[] = {
        {"a\nb\n", "a\r\nb\r\n", true},
        {"a\r\nb\n", "a\nb\r\n", true},
        {"a\nb", "a\r\nb", true},
        {"", "", true},
        {"a\nb", "a\r\nb\r\n", false},
        {"a\n", "b\r\n", false},
        {"a\rb\n", "a\r\nb\r\n", false},
        {"a\r", "a\r\n", false},
        {"x = 1\n", "x = 1\r\n\r\n", false},
        {"a\r\r\n", "a\r\n", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(only_line_ends_differ(c.a, c.b), c.expected) << c.a << " | " << c.b;
        EXPECT_EQ(only_line_ends_differ(c.b, c.a), c.expected) << c.b << " | " << c.a;
    }
}

TEST(CheckTexts, DiffHeaderNames) {
    std::string out;
    diff_header_name("forms\\Main.frm", out);
    EXPECT_EQ(out, "forms/Main.frm");
    diff_header_name("My Forms/Main.frm", out);
    EXPECT_EQ(out, "My Forms/Main.frm\t");
    diff_header_name("Main.frm", out);
    EXPECT_EQ(out, "Main.frm");
}

class Check : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_reset();
        run_state_reset();
        check_reset();
        inputs_reset();
        io_hooks_reset();
        g_run.batch_console = 1;
    }
    void TearDown() override {
        io_hooks_reset();
        inputs_reset();
        check_reset();
        run_state_reset();
        settings_reset();
    }

    // Checks `name`; standard output into out_, standard error into err_.
    void check(const std::string& name) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(check_file(name), 0);
        std::fflush(stdout);
        out_ = testing::internal::GetCapturedStdout();
        err_ = testing::internal::GetCapturedStderr();
    }

    // Every entry of the scratch directory with its bytes.
    std::vector<std::string> listing() const {
        std::vector<std::string> entries;
        for (const auto& e : fs::recursive_directory_iterator(scratch_.path())) {
            entries.push_back(e.path().string() + "=" +
                              (e.is_regular_file() ? read_bytes(e.path()) : "<dir>"));
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    test::ScratchDir scratch_{"check"};
    std::string out_;
    std::string err_;
};

TEST_F(Check, ReportsWhatARunWouldChangeAndWritesNothing) {
    write_bytes("Changed.bas", "Sub A()\r\n    x = 1\r\nEnd Sub\r\n");
    write_bytes("Same.bas", "Option Explicit\r\nSub A()\r\nx = 1\r\nEnd Sub\r\n");
    write_bytes("Empty.bas", "");
    fs::create_directory("Lower");
    write_bytes("Lower/Upper.BAS", "  y = 2\r\n");
    const std::vector<std::string> before = listing();

    check("Same.bas");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_, "");
    check("Changed.bas");
    EXPECT_EQ(out_, "would reformat Changed.bas\n");
    EXPECT_EQ(err_, "");
    check("lower/upper.bas");
    EXPECT_EQ(out_, "would reformat Lower/Upper.BAS\n") << "named as the run names it";
    EXPECT_EQ(g_check.would_change, 2);
    EXPECT_EQ(g_run.job_failures, 0);

    check("Missing.bas");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_, "Trevox==>  Unable to open Missing.bas for reading \n"
                    "Trevox==>  The file probably doesn't exist \n\n");
    check("Empty.bas");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_, "Trevox==>  Unable to read Empty.bas \n");
    EXPECT_EQ(g_run.job_failures, 2);
    EXPECT_EQ(g_check.would_change, 2);
    EXPECT_FALSE(bytes_is_open(g_check.input));
    EXPECT_EQ(listing(), before);
}

// The stamp dates a run that reformats: a stamped file is in shape.
TEST_F(Check, StampedFileIsInShape) {
    write_bytes(
        "Stamped.bas",
        "Option Explicit   '-- $Reformatted by Trevox, Ver. 1.2a, on 03-14-00 at 09:05:30\r\n"
        "x = 1\r\n");
    check("Stamped.bas");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(g_check.would_change, 0);
}

TEST_F(Check, DiffShowsLinesAsStoredAndLineEndsInOneLine) {
    g_check.show_diff = true;
    write_bytes("Crlf.bas", "a = 1\r\n  b = 2\r\nc = 3\r\n");
    check("Crlf.bas");
    EXPECT_EQ(out_, "would reformat Crlf.bas\n"
                    "--- Crlf.bas\n+++ Crlf.bas\n"
                    "@@ -1,3 +1,3 @@\n a = 1\r\n-  b = 2\r\n+b = 2\r\n c = 3\r\n");

    write_bytes("Lf.bas", "a = 1\nb = 2\n");
    check("Lf.bas");
    EXPECT_EQ(out_,
              "would reformat Lf.bas\nonly the line ends of Lf.bas would change (to CR LF)\n");

    // Under KeepLineEnds an LF file keeps its LF, and shows its changes in LF.
    g_settings.KeepLineEnds = 1;
    check("Lf.bas");
    EXPECT_EQ(out_, "");
    write_bytes("Lf.bas", "a = 1\n  b = 2\n");
    check("Lf.bas");
    EXPECT_EQ(out_, "would reformat Lf.bas\n--- Lf.bas\n+++ Lf.bas\n"
                    "@@ -1,2 +1,2 @@\n a = 1\n-  b = 2\n+b = 2\n");
    // A mixed file is written with CR LF as usual.
    write_bytes("Mixed.bas", "a = 1\r\nb = 2\n");
    check("Mixed.bas");
    EXPECT_EQ(
        out_,
        "would reformat Mixed.bas\nonly the line ends of Mixed.bas would change (to CR LF)\n");
}

TEST_F(Check, OptionsFollowTheSettingsWithoutStamp) {
    g_settings.RemoveBlankLines = 1;
    g_settings.CombineSplitLines = 1;
    g_settings.MaxLineLength = 80;
    FormatOptions o = check_options("a\n");
    EXPECT_TRUE(o.remove_blank_lines);
    EXPECT_FALSE(o.remove_comments);
    EXPECT_TRUE(o.combine_split_lines);
    EXPECT_EQ(o.max_line_length, 80);
    EXPECT_FALSE(o.stamp_pending);
    EXPECT_TRUE(o.stamp.empty());
    EXPECT_FALSE(o.lf_line_ends) << "KeepLineEnds off";
    g_settings.KeepLineEnds = 1;
    EXPECT_TRUE(check_options("a\nb\n").lf_line_ends);
    EXPECT_TRUE(check_options("a\nb").lf_line_ends);
    EXPECT_FALSE(check_options("a\r\nb\n").lf_line_ends);
    EXPECT_FALSE(check_options("a").lf_line_ends) << "no line end at all";
    EXPECT_FALSE(check_options("").lf_line_ends);
}

// Standard input and output through the I/O hooks.
struct FakeStreams {
    std::string input;
    std::size_t at = 0;
    bool read_fails = false;
    bool write_fails = false;
    std::string output;
};
FakeStreams g_streams;

long fake_read(int fd, void* buf, std::size_t n) {
    EXPECT_EQ(fd, 0);
    if (g_streams.read_fails) {
        errno = EIO;
        return -1;
    }
    // A few bytes at a time, as a pipe may give them.
    const std::size_t take = std::min({n, g_streams.input.size() - g_streams.at, std::size_t{7}});
    std::memcpy(buf, g_streams.input.data() + g_streams.at, take);
    g_streams.at += take;
    return static_cast<long>(take);
}

long fake_write(int fd, const void* buf, std::size_t n) {
    EXPECT_EQ(fd, 1);
    if (g_streams.write_fails) {
        errno = EPIPE;
        return -1;
    }
    g_streams.output.append(static_cast<const char*>(buf), n);
    return static_cast<long>(n);
}

class Filter : public Check {
  protected:
    void SetUp() override {
        Check::SetUp();
        g_streams = FakeStreams{};
        g_io.read = &fake_read;
        g_io.write = &fake_write;
    }

    bool filter(const std::string& input) {
        g_streams.input = input;
        g_streams.at = 0;
        g_streams.output.clear();
        testing::internal::CaptureStderr();
        const bool done = filter_standard_input();
        err_ = testing::internal::GetCapturedStderr();
        return done;
    }
};

TEST_F(Filter, TextInTextOut) {
    const std::string lf(2000, 'x');
    EXPECT_TRUE(filter("  a = 1\n\n    Dim b    As Long\r\n" + lf + "\n"));
    EXPECT_EQ(g_streams.output, "a = 1\r\n\r\nDim b As Long\r\n" + lf + "\r\n");
    EXPECT_EQ(err_, "");
    g_settings.RemoveBlankLines = 1;
    g_settings.KeepLineEnds = 1;
    EXPECT_TRUE(filter("  a = 1\n\nb = 2\n"));
    EXPECT_EQ(g_streams.output, "a = 1\nb = 2\n");
    EXPECT_TRUE(filter("  a = 1\r\nb = 2\n"));
    EXPECT_EQ(g_streams.output, "a = 1\r\nb = 2\r\n") << "a mixed text gets CR LF";
    // No line at all: nothing written, and no failure.
    EXPECT_TRUE(filter(""));
    EXPECT_EQ(g_streams.output, "");
    EXPECT_TRUE(filter("\x1a"));
    EXPECT_EQ(g_streams.output, "");
    EXPECT_EQ(err_, "");
}

TEST_F(Filter, FailuresAreReportedOnStandardError) {
    g_streams.read_fails = true;
    EXPECT_FALSE(filter("a = 1\n"));
    EXPECT_EQ(g_streams.output, "");
    EXPECT_EQ(err_, msg::unable_read_stdin);
    g_streams.read_fails = false;
    g_streams.write_fails = true;
    EXPECT_FALSE(filter("a = 1\n"));
    EXPECT_EQ(err_, msg::unable_write_stdout);
}

} // namespace
} // namespace trevox
