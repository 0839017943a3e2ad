// The modes that write no file: the check (--check), the diff (--diff) and
// the filter (- or --stdin).
//
// The check is the source action of a run that writes nothing: each source
// file the input sets find is formatted in memory, as a run would format it
// (without the Option Explicit stamp), and compared with the file as it is.
// The filter formats standard input onto standard output. Messages go
// through say(), which the run flow sends to standard error for these modes.
#pragma once

#include "check/diff.h"
#include "engine/engine.h"
#include "platform/platform.h"

#include <string>
#include <string_view>

namespace trevox {

struct CheckState {
    bool show_diff = false;  // --diff: each change shown as a unified diff
    int would_change = 0;    // source files that a run would change
    Formatter formatter;     // reused from text to text
    ByteReader input;        // the source being read
    std::string source_name; // the source as the run names it
    std::string text;        // the source (or standard input) as stored
    std::string result;      // what a run would write in its place
    std::string diff_name;   // the name in the diff's headers
    std::string report;      // what goes to standard output for one source
    LineDiffer differ;
};
extern CheckState g_check;

// The options of a run that writes nothing, for `text`: the run settings,
// no stamp, and LF line ends under KeepLineEnds when all of the text's line
// ends are LF alone.
FormatOptions check_options(std::string_view text);

// True when `a` and `b` differ only in their line ends: equal once every CR
// that comes right before a LF is taken out of both.
bool only_line_ends_differ(std::string_view a, std::string_view b);

// The name as the headers of a diff give it: every "\" turned into "/", as
// patch and git apply read names, and a tab after a name that holds a blank.
void diff_header_name(const std::string& name, std::string& out);

// The check of one source file: read as the run would read it, formatted in
// memory, compared. When a run would change it: "would reformat NAME" on
// standard output and, under show_diff, its diff (or the line saying that
// only its line ends would change). A file that cannot be opened or read,
// or holds no line, is reported and counted in g_run.job_failures. Writes no
// file. Always 0, so that a project goes on with its next member.
int check_file(const std::string& name);

// The filter: all of standard input reformatted onto standard output, both
// as bytes. A text with no line writes nothing. False, after its message,
// when standard input could not be read or standard output written.
bool filter_standard_input();

} // namespace trevox
