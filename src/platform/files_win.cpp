// Binary copies and file operations on Windows.
#include "platform/platform.h"
#include "platform/win_internal.h"

#include <windows.h>

#include <cassert>
#include <vector>

namespace trevox {

namespace {

// Attributes a replacing file takes over from the file it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr const wchar_t kSiblingSuffix[] = L".trevox-";

struct FilesState {
    unsigned sibling_count = 0; // makes each sibling name of a run new
};
FilesState g_files;

// Volume serial number and file index of the entry `wide` names (following
// links). False when it cannot be opened.
bool identity_of(const std::wstring& wide, FileId& out) {
    HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    (void)CloseHandle(h);
    if (!ok) {
        return false;
    }
    out.device = info.dwVolumeSerialNumber;
    out.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    out.links = info.nNumberOfLinks;
    return true;
}

// True when the file carries the read-only attribute, or this process may
// not open it for writing.
bool read_only_by_attributes(const std::wstring& wide, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    (void)CloseHandle(h);
    return false;
}

// The final path of a link, into `out`. False when it cannot be followed.
bool final_path(const std::wstring& wide, std::wstring& out) {
    HANDLE h = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD need = GetFinalPathNameByHandleW(h, nullptr, 0, FILE_NAME_NORMALIZED);
    bool ok = false;
    if (need > 0) {
        out.resize(need);
        const DWORD got = GetFinalPathNameByHandleW(h, out.data(), need, FILE_NAME_NORMALIZED);
        ok = got > 0 && got < need;
        out.resize(ok ? got : 0);
    }
    (void)CloseHandle(h);
    return ok;
}

// The move crossed volumes (the target is reached through a link): copy
// `temp` to a new file beside `target`, move that over `target`, then remove
// `temp`.
bool replace_across_volumes(const std::wstring& temp, const std::wstring& target) {
    std::wstring sibling = target;
    sibling += kSiblingSuffix;
    sibling += std::to_wstring(GetCurrentProcessId());
    sibling += L'-';
    sibling += std::to_wstring(++g_files.sibling_count);
    if (!CopyFileW(temp.c_str(), sibling.c_str(), TRUE)) {
        return false;
    }
    if (MoveFileExW(sibling.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        (void)DeleteFileW(temp.c_str());
        return true;
    }
    (void)DeleteFileW(sibling.c_str());
    return false;
}

} // namespace

// Copies `from` to `to` byte for byte through g_io. A destination that is the
// source itself is refused before anything is emptied. A read error of the
// source is reported as a failed copy (write_failed).
CopyStatus copy_file_exact(const std::string& from, const std::string& to) {
    if (!win_name(to, g_win.name2)) {
        return from.empty() ? CopyStatus::source_open_failed : CopyStatus::dest_create_failed;
    }
    const int in = os_open_read(from);
    if (in < 0) {
        return CopyStatus::source_open_failed;
    }
    FileId src_id;
    FileId dst_id;
    if (win_name(from, g_win.name1) && identity_of(g_win.name1, src_id) &&
        identity_of(g_win.name2, dst_id) && src_id.device == dst_id.device &&
        src_id.inode == dst_id.inode) {
        (void)os_close(in);
        return CopyStatus::dest_create_failed;
    }
    const int out = os_open_write(to, -1);
    if (out < 0) {
        (void)os_close(in);
        return CopyStatus::dest_create_failed;
    }
    const bool copied = copy_by_blocks(in, out);
    (void)os_close(in);
    const bool closed = os_close(out);
    return copied && closed ? CopyStatus::ok : CopyStatus::write_failed;
}

// Moves `temp` over `target` in one step (over the file a link points to, so
// the link stays). A target with the read-only attribute is refused before
// anything changes: some systems would replace it.
ReplaceStatus replace_file(const std::string& temp, const std::string& target) {
    std::wstring& tmp = g_win.name1;
    std::wstring& tgt = g_win.name2;
    if (!win_name(temp, tmp) || !win_name(target, tgt)) {
        return ReplaceStatus::failed;
    }
    const DWORD tmp_attributes = GetFileAttributesW(tmp.c_str());
    if (tmp_attributes == INVALID_FILE_ATTRIBUTES ||
        (tmp_attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return ReplaceStatus::failed;
    }
    DWORD attributes = GetFileAttributesW(tgt.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (!final_path(tgt, g_win.name3)) {
            return ReplaceStatus::failed;
        }
        tgt.swap(g_win.name3);
        attributes = GetFileAttributesW(tgt.c_str());
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Nothing under the name: the new text simply takes its place.
        const DWORD err = GetLastError();
        return (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) &&
                       MoveFileExW(tmp.c_str(), tgt.c_str(), MOVEFILE_WRITE_THROUGH)
                   ? ReplaceStatus::ok
                   : ReplaceStatus::failed;
    }
    if (read_only_by_attributes(tgt, attributes)) {
        return ReplaceStatus::read_only;
    }
    FileId tmp_id;
    FileId tgt_id;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !identity_of(tmp, tmp_id) ||
        !identity_of(tgt, tgt_id) ||
        (tmp_id.device == tgt_id.device && tmp_id.inode == tgt_id.inode)) {
        return ReplaceStatus::failed;
    }
    const DWORD kept = attributes & kKeptAttributes;
    if (!SetFileAttributesW(tmp.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
        return ReplaceStatus::failed;
    }
    if (MoveFileExW(tmp.c_str(), tgt.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return ReplaceStatus::ok;
    }
    if (GetLastError() == ERROR_NOT_SAME_DEVICE && replace_across_volumes(tmp, tgt)) {
        return ReplaceStatus::ok;
    }
    return ReplaceStatus::failed;
}

bool file_is_read_only(const std::string& name) {
    if (!win_name(name, g_win.name1)) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(g_win.name1.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           read_only_by_attributes(g_win.name1, attributes);
}

bool file_remove(const std::string& name) {
    return win_name(name, g_win.name1) && DeleteFileW(g_win.name1.c_str()) != 0;
}

bool file_exists(const std::string& name) {
    return win_name(name, g_win.name1) &&
           GetFileAttributesW(g_win.name1.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool is_symbolic_link(const std::string& name) {
    if (!win_name(name, g_win.name1)) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(g_win.name1.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool is_regular_file(const std::string& name) {
    if (!win_name(name, g_win.name1)) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(g_win.name1.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Volume serial number and file index.
bool file_identity(const std::string& name, FileId& out) {
    return win_name(name, g_win.name1) && identity_of(g_win.name1, out);
}

// Names on Windows are matched regardless of letter case already.
std::string resolve_name_case(const std::string& name) {
    return name;
}

} // namespace trevox
