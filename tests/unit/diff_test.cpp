// The line diff: its edits against a plain dynamic-programming reference on
// random inputs, the split of large searches, and the unified format, by
// its exact text and by applying it back.
#include "check/diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace trevox {
namespace {

using Lines = std::vector<std::string_view>;

// The length of the longest common subsequence, the plain O(NM) way.
std::size_t lcs_length(const Lines& a, const Lines& b) {
    std::vector<std::size_t> row(b.size() + 1, 0);
    for (const std::string_view line : a) {
        std::size_t diagonal = 0; // row[j - 1] of the row before
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = line == b[j - 1] ? diagonal + 1 : std::max(row[j], row[j - 1]);
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Checks that `edit` turns `a` into `b`: the lines it keeps pair up in order
// and are equal. Returns the number of lines it removes and adds.
std::size_t edit_size(const Lines& a, const Lines& b, const LineEdit& edit) {
    EXPECT_EQ(edit.removed.size(), a.size());
    EXPECT_EQ(edit.added.size(), b.size());
    std::vector<std::string_view> kept_a;
    std::vector<std::string_view> kept_b;
    std::size_t changes = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (edit.removed[i] != 0) {
            ++changes;
        } else {
            kept_a.push_back(a[i]);
        }
    }
    for (std::size_t j = 0; j < b.size(); ++j) {
        if (edit.added[j] != 0) {
            ++changes;
        } else {
            kept_b.push_back(b[j]);
        }
    }
    EXPECT_EQ(kept_a, kept_b);
    return changes;
}

// Random lines from a small pool, so that lines repeat and match by chance.
std::vector<std::string> random_lines(std::mt19937& rng, std::size_t max_lines, int pool) {
    std::uniform_int_distribution<std::size_t> count(0, max_lines);
    std::uniform_int_distribution<int> pick(0, pool - 1);
    std::vector<std::string> lines(count(rng));
    for (std::string& line : lines) {
        line = std::string(1, static_cast<char>('a' + pick(rng))) + "\n";
    }
    return lines;
}

Lines views(const std::vector<std::string>& lines) {
    return Lines(lines.begin(), lines.end());
}

TEST(LineDiff, ShortestEditOnRandomInputs) {
    std::mt19937 rng(12345);
    LineDiffer differ;
    LineEdit edit;
    for (int round = 0; round < 2000; ++round) {
        const int pool = 1 + round % 6;
        const std::vector<std::string> a = random_lines(rng, 40, pool);
        std::vector<std::string> b = a;
        // Half the rounds: a few edits of the first text; the others: unrelated.
        if (round % 2 == 0) {
            std::uniform_int_distribution<int> edits(0, 6);
            for (int e = edits(rng); e > 0; --e) {
                std::uniform_int_distribution<std::size_t> at(0, b.size());
                const std::size_t i = at(rng);
                if (i < b.size() && rng() % 2 == 0) {
                    b.erase(b.begin() + static_cast<std::ptrdiff_t>(i));
                } else {
                    b.insert(b.begin() + static_cast<std::ptrdiff_t>(i), "x\n");
                }
            }
        } else {
            b = random_lines(rng, 40, pool);
        }
        const Lines va = views(a);
        const Lines vb = views(b);
        differ.compare(va, vb, edit);
        EXPECT_EQ(edit_size(va, vb, edit), va.size() + vb.size() - 2 * lcs_length(va, vb))
            << "round " << round;
    }
}

// With a tiny cost limit the search settles for good splits: the edit stays
// correct and, on texts that are mostly alike, close to the shortest.
TEST(LineDiff, CostLimitKeepsTheEditCorrect) {
    std::mt19937 rng(777);
    LineDiffer differ;
    LineEdit edit;
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::string> a = random_lines(rng, 300, 2 + round % 5);
        const std::vector<std::string> b = random_lines(rng, 300, 2 + round % 5);
        differ.set_cost_limit(1 + round % 4);
        const Lines va = views(a);
        const Lines vb = views(b);
        differ.compare(va, vb, edit);
        const std::size_t shortest = va.size() + vb.size() - 2 * lcs_length(va, vb);
        EXPECT_GE(edit_size(va, vb, edit), shortest);
    }
    // Two long texts with one line changed in the middle: found exactly,
    // whatever the limit.
    std::vector<std::string> a(5000);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = std::to_string(i) + "\n";
    }
    std::vector<std::string> b = a;
    b[2500] = "changed\n";
    differ.set_cost_limit(1);
    differ.compare(views(a), views(b), edit);
    EXPECT_EQ(edit_size(views(a), views(b), edit), 2u);
    EXPECT_EQ(edit.removed[2500], 1);
    EXPECT_EQ(edit.added[2500], 1);
}

