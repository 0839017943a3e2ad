// The source-file job: one file reformatted as a small transaction on disk.
#pragma once

#include <string>

namespace trevox {

struct JobState {
    std::string temp_name;
    int multi_file_mode = 0; // run-wide: this job is one of several
};
extern JobState g_job;

void job_reset();

// Reformats one source file. 0: replaced, copied back, or a failure reported
// in multi-file mode; 1: failed and said so.
int reformat_file(const std::string& source_name);

// The copy-back pass: temp_name through the joiner over the source.
int copy_back_joined(const std::string& temp_name, const std::string& source_name);

} // namespace trevox
