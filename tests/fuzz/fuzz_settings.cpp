// Fuzz target: the settings file reader over a Trevox.INI written from the
// input, in a scratch current directory. Checked, besides no crash and no
// undefined behaviour:
//  - every flag ends 0 or 1, and EchoAndLog (a switch only) stays 0;
//  - a field leaves its default only when the file holds its key (and a
//    section header) somewhere;
//  - the file is never changed and is closed afterwards;
//  - the same settings come from the file's text written with CR LF line
//    ends, from reads of a few bytes at a time, and from the file under a
//    name that differs in letter case.
#include "fuzz_support.h"

#include "platform/platform.h"
#include "settings/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trevox::fuzz {
namespace {

constexpr const char* kIniName = "Trevox.INI";
constexpr const char* kOtherCaseName = "tREVOX.ini";

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string describe(const RunSettings& s) {
    return "RemoveBlankLines=" + std::to_string(s.RemoveBlankLines) +
           " RemoveComments=" + std::to_string(s.RemoveComments) +
           " ListMode=" + std::to_string(s.ListMode) +
           " VerboseMode=" + std::to_string(s.VerboseMode) +
           " CombineSplitLines=" + std::to_string(s.CombineSplitLines) +
           " MaxLineLength=" + std::to_string(s.MaxLineLength) +
           " EchoAndLog=" + std::to_string(s.EchoAndLog);
}

bool same(const RunSettings& a, const RunSettings& b) {
    return a.RemoveBlankLines == b.RemoveBlankLines && a.RemoveComments == b.RemoveComments &&
           a.ListMode == b.ListMode && a.VerboseMode == b.VerboseMode &&
           a.CombineSplitLines == b.CombineSplitLines && a.MaxLineLength == b.MaxLineLength &&
           a.EchoAndLog == b.EchoAndLog;
}

// Reads the settings file named `name`, holding `bytes`, from the defaults.
RunSettings load(const char* name, std::string_view bytes, const std::string& report) {
    remove_file(kIniName);
    remove_file(kOtherCaseName);
    write_file(name, bytes);
    settings_reset();
    loadInifile();
    io_hooks_reset();
    if (text_is_open(g_settings_state.ini_reader)) {
        fail("the settings file stayed open", report);
    }
    std::string after;
    if (!read_file(name, after) || after != bytes) {
        fail("the settings file was changed", report);
    }
    return g_settings;
}

void check_fields(const RunSettings& s, const std::string& lower_text, const std::string& report) {
    const std::int32_t flags[] = {s.RemoveBlankLines, s.RemoveComments,    s.ListMode,
                                  s.VerboseMode,      s.CombineSplitLines, s.EchoAndLog};
    for (const std::int32_t f : flags) {
        if (f != 0 && f != 1) {
            fail("a flag is neither 0 nor 1", describe(s) + "\n" + report);
        }
    }
    if (s.EchoAndLog != 0) {
        fail("the settings file turned on EchoAndLog", report);
    }
    const RunSettings defaults;
    const bool section = lower_text.find("[trevox") != std::string::npos;
    const auto requires_key = [&](bool changed, const char* key) {
        if (changed && (!section || lower_text.find(key) == std::string::npos)) {
            fail("a setting changed without its key",
                 std::string(key) + "\n" + describe(s) + "\n" + report);
        }
    };
    requires_key(s.RemoveBlankLines != defaults.RemoveBlankLines, "removeblanklines");
    requires_key(s.RemoveComments != defaults.RemoveComments, "removecomments");
    requires_key(s.CombineSplitLines != defaults.CombineSplitLines, "combinesplitlines");
    requires_key(s.MaxLineLength != defaults.MaxLineLength, "maxlinelength");
    requires_key(s.ListMode != defaults.ListMode, "listmode");
    if (s.VerboseMode != defaults.VerboseMode && lower_text.find("listmode") == std::string::npos) {
        requires_key(true, "verbosemode");
    }
}

void run_case(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string report = "settings file:\n" + shown(bytes);
    const RunSettings first = load(kIniName, bytes, report);
    check_fields(first, lowered(bytes), report);

    const std::string crlf = crlf_of(text_of(bytes));
    const RunSettings from_crlf = load(kIniName, crlf, report);
    if (!same(first, from_crlf)) {
        fail("CR LF line ends gave other settings",
             describe(first) + "\n" + describe(from_crlf) + "\n" + report);
    }

    use_short_reads(1 + size % 7);
    const RunSettings from_short = load(kOtherCaseName, bytes, report);
    if (!same(first, from_short)) {
        fail("short reads or the name's letter case gave other settings",
             describe(first) + "\n" + describe(from_short) + "\n" + report);
    }
}

} // namespace
} // namespace trevox::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    trevox::fuzz::prepare_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trevox::fuzz::run_case(data, size);
    return 0;
}
