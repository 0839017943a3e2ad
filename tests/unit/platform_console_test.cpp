// Unit tests of the console: each case runs in a child process in a session
// of its own, either without a controlling terminal or with a pseudo-terminal
// as its controlling terminal.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace trevox {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kWaitRounds = 20000; // rounds of 1 ms while waiting for the child

// A fresh pseudo-terminal; the parent keeps the master and a slave descriptor
// (for looking at the terminal's settings).
struct Pty {
    int master = -1;
    int slave = -1;
    std::string slave_name;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            return;
        }
        slave_name = ::ptsname(master);
        slave = ::open(slave_name.c_str(), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        if (slave >= 0) {
            ::close(slave);
        }
        if (master >= 0) {
            ::close(master);
        }
    }
    bool ok() const { return master >= 0 && slave >= 0; }
    tcflag_t lflag() const {
        struct termios t {};
        return ::tcgetattr(slave, &t) == 0 ? t.c_lflag : 0;
    }
    // Everything the child wrote to the terminal so far.
    std::string drain() const {
        std::string out;
        char buf[256];
        struct pollfd p {
            master, POLLIN, 0
        };
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
};

// Child set-up: own session, default actions for the ending signals, no core
// files; with `tty` the pseudo-terminal becomes the controlling terminal.
void become_session_leader(const char* tty) {
    ::setsid();
    for (const int sig : kEndingSignals) {
        std::signal(sig, SIG_DFL);
    }
    struct rlimit no_core {
        0, 0
    };
    ::setrlimit(RLIMIT_CORE, &no_core);
    if (tty != nullptr) {
        // The first terminal a session leader opens becomes its own; the
        // ioctl makes sure of it (and fails harmlessly when already so).
        const int fd = ::open(tty, O_RDWR);
        if (fd >= 0) {
            (void)::ioctl(fd, TIOCSCTTY, 0);
        }
    }
}

// Forks; the child runs `body` and exits with its result.
pid_t spawn(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    return pid;
}

