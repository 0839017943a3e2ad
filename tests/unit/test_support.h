// Scaffolding shared by the unit tests: whole-file reads and writes, counting
// texts, and a scratch directory that is the current directory for a while.
//
// Every unit test also runs without a controlling terminal: test_support.cpp
// registers a GoogleTest environment that gives it up before the first test,
// so a pause on any failure path finds no console and goes on at once, from a
// terminal as in CI.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace trevox::test {

// The bytes of the file at `path`, unchanged. A file that cannot be opened is
// a test failure and reads as "".
std::string read_bytes(const std::filesystem::path& path);

// Makes the file at `path` hold exactly `bytes` (emptied first, created with
// any missing parent directories). A failed write is a test failure.
void write_bytes(const std::filesystem::path& path, std::string_view bytes);

// How often `needle` (not empty) occurs in `hay`, occurrences not overlapping.
int count_of(std::string_view hay, std::string_view needle);

// A fresh, empty directory under the system's temporary directory, made the
// current directory at construction. At destruction the previous current
// directory comes back (a failure to return is a test failure) and the scratch
// directory is removed with everything in it, read-only directories included.
// Construction throws std::runtime_error when the directory cannot be made or
// entered, which fails the test before its body runs.
class ScratchDir {
  public:
    // `tag` names the directory ("trevox-<tag>-XXXXXX") for anyone who finds
    // a left-over one.
    explicit ScratchDir(std::string_view tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The scratch directory's absolute name.
    const std::filesystem::path& path() const { return dir_; }

  private:
    std::filesystem::path dir_;
    std::filesystem::path old_cwd_;
};

} // namespace trevox::test
