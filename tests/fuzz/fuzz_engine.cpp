// Fuzz target: the whole engine over one file's bytes, through the job the
// program runs for a single source file (backup, line pass, copy-back through
// the joiner), under every combination of settings taken from the input's
// first bytes. Checked, not only "no crash":
//  1. with no removal option (no /b, /c, /s) the output holds the input's
//     text line for line, each line's characters other than blanks and tabs
//     unchanged, except the stamped Option Explicit line; under /b alone the
//     characters other than white space, line ends included, in order;
//  2. without /s a second run over the output changes nothing;
//  3. the backup is byte for byte the input;
//  4. the output means the same program: the same logical lines of code
//     chunks (see vb_tokens.h), comments aside under /c, the stamp comment
//     aside; checked when the input itself reads without a lexical error.
// Also: the job succeeds on every input that holds text, no second temporary
// file stays, and the temporary file stays only under /s.
#include "fuzz_support.h"
#include "vb_tokens.h"

#include "console/console.h"
#include "engine/pump.h"
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

// The settings header: flags, a MaxLineLength selector, four value bytes, a
// read size.
constexpr std::size_t kHeaderBytes = 7;

constexpr std::int32_t kInterestingLengths[] = {
    512,           0,    1,    2,    3,  4,  -1, -2,  -512, INT32_MIN, INT32_MAX,
    INT32_MAX - 1, 1020, 1021, 1024, 80, 20, 10, 509, 510,  511,
};

struct Case {
    int remove_blank_lines = 0;
    int remove_comments = 0;
    int combine_split_lines = 0;
    int stamp = 1;
    int verbose = 0;
    int list = 0;
    int echo_and_log = 0;
    std::int32_t max_line_length = 512;
    std::size_t read_size = 0; // 0: whole blocks; else at most this many bytes per read
};

// How often the meaning was compared (TREVOX_FUZZ_STATS set: printed at exit).
std::size_t g_inputs_seen = 0;
std::size_t g_meaning_compared = 0;

void print_stats() {
    std::fprintf(stderr, "meaning compared on %zu of %zu inputs\n", g_meaning_compared,
                 g_inputs_seen);
}

Case parse_case(const std::uint8_t* data, std::size_t size, std::string_view& body) {
    Case c;
    if (size < kHeaderBytes) {
        body = std::string_view(reinterpret_cast<const char*>(data), size);
        return c;
    }
    const std::uint8_t flags = data[0];
    c.remove_blank_lines = flags & 1;
    c.remove_comments = (flags >> 1) & 1;
    c.combine_split_lines = (flags >> 2) & 1;
    c.stamp = ((flags >> 3) & 1) == 0 ? 1 : 0;
    c.verbose = (flags >> 4) & 1;
    c.list = (flags >> 5) & 1;
    c.echo_and_log = (flags >> 6) & 1;
    std::uint32_t raw = 0;
    std::memcpy(&raw, data + 2, 4);
    switch (data[1] & 3) {
    case 0:
        c.max_line_length =
            kInterestingLengths[data[2] % (sizeof kInterestingLengths / sizeof(std::int32_t))];
        break;
    case 1:
        c.max_line_length = data[2];
        break;
    case 2:
        c.max_line_length = static_cast<std::int16_t>(raw & 0xffff);
        break;
    default:
        c.max_line_length = static_cast<std::int32_t>(raw);
        break;
    }
    c.read_size = (data[6] & 0x80) != 0 ? (data[6] & 0x7f) + 1 : 0;
    body =
        std::string_view(reinterpret_cast<const char*>(data + kHeaderBytes), size - kHeaderBytes);
    return c;
}

std::string describe(const Case& c) {
    return "settings: /b=" + std::to_string(c.remove_blank_lines) +
           " /c=" + std::to_string(c.remove_comments) +
           " /s=" + std::to_string(c.combine_split_lines) + " stamp=" + std::to_string(c.stamp) +
           " MaxLineLength=" + std::to_string(c.max_line_length) +
           " read size=" + std::to_string(c.read_size) + "\n";
}

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
    g_pump.stamp_pending = c.stamp;
    remove_file(kBackup);
    remove_file(kTemp);
    remove_file(kSecondTemp);
    remove_file(kLogFileName);
    use_short_reads(c.read_size);
    const int result = reformat_file(kSource);
    io_hooks_reset();
    log_reset();
    return result;
}

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        const std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string without(std::string_view text, std::string_view drop) {
    std::string out;
    for (const char ch : text) {
        if (drop.find(ch) == std::string_view::npos) {
            out += ch;
        }
    }
    return out;
}

// Property 1: line for line, the characters other than blanks and tabs (a
// last line of blanks and tabs only, without a line end, is no line then).
void check_characters_kept(const std::string& in, const std::string& out,
                           const std::string& stamped_line, const std::string& report) {
    const std::string a_text = without(in, " \t");
    const std::string b_text = without(out, " \t");
    std::vector<std::string_view> a = lines_of(a_text);
    std::vector<std::string_view> b = lines_of(b_text);
    const bool a_nl = !a_text.empty() && a_text.back() == '\n';
    const bool b_nl = !b_text.empty() && b_text.back() == '\n';
    const std::string stamped = without(stamped_line, " \t");
    bool stamped_last = false;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (b[i] == stamped) {
            if (a[i].substr(0, 14) != "OptionExplicit") {
                fail("a line that was no Option Explicit line was stamped",
                     "line " + std::to_string(i) + "\n" + report);
            }
            stamped_last = i + 1 == a.size();
            a[i] = b[i];
            break;
        }
    }
    if (a != b || (a_nl != b_nl && !stamped_last)) {
        fail("characters other than blanks changed with no removal option", report);
    }
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

    const std::string stamp_line = "Option Explicit" + g_run.reformat_stamp;
    const std::string stamped_line = stamp_line.substr(0, stamp_line.size() - 1);
    if (!c.remove_blank_lines && !c.remove_comments && !c.combine_split_lines) {
        check_characters_kept(in_text, out_text, stamped_line, report);
    }
    if (c.remove_blank_lines && !c.remove_comments && !c.combine_split_lines &&
        out_text.find(stamped_line) == std::string::npos &&
        without(in_text, " \t\v\f\r\n") != without(out_text, " \t\v\f\r\n")) {
        fail("characters other than white space changed under /b alone", report);
    }

    VbProgram before;
    VbProgram after;
    read_vb_text(in_text, before);
    ++g_inputs_seen;
    if (!before.lexical_error) {
        ++g_meaning_compared;
        read_vb_text(out_text, after);
        const std::string stamp_comment = without_space(
            std::string_view(g_run.reformat_stamp).substr(0, g_run.reformat_stamp.size() - 1));
        std::string why;
        if (!same_program(before, after, c.remove_comments == 0, stamp_comment, why)) {
            fail("the output means another program", why + "\n" + report);
        }
    }

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
    if (std::getenv("TREVOX_FUZZ_STATS") != nullptr) {
        std::atexit(trevox::fuzz::print_stats);
    }
    if (!trevox::build_stamps()) {
        trevox::fuzz::fail("no stamps", "");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trevox::fuzz::run_case(data, size);
    return 0;
}
