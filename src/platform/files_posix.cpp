// Binary copies and file operations on POSIX.
#include "platform/platform.h"
#include "platform/posix_internal.h"

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#endif

namespace trevox {

namespace {

constexpr int kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// Read, write and execute for owner, group and others.
constexpr mode_t kAccessBits = 0777;
// Largest request handed to copy_file_range at a time.
constexpr std::size_t kKernelCopyChunk = std::size_t{1} << 30;
constexpr const char kSiblingSuffix[] = ".trevox-XXXXXX";
// Rounds of clearing a name taken by a link before a new file is given up on.
constexpr int kFreshFileRounds = 4;

struct FilesState {
    // A file system seen to refuse clones (FICLONE gave EOPNOTSUPP): its device.
    bool no_clone_known = false;
    dev_t no_clone_device = 0;
};
FilesState g_files;

bool close_fd(int fd) {
    const int rc = ::close(fd);
    return rc == 0 || errno == EINTR;
}

// Copies all of `in` to the empty `out`: a copy-on-write clone when the file
// system offers one, else the in-kernel copy, else (or after either gives up
// with a "not here" error) the block loop from where the kernel stopped.
// `in_st`, when given, is the stat of `in`: a clone is not tried again on a
// file system that refused one.
// The fast paths are taken only while g_io holds the built-in wrappers, so
// that failures injected through g_io are seen by every copy.
bool copy_fd(int in, int out, const struct stat* in_st) {
    if (io_read_is_default() && io_write_is_default()) {
#if defined(FICLONE)
        const bool known_unclonable =
            in_st != nullptr && g_files.no_clone_known && g_files.no_clone_device == in_st->st_dev;
        if (!known_unclonable) {
            if (::ioctl(out, FICLONE, in) == 0) {
                return true;
            }
            if (errno == EOPNOTSUPP && in_st != nullptr) {
                // Both files are on one file system (else EXDEV) and it has
                // no clones: later copies from it go straight to the kernel copy.
                g_files.no_clone_known = true;
                g_files.no_clone_device = in_st->st_dev;
            }
        }
#else
        (void)in_st;
#endif
#if defined(__linux__)
        bool copied_any = false;
        for (;;) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kKernelCopyChunk, 0);
            if (n > 0) {
                copied_any = true;
                continue;
            }
            if (n == 0) {
                // The end of the source. Some file systems report an end at
                // once for files that do hold data: the block loop confirms it.
                if (copied_any) {
                    return true;
                }
                break;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                errno == ENOTSUP || errno == EBADF || errno == EPERM) {
                break; // not possible here: the offsets tell the loop where to go on
            }
            return false;
        }
#endif
    }
    return copy_by_blocks(in, out);
}

bool read_only_by_stat(const char* os, const struct stat& st) {
    return (st.st_mode & kAnyWriteBits) == 0 || ::access(os, W_OK) != 0;
}

// Gives the file at `fd` the owner (when it differs and the OS lets us) and
// the permission bits of `like`.
bool take_attributes(int fd, const struct stat& like) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) {
        return false;
    }
    if (now.st_uid != like.st_uid || now.st_gid != like.st_gid) {
        (void)::fchown(fd, like.st_uid, like.st_gid); // best effort: only root may give files away
    }
    return ::fchmod(fd, like.st_mode & kPermissionBits) == 0;
}

// True when `a` already has the owner, group and permission bits of `like`.
bool same_attributes(const struct stat& a, const struct stat& like) {
    return a.st_uid == like.st_uid && a.st_gid == like.st_gid &&
           (a.st_mode & kPermissionBits) == (like.st_mode & kPermissionBits);
}

// The rename crossed file systems (the target is reached through a link):
// copy `temp` into a new file beside `target`, rename that over `target`,
// then remove `temp`.
bool replace_across_devices(const char* temp, const char* target, const struct stat& like) {
    std::string sibling(target);
    sibling += kSiblingSuffix;
    const int out = ::mkostemp(sibling.data(), O_CLOEXEC);
    if (out < 0) {
        return false;
    }
    bool ok = false;
    const int in = ::open(temp, O_RDONLY | O_CLOEXEC);
    if (in >= 0) {
        ok = copy_fd(in, out, nullptr) && take_attributes(out, like);
        (void)close_fd(in);
    }
    ok = close_fd(out) && ok;
    if (ok && ::rename(sibling.c_str(), target) == 0) {
        (void)::unlink(temp);
        return true;
    }
    (void)::unlink(sibling.c_str());
    return false;
}

// True when the entry `os_path` itself is a symbolic link.
bool names_a_link(const char* os_path) {
    struct stat st {};
    return ::lstat(os_path, &st) == 0 && S_ISLNK(st.st_mode);
}

// Removes the entry `os_path` (a link: what it leads to stays as it is).
// True when it is gone.
bool remove_entry(const char* os_path) {
    return ::unlink(os_path) == 0 || errno == ENOENT;
}

} // namespace

