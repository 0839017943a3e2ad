// Myers' O(ND) difference algorithm in linear space, over line ids, and the
// unified diff format.
#include "check/diff.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace trevox {

namespace {

// `in` becomes, for each of `count` ids, whether `ids` hold it.
void mark_ids(const std::vector<std::uint32_t>& ids, std::size_t count, std::vector<char>& in) {
    in.assign(count, 0);
    for (const std::uint32_t id : ids) {
        in[id] = 1;
    }
}

// The lines of one text (`ids`) that the other text lacks (`in_other`) are
// changed whatever the search finds: flagged in `changed`. The rest are kept
// for the search in `kept`, with where each stands in `at`.
void keep_shared(const std::vector<std::uint32_t>& ids, const std::vector<char>& in_other,
                 std::vector<char>& changed, std::vector<std::uint32_t>& kept,
                 std::vector<std::size_t>& at) {
    changed.assign(ids.size(), 0);
    kept.clear();
    at.clear();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (in_other[ids[i]] == 0) {
            changed[i] = 1;
        } else {
            kept.push_back(ids[i]);
            at.push_back(i);
        }
    }
}

constexpr std::ptrdiff_t kFarthest = PTRDIFF_MAX;
constexpr std::uint32_t kNoId = UINT32_MAX; // a free slot of the id table
constexpr const char* kNoNewline = "\\ No newline at end of file\n";

// The usual cost limit for `lines` lines in all: 2 to the power of half the
// bits of the number of diagonals, i.e. about twice its square root.
std::ptrdiff_t usual_cost_limit(std::size_t lines) {
    std::ptrdiff_t limit = 1;
    for (std::size_t diagonals = lines + 3; diagonals != 0; diagonals >>= 2) {
        limit <<= 1;
    }
    return std::max(limit, kDiffLeastCostLimit);
}

// "-L,N" or "+L,N" of a hunk header: L is the first line's number (for an
// empty range, the number of the line before it); ",N" is left out for 1.
void append_range(std::string& out, char sign, std::size_t from, std::size_t count) {
    char text[64];
    const std::size_t first = count == 0 ? from : from + 1;
    const int n = count == 1 ? std::snprintf(text, sizeof text, "%c%zu", sign, first)
                             : std::snprintf(text, sizeof text, "%c%zu,%zu", sign, first, count);
    assert(n > 0 && static_cast<std::size_t>(n) < sizeof text);
    out.append(text, static_cast<std::size_t>(n));
}

// One line of a hunk: its mark, the line as stored, and the note after a
// line without "\n".
void append_line(std::string& out, char mark, std::string_view line) {
    out += mark;
    out.append(line);
    if (line.empty() || line.back() != '\n') {
        out += '\n';
        out += kNoNewline;
    }
}

} // namespace

void split_stored_lines(std::string_view text, std::vector<std::string_view>& lines) {
    lines.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
}

// Line `at` of the old lines followed by the new ones.
std::string_view LineDiffer::line_at(std::uint32_t at) const {
    const std::size_t n = old_in_->size();
    return at < n ? (*old_in_)[at] : (*new_in_)[at - n];
}

// The id of a line: equal lines get the same id, different lines different
// ids. The table has at least twice as many slots as there are lines, so a
// free slot is always found.
std::uint32_t LineDiffer::id_of(std::string_view line, std::uint32_t at) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = std::hash<std::string_view>{}(line)&mask;; i = (i + 1) & mask) {
        const std::uint32_t id = slots_[i];
        if (id == kNoId) {
            slots_[i] = static_cast<std::uint32_t>(first_at_.size());
            first_at_.push_back(at);
            return slots_[i];
        }
        if (line_at(first_at_[id]) == line) {
            return id;
        }
    }
}

