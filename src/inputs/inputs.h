// Input sets: wildcards, projects and project groups. Each turns the input
// name into source files and hands them one by one to the source action:
// reformat_file in a run, or the check of a run that writes nothing.
#pragma once

#include "jobs/job.h"
#include "platform/platform.h"

#include <cstddef>
#include <string>
#include <vector>

namespace trevox {

// A project or group file is read in pieces of at most this many characters.
inline constexpr std::size_t kListPieceChars = 255;
// Extensions are compared over this many characters ("." and three letters).
inline constexpr std::size_t kExtensionChars = 4;

// Which list a line belongs to: its keys and accepted extensions.
enum class ListKind { project, group };

// What is done with one source file, given its name as the set found it.
// 0 lets a project go on; non-zero stops it (reformat_file's result).
using SourceAction = int (*)(const std::string& source_name);

struct InputsState {
    SourceAction source_action = &reformat_file; // chosen by the run flow
    std::vector<std::string> matches; // names found by a wildcard, then the accepted ones
    std::string name_copy;            // a match's name for the extension test
    std::string match_path;           // the pattern's directory part and a match's name
    TextReader group_file;
    TextReader project_file;
    std::string group_line; // one piece of the group file, its "\n" kept
    std::string project_line;
    std::string group_whole; // a keyed line of the group file, whole
    std::string project_whole;
    std::string group_member; // the path taken from a group line
    std::string project_member;
};
extern InputsState g_inputs;

// Closes any open list file, empties the buffers and makes reformat_file
// the source action again (tests).
void inputs_reset();

// Hands one source file to the source action and returns its result.
int process_source(const std::string& source_name);

// Every accepted file the pattern matches, handed to the source action with
// the pattern's directory part in front. 0 when anything matched, 1 (after "No
// Match Found" on standard output) when nothing did.
int process_wildcard(const std::string& pattern);

// Every accepted Form=, Class= and Module= member of the project. 0 when the
// file was read to its end; 1 when it cannot be opened or a member's job
// returned non-zero.
int process_project(const std::string& path);

// Every accepted Project= and StartupProject= member of the group. 0 when the
// file was read to its end; 1 when it cannot be opened or a project failed.
int process_group(const std::string& path);

// The extension test: lower-cases letters A-Z of `name` from its extension on
// (in place) and tells whether its first four characters there are one of
// `accepted` (each "." and three lower-case letters).
bool has_accepted_extension(std::string& name, const char* const* accepted, std::size_t count);

// The member path of a list line: the text after the key's "=", or after the
// first "; " when that text holds one; the line end and trailing blanks and
// tabs removed. Empty when there is none.
void take_member_path(const std::string& list_line, std::string& member_path);

// Whether `line` begins with one of the keys of `kind` (case-sensitive, "="
// included).
bool line_has_key(const std::string& line, ListKind kind);

// Steps of one list line: its key, its member path, the extension test in
// place. True when `member_path` is to be handed on.
bool accept_list_line(const std::string& line, ListKind kind, std::string& member_path);

// The pattern's directory part (through its last "\" or "/") followed by `name`.
void wildcard_member_path(const std::string& pattern, const std::string& name, std::string& out);

} // namespace trevox
