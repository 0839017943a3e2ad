// Backup copies and the restore scripts Restore.bat and Restore.sh.
#include "jobs/backup.h"

#include "console/console.h"
#include "console/messages.h"
#include "jobs/names.h"

#include <cassert>
#include <cstring>

namespace trevox {

RestoreState g_restore;

namespace {

// The header of Restore.bat; the creation line goes between the two parts.
constexpr const char* kBatHeadBeforeStamp[] = {
    "@echo off \n",
    "cls \n",
    "echo . \n",
    "echo .  This batch file will restore the last files \n",
    "echo .  processed by Trevox to their pre-processed \n",
    "echo .  state by copying the backup files back to the \n",
    "echo .  original files. \n",
    "echo . \n",
};
constexpr const char* kBatHeadAfterStamp[] = {
    "echo . \n",
    "echo .  Use Ctrl-C to cancel or any key to continue \n",
    "echo . \n\n",
    "pause \n\n",
};

// The header of Restore.sh: the same explanation through echo, a wait for
// Enter; the creation line goes between the two parts.
constexpr const char* kShHeadBeforeStamp =
    "#!/bin/sh\n"
    "# Copies the backup files of the last Trevox run back over their sources.\n"
    "cd -- \"$(dirname -- \"$0\")\" || exit 1\n"
    "echo '. '\n"
    "echo '.  This batch file will restore the last files '\n"
    "echo '.  processed by Trevox to their pre-processed '\n"
    "echo '.  state by copying the backup files back to the '\n"
    "echo '.  original files. '\n"
    "echo '. '\n";
constexpr const char* kShHeadAfterStamp = "echo '. '\n"
                                          "echo '.  Use Ctrl-C to cancel or Enter to continue '\n"
                                          "echo '. '\n"
                                          "read dummy\n"
                                          "\n";

// The batch command prefix of a restore entry and the gap after the backup name.
constexpr const char* kCopyWord = "Copy  ";
constexpr const char* kEntryGap = "    ";
// Characters that make Restore.bat quote a name.
constexpr const char* kBatSpecial = " \t&|<>^()[]{}=;!'+,`~%";

// True when `text` from `from` holds `needle` with letters A-Z of `text`
// lower-cased (`needle` is lower case).
bool contains_lowered(const std::string& text, std::size_t from, const char* needle) {
    const std::size_t n = std::strlen(needle);
    if (text.size() < from + n) {
        return false;
    }
    for (std::size_t i = from; i + n <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < n) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
            if (c != needle[k]) {
                break;
            }
            ++k;
        }
        if (k == n) {
            return true;
        }
    }
    return false;
}

// Appends `name` as Restore.bat writes it: quoted with "%" doubled when it
// holds a special character, else as it is.
void append_bat_name(std::string& out, const std::string& name) {
    if (!restore_name_needs_quotes(name)) {
        out += name;
        return;
    }
    out += '"';
    for (const char c : name) {
        out += c;
        if (c == '%') {
            out += '%';
        }
    }
    out += '"';
}