// The middle snake of the range: the forward search from its top-left corner
// and the backward search from its bottom-right corner, one edit step each
// at a time, meet on a diagonal; the point where they meet splits the range
// into two whose costs add up to the range's. Past `limit` steps (unless the
// range is to be minimal) the further-reaching of the two searches gives the
// split instead; the half it covers is then searched minimally, since its
// cost is known to be at most `limit`.
LineDiffer::Split LineDiffer::split_range(const Range& r, std::ptrdiff_t limit) {
    const auto offset = static_cast<std::ptrdiff_t>(y_.size()) + 1;
    std::ptrdiff_t* const fd = forward_.data() + offset;
    std::ptrdiff_t* const bd = backward_.data() + offset;
    const std::uint32_t* const xv = x_.data();
    const std::uint32_t* const yv = y_.data();
    const std::ptrdiff_t dmin = r.x_lo - r.y_hi; // the diagonals of the range
    const std::ptrdiff_t dmax = r.x_hi - r.y_lo;
    const std::ptrdiff_t fmid = r.x_lo - r.y_lo; // where each search starts
    const std::ptrdiff_t bmid = r.x_hi - r.y_hi;
    std::ptrdiff_t fmin = fmid;
    std::ptrdiff_t fmax = fmid;
    std::ptrdiff_t bmin = bmid;
    std::ptrdiff_t bmax = bmid;
    // The searches meet after the forward step when the corners' diagonals
    // differ by an odd number, else after the backward step.
    const bool odd = ((fmid - bmid) & 1) != 0;
    fd[fmid] = r.x_lo;
    bd[bmid] = r.x_hi;

    for (std::ptrdiff_t cost = 1;; ++cost) {
        // One more step forward on every diagonal reached, two apart.
        if (fmin > dmin) {
            fd[--fmin - 1] = -1;
        } else {
            ++fmin;
        }
        if (fmax < dmax) {
            fd[++fmax + 1] = -1;
        } else {
            --fmax;
        }
        for (std::ptrdiff_t d = fmax; d >= fmin; d -= 2) {
            const std::ptrdiff_t below = fd[d - 1];
            const std::ptrdiff_t above = fd[d + 1];
            std::ptrdiff_t x = below < above ? above : below + 1;
            std::ptrdiff_t y = x - d;
            while (x < r.x_hi && y < r.y_hi && xv[x] == yv[y]) {
                ++x;
                ++y;
            }
            fd[d] = x;
            if (odd && bmin <= d && d <= bmax && bd[d] <= x) {
                return Split{x, y, true, true};
            }
        }
        // One more step backward.
        if (bmin > dmin) {
            bd[--bmin - 1] = kFarthest;
        } else {
            ++bmin;
        }
        if (bmax < dmax) {
            bd[++bmax + 1] = kFarthest;
        } else {
            --bmax;
        }
        for (std::ptrdiff_t d = bmax; d >= bmin; d -= 2) {
            const std::ptrdiff_t below = bd[d - 1];
            const std::ptrdiff_t above = bd[d + 1];
            std::ptrdiff_t x = below < above ? below : above - 1;
            std::ptrdiff_t y = x - d;
            while (r.x_lo < x && r.y_lo < y && xv[x - 1] == yv[y - 1]) {
                --x;
                --y;
            }
            bd[d] = x;
            if (!odd && fmin <= d && d <= fmax && x <= fd[d]) {
                return Split{x, y, true, true};
            }
        }
        if (r.minimal || cost < limit) {
            continue;
        }

        // Too costly: the forward point with the largest x + y, the backward
        // point with the least, and whichever got further from its corner.
        std::ptrdiff_t f_sum = -1;
        std::ptrdiff_t f_x = 0;
        for (std::ptrdiff_t d = fmax; d >= fmin; d -= 2) {
            std::ptrdiff_t x = std::min(fd[d], r.x_hi);
            std::ptrdiff_t y = x - d;
            if (r.y_hi < y) {
                x = r.y_hi + d;
                y = r.y_hi;
            }
            if (f_sum < x + y) {
                f_sum = x + y;
                f_x = x;
            }
        }
        std::ptrdiff_t b_sum = kFarthest;
        std::ptrdiff_t b_x = 0;
        for (std::ptrdiff_t d = bmax; d >= bmin; d -= 2) {
            std::ptrdiff_t x = std::max(r.x_lo, bd[d]);
            std::ptrdiff_t y = x - d;
            if (y < r.y_lo) {
                x = r.y_lo + d;
                y = r.y_lo;
            }
            if (x + y < b_sum) {
                b_sum = x + y;
                b_x = x;
            }
        }
        if ((r.x_hi + r.y_hi) - b_sum < f_sum - (r.x_lo + r.y_lo)) {
            return Split{f_x, f_sum - f_x, true, false};
        }
        return Split{b_x, b_sum - b_x, false, true};
    }
}

