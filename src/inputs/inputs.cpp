// Input sets: a wildcard, a project (.vbp) or a project group (.vbg) turned
// into a sequence of source files for the source-file job.
#include "inputs/inputs.h"

#include "console/console.h"
#include "console/messages.h"
#include "jobs/job.h"
#include "jobs/names.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

namespace trevox {

InputsState g_inputs;

namespace {

constexpr const char* kSourceExtensions[] = {".frm", ".bas", ".cls"};
constexpr const char* kProjectExtensions[] = {".frm", ".cls", ".bas"};
constexpr const char* kGroupExtensions[] = {".vbp"};

constexpr const char* kProjectKeys[] = {"Form=", "Class=", "Module="};
constexpr const char* kGroupKeys[] = {"Project=", "StartupProject="};

// The separator between a module's name and its path on a list line.
constexpr const char* kNamePathSeparator = "; ";

// True when `line` begins with `key` over the key's whole length.
bool begins_with(const std::string& line, const char* key) {
    const std::size_t n = std::strlen(key);
    return line.size() >= n && line.compare(0, n, key) == 0;
}

// The two messages and the pause for a list file that cannot be opened.
void report_unopenable(const std::string& path) {
    say(msg::unable_open_read, path.c_str());
    say("%s", msg::probably_not_exist);
    pause();
    ++g_run.job_failures;
}

// Opens a project or group file: the name as written, else the file that it
// names regardless of letter case (a list written on Windows).
bool open_list_file(TextReader& r, const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (text_open_read(r, path)) {
        return true;
    }
    const std::string resolved = resolve_name_case(path);
    return resolved != path && text_open_read(r, resolved);
}

// Reads the next piece of a list file into `piece`. When it begins with a key
// of `kind`, the rest of its line is read too and the whole line put into
// `whole`, so that a member path of any length is held whole. True when a
// keyed line is in `whole`; false for a piece to skip. `more` turns false at
// the end of the file.
bool read_keyed_line(TextReader& r, ListKind kind, std::string& piece, std::string& whole,
                     bool& more) {
    more = text_read_line(r, piece, kListPieceChars);
    if (!more || !line_has_key(piece, kind)) {
        return false;
    }
    whole = piece;
    while (whole.back() != '\n' && text_read_line(r, piece, kListPieceChars)) {
        whole += piece;
    }
    return true;
}

} // namespace

// Closes the list files and empties the buffers.
void inputs_reset() {
    if (text_is_open(g_inputs.group_file)) {
        text_close(g_inputs.group_file);
    }
    if (text_is_open(g_inputs.project_file)) {
        text_close(g_inputs.project_file);
    }
    g_inputs.matches.clear();
    g_inputs.name_copy.clear();
    g_inputs.match_path.clear();
    g_inputs.group_line.clear();
    g_inputs.project_line.clear();
    g_inputs.group_whole.clear();
    g_inputs.project_whole.clear();
    g_inputs.group_member.clear();
    g_inputs.project_member.clear();
    g_inputs.source_action = &reformat_file;
}

int process_source(const std::string& source_name) {
    assert(g_inputs.source_action != nullptr);
    return g_inputs.source_action(source_name);
}

// Lower-cases the extension in place and compares its first four characters.
bool has_accepted_extension(std::string& name, const char* const* accepted, std::size_t count) {
    assert(accepted != nullptr || count == 0);
    const std::size_t dot = extension_pos(name);
    if (dot == std::string::npos) {
        return false;
    }
    for (std::size_t i = dot; i < name.size(); ++i) {
        if (name[i] >= 'A' && name[i] <= 'Z') {
            name[i] = static_cast<char>(name[i] - 'A' + 'a');
        }
    }
    if (name.size() - dot < kExtensionChars) {
        return false;
    }
    for (std::size_t k = 0; k < count; ++k) {
        assert(std::strlen(accepted[k]) == kExtensionChars);
        if (name.compare(dot, kExtensionChars, accepted[k]) == 0) {
            return true;
        }
    }
    return false;
}

// The path after the key's "=" (or after the first "; "), trimmed at its end.
void take_member_path(const std::string& list_line, std::string& member_path) {
    member_path.clear();
    const std::size_t eq = list_line.find('=');
    if (eq == std::string::npos) {
        return;
    }
    std::size_t start = eq + 1;
    const std::size_t sep = list_line.find(kNamePathSeparator, start);
    if (sep != std::string::npos) {
        start = sep + std::strlen(kNamePathSeparator);
    }
    std::size_t end = list_line.size();
    while (end > start && (list_line[end - 1] == '\n' || list_line[end - 1] == ' ' ||
                           list_line[end - 1] == '\t')) {
        --end;
    }
    member_path.assign(list_line, start, end - start);
}

// Case-sensitive key test at the first character of the line.
bool line_has_key(const std::string& line, ListKind kind) {
    const auto starts = [&line](const char* key) { return begins_with(line, key); };
    if (kind == ListKind::project) {
        return std::any_of(std::begin(kProjectKeys), std::end(kProjectKeys), starts);
    }
    return std::any_of(std::begin(kGroupKeys), std::end(kGroupKeys), starts);
}

// Key, path and extension test of one list line.
bool accept_list_line(const std::string& line, ListKind kind, std::string& member_path) {
    member_path.clear();
    if (!line_has_key(line, kind)) {
        return false;
    }
    take_member_path(line, member_path);
    if (member_path.empty()) {
        return false;
    }
    if (kind == ListKind::project) {
        return has_accepted_extension(member_path, kProjectExtensions,
                                      std::size(kProjectExtensions));
    }
    return has_accepted_extension(member_path, kGroupExtensions, std::size(kGroupExtensions));
}

// The pattern's directory part, exactly as written, then the bare name.
void wildcard_member_path(const std::string& pattern, const std::string& name, std::string& out) {
    const std::size_t sep = pattern.find_last_of("\\/");
    out.clear();
    if (sep != std::string::npos) {
        out.assign(pattern, 0, sep + 1);
    }
    out += name;
}

// Collects the accepted matches first, then hands each to the job in name order.
int process_wildcard(const std::string& pattern) {
    std::vector<std::string>& names = g_inputs.matches;
    find_files(pattern, names);
    if (names.empty()) {
        say_unmirrored(msg::no_match_found, pattern.c_str());
        std::fflush(stdout);
        ++g_run.job_failures;
        return 1;
    }
    g_job.multi_file_mode = 1;

    std::size_t kept = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        g_inputs.name_copy = names[i];
        if (!has_accepted_extension(g_inputs.name_copy, kSourceExtensions,
                                    std::size(kSourceExtensions))) {
            continue;
        }
        if (kept != i) {
            std::swap(names[kept], names[i]);
        }
        ++kept;
    }
    for (std::size_t i = 0; i < kept; ++i) {
        wildcard_member_path(pattern, names[i], g_inputs.match_path);
        process_source(g_inputs.match_path); // a wildcard set goes on whatever the job says
    }
    return 0;
}

