// Runs at the same time, end to end: two runs in one folder, two projects
// over one shared folder, started together again and again, never lose or mix
// code; a run that finds a folder busy says so and changes nothing there; a
// run killed while it holds its folders leaves no lock behind.
#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace e2e {
namespace {

namespace fs = std::filesystem;

#define TVX "Trevox==>  "

using Sources = std::vector<std::pair<std::string, std::string>>;

// `count` modules named `prefix`00.bas and on, of `lines` indented
// declarations each: enough for a run over them to last a while.
Sources make_sources(const std::string& prefix, int count, int lines) {
    Sources sources;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%02d.bas", prefix.c_str(), i);
        std::string text;
        for (int k = 0; k < lines; ++k) {
            text += "  Dim v" + std::to_string(i) + "_" + std::to_string(k) + "   As Long\r\n";
        }
        sources.emplace_back(name, text);
    }
    return sources;
}

// What the run makes of one of those texts.
std::string reformatted(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at) + 1;
        std::string line = text.substr(at, end - at);
        line.erase(0, line.find_first_not_of(" \t"));
        const std::size_t gap = line.find("   As ");
        if (gap != std::string::npos) {
            line.erase(gap, 2);
        }
        out += line;
        at = end;
    }
    return out;
}

// The file `name` in the folder `dir`.
std::string in(const std::string& dir, const std::string& name) {
    std::string path = dir;
    path += '/';
    path += name;
    return path;
}

void write_sources(const std::string& dir, const Sources& sources) {
    for (const auto& [name, text] : sources) {
        write_file(in(dir, name), text);
    }
    write_file(dir + "/Trevox.INI", ""); // found first: no second place is looked at
}

// Starts a run with /y and without a terminal in `cwd`, standard output into
// `out_path` (standard error, where the messages are mirrored, goes nowhere);
// does not wait for it.
pid_t start_run(const std::string& cwd, std::vector<std::string> args,
                const std::string& out_path) {
    args.emplace_back("/y");
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    setsid();
    const int in = open("/dev/null", O_RDWR);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || chdir(cwd.c_str()) != 0) {
        _exit(127);
    }
    dup2(in, 0);
    dup2(out, 1);
    dup2(in, 2);
    setenv("SOURCE_DATE_EPOCH", "953024730", 1);
    std::vector<char*> argv;
    if (under_wine()) {
        argv.push_back(const_cast<char*>(launcher().c_str()));
    }
    argv.push_back(const_cast<char*>(binary_under_test().c_str()));
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

struct Finished {
    int exit_code = -1;
    std::string out; // what it wrote, "\n" line ends
};

// Waits for a run started by start_run.
Finished finish_run(pid_t pid, const std::string& out_path) {
    Finished f;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        f.exit_code = WEXITSTATUS(status);
    }
    for (const char c : read_file(out_path)) {
        if (c != '\r') {
            f.out += c;
        }
    }
    return f;
}

// Every file below `dir` with its bytes, hidden ones included, but for the
// harness's own.
std::map<std::string, std::string> tree_of(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string rel = fs::relative(entry.path(), dir).string();
        if (entry.is_regular_file() && rel.find(".e2e") == std::string::npos) {
            files[rel] = read_file(entry.path().string());
        }
    }
    return files;
}

std::string busy_line(const std::string& shown) {
    return TVX "Folder " + shown + " is in use by another Trevox run \n";
}

// Native runs over a folder last about 0.2 s; under Wine the start alone
// takes longer than that, so the runs are started together there.
int rounds() {
    return under_wine() ? 3 : 12;
}
// Rounds go on beyond rounds(), started together, until the runs have been
// seen to overlap at least once (a busy machine can keep them apart), up to
// this many in all.
int most_rounds() {
    return 4 * rounds();
}
bool another_round(int round, int refused) {
    return round < rounds() || (refused == 0 && round < most_rounds());
}
useconds_t delay_of_round(int round) {
    return under_wine() || round >= rounds() ? 0 : static_cast<useconds_t>((round % 6) * 15000);
}