// Lines that the other sequence does not hold at all are changes whatever
// the edit: they are marked at once and left out of the search, which then
// works on what is left (in order), often a small part of the whole. Ranges
// are taken from a stack of our own rather than by recursion, so the depth
// of the splitting never meets the limit of the call stack.
void LineDiffer::compare(const std::vector<std::string_view>& old_lines,
                         const std::vector<std::string_view>& new_lines, LineEdit& edit) {
    const std::size_t total = old_lines.size() + new_lines.size();
    if (total > kDiffMostLines) {
        edit.removed.assign(old_lines.size(), 1);
        edit.added.assign(new_lines.size(), 1);
        return;
    }
    old_in_ = &old_lines;
    new_in_ = &new_lines;
    slots_.assign(std::bit_ceil(2 * total + 1), kNoId);
    first_at_.clear();
    old_ids_.resize(old_lines.size());
    new_ids_.resize(new_lines.size());
    for (std::size_t i = 0; i < old_lines.size(); ++i) {
        old_ids_[i] = id_of(old_lines[i], static_cast<std::uint32_t>(i));
    }
    for (std::size_t j = 0; j < new_lines.size(); ++j) {
        new_ids_[j] = id_of(new_lines[j], static_cast<std::uint32_t>(old_lines.size() + j));
    }
    mark_ids(old_ids_, first_at_.size(), in_old_);
    mark_ids(new_ids_, first_at_.size(), in_new_);
    keep_shared(old_ids_, in_new_, edit.removed, x_, x_at_);
    keep_shared(new_ids_, in_old_, edit.added, y_, y_at_);

    const std::size_t diagonals = x_.size() + y_.size() + 3;
    forward_.resize(diagonals);
    backward_.resize(diagonals);
    const std::ptrdiff_t limit =
        cost_limit_ > 0 ? cost_limit_ : usual_cost_limit(x_.size() + y_.size());
    ranges_.clear();
    ranges_.push_back(Range{0, static_cast<std::ptrdiff_t>(x_.size()), 0,
                            static_cast<std::ptrdiff_t>(y_.size()), false});
    while (!ranges_.empty()) {
        Range r = ranges_.back();
        ranges_.pop_back();
        // Equal lines at either end need no search.
        while (r.x_lo < r.x_hi && r.y_lo < r.y_hi && x_[r.x_lo] == y_[r.y_lo]) {
            ++r.x_lo;
            ++r.y_lo;
        }
        while (r.x_lo < r.x_hi && r.y_lo < r.y_hi && x_[r.x_hi - 1] == y_[r.y_hi - 1]) {
            --r.x_hi;
            --r.y_hi;
        }
        if (r.x_lo == r.x_hi) {
            for (std::ptrdiff_t y = r.y_lo; y < r.y_hi; ++y) {
                edit.added[y_at_[y]] = 1;
            }
        } else if (r.y_lo == r.y_hi) {
            for (std::ptrdiff_t x = r.x_lo; x < r.x_hi; ++x) {
                edit.removed[x_at_[x]] = 1;
            }
        } else {
            const Split s = split_range(r, limit);
            assert(r.x_lo <= s.x && s.x <= r.x_hi && r.y_lo <= s.y && s.y <= r.y_hi);
            assert(s.x + s.y > r.x_lo + r.y_lo && s.x + s.y < r.x_hi + r.y_hi);
            ranges_.push_back(Range{s.x, r.x_hi, s.y, r.y_hi, s.hi_minimal});
            ranges_.push_back(Range{r.x_lo, s.x, r.y_lo, s.y, s.lo_minimal});
        }
    }
}

