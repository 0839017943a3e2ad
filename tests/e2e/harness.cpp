#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

namespace {

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
    if (o.with_terminal && openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    if (master >= 0) {
        termios t{};
        if (tcgetattr(master, &t) == 0) {
            result.terminal_lflag_before = t.c_lflag;
        }
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
        dup2(devnull, 0);
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
        argv.push_back(const_cast<char*>(TREVOX_BINARY));
        for (const std::string& a : o.args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(TREVOX_BINARY, argv.data());
        child_fail("execv");
    }
    if (slave >= 0) {
        close(slave);
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
        result.confirms = confirms_in(result.terminal) + confirms_in(out_now);
        result.pauses = pauses_in(result.terminal) + pauses_in(out_now);
        char key = 0;
        if (result.confirms > confirms_answered) {
            key = o.confirm_key;
            ++confirms_answered;
        } else if (result.pauses > pauses_answered && o.pause_key != 0) {
            key = o.pause_key;
            ++pauses_answered;
        }
        // No key is typed once the run has been stopped.
        if (master >= 0 && key != 0 && !result.stop_sent) {
            wait_for_key_mode(master);
            if (write(master, &key, 1) != 1) {
                break;
            }
            if (confirms_answered == 1 && key == o.confirm_key && !confirmed) {
                confirmed = true;
                confirmed_at = clock::now();
            }
        }
        if (confirmed && !stop_armed && o.stop_after_us >= 0 &&
            (!o.stop_when || o.stop_when(result))) {
            stop_armed = true;
            stop_at = clock::now() + std::chrono::microseconds(o.stop_after_us);
        }
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
    if (o.stdout_to_file || !o.with_terminal) {
        result.out = read_file(out_path);
    }
    result.err = read_file(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

} // namespace e2e
