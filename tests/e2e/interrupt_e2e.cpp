// Runs over a few hundred files stopped at many instants, by SIGKILL and by
// Ctrl-C typed on the terminal (at the question, at a pause, in the middle of
// the work). Whatever the instant, every source holds either its original
// bytes or its complete reformatted text, every changed source has a complete
// backup and its Copy line in Restore.bat, carrying out those Copy lines
// brings back every original, and Ctrl-C leaves the terminal's settings as
// they were.
#include "harness.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {
namespace {

constexpr int kFiles = 300;
#if defined(TREVOX_E2E_SANITIZED)
constexpr int kInstantsPerMode = 8; // the sanitized binary is several times slower
#else
constexpr int kInstantsPerMode = 14;
#endif
// Under Wine every run starts several times slower: fewer instants keep the
// suite short there.
constexpr int kInstantsUnderWine = 4;

int instants_per_mode() {
    return under_wine() ? kInstantsUnderWine : kInstantsPerMode;
}

// A deterministic pseudo-random sequence for the generated sources.
struct Rng {
    unsigned long long state;
    unsigned next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    }
    unsigned below(unsigned n) { return next() % n; }
};

const char* const kExtensions[] = {".bas", ".cls", ".frm"};

std::string source_name(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "M%03d%s", i, kExtensions[i % 3]);
    return name;
}

// A source of some hundred lines, every one of them indented (so the text
// always changes), with declarations, comments and continued statements, and
// no Option Explicit (only the run's first one would be stamped).
std::string make_source(int index) {
    Rng r{static_cast<unsigned long long>(index) * 7919 + 1};
    std::string s = "Attribute VB_Name = \"M" + std::to_string(index) + "\"\r\n";
    const int procs = 6 + static_cast<int>(r.below(6));
    for (int p = 0; p < procs; ++p) {
        s += "    Public Sub Proc" + std::to_string(p) + "(ByVal a   As Long)\r\n";
        const int lines = 10 + static_cast<int>(r.below(30));
        for (int k = 0; k < lines; ++k) {
            const std::string ind(4 + 4 * r.below(3), ' ');
            switch (r.below(5)) {
            case 0:
                s += ind + "Dim v" + std::to_string(k) + "     As String   ' note " +
                     std::to_string(index) + "\r\n";
                break;
            case 1:
                s += ind + "x = Foo(a, _\r\n" + ind + "    b, _\r\n" + ind + "    c)\r\n";
                break;
            case 2:
                s += ind + "' a comment line " + std::to_string(k) + "\r\n";
                break;
            case 3:
                s += "\t" + ind + "Call Bar(\"text " + std::to_string(k) + "\")\r\n";
                break;
            default:
                s += ind + "total = total + " + std::to_string(r.below(1000)) + "\r\n";
                break;
            }
        }
        s += "    End Sub\r\n\r\n";
    }
    return s;
}

struct Tree {
    std::vector<std::string> names;
    std::map<std::string, std::string> original;
    std::map<std::string, std::string> reformatted;
};

void write_sources(const Tree& t, const std::string& dir) {
    for (const std::string& n : t.names) {
        write_file(dir + "/" + n, t.original.at(n));
    }
}

RunOptions options_for(const std::string& dir, bool join) {
    RunOptions o;
    o.cwd = dir;
    o.args = {"*.*"};
    if (join) {
        o.args.push_back("/s");
    }
    o.timeout_ms = 60000;
    return o;
}

// The sources and their text after an uninterrupted run; `duration_us` gets
// the length of that run.
Tree reference_tree(bool join, long long& duration_us) {
    Tree t;
    for (int i = 0; i < kFiles; ++i) {
        const std::string n = source_name(i);
        t.names.push_back(n);
        t.original[n] = make_source(i);
    }
    ScratchDir dir;
    write_sources(t, dir.path);
    const RunResult r = run_trevox(options_for(dir.path, join));
    EXPECT_EQ(r.exit_code, 0) << r.terminal;
    duration_us = r.confirmed_to_exit_us;
    for (const std::string& n : t.names) {
        t.reformatted[n] = read_file(dir / n);
        EXPECT_NE(t.reformatted[n], t.original[n]) << n;
    }
    return t;
}

