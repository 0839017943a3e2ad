// Line rewrite rules. Every rule works on one line held whole in a reused
// std::string (any length, NUL bytes allowed), edits it in place and never
// makes it longer, so no rule allocates. Positions and lengths are used
// throughout; no C-string function ever looks at line content.
#include "engine/rules.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <iterator>
#include <string_view>

namespace trevox {
namespace {

constexpr char kBlank = ' ';
constexpr char kTab = '\t';
constexpr char kNewline = '\n';
constexpr char kDoubleQuote = '"';
constexpr char kCommentQuote = '\'';
constexpr char kUnderscore = '_';

// The single-line If: the line begins with kIfWord and holds kThenWord.
constexpr std::string_view kIfWord = "If ";
constexpr std::string_view kThenWord = " Then ";
constexpr std::string_view kAsWord = " As ";

// Declaration keywords, each with its final blank, matched at the start of
// the line, case-sensitive.
constexpr std::string_view kDeclarationKeywords[] = {
    "Dim ", "Public ", "Private ", "Static ", "Type ", "Global ",
};

// Second words that keep a declaration keyword line from being tightened,
// matched at the start of the text after the line's first blank. Four carry a
// final blank; the others also exclude every word they begin (Subtotal...).
constexpr std::string_view kExcludedSecondWords[] = {
    "Sub", "Function ", "Declare", "Const", "Enum", "WithEvents ", "Event ", "Property ",
};

// The first letters of a list of words, as a table indexed by character: a
// text whose first character is not marked begins with none of the words.
struct FirstLetters {
    bool marked[256] = {};
    constexpr bool has(char c) const { return marked[static_cast<unsigned char>(c)]; }
};
template <std::size_t N>
constexpr FirstLetters first_letters_of(const std::string_view (&words)[N]) {
    FirstLetters table;
    for (std::string_view word : words) {
        table.marked[static_cast<unsigned char>(word[0])] = true;
    }
    return table;
}
constexpr FirstLetters kDeclarationStarts = first_letters_of(kDeclarationKeywords);
constexpr FirstLetters kExcludedStarts = first_letters_of(kExcludedSecondWords);

// True for the six characters strip_leading_space removes: tab, newline,
// vertical tab, form feed, carriage return, blank. Nothing else, no
// character above 127.
bool is_white_space(char c) {
    return c == kBlank || c == kTab || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// True when `text` begins with `prefix`. Compared character by character:
// the prefixes are short keywords, mostly decided at the first character.
bool has_prefix(std::string_view text, std::string_view prefix) {
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

bool starts_with(const std::string& line, std::string_view prefix) {
    return has_prefix(line, prefix);
}

// Number of double quotes in line[from, to).
std::size_t count_quotes(const std::string& line, std::size_t from, std::size_t to) {
    assert(from <= to && to <= line.size());
    std::size_t n = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (line[i] == kDoubleQuote) {
            ++n;
        }
    }
    return n;
}

// Position of the first `word` in `line` that stands outside a string literal
// (an even number of double quotes before it), or npos. Quotes are counted
// once, front to back, however many occurrences are passed over.
std::size_t find_outside_strings(const std::string& line, std::string_view word) {
    std::size_t quotes = 0;
    std::size_t counted_to = 0;
    std::size_t pos = line.find(word.data(), 0, word.size());
    while (pos != std::string::npos) {
        quotes += count_quotes(line, counted_to, pos);
        counted_to = pos;
        if (quotes % 2 == 0) {
            return pos;
        }
        pos = line.find(word.data(), pos + 1, word.size());
    }
    return std::string::npos;
}

// True when a comment quote stands outside a string literal before `end`: the
// rest of the line from there is a comment.
bool comment_starts_before(const std::string& line, std::size_t end) {
    bool in_string = false;
    for (std::size_t i = 0; i < end && i < line.size(); ++i) {
        if (line[i] == kDoubleQuote) {
            in_string = !in_string;
        } else if (line[i] == kCommentQuote && !in_string) {
            return true;
        }
    }
    return false;
}

// Position of the first kAsWord in `line`, or npos. Found through its letter
// "A", which is much rarer in a declaration than the blanks around it.
std::size_t find_as_word(const std::string& line) {
    static_assert(kAsWord.size() == 4 && kAsWord[0] == kBlank);
    const char* const data = line.data();
    const std::size_t size = line.size();
    std::size_t from = 1; // where the "A" may be: after the leading blank
    while (from + kAsWord.size() - 1 <= size) {
        const void* hit = std::memchr(data + from, kAsWord[1], size - from - (kAsWord.size() - 2));
        if (hit == nullptr) {
            return std::string::npos;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (std::string_view(data + at - 1, kAsWord.size()) == kAsWord) {
            return at - 1;
        }
        from = at + 1;
    }
    return std::string::npos;
}

// Cuts `line` at `pos` (the comment quote and everything after it go, the
// newline included), trims the blanks left at its end and ends it with "\n".
// Never lengthens the line: the quote that goes makes room for the "\n".
void cut_at(std::string& line, std::size_t pos) {
    assert(pos < line.size());
    line.resize(pos);
    trim_trailing_blanks(line);
    line.push_back(kNewline);
}

// Removes the first `count` characters, keeping the buffer's capacity. A
// line that holds only white space and a continuation mark (" _", with or
// without its line end) keeps the blank of the mark: without it the line
// would no longer be continued, the statement it belongs to would end there,
// and the underscore left alone would be no token of the language.
void drop_front(std::string& line, std::size_t count) {
    if (count > 0 && line[count - 1] == kBlank) {
        const std::string_view rest = std::string_view(line).substr(count);
        if (rest == "_\n" || rest == "_") {
            --count;
        }
    }
    if (count > 0) {
        // The same as erase(0, count), without its general bookkeeping.
        const std::size_t keep = line.size() - count;
        std::memmove(line.data(), line.data() + count, keep);
        line.resize(keep);
    }
}

} // namespace

// Removes the blanks and tabs at the start of `line`. The newline stays, so a
// line of blanks and tabs only becomes "\n".
void strip_leading_blanks(std::string& line) {
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* p = begin;
    while (p != end && (*p == kBlank || *p == kTab)) {
        ++p;
    }
    drop_front(line, static_cast<std::size_t>(p - begin));
}

// Removes the white space at the start of `line`, its newline included, so a
// line that holds nothing but white space becomes the empty text.
void strip_leading_space(std::string& line) {
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* p = begin;
    while (p != end && is_white_space(*p)) {
        ++p;
    }
    drop_front(line, static_cast<std::size_t>(p - begin));
}

namespace {

// True when cutting `line` at `pos` would leave a continued line: the text
// before the cut, without its trailing blanks, ends in " _". An underscore
// followed by a comment continues nothing, so the cut would join the next
// line to this one (or, when the cut falls inside a longer comment, turn the
// next line into comment).
bool cut_leaves_continued_line(const std::string& line, std::size_t pos) {
    std::size_t end = pos;
    while (end > 1 && line[end - 1] == kBlank) {
        --end;
    }
    return end >= 2 && line[end - 1] == kUnderscore && line[end - 2] == kBlank;
}

} // namespace

// Removes a trailing comment (and the blanks before it); true when one was
// removed. The line then ends in "\n", also when it had none before. A cut
// that would leave a continued line is not made: the line stays unchanged.
bool cut_trailing_comment(std::string& line) {
    // Single-line If: the first quote after the first " Then " that stands
    // outside a string literal, itself outside a string literal. A " Then "
    // inside a comment does not count.
    if (starts_with(line, kIfWord)) {
        const std::size_t then_pos = find_outside_strings(line, kThenWord);
        if (then_pos != std::string::npos && !comment_starts_before(line, then_pos)) {
            // The search starts at the blank after "Then". An even number of
            // quotes lies before then_pos, so parity counted from there is
            // parity counted from the start of the line.
            const std::size_t start = then_pos + kThenWord.size() - 1;
            bool in_string = false;
            for (std::size_t i = start; i < line.size(); ++i) {
                if (line[i] == kDoubleQuote) {
                    in_string = !in_string;
                } else if (line[i] == kCommentQuote && !in_string) {
                    if (cut_leaves_continued_line(line, i)) {
                        return false;
                    }
                    cut_at(line, i);
                    return true;
                }
            }
        }
    }
    const std::size_t pos = find_comment(line);
    if (pos == 0 || cut_leaves_continued_line(line, pos)) {
        return false;
    }
    cut_at(line, pos);
    return true;
}

// Removes a trailing comment with the blanks before it and ends the line with
// "\n"; a line without a trailing comment is left unchanged.
void strip_comment(std::string& line) {
    cut_trailing_comment(line);
}

// Position of the quote that starts the line's trailing comment, or 0 for
// none. Scans from the end down to the second character; the leftmost
// candidate (a "'" after a blank with an even number of double quotes to its
// right) wins. A candidate inside a string literal counted from the start of
// the line (an odd number of double quotes before it) gives 0: the quotes of
// the line do not balance and cutting there could corrupt code.
std::size_t find_comment(const std::string& line) {
    bool in_string = false;
    std::size_t found = 0;
    for (std::size_t i = line.size(); i > 1;) {
        --i;
        const char c = line[i];
        if (c == kDoubleQuote) {
            in_string = !in_string;
        }
        if (!in_string && c == kCommentQuote && line[i - 1] == kBlank) {
            found = i;
        }
    }
    if (found != 0 && count_quotes(line, 0, found) % 2 != 0) {
        return 0;
    }
    return found;
}

// Removes the blanks (not tabs) at the end of `line`, before its newline if it
// has one. The first character is never removed.
void trim_trailing_blanks(std::string& line) {
    std::size_t end = line.size();
    const bool had_newline = end > 0 && line[end - 1] == kNewline;
    if (had_newline) {
        --end;
    }
    std::size_t keep = end;
    while (keep > 1 && line[keep - 1] == kBlank) {
        --keep;
    }
    if (keep == end) {
        return;
    }
    line.resize(keep);
    if (had_newline) {
        line.push_back(kNewline);
    }
}

// True when `line` begins with a declaration keyword whose second word is not
// one of the excluded words (procedures, constants, enumerations...).
bool is_declaration(const std::string& line) {
    // Most lines begin with no keyword's first letter: decided at once.
    if (line.empty() || !kDeclarationStarts.has(line[0])) {
        return false;
    }
    for (std::string_view keyword : kDeclarationKeywords) {
        if (!has_prefix(line, keyword)) {
            continue;
        }
        // The keyword ends with the line's first blank; the second word
        // starts right after it unless more blanks follow.
        const std::string_view rest = std::string_view(line).substr(keyword.size());
        if (rest.empty() || !kExcludedStarts.has(rest[0])) {
            return true;
        }
        return std::none_of(
            std::begin(kExcludedSecondWords), std::end(kExcludedSecondWords),
            [rest](std::string_view excluded) { return has_prefix(rest, excluded); });
    }
    return false;
}

// Collapses the run of blanks before the line's first " As " to the one blank
// that begins it. Unchanged when there is no " As ", when no blank precedes
// it, or when it lies inside a string literal.
void tighten_as(std::string& line) {
    const std::size_t as_pos = find_as_word(line);
    if (as_pos == std::string::npos || as_pos == 0 || line[as_pos - 1] != kBlank) {
        return;
    }
    if (count_quotes(line, 0, as_pos) % 2 != 0) {
        return;
    }
    // The run of blanks ends at as_pos - 1 and reaches back at most to the
    // first character; all of it goes, the blank of " As " stays.
    std::size_t start = as_pos - 1;
    while (start > 0 && line[start - 1] == kBlank) {
        --start;
    }
    line.erase(start, as_pos - start);
}

} // namespace trevox
