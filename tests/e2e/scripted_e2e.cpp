// Scripted runs: /y answers the confirmation and never waits at a pause, with
// or without a terminal; its exit codes tell whether every file named by the
// input was reformatted. Also the benchmark's tree generator is deterministic.
#include "harness.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The sources of the examples group and their backup names.
const std::vector<std::pair<std::string, std::string>> kExampleSources = {
    {"MainForm.frm", "MainForm.bkf"}, {"About.frm", "About.bkf"},
    {"Customer.cls", "Customer.bkc"}, {"Stack.cls", "Stack.bkc"},
    {"Helpers.bas", "Helpers.bkb"},   {"TextTools.bas", "TextTools.bkb"},
};

// Every file of `dir` (names relative to it) with its bytes.
std::map<std::string, std::string> tree_of(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), dir).string()] = read_file(entry.path().string());
        }
    }
    return files;
}

// True when some line of `text` (CR LF or LF ends) starts with a blank or tab.
bool has_indented_line(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == ' ' || text[at] == '\t') {
            return true;
        }
        const std::size_t nl = text.find('\n', at);
        if (nl == std::string::npos) {
            break;
        }
        at = nl + 1;
    }
    return false;
}

// /y with no terminal at all reformats the whole examples group: every source
// gets its byte-exact backup and a restore entry, leading white space goes,
// and the exit code is 0. The pauses print their line and go on.
TEST(Scripted, AssumeYesWithoutTerminalReformatsTheExamples) {
    ScratchDir dir;
    copy_examples(dir.path);
    std::map<std::string, std::string> before;
    for (const auto& [source, backup] : kExampleSources) {
        before[source] = read_file(dir / source);
    }
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Demo.vbg", "/y"};
    o.with_terminal = false;
    RunResult r = run_trevox(o);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.confirms, 1) << "the question is printed as usual";
    EXPECT_EQ(r.pauses, 1) << "the final pause prints its line";
    EXPECT_EQ(r.out.find("needs a terminal"), std::string::npos);
    EXPECT_NE(r.out.find("Trevox==>  Trevox  Ver. 1.2a Completed \n"), std::string::npos);
    const std::string restore = read_file(dir / "Restore.bat");
    int changed = 0;
    for (const auto& [source, backup] : kExampleSources) {
        SCOPED_TRACE(source);
        EXPECT_EQ(read_file(dir / backup), before[source]);
        EXPECT_NE(restore.find(source), std::string::npos);
        EXPECT_FALSE(exists(dir / (source.substr(0, source.find('.')) + ".tmp")));
        const std::string after = read_file(dir / source);
        if (after != before[source]) {
            ++changed;
        }
        // Forms keep their designer header indented; the rest lose it all.
        if (source.find(".frm") == std::string::npos) {
            EXPECT_FALSE(has_indented_line(after));
        }
    }
    EXPECT_GT(changed, 0);
}

// Without /y and without a terminal nothing changes and the message names /y.
TEST(Scripted, NoTerminalMessageNamesTheSwitch) {
    ScratchDir dir;
    copy_examples(dir.path);
    const auto before = tree_of(dir.path);
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"Demo.vbg"};
    o.with_terminal = false;
    o.settings_file = false;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("/y"), std::string::npos) << r.out;
    auto after = tree_of(dir.path);
    after.erase(".e2e-stdout");
    after.erase(".e2e-stderr");
    EXPECT_EQ(after, before);
}

struct FailureCase {
    const char* what;
    std::function<void(const ScratchDir&)> setup;
    std::vector<std::string> args; // without /y
};