// Ctrl-C ended the run. Natively it is SIGINT. A Windows program gets the
// console's Ctrl-C event, whose default handler ends the process (with exit
// code 0 under Wine 8, STATUS_CONTROL_C_EXIT on Windows, of which an exit
// status keeps the low byte); a run that was not ended would wait at its
// final pause, which is not answered once the Ctrl-C was typed, and time out.
void check_ended_by_ctrl_c(const RunResult& r, const std::string& what) {
    EXPECT_FALSE(r.timed_out) << what;
    if (under_wine()) {
        constexpr int kControlCExitLowByte = 0x3A;
        EXPECT_EQ(r.signal, 0) << what;
        EXPECT_TRUE(r.exit_code == 0 || r.exit_code == kControlCExitLowByte)
            << what << ": exit code " << r.exit_code;
    } else {
        EXPECT_EQ(r.signal, SIGINT) << what << "\n" << r.terminal;
    }
}

// Line editing, echo and signals are on again after a Ctrl-C.
void check_terminal_restored(const RunResult& r, const std::string& what) {
    const unsigned long kept = ICANON | ECHO | ISIG;
    EXPECT_NE(r.terminal_lflag_before & ICANON, 0U);
    EXPECT_EQ(r.terminal_lflag_after & kept, r.terminal_lflag_before & kept) << what;
}

// The (backup, source) pairs of the complete Copy lines of Restore.bat.
std::vector<std::pair<std::string, std::string>> copy_lines(const std::string& bat) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t pos = 0;
    for (std::size_t end = bat.find("\r\n", pos); end != std::string::npos;
         pos = end + 2, end = bat.find("\r\n", pos)) {
        const std::string line = bat.substr(pos, end - pos);
        if (line.rfind("Copy  ", 0) != 0) {
            continue;
        }
        std::istringstream words(line);
        std::string copy;
        std::string backup;
        std::string source;
        words >> copy >> backup >> source;
        pairs.emplace_back(backup, source);
    }
    return pairs;
}

// The promise, checked on the folder of a stopped run. Returns how many
// sources had been reformatted.
int check_stopped_run(const Tree& t, const std::string& dir, const std::string& what) {
    const auto pairs = copy_lines(read_file(dir + "/Restore.bat"));
    std::map<std::string, std::string> entry_of;
    for (const auto& [backup, source] : pairs) {
        entry_of[source] = backup;
    }
    const std::string sh = read_file(dir + "/Restore.sh");
    int changed = 0;
    for (const std::string& n : t.names) {
        const std::string now = read_file(dir + "/" + n);
        if (now == t.original.at(n)) {
            continue;
        }
        ++changed;
        EXPECT_EQ(now, t.reformatted.at(n)) << what << ": " << n << " is neither old nor new";
        const auto e = entry_of.find(n);
        if (e == entry_of.end()) {
            ADD_FAILURE() << what << ": " << n << " changed without its Copy line";
            continue;
        }
        EXPECT_EQ(read_file(dir + "/" + e->second), t.original.at(n))
            << what << ": incomplete backup of " << n;
        if (!under_wine()) { // Restore.sh is written on POSIX only
            EXPECT_NE(sh.find("cp -p -- '" + e->second + "' '" + n + "'\n"), std::string::npos)
                << what << ": " << n << " changed without its line in Restore.sh";
        }
    }
    // Carry out the Copy lines, in order: every original comes back.
    for (const auto& [backup, source] : pairs) {
        if (!exists(dir + "/" + backup)) {
            ADD_FAILURE() << what << ": Restore.bat names a missing backup " << backup;
            continue;
        }
        write_file(dir + "/" + source, read_file(dir + "/" + backup));
    }
    for (const std::string& n : t.names) {
        EXPECT_EQ(read_file(dir + "/" + n), t.original.at(n))
            << what << ": " << n << " not restored";
    }
    return changed;
}

std::string backup_name(const std::string& source) {
    const std::string ext = source.substr(source.find('.'));
    return source.substr(0, source.find('.')) + (ext == ".bas"   ? ".bkb"
                                                 : ext == ".cls" ? ".bkc"
                                                                 : ".bkf");
}

