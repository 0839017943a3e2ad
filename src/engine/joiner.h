// Continuation-line joining: the loop of the copy-back pass.
#pragma once

#include <string>

namespace trevox {

struct JoinState {
    std::string join_buffer;
};
extern JoinState g_join;

// True when `line` ends in " _\n".
bool is_continued_line(const std::string& line);

// The copy-back loop over input_stream into output_stream. 0 at the end of
// the input, 1 when a cycle began after a failed write.
int copy_back_loop();

// Joins the run of continued lines that starts in current_line.
void join_split_lines();

} // namespace trevox
