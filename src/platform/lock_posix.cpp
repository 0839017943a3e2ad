// Lock files on POSIX: flock() on a file of the lock's own, which the kernel
// lets go of when the process ends.
//
// The lock file is removed by its holder before the lock is let go of. A run
// that opened the file meanwhile and then gets the lock finds another file (or
// none) under the name, lets go and tries again; so a lock is only ever held
// on the file that is under the name. A killed run leaves the empty file
// behind, unlocked: the next run takes it.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <cassert>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trevox {

namespace {

// Readable by all, so that every user's run can open it and see the lock.
constexpr mode_t kLockFileMode = 0644;
// Rounds of finding another file under the name before giving up.
constexpr int kLockRounds = 4;

constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// True when `err`, met creating a file, says that the folder takes no new
// file (as opposed to something in the way at the name).
bool refuses_new_files(int err) {
    return err == EACCES || err == EPERM || err == EROFS || err == ENOSPC
#if defined(EDQUOT)
           || err == EDQUOT
#endif
        ;
}

// Opens the lock file, created when missing. Read and write where allowed
// (a lock over NFS needs a file open for writing), else read only (another
// user's lock file). -1 with errno.
int open_lock_file(const char* os) {
    int fd = ::open(os, O_RDWR | O_CREAT | O_EXCL | kOpenFlags, kLockFileMode);
    if (fd >= 0) {
        (void)::fchmod(fd, kLockFileMode); // not reduced by the umask
        return fd;
    }
    if (errno != EEXIST) {
        return -1;
    }
    fd = ::open(os, O_RDWR | kOpenFlags);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(os, O_RDONLY | kOpenFlags);
    }
    return fd;
}

} // namespace

LockStatus lock_file_take(FileLock& lock, const std::string& name) {
    assert(lock.handle < 0);
    const char* os = os_name(name, g_posix.name1);
    if (os == nullptr) {
        return LockStatus::failed;
    }
    for (int round = 0; round < kLockRounds; ++round) {
        const int fd = open_lock_file(os);
        if (fd < 0) {
            const int err = errno;
            struct stat st {};
            if (::lstat(os, &st) != 0) {
                if (errno == ENOENT && refuses_new_files(err)) {
                    return LockStatus::no_new_files;
                }
                if (errno == ENOENT && err == ENOENT) {
                    continue; // removed by its holder meanwhile
                }
                return LockStatus::failed;
            }
            if (S_ISLNK(st.st_mode)) {
                // No run opens a lock file through a link: this one is in the
                // way of the lock, not a lock.
                if (::unlink(os) != 0 && errno != ENOENT) {
                    return LockStatus::failed;
                }
                continue;
            }
            return LockStatus::failed;
        }
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            (void)::close(fd);
            return LockStatus::failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            (void)::close(fd);
            return err == EWOULDBLOCK || err == EAGAIN ? LockStatus::busy : LockStatus::failed;
        }
        struct stat named {};
        if (::lstat(os, &named) != 0 || !same_file(held, named)) {
            (void)::close(fd); // its holder removed it: the name has another file now, or none
            continue;
        }
        if (held.st_nlink > 1) {
            // The file has further names (a copy of the folder made with
            // links): the name gets a lock file of its own.
            (void)::unlink(os);
            (void)::close(fd);
            continue;
        }
        lock.handle = fd;
        lock.name = name;
        lock.id.device = static_cast<std::uint64_t>(held.st_dev);
        lock.id.inode = static_cast<std::uint64_t>(held.st_ino);
        return LockStatus::taken;
    }
    return LockStatus::failed;
}

// Only the file the lock is held on is removed: a name that leads elsewhere
// now is left alone.
void lock_file_release(FileLock& lock) {
    if (lock.handle < 0) {
        return;
    }
    const char* os = os_name(lock.name, g_posix.name1);
    struct stat named {};
    if (os != nullptr && ::lstat(os, &named) == 0 &&
        static_cast<std::uint64_t>(named.st_dev) == lock.id.device &&
        static_cast<std::uint64_t>(named.st_ino) == lock.id.inode) {
        (void)::unlink(os);
    }
    (void)::close(static_cast<int>(lock.handle));
    lock = FileLock{};
}

} // namespace trevox
