// A small reader of Visual Basic source text for the fuzz targets: it splits
// text into logical lines the way the compiler reads them, so that two texts
// can be compared by what they mean rather than by their bytes.
//
// Rules, on text as text mode reads it (lines end in "\n"):
// - A physical line continues onto the next one when it ends in a blank and an
//   underscore (" _") that stand outside a string literal; the continuation
//   mark itself is no token. A comment whose line ends so goes on over the
//   next line, and a blank line after a continued line ends the logical line.
// - A string literal runs from a double quote to the next double quote that is
//   not doubled (""); one left open at the end of its physical line is a
//   lexical error, and so is an underscore standing alone anywhere else than
//   as a continuation mark (no identifier begins with one).
// - A comment starts at a "'" outside a string literal, or at the word Rem
//   (any case) standing alone at the start of a word: at the start of the
//   line, after white space or after a ":". It runs to the end of the logical
//   line.
// - Code is split at white space (blank, tab, vertical tab, form feed,
//   carriage return) into chunks; a string literal is part of its chunk with
//   its white space kept. Comparing chunks is stricter than comparing the
//   compiler's tokens: two texts with equal chunks mean the same program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trevox::fuzz {

struct VbLogicalLine {
    std::vector<std::string> code; // code chunks in order
    bool has_comment = false;
    std::string comment; // the comment's characters other than white space
};

struct VbProgram {
    std::vector<VbLogicalLine> lines; // logical lines that hold code or a comment
    bool lexical_error = false;       // an open string literal or a stray underscore
};

// Splits `text` into logical lines (empty ones left out) into `out`.
void read_vb_text(std::string_view text, VbProgram& out);

// True for the white space that separates chunks.
bool is_vb_space(char c);

// `text` without its white space (blank, tab, vertical tab, form feed,
// carriage return).
std::string without_space(std::string_view text);

// Describes the first difference between the two programs' logical lines
// into `why`; comments are left out of the comparison when `with_comments`
// is false, and lines whose comment is `exempt_comment` (compared without
// white space) have their comments left out on both sides. Logical lines
// without code are left out when comments are. True when equal.
bool same_program(const VbProgram& a, const VbProgram& b, bool with_comments,
                  const std::string& exempt_comment, std::string& why);

} // namespace trevox::fuzz
