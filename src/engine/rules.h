// Line rewrite rules, and the tests the engine makes on a line. A line is a
// TextLine: its characters without the line end, and whether it had one. No
// rule copies or allocates: each one answers with a shorter view of the line
// it was given, or with the positions of what is to go.
#pragma once

#include "platform/text_mode.h"

#include <cstddef>
#include <string_view>

namespace trevox {

// Removes the blanks and tabs at the start of the line. The line end stays,
// so a line of blanks and tabs only becomes an empty line.
TextLine strip_leading_blanks(TextLine line);

// Removes the white space at the start of the line (tab, LF, vertical tab,
// form feed, CR, blank), its line end included when nothing else is left: a
// line of white space only becomes the empty text.
TextLine strip_leading_space(TextLine line);

// Removes a trailing comment and the blanks before it; the line then ends
// with a line end, also when it had none. False (and the line as it was)
// when there is no comment to remove, or when removing it would leave a line
// continued with " _".
bool cut_trailing_comment(TextLine& line);

// Position of the quote that starts the text's trailing comment, or 0 for none.
std::size_t find_comment(std::string_view text);

// Length of `text` without the blanks (not tabs) at its end; the first
// character always stays.
std::size_t trimmed_length(std::string_view text);

// True when the text begins with a declaration keyword ("Dim ", "Public ",
// ...) whose second word does not make it a procedure, constant, enumeration
// or the like.
bool is_declaration(std::string_view text);

// The run of blanks before the text's first " As " that goes, as [from, to):
// all of them but the one that begins " As ". Empty (from == to) when there is
// nothing to collapse.
struct BlankRun {
    std::size_t from = 0;
    std::size_t to = 0;
};
BlankRun blanks_before_as(std::string_view text);

// True when the text (leading white space removed) is a comment as a whole:
// it begins with "'", or with the keyword Rem (case ignored) standing alone or
// followed by a blank or a tab.
bool is_whole_line_comment(std::string_view text);

// True when the line ends in " _" and its line end: the statement goes on
// over the next line.
bool is_continued(const TextLine& line);

// True when the text starts a protected region: "'" first, and "$Protect"
// (case ignored) at its first "$".
bool is_protect_start(std::string_view text);

// True when the text ends a protected region: "'" first, and "$UnProtect"
// (case ignored) at its first "$".
bool is_protect_end(std::string_view text);

} // namespace trevox