TEST(Locks, TwoRunsInOneFolderNeverMix) {
    const Sources sources = make_sources("M", 30, 400);
    int refused = 0;
    for (int round = 0; another_round(round, refused); ++round) {
        ScratchDir dir;
        const std::string work = dir / "work";
        ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
        write_sources(work, sources);
        const pid_t first = start_run(work, {"*.bas"}, dir / "first.out");
        usleep(delay_of_round(round));
        const pid_t second = start_run(work, {"*.bas"}, dir / "second.out");
        const Finished a = finish_run(first, dir / "first.out");
        const Finished b = finish_run(second, dir / "second.out");
        const std::string busy = busy_line(shown_dir(work)) + TVX "Program aborted \n";
        int refused_now = 0;
        for (const Finished* f : {&a, &b}) {
            if (f->exit_code == 2 && f->out.find(busy) != std::string::npos) {
                ++refused_now;
            } else {
                EXPECT_EQ(f->exit_code, 0) << f->out;
            }
        }
        ASSERT_LE(refused_now, 1) << "round " << round;
        refused += refused_now;
        // Refused, the second run changed nothing: the backups hold the
        // originals. Else it came after the first, which it found done.
        for (const auto& [name, text] : sources) {
            const std::string backup = work + "/" + name.substr(0, 3) + ".bkb";
            EXPECT_TRUE(read_file(in(work, name)) == reformatted(text))
                << name << " round " << round;
            EXPECT_TRUE(read_file(backup) == (refused_now == 1 ? text : reformatted(text)))
                << name << " round " << round;
            EXPECT_FALSE(exists(work + "/" + name.substr(0, 3) + ".tmp"));
        }
        EXPECT_FALSE(exists(work + "/.trevox.lock"));
    }
    EXPECT_GT(refused, 0) << "the runs never overlapped: nothing was shown";
}

TEST(Locks, TwoProjectsOverOneSharedFolderNeverMix) {
    const Sources own1 = make_sources("A", 10, 400);
    const Sources own2 = make_sources("B", 10, 400);
    const Sources shared = make_sources("S", 5, 400);
    const auto project = [&shared](const Sources& own) {
        std::string text;
        for (std::size_t i = 0; i < own.size(); ++i) {
            text += "Module=M" + std::to_string(i) + "; " + own[i].first + "\r\n";
            if (i == 2) {
                for (const auto& [name, bytes] : shared) {
                    text += "Module=" + name.substr(0, 3) + "; ..\\shared\\" + name + "\r\n";
                }
            }
        }
        return text;
    };
    int refused = 0;
    for (int round = 0; another_round(round, refused); ++round) {
        ScratchDir dir;
        for (const char* sub : {"p1", "p2", "shared"}) {
            ASSERT_EQ(mkdir((dir / sub).c_str(), 0755), 0);
        }
        write_sources(dir / "p1", own1);
        write_sources(dir / "p2", own2);
        write_sources(dir / "shared", shared);
        write_file(dir / "p1/P.vbp", project(own1));
        write_file(dir / "p2/P.vbp", project(own2));
        const pid_t first = start_run(dir / "p1", {"P.vbp"}, dir / "first.out");
        usleep(delay_of_round(round));
        const pid_t second = start_run(dir / "p2", {"P.vbp"}, dir / "second.out");
        const Finished a = finish_run(first, dir / "first.out");
        const Finished b = finish_run(second, dir / "second.out");
        // A run that finds the shared folder busy reports the file and goes
        // on with the rest of its project; the other run holds the folder
        // until it ends, so the first `skipped` shared files of one run are
        // skipped, and it does the rest once the other run is done.
        const std::string busy = busy_line("..\\shared") + TVX "Program will continue \n\n";
        int skipped = 0;
        int refused_runs = 0;
        for (const Finished* f : {&a, &b}) {
            const int reports = count(f->out, busy);
            EXPECT_EQ(f->exit_code, reports > 0 ? 2 : 0) << f->out;
            skipped += reports;
            refused_runs += reports > 0 ? 1 : 0;
        }
        ASSERT_LE(refused_runs, 1) << "round " << round;
        refused += refused_runs;
        for (const auto& [folder, own] : {std::pair{"p1", &own1}, std::pair{"p2", &own2}}) {
            for (const auto& [name, text] : *own) {
                const std::string base = dir / folder + "/" + name.substr(0, 3);
                EXPECT_TRUE(read_file(base + ".bas") == reformatted(text)) << base;
                EXPECT_TRUE(read_file(base + ".bkb") == text) << base << " round " << round;
            }
        }
        for (std::size_t i = 0; i < shared.size(); ++i) {
            const auto& [name, text] = shared[i];
            const std::string base = dir / "shared/" + name.substr(0, 3);
            EXPECT_TRUE(read_file(base + ".bas") == reformatted(text)) << base;
            // Done by one run only: the backup holds the original; by both,
            // one after the other: the second found it reformatted.
            const bool once = static_cast<int>(i) < skipped;
            EXPECT_TRUE(read_file(base + ".bkb") == (once ? text : reformatted(text)))
                << base << " round " << round << " skipped " << skipped;
            EXPECT_FALSE(exists(base + ".tmp"));
        }
        for (const char* sub : {"p1", "p2", "shared"}) {
            EXPECT_FALSE(exists(dir / sub + "/.trevox.lock"));
        }
    }
    EXPECT_GT(refused, 0) << "the runs never overlapped: nothing was shown";
}

