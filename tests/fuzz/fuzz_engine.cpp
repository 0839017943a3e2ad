// Fuzz target: the engine in memory, over one text's bytes, under every
// combination of settings taken from the input's first bytes. Checked, not
// only "no crash":
//  - the one-call form and the streaming form agree, the text handed over in
//    pieces of random sizes (and a short text a byte at a time), in every
//    respect: the output, and what the result says;
//  - the output is text as the text mode writes it (every LF after a CR);
//  - the output properties of engine_checks.h;
//  - without /s a second pass over the output changes nothing;
//  - an input with no line at all gives no output and says so.
// Nothing touches a file: this target runs many times faster than fuzz_job,
// which covers the job around the engine.
#include "engine_checks.h"
#include "fuzz_support.h"

#include "engine/engine.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trevox::fuzz {

namespace {

// The stamp of a run on 14 March 2000 at 09:05:30.
constexpr std::string_view kStamp = "   '-- $Reformatted by Trevox, Ver. 1.2a, on 03-14-00 at "
                                    "09:05:30\n";

// Texts up to this long are also handed over a byte at a time.
constexpr std::size_t kByteByByteLimit = 4096;

// Gathers the output.
class Collect final : public EngineSink {
  public:
    bool store(const char* data, std::size_t n) override {
        out.append(data, n);
        return true;
    }
    std::string out;
};

// A small generator for the sizes of the pieces.
struct Pieces {
    std::uint32_t state;
    std::size_t most;
    std::size_t next() {
        state = state * 1664525u + 1013904223u;
        return most == 0 ? SIZE_MAX : 1 + (state >> 8) % most;
    }
};

// The text through the streaming form, handed over in the pieces `pieces`
// gives.
std::string stream(const FormatOptions& options, std::string_view text, Pieces pieces,
                   EngineResult& result) {
    // Kept from input to input, as a run keeps its engine from file to file.
    static Formatter formatter;
    Collect collect;
    formatter.begin(options, collect);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min(pieces.next(), text.size() - at);
        formatter.write(text.data() + at, n);
        at += n;
    }
    result = formatter.finish();
    return collect.out;
}

void run_case(const std::uint8_t* data, std::size_t size) {
    std::string_view input;
    const Case c = parse_case(data, size, input);
    const FormatOptions options = options_for(c, kStamp);
    const std::string in_text = text_of(input);

    static Formatter formatter;
    std::string out;
    EngineResult result;
    if (!formatter.format(options, input, out, &result)) {
        fail("valid options refused", describe(c));
    }
    const std::string out_text = text_of(out);
    const std::string report =
        describe(c) + "input text:\n" + shown(in_text) + "\n--- output text:\n" + shown(out_text);

    EngineResult streamed_result;
    const std::string streamed =
        stream(options, input, Pieces{c.piece_seed, c.piece_size}, streamed_result);
    if (streamed != out || streamed_result != result) {
        fail("the text handed over in pieces came out otherwise",
             report + "\n--- in pieces:\n" + shown(text_of(streamed)));
    }
    if (input.size() <= kByteByByteLimit && c.piece_size != 1) {
        const std::string bytewise = stream(options, input, Pieces{0, 1}, streamed_result);
        if (bytewise != out || streamed_result != result) {
            fail("the text handed over a byte at a time came out otherwise",
                 report + "\n--- a byte at a time:\n" + shown(text_of(bytewise)));
        }
    }

    if (result.stopped || result.write_errors != 0 || !result.stored) {
        fail("a write failed in memory", report);
    }
    if (result.had_input != !in_text.empty()) {
        fail("the result says otherwise whether there was a line", report);
    }
    if (in_text.empty() && !out.empty()) {
        fail("an input without lines gave output", report);
    }
    if (crlf_of(out_text) != out) {
        fail("the output is not text as text mode writes it", report);
    }
    check_output(c, in_text, out_text, kStamp, report);

    if (c.combine_split_lines) {
        return;
    }
    // A second pass over the output, as a second run would make it, changes
    // nothing (a stamp given again replaces itself).
    std::string second;
    (void)formatter.format(options, out, second);
    if (second != out) {
        fail("a second pass changed the output",
             report + "\n--- second output text:\n" + shown(text_of(second)));
    }
}

} // namespace
} // namespace trevox::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    trevox::fuzz::count_meaning_at_exit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trevox::fuzz::run_case(data, size);
    return 0;
}
