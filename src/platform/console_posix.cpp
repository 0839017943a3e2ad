// Console, clock and environment on POSIX.
//
// The console is the controlling terminal (/dev/tty), never standard input or
// standard output: redirected output stays clean and standard input is never
// read. Key reads switch the terminal to non-canonical, no-echo mode for the
// length of one read; a signal that ends the process meanwhile (Ctrl-C,
// SIGTERM, SIGHUP, SIGQUIT) puts the terminal's settings back first.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace trevox {

namespace {

constexpr const char* kTerminalPath = "/dev/tty";
constexpr const char kClearAndHome[] = "\x1b[H\x1b[2J";
constexpr std::size_t kFirstCwdCapacity = 256;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

struct ConsoleState {
    int tty_fd = -1; // the controlling terminal, opened on first use
    bool handlers_installed = false;
};
ConsoleState g_console;

// Read by the signal handler: the settings to put back and the descriptor to
// put them on (-1 while the terminal is in its normal mode).
struct termios g_saved_termios;
volatile std::sig_atomic_t g_restore_fd = -1;

// Puts the terminal back, then lets the signal do what it would have done.
// Only async-signal-safe calls here; the process ends, so errno need not be
// kept.
extern "C" void restore_terminal_and_reraise(int sig) {
    const int fd = g_restore_fd;
    if (fd >= 0) {
        (void)::tcsetattr(fd, TCSANOW, &g_saved_termios);
    }
    (void)std::signal(sig, SIG_DFL);
    (void)std::raise(sig); // delivered at once or when the handler returns
}

// Installs the restoring handler, once, for every ending signal whose action
// is still the default (an ignored signal stays ignored).
void install_handlers() {
    if (g_console.handlers_installed) {
        return;
    }
    g_console.handlers_installed = true;
    for (const int sig : kEndingSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction act {};
        act.sa_handler = &restore_terminal_and_reraise;
        sigemptyset(&act.sa_mask);
        act.sa_flags = SA_RESETHAND;
        (void)::sigaction(sig, &act, nullptr);
    }
}

// The terminal's descriptor, opened on first use and kept; -1 without one.
int terminal_fd() {
    if (g_console.tty_fd >= 0) {
        return g_console.tty_fd;
    }
    const int fd = ::open(kTerminalPath, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::isatty(fd) == 0) {
        (void)::close(fd);
        return -1;
    }
    g_console.tty_fd = fd;
    return fd;
}

// Switches the terminal to single-key mode: no line editing, no echo, signals
// kept (Ctrl-C still interrupts). `min_chars` 1 waits for a key, 0 does not.
// `saved` receives the settings to restore. False when the terminal refuses.
bool enter_key_mode(int fd, cc_t min_chars, struct termios& saved) {
    if (::tcgetattr(fd, &saved) != 0) {
        return false;
    }
    install_handlers();
    struct termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_lflag |= ISIG;
    raw.c_cc[VMIN] = min_chars;
    raw.c_cc[VTIME] = 0;
    g_saved_termios = saved;
    g_restore_fd = fd;
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) {
        g_restore_fd = -1;
        return false;
    }
    return true;
}

// Puts back the settings `enter_key_mode` saved.
void leave_key_mode(int fd, const struct termios& saved) {
    while (::tcsetattr(fd, TCSANOW, &saved) != 0 && errno == EINTR) {
    }
    g_restore_fd = -1;
}

} // namespace

// Writes the clear-and-home sequence to the terminal, after flushing standard
// output so that nothing printed before lands after the clear.
void console_clear() {
    const int fd = terminal_fd();
    if (fd < 0) {
        return;
    }
    (void)std::fflush(stdout);
    (void)io_write_all(fd, kClearAndHome, sizeof kClearAndHome - 1);
}

bool console_available() {
    return terminal_fd() >= 0;
}

// Flushes stdout and stderr, then waits for one key on the terminal.
int console_getch() {
    (void)std::fflush(stdout);
    (void)std::fflush(stderr);
    const int fd = terminal_fd();
    if (fd < 0) {
        return -1;
    }
    struct termios saved {};
    if (!enter_key_mode(fd, 1, saved)) {
        return -1;
    }
    unsigned char key = 0;
    const long got = g_io.read(fd, &key, 1);
    leave_key_mode(fd, saved);
    return got == 1 ? static_cast<int>(key) : -1;
}

// Zero-timeout test for a waiting key. A terminal that hung up has no key
// waiting (so a loop draining keys ends).
bool console_kbhit() {
    const int fd = terminal_fd();
    if (fd < 0) {
        return false;
    }
    struct termios saved {};
    if (!enter_key_mode(fd, 0, saved)) {
        return false;
    }
    struct pollfd p {};
    p.fd = fd;
    p.events = POLLIN;
    int rc = 0;
    do {
        rc = ::poll(&p, 1, 0);
    } while (rc < 0 && errno == EINTR);
    leave_key_mode(fd, saved);
    return rc > 0 && (p.revents & POLLIN) != 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

bool stdout_is_terminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

// getcwd into a buffer that grows until the whole path fits.
void current_directory(std::string& out) {
    out.resize(std::max(out.capacity(), kFirstCwdCapacity));
    for (;;) {
        if (::getcwd(out.data(), out.size()) != nullptr) {
            out.resize(std::strlen(out.c_str()));
            return;
        }
        if (errno != ERANGE) {
            out.clear();
            return;
        }
        out.resize(out.size() * 2);
    }
}

namespace {

void civil_from_tm(const struct tm& t, CivilTime& out) {
    out.year = t.tm_year + 1900;
    out.month = t.tm_mon + 1;
    out.day = t.tm_mday;
    out.hour = t.tm_hour;
    out.minute = t.tm_min;
    out.second = t.tm_sec;
}

} // namespace

void local_time_now(CivilTime& out) {
    const std::time_t now = std::time(nullptr);
    struct tm t {};
    if (::localtime_r(&now, &t) == nullptr) {
        out = CivilTime{};
        return;
    }
    civil_from_tm(t, out);
}

} // namespace trevox
