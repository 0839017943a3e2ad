// The line diff: its edits against a plain dynamic-programming reference on
// random inputs (also with a tiny cost limit), and the unified format, by its
// exact text and by applying it back.
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

// Checks that the lines `edit` keeps pair up in order and are equal; returns
// the number of lines it removes and adds.
std::size_t edit_size(const Lines& a, const Lines& b, const LineEdit& edit) {
    Lines kept_a;
    Lines kept_b;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (edit.removed.at(i) == 0) {
            kept_a.push_back(a[i]);
        }
    }
    for (std::size_t j = 0; j < b.size(); ++j) {
        if (edit.added.at(j) == 0) {
            kept_b.push_back(b[j]);
        }
    }
    EXPECT_EQ(kept_a, kept_b);
    return a.size() + b.size() - kept_a.size() - kept_b.size();
}

// Random lines from a small pool, so that lines repeat and match by chance;
// "x" lines are never in the pool, so the other text may lack them.
std::vector<std::string> random_lines(std::mt19937& rng, std::size_t max_lines, int pool) {
    std::vector<std::string> lines(std::uniform_int_distribution<std::size_t>(0, max_lines)(rng));
    for (std::string& line : lines) {
        const auto pick = std::uniform_int_distribution<int>(0, pool)(rng);
        line = std::string(1, static_cast<char>(pick == pool ? 'x' : 'a' + pick)) + "\n";
    }
    return lines;
}

// The shortest edit, and with a cost limit of 1 to 4 still a correct one.
TEST(LineDiff, EditsAgainstTheReference) {
    std::mt19937 rng(12345);
    LineDiffer differ;
    LineEdit edit;
    for (int round = 0; round < 3000; ++round) {
        const bool limited = round % 3 == 0;
        const std::size_t size = limited ? 200 : 40;
        const std::vector<std::string> a = random_lines(rng, size, 1 + round % 6);
        std::vector<std::string> b = random_lines(rng, size, 1 + round % 6);
        if (round % 2 == 0) { // a few lines of the first text changed
            b = a;
            for (int e = round % 7; e > 0 && !b.empty(); --e) {
                b[rng() % b.size()] = "y\n";
            }
        }
        differ.set_cost_limit(limited ? 1 + round % 4 : 0);
        const Lines va(a.begin(), a.end());
        const Lines vb(b.begin(), b.end());
        differ.compare(va, vb, edit);
        const std::size_t shortest = va.size() + vb.size() - 2 * lcs_length(va, vb);
        if (limited) {
            EXPECT_GE(edit_size(va, vb, edit), shortest) << "round " << round;
        } else {
            EXPECT_EQ(edit_size(va, vb, edit), shortest) << "round " << round;
        }
    }
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
    const std::string twenty = numbers(1, 20);
    const std::string merged =
        replace_line(replace_line(replace_line(twenty, "2", "two\n"), "9", "nine\n"), "16", "");
    const std::string split = replace_line(replace_line(twenty, "2", "two\n"), "10", "ten\n");
    const struct {
        const char* what;
        std::string old_text;
        std::string new_text;
        std::string expected; // after the two header lines
    } cases[] = {
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
    for (const auto& c : cases) {
        std::string out = "kept";
        differ.unified("old.bas", "new.bas", c.old_text, c.new_text, out);
        EXPECT_EQ(out, "kept--- old.bas\n+++ new.bas\n" + c.expected) << c.what;
    }
    std::string out;
    differ.unified("a", "a", twenty, twenty, out);
    EXPECT_EQ(out, "") << "equal texts give nothing";
}

// Applies a unified diff the way patch does: each context and removed line
// must be the old text's line at that place, and the counts of the header
// must hold. Returns the new text.
std::string apply_unified(const std::string& old_text, const std::string& diff) {
    Lines old_lines;
    Lines rows;
    split_stored_lines(old_text, old_lines);
    split_stored_lines(diff, rows);
    std::string result;
    std::size_t at = 0; // the next old line
    for (std::size_t r = 2; r < rows.size();) {
        unsigned long from = 0;
        unsigned long count = 1;
        unsigned long new_count = 1;
        const std::string header(rows[r++]);
        EXPECT_GE(std::sscanf(header.c_str(), "@@ -%lu,%lu", &from, &count), 1) << header;
        std::sscanf(header.c_str() + header.find(" +"), " +%*u,%lu", &new_count);
        for (const std::size_t first = count == 0 ? from : from - 1; at < first; ++at) {
            result.append(old_lines.at(at));
        }
        while (r < rows.size() && rows[r].substr(0, 2) != "@@") {
            const char mark = rows[r][0];
            std::string line(rows[r++].substr(1));
            if (r < rows.size() && rows[r] == "\\ No newline at end of file\n") {
                line.pop_back(); // the line end that only the diff has
                ++r;
            }
            if (mark != '+') {
                EXPECT_EQ(old_lines.at(at++), line);
                --count;
            }
            if (mark != '-') {
                result += line;
                --new_count;
            }
        }
        EXPECT_EQ(count, 0u) << header;
        EXPECT_EQ(new_count, 0u) << header;
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
    const auto make = [&](std::size_t max_lines) {
        std::string text;
        for (std::size_t i = rng() % (max_lines + 1); i > 0; --i) {
            text += pool[rng() % std::size(pool)];
        }
        return rng() % 3 == 0 ? text + (rng() % 2 == 0 ? "end" : "a") : text;
    };
    LineDiffer differ;
    for (int round = 0; round < 1500; ++round) {
        const std::size_t size = round % 2 == 0 ? 12 : 120;
        const std::string old_text = make(size);
        const std::string new_text = round % 3 == 0 ? make(size) : old_text + make(2);
        std::string diff;
        differ.unified("x", "x", old_text, new_text, diff);
        EXPECT_EQ(diff.empty() ? old_text : apply_unified(old_text, diff), new_text)
            << "round " << round << "\n"
            << diff;
    }

    // A long diff handed out while it is written: what the drain took and
    // what is left make up the diff written whole, and what is left is less
    // than one drain's worth.
    std::string old_text;
    std::string new_text;
    for (int i = 0; i < 40000; ++i) {
        old_text += "old line " + std::to_string(i) + "\n";
        new_text += "new line " + std::to_string(i) + "\n";
    }
    std::string whole;
    differ.unified("x", "x", old_text, new_text, whole);
    std::string drained;
    differ.set_drain(
        [](void* context, std::string& text) {
            static_cast<std::string*>(context)->append(text);
            text.clear();
        },
        &drained);
    std::string rest;
    differ.unified("x", "x", old_text, new_text, rest);
    EXPECT_FALSE(drained.empty());
    EXPECT_LT(rest.size(), kDiffDrainBytes);
    EXPECT_TRUE(drained + rest == whole);
}

} // namespace
} // namespace trevox
