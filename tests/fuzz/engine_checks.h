// What the engine's fuzz targets share: the settings a case takes from the
// input's first bytes, and the properties every output must have.
#pragma once

#include "engine/engine.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trevox::fuzz {

// The settings of one case, from the input's first kHeaderBytes bytes.
struct Case {
    int remove_blank_lines = 0;
    int remove_comments = 0;
    int combine_split_lines = 0;
    int stamp = 1;
    int verbose = 0;
    int list = 0;
    int echo_and_log = 0;
    std::int32_t max_line_length = 512;
    // Bytes handed over at a time: 0 the whole text at once; else at most
    // this many, in a pattern the case's bytes choose.
    std::size_t piece_size = 0;
    std::uint32_t piece_seed = 0;
};

inline constexpr std::size_t kHeaderBytes = 7;

// The case, and the text after its header in `body`.
Case parse_case(const std::uint8_t* data, std::size_t size, std::string_view& body);

std::string describe(const Case& c);

// The engine's options for the case, with `stamp` as the stamp text.
FormatOptions options_for(const Case& c, std::string_view stamp);

// Checks the output text (CR LF read as "\n") of a case against its input
// text and fails with a report when a property does not hold:
//  1. with no removal option (no /b, /c, /s) the output holds the input's
//     text line for line, each line's characters other than blanks and tabs
//     unchanged, except the stamped Option Explicit line; under /b alone the
//     characters other than white space, line ends included, in order;
//  2. the output means the same program: the same logical lines of code
//     chunks (see vb_tokens.h), comments aside under /c, the stamp comment
//     aside; checked when the input itself reads without a lexical error.
// `stamp` is the stamp text ("" when none can be given).
void check_output(const Case& c, const std::string& in_text, const std::string& out_text,
                  std::string_view stamp, const std::string& report);

// Prints, at exit, how often the meaning was compared (TREVOX_FUZZ_STATS set).
void count_meaning_at_exit();

} // namespace trevox::fuzz
