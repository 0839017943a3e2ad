#include "test_support.h"

#include "no_terminal.h"

#include <gtest/gtest.h>

#include <cassert>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace trevox::test {

namespace fs = std::filesystem;

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot open " << path << " for reading";
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, std::string_view bytes) {
    if (path.has_parent_path()) {
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        ASSERT_FALSE(ec) << "cannot create the directories of " << path << ": " << ec.message();
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

int count_of(std::string_view hay, std::string_view needle) {
    assert(!needle.empty());
    int n = 0;
    for (std::size_t at = hay.find(needle); at != std::string_view::npos;
         at = hay.find(needle, at + needle.size())) {
        ++n;
    }
    return n;
}

ScratchDir::ScratchDir(std::string_view tag) {
    std::string name = (fs::temp_directory_path() / "trevox-").string();
    name.append(tag);
    name += "-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch directory " + name + ": " +
                                 std::strerror(errno));
    }
    dir_ = name;
    std::error_code ec;
    old_cwd_ = fs::current_path(ec);
    if (!ec) {
        fs::current_path(dir_, ec);
    }
    if (ec) {
        fs::remove(dir_, ec);
        throw std::runtime_error("cannot enter the scratch directory " + name);
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::current_path(old_cwd_, ec);
    if (ec) {
        ADD_FAILURE() << "cannot return to " << old_cwd_ << ": " << ec.message();
    }
    // A file's own mode never stops its removal, its directory's does: every
    // directory is made writable and searchable before its entries are read.
    // Links are not followed out of the scratch directory.
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::recursive_directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        ec.clear();
    }
    fs::remove_all(dir_, ec);
}

namespace {

// Before the first test: no pause in any test can wait for a key.
class WithoutTerminal : public ::testing::Environment {
  public:
    void SetUp() override { testing_support::give_up_controlling_terminal(); }
};

// Registered once, while the program starts; GoogleTest owns the object.
[[maybe_unused]] ::testing::Environment* const g_without_terminal =
    ::testing::AddGlobalTestEnvironment(new WithoutTerminal);

} // namespace

} // namespace trevox::test
