// Line rewrite rules, and the tests the engine makes on a line. A line is a
// TextLine: its characters without the line end, and whether it had one. No
// rule copies or allocates: each one answers with a shorter view of the line
// it was given, or with the positions of what is to go.
#pragma once

#include "platform/text_mode.h"

#include <bit>
#include <cassert>
#include <cstddef>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trevox {

// True when `text` begins with `prefix`. Compared character by character:
// the prefixes are short keywords, mostly decided at the first character.
inline bool has_prefix(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (text[i] != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The line without its first `count` characters. A line that holds only
// white space and a continuation mark (" _", with or without its line end)
// keeps the blank of the mark: without it the line would no longer be
// continued, the statement it belongs to would end there, and the underscore
// left alone would be no token of the language.
inline TextLine drop_front(TextLine line, std::size_t count) {
    assert(count <= line.text.size());
    if (count > 0 && line.text[count - 1] == ' ' && line.text.substr(count) == "_") {
        --count;
    }
    line.text.remove_prefix(count);
    return line;
}

// Removes the blanks and tabs at the start of the line. The line end stays,
// so a line of blanks and tabs only becomes an empty line. A line that holds
// only blanks and tabs and a continuation mark keeps the blank of the mark:
// without it the line would no longer be continued, and the underscore left
// alone would be no token of the language.
inline TextLine strip_leading_blanks(TextLine line) {
    const char* const begin = line.text.data();
    const char* const end = begin + line.text.size();
    const char* p = begin;
#if defined(__SSE2__)
    // Sixteen characters at a time while they are all blanks and tabs.
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto white = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, blank), _mm_cmpeq_epi8(block, tab))));
        if (white != 0xffffu) {
            p += std::countr_one(white);
            break;
        }
        p += 16;
    }
#endif
    while (p != end && (*p == ' ' || *p == '\t')) {
        ++p;
    }
    return drop_front(line, static_cast<std::size_t>(p - begin));
}

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
bool is_declaration_slow(std::string_view text);
inline bool is_declaration(std::string_view text) {
    // Most lines begin with no keyword's first letter: decided at once.
    if (text.empty()) {
        return false;
    }
    switch (text[0]) {
    case 'D': // Dim
    case 'P': // Public, Private
    case 'S': // Static
    case 'T': // Type
    case 'G': // Global
        return is_declaration_slow(text);
    default:
        return false;
    }
}

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
inline bool is_continued(const TextLine& line) {
    const std::string_view text = line.text;
    return line.newline && text.size() >= 2 && text[text.size() - 1] == '_' &&
           text[text.size() - 2] == ' ';
}

// True when the text starts a protected region: "'" first, and "$Protect"
// (case ignored) at its first "$".
bool is_protect_marker(std::string_view text);
inline bool is_protect_start(std::string_view text) {
    // Most lines are no comment at all.
    return !text.empty() && text[0] == '\'' && is_protect_marker(text);
}

// True when the text ends a protected region: "'" first, and "$UnProtect"
// (case ignored) at its first "$".
bool is_protect_end(std::string_view text);

} // namespace trevox
