// The version line of --version, with the package version from CMake.
#include "console/messages.h"
#include "console/version.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Version, LineShowsBothVersionsWhenTheyDiffer) {
    EXPECT_EQ(trevox::version_line_of("1.2a", "1.2.0"), "trevox 1.2a (package 1.2.0)");
    EXPECT_EQ(trevox::version_line_of("1.3", "1.3"), "trevox 1.3");
    EXPECT_EQ(trevox::version_line_of("1.3", "1.3.0"), "trevox 1.3 (package 1.3.0)");
    EXPECT_EQ(trevox::version_line_of("1.2a", ""), "trevox 1.2a");
}

TEST(Version, LineOfThisBuildKeepsTheBannerText) {
    const std::string expected =
        trevox::version_line_of(trevox::msg::version_text, TREVOX_PROJECT_VERSION);
    EXPECT_EQ(trevox::version_line(), expected);
    EXPECT_EQ(trevox::version_line().rfind(std::string("trevox ") + trevox::msg::version_text, 0),
              0U);
}

} // namespace
