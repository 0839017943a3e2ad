// The check, the diff and the filter: a run's formatting in memory, its
// result compared or written to standard output, no file written.
#include "check/check.h"

#include "console/console.h"
#include "console/messages.h"
#include "jobs/job.h"
#include "settings/settings.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

namespace trevox {

CheckState g_check;

namespace {

// Reads the rest of the open file into `text` (emptied first). False on a
// read error.
bool read_whole(ByteReader& in, std::string& text) {
    text.clear();
    for (;;) {
        const std::size_t at = text.size();
        text.resize(at + kTextBlockBytes);
        const long got = bytes_read(in, text.data() + at, kTextBlockBytes);
        if (got <= 0) {
            text.resize(at);
            return got == 0;
        }
        text.resize(at + static_cast<std::size_t>(got));
    }
}

// Bytes to standard output as they are; `bytes` is emptied.
void put_out(std::string& bytes) {
    if (!bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    }
    bytes.clear();
}

// The drain of a long diff.
void drain_to_output(void* context, std::string& text) {
    (void)context;
    put_out(text);
}

} // namespace

FormatOptions check_options(std::string_view text) {
    FormatOptions options = settings_format_options();
    if (g_settings.KeepLineEnds != 0) {
        LineEndScan ends;
        ends.feed(text.data(), text.size());
        options.lf_line_ends = ends.lf_only();
    }
    return options;
}

// Walks both texts at once, passing over a CR that stands right before a LF.
bool only_line_ends_differ(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        if (i < a.size() && a[i] == '\r' && i + 1 < a.size() && a[i + 1] == '\n') {
            ++i;
        }
        if (j < b.size() && b[j] == '\r' && j + 1 < b.size() && b[j + 1] == '\n') {
            ++j;
        }
        if (i == a.size() || j == b.size()) {
            return i == a.size() && j == b.size();
        }
        if (a[i] != b[j]) {
            return false;
        }
        ++i;
        ++j;
    }
}

// A blank inside a name would end it for patch: a tab after the name ends it
// instead (where diff puts the file's time), which git apply reads too.
void diff_header_name(const std::string& name, std::string& out) {
    out = name;
    std::replace(out.begin(), out.end(), '\\', '/');
    if (out.find(' ') != std::string::npos) {
        out += '\t';
    }
}

// The name is taken as the run takes it.
int check_file(const std::string& name) {
    CheckState& c = g_check;
    assert(!bytes_is_open(c.input));
    if (!open_source(c.input, name, c.source_name)) {
        ++g_run.job_failures;
        return 0;
    }
    const std::string& source = c.source_name;
    const bool read_ok = read_whole(c.input, c.text);
    bytes_close(c.input);
    const FormatOptions options = check_options(c.text);
    EngineResult formatted;
    if (read_ok) {
        const bool valid = c.formatter.format(options, c.text, c.result, &formatted);
        assert(valid);
        (void)valid;
    }
    // A run cannot reformat what it cannot read, nor a text without a line.
    if (!read_ok || !formatted.had_input) {
        say(msg::unable_to_read, source.c_str());
        ++g_run.job_failures;
        return 0;
    }
    if (c.result == c.text) {
        return 0;
    }
    ++c.would_change;
    std::printf(msg::would_reformat, source.c_str());
    if (!c.show_diff) {
        return 0;
    }
    if (only_line_ends_differ(c.text, c.result)) {
        std::printf(msg::line_ends_only, source.c_str(),
                    options.lf_line_ends ? msg::line_ends_lf : msg::line_ends_crlf);
        return 0;
    }
    c.report.clear();
    diff_header_name(source, c.diff_name);
    c.differ.set_drain(&drain_to_output, nullptr);
    c.differ.unified(c.diff_name, c.diff_name, c.text, c.result, c.report);
    put_out(c.report);
    return 0;
}

bool filter_standard_input() {
    CheckState& c = g_check;
    standard_streams_binary();
    if (!read_standard_input(c.text)) {
        say("%s", msg::unable_read_stdin);
        return false;
    }
    EngineResult formatted;
    const bool valid = c.formatter.format(check_options(c.text), c.text, c.result, &formatted);
    assert(valid);
    (void)valid;
    // An empty text (or one of Ctrl-Z alone) is a text too: it gives nothing.
    if (!formatted.had_input) {
        return true;
    }
    if (!write_standard_output(c.result.data(), c.result.size())) {
        say("%s", msg::unable_write_stdout);
        return false;
    }
    return true;
}

} // namespace trevox
