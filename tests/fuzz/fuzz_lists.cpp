// Fuzz target: the project and group readers over list files written from
// the input. The source-file job is replaced, at link time, by a recorder of
// the paths it is handed, so every member can be checked against the rules:
// a line is used when it begins with one of its list's keys; its path is the
// text after the "=" (or after the first "; "), without the line end and the
// blanks and tabs after it; the text from the path's extension on is lower
// case and begins with an accepted extension. A line longer than a read piece
// is tested piece by piece; a keyed piece takes the rest of its line with it.
// Group members are given project files of their own (when their names can
// be created here), each naming one form whose name encodes the project's
// path, so that the group's members can be checked the same way.
#include "fuzz_support.h"

#include "console/console.h"
#include "inputs/inputs.h"
#include "jobs/job.h"
#include "jobs/names.h"
#include "settings/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trevox {

// The seam: the job the input sets hand their members to.
JobState g_job;

namespace fuzz {
std::vector<std::string> g_handed;
std::size_t g_fail_at = 0; // the job fails on this call (1-based); 0: never
} // namespace fuzz

int reformat_file(const std::string& source_name) {
    fuzz::g_handed.push_back(source_name);
    if (g_job.multi_file_mode != 1) {
        fuzz::fail("a member was handed on outside multi-file mode", source_name);
    }
    return fuzz::g_handed.size() == fuzz::g_fail_at ? 1 : 0;
}

namespace fuzz {
namespace {

constexpr const char* kProjectName = "p.vbp";
constexpr const char* kGroupName = "g.vbg";
constexpr std::size_t kPiece = 255;
constexpr std::size_t kLongestCreatedName = 200;

// The member paths the rules take from a list file's text, in order.
std::vector<std::string> expected_members(std::string_view text, bool group) {
    const std::vector<std::string_view> keys =
        group ? std::vector<std::string_view>{"Project=", "StartupProject="}
              : std::vector<std::string_view>{"Form=", "Class=", "Module="};
    const std::vector<std::string_view> accepted =
        group ? std::vector<std::string_view>{".vbp"}
              : std::vector<std::string_view>{".frm", ".cls", ".bas"};
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        // One read piece: up to and including "\n", at most kPiece characters.
        std::size_t end = at;
        while (end < text.size() && end - at < kPiece) {
            ++end;
            if (text[end - 1] == '\n') {
                break;
            }
        }
        const std::string_view piece = text.substr(at, end - at);
        bool keyed = false;
        for (const std::string_view k : keys) {
            keyed = keyed || piece.substr(0, k.size()) == k;
        }
        if (!keyed) {
            at = end;
            continue;
        }
        // The whole rest of the line.
        std::size_t line_end = text.find('\n', at);
        line_end = line_end == std::string_view::npos ? text.size() : line_end;
        const std::string_view line = text.substr(at, line_end - at);
        at = line_end < text.size() ? line_end + 1 : line_end;

        std::string_view path = line.substr(line.find('=') + 1);
        const std::size_t sep = path.find("; ");
        if (sep != std::string_view::npos) {
            path.remove_prefix(sep + 2);
        }
        while (!path.empty() && (path.back() == ' ' || path.back() == '\t')) {
            path.remove_suffix(1);
        }
        if (path.empty()) {
            continue;
        }
        const std::size_t last_sep = path.find_last_of("\\/");
        const std::size_t dot =
            path.find('.', last_sep == std::string_view::npos ? 0 : last_sep + 1);
        if (dot == std::string_view::npos) {
            continue;
        }
        std::string member(path);
        for (std::size_t i = dot; i < member.size(); ++i) {
            if (member[i] >= 'A' && member[i] <= 'Z') {
                member[i] = static_cast<char>(member[i] - 'A' + 'a');
            }
        }
        bool ok = false;
        for (const std::string_view ext : accepted) {
            ok = ok || std::string_view(member).substr(dot, 4) == ext;
        }
        if (ok) {
            out.push_back(member);
        }
    }
    return out;
}

std::string hex_of(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        out += kHex[u >> 4];
        out += kHex[u & 15];
    }
    return out;
}

// True when `name` can be created as a plain file in the scratch folder.
bool creatable(const std::string& name) {
    return !name.empty() && name.size() <= kLongestCreatedName &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos && name != "." &&
           name != ".." && name != kProjectName && name != kGroupName;
}

std::string list_of(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) {
        out += "  [" + shown(n) + "]\n";
    }
    return out;
}

void run_case(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const bool group = (data[0] & 1) != 0;
    const std::size_t fail_at = group ? 0 : (data[0] >> 1);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string text = text_of(bytes);
    const std::vector<std::string> members = expected_members(text, group);

    inputs_reset();
    g_job = JobState{};
    g_handed.clear();
    g_fail_at = fail_at;
    std::vector<std::string> expected;
    std::vector<std::string> created;
    int expected_result = 0;
    if (group) {
        for (const std::string& m : members) {
            if (!creatable(m)) {
                expected_result = 1; // the project cannot be opened: the group stops
                break;
            }
            const std::string form = hex_of(m) + ".frm";
            write_file(m.c_str(), "Form=" + form + "\r\n");
            created.push_back(m);
            expected.push_back(form);
        }
    } else {
        for (const std::string& m : members) {
            expected.push_back(m);
            if (expected.size() == fail_at) {
                expected_result = 1;
                break;
            }
        }
    }

    write_file(group ? kGroupName : kProjectName, bytes);
    const int result = group ? process_group(kGroupName) : process_project(kProjectName);
    for (const std::string& name : created) {
        remove_file(name.c_str());
    }
    // The list file itself goes too: a later group may name it.
    remove_file(group ? kGroupName : kProjectName);
    const std::string report = std::string(group ? "group" : "project") + " file:\n" +
                               shown(bytes) + "\n--- expected members:\n" + list_of(expected) +
                               "--- handed on:\n" + list_of(g_handed);
    if (g_handed != expected) {
        fail("the members handed on are not those the rules give", report);
    }
    if (result != expected_result) {
        fail("the list's result is wrong", "result " + std::to_string(result) + "\n" + report);
    }
    if (text_is_open(g_inputs.project_file) || text_is_open(g_inputs.group_file)) {
        fail("a list file stayed open", report);
    }
}

} // namespace
} // namespace fuzz
} // namespace trevox

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    trevox::fuzz::prepare_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    trevox::fuzz::run_case(data, size);
    return 0;
}
