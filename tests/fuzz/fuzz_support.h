// Support shared by the fuzz targets: a private scratch folder as the current
// directory, no terminal, standard output silenced, and file helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trevox::fuzz {

// Once per process: makes a scratch folder (on a memory file system when there
// is one) the current directory, removed again at exit; gives up the
// controlling terminal, so that a pause never waits for a key; sends standard
// output to /dev/null; fixes the run's stamp through SOURCE_DATE_EPOCH.
void prepare_process();

// From now on every raw read returns at most `max_bytes` bytes (0: reads are
// made as asked again), so that a reader must put its lines together across
// any block boundary. Every other I/O hook is reset.
void use_short_reads(std::size_t max_bytes);

// Prints `what` and `detail` to standard error and aborts: a finding.
[[noreturn]] void fail(const char* what, const std::string& detail);

void write_file(const char* name, std::string_view bytes);
bool read_file(const char* name, std::string& out);
bool exists(const char* name);
void remove_file(const char* name);

// `bytes` as text mode reads them: CR LF becomes "\n", a run of Ctrl-Z at the
// very end is dropped; every other byte is kept.
std::string text_of(std::string_view bytes);

// `text` written in text mode: every "\n" becomes CR LF.
std::string crlf_of(std::string_view text);

// A short, printable description of `bytes` for a finding's report.
std::string shown(std::string_view bytes);

} // namespace trevox::fuzz
