// Console, clock and environment on Windows.
//
// The console is the process's console window itself (CONIN$ and CONOUT$),
// never standard input or standard output: redirected output stays clean and
// standard input is never read. Keys are read with the runtime's console
// functions, which read the console directly, without echo.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <conio.h>
#include <cstdio>
#include <io.h>

// The runtime expands wildcards on the command line unless told not to; a
// wildcard must reach the program as typed.
extern "C" {
int _dowildcard = 0;
}

namespace trevox {

namespace {

struct ConsoleState {
    bool input_probed = false;
    bool input_ok = false; // a console to read keys from
    bool output_probed = false;
    HANDLE output = INVALID_HANDLE_VALUE; // CONOUT$, opened on first use
};
ConsoleState g_console;

// The console's screen buffer, opened on first use and kept; an invalid
// handle without a console.
HANDLE console_output() {
    if (!g_console.output_probed) {
        g_console.output_probed = true;
        HANDLE h =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (h != INVALID_HANDLE_VALUE && !GetConsoleScreenBufferInfo(h, &info)) {
            (void)CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
        }
        g_console.output = h;
    }
    return g_console.output;
}

} // namespace

// Fills the console window with blanks in the current colours and puts the
// cursor at its top-left corner, after flushing standard output so that
// nothing printed before lands after the clear.
void console_clear() {
    HANDLE h = console_output();
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    (void)std::fflush(stdout);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(h, &info)) {
        return;
    }
    const SMALL_RECT& win = info.srWindow;
    const auto width = static_cast<DWORD>(win.Right - win.Left + 1);
    for (SHORT row = win.Top; row <= win.Bottom; ++row) {
        const COORD at{win.Left, row};
        DWORD done = 0;
        (void)FillConsoleOutputCharacterW(h, L' ', width, at, &done);
        (void)FillConsoleOutputAttribute(h, info.wAttributes, width, at, &done);
    }
    (void)SetConsoleCursorPosition(h, COORD{win.Left, win.Top});
}

// True when the console's input can be opened and is a console.
bool console_available() {
    if (!g_console.input_probed) {
        g_console.input_probed = true;
        HANDLE h =
            CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD mode = 0;
            g_console.input_ok = GetConsoleMode(h, &mode) != 0;
            (void)CloseHandle(h);
        }
    }
    return g_console.input_ok;
}

// Flushes stdout and stderr, then waits for one key on the console.
int console_getch() {
    (void)std::fflush(stdout);
    (void)std::fflush(stderr);
    if (!console_available()) {
        return -1;
    }
    const int key = _getch();
    return key == EOF ? -1 : key;
}

bool console_kbhit() {
    return console_available() && _kbhit() != 0;
}

bool stdout_is_terminal() {
    return _isatty(_fileno(stdout)) != 0;
}

// The current directory, whole, in the ANSI code page.
void current_directory(std::string& out) {
    std::wstring& wide = g_win.name3;
    DWORD need = GetCurrentDirectoryW(0, nullptr);
    for (;;) {
        if (need == 0) {
            out.clear();
            return;
        }
        wide.resize(need);
        const DWORD got = GetCurrentDirectoryW(need, wide.data());
        if (got < need) {
            wide.resize(got);
            break;
        }
        need = got;
    }
    if (!narrow_name(wide.data(), wide.size(), out)) {
        out.clear();
    }
}

void local_time_now(CivilTime& out) {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    out.year = t.wYear;
    out.month = t.wMonth;
    out.day = t.wDay;
    out.hour = t.wHour;
    out.minute = t.wMinute;
    out.second = t.wSecond;
}

} // namespace trevox
