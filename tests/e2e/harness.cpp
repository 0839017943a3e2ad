#include "harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

void copy_examples(const std::string& dir) {
    fs::copy(TREVOX_EXAMPLES, dir,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

std::string plant_one_module_under_three_names(const ScratchDir& dir) {
    const std::string original = "Option Explicit\r\n    Dim x   As Long\r\n";
    write_file(dir / "Target.bas", original);
    if (symlink("Target.bas", (dir / "Alias.bas").c_str()) != 0 ||
        symlink("Target.bas", (dir / "Zlink.bas").c_str()) != 0) {
        throw std::runtime_error("cannot make a symbolic link in " + dir.path);
    }
    return original;
}

// Runs the restore script in `dir` (it waits for Enter first): Restore.sh,
// or under Wine Restore.bat through the command interpreter. True when it
// succeeded.
bool run_restore_sh(const std::string& dir) {
    const std::string cmd =
        "cd '" + dir + "' && echo | " +
        (under_wine() ? launcher() + " cmd /c Restore.bat" : std::string("sh Restore.sh")) +
        " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// A run of the modes: no settings file anywhere, standard output to a file.
RunResult run_args(const std::string& dir, const std::vector<std::string>& args,
                   bool with_terminal) {
    RunOptions o;
    o.cwd = dir;
    o.args = args;
    o.settings_file = false;
    o.stdout_to_file = true;
    o.with_terminal = with_terminal;
    RunResult r = run_trevox(o);
    EXPECT_EQ(r.confirms + r.pauses, 0) << "no question, no pause";
    if (!under_wine()) {
        EXPECT_EQ(r.terminal, "") << "no screen clear, nothing on the terminal";
    }
    return r;
}

std::string crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string screen(const RunResult& r) {
    std::string s;
    const std::string clear = "\x1b[H\x1b[2J";
    for (std::size_t i = 0; i < r.terminal.size(); ++i) {
        if (r.terminal.compare(i, clear.size(), clear) == 0) {
            i += clear.size() - 1;
            continue;
        }
        if (r.terminal[i] != '\r') {
            s += r.terminal[i];
        }
    }
    return s;
}

int count(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (std::size_t pos = hay.find(needle); pos != std::string::npos;
         pos = hay.find(needle, pos + needle.size())) {
        ++n;
    }
    return n;
}

ScratchDir::ScratchDir() {
    std::string templ = (fs::temp_directory_path() / "trevox-e2e-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = templ;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    // Make everything writable again so that read-only test files go too.
    for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
}

const std::string& binary_under_test() {
    static const std::string binary = [] {
        const char* env = std::getenv("TREVOX_E2E_BINARY");
        return std::string(env != nullptr && *env != '\0' ? env : TREVOX_BINARY);
    }();
    return binary;
}

const std::string& launcher() {
    static const std::string name = [] {
        const char* env = std::getenv("TREVOX_E2E_LAUNCHER");
        return std::string(env != nullptr ? env : "");
    }();
    return name;
}

bool under_wine() {
    return !launcher().empty();
}

std::string shown_dir(const std::string& path) {
    if (!under_wine()) {
        return path;
    }
    std::string out = "Z:" + path;
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        }
    }
    return out;
}

std::string second_place_folder(const std::string& cwd) {
    return under_wine() ? "C:\\KVO\\" : cwd + "/.e2e-config/trevox/";
}

std::string wine_prefix() {
    const char* env = std::getenv("WINEPREFIX");
    if (env != nullptr && *env != '\0') {
        return env;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.wine";
}

std::string console_text(const std::string& drawn) {
    std::string out;
    out.reserve(drawn.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        if (drawn[i] != '\x1b' || i + 1 >= drawn.size() || drawn[i + 1] != '[') {
            out += drawn[i];
            continue;
        }
        // A control sequence: parameters, then one final letter.
        std::size_t j = i + 2;
        while (j < drawn.size() && (std::isdigit(static_cast<unsigned char>(drawn[j])) != 0 ||
                                    drawn[j] == ';' || drawn[j] == '?')) {
            ++j;
        }
        if (j >= drawn.size()) {
            break; // cut off at the end: dropped
        }
        if (drawn[j] == 'C') {
            const std::string n = drawn.substr(i + 2, j - i - 2);
            out.append(n.empty() ? 1 : static_cast<std::size_t>(std::stoul(n)), ' ');
        }
        i = j;
    }
    return out;
}

namespace {

// Under Wine: the settings file's second place, C:\KVO\Trevox.INI, is one
// file in the prefix for every run, so runs take turns through a lock on its
// folder, held for the whole run.
struct SecondPlaceLock {
    int fd = -1;
    explicit SecondPlaceLock(bool settings_file) {
        if (!under_wine()) {
            return;
        }
        const std::string folder = wine_prefix() + "/drive_c/KVO";
        fs::create_directories(folder);
        fd = open((folder + "/.e2e-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || flock(fd, LOCK_EX) != 0) {
            throw std::runtime_error("cannot lock " + folder);
        }
        const std::string ini = folder + "/Trevox.INI";
        if (settings_file) {
            write_file(ini, "");
        } else {
            std::error_code ec;
            fs::remove(ini, ec);
        }
    }
    ~SecondPlaceLock() {
        if (fd >= 0) {
            close(fd);
        }
    }
    SecondPlaceLock(const SecondPlaceLock&) = delete;
    SecondPlaceLock& operator=(const SecondPlaceLock&) = delete;
};

// Standard output in text mode turned back into what the program wrote:
// every "\n" went out as "\r\n", so each "\r\n" stands for one "\n".
std::string from_text_mode(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
            continue;
        }
        out += s[i];
    }
    return out;
}

int confirms_in(const std::string& text) {
    return count(text, "(Y-N)? ");
}
int pauses_in(const std::string& text) {
    return count(text, "Press Enter to continue ");
}

[[noreturn]] void child_fail(const char* what) {
    std::perror(what);
    _exit(127);
}

// Waits (a second at most) until the program has switched its terminal to
// single-key mode, so that a typed key is never echoed by the line editor.
void wait_for_key_mode(int master) {
    for (int i = 0; i < 10000; ++i) {
        termios t{};
        if (tcgetattr(master, &t) != 0 || (t.c_lflag & ICANON) == 0) {
            return;
        }
        usleep(100);
    }
}

} // namespace

RunResult run_trevox(const RunOptions& o) {
    RunResult result;
    const SecondPlaceLock second_place(o.settings_file);
    const bool wine = under_wine();
    const std::string out_path = o.cwd + "/.e2e-stdout";
    const std::string err_path = o.cwd + "/.e2e-stderr";
    // Output capture files live beside the run; keep them out of wildcard
    // matches by their leading dot.
    if (o.settings_file) {
        fs::create_directories(o.cwd + "/.e2e-config/trevox");
        write_file(o.cwd + "/.e2e-config/trevox/Trevox.INI", "");
    }
    int master = -1;
    int slave = -1;
    // Wine's console takes its size from the terminal: give it one.
    winsize size{};
    size.ws_row = 25;
    size.ws_col = 80;
    if (o.with_terminal &&
        openpty(&master, &slave, nullptr, nullptr, wine ? &size : nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    if (master >= 0) {
        termios t{};
        if (tcgetattr(master, &t) == 0) {
            result.terminal_lflag_before = t.c_lflag;
        }
    }
    int in_pipe[2] = {-1, -1};
    if (o.stdin_bytes && pipe2(in_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        setsid();
        if (o.with_terminal) {
            if (ioctl(slave, TIOCSCTTY, 0) != 0) {
                child_fail("TIOCSCTTY");
            }
        }
        const int devnull = open("/dev/null", O_RDONLY);
        const int out = (o.with_terminal && !o.stdout_to_file)
                            ? slave
                            : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (devnull < 0 || out < 0 || err < 0) {
            child_fail("open");
        }
        // Wine gives the program a console only when one of its standard
        // streams is a terminal. Only the filter reads standard input.
        if (o.stdin_bytes) {
            dup2(in_pipe[0], 0);
        } else {
            dup2(wine && o.with_terminal ? slave : devnull, 0);
        }
        dup2(out, 1);
        dup2(err, 2);
        if (master >= 0) {
            close(master);
        }
        if (slave > 2) {
            close(slave);
        }
        if (chdir(o.cwd.c_str()) != 0) {
            child_fail("chdir");
        }
        if (o.file_size_limit >= 0) {
            // A write past the limit then fails with EFBIG instead of
            // ending the process.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit lim{static_cast<rlim_t>(o.file_size_limit),
                             static_cast<rlim_t>(o.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &lim) != 0) {
                child_fail("setrlimit");
            }
        }
        unsetenv("SOURCE_DATE_EPOCH");
        if (!o.source_date_epoch.empty()) {
            setenv("SOURCE_DATE_EPOCH", o.source_date_epoch.c_str(), 1);
        }
        // Keep the settings file's second place inside the scratch area.
        setenv("XDG_CONFIG_HOME", (o.cwd + "/.e2e-config").c_str(), 1);
        for (const auto& [key, value] : o.env) {
            setenv(key.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv;
        if (wine) {
            argv.push_back(const_cast<char*>(launcher().c_str()));
        }
        argv.push_back(const_cast<char*>(binary_under_test().c_str()));
        for (const std::string& a : o.args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        child_fail("execvp");
    }
    if (slave >= 0) {
        close(slave);
    }
    // The bytes for standard input go in from a thread of their own, so that a
    // program that writes before it has read everything is never blocked;
    // a program that ends without reading them all makes the write fail
    // (SIGPIPE is ignored for that).
    std::thread feeder;
    if (o.stdin_bytes) {
        close(in_pipe[0]);
        signal(SIGPIPE, SIG_IGN);
        feeder = std::thread([fd = in_pipe[1], &bytes = *o.stdin_bytes] {
            std::size_t at = 0;
            while (at < bytes.size()) {
                const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
                if (n <= 0) {
                    break;
                }
                at += static_cast<std::size_t>(n);
            }
            close(fd);
        });
    }

    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    auto confirmed_at = start;
    bool confirmed = false;
    bool stop_armed = false;
    auto stop_at = start;
    int confirms_answered = 0;
    int pauses_answered = 0;
    int status = 0;
    bool exited = false;
    char buf[4096];
    const auto arm_stop_if_due = [&] {
        if (confirmed && !stop_armed && o.stop_after_us >= 0 &&
            (!o.stop_when || o.stop_when(result))) {
            stop_armed = true;
            stop_at = clock::now() + std::chrono::microseconds(o.stop_after_us);
        }
    };
    while (!exited) {
        // Wake up in time for a pending stop.
        auto wait = std::chrono::microseconds(5000);
        if (stop_armed && !result.stop_sent) {
            wait = std::min(wait, std::max(std::chrono::microseconds(0),
                                           std::chrono::duration_cast<std::chrono::microseconds>(
                                               stop_at - clock::now())));
        }
        const timespec ts{0, static_cast<long>(wait.count()) * 1000};
        if (master >= 0) {
            pollfd pfd{master, POLLIN, 0};
            if (ppoll(&pfd, 1, &ts, nullptr) > 0) {
                const ssize_t n = read(master, buf, sizeof buf);
                if (n > 0) {
                    result.terminal.append(buf, static_cast<std::size_t>(n));
                }
            }
        } else {
            nanosleep(&ts, nullptr);
        }
        if (stop_armed && !result.stop_sent && clock::now() >= stop_at) {
            if (o.stop_with_ctrl_c) {
                const char ctrl_c = '\x03';
                result.stop_sent = master >= 0 && write(master, &ctrl_c, 1) == 1;
            } else {
                result.stop_sent = kill(pid, SIGKILL) == 0;
            }
        }
        const std::string out_now = o.stdout_to_file || !o.with_terminal ? read_file(out_path) : "";
        const std::string term_now = wine ? console_text(result.terminal) : result.terminal;
        result.confirms = confirms_in(term_now) + confirms_in(out_now);
        result.pauses = pauses_in(term_now) + pauses_in(out_now);
        // A stop that is due is armed before a pause is answered, so that a
        // run whose last files went by between two looks is still held.
        arm_stop_if_due();
        std::string keys;
        if (result.confirms > confirms_answered) {
            keys.assign(o.confirm_key != 0 ? 1 : 0, o.confirm_key);
            ++confirms_answered;
        } else if (result.pauses > pauses_answered && !stop_armed) {
            // Once a stop is armed the run is held at its next pause, so
            // that the stop lands on a live process rather than racing its
            // exit.
            if (pauses_answered == 0 && !o.first_pause_keys.empty()) {
                keys = o.first_pause_keys;
            } else if (o.pause_key != 0) {
                keys.assign(1, o.pause_key);
            }
            pauses_answered += keys.empty() ? 0 : 1;
        }
        const char key = keys.empty() ? '\0' : keys[0];
        // No key is typed once the run has been stopped.
        if (master >= 0 && !keys.empty() && !result.stop_sent) {
            wait_for_key_mode(master);
            if (write(master, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
                break;
            }
            if (confirms_answered == 1 && key == o.confirm_key && !confirmed) {
                confirmed = true;
                confirmed_at = clock::now();
            }
        }
        arm_stop_if_due();
        const pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            exited = true;
            result.confirmed_to_exit_us =
                std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - confirmed_at)
                    .count();
        }
        const auto elapsed = clock::now() - start;
        if (!exited && elapsed > std::chrono::milliseconds(o.timeout_ms)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            exited = true;
        }
    }
    if (master >= 0) {
        // Drain what is left on the terminal.
        for (;;) {
            pollfd pfd{master, POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0) {
                break;
            }
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            result.terminal.append(buf, static_cast<std::size_t>(n));
        }
        termios t{};
        if (tcgetattr(master, &t) == 0) {
            result.terminal_lflag_after = t.c_lflag;
        }
        close(master);
    }
    if (WIFEXITED(status) && !result.timed_out) {
        result.exit_code = WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status) && !result.timed_out) {
        result.signal = WTERMSIG(status);
    }
    if (feeder.joinable()) {
        feeder.join();
    }
    if (o.stdout_to_file || !o.with_terminal) {
        result.out = read_file(out_path);
        result.out_bytes = result.out;
    }
    result.err = read_file(err_path);
    if (wine) {
        result.terminal = console_text(result.terminal);
        result.out = from_text_mode(result.out);
        result.err = from_text_mode(result.err);
    }
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

} // namespace e2e
