// Support shared by the fuzz targets.
#include "fuzz_support.h"

#include "no_terminal.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox::fuzz {

namespace {

std::string g_scratch;

// The platform's own raw read, and the most a short read returns.
long (*g_real_read)(int, void*, std::size_t) = nullptr;
std::size_t g_read_size = 0;

long short_read(int fd, void* buf, std::size_t n) {
    return g_real_read(fd, buf, n < g_read_size ? n : g_read_size);
}

void remove_scratch() {
    if (!g_scratch.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(g_scratch, ignored);
    }
}

// Gives up the controlling terminal: the console then finds none, so a pause
// returns at once, as it does in CI.
void detach_from_terminal() {
    if (::setsid() >= 0) {
        return; // a new session has no controlling terminal
    }
    testing_support::give_up_controlling_terminal();
}

} // namespace

void prepare_process() {
    detach_from_terminal();
    io_hooks_reset();
    g_real_read = g_io.read;
    struct stat st {};
    const bool shm =
        ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0;
    std::string templ = shm ? "/dev/shm/trevox_fuzz_XXXXXX" : "/tmp/trevox_fuzz_XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr || ::chdir(templ.c_str()) != 0) {
        std::perror("scratch folder");
        std::abort();
    }
    g_scratch = templ;
    std::atexit(remove_scratch);
    // Settings files of the user's own stay out of the way.
    ::setenv("HOME", templ.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", templ.c_str(), 1);
    ::setenv("SOURCE_DATE_EPOCH", "946684800", 1);
    std::fflush(stdout);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
        ::dup2(null_fd, STDOUT_FILENO);
        ::close(null_fd);
    }
}

void use_short_reads(std::size_t max_bytes) {
    io_hooks_reset();
    g_read_size = max_bytes;
    if (max_bytes != 0) {
        g_io.read = &short_read;
    }
}

void fail(const char* what, const std::string& detail) {
    // The detail may hold any byte, NUL included: written whole.
    std::fprintf(stderr, "\n*** FINDING: %s\n", what);
    std::fwrite(detail.data(), 1, detail.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    remove_scratch(); // abort() skips the handlers registered with atexit()
    std::abort();
}

void write_file(const char* name, std::string_view bytes) {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        fail("cannot write a scratch file", name);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0) {
            fail("cannot write a scratch file", name);
        }
        done += static_cast<std::size_t>(put);
    }
    ::close(fd);
}

bool read_file(const char* name, std::string& out) {
    out.clear();
    const int fd = ::open(name, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0) {
            ::close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

bool exists(const char* name) {
    struct stat st {};
    return ::lstat(name, &st) == 0;
}

void remove_file(const char* name) {
    (void)::unlink(name);
}

std::string text_of(std::string_view bytes) {
    std::size_t end = bytes.size();
    while (end > 0 && bytes[end - 1] == '\x1a') {
        --end;
    }
    std::string out;
    out.reserve(end);
    for (std::size_t i = 0; i < end; ++i) {
        if (bytes[i] == '\r' && i + 1 < end && bytes[i + 1] == '\n') {
            continue;
        }
        out += bytes[i];
    }
    return out;
}

std::string crlf_of(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

std::string shown(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    const std::size_t limit = 4000;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            out += "\\n\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (bytes.size() > limit) {
        out += "...";
    }
    return out;
}

} // namespace trevox::fuzz