std::vector<FailureCase> failure_cases() {
    return {
        {"invalid input name",
         [](const ScratchDir& d) { write_file(d / "Notes.txt", "x\r\n"); },
         {"Notes.txt"}},
        {"name after the options",
         [](const ScratchDir& d) {
             write_file(d / "A.bas", "  x = 1\r\n");
             write_file(d / "B.bas", "  y = 1\r\n");
         },
         {"A.bas", "/b", "B.bas"}},
        {"missing name among several",
         [](const ScratchDir& d) {
             write_file(d / "A.bas", "  x = 1\r\n");
             write_file(d / "B.bas", "  y = 1\r\n");
         },
         {"A.bas", "Gone.bas", "B.bas"}},
        {"wildcard with no match",
         [](const ScratchDir& d) { write_file(d / "A.bas", "x\r\n"); },
         {"*.cls"}},
        {"missing project member",
         [](const ScratchDir& d) {
             write_file(d / "A.bas", "  x = 1\r\n");
             write_file(d / "App.vbp", "Module=A; A.bas\r\nModule=Gone; Gone.bas\r\n");
         },
         {"App.vbp"}},
        {"unopenable project", [](const ScratchDir&) {}, {"Gone.vbp"}},
        {"unopenable group", [](const ScratchDir&) {}, {"Gone.vbg"}},
        {"missing source", [](const ScratchDir&) {}, {"Gone.frm"}},
        {"read-only source",
         [](const ScratchDir& d) {
             write_file(d / "Form1.frm", "  x = 1\r\n");
             chmod((d / "Form1.frm").c_str(), 0444);
         },
         {"Form1.frm"}},
        {"read-only source in a wildcard",
         [](const ScratchDir& d) {
             write_file(d / "A.bas", "  x = 1\r\n");
             write_file(d / "B.bas", "y = 2\r\n");
             chmod((d / "B.bas").c_str(), 0444);
         },
         {"*.bas"}},
    };
}

// With /y each reported failure gives exit code 2, also when other files of
// the input were reformatted; without /y the code stays 0.
TEST(Scripted, ExitCodeTwoForEveryReportedFailureOnlyUnderAssumeYes) {
    for (const FailureCase& c : failure_cases()) {
        SCOPED_TRACE(c.what);
        {
            ScratchDir dir;
            c.setup(dir);
            RunOptions o;
            o.cwd = dir.path;
            o.args = c.args;
            o.args.push_back("/y");
            o.with_terminal = false;
            RunResult r = run_trevox(o);
            EXPECT_FALSE(r.timed_out);
            EXPECT_EQ(r.exit_code, 2) << r.out;
        }
        {
            ScratchDir dir;
            c.setup(dir);
            RunOptions o;
            o.cwd = dir.path;
            o.args = c.args;
            RunResult r = run_trevox(o);
            EXPECT_FALSE(r.timed_out);
            EXPECT_EQ(r.exit_code, 0) << r.terminal;
        }
    }
}

// Only job failures count: a settings record without "=" (reported), a
// log under /z, and unchanged files leave the exit code at 0.
TEST(Scripted, ExitCodeZeroWhenEveryFileWasReformatted) {
    ScratchDir dir;
    write_file(dir / "A.bas", "  x = 1\r\n");
    write_file(dir / "B.bas", "y = 2\r\n"); // already in shape: left as it is
    write_file(dir / "Trevox.INI", "[Trevox]\r\nRemoveComments\r\n");
    RunOptions o;
    o.cwd = dir.path;
    o.args = {"*.bas", "/y", "/z"};
    o.with_terminal = false;
    RunResult r = run_trevox(o);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("Invalid User Parameter Record"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(dir / "A.bas"), "x = 1\r\n");
    EXPECT_TRUE(exists(dir / "Trevox.log"));
}

// /y with /v or /l never waits: with no terminal, and with a terminal at which
// nobody answers anything (neither the question nor a pause). Failures add
// pauses of their own; they do not wait either.
TEST(Scripted, VerboseAndListNeverWaitUnderAssumeYes) {
    for (const char* mode : {"/v", "/l"}) {
        for (const bool terminal : {false, true}) {
            for (const bool with_failure : {false, true}) {
                SCOPED_TRACE(std::string(mode) + (terminal ? " terminal" : " no terminal") +
                             (with_failure ? " with a failure" : ""));
                ScratchDir dir;
                copy_examples(dir.path);
                if (with_failure) {
                    write_file(dir / "Lib.vbp", "Class=Gone; Gone.cls\r\nForm=About.frm\r\n");
                }
                RunOptions o;
                o.cwd = dir.path;
                o.args = {"Demo.vbg", "/y", mode};
                o.with_terminal = terminal;
                o.confirm_key = 0;
                o.pause_key = 0;
                o.timeout_ms = 15000;
                RunResult r = run_trevox(o);
                ASSERT_FALSE(r.timed_out) << r.terminal << r.out;
                EXPECT_EQ(r.exit_code, with_failure ? 2 : 0);
                const std::string& shown = terminal ? r.terminal : r.out;
                EXPECT_NE(shown.find("Completed"), std::string::npos);
                if (std::string(mode) == "/v") {
                    // A pause after each file, and the final one.
                    EXPECT_GE(r.pauses, with_failure ? 6 : 7);
                }
                EXPECT_NE(read_file(dir / "About.frm"), read_file(dir / "About.bkf"));
            }
        }
    }
}

