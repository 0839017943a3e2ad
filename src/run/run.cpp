#include "run/run.h"

#include "check/check.h"
#include "console/console.h"
#include "console/messages.h"
#include "console/version.h"
#include "inputs/inputs.h"
#include "jobs/backup.h"
#include "jobs/job.h"
#include "jobs/locks.h"
#include "jobs/names.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace trevox {

namespace {

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

// Exit codes of the run.
constexpr int exit_ok = 0;
constexpr int exit_usage_or_abort = 1;
// Under AssumeYes only: the run reported a failure of the input or of a job.
constexpr int exit_job_failed = 2;
// A command line with an unknown option, or with two modes that cannot go
// together: nothing was done.
constexpr int exit_bad_option = 2;
// Check and diff: no file would change; some file would; an input could not
// be read or named nothing (no name at all included), which outweighs the
// others.
constexpr int exit_check_clean = 0;
constexpr int exit_check_changes = 1;
constexpr int exit_check_failed = 2;
// The filter: its text was written; it was not.
constexpr int exit_filter_done = 0;
constexpr int exit_filter_failed = 2;

bool equals_any(const std::string& text, std::initializer_list<const char*> choices) {
    return std::any_of(choices.begin(), choices.end(),
                       [&text](const char* choice) { return text == choice; });
}

// Position of the first "." of the name's last component when the name is a
// wildcard set ("*.*", "*.frm", "*.cls" or "*.bas" from the character before
// that "." to the end, the "*" inside the last component), else npos.
std::size_t wildcard_dot(const std::string& name) {
    const std::size_t dot = extension_pos(name);
    if (dot == std::string::npos) {
        return dot;
    }
    const std::size_t component = name.find_last_of("\\/");
    const bool has_char_before = dot > 0 && (component == std::string::npos || dot > component + 1);
    if (has_char_before && equals_any(name.substr(dot - 1), {"*.*", "*.frm", "*.cls", "*.bas"})) {
        return dot;
    }
    return std::string::npos;
}

// True when `arg` names an existing file or folder (its letter case aside
// where the system minds it), or is a wildcard set in an existing folder
// (the current one when it names none).
bool names_something(const std::string& arg) {
    if (file_exists(resolve_name_case(arg))) {
        return true;
    }
    if (wildcard_dot(arg) == std::string::npos) {
        return false;
    }
    const std::size_t separator = arg.find_last_of("\\/");
    return separator == std::string::npos ||
           file_exists(resolve_name_case(arg.substr(0, separator + 1)));
}

// The options: each is one whole argument, one row per spelling. The lone
// "-" is the filter (a file of that name is named "./-").
struct OptionSpelling {
    const char* spelling;
    OptionAction action;
};
// clang-format off
constexpr OptionSpelling kOptions[] = {
    {"--help", OptionAction::help},
    {"-h", OptionAction::help},
    {"--version", OptionAction::version},
    {"--check", OptionAction::check},
    {"--diff", OptionAction::diff},
    {"-", OptionAction::filter},
    {"--stdin", OptionAction::filter},
    {"--keep-line-ends", OptionAction::keep_line_ends},
};
// clang-format on

// The row spelled exactly as `arg`, or nullptr.
const OptionSpelling* find_option(const char* arg) {
    for (const OptionSpelling& option : kOptions) {
        if (std::strcmp(arg, option.spelling) == 0) {
            return &option;
        }
    }
    return nullptr;
}

// The mode of a mode option.
RunMode mode_of(OptionAction action) {
    switch (action) {
    case OptionAction::check:
        return RunMode::check;
    case OptionAction::diff:
        return RunMode::diff;
    default:
        assert(action == OptionAction::filter);
        return RunMode::filter;
    }
}

// A mode option: the first chooses the mode; --diff outweighs --check (a
// diff is a check that also shows the changes); the filter goes with
// neither, and the first option that clashes is kept.
void choose_mode(CommandLine& cmd, OptionAction action, const char* spelling) {
    const RunMode wanted = mode_of(action);
    if (cmd.mode == RunMode::run || (cmd.mode == RunMode::check && wanted == RunMode::diff)) {
        cmd.mode = wanted;
        cmd.mode_option = spelling;
        return;
    }
    const bool clash = (cmd.mode == RunMode::filter) != (wanted == RunMode::filter);
    if (clash && cmd.conflicting_option.empty()) {
        cmd.conflicting_option = spelling;
    }
}

// Sorts the arguments into options and words. An argument that begins with
// "-" and is no known option is an unknown option, except that one with a
// single "-" which names something (a file called "-old.bas") is a word.
// The first unknown option and the first action asked for are kept.
void read_options(int argc, char** argv, CommandLine& cmd) {
    cmd = CommandLine{};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            cmd.words.emplace_back(arg);
            continue;
        }
        const OptionSpelling* option = find_option(arg);
        if (option != nullptr) {
            switch (option->action) {
            case OptionAction::help:
            case OptionAction::version:
                if (cmd.action == OptionAction::run) {
                    cmd.action = option->action;
                }
                break;
            case OptionAction::keep_line_ends:
                cmd.keep_line_ends = true;
                break;
            default:
                choose_mode(cmd, option->action, arg);
                break;
            }
        } else if (arg[1] != '-' && names_something(arg)) {
            cmd.words.emplace_back(arg);
        } else if (cmd.unknown_option.empty()) {
            cmd.unknown_option = arg;
        }
    }
}