// Appends `name` single-quoted for sh, "\" turned into "/".
void append_sh_name(std::string& out, const std::string& name) {
    out += '\'';
    for (const char c : name) {
        if (c == '\\') {
            out += '/';
        } else if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
}

// True when `name` is missing, a link (replaced by a new file when opened
// for writing), or a regular file that may be written, so that opening it for
// writing is expected to succeed.
bool restore_script_writable(const char* name) {
    return !file_exists(name) || is_symbolic_link(name) ||
           (is_regular_file(name) && !file_is_read_only(name));
}

// The two messages and the pause of a failed write to Restore.bat.
void report_bat_write_failure() {
    say("%s", msg::restore_write_failed);
    say("%s", msg::disk_drive_may_be_full);
    pause();
}

// The two messages and the pause of a failed write to Restore.sh.
void report_sh_write_failure() {
    say("%s", msg::restore_sh_write_failed);
    say("%s", msg::disk_drive_may_be_full);
    pause();
}

// Pushes Restore.bat to disk; reports a failure not reported before.
void restore_flush() {
    TextWriter& w = g_restore.restore_file;
    if (!text_is_open(w)) {
        return;
    }
    const bool failed_before = w.failed;
    if (!text_flush(w) && !failed_before) {
        report_bat_write_failure();
    }
}

// Writes `text` to Restore.sh (unbuffered). Nothing while it is not open.
void restore_sh_write(const std::string& text) {
    RawWriter& w = g_restore.restore_sh;
    if (!raw_is_open(w)) {
        return;
    }
    if (!raw_write(w, text)) {
        report_sh_write_failure();
    }
}

// The header of Restore.sh, its creation line taken from the batch one.
void write_sh_header() {
    std::string& line = g_restore.sh_entry;
    line = kShHeadBeforeStamp;
    const std::string& stamp = g_run.restore_stamp_line;
    const std::string echo_word = "echo ";
    if (stamp.compare(0, echo_word.size(), echo_word) == 0) {
        std::size_t end = stamp.size();
        while (end > echo_word.size() && stamp[end - 1] == '\n') {
            --end;
        }
        line += "echo ";
        line += '\'';
        for (std::size_t i = echo_word.size(); i < end; ++i) {
            if (stamp[i] == '\'') {
                line += "'\\''";
            } else {
                line += stamp[i];
            }
        }
        line += "'\n";
    }
    line += kShHeadAfterStamp;
    restore_sh_write(line);
}

// The directory part of `name` as a name of that directory ("." without one).
void directory_of(const std::string& name, std::string& out) {
    out.assign(name, 0, leaf_pos(name));
    out += '.';
}

// Fills `rec` for `source_name`. False when its directory has no identity.
bool describe_source(const std::string& source_name, BackupRecord& rec) {
    directory_of(source_name, g_restore.scratch);
    if (!file_identity(g_restore.scratch, rec.source_dir_id)) {
        return false;
    }
    rec.source_name = source_name;
    return true;
}

// True when `source_name` is the directory entry recorded in `rec` (the file
// may have been replaced since).
bool same_source(const BackupRecord& rec, const std::string& source_name) {
    const FileIdEqual eq;
    directory_of(source_name, g_restore.scratch);
    FileId dir;
    if (!file_identity(g_restore.scratch, dir) || !eq(dir, rec.source_dir_id)) {
        return false;
    }
    const std::size_t a = leaf_pos(source_name);
    const std::size_t b = leaf_pos(rec.source_name);
    return source_name.compare(a, std::string::npos, rec.source_name, b, std::string::npos) == 0;
}

// Remembers that the job of `source_name`, whose identity is `source_id`,
// works on the file backed up as `backup_id`.
void note_backed_up(const std::string& source_name, const FileId& source_id,
                    const FileId& backup_id) {
    LastBackedUp& last = g_restore.last;
    g_restore.sources.insert_or_assign(source_id, backup_id);
    last.pending = true;
    last.source_name = source_name;
    last.source_id = source_id;
    last.backup_id = backup_id;
}

// The job of the name backed up last has ended: the identity its file has
// now (a replaced source is a new file) leads to the same backup. The
// identity it had is forgotten unless another name (a hard link) still holds
// that file, as the system may give it to a new file.
void record_last_identity() {
    LastBackedUp& last = g_restore.last;
    if (!last.pending) {
        return;
    }
    last.pending = false;
    const FileIdEqual eq;
    FileId now;
    if (!file_identity(last.source_name, now) || eq(now, last.source_id)) {
        return;
    }
    if (last.source_id.links <= 1) {
        const auto old = g_restore.sources.find(last.source_id);
        if (old != g_restore.sources.end() && eq(old->second, last.backup_id)) {
            g_restore.sources.erase(old);
        }
    }
    g_restore.sources.insert_or_assign(now, last.backup_id);
}

// Writes the restore entries of `source_name` to both scripts and flushes them.
// False when an open script could not store its entry (the failure has been
// reported): the source must then not be changed, as nothing would restore it.
bool write_restore_entries(const std::string& source_name) {
    make_restore_entry(g_restore.backup_name, source_name, g_restore.entry);
    restore_write(g_restore.entry);
    restore_flush();
    if (raw_is_open(g_restore.restore_sh)) {
        make_restore_sh_entry(g_restore.backup_name, source_name, g_restore.sh_entry);
        restore_sh_write(g_restore.sh_entry);
    }
    const bool bat_failed = text_is_open(g_restore.restore_file) && g_restore.restore_file.failed;
    const bool sh_failed = raw_is_open(g_restore.restore_sh) && g_restore.restore_sh.failed;
    return !bat_failed && !sh_failed;
}

// The same file again, backed up before in this run as `backup_id`: the
// backup keeps the text from before the run and only the entries are written
// again, naming the backup as this name would when that is the same file.
int back_up_again(const std::string& source_name, const FileId& source_id, const FileId& backup_id,
                  const BackupRecord& rec) {
    FileId own;
    if (!file_identity(g_restore.backup_name, own) || !FileIdEqual{}(own, backup_id)) {
        make_backup_name(rec.source_name, g_restore.backup_name);
    }
    note_backed_up(source_name, source_id, backup_id);
    return write_restore_entries(source_name) ? 0 : 1;
}

// The messages of a restore script that cannot be created; 1.
int restore_script_failed(const char* script) {
    if (std::strcmp(script, kRestoreBatName) == 0) {
        say("%s", msg::restore_open_failed);
    } else {
        say(msg::unable_open_write, script);
    }
    say("%s", msg::disk_probably_full);
    say("%s", msg::program_aborted);
    return 1;
}

} // namespace

