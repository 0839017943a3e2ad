// The fuzz targets' reader of Visual Basic text: logical lines, code chunks,
// string literals, comments and continuation marks.
#include "vb_tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trevox::fuzz {
namespace {

struct LineCase {
    const char* what;
    std::string text;
    std::vector<std::vector<std::string>> code; // chunks of each logical line
    std::vector<std::string> comments;          // each line's comment ("" for none)
    bool lexical_error;
};

TEST(VbTokens, LogicalLines) {
    const LineCase cases[] = {
        {"plain lines", "x = 1\n  y=2\n", {{"x", "=", "1"}, {"y=2"}}, {"", ""}, false},
        {"continuation", "x = a + _\n    b\n", {{"x", "=", "a", "+", "b"}}, {""}, false},
        {"blank line ends a continued line",
         "x = a _\n\ny\n",
         {{"x", "=", "a"}, {"y"}},
         {"", ""},
         false},
        {"string keeps its blanks and quotes",
         "s = \"a  'b\"\" _\" & c\n",
         {{"s", "=", "\"a  'b\"\" _\"", "&", "c"}},
         {""},
         false},
        {"comment to the end", "x = 1 ' a b\n", {{"x", "=", "1"}}, {"'ab"}, false},
        {"quote without blank", "x = 1' a\n", {{"x", "=", "1"}}, {"'a"}, false},
        {"continued comment", "' a _\nb = 1\nc\n", {{}, {"c"}}, {"'ab=1", ""}, false},
        {"Rem after a colon", "x = 1:Rem n\n", {{"x", "=", "1:"}}, {"Remn"}, false},
        {"Rem alone", "REM\n", {{}}, {"REM"}, false},
        {"Remaining is code", "Remaining = 1\n", {{"Remaining", "=", "1"}}, {""}, false},
        {"tab before underscore", "x = a\t_\ny\n", {{"x", "=", "a", "_"}, {"y"}}, {"", ""}, true},
        {"underscore before a comment", "x = a _ ' c\n", {{"x", "=", "a", "_"}}, {"'c"}, true},
        {"underscores in words", "a_b = _c_\n", {{"a_b", "=", "_c_"}}, {""}, false},
        {"bare mark", " _\nx\n", {{"x"}}, {""}, false},
        {"open string", "s = \"a _\nb\n", {{"s", "=", "\"a _"}, {"b"}}, {"", ""}, true},
        {"mark at the end", "x _", {{"x"}}, {""}, false},
    };
    for (const LineCase& c : cases) {
        VbProgram p;
        read_vb_text(c.text, p);
        EXPECT_EQ(p.lexical_error, c.lexical_error) << c.what;
        std::vector<std::vector<std::string>> code;
        std::vector<std::string> comments;
        for (const VbLogicalLine& l : p.lines) {
            code.push_back(l.code);
            comments.push_back(l.has_comment ? l.comment : "");
        }
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(comments, c.comments) << c.what;
    }
}

TEST(VbTokens, SameProgram) {
    struct Case {
        const char* what;
        std::string a;
        std::string b;
        bool with_comments;
        bool same;
    };
    const Case cases[] = {
        {"indentation and blanks", "  Dim x   As Long\n", "Dim x As Long\n", true, true},
        {"joined continuation", "x = a _\n  + b\n", "x = a + b\n", true, true},
        {"split differently", "x = a _\n + b\n", "x = _\na _\n+ _\nb\n", true, true},
        {"blank lines", "a\n\n\nb\n", "a\nb\n", true, true},
        {"merged chunks", "x = a b\n", "x = ab\n", true, false},
        {"string changed", "s = \"a  b\"\n", "s = \"a b\"\n", true, false},
        {"line joined", "x = a\ny\n", "x = a y\n", true, false},
        {"comment removed", "x = 1 ' c\n' d\n", "x = 1\n", true, false},
        {"comment removed, comments aside", "x = 1 ' c\n' d\n", "x = 1\n", false, true},
        {"continuation lost", "x = a _\ny\n", "x = a\ny\n", false, false},
    };
    for (const Case& c : cases) {
        VbProgram a;
        VbProgram b;
        read_vb_text(c.a, a);
        read_vb_text(c.b, b);
        std::string why;
        EXPECT_EQ(same_program(a, b, c.with_comments, "", why), c.same) << c.what << ": " << why;
    }
    // The exempt comment is left out on the line that carries it.
    VbProgram a;
    VbProgram b;
    read_vb_text("Option Explicit ' mine\n", a);
    read_vb_text("Option Explicit   ' stamp\n", b);
    std::string why;
    EXPECT_TRUE(same_program(a, b, true, "'stamp", why)) << why;
    EXPECT_FALSE(same_program(a, b, true, "'other", why));
}

} // namespace
} // namespace trevox::fuzz
