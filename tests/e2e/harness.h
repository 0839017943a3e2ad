// Runs the real trevox binary in a pseudo-terminal that is its controlling
// terminal, typing one key at each prompt, with standard output on the
// terminal or redirected to a file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct RunResult;

struct RunOptions {
    std::vector<std::string> args; // arguments after the program name
    std::string cwd;               // working directory of the run
    char confirm_key = 'y';        // typed at the yes/no question
    char pause_key = '\r';         // typed at each "Press Enter" pause; 0: none
    std::string first_pause_keys;  // when set, typed all at once at the first pause instead
    bool settings_file = true;     // an empty settings file in the second place
    bool stdout_to_file = false;   // standard output redirected to a file
    bool with_terminal = true;     // false: no controlling terminal at all
    // When set, standard input is a pipe that gives these bytes and then its
    // end (else /dev/null, or the terminal under Wine).
    std::optional<std::string> stdin_bytes;
    std::vector<std::pair<std::string, std::string>> env; // extra environment
    std::string source_date_epoch = "953024730"; // 2000-03-14 09:05:30 UTC; "" leaves it unset
    int timeout_ms = 20000;
    // Largest file the run may write (RLIMIT_FSIZE, SIGXFSZ ignored, so a
    // write past it fails with EFBIG); negative: no limit.
    long long file_size_limit = -1;
    // Stops the run this many microseconds after the confirmation key was
    // typed (after the start when none is typed): Ctrl-C typed on its
    // terminal, or SIGKILL. Negative: the run is not stopped.
    long long stop_after_us = -1;
    bool stop_with_ctrl_c = false;
    // When set, the stop's delay counts from the first look after the
    // confirmation at which this holds (looks come every few milliseconds).
    std::function<bool(const RunResult&)> stop_when;
};

struct RunResult {
    int exit_code = -1; // -1 when it did not exit normally
    bool timed_out = false;
    std::string terminal;                // everything written to the terminal
    std::string out;                     // standard output when redirected
    std::string out_bytes;               // the same exactly as written (no text mode undone)
    std::string err;                     // standard error
    int confirms = 0;                    // yes/no questions seen
    int pauses = 0;                      // pauses seen
    int signal = 0;                      // the signal that ended the run, 0 when it exited
    bool stop_sent = false;              // the stop of RunOptions was delivered
    long long confirmed_to_exit_us = -1; // from typing the confirmation key to the end
    // Local mode flags of the terminal before the run and after it ended.
    unsigned long terminal_lflag_before = 0;
    unsigned long terminal_lflag_after = 0;
};

RunResult run_trevox(const RunOptions& options);

// The binary under test: TREVOX_E2E_BINARY when set, else the native build.
// TREVOX_E2E_LAUNCHER, when set (e.g. "wine"), is the program that runs it.
const std::string& binary_under_test();
const std::string& launcher();
// True when the binary under test is the Windows build run under Wine. What
// differs there: standard output in text mode (CR LF, turned back into "\n"
// by run_trevox), the terminal drawn by Wine's console (turned back into
// text), directories shown the Windows way, and the settings file's second
// place inside the Wine prefix.
bool under_wine();
// A directory the way the program shows it: as it is natively; under Wine
// on drive Z: with "\" separators.
std::string shown_dir(const std::string& path);
// The folder the program names as the settings file's second place for a
// run in `cwd`, as it shows it.
std::string second_place_folder(const std::string& cwd);
// The Wine prefix the runs use ($WINEPREFIX, else ~/.wine).
std::string wine_prefix();
// Text drawn by Wine's console on a terminal, as plain text: cursor and
// erase sequences dropped, cursor moves to the right turned into blanks.
std::string console_text(const std::string& drawn);

// A fresh scratch directory, removed by the destructor.
struct ScratchDir {
    std::string path;
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
// Copies the bundled examples into `dir` (files only, flat tree kept).
void copy_examples(const std::string& dir);
// Target.bas, holding a text a run reformats, and the symbolic links
// Alias.bas and Zlink.bas to it, the one named before it and the one after
// it in a wildcard's order. Gives back Target.bas's text.
std::string plant_one_module_under_three_names(const ScratchDir& dir);
// Runs the restore script in `dir` (it waits for Enter first): Restore.sh,
// or under Wine Restore.bat through the command interpreter. True when it
// succeeded.
bool run_restore_sh(const std::string& dir);
// A run that asks nothing and shows nothing on the terminal (--help, the
// modes): no settings file anywhere, standard output to a file; fails the
// test when it asks or pauses, or, natively, draws on the terminal.
RunResult run_args(const std::string& dir, const std::vector<std::string>& args,
                   bool with_terminal = true);
// Unix line ends to CR LF.
std::string crlf(const std::string& text);
// What the terminal showed, without CRs and screen clears.
std::string screen(const RunResult& r);

// `block` appears on the screen exactly as given.
#define EXPECT_SHOWN(r, block)                                                                     \
    EXPECT_NE(::e2e::screen(r).find(block), std::string::npos) << "expected:\n"                    \
                                                               << (block) << "\nscreen:\n"         \
                                                               << ::e2e::screen(r)

// Number of non-overlapping occurrences of `needle` in `hay`.
int count(const std::string& hay, const std::string& needle);

} // namespace e2e
