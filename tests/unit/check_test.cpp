// The parts of the check and the filter that the end-to-end tests do not
// reach: the line-end comparison, the options under KeepLineEnds, and the
// filter's failures to read or write.
#include "check/check.h"

#include "console/console.h"
#include "console/messages.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace trevox {
namespace {

TEST(CheckTexts, OnlyLineEndsDiffer) {
    const struct {
        const char* a;
        const char* b;
        bool expected;
    } cases[] = {
        {"a\nb\n", "a\r\nb\r\n", true},  {"a\r\nb\n", "a\nb\r\n", true},
        {"a\nb", "a\r\nb", true},        {"", "", true},
        {"a\nb", "a\r\nb\r\n", false},   {"a\n", "b\r\n", false},
        {"a\rb\n", "a\r\nb\r\n", false}, {"a\r", "a\r\n", false},
        {"a\r\r\n", "a\r\n", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(only_line_ends_differ(c.a, c.b), c.expected) << c.a << " | " << c.b;
        EXPECT_EQ(only_line_ends_differ(c.b, c.a), c.expected) << c.b << " | " << c.a;
    }
}

// Names in diff headers: "/" between folders, and a tab ending a name that
// holds a blank, as patch and git apply read it.
TEST(CheckTexts, DiffHeaderNames) {
    const struct {
        const char* name;
        const char* header;
    } cases[] = {
        {"Main.frm", "Main.frm"},
        {"forms\\Main.frm", "forms/Main.frm"},
        {"my forms\\Main.frm", "my forms/Main.frm\t"},
    };
    std::string out = "old";
    for (const auto& c : cases) {
        diff_header_name(c.name, out);
        EXPECT_EQ(out, c.header) << c.name;
    }
}

TEST(CheckTexts, LineEndsUnderKeepLineEnds) {
    settings_reset();
    EXPECT_FALSE(check_options("a\n").lf_line_ends) << "KeepLineEnds off";
    g_settings.KeepLineEnds = 1;
    EXPECT_TRUE(check_options("a\nb").lf_line_ends);
    EXPECT_FALSE(check_options("a\r\nb\n").lf_line_ends);
    EXPECT_FALSE(check_options("a").lf_line_ends) << "no line end at all";
    EXPECT_FALSE(check_options("").lf_line_ends);
    EXPECT_FALSE(check_options("a\n").stamp_pending);
    settings_reset();
}

long failing_read(int, void*, std::size_t) {
    errno = EIO;
    return -1;
}
const char* g_input = ""; // what text_read gives, then the end
long text_read(int, void* buf, std::size_t n) {
    const std::size_t take = std::min(n, std::strlen(g_input));
    std::memcpy(buf, g_input, take);
    g_input += take;
    return static_cast<long>(take);
}
long failing_write(int, const void*, std::size_t) {
    errno = EPIPE;
    return -1;
}

// Standard input that cannot be read, standard output that cannot be
// written: said on standard error, false. An empty input writes nothing.
TEST(CheckFilter, FailuresAreReported) {
    run_state_reset();
    g_run.batch_console = 1;
    const struct {
        decltype(g_io.read) read;
        const char* input;
        const char* message;
    } cases[] = {{&failing_read, "", msg::unable_read_stdin},
                 {&text_read, "", ""},
                 {&text_read, "  x = 1\n", msg::unable_write_stdout}};
    for (const auto& c : cases) {
        g_input = c.input;
        g_io.read = c.read;
        g_io.write = &failing_write;
        testing::internal::CaptureStderr();
        const bool done = filter_standard_input();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(done, *c.message == '\0');
    }
    io_hooks_reset();
    run_state_reset();
}

} // namespace
} // namespace trevox
