// The line pump: one pass over one source file with one line of lookahead.
// Lines are held whole in the two reused buffers of g_pump (swapped, never
// reallocated per line); every result goes out through emit_line().
#include "engine/pump.h"

#include "console/console.h"
#include "console/messages.h"
#include "engine/joiner.h"
#include "engine/rules.h"
#include "log/log.h"
#include "settings/settings.h"

#include <cassert>
#include <cstdio>
#include <string_view>
#include <utility>

namespace trevox {

PumpState g_pump;

namespace {

constexpr char kNewline = '\n';
constexpr char kCommentQuote = '\'';
constexpr char kMarkerStart = '$';

// Texts matched at the start of a line.
constexpr std::string_view kFormHeaderStart = "Begin VB.Form "; // case-sensitive
constexpr std::string_view kAttributeLine = "Attribute ";       // case-sensitive
constexpr std::string_view kOptionExplicit = "Option Explicit"; // case-sensitive
constexpr std::string_view kRemKeyword = "rem";                 // case ignored
// Region markers, matched at the first "$" of a comment line, case ignored
// (given here in lower case).
constexpr std::string_view kProtectMarker = "$protect";
constexpr std::string_view kUnProtectMarker = "$unprotect";

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `text` begins with `lower_prefix` (given in lower case), ASCII
// letters compared without regard to case.
bool starts_with_nocase(std::string_view text, std::string_view lower_prefix) {
    if (text.size() < lower_prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < lower_prefix.size(); ++i) {
        if (ascii_lower(text[i]) != lower_prefix[i]) {
            return false;
        }
    }
    return true;
}

// The first character is compared on its own first: most lines differ there.
bool starts_with(const std::string& line, std::string_view prefix) {
    assert(!prefix.empty());
    return line.size() >= prefix.size() && line[0] == prefix[0] &&
           std::string_view(line).substr(0, prefix.size()) == prefix;
}

// True when `line` begins with "'" and its text from its first "$" begins
// with `lower_marker`, case ignored.
bool is_marker_line(const std::string& line, std::string_view lower_marker) {
    if (line.empty() || line[0] != kCommentQuote) {
        return false;
    }
    const std::size_t dollar = line.find(kMarkerStart);
    if (dollar == std::string::npos) {
        return false;
    }
    return starts_with_nocase(std::string_view(line).substr(dollar), lower_marker);
}

bool is_protect_end(const std::string& line) {
    return is_marker_line(line, kUnProtectMarker);
}

// True when `line` (leading white space already removed) is a whole-line
// comment: it begins with "'", or with the keyword Rem (case ignored)
// followed by a blank, a tab, the newline or the end of the text.
bool is_whole_line_comment(std::string_view line) {
    if (!line.empty() && line[0] == kCommentQuote) {
        return true;
    }
    if (!starts_with_nocase(line, kRemKeyword)) {
        return false;
    }
    if (line.size() == kRemKeyword.size()) {
        return true;
    }
    const char next = line[kRemKeyword.size()];
    return next == ' ' || next == '\t' || next == kNewline;
}

bool ends_with_newline(const std::string& line) {
    return !line.empty() && line.back() == kNewline;
}

// True when the stamp may take the place of what follows "Option Explicit" at
// the start of `line`: nothing but blanks and tabs, then the line end, the end
// of the text or a comment that does not go on over the next line. Code after
// it (": Dim x") would be lost, and a continued comment's next line would
// become code. A Rem comment needs white space before it: "ExplicitRem" is
// one word, not Explicit and a comment.
bool stamp_replaces_only_a_comment(const std::string& line) {
    assert(starts_with(line, kOptionExplicit));
    std::string_view rest = std::string_view(line).substr(kOptionExplicit.size());
    bool spaced = false;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
        spaced = true;
    }
    if (rest.empty() || rest == "\n") {
        return true;
    }
    if (rest.front() != kCommentQuote && !spaced) {
        return false;
    }
    return is_whole_line_comment(rest) && !is_continued_line(line);
}

// Drops the lines that continue a removed comment whose own line was a
// continued line: every line up to and including the first one that is not a
// continued line (or up to the end of the input). The dropped lines pass
// through current_line.
void drop_comment_continuation() {
    do {
        if (g_pump.end_of_input != 0) {
            return;
        }
        next_line();
    } while (is_continued_line(g_pump.current_line));
}

// Under RemoveComments, removes the whole-line comment in current_line
// together with the lines that continue it. When the line written just before
// is a continued line, one empty line takes the comment's place, so that the
// next line is not joined to that statement (at the very end of an input
// without a final line end there is no next line, and nothing is written).
void drop_whole_line_comment() {
    if (is_continued_line(g_pump.current_line)) {
        drop_comment_continuation();
    }
    // current_line now holds the comment's last line.
    if (g_pump.last_written_continued != 0 && ends_with_newline(g_pump.current_line)) {
        emit_line("\n", 1);
    }
}

// Under RemoveComments, removes the trailing comment of current_line. When the
// comment went on over the following lines (the line ended in " _"), those
// lines are removed too: current_line keeps the cut line and lookahead_line
// then holds the first line after the comment.
void strip_trailing_comment() {
    const bool continued = is_continued_line(g_pump.current_line);
    if (!cut_trailing_comment(g_pump.current_line) || !continued) {
        return;
    }
    // Park the cut line while the comment's lines pass through current_line.
    std::swap(g_pump.current_line, g_pump.held_line);
    drop_comment_continuation();
    std::swap(g_pump.current_line, g_pump.held_line);
}

// Per-line steps 3 to 5 on current_line. False when the line was removed
// (nothing more to do with it in this iteration).
bool rewrite_line() {
    std::string& line = g_pump.current_line;
    if (g_settings.RemoveBlankLines != 0) {
        const bool had_newline = ends_with_newline(line);
        strip_leading_space(line);
        // A blank line ends the continued statement written before it:
        // removing it would join the next line into that statement.
        if (line.empty() && had_newline && g_pump.last_written_continued != 0) {
            line.push_back(kNewline);
        }
    } else {
        strip_leading_blanks(line);
    }
    if (g_settings.RemoveComments != 0) {
        if (is_whole_line_comment(line)) {
            drop_whole_line_comment();
            return false;
        }
        strip_trailing_comment();
    }
    if (is_declaration(line)) {
        tighten_as(line);
    }
    return true;
}

} // namespace

