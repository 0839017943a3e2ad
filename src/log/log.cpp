// The activity log Trevox.log.
//
// The first text of the run, empty or not, opens the log (mode "w", so the
// log of an earlier run is replaced) and writes its two-line header. Empty
// texts are never written and never close the log: it stays open, through
// the ordinary buffered stream, until the run ends (log_close_at_exit). After
// a failed write nothing more is logged in the run.
#include "log/log.h"

#include "console/console.h"
#include "console/messages.h"

#include <cassert>

namespace trevox {

LogState g_log;

namespace {

constexpr const char* kModuleLineStart = "Source Module is ";
constexpr const char* kModuleLineEnd = "\n\n";

// The three write-failure lines and the pause.
void report_write_failure() {
    say("%s", msg::log_write_error);
    say("%s", msg::disk_may_be_full);
    say("%s", msg::program_will_continue_1);
    pause();
}

// A write failed: reported, the log closed, nothing more logged in the run.
void fail_log_write() {
    report_write_failure();
    if (text_is_open(g_log.log_stream)) {
        text_close(g_log.log_stream);
    }
    g_log.log_open = 0;
    g_log.log_failed = 1;
}

// Writes one text to the open log: an empty text is not written (and does
// not close the log); a failed write ends the logging for the run.
void write_text(const char* text, std::size_t length) {
    assert(g_log.log_open != 0 && g_log.log_failed == 0);
    if (length == 0) {
        return;
    }
    if (!text_write(g_log.log_stream, text, length)) {
        fail_log_write();
    }
}

} // namespace

// Contract: closes the log if open, without any report, and puts every flag
// back to its start value (tests).
void log_reset() {
    if (text_is_open(g_log.log_stream)) {
        text_close(g_log.log_stream);
    }
    g_log.log_open = 0;
    g_log.log_failed = 0;
    g_log.log_closed = 0;
    g_log.log_module_line.clear();
}

// Contract: `length` characters of `text` appended to the log. The first call
// of the run opens the log and writes the header, whatever `text` holds; an
// empty text is never written and leaves the log open. An open failure is
// reported and the text dropped (the next call tries again); a write failure
// is reported once and ends the logging for the run.
void log_line(const char* text, std::size_t length) {
    assert(text != nullptr || length == 0);
    if (text == nullptr && length != 0) {
        return;
    }
    if (g_log.log_failed != 0 || g_log.log_closed != 0) {
        return;
    }
    if (g_log.log_open == 0) {
        if (!text_open_write(g_log.log_stream, kLogFileName)) {
            say("%s", msg::log_open_failed);
            say("%s", msg::disk_probably_full);
            say("%s", msg::program_will_continue_1);
            pause();
            return;
        }
        g_log.log_open = 1;
        // The header lines go the way of any other text.
        write_text(g_run.log_stamp_line.data(), g_run.log_stamp_line.size());
        if (g_log.log_failed != 0) {
            return;
        }
        std::string& module = g_log.log_module_line;
        module = kModuleLineStart;
        module += g_run.input_name;
        module += kModuleLineEnd;
        write_text(module.data(), module.size());
        if (g_log.log_failed != 0) {
            return;
        }
    }
    write_text(text, length);
}

// Contract: the log, if open, is flushed and closed; a failure to store what
// was still buffered gets the write-failure report. Nothing is logged after
// this call. Without an open log: nothing happens.
void log_close_at_exit() {
    g_log.log_closed = 1;
    if (g_log.log_open == 0) {
        return;
    }
    const bool stored = text_close(g_log.log_stream);
    g_log.log_open = 0;
    if (!stored && g_log.log_failed == 0) {
        report_write_failure();
        g_log.log_failed = 1;
    }
}

} // namespace trevox
