// The entry point and the run from start to exit.
#pragma once

#include <string>
#include <vector>

namespace trevox {

// What the options of the command line ask for. `run` is the ordinary run
// over input names and switches; `help` and `version` end the process at
// once; `check`, `diff` and `filter` choose a mode that writes no file;
// `keep_line_ends` turns KeepLineEnds on.
enum class OptionAction { run, help, version, check, diff, filter, keep_line_ends };

// How the words are worked on: the ordinary run, or one of the modes that
// write no file.
enum class RunMode { run, check, diff, filter };

// The command line taken apart. Options (whole arguments that begin with
// "-", see run.cpp) are read first and touch nothing; the other arguments,
// the words, are then split into input names, switch words and stray words.
struct CommandLine {
    OptionAction action = OptionAction::run; // the first of --help, --version
    RunMode mode = RunMode::run;             // --diff over --check; the filter alone
    std::string mode_option;                 // the option that chose the mode, as written
    std::string conflicting_option;          // a mode option that cannot go with it
    bool keep_line_ends = false;             // --keep-line-ends
    std::string unknown_option;              // the first option not known; empty: none
    std::vector<std::string> words;          // every argument that is not an option
    std::vector<std::string> input_names;    // the words before the first switch word
    std::vector<std::string> stray_words;    // later words that are not switch words
};
extern CommandLine g_command_line;

// The whole run; returns the process exit code.
int run_main(int argc, char** argv);

// Hands the input name to the job that fits it.
void dispatch(const std::string& input_name);

} // namespace trevox
