// Test support for the engine's passes: texts run through an engine in
// memory, into a sink that keeps the output, can fail like a full disk, and
// records what the engine told it. Every pass is run three times, with the
// text handed over whole, one byte at a time and in blocks of seven bytes,
// and the three must agree in every respect.
#pragma once

#include "engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trevox::engine_test {

// The stamp the tests put in place of the run's dated one.
inline constexpr const char* kStamp = "   ' Reformatted 01-02-03 at 04:05:06\n";

// A line longer than the engine's output block: writing it reaches the sink
// while the line is being written.
inline constexpr std::size_t kHugeLine = 1024 * 1024;

// "\n" written as CR LF, the way the program's own files look on disk.
inline std::string to_crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// CR LF read back as "\n". Every LF written must belong to a CR LF pair.
inline std::string from_crlf(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            ADD_FAILURE() << "a line end written without its CR at byte " << i;
        }
        out += bytes[i];
    }
    return out;
}

// A line given as text: a final "\n" is its line end.
inline TextLine line_of(std::string_view text) {
    const bool newline = !text.empty() && text.back() == '\n';
    return TextLine{text.substr(0, text.size() - (newline ? 1 : 0)), newline};
}

// The sink of a pass: keeps what is stored, refuses to store beyond
// `fail_after` bytes (like a disk that fills up), counts the failures it is
// told of, and keeps the lines shown to it.
class TestSink final : public EngineSink {
  public:
    explicit TestSink(std::size_t fail_after, bool show_lines) : fail_after_(fail_after) {
        wants_lines = show_lines;
    }
    bool store(const char* data, std::size_t n) override {
        if (stored.size() + n > fail_after_) {
            return false;
        }
        stored.append(data, n);
        return true;
    }
    void write_failed() override { ++failures_told; }
    void line(std::string_view text) override { lines.emplace_back(text); }

    std::string stored;
    int failures_told = 0;
    std::vector<std::string> lines;

  private:
    std::size_t fail_after_;
};

// What one pass gave.
struct PassOutcome {
    std::string stored;
    EngineResult result;
    int failures_told = 0;
    std::vector<std::string> lines;

    bool operator==(const PassOutcome&) const = default;
};

// Runs one pass over `bytes`, handed over in blocks of `block` bytes (0: whole).
inline PassOutcome run_split(const FormatOptions& options, EnginePass pass, std::string_view bytes,
                             std::size_t block, std::size_t fail_after, bool show_lines) {
    TestSink sink(fail_after, show_lines);
    Engine engine;
    engine.begin(options, pass, sink);
    const std::size_t step = block == 0 ? std::max<std::size_t>(bytes.size(), 1) : block;
    for (std::size_t at = 0; at < bytes.size(); at += step) {
        engine.write(bytes.data() + at, std::min(step, bytes.size() - at));
    }
    PassOutcome outcome;
    outcome.result = engine.finish();
    outcome.stored = std::move(sink.stored);
    outcome.failures_told = sink.failures_told;
    outcome.lines = std::move(sink.lines);
    return outcome;
}

// Base fixture: default options with the stamp pending, which each pass
// carries on to the next the way a run does from file to file.
class PassTest : public ::testing::Test {
  public:
    PassTest() {
        options_.stamp = kStamp;
        options_.stamp_pending = true;
    }

    // Makes the sink refuse every block, like a full disk.
    void fail_writes() { fail_after_ = 0; }

    // Has the sink keep the lines shown to it.
    void show_lines() { show_lines_ = true; }

    // Runs one pass over `input` (written with CR LF line ends), whole, a byte
    // at a time and in blocks of seven bytes; all three must agree. Returns
    // the output text with CR LF read back as "\n".
    std::string run_pass(EnginePass pass, const std::string& input) {
        const std::string bytes = to_crlf(input);
        outcome_ = run_split(options_, pass, bytes, 0, fail_after_, show_lines_);
        for (const std::size_t block : {std::size_t{1}, std::size_t{7}}) {
            if (bytes.size() > engine_test::kHugeLine / 8 && block == 1) {
                continue; // a byte at a time is too slow for the huge lines
            }
            EXPECT_TRUE(outcome_ ==
                        run_split(options_, pass, bytes, block, fail_after_, show_lines_))
                << "blocks of " << block << " bytes differ, input:\n"
                << input.substr(0, 200);
        }
        if (outcome_.result.stamp_applied) {
            options_.stamp_pending = false;
        }
        return from_crlf(outcome_.stored);
    }

    FormatOptions options_;
    PassOutcome outcome_;

  private:
    std::size_t fail_after_ = SIZE_MAX;
    bool show_lines_ = false;
};

} // namespace trevox::engine_test
