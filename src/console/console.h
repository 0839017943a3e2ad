// Console conventions shared by every subsystem: message output, the keyboard
// pause, the banner block, and the run's stamps.
#pragma once

#include <string>

namespace trevox {

// State of the run flow and the console, one process-wide instance.
struct RunState {
    int mirror_output = 0; // say() also writes to standard error
    // The modes that write no file (check, diff, filter): say() writes to
    // standard error alone, which leaves standard output to their results,
    // and pause() neither shows its line nor waits.
    int batch_console = 0;
    std::string joined_args;        // every switch word followed by one blank
    std::string input_name;         // the run's first input name
    std::string date_stamp;         // mm-dd-yy
    std::string time_stamp;         // hh:mm:ss
    std::string stamp_tail;         // date " at " time "\n"
    std::string reformat_stamp;     // comment appended to Option Explicit
    std::string restore_stamp_line; // creation line of Restore.bat
    std::string log_stamp_line;     // creation line of Trevox.log
    std::string cwd;                // fetched anew for each banner
    // Outcome bookkeeping for scripted runs: a job failure was reported.
    int job_failures = 0;
};
extern RunState g_run;

// Resets the run state to its start values (tests).
void run_state_reset();

// Formatted message to standard output and, when mirroring, to standard
// error; in the batch console to standard error alone. Callers pass whole
// lines. Always returns 0.
int say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formatted message to standard output alone, never mirrored; in the batch
// console to standard error alone. Always returns 0.
int say_unmirrored(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "Press Enter to continue", one key, then every key typed ahead is dropped.
// Under AssumeYes only the line: nothing is read, nothing waits. In the
// batch console nothing at all.
void pause();

// The banner block: version, title, credit, contact, verbose line, working
// directory, empty line. `title` is the whole title line.
void show_banner();
void show_banner_titled(const char* title_line);

// Builds the date and time stamps from the clock or SOURCE_DATE_EPOCH.
// False (after its message) when SOURCE_DATE_EPOCH holds anything but digits.
bool build_stamps();

} // namespace trevox
