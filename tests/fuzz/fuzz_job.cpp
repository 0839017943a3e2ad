// Fuzz target: the source-file job the program runs for a single source
// file (backup, rewrite pass into the temporary file, the join pass into the
// second temporary file that replaces the source), over one file's bytes,
// under every combination of settings taken from the input's first bytes,
// with the file read in short pieces as the case chooses. Checked, not only
// "no crash": the output properties of engine_checks.h; without /s a second
// run over the output changes nothing; the backup is byte for byte the input.
// Also: the job succeeds on every input that holds text, no second temporary
// file stays, and the temporary file stays only under /s. What the engine does
// with the text is fuzzed in memory, much faster, by fuzz_engine.
#include "engine_checks.h"
#include "fuzz_support.h"

#include "console/console.h"
#include "jobs/backup.h"
#include "jobs/job.h"
#include "log/log.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace trevox::fuzz {

namespace {

constexpr const char* kSource = "m.bas";
constexpr const char* kBackup = "m.bkb";
constexpr const char* kTemp = "m.tmp";
constexpr const char* kSecondTemp = "m.tm2";

// One job over the bytes in kSource, from a clean start of the run.
int run_job(const Case& c) {
    settings_reset();
    g_settings.RemoveBlankLines = c.remove_blank_lines;
    g_settings.RemoveComments = c.remove_comments;
    g_settings.CombineSplitLines = c.combine_split_lines;
    g_settings.MaxLineLength = c.max_line_length;
    g_settings.VerboseMode = c.verbose | c.list;
    g_settings.ListMode = c.list;
    g_settings.EchoAndLog = c.echo_and_log;
    job_reset();
    restore_reset();
    log_reset();
    g_run.input_name = kSource;
    g_run.job_failures = 0;
    g_job.stamp_pending = c.stamp;
    remove_file(kBackup);
    remove_file(kTemp);
    remove_file(kSecondTemp);
    remove_file(kLogFileName);
    use_short_reads(c.piece_size);
    const int result = reformat_file(kSource);
    io_hooks_reset();
    log_reset();
    return result;
}

void run_case(const std::uint8_t* data, std::size_t size) {
    std::string_view input;
    const Case c = parse_case(data, size, input);
    const std::string in_text = text_of(input);
    write_file(kSource, input);

    const int result = run_job(c);
    std::string out_bytes;
    std::string backup;
    if (!read_file(kSource, out_bytes)) {
        fail("the source is gone", describe(c));
    }
    const std::string report = describe(c) + "input text:\n" + shown(in_text) +
                               "\n--- output text:\n" + shown(text_of(out_bytes));
    if (!read_file(kBackup, backup) || backup != input) {
        fail("the backup is not the input byte for byte", report);
    }
    if (in_text.empty()) {
        // Nothing to read: the job reports it and leaves the source alone.
        if (result == 0 && g_job.multi_file_mode == 0) {
            fail("an empty source was taken as a success", report);
        }
        if (out_bytes != input) {
            fail("an unreadable source was changed", report);
        }
        return;
    }
    if (result != 0 || g_run.job_failures != 0) {
        fail("the job failed on a readable source", report);
    }
    if (exists(kSecondTemp)) {
        fail("the second temporary file stayed", report);
    }
    if (exists(kTemp) != (c.combine_split_lines != 0)) {
        fail("the temporary file stayed without /s or went under /s", report);
    }
    const std::string out_text = text_of(out_bytes);
    if (crlf_of(out_text) != out_bytes) {
        fail("the output is not text as text mode writes it", report);
    }

    check_output(c, in_text, out_text, g_run.reformat_stamp, report);

    if (c.combine_split_lines) {
        return;
    }
    // Property 2: a second run over the output changes nothing.
    const int again = run_job(c);
    std::string second;
    if (!read_file(kSource, second)) {
        fail("the source is gone after a second run", report);
    }
    if (second != out_bytes) {
        fail("a second run changed the output",
             report + "\n--- second output text:\n" + shown(text_of(second)));
    }
    if (!read_file(kBackup, backup) || backup != out_bytes) {
        fail("the second run's backup is not its input", report);
    }
    if ((again == 0) != !out_text.empty()) {
        fail("the second run's result is wrong", report);
    }
}

} // namespace
} // namespace trevox::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    trevox::fuzz::prepare_process();
    trevox::fuzz::count_meaning_at_exit();
    if (!trevox::build_stamps()) {
        trevox::fuzz::fail("no stamps", "");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trevox::fuzz::run_case(data, size);
    return 0;
}