// Reads the project and hands every accepted member to the job; a failed job
// stops the project.
int process_project(const std::string& path) {
    TextReader& r = g_inputs.project_file;
    assert(!text_is_open(r));
    if (!open_list_file(r, path)) {
        report_unopenable(path);
        return 1;
    }
    g_job.multi_file_mode = 1;

    bool more = true;
    while (more) {
        if (!read_keyed_line(r, ListKind::project, g_inputs.project_line, g_inputs.project_whole,
                             more)) {
            continue;
        }
        if (!accept_list_line(g_inputs.project_whole, ListKind::project, g_inputs.project_member)) {
            continue;
        }
        if (process_source(g_inputs.project_member) != 0) {
            text_close(r);
            return 1;
        }
    }
    text_close(r);
    return 0;
}

// Reads the group and hands every accepted project to process_project; a
// failed project stops the group.
int process_group(const std::string& path) {
    TextReader& r = g_inputs.group_file;
    assert(!text_is_open(r));
    if (!open_list_file(r, path)) {
        report_unopenable(path);
        return 1;
    }

    bool more = true;
    while (more) {
        if (!read_keyed_line(r, ListKind::group, g_inputs.group_line, g_inputs.group_whole, more)) {
            continue;
        }
        if (!accept_list_line(g_inputs.group_whole, ListKind::group, g_inputs.group_member)) {
            continue;
        }
        if (process_project(g_inputs.group_member) != 0) {
            text_close(r);
            return 1;
        }
    }
    text_close(r);
    return 0;
}

} // namespace trevox
