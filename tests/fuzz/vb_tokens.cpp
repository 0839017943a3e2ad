// A small reader of Visual Basic source text: logical lines of code chunks
// and comments (see vb_tokens.h for the rules).
#include "vb_tokens.h"

#include <cstddef>

namespace trevox::fuzz {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the word Rem stands at `i` of `line`: "rem" in any case, then
// white space or the end of the physical line.
bool rem_at(std::string_view line, std::size_t i) {
    if (line.size() - i < 3 || lower(line[i]) != 'r' || lower(line[i + 1]) != 'e' ||
        lower(line[i + 2]) != 'm') {
        return false;
    }
    return i + 3 == line.size() || is_vb_space(line[i + 3]);
}

// Working state while one logical line is built.
struct Builder {
    VbLogicalLine line;
    std::string chunk;
    bool in_comment = false;

    // Ends the chunk in hand. An underscore standing alone is no token of the
    // language (only a continuation mark, which is taken off before).
    void end_chunk(bool& lexical_error) {
        if (chunk == "_") {
            lexical_error = true;
        }
        if (!chunk.empty()) {
            line.code.push_back(chunk);
            chunk.clear();
        }
    }

    void end_line(VbProgram& out) {
        end_chunk(out.lexical_error);
        if (!line.code.empty() || line.has_comment) {
            out.lines.push_back(line);
        }
        line = VbLogicalLine{};
        in_comment = false;
    }

    void add_comment(std::string_view text) {
        line.has_comment = true;
        line.comment += without_space(text);
    }
};

// Reads one physical line (without its "\n") into the builder. True when the
// line ends in a continuation mark outside a string literal; the mark is then
// not part of what was read.
bool read_physical_line(std::string_view p, Builder& b, bool& lexical_error) {
    const bool marked = p.size() >= 2 && p[p.size() - 2] == ' ' && p[p.size() - 1] == '_';
    if (b.in_comment) {
        b.add_comment(marked ? p.substr(0, p.size() - 1) : p);
        return marked;
    }
    std::size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if (is_vb_space(c)) {
            b.end_chunk(lexical_error);
            ++i;
            continue;
        }
        if (c == '"') {
            b.chunk += c;
            ++i;
            bool closed = false;
            while (i < p.size()) {
                b.chunk += p[i];
                if (p[i] == '"') {
                    if (i + 1 < p.size() && p[i + 1] == '"') {
                        b.chunk += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                ++i;
            }
            if (!closed) {
                lexical_error = true;
                return false; // the line ended inside the literal: no continuation
            }
            continue;
        }
        const bool word_start = b.chunk.empty() || b.chunk.back() == ':';
        if (c == '\'' || (word_start && rem_at(p, i))) {
            b.end_chunk(lexical_error);
            b.in_comment = true;
            const std::string_view rest = p.substr(i);
            b.add_comment(marked ? rest.substr(0, rest.size() - 1) : rest);
            return marked;
        }
        b.chunk += c;
        ++i;
    }
    if (marked) {
        // The "_" of the mark is the chunk in hand (a blank precedes it).
        b.chunk.clear();
        return true;
    }
    return false;
}

} // namespace

bool is_vb_space(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

std::string without_space(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (!is_vb_space(c)) {
            out += c;
        }
    }
    return out;
}

void read_vb_text(std::string_view text, VbProgram& out) {
    out = VbProgram{};
    Builder b;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool has_newline = end != std::string_view::npos;
        if (!has_newline) {
            end = text.size();
        }
        const bool continued =
            read_physical_line(text.substr(start, end - start), b, out.lexical_error);
        if (!continued) {
            b.end_line(out);
        }
        start = has_newline ? end + 1 : end;
    }
    b.end_line(out);
}

namespace {

std::string describe(const VbLogicalLine& l) {
    std::string s = "[";
    for (const std::string& c : l.code) {
        s += "<" + c + ">";
    }
    if (l.has_comment) {
        s += " comment<" + l.comment + ">";
    }
    return s + "]";
}

// The logical lines that take part in the comparison.
std::vector<const VbLogicalLine*> compared_lines(const VbProgram& p, bool with_comments) {
    std::vector<const VbLogicalLine*> out;
    for (const VbLogicalLine& l : p.lines) {
        if (with_comments || !l.code.empty()) {
            out.push_back(&l);
        }
    }
    return out;
}

} // namespace

bool same_program(const VbProgram& a, const VbProgram& b, bool with_comments,
                  const std::string& exempt_comment, std::string& why) {
    const std::vector<const VbLogicalLine*> la = compared_lines(a, with_comments);
    const std::vector<const VbLogicalLine*> lb = compared_lines(b, with_comments);
    const std::size_t n = la.size() < lb.size() ? la.size() : lb.size();
    for (std::size_t i = 0; i < n; ++i) {
        const VbLogicalLine& x = *la[i];
        const VbLogicalLine& y = *lb[i];
        bool equal = x.code == y.code;
        if (equal && with_comments) {
            // The stamp replaces a comment; on a line that continues a comment
            // it replaces the rest of that comment from some point on.
            const auto stamped = [&](const VbLogicalLine& p, const VbLogicalLine& q) {
                if (!q.has_comment || q.comment.size() < exempt_comment.size() ||
                    q.comment.compare(q.comment.size() - exempt_comment.size(),
                                      exempt_comment.size(), exempt_comment) != 0) {
                    return false;
                }
                const std::size_t kept = q.comment.size() - exempt_comment.size();
                return kept == 0 ||
                       (p.has_comment && p.comment.compare(0, kept, q.comment, 0, kept) == 0);
            };
            const bool exempt = stamped(x, y) || stamped(y, x);
            if (!exempt) {
                equal = x.has_comment == y.has_comment && x.comment == y.comment;
            }
        }
        if (!equal) {
            why = "logical line " + std::to_string(i) + " differs:\n  " + describe(x) + "\n  " +
                  describe(y);
            return false;
        }
    }
    if (la.size() != lb.size()) {
        why = "logical line counts differ: " + std::to_string(la.size()) + " and " +
              std::to_string(lb.size());
        if (n < la.size()) {
            why += "\n  first extra: " + describe(*la[n]);
        } else {
            why += "\n  first extra: " + describe(*lb[n]);
        }
        return false;
    }
    return true;
}

} // namespace trevox::fuzz
