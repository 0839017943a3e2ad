// Engines side by side: several different texts formatted on several threads
// at once, each result the same as when it is formatted alone. Run under
// ThreadSanitizer too (make test), which fails on any shared state.
#include "engine/engine.h"

#include "engine_test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace trevox {
namespace {

// A text of `lines` lines of many shapes, different for every `seed`.
std::string make_text(unsigned seed, int lines) {
    const char* const shapes[] = {
        "Option Explicit ' old\n",
        "    Dim  total%u    As Long   ' count\n",
        "\tIf a%u Then b = \"it's\" ' why\n",
        "  x = y%u + _\n",
        "      z\n",
        "\n",
        "'$Protect\n",
        "   kept%u  as is ' yes\n",
        "'$UnProtect\n",
        "Rem note %u\n",
        "Begin VB.Form F%u \n",
        "Attribute VB_Name = \"F\"\n",
        "Private Sub S%u()\r\n",
        "  s = \"a\rb\" _ \n",
    };
    std::string text;
    unsigned state = seed * 2654435761u + 1;
    char line[128];
    for (int i = 0; i < lines; ++i) {
        state = state * 1664525u + 1013904223u;
        const char* shape = shapes[(state >> 16) % (sizeof shapes / sizeof shapes[0])];
        std::snprintf(line, sizeof line, shape, state % 1000);
        text += line;
    }
    return text;
}

// The options of text number `i`: each text has settings of its own.
FormatOptions options_of(unsigned i) {
    FormatOptions options;
    options.remove_blank_lines = (i & 1) != 0;
    options.remove_comments = (i & 2) != 0;
    options.combine_split_lines = (i & 4) != 0;
    options.max_line_length = 40 + static_cast<std::int32_t>(i) * 7;
    options.stamp = engine_test::kStamp;
    options.stamp_pending = (i % 3) != 0;
    return options;
}

TEST(EngineThreads, TextsFormattedAtOnceComeOutAsAlone) {
    constexpr unsigned kTexts = 8;
    constexpr int kRounds = 20;
    std::vector<std::string> texts;
    std::vector<std::string> alone;
    for (unsigned i = 0; i < kTexts; ++i) {
        texts.push_back(make_text(i, 2000));
        std::string out;
        ASSERT_TRUE(format_text(options_of(i), texts.back(), out));
        alone.push_back(out);
    }
    // Not all alike, or the comparison would prove little.
    EXPECT_NE(alone[0], alone[1]);

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < kTexts; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < kRounds; ++round) {
                // The one-call form, and the streaming form in pieces of a
                // size of its own.
                std::string out;
                (void)format_text(options_of(i), texts[i], out);
                const FormatOptions options = options_of(i);
                const engine_test::PassOutcome streamed = engine_test::run_split(
                    options, EnginePass::rewrite, texts[i],
                    1 + (i * 13 + static_cast<unsigned>(round)) % 97, SIZE_MAX, false);
                std::string rewritten;
                FormatOptions rewrite_only = options;
                rewrite_only.combine_split_lines = false;
                (void)format_text(rewrite_only, texts[i], rewritten);
                if (out != alone[i] || streamed.stored != rewritten) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
} // namespace trevox