int wait_status(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Waits until the child has switched the terminal to single-key mode.
bool wait_for_key_mode(const Pty& pty) {
    for (int i = 0; i < kWaitRounds; ++i) {
        if ((pty.lflag() & ICANON) == 0) {
            return true;
        }
        ::usleep(1000);
    }
    return false;
}

TEST(PlatformConsole, WithoutTerminalNothingWaitsOrReadsStdin) {
    int out_pipe[2];
    int in_pipe[2];
    ASSERT_EQ(::pipe(out_pipe), 0);
    ASSERT_EQ(::pipe(in_pipe), 0);
    ASSERT_EQ(::write(in_pipe[1], "y\n", 2), 2);
    const pid_t pid = spawn([&] {
        become_session_leader(nullptr);
        ::dup2(out_pipe[1], STDOUT_FILENO);
        ::dup2(in_pipe[0], STDIN_FILENO);
        if (console_available()) {
            return 10;
        }
        console_clear();
        if (console_getch() != -1) {
            return 11;
        }
        if (console_kbhit()) {
            return 12;
        }
        if (stdout_is_terminal()) {
            return 13;
        }
        return 0;
    });
    ASSERT_GT(pid, 0);
    ::close(out_pipe[1]);
    const int status = wait_status(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    char buf[16];
    EXPECT_EQ(::read(out_pipe[0], buf, sizeof buf), 0) << "standard output was written";
    ::close(in_pipe[1]);
    EXPECT_EQ(::read(in_pipe[0], buf, sizeof buf), 2) << "standard input was read";
    ::close(out_pipe[0]);
    ::close(in_pipe[0]);
}

TEST(PlatformConsole, KeysFromTheTerminalWithoutEcho) {
    Pty pty;
    if (!pty.ok()) {
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    }
    int out_pipe[2];
    int result_pipe[2];
    ASSERT_EQ(::pipe(out_pipe), 0);
    ASSERT_EQ(::pipe(result_pipe), 0);
    const pid_t pid = spawn([&] {
        become_session_leader(pty.slave_name.c_str());
        ::dup2(out_pipe[1], STDOUT_FILENO);
        struct termios before {};
        ::tcgetattr(pty.slave, &before);
        unsigned char r[8] = {};
        r[0] = console_available() ? 1 : 0;
        console_clear();
        r[1] = static_cast<unsigned char>(console_getch());
        r[2] = console_kbhit() ? 1 : 0;
        r[3] = static_cast<unsigned char>(console_getch());
        r[4] = console_kbhit() ? 1 : 0;
        r[5] = static_cast<unsigned char>(console_getch());
        r[6] = console_kbhit() ? 1 : 0;
        struct termios after {};
        ::tcgetattr(pty.slave, &after);
        r[7] = (after.c_lflag == before.c_lflag && after.c_cc[VMIN] == before.c_cc[VMIN]) ? 1 : 0;
        return ::write(result_pipe[1], r, sizeof r) == static_cast<ssize_t>(sizeof r) ? 0 : 1;
    });
    ASSERT_GT(pid, 0);
    ::close(out_pipe[1]);
    ::close(result_pipe[1]);
    ASSERT_TRUE(wait_for_key_mode(pty));
    EXPECT_EQ(pty.lflag() & ECHO, 0u);
    EXPECT_NE(pty.lflag() & ISIG, 0u);
    ASSERT_EQ(::write(pty.master, "abc", 3), 3);
    const int status = wait_status(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    unsigned char r[8] = {};
    ASSERT_EQ(::read(result_pipe[0], r, sizeof r), static_cast<ssize_t>(sizeof r));
    EXPECT_EQ(r[0], 1) << "console_available";
    EXPECT_EQ(r[1], 'a');
    EXPECT_EQ(r[2], 1) << "kbhit with b and c waiting";
    EXPECT_EQ(r[3], 'b');
    EXPECT_EQ(r[4], 1) << "kbhit with c waiting";
    EXPECT_EQ(r[5], 'c');
    EXPECT_EQ(r[6], 0) << "kbhit with nothing waiting";
    EXPECT_EQ(r[7], 1) << "terminal settings not restored";

    const std::string screen = pty.drain();
    EXPECT_EQ(screen, "\x1b[H\x1b[2J"); // the clear, and no echo of the keys
    char buf[16];
    EXPECT_EQ(::read(out_pipe[0], buf, sizeof buf), 0) << "standard output was written";
    ::close(out_pipe[0]);
    ::close(result_pipe[0]);
}

TEST(PlatformConsole, SignalsWhileWaitingRestoreTheTerminal) {
    for (const int sig : kEndingSignals) {
        Pty pty;
        if (!pty.ok()) {
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        }
        const tcflag_t normal = pty.lflag();
        ASSERT_NE(normal & ICANON, 0u);
        const pid_t pid = spawn([&] {
            become_session_leader(pty.slave_name.c_str());
            console_getch();
            return 99; // the key read must not end
        });
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(wait_for_key_mode(pty)) << strsignal(sig);
        if (sig == SIGINT) {
            ASSERT_EQ(::write(pty.master, "\x03", 1), 1); // Ctrl-C typed on the terminal
        } else {
            ASSERT_EQ(::kill(pid, sig), 0);
        }
        const int status = wait_status(pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << strsignal(sig);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(pty.lflag(), normal) << strsignal(sig);
    }
}

TEST(PlatformConsole, StdoutIsTerminal) {
    Pty pty;
    if (!pty.ok()) {
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    }
    const pid_t pid = spawn([&] {
        ::dup2(pty.slave, STDOUT_FILENO);
        return stdout_is_terminal() ? 0 : 1;
    });
    ASSERT_GT(pid, 0);
    const int status = wait_status(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace trevox