TEST(LineDiff, StoredLinesKeepTheirEnds) {
    Lines lines;
    split_stored_lines("a\r\nb\n\nc", lines);
    EXPECT_EQ(lines, (Lines{"a\r\n", "b\n", "\n", "c"}));
    split_stored_lines("x\n", lines);
    EXPECT_EQ(lines, (Lines{"x\n"}));
    split_stored_lines("", lines);
    EXPECT_TRUE(lines.empty());
    split_stored_lines("lone\rcr", lines);
    EXPECT_EQ(lines, (Lines{"lone\rcr"}));
}

std::string numbers(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) {
        text += std::to_string(i) + "\n";
    }
    return text;
}

std::string replace_line(std::string text, const std::string& line, const std::string& by) {
    const std::size_t at = text.find("\n" + line + "\n");
    return text.replace(at + 1, line.size() + 1, by);
}

// The texts that diff -u writes for the same pairs.
TEST(LineDiff, UnifiedTextAsDiffWritesIt) {
    struct Case {
        const char* what;
        std::string old_text;
        std::string new_text;
        std::string expected; // after the two header lines
    };
    const std::string twenty = numbers(1, 20);
    const std::string merged =
        replace_line(replace_line(replace_line(twenty, "2", "two\n"), "9", "nine\n"), "16", "");
    const std::string split = replace_line(replace_line(twenty, "2", "two\n"), "10", "ten\n");
    const Case cases[] = {
        {"changes six lines apart share a hunk", twenty, merged,
         "@@ -1,19 +1,18 @@\n 1\n-2\n+two\n 3\n 4\n 5\n 6\n 7\n 8\n-9\n+nine\n 10\n 11\n 12\n 13\n"
         " 14\n 15\n-16\n 17\n 18\n 19\n"},
        {"seven lines apart: two hunks", twenty, split,
         "@@ -1,5 +1,5 @@\n 1\n-2\n+two\n 3\n 4\n 5\n@@ -7,7 +7,7 @@\n 7\n 8\n 9\n-10\n+ten\n 11\n"
         " 12\n 13\n"},
        {"an empty old text", "", "a\nb",
         "@@ -0,0 +1,2 @@\n+a\n+b\n\\ No newline at end of file\n"},
        {"a line end added at the end", "a\nb\nc", "a\nb\nc\n",
         "@@ -1,3 +1,3 @@\n a\n b\n-c\n\\ No newline at end of file\n+c\n"},
        {"a count of one is left out", "x\ny\n", "y\n", "@@ -1,2 +1 @@\n-x\n y\n"},
        {"CR LF lines as stored", "  a\r\nb\r\n", "a\r\nb\r\n",
         "@@ -1,2 +1,2 @@\n-  a\r\n+a\r\n b\r\n"},
    };
    LineDiffer differ;
    for (const Case& c : cases) {
        std::string out = "kept";
        differ.unified("old.bas", "new.bas", c.old_text, c.new_text, out);
        EXPECT_EQ(out, "kept--- old.bas\n+++ new.bas\n" + c.expected) << c.what;
    }
    std::string out;
    differ.unified("a", "a", twenty, twenty, out);
    EXPECT_EQ(out, "") << "equal texts give nothing";
}