// True when the argument is a switch word: it begins with "/" and names
// nothing. So an absolute path is a name, whatever its folders are called.
bool is_switch_word(const std::string& arg) {
    return !arg.empty() && arg[0] == '/' && !names_something(arg);
}

// Splits the words: those before the first switch word are the input names;
// from it on, the switch words are joined, each followed by one blank, into
// joined_args, and every other word is a stray word.
void split_words(CommandLine& cmd) {
    g_run.joined_args.clear();
    bool switches_seen = false;
    for (const std::string& word : cmd.words) {
        if (is_switch_word(word)) {
            switches_seen = true;
            g_run.joined_args += word;
            g_run.joined_args += ' ';
        } else if (switches_seen) {
            cmd.stray_words.push_back(word);
        } else {
            cmd.input_names.push_back(word);
        }
    }
}

// Hands every token of joined_args (cut at "/" and blanks) to setSwitches.
void apply_switches() {
    const std::string& text = g_run.joined_args;
    std::string token;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == '/' || text[i] == ' ')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != '/' && text[i] != ' ') {
            ++i;
        }
        if (i > start) {
            token.assign(text, start, i - start);
            setSwitches(token);
        }
    }
}

void show_usage() {
    say(msg::usage_version, msg::version_text, msg::version_date_text);
    for (const char* line : msg::usage_lines) {
        say("%s", line);
    }
}

// Asks the yes/no question. True when the run may go on; `exit_code` is set
// when it may not.
bool confirm(int& exit_code) {
    for (const char* line : msg::confirm_lines) {
        say("%s", line);
    }
    if (g_settings.AssumeYes != 0) {
        return true; // answered "y" without waiting, terminal or not
    }
    if (!console_available()) {
        say("%s", msg::no_terminal);
        std::fflush(stdout);
        exit_code = exit_usage_or_abort;
        return false;
    }
    const int key = console_getch();
    if (key != 'y' && key != 'Y') {
        exit_code = exit_ok;
        return false;
    }
    return true;
}

// The exit code of a run that got through its dispatch: without AssumeYes
// always 0, whatever the jobs reported; under it 2 when any failure of the
// input or of a job was reported.
int completed_exit_code() {
    if (g_settings.AssumeYes != 0 && g_run.job_failures > 0) {
        return exit_job_failed;
    }
    return exit_ok;
}

// The two lines that report a name of no recognised form; a failure of the
// input.
void report_invalid_name() {
    say("%s", msg::invalid_input);
    say("%s", msg::no_processing);
    ++g_run.job_failures;
}

// Prints the message about an unknown option on standard error.
int refuse_unknown_option(const std::string& option) {
    std::fprintf(stderr, msg::unknown_option, option.c_str());
    std::fprintf(stderr, "%s", msg::unknown_option_hint);
    std::fflush(stderr);
    return exit_bad_option;
}

// Prints the message about two modes that cannot go together on standard
// error.
int refuse_conflicting_modes(const CommandLine& cmd) {
    std::fprintf(stderr, msg::options_conflict, cmd.mode_option.c_str(),
                 cmd.conflicting_option.c_str());
    std::fflush(stderr);
    return exit_bad_option;
}

// The switches, then --keep-line-ends, over the settings file's values.
void apply_command_line(CommandLine& cmd) {
    split_words(cmd);
    apply_switches();
    if (cmd.keep_line_ends) {
        g_settings.KeepLineEnds = 1;
    }
}

// Every input name dispatched in order, then every stray word reported as an
// invalid name. Several names are one set, as a wildcard is: a failing file
// is a reported skip, not the end of the run.
void dispatch_all(const CommandLine& cmd) {
    if (cmd.input_names.size() > 1) {
        g_job.multi_file_mode = 1;
    }
    for (const std::string& name : cmd.input_names) {
        dispatch(name);
    }
    for (std::size_t i = 0; i < cmd.stray_words.size(); ++i) {
        report_invalid_name();
    }
}

// The start of every mode that writes no file: messages to standard error
// alone and no pause; the settings file (a missing one said nowhere, as
// these modes run under hooks, CI and editors), the switches and
// --keep-line-ends. No screen clear, banner or stamp.
void start_batch(CommandLine& cmd) {
    g_run.batch_console = 1;
    loadInifile(false);
    apply_command_line(cmd);
}

