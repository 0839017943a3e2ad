// Lock files on Windows: the lock is the open file itself, shared with no one
// and deleted when its handle is closed. The system closes the handles of a
// process that ends, however it ends, so a killed run leaves neither a lock
// nor a file behind.
//
// The file is opened as the entry itself (a reparse point is not followed),
// so that the deletion at the close removes that entry and never what a link
// leads to. The deletion is asked for at the open, not set on the open file:
// a file whose deletion is pending refuses every open with "access denied",
// which would hide a held lock behind the answer of a folder that takes no
// new file.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <cassert>

namespace trevox {

namespace {

// Rounds of replacing what is in the way at the name before giving up.
constexpr int kLockRounds = 4;

// True when `err`, met creating a file, can mean that the folder takes no new
// file.
bool refuses_new_files(DWORD err) {
    return err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT || err == ERROR_DISK_FULL ||
           err == ERROR_HANDLE_DISK_FULL;
}

} // namespace

LockStatus lock_file_take(FileLock& lock, const std::string& name) {
    assert(lock.handle == -1);
    if (!win_name(name, g_win.name1)) {
        return LockStatus::failed;
    }
    const wchar_t* wide = g_win.name1.c_str();
    for (int round = 0; round < kLockRounds; ++round) {
        HANDLE h = CreateFileW(wide, GENERIC_READ | DELETE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE |
                                   FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD err = GetLastError();
            if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION) {
                return LockStatus::busy;
            }
            if (GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES) {
                return LockStatus::failed; // a folder, a read-only file: no lock file
            }
            const DWORD look = GetLastError();
            if (look == ERROR_FILE_NOT_FOUND && refuses_new_files(err)) {
                return LockStatus::no_new_files;
            }
            if (look == ERROR_ACCESS_DENIED) {
                return LockStatus::busy; // its holder is just closing it: deletion pending
            }
            return LockStatus::failed;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            (void)CloseHandle(h);
            return LockStatus::failed;
        }
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            info.nNumberOfLinks > 1) {
            // A link, or a file with further names, in the way: closing it
            // deletes this name only; the next round makes a file of its own.
            (void)CloseHandle(h);
            continue;
        }
        lock.handle = reinterpret_cast<std::intptr_t>(h);
        lock.name = name;
        lock.id.device = info.dwVolumeSerialNumber;
        lock.id.inode =
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        return LockStatus::taken;
    }
    return LockStatus::failed;
}

// Closing the only handle deletes the file and lets go of the lock at once.
void lock_file_release(FileLock& lock) {
    if (lock.handle == -1) {
        return;
    }
    (void)CloseHandle(reinterpret_cast<HANDLE>(lock.handle));
    lock = FileLock{};
}

} // namespace trevox