// Closes what is open and forgets the backups of the run.
void restore_reset() {
    if (text_is_open(g_restore.restore_file)) {
        text_close(g_restore.restore_file);
    }
    if (raw_is_open(g_restore.restore_sh)) {
        raw_close(g_restore.restore_sh);
    }
    g_restore.restore_file.failed = false;
    g_restore.restore_sh.failed = false;
    g_restore.backup_name.clear();
    g_restore.entry.clear();
    g_restore.sh_entry.clear();
    g_restore.scratch.clear();
    g_restore.backups.clear();
    g_restore.sources.clear();
    g_restore.last = LastBackedUp{};
}

// Creates the scripts, writes their headers and flushes them. Neither is
// emptied unless both can be written, so a run that cannot start leaves the
// previous run's scripts whole.
int create_restore_script() {
    assert(!text_is_open(g_restore.restore_file));
    // Restore.bat is the script of every system: its failure is the one
    // reported when neither can be written.
    if (!restore_script_writable(kRestoreBatName)) {
        return restore_script_failed(kRestoreBatName);
    }
    if (kWriteRestoreSh && !restore_script_writable(kRestoreShName)) {
        return restore_script_failed(kRestoreShName);
    }
    if (!text_open_write(g_restore.restore_file, kRestoreBatName)) {
        return restore_script_failed(kRestoreBatName);
    }
    if (kWriteRestoreSh && !raw_open_write(g_restore.restore_sh, kRestoreShName, kRestoreShMode)) {
        text_close(g_restore.restore_file);
        return restore_script_failed(kRestoreShName);
    }
    std::string& line = g_restore.entry;
    for (const char* text : kBatHeadBeforeStamp) {
        line = text;
        restore_write(line);
    }
    restore_write(g_run.restore_stamp_line);
    for (const char* text : kBatHeadAfterStamp) {
        line = text;
        restore_write(line);
    }
    restore_flush();
    if (raw_is_open(g_restore.restore_sh)) {
        write_sh_header();
    }
    return 0;
}

// Closes both scripts; a failure to store what was written is reported.
void close_restore_script() {
    if (text_is_open(g_restore.restore_file)) {
        const bool failed_before = g_restore.restore_file.failed;
        if (!text_close(g_restore.restore_file) && !failed_before) {
            report_bat_write_failure();
        }
    }
    if (raw_is_open(g_restore.restore_sh)) {
        const bool failed_before = g_restore.restore_sh.failed;
        if (!raw_close(g_restore.restore_sh) && !failed_before) {
            report_sh_write_failure();
        }
    }
}

// Writes `text` to Restore.bat; a failed write is reported, not returned.
void restore_write(const std::string& text) {
    if (!text_is_open(g_restore.restore_file)) {
        return;
    }
    if (!text_write(g_restore.restore_file, text)) {
        report_bat_write_failure();
    }
}