// Check and diff: every input name dispatched as a run dispatches it, with
// the check as the source action, so that the same files are found by the
// same names; then every stray word reported as an invalid name. No name at
// all shows the usage screen (on standard error).
int run_check(CommandLine& cmd) {
    start_batch(cmd);
    if (cmd.input_names.empty()) {
        show_usage();
        std::fflush(stderr);
        return exit_check_failed;
    }
    g_check.show_diff = cmd.mode == RunMode::diff;
    if (g_check.show_diff) {
        std::fflush(stdout);
        standard_streams_binary(); // lines as stored, CRs included
    }
    g_inputs.source_action = &check_file;
    dispatch_all(cmd);
    std::fflush(stdout);
    if (g_run.job_failures > 0) {
        return exit_check_failed;
    }
    return g_check.would_change > 0 ? exit_check_changes : exit_check_clean;
}

// The filter: switches only; any name is refused before standard input is
// read.
int run_filter(CommandLine& cmd) {
    start_batch(cmd);
    if (!cmd.input_names.empty() || !cmd.stray_words.empty()) {
        for (const std::vector<std::string>* words : {&cmd.input_names, &cmd.stray_words}) {
            for (const std::string& word : *words) {
                say(msg::filter_takes_no_name, word.c_str());
            }
        }
        return exit_filter_failed;
    }
    return filter_standard_input() ? exit_filter_done : exit_filter_failed;
}

} // namespace

// The extension starts at the first "." of the name's last component.
void dispatch(const std::string& input_name) {
    const std::size_t dot = extension_pos(input_name);
    if (dot == std::string::npos) {
        process_source(input_name);
        return;
    }
    if (wildcard_dot(input_name) != std::string::npos) {
        process_wildcard(input_name);
        return;
    }
    const std::string extension = input_name.substr(dot);
    if (extension == ".vbg") {
        process_group(input_name);
    } else if (extension == ".vbp") {
        process_project(input_name);
    } else if (equals_any(extension, {".frm", ".cls", ".bas"})) {
        process_source(input_name);
    } else {
        report_invalid_name();
    }
}

// Options are dealt with before anything else: no screen clear, no settings
// file. A mode that writes no file then goes its own way (run_check,
// run_filter). Otherwise the run: every input name dispatched in order
// within one run (one confirmation, one Restore.bat, one completion), then
// every stray word reported as an invalid name.
int run_main(int argc, char** argv) {
    CommandLine cmd;
    read_options(argc, argv, cmd);
    if (!cmd.unknown_option.empty()) {
        return refuse_unknown_option(cmd.unknown_option);
    }
    if (cmd.action == OptionAction::help) {
        show_usage();
        std::fflush(stdout);
        return exit_ok;
    }
    if (cmd.action == OptionAction::version) {
        std::printf("%s\n", version_line().c_str());
        std::fflush(stdout);
        return exit_ok;
    }
    if (!cmd.conflicting_option.empty()) {
        return refuse_conflicting_modes(cmd);
    }
    if (cmd.mode == RunMode::check || cmd.mode == RunMode::diff) {
        return run_check(cmd);
    }
    if (cmd.mode == RunMode::filter) {
        return run_filter(cmd);
    }
    console_clear();
    loadInifile();
    apply_command_line(cmd);
    show_banner();
    if (!build_stamps()) {
        std::fflush(stdout);
        return exit_usage_or_abort;
    }
    const bool usage_asked =
        cmd.words.size() == 1 && std::strncmp(cmd.words[0].c_str(), "/?", 2) == 0;
    if (cmd.input_names.empty() || usage_asked) {
        show_usage();
        pause();
        return exit_usage_or_abort;
    }
    int exit_code = exit_ok;
    if (!confirm(exit_code)) {
        return exit_code;
    }
    console_clear();
    show_banner();
    g_run.mirror_output = stdout_is_terminal() ? 0 : 1;
    console_clear();
    show_banner_titled(msg::run_title);
    g_run.input_name = cmd.input_names.front();
    // Another run working in this folder is never disturbed: nothing has
    // been changed yet.
    if (lock_current_folder() != 0) {
        say("%s", msg::program_aborted);
        pause();
        std::fflush(stdout);
        return g_settings.AssumeYes != 0 ? exit_job_failed : exit_usage_or_abort;
    }
    if (create_restore_script() != 0) {
        release_folder_locks();
        pause();
        return exit_usage_or_abort;
    }
    dispatch_all(cmd);
    close_restore_script();
    log_close_at_exit();
    // Before the last pause, so that a run left at it holds no folder.
    release_folder_locks();
    say("%s", msg::completed);
    say("%s", msg::copyright);
    pause();
    std::fflush(stdout);
    return completed_exit_code();
}

} // namespace trevox