// The runs of changed lines, in order: each a run of removed old lines and
// the run of added new lines beside it (either may be empty).
void LineDiffer::find_blocks(const LineEdit& edit) {
    blocks_.clear();
    const std::size_t n = edit.removed.size();
    const std::size_t m = edit.added.size();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if ((i < n && edit.removed[i] != 0) || (j < m && edit.added[j] != 0)) {
            Block b{i, i, j, j};
            while (i < n && edit.removed[i] != 0) {
                ++i;
            }
            while (j < m && edit.added[j] != 0) {
                ++j;
            }
            b.old_hi = i;
            b.new_hi = j;
            blocks_.push_back(b);
        } else {
            assert(i < n && j < m && old_lines_[i] == new_lines_[j]);
            ++i;
            ++j;
        }
    }
}

// One hunk over blocks_[first..last]: the header, kDiffContextLines lines of
// context before and after, the context between the blocks, and each block's
// removed lines before its added ones.
void LineDiffer::write_hunk(std::size_t first, std::size_t last, std::string& out) {
    const Block& a = blocks_[first];
    const Block& z = blocks_[last];
    const std::size_t before = std::min(kDiffContextLines, a.old_lo);
    const std::size_t after = std::min(kDiffContextLines, old_lines_.size() - z.old_hi);
    const std::size_t old_from = a.old_lo - before;
    const std::size_t new_from = a.new_lo - before;
    const std::size_t old_to = z.old_hi + after;
    const std::size_t new_to = z.new_hi + after;
    assert(new_to <= new_lines_.size());

    out += "@@ ";
    append_range(out, '-', old_from, old_to - old_from);
    out += ' ';
    append_range(out, '+', new_from, new_to - new_from);
    out += " @@\n";
    std::size_t at = old_from; // the next old line to show
    for (std::size_t k = first; k <= last; ++k) {
        const Block& b = blocks_[k];
        for (; at < b.old_lo; ++at) {
            put_line(out, ' ', old_lines_[at]);
        }
        for (std::size_t i = b.old_lo; i < b.old_hi; ++i) {
            put_line(out, '-', old_lines_[i]);
        }
        for (std::size_t j = b.new_lo; j < b.new_hi; ++j) {
            put_line(out, '+', new_lines_[j]);
        }
        at = b.old_hi;
    }
    for (; at < old_to; ++at) {
        put_line(out, ' ', old_lines_[at]);
    }
}

// One line of a hunk; a full text goes to the drain.
void LineDiffer::put_line(std::string& out, char mark, std::string_view line) {
    append_line(out, mark, line);
    if (drain_ != nullptr && out.size() >= kDiffDrainBytes) {
        drain_(drain_context_, out);
        assert(out.empty());
    }
}

// Blocks closer together than twice the context share a hunk.
void LineDiffer::unified(std::string_view old_name, std::string_view new_name,
                         std::string_view old_text, std::string_view new_text, std::string& out) {
    if (old_text == new_text) {
        return;
    }
    split_stored_lines(old_text, old_lines_);
    split_stored_lines(new_text, new_lines_);
    compare(old_lines_, new_lines_, edit_);
    find_blocks(edit_);
    assert(!blocks_.empty());

    out += "--- ";
    out.append(old_name);
    out += "\n+++ ";
    out.append(new_name);
    out += '\n';
    std::size_t first = 0;
    for (std::size_t k = 1; k <= blocks_.size(); ++k) {
        if (k == blocks_.size() ||
            blocks_[k].old_lo - blocks_[k - 1].old_hi > 2 * kDiffContextLines) {
            write_hunk(first, k - 1, out);
            first = k;
        }
    }
}

} // namespace trevox
