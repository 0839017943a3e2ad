// Console, clock and environment on Windows.
//
// The console is the process's console window itself (CONIN$ and CONOUT$),
// never standard input or standard output: redirected output stays clean and
// standard input is never read. Keys are read as the console's input events,
// which come without echo whatever the console's mode; the mode itself is
// never changed, so Ctrl-C stays what it is at every other moment of the run
// (with the usual mode the system's Ctrl-C, which ends the process) and a run
// that ends at a prompt leaves the console as it found it.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <cstdio>
#include <io.h>
#include <vector>

// The runtime expands wildcards on the command line unless told not to; a
// wildcard must reach the program as typed.
extern "C" {
int _dowildcard = 0;
}

namespace trevox {

namespace {

struct ConsoleState {
    bool input_probed = false;
    HANDLE input = INVALID_HANDLE_VALUE; // CONIN$, opened on first use
    bool output_probed = false;
    HANDLE output = INVALID_HANDLE_VALUE; // CONOUT$, opened on first use
    std::vector<INPUT_RECORD> waiting;    // the events a key test looks at
};
ConsoleState g_console;

// The console's input, opened on first use and kept; an invalid handle
// without a console.
HANDLE console_input() {
    if (!g_console.input_probed) {
        g_console.input_probed = true;
        HANDLE h =
            CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode = 0;
        if (h != INVALID_HANDLE_VALUE && !GetConsoleMode(h, &mode)) {
            (void)CloseHandle(h);
            h = INVALID_HANDLE_VALUE;
        }
        g_console.input = h;
    }
    return g_console.input;
}

// True for the event of a key going down, other than Shift, Ctrl, Alt or a
// lock key alone.
bool is_key_press(const INPUT_RECORD& e) {
    if (e.EventType != KEY_EVENT || !e.Event.KeyEvent.bKeyDown) {
        return false;
    }
    switch (e.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
        return false;
    default:
        return true;
    }
}

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

bool console_available() {
    return console_input() != INVALID_HANDLE_VALUE;
}

// Flushes stdout and stderr, then reads the console's input events until a
// key goes down. Its character, or 0 for a key without one (an arrow, a
// function key).
int console_getch() {
    (void)std::fflush(stdout);
    (void)std::fflush(stderr);
    HANDLE h = console_input();
    if (h == INVALID_HANDLE_VALUE) {
        return -1;
    }
    for (;;) {
        INPUT_RECORD e{};
        DWORD got = 0;
        if (!ReadConsoleInputW(h, &e, 1, &got)) {
            return -1;
        }
        if (got == 1 && is_key_press(e)) {
            return static_cast<int>(e.Event.KeyEvent.uChar.UnicodeChar);
        }
    }
}

// Looks at the waiting input events without taking any: true when one of
// them is a key going down.
bool console_kbhit() {
    HANDLE h = console_input();
    DWORD count = 0;
    if (h == INVALID_HANDLE_VALUE || !GetNumberOfConsoleInputEvents(h, &count) || count == 0) {
        return false;
    }
    std::vector<INPUT_RECORD>& events = g_console.waiting;
    events.resize(count);
    DWORD got = 0;
    if (!PeekConsoleInputW(h, events.data(), count, &got)) {
        return false;
    }
    for (DWORD i = 0; i < got; ++i) {
        if (is_key_press(events[i])) {
            return true;
        }
    }
    return false;
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