// ---------------------------------------------------------------------------
// The benchmark's generator

// Runs gen_tree; its exit code.
int gen_tree(const std::vector<std::string>& args) {
    std::string command = TREVOX_GEN_TREE;
    for (const std::string& a : args) {
        command += " '" + a + "'";
    }
    command += " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(GenTree, SameSeedSameBytesOtherSeedOtherBytes) {
    ScratchDir dir;
    ASSERT_EQ(gen_tree({dir / "a", "40", "400000", "7"}), 0);
    ASSERT_EQ(gen_tree({dir / "b", "40", "400000", "7"}), 0);
    ASSERT_EQ(gen_tree({dir / "c", "40", "400000", "8"}), 0);
    const auto a = tree_of(dir / "a");
    const auto b = tree_of(dir / "b");
    const auto c = tree_of(dir / "c");
    EXPECT_EQ(a.size(), 42u) << "40 sources and the two projects";
    EXPECT_TRUE(a == b) << "same seed, same bytes";
    EXPECT_FALSE(a == c) << "another seed, another tree";
}

// The tree holds what the benchmark promises: forms with designer headers,
// classes and modules listed in the project (and in the second project with
// their names in capitals), CR LF line ends only, blanks and tabs, comments,
// continued lines, a line over 1,000 characters, and about the size asked for.
TEST(GenTree, TreeHoldsEveryKindOfText) {
    ScratchDir dir;
    ASSERT_EQ(gen_tree({dir / "t", "60", "1200000", "3"}), 0);
    const auto tree = tree_of(dir / "t");
    const std::string project = tree.at("Bench.vbp");
    const std::string case_project = tree.at("BenchCase.vbp");
    std::size_t total = 0;
    int forms = 0;
    int classes = 0;
    int modules = 0;
    bool tabs = false;
    bool comments = false;
    bool continued = false;
    std::size_t longest = 0;
    for (const auto& [name, text] : tree) {
        if (name == "Bench.vbp" || name == "BenchCase.vbp") {
            continue;
        }
        SCOPED_TRACE(name);
        total += text.size();
        const std::string ext = name.substr(name.find('.'));
        forms += ext == ".frm";
        classes += ext == ".cls";
        modules += ext == ".bas";
        EXPECT_NE(project.find(name + "\r\n"), std::string::npos) << "listed in the project";
        std::string capitals = name;
        std::transform(capitals.begin(), capitals.end(), capitals.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
        EXPECT_TRUE(case_project.find("=" + capitals + "\r\n") != std::string::npos ||
                    case_project.find("; " + capitals + "\r\n") != std::string::npos)
            << "listed in capitals in the second project";
        if (ext == ".frm") {
            EXPECT_NE(text.find("\r\nBegin VB.Form "), std::string::npos);
            EXPECT_NE(text.find("\r\nAttribute VB_Name"), std::string::npos);
        }
        EXPECT_EQ(count(text, "\n"), count(text, "\r\n")) << "CR LF line ends only";
        tabs = tabs || text.find("\r\n\t") != std::string::npos;
        comments = comments || text.find("   ' ") != std::string::npos;
        continued = continued || text.find(" _\r\n") != std::string::npos;
        EXPECT_NE(text.find("\r\n    Dim "), std::string::npos);
        for (std::size_t at = 0, nl = 0; (nl = text.find('\n', at)) != std::string::npos;
             at = nl + 1) {
            longest = std::max(longest, nl - at);
        }
    }
    EXPECT_GT(forms, 0);
    EXPECT_GT(classes, 0);
    EXPECT_GT(modules, 0);
    EXPECT_TRUE(tabs);
    EXPECT_TRUE(comments);
    EXPECT_TRUE(continued);
    EXPECT_GT(longest, 1000u);
    EXPECT_GT(total, 1000000u);
    EXPECT_LT(total, 1500000u);
}

TEST(GenTree, RefusesBadArguments) {
    ScratchDir dir;
    EXPECT_EQ(gen_tree({dir / "x", "0", "100"}), 2);
    EXPECT_EQ(gen_tree({dir / "x", "10", "-5"}), 2);
    EXPECT_EQ(gen_tree({dir / "x", "10"}), 2);
    EXPECT_EQ(gen_tree({dir / "x", "10", "100", "seed"}), 2);
}

} // namespace
} // namespace e2e
