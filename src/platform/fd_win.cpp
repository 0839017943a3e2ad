// Descriptor-level calls on Windows: runtime descriptors over system handles,
// always binary (the line-end translation is our own, in text_file.cpp).
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <io.h>

namespace trevox {

namespace {

// Rounds of clearing a name taken by a link before a new file is given up on.
constexpr int kFreshFileRounds = 4;
// Largest count one runtime read or write takes.
constexpr std::size_t kLargestIo = INT_MAX;

// A runtime descriptor owning `h`; the handle is closed when that fails.
int descriptor_for(HANDLE h, int flags) {
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(h), flags | _O_BINARY);
    if (fd < 0) {
        (void)CloseHandle(h);
    }
    return fd;
}

} // namespace

WinScratch g_win;

// Wide form through the ANSI code page; long names absolute with the prefix.
bool win_name(const std::string& name, std::wstring& out) {
    if (name.empty() || name.find('\0') != std::string::npos || name.size() > INT_MAX) {
        return false;
    }
    const int n =
        MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    if (n <= 0) {
        return false;
    }
    out.resize(static_cast<std::size_t>(n));
    (void)MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), out.data(), n);
    if (out.size() < kLongNameFrom || out.rfind(L"\\\\?\\", 0) == 0) {
        return true;
    }
    std::wstring& full = g_win.full;
    DWORD need = GetFullPathNameW(out.c_str(), 0, nullptr, nullptr);
    for (;;) {
        if (need == 0) {
            return false;
        }
        full.resize(need);
        const DWORD got = GetFullPathNameW(out.c_str(), need, full.data(), nullptr);
        if (got < need) {
            full.resize(got);
            break;
        }
        need = got; // grew meanwhile: try again with room for it
    }
    if (full.rfind(L"\\\\", 0) == 0) {
        out.assign(L"\\\\?\\UNC\\");
        out.append(full, 2, std::wstring::npos);
    } else {
        out.assign(L"\\\\?\\");
        out.append(full);
    }
    return true;
}

// Wide to ANSI, refusing characters that have no ANSI form.
bool narrow_name(const wchar_t* wide, std::size_t len, std::string& out) {
    out.clear();
    if (len == 0) {
        return true;
    }
    if (len > INT_MAX) {
        return false;
    }
    BOOL lossy = FALSE;
    const int n =
        WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(len), nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) {
        return false;
    }
    out.resize(static_cast<std::size_t>(n));
    (void)WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(len), out.data(), n, nullptr,
                              nullptr);
    return true;
}

long os_read(int fd, void* buf, std::size_t n) {
    const auto count = static_cast<unsigned>(n < kLargestIo ? n : kLargestIo);
    return static_cast<long>(_read(fd, buf, count));
}

long os_write(int fd, const void* buf, std::size_t n) {
    const auto count = static_cast<unsigned>(n < kLargestIo ? n : kLargestIo);
    return static_cast<long>(_write(fd, buf, count));
}

bool os_close(int fd) {
    return _close(fd) == 0;
}

// The runtime's descriptors 0 and 1 switched to binary: no CR added before
// "\n" on output, none taken away and no Ctrl-Z end on input.
void standard_streams_binary() {
    (void)_setmode(0, _O_BINARY);
    (void)_setmode(1, _O_BINARY);
}

// Shares reading, writing and deleting with others, so that an open reader
// never stands in the way of a rename. Only files on disk are taken.
int os_open_read(const std::string& name) {
    if (!win_name(name, g_win.name1)) {
        return -1;
    }
    HANDLE h = CreateFileW(
        g_win.name1.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        (void)CloseHandle(h);
        return -1;
    }
    return descriptor_for(h, _O_RDONLY);
}

// Like the runtime's "w": created, or emptied when it exists, but only ever
// a file of its own. A new file whose permission bits grant write to nobody
// gets the read-only attribute. A taken name is opened as the entry itself
// (a reparse point is not followed) and without emptying; the open file is
// checked, and emptied only when it is a plain file with no further names and
// without the read-only attribute (some systems, a privileged user under a
// compatibility layer or some network shares, would let a read-only file be
// opened for writing). A reparse point (a symbolic link, a junction) or a file
// with further names (hard links) is deleted, which removes that name only,
// and a new file made in its place. A name that keeps being taken by new
// links gives up after a few rounds.
int os_open_write(const std::string& name, int mode_bits) {
    if (mode_bits > kModeBitsMask || !win_name(name, g_win.name1)) {
        return -1;
    }
    const wchar_t* wide = g_win.name1.c_str();
    const DWORD attributes = mode_bits >= 0 && (mode_bits & kAnyWriteBits) == 0
                                 ? FILE_ATTRIBUTE_READONLY
                                 : FILE_ATTRIBUTE_NORMAL;
    for (int round = 0; round < kFreshFileRounds; ++round) {
        HANDLE h = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_NEW, attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            if (GetFileType(h) != FILE_TYPE_DISK) {
                (void)CloseHandle(h);
                return -1;
            }
            return descriptor_for(h, _O_WRONLY);
        }
        const DWORD err = GetLastError();
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
            return -1;
        }
        const DWORD existing = GetFileAttributesW(wide);
        if (existing == INVALID_FILE_ATTRIBUTES) {
            continue; // gone meanwhile
        }
        if ((existing & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            // A link (to a directory too): deleted as the entry it is.
            const bool removed = (existing & FILE_ATTRIBUTE_DIRECTORY) != 0
                                     ? RemoveDirectoryW(wide) != 0
                                     : DeleteFileW(wide) != 0;
            if (!removed && GetLastError() != ERROR_FILE_NOT_FOUND) {
                return -1;
            }
            continue;
        }
        if ((existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return -1;
        }
        h = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND) {
                continue;
            }
            return -1;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
            (void)CloseHandle(h);
            SetLastError(ERROR_ACCESS_DENIED);
            return -1;
        }
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            info.nNumberOfLinks > 1) {
            // Planted between the look and the open: nothing was written.
            (void)CloseHandle(h);
            if (!DeleteFileW(wide) && GetLastError() != ERROR_FILE_NOT_FOUND) {
                return -1;
            }
            continue;
        }
        if (!SetEndOfFile(h)) { // the file pointer is at its start
            (void)CloseHandle(h);
            return -1;
        }
        return descriptor_for(h, _O_WRONLY);
    }
    return -1;
}

} // namespace trevox