// A run held at its pause (/v) holds its folder: a second run there stops
// before it changes anything, a run elsewhere skips the file it would write
// beside; then the held run is killed, and a new run goes ahead.
TEST(Locks, BusyFolderIsLeftAloneAndAKilledRunLeavesNoLock) {
    ScratchDir dir;
    const std::string work = dir / "work";
    const std::string other = dir / "other";
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(other.c_str(), 0755), 0);
    const Sources sources = make_sources("W", 4, 20);
    write_sources(work, sources);
    write_file(other + "/Trevox.INI", "");
    write_file(other + "/O.bas", "  o = 1\r\n");
    write_file(other + "/P.vbp", "Module=W; ..\\work\\W03.bas\r\nModule=O; O.bas\r\n");

    bool asked = false;
    std::map<std::string, std::string> before;
    std::map<std::string, std::string> after;
    Finished same_folder;
    Finished elsewhere;
    RunOptions o;
    o.cwd = work;
    o.args = {"*.bas", "/v"};
    o.timeout_ms = 120000;
    o.stop_after_us = 0;
    o.stop_when = [&](const RunResult& held) {
        if (held.pauses < 1 || asked) {
            return asked;
        }
        asked = true; // the first file is done, the run waits at its pause
        before = tree_of(work);
        same_folder = finish_run(start_run(work, {"*.bas"}, dir / "same.out"), dir / "same.out");
        elsewhere = finish_run(start_run(other, {"P.vbp"}, dir / "other.out"), dir / "other.out");
        after = tree_of(work);
        return true;
    };
    const RunResult held = run_trevox(o);
    ASSERT_TRUE(asked) << screen(held);
    EXPECT_TRUE(held.stop_sent);
    EXPECT_EQ(held.signal, SIGKILL);

    EXPECT_EQ(same_folder.exit_code, 2) << same_folder.out;
    EXPECT_NE(same_folder.out.find(busy_line(shown_dir(work)) + TVX "Program aborted \n"),
              std::string::npos)
        << same_folder.out;
    EXPECT_EQ(elsewhere.exit_code, 2) << elsewhere.out;
    EXPECT_NE(elsewhere.out.find(busy_line("..\\work") + TVX "Program will continue \n\n"),
              std::string::npos)
        << elsewhere.out;
    EXPECT_EQ(read_file(other + "/O.bas"), "o = 1\r\n") << "the project goes on";
    EXPECT_TRUE(before == after) << "nothing in the busy folder changed";
    EXPECT_EQ(before.count("W00.bkb"), 1U);
    EXPECT_EQ(before.count("W03.bkb"), 0U);

    const RunResult next = [&work] {
        RunOptions n;
        n.cwd = work;
        n.args = {"*.bas"};
        return run_trevox(n);
    }();
    EXPECT_EQ(next.exit_code, 0) << screen(next);
    EXPECT_EQ(screen(next).find("in use"), std::string::npos) << screen(next);
    for (const auto& [name, text] : sources) {
        EXPECT_TRUE(read_file(in(work, name)) == reformatted(text)) << name;
    }
    EXPECT_FALSE(exists(work + "/.trevox.lock"));
}

} // namespace
} // namespace e2e
