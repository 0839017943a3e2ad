// The source-file job: open, back up, pump, then put a complete result in the
// source's place atomically, or report why not and leave the source alone.
#include "jobs/job.h"

#include "console/console.h"
#include "console/messages.h"
#include "engine/joiner.h"
#include "engine/pump.h"
#include "jobs/backup.h"
#include "jobs/locks.h"
#include "jobs/names.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <cassert>
#include <cstdio>

namespace trevox {

JobState g_job;

// Back to the start-of-run state (tests).
void job_reset() {
    g_job = JobState{};
    release_folder_locks();
}

namespace {

// Closes whichever of the two stream slots is open. A failed job's streams are
// not used again, so a failure to store the output is of no interest here.
void close_job_streams() {
    if (text_is_open(g_pump.input_stream)) {
        text_close(g_pump.input_stream);
    }
    if (text_is_open(g_pump.output_stream)) {
        (void)text_close(g_pump.output_stream);
    }
}

// True when both names lead to one file on disk (so writing the one would
// destroy the other).
bool same_file(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    FileId id_a;
    FileId id_b;
    return file_identity(a, id_a) && file_identity(b, id_b) && id_a.device == id_b.device &&
           id_a.inode == id_b.inode;
}

bool verbose() {
    return g_settings.VerboseMode != 0;
}

// A failed line pass: the streams are closed, the source and any temporary
// file stay. 0 in multi-file mode (the caller goes on), else 1.
int failed_line_pass() {
    close_job_streams();
    ++g_run.job_failures;
    if (g_job.multi_file_mode != 0) {
        say("%s", msg::program_will_continue);
        pause();
        console_clear();
        show_banner();
        return 0;
    }
    say("%s", msg::program_will_abort);
    pause();
    say("\n");
    return 1;
}

// Nothing could be read from the source: reported, then a failed line pass.
int unreadable_source() {
    say("\n");
    say(msg::unable_to_read, g_job.source_name.c_str());
    say("%s", msg::program_will_abort_1);
    pause();
    return failed_line_pass();
}

// The whole input was pumped but the output is damaged (a failed write, a
// close that did not store everything, or a read error): the source stays
// as it is and the temporary file is left for inspection. Result 1.
int damaged_output() {
    close_job_streams();
    ++g_run.job_failures;
    say("\n");
    say(msg::error_detected, g_job.source_name.c_str());
    say("%s", msg::input_not_altered);
    say(msg::see_distorted, g_job.temp_name.c_str());
    say("%s", msg::contact_report);
    say("%s", msg::contact_web);
    say("%s", msg::thank_you);
    pause();
    say("\n");
    return 1;
}

// The source may not be replaced (read-only): its text stays, the result is
// in the temporary file. Result 1.
int source_not_replaceable() {
    ++g_run.job_failures;
    say(msg::error_on_delete, g_job.source_name.c_str());
    say(msg::output_will_be_in, g_job.temp_name.c_str());
    say("%s", msg::contact_notify);
    pause();
    say("\n");
    if (verbose()) {
        console_clear();
    }
    return 1;
}

// Putting `result_name` in the source's place failed; the source still holds
// its old text and the result stays under `result_name`. Result 1.
int replace_failed(const std::string& result_name) {
    ++g_run.job_failures;
    say(msg::error_on_rename, result_name.c_str(), g_job.source_name.c_str());
    say(msg::output_will_be_in, result_name.c_str());
    say("%s", msg::contact_notify);
    pause();
    say("\n");
    return 1;
}

// The end of one file under the verbose and list settings. Result 0.
int finish_file() {
    if (!verbose()) {
        return 0;
    }
    if (g_settings.ListMode != 0) {
        say("\n");
    } else {
        pause();
        console_clear();
        show_banner();
    }
    return 0;
}

// The copy-back pass cannot write the source's replacement. Result 1.
int copy_back_unwritable(const std::string& source_name) {
    ++g_run.job_failures;
    say(msg::unable_open_write, source_name.c_str());
    say("%s", msg::disk_probably_full);
    return 1;
}

} // namespace

// Steps: open the source and the temporary file, back up, pump every line,
// then replace the source atomically (or copy it back through the joiner).
int reformat_file(const std::string& name) {
    assert(!text_is_open(g_pump.input_stream) && !text_is_open(g_pump.output_stream));
    // Another run working in the source's folder is left alone: not even the
    // source is opened (on Windows an open file cannot be replaced).
    if (lock_folder_of(name) != 0) {
        return failed_line_pass();
    }
    // A name that opens as written names the file as written; only one that
    // does not is matched regardless of letter case.
    const bool opened = text_open_read(g_pump.input_stream, name);
    g_job.source_name = opened ? name : resolve_name_case(name);
    const std::string& source = g_job.source_name;

    if (!opened && (source.empty() || !text_open_read(g_pump.input_stream, source))) {
        say(msg::unable_open_read, source.c_str());
        say("%s", msg::probably_not_exist);
        return failed_line_pass();
    }

    name_with_extension(source, kTempExtension, g_job.temp_name);
    const std::string& temp = g_job.temp_name;
    // A temporary name that is the source itself would empty it when opened.
    if (same_file(temp, source) || !text_open_write(g_pump.output_stream, temp)) {
        say(msg::unable_open_write, temp.c_str());
        say("%s", msg::disk_probably_full);
        return failed_line_pass();
    }

    if (make_backup(source) != 0) {
        say(msg::error_creating_backup, source.c_str());
        return failed_line_pass();
    }

    // Straight to standard output: this line is never mirrored.
    if (verbose()) {
        std::printf(msg::copying_to_temp, source.c_str(), temp.c_str());
    }

    pump_reset_pass();
    if (!read_first_line()) {
        return unreadable_source();
    }
    if (reformat_lines() != 0) {
        return failed_line_pass();
    }
    // A read error ends the input like the end of the file; the output would
    // then lack the rest of the source.
    if (g_pump.write_error_count != 0 || g_pump.input_stream.failed) {
        return damaged_output();
    }

    text_close(g_pump.input_stream);
    if (!text_close(g_pump.output_stream)) {
        return damaged_output();
    }

    if (g_settings.CombineSplitLines != 0) {
        if (verbose()) {
            say(msg::copying_back, temp.c_str(), source.c_str());
        }
        (void)copy_back_joined(temp, source);
        return finish_file();
    }

    if (verbose()) {
        say(msg::renaming, temp.c_str(), source.c_str());
    }
    if (file_is_read_only(source)) {
        return source_not_replaceable();
    }
    // An unchanged text leaves the source as it is, modification time included.
    if (files_identical(temp, source)) {
        (void)file_remove(temp);
        return finish_file();
    }
    switch (replace_file(temp, source)) {
    case ReplaceStatus::ok:
        break;
    case ReplaceStatus::read_only:
        return source_not_replaceable();
    case ReplaceStatus::failed:
        return replace_failed(temp);
    }
    return finish_file();
}

// Joins the temporary file's text into a second temporary file beside the
// source, which replaces the source only when it was written whole. 0 when the
// source holds the joined text (or already held it), 1 after a reported failure.
int copy_back_joined(const std::string& temp_name, const std::string& source_name) {
    assert(!text_is_open(g_pump.input_stream) && !text_is_open(g_pump.output_stream));
    assert(&source_name != &g_job.second_temp_name && &temp_name != &g_job.second_temp_name);

    if (temp_name.empty() || !text_open_read(g_pump.input_stream, temp_name)) {
        ++g_run.job_failures;
        say(msg::unable_open_read, temp_name.c_str());
        say("%s", msg::probably_not_exist);
        return 1;
    }

    std::string& joined = g_job.second_temp_name;
    name_with_extension(source_name, kSecondTempExtension, joined);
    if (source_name.empty() || file_is_read_only(source_name) || same_file(joined, source_name) ||
        same_file(joined, temp_name) || !text_open_write(g_pump.output_stream, joined)) {
        text_close(g_pump.input_stream);
        return copy_back_unwritable(source_name);
    }

    pump_reset_pass();
    // An empty temporary file is a valid result: an empty source.
    int loop_result = 0;
    if (read_first_line()) {
        loop_result = copy_back_loop();
    }
    const bool read_failed = g_pump.input_stream.failed;
    text_close(g_pump.input_stream);
    const bool stored = text_close(g_pump.output_stream);

    if (loop_result == 0 && g_pump.write_error_count == 0 && stored && !read_failed) {
        if (files_identical(joined, source_name)) {
            (void)file_remove(joined);
            return 0;
        }
        switch (replace_file(joined, source_name)) {
        case ReplaceStatus::ok:
            return 0;
        case ReplaceStatus::read_only:
            (void)file_remove(joined);
            return copy_back_unwritable(source_name);
        case ReplaceStatus::failed:
            return replace_failed(joined);
        }
    }

    // The source is untouched. Failed writes were reported as they happened;
    // a failure seen only now is reported the same way.
    (void)file_remove(joined);
    ++g_run.job_failures;
    if (read_failed) {
        say("\n");
        say(msg::unable_to_read, temp_name.c_str());
        pause();
    } else if (g_pump.write_error_count == 0) {
        say("%s", msg::error_writing_output);
        say("%s", msg::disk_drive_may_be_full);
        pause();
    }
    return 1;
}

} // namespace trevox
