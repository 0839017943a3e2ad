// The source-file job: open, back up, pump, then put a complete result in the
// source's place atomically, or report why not and leave the source alone.
#include "jobs/job.h"

#include "console/console.h"
#include "console/messages.h"
#include "jobs/backup.h"
#include "jobs/locks.h"
#include "jobs/names.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <cassert>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

namespace trevox {

JobState g_job;

// Back to the start-of-run state (tests).
void job_reset() {
    // The engine and the read block keep their buffers.
    Engine engine = std::move(g_job.engine);
    std::vector<char> read_block = std::move(g_job.read_block);
    g_job = JobState{};
    g_job.engine = std::move(engine);
    g_job.read_block = std::move(read_block);
    release_folder_locks();
}

FormatOptions settings_format_options() {
    FormatOptions options;
    options.remove_blank_lines = g_settings.RemoveBlankLines != 0;
    options.remove_comments = g_settings.RemoveComments != 0;
    options.combine_split_lines = g_settings.CombineSplitLines != 0;
    options.max_line_length = g_settings.MaxLineLength;
    return options;
}

namespace {

// Closes whichever of the pass's two files is open. A failed job's files are
// not used again, so a failure to store the output is of no interest here.
void close_job_streams() {
    if (bytes_is_open(g_job.input)) {
        bytes_close(g_job.input);
    }
    if (raw_is_open(g_job.output)) {
        (void)raw_close(g_job.output);
    }
}

// The engine's sink for a pass: the output file; under EchoAndLog every line
// shown on standard output and logged first; a failed write reported.
class JobSink final : public EngineSink {
  public:
    JobSink() { wants_lines = g_settings.EchoAndLog != 0; }

    bool store(const char* data, std::size_t n) override {
        return raw_write(g_job.output, data, n);
    }

    void write_failed() override {
        say("%s", msg::error_writing_output);
        say("%s", msg::disk_drive_may_be_full);
        pause();
    }

    // Shown as it is, never as a format; an empty text still reaches the log.
    void line(std::string_view text) override {
        if (!text.empty()) {
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        log_line(text.data(), text.size());
    }
};

// The options of this job for the engine.
FormatOptions job_options() {
    FormatOptions options = settings_format_options();
    options.stamp = g_run.reformat_stamp;
    options.stamp_pending = g_job.stamp_pending != 0;
    options.lf_line_ends = g_job.lf_line_ends;
    return options;
}

// The block the source is read in, allocated on first use.
std::vector<char>& read_block() {
    if (g_job.read_block.size() != kTextBlockBytes) {
        g_job.read_block.resize(kTextBlockBytes);
    }
    return g_job.read_block;
}

// True when every line end of the file is LF alone (at least one, no CR LF),
// read through a reader of its own. False when it cannot be read whole: the
// pass itself then meets the failure.
bool line_ends_lf_only(const std::string& name) {
    ByteReader scan;
    if (!bytes_open_read(scan, name)) {
        return false;
    }
    std::vector<char>& block = read_block();
    LineEndScan ends;
    long got = 0;
    while ((got = bytes_read(scan, block.data(), block.size())) > 0) {
        ends.feed(block.data(), static_cast<std::size_t>(got));
    }
    bytes_close(scan);
    return got == 0 && ends.lf_only();
}

// One pass of the engine from the open input file to the open output file.
// A read error ends the input like the end of the file and is reported in
// `read_failed`. The run's stamp is given at most once.
EngineResult run_pass(EnginePass pass, bool& read_failed) {
    JobSink sink;
    Engine& engine = g_job.engine;
    engine.begin(job_options(), pass, sink);
    std::vector<char>& block = read_block();
    read_failed = false;
    while (!engine.stopped()) {
        const long got = bytes_read(g_job.input, block.data(), block.size());
        if (got <= 0) {
            read_failed = got < 0;
            break;
        }
        engine.write(block.data(), static_cast<std::size_t>(got));
    }
    const EngineResult result = engine.finish();
    if (result.stamp_applied) {
        g_job.stamp_pending = 0;
    }
    return result;
}

// True when both names lead to one file on disk (so writing the one would
// destroy the other).
bool same_file(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    FileId id_a;
    FileId id_b;
    return file_identity(a, id_a) && file_identity(b, id_b) && FileIdEqual{}(id_a, id_b);
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

// A name that opens as written names the file as written; only one that
// does not is matched regardless of letter case.
bool open_source(ByteReader& input, const std::string& name, std::string& source_name) {
    const bool opened = bytes_open_read(input, name);
    source_name = opened ? name : resolve_name_case(name);
    if (!opened && (source_name.empty() || !bytes_open_read(input, source_name))) {
        say(msg::unable_open_read, source_name.c_str());
        say("%s", msg::probably_not_exist);
        return false;
    }
    return true;
}

// Steps: open the source and the temporary file, back up, pump every line,
// then replace the source atomically (or copy it back through the joiner).
int reformat_file(const std::string& name) {
    assert(!bytes_is_open(g_job.input) && !raw_is_open(g_job.output));
    // Another run working in the source's folder is left alone: not even the
    // source is opened (on Windows an open file cannot be replaced).
    if (lock_folder_of(name) != 0) {
        return failed_line_pass();
    }
    if (!open_source(g_job.input, name, g_job.source_name)) {
        return failed_line_pass();
    }
    const std::string& source = g_job.source_name;

    name_with_extension(source, kTempExtension, g_job.temp_name);
    const std::string& temp = g_job.temp_name;
    // A temporary name that is the source itself would empty it when opened.
    if (same_file(temp, source) || !raw_create(g_job.output, temp)) {
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

    // Both passes write the line ends chosen here.
    g_job.lf_line_ends = g_settings.KeepLineEnds != 0 && line_ends_lf_only(source);
    bool read_failed = false;
    const EngineResult result = run_pass(EnginePass::rewrite, read_failed);
    if (!result.had_input) {
        return unreadable_source();
    }
    if (result.stopped) {
        return failed_line_pass();
    }
    // A read error ends the input like the end of the file; the output would
    // then lack the rest of the source.
    if (result.write_errors != 0 || read_failed) {
        return damaged_output();
    }

    bytes_close(g_job.input);
    if (!result.stored || !raw_close(g_job.output)) {
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
    assert(!bytes_is_open(g_job.input) && !raw_is_open(g_job.output));
    assert(&source_name != &g_job.second_temp_name && &temp_name != &g_job.second_temp_name);

    if (temp_name.empty() || !bytes_open_read(g_job.input, temp_name)) {
        ++g_run.job_failures;
        say(msg::unable_open_read, temp_name.c_str());
        say("%s", msg::probably_not_exist);
        return 1;
    }

    std::string& joined = g_job.second_temp_name;
    name_with_extension(source_name, kSecondTempExtension, joined);
    if (source_name.empty() || file_is_read_only(source_name) || same_file(joined, source_name) ||
        same_file(joined, temp_name) || !raw_create(g_job.output, joined)) {
        bytes_close(g_job.input);
        return copy_back_unwritable(source_name);
    }

    // An empty temporary file is a valid result: an empty source.
    bool read_failed = false;
    const EngineResult result = run_pass(EnginePass::join, read_failed);
    bytes_close(g_job.input);
    const bool stored = raw_close(g_job.output) && result.stored;

    if (!result.stopped && result.write_errors == 0 && stored && !read_failed) {
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
    } else if (result.write_errors == 0) {
        say("%s", msg::error_writing_output);
        say("%s", msg::disk_drive_may_be_full);
        pause();
    }
    return 1;
}

} // namespace trevox
