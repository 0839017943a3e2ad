// Backup copies and the restore scripts.
//
// Before a source file is changed, make_backup copies it byte for byte to a
// backup file beside it and appends a copy line to Restore.bat (and, on POSIX,
// to Restore.sh). A backup file written earlier in the same run is never
// overwritten: the same source again keeps its first backup (also when it is
// reached under another name, through a link), a different source whose
// backup name is taken fails.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <string>
#include <unordered_map>

namespace trevox {

// The restore script of the Windows command interpreter, in the current directory.
inline constexpr const char* kRestoreBatName = "Restore.bat";
// Its POSIX counterpart, beside it.
inline constexpr const char* kRestoreShName = "Restore.sh";
// Permission bits of Restore.sh.
inline constexpr int kRestoreShMode = 0755;
// The source name in a restore entry starts in this column (1-based) after a
// short backup name.
inline constexpr std::size_t kRestoreEntryColumn = 25;

#if defined(_WIN32)
inline constexpr bool kWriteRestoreSh = false;
#else
inline constexpr bool kWriteRestoreSh = true;
#endif

// The source a backup file of this run was made from. The source is known by
// its identities (RestoreState::sources) and by its directory entry (its
// directory's identity and its last component): a job that replaces the
// source gives it a new identity under the same entry.
struct BackupRecord {
    FileId source_dir_id;
    std::string source_name; // as the job named it (its backup name follows from it)
};

// The name a job backed up last, with its identity then: once its job has
// ended, the identity the file has now is recorded too.
struct LastBackedUp {
    bool pending = false;
    std::string source_name;
    FileId source_id;
    FileId backup_id;
};

struct RestoreState {
    TextWriter restore_file; // Restore.bat
    RawWriter restore_sh;    // Restore.sh (POSIX)
    std::string backup_name;
    std::string entry;    // one Restore.bat entry
    std::string sh_entry; // one Restore.sh line
    std::string scratch;  // directory part of a name
    // Backup files written in this run, by the backup's identity.
    std::unordered_map<FileId, BackupRecord, FileIdHash, FileIdEqual> backups;
    // The files backed up in this run, by every identity they are known to
    // have, each leading to its backup's identity: a file reached again under
    // any name (a link, a hard link, another spelling) is found here.
    std::unordered_map<FileId, FileId, FileIdHash, FileIdEqual> sources;
    LastBackedUp last;
};
extern RestoreState g_restore;

// Closes any open script and forgets the backups of the run (tests, run start).
void restore_reset();

// Creates Restore.bat (and Restore.sh) with its header, flushed. 0 on success,
// 1 after its three messages.
int create_restore_script();

// Closes Restore.bat and Restore.sh (end of run). Reports a failure to store
// what was written.
void close_restore_script();

// Writes `text` to Restore.bat. On failure: two messages and a pause; the
// caller is not told. Nothing happens while no script is open.
void restore_write(const std::string& text);

// Backup copy of the source and its restore entry. 0 on success, 1 after
// reporting the failure and pausing (also when an open restore script could
// not store the entry). A file backed up before in this run, under this name
// or another, keeps that backup: only its entry is written again, with this
// name.
int make_backup(const std::string& source_name);

// The backup name of `source_name`: the name cut at its extension (the first
// "." of its last component), then ".bkb", ".bkc", ".bkf" when the lower-cased
// extension contains ".bas", ".cls", ".frm" (tested in that order), else
// ".bak"; a name without extension gets ".bak" appended.
void make_backup_name(const std::string& source_name, std::string& out);

// True when `name` must be quoted in Restore.bat (it holds a blank, a tab or
// one of & | < > ^ ( ) [ ] { } = ; ! ' + , ` ~ %).
bool restore_name_needs_quotes(const std::string& name);

// One Restore.bat entry: "Copy  ", the backup name, four blanks, blanks up to
// 24 characters, the source name, "\n\n". Names that need quotes are written
// in double quotes with every "%" doubled.
void make_restore_entry(const std::string& backup_name, const std::string& source_name,
                        std::string& out);

// One Restore.sh line: cp -p -- 'backup' 'source', "\" turned into "/", each
// name single-quoted for sh.
void make_restore_sh_entry(const std::string& backup_name, const std::string& source_name,
                           std::string& out);

} // namespace trevox
