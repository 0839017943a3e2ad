#include <gtest/gtest.h>
#include <sys/stat.h>

// The binary under test was built.
TEST(Binary, Exists) {
    struct stat st {};
    ASSERT_EQ(stat(TREVOX_BINARY, &st), 0);
}
