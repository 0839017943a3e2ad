// What the engine's fuzz targets share: cases and output properties.
#include "engine_checks.h"

#include "fuzz_support.h"
#include "vb_tokens.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace trevox::fuzz {

namespace {

constexpr std::int32_t kInterestingLengths[] = {
    512,           0,    1,    2,    3,  4,  -1, -2,  -512, INT32_MIN, INT32_MAX,
    INT32_MAX - 1, 1020, 1021, 1024, 80, 20, 10, 509, 510,  511,
};

std::size_t g_inputs_seen = 0;
std::size_t g_meaning_compared = 0;

void print_stats() {
    std::fprintf(stderr, "meaning compared on %zu of %zu inputs\n", g_meaning_compared,
                 g_inputs_seen);
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

} // namespace

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
    c.piece_size = (data[6] & 0x80) != 0 ? (data[6] & 0x7f) + 1 : 0;
    c.piece_seed = raw ^ (static_cast<std::uint32_t>(data[1]) << 24);
    body =
        std::string_view(reinterpret_cast<const char*>(data + kHeaderBytes), size - kHeaderBytes);
    return c;
}

std::string describe(const Case& c) {
    return "settings: /b=" + std::to_string(c.remove_blank_lines) +
           " /c=" + std::to_string(c.remove_comments) +
           " /s=" + std::to_string(c.combine_split_lines) + " stamp=" + std::to_string(c.stamp) +
           " MaxLineLength=" + std::to_string(c.max_line_length) + " pieces of at most " +
           std::to_string(c.piece_size) + " bytes (seed " + std::to_string(c.piece_seed) + ")\n";
}

FormatOptions options_for(const Case& c, std::string_view stamp) {
    FormatOptions options;
    options.remove_blank_lines = c.remove_blank_lines != 0;
    options.remove_comments = c.remove_comments != 0;
    options.combine_split_lines = c.combine_split_lines != 0;
    options.max_line_length = c.max_line_length;
    options.stamp = stamp;
    options.stamp_pending = c.stamp != 0;
    return options;
}

void check_output(const Case& c, const std::string& in_text, const std::string& out_text,
                  std::string_view stamp, const std::string& report) {
    const std::string stamp_line = "Option Explicit" + std::string(stamp);
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
        const std::string stamp_comment =
            without_space(stamp.substr(0, stamp.empty() ? 0 : stamp.size() - 1));
        std::string why;
        if (!same_program(before, after, c.remove_comments == 0, stamp_comment, why)) {
            fail("the output means another program", why + "\n" + report);
        }
    }
}

void count_meaning_at_exit() {
    if (std::getenv("TREVOX_FUZZ_STATS") != nullptr) {
        std::atexit(print_stats);
    }
}

} // namespace trevox::fuzz
