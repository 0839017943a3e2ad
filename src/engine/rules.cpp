// Line rewrite rules. Every rule looks at one line, of any length and with
// any bytes in it (NUL included), through a view, and answers with a shorter
// view or with positions: no rule copies or allocates. No C-string function
// ever looks at line content.
#include "engine/rules.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <iterator>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trevox {
namespace {

constexpr char kBlank = ' ';
constexpr char kTab = '\t';
constexpr char kDoubleQuote = '"';
constexpr char kCommentQuote = '\'';
constexpr char kUnderscore = '_';
constexpr char kMarkerStart = '$';

// The single-line If: the line begins with kIfWord and holds kThenWord.
constexpr std::string_view kIfWord = "If ";
constexpr std::string_view kThenWord = " Then ";
constexpr std::string_view kAsWord = " As ";
// The keyword of a Rem comment, matched with case ignored (given in lower case).
constexpr std::string_view kRemKeyword = "rem";
// Region markers, matched at the first "$" of a comment line, case ignored
// (given here in lower case).
constexpr std::string_view kProtectMarker = "$protect";
constexpr std::string_view kUnProtectMarker = "$unprotect";

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

constexpr FirstLetters kExcludedStarts = first_letters_of(kExcludedSecondWords);

// True for the six characters strip_leading_space removes: tab, newline,
// vertical tab, form feed, carriage return, blank. Nothing else, no
// character above 127.
bool is_white_space(char c) {
    return c == kBlank || c == kTab || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `text` begins with `lower_prefix` (given in lower case), ASCII
// letters compared without regard to case.
bool has_prefix_nocase(std::string_view text, std::string_view lower_prefix) {
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

// True when `text` begins with "'" and its text from its first "$" begins
// with `lower_marker`, case ignored.
bool is_marker_line(std::string_view text, std::string_view lower_marker) {
    if (text.empty() || text[0] != kCommentQuote) {
        return false;
    }
    const std::size_t dollar = text.find(kMarkerStart);
    return dollar != std::string_view::npos && has_prefix_nocase(text.substr(dollar), lower_marker);
}

// True when text[from, to) holds an odd number of double quotes: whether a
// string literal is open at `to` when none was at `from`. Sixteen characters
// at a time: the parity of all the blocks' hit masks together is the parity
// of their hits.
bool odd_quotes(std::string_view text, std::size_t from, std::size_t to) {
    assert(from <= to && to <= text.size());
    const char* p = text.data() + from;
    const char* const end = text.data() + to;
    unsigned odd = 0;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8(kDoubleQuote);
    unsigned hits = 0;
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        hits ^= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, quote)));
    }
    hits ^= hits >> 8;
    hits ^= hits >> 4;
    hits ^= hits >> 2;
    hits ^= hits >> 1;
    odd = hits & 1;
#endif
    for (; p != end; ++p) {
        odd ^= *p == kDoubleQuote ? 1 : 0;
    }
    return odd != 0;
}

// Position of the first `word` (a blank, then a word) in `text` at or after
// `from`, or npos. Found through its first letter, which is much rarer in a
// line than the blank before it.
std::size_t find_blank_word(std::string_view text, std::string_view word, std::size_t from = 0) {
    assert(word.size() >= 2 && word[0] == kBlank);
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t letter = from + 1; // where the first letter may be
    while (letter + word.size() - 1 <= size) {
        const void* hit = std::memchr(data + letter, word[1], size - letter - (word.size() - 2));
        if (hit == nullptr) {
            return std::string_view::npos;
        }
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (std::string_view(data + at - 1, word.size()) == word) {
            return at - 1;
        }
        letter = at + 1;
    }
    return std::string_view::npos;
}

