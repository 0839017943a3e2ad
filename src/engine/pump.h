// The line pump: reads one file line by line with one line of lookahead,
// rewrites ordinary lines and writes every result through emit_line().
#pragma once

#include "platform/platform.h"

#include <string>

namespace trevox {

// Pump state, process-wide, reset before each pass.
struct PumpState {
    std::string current_line;   // the line being processed
    std::string lookahead_line; // the line read ahead
    int end_of_input = 0;
    int write_error_count = 0;
    int stamp_pending = 1; // run-wide: the first Option Explicit is not stamped yet
    // Per pass: the last non-empty text written by emit_line() ended in " _\n".
    int last_written_continued = 0;
    // Per pass: holds a cut line while the comment lines after it are dropped.
    std::string held_line;
    TextReader input_stream;
    TextWriter output_stream;
};
extern PumpState g_pump;

// Empties the line buffers and clears the per-pass flags (not stamp_pending).
void pump_reset_pass();

// Reads the first line of input_stream into lookahead_line. False when
// nothing could be read.
bool read_first_line();

// Runs the per-line steps to the end of the input. 0 at the end of the input,
// 1 when a cycle began after a failed write.
int reformat_lines();

// Moves the lookahead into current_line and reads the next line.
void next_line();

// Writes one line to output_stream (echoing and logging it first under /z).
void emit_line(const char* text, std::size_t length);
inline void emit_line(const std::string& s) {
    emit_line(s.data(), s.size());
}

void pass_form_header();
void pass_protected();

// True when `line` starts a protected region ("'" first, "$Protect" at its first "$").
bool is_protect_start(const std::string& line);

} // namespace trevox