// The name cut at its extension plus the backup extension its extension calls for.
void make_backup_name(const std::string& source_name, std::string& out) {
    const std::size_t dot = extension_pos(source_name);
    if (dot == std::string::npos) {
        out = source_name;
        out += ".bak";
        return;
    }
    out.assign(source_name, 0, dot);
    if (contains_lowered(source_name, dot, ".bas")) {
        out += ".bkb";
    } else if (contains_lowered(source_name, dot, ".cls")) {
        out += ".bkc";
    } else if (contains_lowered(source_name, dot, ".frm")) {
        out += ".bkf";
    } else {
        out += ".bak";
    }
}

// True when the name holds a character the command interpreter treats specially.
bool restore_name_needs_quotes(const std::string& name) {
    return name.find_first_of(kBatSpecial) != std::string::npos;
}

// "Copy  " backup, four blanks, blanks up to 24 characters, source, "\n\n".
void make_restore_entry(const std::string& backup_name, const std::string& source_name,
                        std::string& out) {
    out = kCopyWord;
    append_bat_name(out, backup_name);
    out += kEntryGap;
    while (out.size() < kRestoreEntryColumn - 1) {
        out += ' ';
    }
    append_bat_name(out, source_name);
    out += "\n\n";
}

// cp -p -- 'backup' 'source' with sh quoting and "/" separators.
void make_restore_sh_entry(const std::string& backup_name, const std::string& source_name,
                           std::string& out) {
    out = "cp -p -- ";
    append_sh_name(out, backup_name);
    out += ' ';
    append_sh_name(out, source_name);
    out += '\n';
}

// Copies the source to its backup (never over a backup of this run) and
// writes its restore entries. A file backed up before in this run, under any
// name, keeps that backup. A restore entry that could not be stored fails
// the backup: the job then leaves the source as it is.
int make_backup(const std::string& source_name) {
    record_last_identity();
    make_backup_name(source_name, g_restore.backup_name);
    const std::string& backup_name = g_restore.backup_name;

    FileId source_id;
    const bool source_known = file_identity(source_name, source_id);
    if (source_known) {
        const auto backup = g_restore.backups.find(source_id);
        if (backup != g_restore.backups.end()) {
            // A backup of this run named as a source (through a link).
            make_backup_name(backup->second.source_name, g_restore.backup_name);
            say(msg::backup_is_source, backup_name.c_str());
            pause();
            return 1;
        }
        const auto known = g_restore.sources.find(source_id);
        if (known != g_restore.sources.end()) {
            const FileId backup_id = known->second;
            return back_up_again(source_name, source_id, backup_id,
                                 g_restore.backups.at(backup_id));
        }
    }

    FileId backup_id;
    if (file_identity(backup_name, backup_id)) {
        if (source_known && FileIdEqual{}(source_id, backup_id)) {
            say(msg::backup_is_source, backup_name.c_str());
            pause();
            return 1;
        }
        const auto found = g_restore.backups.find(backup_id);
        if (found != g_restore.backups.end()) {
            if (source_known && same_source(found->second, source_name)) {
                // Already backed up in this run (the file was replaced
                // since by another than this run's jobs).
                return back_up_again(source_name, source_id, backup_id, found->second);
            }
            say(msg::backup_clash, backup_name.c_str(), found->second.source_name.c_str());
            say("%s", msg::backup_not_overwritten);
            pause();
            return 1;
        }
    }

    switch (copy_file_exact(source_name, backup_name)) {
    case CopyStatus::ok:
        break;
    case CopyStatus::source_open_failed:
        say(msg::backup_source_open, source_name.c_str());
        pause();
        return 1;
    case CopyStatus::dest_create_failed:
        say(msg::backup_dest_create, backup_name.c_str());
        pause();
        return 1;
    case CopyStatus::write_failed:
        say("\n");
        say(msg::backup_write_error, backup_name.c_str());
        say("%s", msg::disk_may_be_full);
        pause();
        return 1;
    }

    BackupRecord rec;
    if (source_known && file_identity(backup_name, backup_id) &&
        describe_source(source_name, rec)) {
        g_restore.backups.insert_or_assign(backup_id, std::move(rec));
        note_backed_up(source_name, source_id, backup_id);
    }
    return write_restore_entries(source_name) ? 0 : 1;
}

} // namespace trevox