// Applies a unified diff the way patch does, checking each context and
// removed line against the old text. Empty (and a test failure) when the
// diff does not fit.
std::string apply_unified(const std::string& old_text, const std::string& diff) {
    Lines old_lines;
    split_stored_lines(old_text, old_lines);
    Lines rows; // the lines of the diff itself
    split_stored_lines(diff, rows);
    std::string result;
    std::size_t at = 0; // next old line
    std::size_t r = 2;  // past the two header lines
    if (rows.size() < 3 || rows[0].substr(0, 4) != "--- " || rows[1].substr(0, 4) != "+++ ") {
        ADD_FAILURE() << "no header:\n" << diff;
        return "";
    }
    while (r < rows.size()) {
        unsigned long old_from = 0;
        unsigned long old_count = 1;
        unsigned long new_from = 0;
        unsigned long new_count = 1;
        const std::string header(rows[r]);
        if (std::sscanf(header.c_str(), "@@ -%lu,%lu", &old_from, &old_count) < 1 ||
            header.find(" +") == std::string::npos ||
            std::sscanf(header.c_str() + header.find(" +"), " +%lu,%lu", &new_from, &new_count) <
                1) {
            ADD_FAILURE() << "bad hunk header " << header;
            return "";
        }
        const std::size_t first = old_count == 0 ? old_from : old_from - 1;
        if (first < at || first > old_lines.size()) {
            ADD_FAILURE() << "hunk out of order: " << header;
            return "";
        }
        for (; at < first; ++at) {
            result.append(old_lines[at]);
        }
        ++r;
        unsigned long seen_old = 0;
        unsigned long seen_new = 0;
        while (r < rows.size() && rows[r].substr(0, 2) != "@@") {
            const char mark = rows[r][0];
            std::string line(rows[r].substr(1));
            ++r;
            if (r < rows.size() && rows[r] == "\\ No newline at end of file\n") {
                line.pop_back(); // the line end that only the diff has
                ++r;
            }
            if (mark == '+') {
                result += line;
                ++seen_new;
                continue;
            }
            if (at >= old_lines.size() || old_lines[at] != line) {
                ADD_FAILURE() << "line " << at + 1 << " does not fit: " << line;
                return "";
            }
            ++at;
            ++seen_old;
            if (mark == ' ') {
                result += line;
                ++seen_new;
            }
        }
        EXPECT_EQ(seen_old, old_count) << header;
        EXPECT_EQ(seen_new, new_count) << header;
    }
    for (; at < old_lines.size(); ++at) {
        result.append(old_lines[at]);
    }
    return result;
}

// Random texts with CR LF and LF lines, and last lines with and without a
// line end: every diff applies to the old text and gives the new one.
TEST(LineDiff, UnifiedDiffAppliesBack) {
    std::mt19937 rng(4242);
    const char* const pool[] = {"a\n", "b\n", "a\r\n", "  a\n", "c\r\n", "\n", "\r\n", "d\n"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pool) - 1);
    const auto make = [&](std::size_t lines) {
        std::string text;
        for (std::size_t i = 0; i < lines; ++i) {
            text += pool[pick(rng)];
        }
        if (rng() % 3 == 0) {
            text += rng() % 2 == 0 ? "end" : "a";
        }
        return text;
    };
    LineDiffer differ;
    for (int round = 0; round < 1500; ++round) {
        std::uniform_int_distribution<std::size_t> size(0, round % 2 == 0 ? 12 : 120);
        const std::string old_text = make(size(rng));
        const std::string new_text = round % 3 == 0 ? make(size(rng)) : old_text + make(2);
        std::string diff;
        differ.unified("x", "x", old_text, new_text, diff);
        if (old_text == new_text) {
            EXPECT_EQ(diff, "");
            continue;
        }
        EXPECT_EQ(apply_unified(old_text, diff), new_text) << "round " << round << "\n" << diff;
    }
}

} // namespace
} // namespace trevox
