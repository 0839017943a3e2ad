// Test support for the engine's passes: real text files in a scratch folder
// (the current folder while a test runs), the pump state reset to a known
// start, and write failures injected through the raw I/O hooks.
#pragma once

#include "console/console.h"
#include "engine/joiner.h"
#include "engine/pump.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace trevox::engine_test {

// The stamp the tests put in place of the run's dated one.
inline constexpr const char* kStamp = "   ' Reformatted 01-02-03 at 04:05:06\n";

// "\n" written as CR LF, the way the program's own files look on disk.
inline std::string to_crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// CR LF read back as "\n". Every LF on disk must belong to a CR LF pair.
inline std::string from_crlf(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            ADD_FAILURE() << "a line end written without its CR at byte " << i;
        }
        out += bytes[i];
    }
    return out;
}

using test::read_bytes;
using test::write_bytes;

// Raw read that serves the pass's input file only: the console gets no key,
// so a pause after a failed write goes on at once even at a terminal.
inline long (*g_saved_read)(int, void*, std::size_t) = nullptr;
inline long read_input_only(int fd, void* buf, std::size_t n) {
    if (fd != g_pump.input_stream.fd) {
        return -1;
    }
    return g_saved_read(fd, buf, n);
}
inline long failing_write(int, const void*, std::size_t) {
    return -1;
}

// A write failure larger than any write block: a line this long must reach
// the file system while it is being written.
inline constexpr std::size_t kHugeLine = 1024 * 1024;

// Base fixture: settings at their defaults, a fresh pass, the stamp pending,
// a scratch folder for the input and output files.
class PassTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_reset();
        io_hooks_reset();
        pump_reset_pass();
        g_pump.stamp_pending = 1;
        g_run.reformat_stamp = kStamp;
    }

    void TearDown() override {
        io_hooks_reset();
        text_close(g_pump.input_stream);
        text_close(g_pump.output_stream);
        pump_reset_pass();
        settings_reset();
    }

    // Makes every write fail, and keeps pauses from waiting for a key.
    void fail_writes() {
        g_saved_read = g_io.read;
        g_io.read = read_input_only;
        g_io.write = failing_write;
    }

    // Runs one pass (`pass` is reformat_lines or copy_back_loop) over `input`
    // (written with CR LF line ends). Returns the output text with CR LF read
    // back as "\n"; the pass's result goes to `result`.
    template <typename Pass>
    std::string run_pass(Pass pass, const std::string& input, int& result) {
        write_bytes(in_path_, to_crlf(input));
        pump_reset_pass();
        EXPECT_TRUE(text_open_read(g_pump.input_stream, in_path_));
        EXPECT_TRUE(text_open_write(g_pump.output_stream, out_path_));
        read_first_line();
        result = pass();
        text_close(g_pump.input_stream);
        text_close(g_pump.output_stream);
        return from_crlf(read_bytes(out_path_));
    }

    test::ScratchDir scratch_{"engine"};
    const std::string dir_ = scratch_.path().string();
    const std::string in_path_ = dir_ + "/in.bas";
    const std::string out_path_ = dir_ + "/out.tmp";
};

} // namespace trevox::engine_test