// Position of the first `word` in `text` that stands outside a string literal
// (an even number of double quotes before it), or npos. Quotes are counted
// once, front to back, however many occurrences are passed over.
std::size_t find_outside_strings(std::string_view text, std::string_view word) {
    bool in_string = false;
    std::size_t counted_to = 0;
    std::size_t pos = find_blank_word(text, word);
    while (pos != std::string_view::npos) {
        in_string ^= odd_quotes(text, counted_to, pos);
        counted_to = pos;
        if (!in_string) {
            return pos;
        }
        pos = find_blank_word(text, word, pos + 1);
    }
    return std::string_view::npos;
}

// True when a comment quote stands outside a string literal before `end`: the
// rest of the line from there is a comment.
bool comment_starts_before(std::string_view text, std::size_t end) {
    bool in_string = false;
    for (std::size_t i = 0; i < end && i < text.size(); ++i) {
        if (text[i] == kDoubleQuote) {
            in_string = !in_string;
        } else if (text[i] == kCommentQuote && !in_string) {
            return true;
        }
    }
    return false;
}

// The line cut at `pos` (the comment quote and everything after it go), the
// blanks left at its end trimmed, ending with a line end.
TextLine cut_at(const TextLine& line, std::size_t pos) {
    assert(pos < line.text.size());
    const std::string_view kept = line.text.substr(0, pos);
    return TextLine{kept.substr(0, trimmed_length(kept)), true};
}

// True when cutting `text` at `pos` would leave a continued line: the text
// before the cut, without its trailing blanks, ends in " _". An underscore
// followed by a comment continues nothing, so the cut would join the next
// line to this one (or, when the cut falls inside a longer comment, turn the
// next line into comment).
bool cut_leaves_continued_line(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end > 1 && text[end - 1] == kBlank) {
        --end;
    }
    return end >= 2 && text[end - 1] == kUnderscore && text[end - 2] == kBlank;
}

} // namespace

TextLine strip_leading_space(TextLine line) {
    const std::string_view text = line.text;
    std::size_t n = 0;
#if defined(__SSE2__)
    // Sixteen characters at a time while they are all white space: a blank,
    // or a character from tab (9) to carriage return (13).
    const __m128i blank = _mm_set1_epi8(kBlank);
    const __m128i tab = _mm_set1_epi8(kTab);
    const __m128i last_control = _mm_set1_epi8('\r' - kTab);
    while (text.size() - n >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + n));
        const __m128i from_tab = _mm_sub_epi8(block, tab);
        const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(from_tab, last_control), from_tab);
        const auto white = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(block, blank))));
        if (white != 0xffffu) {
            n += static_cast<std::size_t>(std::countr_one(white));
            break;
        }
        n += 16;
    }
#endif
    while (n < text.size() && is_white_space(text[n])) {
        ++n;
    }
    if (n == text.size()) {
        // The line end is white space too: nothing is left.
        return TextLine{text.substr(n), false};
    }
    return drop_front(line, n);
}

bool cut_trailing_comment(TextLine& line) {
    const std::string_view text = line.text;
    // Single-line If: the first quote after the first " Then " that stands
    // outside a string literal, itself outside a string literal. A " Then "
    // inside a comment does not count.
    if (has_prefix(text, kIfWord)) {
        const std::size_t then_pos = find_outside_strings(text, kThenWord);
        if (then_pos != std::string_view::npos && !comment_starts_before(text, then_pos)) {
            // The search starts at the blank after "Then". An even number of
            // quotes lies before then_pos, so parity counted from there is
            // parity counted from the start of the line.
            const std::size_t start = then_pos + kThenWord.size() - 1;
            bool in_string = false;
            for (std::size_t i = start; i < text.size(); ++i) {
                if (text[i] == kDoubleQuote) {
                    in_string = !in_string;
                } else if (text[i] == kCommentQuote && !in_string) {
                    if (cut_leaves_continued_line(text, i)) {
                        return false;
                    }
                    line = cut_at(line, i);
                    return true;
                }
            }
        }
    }
    const std::size_t pos = find_comment(text);
    if (pos == 0 || cut_leaves_continued_line(text, pos)) {
        return false;
    }
    line = cut_at(line, pos);
    return true;
}

