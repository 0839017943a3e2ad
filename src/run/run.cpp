#include "run/run.h"

#include "console/console.h"
#include "console/messages.h"
#include "inputs/inputs.h"
#include "jobs/backup.h"
#include "jobs/job.h"
#include "jobs/locks.h"
#include "jobs/names.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace trevox {

namespace {

// Exit codes of the run.
constexpr int exit_ok = 0;
constexpr int exit_usage_or_abort = 1;
// Under AssumeYes only: the run reported a failure of the input or of a job.
constexpr int exit_job_failed = 2;

// Joins the arguments, each followed by one blank, and hands every token
// after the first "/" to setSwitches.
void apply_switches(int argc, char** argv) {
    g_run.joined_args.clear();
    for (int i = 1; i < argc; ++i) {
        g_run.joined_args += argv[i];
        g_run.joined_args += ' ';
    }
    const std::size_t slash = g_run.joined_args.find('/');
    if (slash == std::string::npos) {
        return;
    }
    const std::string& text = g_run.joined_args;
    std::string token;
    std::size_t i = slash;
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

bool equals_any(const std::string& text, std::initializer_list<const char*> choices) {
    return std::any_of(choices.begin(), choices.end(),
                       [&text](const char* choice) { return text == choice; });
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

} // namespace

// The extension starts at the first "." of the name's last component.
void dispatch(const std::string& input_name) {
    const std::size_t dot = extension_pos(input_name);
    if (dot == std::string::npos) {
        reformat_file(input_name);
        return;
    }
    const std::size_t component = input_name.find_last_of("\\/");
    const bool has_char_before = dot > 0 && (component == std::string::npos || dot > component + 1);
    if (has_char_before) {
        const std::string pattern = input_name.substr(dot - 1);
        if (equals_any(pattern, {"*.*", "*.frm", "*.cls", "*.bas"})) {
            process_wildcard(input_name);
            return;
        }
    }
    const std::string extension = input_name.substr(dot);
    if (extension == ".vbg") {
        process_group(input_name);
    } else if (extension == ".vbp") {
        process_project(input_name);
    } else if (equals_any(extension, {".frm", ".cls", ".bas"})) {
        reformat_file(input_name);
    } else {
        say("%s", msg::invalid_input);
        say("%s", msg::no_processing);
        ++g_run.job_failures;
    }
}

int run_main(int argc, char** argv) {
    console_clear();
    loadInifile();
    if (argc > 1) {
        apply_switches(argc, argv);
    }
    show_banner();
    if (!build_stamps()) {
        std::fflush(stdout);
        return exit_usage_or_abort;
    }
    if (argc <= 1 || (argc == 2 && std::strncmp(argv[1], "/?", 2) == 0)) {
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
    g_run.input_name = argv[1];
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
    dispatch(g_run.input_name);
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
