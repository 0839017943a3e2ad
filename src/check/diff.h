// Line diffs: an edit script between two sequences of lines, found by
// Myers' O(ND) algorithm in linear space (the middle snake, divide and
// conquer), and the unified diff of two texts that it gives.
//
// Lines are compared through small integer ids, one per distinct line, so
// each comparison inside the search is one integer compare; a line that the
// other text does not hold at all is a change from the start and is left
// out of the search. Memory grows
// with the number of lines only: a few words per line, whatever the number
// of differences. Time is O((N+M)·D) for N and M lines and D differences;
// past a cost limit that grows with the size, the search of a range settles
// for a good split point instead of the best one, so that two large texts
// that differ everywhere still take O((N+M)·limit) steps (the edit is then
// correct but may be longer than the shortest).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trevox {

// Lines of unchanged context around each change in a unified diff.
inline constexpr std::size_t kDiffContextLines = 3;
// The least cost limit of the search, whatever the size (see set_cost_limit).
inline constexpr std::ptrdiff_t kDiffLeastCostLimit = 4096;
// The most lines two texts may hold together for the search (its ids and
// positions are 32 bits); past it every line counts as changed.
inline constexpr std::size_t kDiffMostLines = std::size_t{UINT32_MAX} - 1;
// A diff being written is handed to the drain (see set_drain) whenever it
// holds this many bytes.
inline constexpr std::size_t kDiffDrainBytes = std::size_t{256} * 1024;

// Takes the text of a diff written so far and empties it.
using DiffDrain = void (*)(void* context, std::string& text);

// The lines of `text` as stored, into `lines` (emptied first): each runs up
// to and including its "\n" (a CR before it belongs to the line); the last
// one may have no "\n". An empty text has no line.
void split_stored_lines(std::string_view text, std::vector<std::string_view>& lines);

// An edit from an old sequence of lines to a new one: the lines it removes
// from the old and adds from the new. The lines marked in neither pair up in
// order, and each pair is equal.
struct LineEdit {
    std::vector<char> removed; // one flag per old line
    std::vector<char> added;   // one flag per new line
};

// Finds edits and writes unified diffs. Its buffers are kept from one call
// to the next.
class LineDiffer {
  public:
    // An edit from `old_lines` to `new_lines` into `edit`: the shortest one,
    // unless finding it costs more than the cost limit (see above).
    void compare(const std::vector<std::string_view>& old_lines,
                 const std::vector<std::string_view>& new_lines, LineEdit& edit);

    // The number of steps the search of one range may take before it settles
    // for a good split. 0 (the default): the usual limit, about twice the
    // square root of the number of lines, and never below
    // kDiffLeastCostLimit.
    void set_cost_limit(std::ptrdiff_t limit) { cost_limit_ = limit; }

    // While unified() writes, `drain` gets the text whenever it holds
    // kDiffDrainBytes, so that a long diff need not be held whole; the rest
    // stays in `out` for the caller. nullptr (the default): all of it stays.
    void set_drain(DiffDrain drain, void* context) {
        drain_ = drain;
        drain_context_ = context;
    }

    // Appends to `out` the unified diff that turns `old_text` into
    // `new_text`: the lines "--- old_name" and "+++ new_name", then hunks
    // with kDiffContextLines lines of context, lines as stored, and "\ No
    // newline at end of file" after a last line without one. Appends nothing
    // when the texts are equal.
    void unified(std::string_view old_name, std::string_view new_name, std::string_view old_text,
                 std::string_view new_text, std::string& out);

  private:
    // A part of both sequences still to compare: [x_lo, x_hi) of the old,
    // [y_lo, y_hi) of the new.
    struct Range {
        std::ptrdiff_t x_lo;
        std::ptrdiff_t x_hi;
        std::ptrdiff_t y_lo;
        std::ptrdiff_t y_hi;
        bool minimal; // the cost limit does not apply to this range
    };
    // Where a range is cut in two, and how each half is to be searched.
    struct Split {
        std::ptrdiff_t x;
        std::ptrdiff_t y;
        bool lo_minimal;
        bool hi_minimal;
    };
    // A run of changed lines: old lines [old_lo, old_hi) replaced by new
    // lines [new_lo, new_hi).
    struct Block {
        std::size_t old_lo;
        std::size_t old_hi;
        std::size_t new_lo;
        std::size_t new_hi;
    };

    std::string_view line_at(std::uint32_t at) const;
    std::uint32_t id_of(std::string_view line, std::uint32_t at);
    Split split_range(const Range& r, std::ptrdiff_t limit);
    void find_blocks(const LineEdit& edit);
    void write_hunk(std::size_t first, std::size_t last, std::string& out);
    void put_line(std::string& out, char mark, std::string_view line);

    std::ptrdiff_t cost_limit_ = 0;
    DiffDrain drain_ = nullptr;
    void* drain_context_ = nullptr;
    const std::vector<std::string_view>* old_in_ = nullptr; // the lines being compared
    const std::vector<std::string_view>* new_in_ = nullptr;
    std::vector<std::uint32_t> slots_;     // ids by the hash of their line, open addressing
    std::vector<std::uint32_t> first_at_;  // by id: where its first line stands (old, then new)
    std::vector<std::uint32_t> old_ids_;   // ids of the old lines
    std::vector<std::uint32_t> new_ids_;   // ids of the new lines
    std::vector<char> in_old_;             // by id: the old lines hold it
    std::vector<char> in_new_;             // by id: the new lines hold it
    std::vector<std::uint32_t> x_;         // the old ids that the search works on
    std::vector<std::uint32_t> y_;         // the new ids that the search works on
    std::vector<std::size_t> x_at_;        // where each of x_ stands in the old lines
    std::vector<std::size_t> y_at_;        // where each of y_ stands in the new lines
    std::vector<std::ptrdiff_t> forward_;  // furthest x on each diagonal, forward
    std::vector<std::ptrdiff_t> backward_; // least x on each diagonal, backward
    std::vector<Range> ranges_;            // the parts still to compare
    std::vector<std::string_view> old_lines_;
    std::vector<std::string_view> new_lines_;
    LineEdit edit_;
    std::vector<Block> blocks_;
};

} // namespace trevox