// The comment starts at the leftmost candidate: a "'" after a blank (so never
// the first character) with an even number of double quotes to its right,
// that is outside a string literal read from the end. A candidate with an
// odd number of double quotes before it gives 0: the quotes of the line do not
// balance and cutting there could corrupt code. Both counts are even exactly
// when the line's double quotes are even in number and the candidate has an
// even number before it; so the line is read front to back, from one "'" to
// the next, and most lines, which hold none, are decided by one search.
std::size_t find_comment(std::string_view text) {
    if (text.size() < 2) {
        return 0;
    }
    std::size_t pos = text.find(kCommentQuote, 1);
    if (pos == std::string_view::npos || odd_quotes(text, 0, text.size())) {
        return 0;
    }
    bool in_string = false;
    std::size_t counted_to = 0;
    while (pos != std::string_view::npos) {
        in_string ^= odd_quotes(text, counted_to, pos);
        counted_to = pos;
        if (text[pos - 1] == kBlank && !in_string) {
            return pos;
        }
        pos = text.find(kCommentQuote, pos + 1);
    }
    return 0;
}

std::size_t trimmed_length(std::string_view text) {
    std::size_t keep = text.size();
    while (keep > 1 && text[keep - 1] == kBlank) {
        --keep;
    }
    return keep;
}

// The declaration keywords, each with its final blank, matched at the start
// of the line, case-sensitive, found by the line's first letter (the ones
// is_declaration() sends here): Dim, Public, Private, Static, Type, Global.
bool is_declaration_slow(std::string_view text) {
    std::size_t keyword = 0;
    switch (text.empty() ? '\0' : text[0]) {
    case 'D':
        keyword = has_prefix(text, "Dim ") ? 4 : 0;
        break;
    case 'P':
        keyword = has_prefix(text, "Public ") ? 7 : has_prefix(text, "Private ") ? 8 : 0;
        break;
    case 'S':
        keyword = has_prefix(text, "Static ") ? 7 : 0;
        break;
    case 'T':
        keyword = has_prefix(text, "Type ") ? 5 : 0;
        break;
    case 'G':
        keyword = has_prefix(text, "Global ") ? 7 : 0;
        break;
    default:
        break;
    }
    if (keyword == 0) {
        return false;
    }
    // The keyword ends with the line's first blank; the second word starts
    // right after it unless more blanks follow.
    const std::string_view rest = text.substr(keyword);
    if (rest.empty() || !kExcludedStarts.has(rest[0])) {
        return true;
    }
    return std::none_of(std::begin(kExcludedSecondWords), std::end(kExcludedSecondWords),
                        [rest](std::string_view excluded) {
                            return excluded[0] == rest[0] && has_prefix(rest, excluded);
                        });
}

// Nothing goes when there is no " As ", when no blank precedes it, or when it
// lies inside a string literal. Otherwise the run of blanks that ends just
// before the blank of " As " goes, reaching back at most to the first
// character.
BlankRun blanks_before_as(std::string_view text) {
    const std::size_t as_pos = find_blank_word(text, kAsWord);
    if (as_pos == std::string_view::npos || as_pos == 0 || text[as_pos - 1] != kBlank) {
        return {};
    }
    if (odd_quotes(text, 0, as_pos)) {
        return {};
    }
    std::size_t start = as_pos - 1;
    while (start > 0 && text[start - 1] == kBlank) {
        --start;
    }
    return BlankRun{start, as_pos};
}

bool is_whole_line_comment(std::string_view text) {
    if (!text.empty() && text[0] == kCommentQuote) {
        return true;
    }
    if (!has_prefix_nocase(text, kRemKeyword)) {
        return false;
    }
    if (text.size() == kRemKeyword.size()) {
        return true;
    }
    const char next = text[kRemKeyword.size()];
    return next == kBlank || next == kTab;
}

bool is_protect_marker(std::string_view text) {
    return is_marker_line(text, kProtectMarker);
}

bool is_protect_end(std::string_view text) {
    return is_marker_line(text, kUnProtectMarker);
}

} // namespace trevox