// Stops runs at many instants and checks each. An instant is set by the
// run's progress, so that the instants spread over the run whatever the
// machine's speed: once the backup of source `k` exists (sources go in name
// order, so every source before it has been done), then a short delay that
// puts the stop at a different point inside the work on a source.
void stop_at_many_instants(bool join, bool ctrl_c) {
    long long duration_us = 0;
    const Tree t = reference_tree(join, duration_us);
    const long long per_file_us = std::max(1LL, duration_us / kFiles);
    int instants = 0;
    const int instants_wanted = instants_per_mode();
    for (int i = 0; i < instants_wanted; ++i) {
        const int k = 1 + i * (kFiles - 2) / instants_wanted;
        const long long delay = per_file_us * (i % 5) / 2;
        ScratchDir dir;
        write_sources(t, dir.path);
        RunOptions o = options_for(dir.path, join);
        const std::string mark = dir / backup_name(t.names[static_cast<std::size_t>(k)]);
        o.stop_when = [mark](const RunResult&) { return exists(mark); };
        o.stop_after_us = delay;
        o.stop_with_ctrl_c = ctrl_c;
        const RunResult r = run_trevox(o);
        const std::string what = std::string(ctrl_c ? "Ctrl-C" : "SIGKILL") + " " +
                                 std::to_string(delay) + " us after backup " + std::to_string(k) +
                                 (join ? " with /s" : "");
        ASSERT_FALSE(r.timed_out) << what;
        if (r.stop_sent) {
            ++instants;
            if (ctrl_c) {
                check_ended_by_ctrl_c(r, what);
            } else {
                EXPECT_EQ(r.signal, SIGKILL) << what << "\n" << r.terminal;
            }
        }
        if (ctrl_c) {
            check_terminal_restored(r, what);
        }
        const int changed = check_stopped_run(t, dir.path, what);
        EXPECT_GE(changed, k) << what << ": the sources before the stop were done";
    }
    // The run's final pause, waiting for a key in single-key mode: Ctrl-C
    // there must put the line editing and echo back.
    if (ctrl_c) {
        ScratchDir dir;
        write_sources(t, dir.path);
        RunOptions o = options_for(dir.path, join);
        o.pause_key = 0;
        o.stop_when = [](const RunResult& now) { return now.pauses > 0; };
        o.stop_after_us = 0;
        o.stop_with_ctrl_c = true;
        const RunResult r = run_trevox(o);
        EXPECT_TRUE(r.stop_sent);
        check_ended_by_ctrl_c(r, "Ctrl-C at the final pause");
        check_terminal_restored(r, "Ctrl-C at the final pause");
        EXPECT_EQ(check_stopped_run(t, dir.path, "Ctrl-C at the final pause"), kFiles);
        ++instants;
    }
    std::printf("%d runs stopped %s%s\n", instants, ctrl_c ? "by Ctrl-C" : "by SIGKILL",
                join ? " with /s" : "");
}

TEST(Interrupt, KilledAtManyInstants) {
    stop_at_many_instants(false, false);
}

TEST(Interrupt, KilledAtManyInstantsWhileJoining) {
    stop_at_many_instants(true, false);
}

TEST(Interrupt, CtrlCAtManyInstantsRestoresTheTerminal) {
    stop_at_many_instants(false, true);
}

// Ctrl-C as the answer to the question changes nothing; Ctrl-C at the pause
// after a file (verbose mode) ends the run there: the files before it are
// done and can be restored, the ones after it are untouched.
TEST(Interrupt, CtrlCAtTheQuestionAndAtAPause) {
    const std::string sources[] = {"A.bas", "B.bas", "C.bas"};
    for (const bool at_pause : {false, true}) {
        const std::string what = at_pause ? "Ctrl-C at a pause" : "Ctrl-C at the question";
        ScratchDir dir;
        for (const std::string& n : sources) {
            write_file(dir / n, "  " + n + " = 1\r\n");
        }
        RunOptions o;
        o.cwd = dir.path;
        o.args = {"*.bas", "/v"};
        if (at_pause) {
            o.pause_key = 0;
            o.stop_when = [](const RunResult& now) { return now.pauses > 0; };
            o.stop_after_us = 0;
            o.stop_with_ctrl_c = true;
        } else {
            o.confirm_key = '\x03';
        }
        const RunResult r = run_trevox(o);
        check_ended_by_ctrl_c(r, what);
        check_terminal_restored(r, what);
        EXPECT_EQ(r.confirms, 1) << what;
        EXPECT_EQ(r.pauses, at_pause ? 1 : 0) << what;
        EXPECT_EQ(r.terminal.find("Completed"), std::string::npos) << what;
        EXPECT_EQ(exists(dir / "Restore.bat"), at_pause) << what;
        for (const std::string& n : sources) {
            const bool done = at_pause && n == "A.bas";
            EXPECT_EQ(read_file(dir / n), (done ? "" : "  ") + n + " = 1\r\n") << what;
            EXPECT_FALSE(exists(dir / (n.substr(0, 1) + ".tmp"))) << what << ": " << n;
        }
        if (at_pause) {
            EXPECT_EQ(read_file(dir / "A.bkb"), "  A.bas = 1\r\n");
            EXPECT_NE(read_file(dir / "Restore.bat").find("Copy  A.bkb"), std::string::npos);
        }
    }
}

} // namespace
} // namespace e2e