// The usual case, a free name, takes a single system call. A taken name is
// opened without following a link and without emptying, and the open file is
// checked: only a plain file with no further names, that may be written, is
// emptied. Whatever else is there is removed (a link) or refused, never
// written. A name that keeps being taken by new links gives up after a few
// rounds.
int open_for_writing(const char* os_path, unsigned mode, const struct stat* not_this) {
    bool carry_mode = false;
    mode_t carried = 0;
    for (int round = 0; round < kFreshFileRounds; ++round) {
        int fd = ::open(os_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            if (carry_mode && ::fchmod(fd, carried) != 0) {
                (void)close_fd(fd);
                (void)::unlink(os_path);
                return -1;
            }
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
        // Not blocking: a pipe at the name must not hold the run.
        fd = ::open(os_path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) {
                continue; // gone meanwhile
            }
            if ((errno == ELOOP || errno == EMLINK) && names_a_link(os_path)) {
                struct stat target {};
                if (not_this != nullptr && ::stat(os_path, &target) == 0 &&
                    same_file(target, *not_this)) {
                    return -1;
                }
                if (!remove_entry(os_path)) {
                    return -1;
                }
                carry_mode = false;
                continue;
            }
            return -1; // a directory, a pipe nobody reads, no permission
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & kAnyWriteBits) == 0 ||
            (not_this != nullptr && same_file(st, *not_this))) {
            (void)close_fd(fd);
            return -1;
        }
        if (st.st_nlink > 1) {
            (void)close_fd(fd);
            if (!remove_entry(os_path)) {
                return -1;
            }
            carry_mode = true;
            carried = st.st_mode & kAccessBits;
            continue;
        }
        if (::ftruncate(fd, 0) != 0) {
            (void)close_fd(fd);
            return -1;
        }
        return fd; // O_NONBLOCK has no effect on a plain file
    }
    return -1;
}

// Copies `from` to `to` byte for byte. A destination that is the source itself
// (also through a link), or that is read-only, is refused before anything is
// emptied. A read error of the source is reported as a failed copy
// (write_failed).
CopyStatus copy_file_exact(const std::string& from, const std::string& to) {
    const char* src = os_name(from, g_posix.name1);
    if (src == nullptr) {
        return CopyStatus::source_open_failed;
    }
    const char* dst = os_name(to, g_posix.name2);
    if (dst == nullptr) {
        return CopyStatus::dest_create_failed;
    }
    const int in = ::open(src, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        return CopyStatus::source_open_failed;
    }
    struct stat src_st {};
    if (::fstat(in, &src_st) != 0 || !S_ISREG(src_st.st_mode)) {
        (void)close_fd(in);
        return CopyStatus::source_open_failed;
    }
    const int out = open_for_writing(dst, kNewFileMode, &src_st);
    if (out < 0) {
        (void)close_fd(in);
        return CopyStatus::dest_create_failed;
    }
    const bool copied = copy_fd(in, out, &src_st);
    (void)close_fd(in);
    const bool closed = close_fd(out);
    return copied && closed ? CopyStatus::ok : CopyStatus::write_failed;
}

// Renames `temp` over `target` (over the file a symbolic link points to, so
// the link stays). A read-only target is refused before anything changes.
ReplaceStatus replace_file(const std::string& temp, const std::string& target) {
    const char* tmp = os_name(temp, g_posix.name1);
    const char* tgt = os_name(target, g_posix.name2);
    if (tmp == nullptr || tgt == nullptr) {
        return ReplaceStatus::failed;
    }
    struct stat tmp_st {};
    if (::lstat(tmp, &tmp_st) != 0 || !S_ISREG(tmp_st.st_mode)) {
        return ReplaceStatus::failed;
    }
    struct stat st {};
    const bool found = ::lstat(tgt, &st) == 0;
    const bool link = found && S_ISLNK(st.st_mode);
    if (link) {
        char* real = ::realpath(tgt, nullptr);
        if (real == nullptr) {
            return ReplaceStatus::failed;
        }
        g_posix.name3.assign(real);
        std::free(real);
        tgt = g_posix.name3.c_str();
    }
    // Without a link, what lstat saw is what stat would see.
    if (!found || (link && ::stat(tgt, &st) != 0)) {
        // Nothing under the name: the new text simply takes its place.
        return errno == ENOENT && ::rename(tmp, tgt) == 0 ? ReplaceStatus::ok
                                                          : ReplaceStatus::failed;
    }
    if (read_only_by_stat(tgt, st)) {
        return ReplaceStatus::read_only;
    }
    if (!S_ISREG(st.st_mode) || same_file(st, tmp_st)) {
        return ReplaceStatus::failed;
    }
    // The usual case needs no change: the new file was made by this user
    // with the same permission bits.
    if (!same_attributes(tmp_st, st)) {
        const int fd = ::open(tmp, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return ReplaceStatus::failed;
        }
        const bool attributes = take_attributes(fd, st);
        (void)close_fd(fd);
        if (!attributes) {
            return ReplaceStatus::failed;
        }
    }
    if (::rename(tmp, tgt) == 0) {
        return ReplaceStatus::ok;
    }
    if (errno == EXDEV && replace_across_devices(tmp, tgt, st)) {
        return ReplaceStatus::ok;
    }
    return ReplaceStatus::failed;
}

bool file_is_read_only(const std::string& name) {
    const char* os = os_name(name, g_posix.name1);
    struct stat st {};
    return os != nullptr && ::stat(os, &st) == 0 && read_only_by_stat(os, st);
}

bool file_remove(const std::string& name) {
    const char* os = os_name(name, g_posix.name1);
    return os != nullptr && ::unlink(os) == 0;
}

bool file_exists(const std::string& name) {
    const char* os = os_name(name, g_posix.name1);
    struct stat st {};
    return os != nullptr && ::lstat(os, &st) == 0;
}

bool is_symbolic_link(const std::string& name) {
    const char* os = os_name(name, g_posix.name1);
    return os != nullptr && names_a_link(os);
}

bool is_regular_file(const std::string& name) {
    const char* os = os_name(name, g_posix.name1);
    struct stat st {};
    return os != nullptr && ::stat(os, &st) == 0 && S_ISREG(st.st_mode);
}

bool file_identity(const std::string& name, FileId& out) {
    const char* os = os_name(name, g_posix.name1);
    struct stat st {};
    if (os == nullptr || ::stat(os, &st) != 0) {
        return false;
    }
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.links = static_cast<std::uint64_t>(st.st_nlink);
    return true;
}

} // namespace trevox
