// The source-file job: one file reformatted as a small transaction on disk.
//
// The source is read, its reformatted text written to a temporary file beside
// it, a backup made before any line is processed, and only a complete, error
// free result replaces the source, atomically. Under CombineSplitLines the
// result is joined into a second temporary file that replaces the source.
#pragma once

#include "engine/engine.h"
#include "platform/platform.h"

#include <string>
#include <vector>

namespace trevox {

// Extension of the job's temporary file (the text of the line pass).
inline constexpr const char* kTempExtension = ".tmp";
// Extension of the copy-back pass's temporary file (the joined text).
inline constexpr const char* kSecondTempExtension = ".tm2";

struct JobState {
    std::string source_name;      // the source as resolved, used throughout the job
    std::string temp_name;        // the line pass's output beside the source
    std::string second_temp_name; // the copy-back pass's output beside the source
    int multi_file_mode = 0;      // run-wide: this job is one of several
    int stamp_pending = 1;        // run-wide: no Option Explicit line was stamped yet
    bool lf_line_ends = false;    // this job writes LF alone (KeepLineEnds, an LF source)
    Engine engine;                // reused from file to file
    ByteReader input;             // the pass's input file
    RawWriter output;             // the pass's output file
    std::vector<char> read_block; // what the pass reads the input into
};
extern JobState g_job;

void job_reset();

// The engine options the run settings give: blank lines, comments, joining
// and its line length. No stamp, CR LF line ends.
FormatOptions settings_format_options();

// Opens the source named `name` into `input`, its name as opened into
// `source_name`: as written when it opens so, otherwise matched regardless of
// letter case. False, with its two messages said, when it cannot be opened.
bool open_source(ByteReader& input, const std::string& name, std::string& source_name);

// Reformats one source file. 0: replaced, copied back, or a failure reported
// in multi-file mode; 1: failed and said so.
int reformat_file(const std::string& source_name);

// The copy-back pass: temp_name through the joiner over the source.
int copy_back_joined(const std::string& temp_name, const std::string& source_name);

} // namespace trevox