// Empties both line buffers and clears the per-pass state; stamp_pending is
// run-wide and stays as it is. Capacities are kept for the next pass.
void pump_reset_pass() {
    g_pump.current_line.clear();
    g_pump.lookahead_line.clear();
    g_pump.held_line.clear();
    g_pump.end_of_input = 0;
    g_pump.write_error_count = 0;
    g_pump.last_written_continued = 0;
}

// Reads the first line of input_stream into lookahead_line, the way
// next_line() reads. False when nothing could be read (lookahead_line is then
// empty; end_of_input is not touched).
bool read_first_line() {
    if (!text_read_line(g_pump.input_stream, g_pump.lookahead_line)) {
        g_pump.lookahead_line.clear();
        return false;
    }
    return true;
}

// Moves lookahead_line into current_line and reads the following line into
// lookahead_line. When that read yields nothing, sets end_of_input and leaves
// lookahead_line empty.
void next_line() {
    std::swap(g_pump.current_line, g_pump.lookahead_line);
    if (!text_read_line(g_pump.input_stream, g_pump.lookahead_line)) {
        g_pump.lookahead_line.clear();
        g_pump.end_of_input = 1;
    }
}

// Writes `length` characters of `text` to output_stream. Under EchoAndLog the
// text is first shown on standard output unchanged and handed to log_line,
// even when it is empty. An empty text writes nothing and cannot fail. A
// failed write is reported (two messages and a pause) and counted.
void emit_line(const char* text, std::size_t length) {
    assert(text != nullptr || length == 0);
    if (g_settings.EchoAndLog != 0) {
        if (length > 0) {
            std::fwrite(text, 1, length, stdout);
        }
        log_line(length > 0 ? text : "", length);
    }
    if (length == 0) {
        return;
    }
    const std::string_view written(text, length);
    g_pump.last_written_continued =
        (written.size() >= 3 && written.substr(written.size() - 3) == " _\n") ? 1 : 0;
    if (!text_write(g_pump.output_stream, text, length)) {
        say("%s", msg::error_writing_output);
        say("%s", msg::disk_drive_may_be_full);
        ++g_pump.write_error_count;
        pause();
    }
}

// True when `line` starts a protected region: "'" first, and "$Protect" (case
// ignored) at its first "$".
bool is_protect_start(const std::string& line) {
    // Tested here first: most lines are no comment at all.
    return !line.empty() && line[0] == kCommentQuote && is_marker_line(line, kProtectMarker);
}

// Writes the "Begin VB.Form " line in current_line, then every following line
// unchanged up to the end of the first block of "Attribute " lines. Returns
// with the first line after that block (not written yet) in current_line, or,
// when the input ended first, the input's last line (empty if it had ended
// already).
void pass_form_header() {
    emit_line(g_pump.current_line);
    for (;;) {
        next_line();
        if (g_pump.end_of_input != 0) {
            return;
        }
        emit_line(g_pump.current_line);
        if (starts_with(g_pump.current_line, kAttributeLine)) {
            break;
        }
    }
    for (;;) {
        next_line();
        if (g_pump.end_of_input != 0 || !starts_with(g_pump.current_line, kAttributeLine)) {
            return;
        }
        emit_line(g_pump.current_line);
    }
}

// Writes the region start line in current_line, then every following line
// unchanged up to and including the end line ("'" in the first column,
// "$UnProtect" at its first "$") or the last line of the input.
void pass_protected() {
    emit_line(g_pump.current_line);
    for (;;) {
        next_line();
        if (is_protect_end(g_pump.current_line)) {
            emit_line(g_pump.current_line);
            return;
        }
        emit_line(g_pump.current_line);
        if (g_pump.end_of_input != 0) {
            return;
        }
    }
}

// The line pass over input_stream into output_stream, from the entry state
// set up by the job (lookahead_line holds the first line). 0 when the input
// has been pumped to its end, 1 when an iteration began after a failed write.
int reformat_lines() {
    for (;;) {
        if (g_pump.end_of_input != 0) {
            return 0;
        }
        if (g_pump.write_error_count != 0) {
            return 1;
        }
        next_line();
        if (!rewrite_line()) {
            continue;
        }
        if (starts_with(g_pump.current_line, kFormHeaderStart)) {
            pass_form_header();
        }
        std::string& line = g_pump.current_line;
        bool stamped = false;
        if (g_pump.stamp_pending != 0 && starts_with(line, kOptionExplicit) &&
            stamp_replaces_only_a_comment(line)) {
            line.resize(kOptionExplicit.size());
            line += g_run.reformat_stamp;
            stamped = true;
        }
        if (is_protect_start(line)) {
            pass_protected();
            continue;
        }
        emit_line(line);
        if (stamped) {
            g_pump.stamp_pending = 0;
        }
        if (g_pump.end_of_input != 0) {
            return 0;
        }
    }
}

} // namespace trevox
