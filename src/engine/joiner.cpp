// Continuation-line joining: the loop of the copy-back pass, which copies the
// reformatted text line by line and joins each run of continued lines into as
// few lines as fit within MaxLineLength.
#include "engine/joiner.h"

#include "engine/pump.h"
#include "settings/settings.h"

#include <cassert>
#include <cstdint>
#include <string_view>

namespace trevox {

JoinState g_join;

namespace {

// The end of a continued line, and the mark that ends a line written because
// the next piece did not fit.
constexpr std::string_view kContinuedEnd = " _\n";
constexpr std::string_view kBreakMark = " _\n";
// Characters cut from a continued line to make its piece ("_\n"; the blank
// before them stays as the separator).
constexpr std::size_t kPieceCut = 2;
// A final piece that is this text alone would turn the joined line, which
// ends in a blank, into a continued line ending in " _\n", and so join the
// line after the run into the statement (or comment) as well. At the end of
// the input, without its line end, it would leave " _" at the very end, where
// the underscore reads as a continuation mark rather than as the text it was.
constexpr std::string_view kBareMarkLine = "_\n";
constexpr std::string_view kBareMarkAtEnd = "_";

bool is_bare_mark(std::string_view piece) {
    return piece == kBareMarkLine || piece == kBareMarkAtEnd;
}

// True when `buffer` plus `piece` would be longer than MaxLineLength. Counted
// in 64 bits, so every 32-bit MaxLineLength (0, negative, INT32_MAX) compares
// as written, with no overflow.
bool would_exceed(std::size_t buffer_length, std::size_t piece_length) {
    const std::int64_t total =
        static_cast<std::int64_t>(buffer_length) + static_cast<std::int64_t>(piece_length);
    return total > static_cast<std::int64_t>(g_settings.MaxLineLength);
}

// Writes join_buffer with the break mark appended, then empties it.
void flush_with_break() {
    std::string& buffer = g_join.join_buffer;
    buffer.append(kBreakMark);
    emit_line(buffer);
    buffer.clear();
}

} // namespace

// True when `line` ends in exactly " _\n" (a blank, an underscore, the line
// end); a tab before the underscore or a missing line end does not count.
bool is_continued_line(const std::string& line) {
    const std::string_view text(line);
    return text.size() >= kContinuedEnd.size() &&
           text.substr(text.size() - kContinuedEnd.size()) == kContinuedEnd;
}

// The copy-back loop: from the entry state set up by the job (lookahead_line
// holds the first line of the temporary file), copies every line through
// emit_line, passes protected regions through and joins runs of continued
// lines. 0 at the end of the input, 1 when a cycle began after a failed write.
int copy_back_loop() {
    for (;;) {
        if (g_pump.end_of_input != 0) {
            return 0;
        }
        if (g_pump.write_error_count != 0) {
            return 1;
        }
        next_line();
        if (is_protect_start(g_pump.current_line)) {
            pass_protected();
        } else if (is_continued_line(g_pump.current_line)) {
            join_split_lines();
        } else {
            emit_line(g_pump.current_line);
        }
    }
}

// Joins the run of continued lines that starts in current_line with the line
// that ends it (the final piece, empty at the end of the input) and writes the
// result in as few lines as fit within MaxLineLength. Returns with the final
// piece in current_line and the line after it in lookahead_line. Each piece is
// appended once, so a long run costs time in proportion to its length.
void join_split_lines() {
    assert(is_continued_line(g_pump.current_line));
    std::string& buffer = g_join.join_buffer;
    std::string& line = g_pump.current_line;
    buffer.clear();
    do {
        line.resize(line.size() - kPieceCut);
        if (would_exceed(buffer.size(), line.size())) {
            flush_with_break();
        }
        buffer.append(line);
        next_line();
    } while (is_continued_line(line));
    if (would_exceed(buffer.size(), line.size()) || (!buffer.empty() && is_bare_mark(line))) {
        flush_with_break();
    }
    buffer.append(line);
    emit_line(buffer);
    buffer.clear();
}

} // namespace trevox
