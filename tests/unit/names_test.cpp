#include "jobs/names.h"

#include <gtest/gtest.h>

namespace trevox {
namespace {

TEST(Names, ExtensionStartsInTheLastComponent) {
    struct Case {
        const char* name;
        const char* temp;
    };
    const Case cases[] = {
        {"Form1.frm", "Form1.tmp"},
        {"a.b.bas", "a.tmp"},
        {"..\\src\\Main.bas", "..\\src\\Main.tmp"},
        {"my.src/Form1.frm", "my.src/Form1.tmp"},
        {"noext", "noext.tmp"},
        {"dir.d\\noext", "dir.d\\noext.tmp"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(temp_name_for(c.name), c.temp) << c.name;
    }
    EXPECT_EQ(extension_pos(".frm"), 0u);
    EXPECT_EQ(extension_pos("x/y"), std::string::npos);
}

} // namespace
} // namespace trevox
