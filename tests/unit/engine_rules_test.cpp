// The line rewrite rules, applied to lines held in strings (a final "\n" is
// the line end) the way the engine applies them.
#include "engine/rules.h"

#include "engine_test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include <string>
#include <vector>

namespace trevox {
namespace {

using namespace std::string_literals;
using engine_test::line_of;

std::string text_of(const TextLine& line) {
    return std::string(line.text) + (line.newline ? "\n" : "");
}

void edit_strip_leading_blanks(std::string& line) {
    line = text_of(strip_leading_blanks(line_of(line)));
}

void edit_strip_leading_space(std::string& line) {
    line = text_of(strip_leading_space(line_of(line)));
}

void edit_trim_trailing_blanks(std::string& line) {
    TextLine l = line_of(line);
    l.text = l.text.substr(0, trimmed_length(l.text));
    line = text_of(l);
}

bool edit_cut_trailing_comment(std::string& line) {
    TextLine l = line_of(line);
    if (!cut_trailing_comment(l)) {
        return false;
    }
    line = text_of(l);
    return true;
}

void edit_strip_comment(std::string& line) {
    (void)edit_cut_trailing_comment(line);
}

void edit_tighten_as(std::string& line) {
    const BlankRun run = blanks_before_as(line);
    line.erase(run.from, run.to - run.from);
}

struct EditCase {
    std::string input;
    std::string expected;
};

// Runs `rule` on a copy of every input and compares with the expected line.
template <typename Rule> void check_edits(Rule rule, const std::vector<EditCase>& cases) {
    for (const EditCase& c : cases) {
        std::string line = c.input;
        rule(line);
        EXPECT_EQ(line, c.expected) << "input: [" << c.input << "]";
    }
}

TEST(RulesLeadingWhiteSpace, StripLeadingBlanksRemovesBlanksAndTabsOnly) {
    check_edits(edit_strip_leading_blanks, {
                                               {"\t  x = 1\n", "x = 1\n"},
                                               {" \t \n", "\n"},
                                               {"   ", ""},
                                               {"x = 1\n", "x = 1\n"},
                                               {"  x  = 1  \n", "x  = 1  \n"},
                                               {"\fx\n", "\fx\n"},
                                               {"\rx\n", "\rx\n"},
                                               {"\n", "\n"},
                                               {"", ""},
                                               {"  a\0b\n"s, "a\0b\n"s},
                                               {"\0  a\n"s, "\0  a\n"s},
                                           });
}

TEST(RulesLeadingWhiteSpace, StripLeadingSpaceRemovesTheSixWhiteSpaceCharacters) {
    check_edits(edit_strip_leading_space, {
                                              {"\t  x = 1\n", "x = 1\n"},
                                              {" \t \n", ""},
                                              {"\n", ""},
                                              {"\fx\n", "x\n"},
                                              {"\rx\n", "x\n"},
                                              {"\v\f\r\t x", "x"},
                                              {"\xA0x\n", "\xA0x\n"},
                                              {"\x85x\n", "\x85x\n"},
                                              {"\x1Ax\n", "\x1Ax\n"},
                                              {"  \0x\n"s, "\0x\n"s},
                                          });
}

// A line that is only a continuation mark keeps the blank that makes it one.
TEST(RulesLeadingWhiteSpace, BareContinuationMarkKeepsItsBlank) {
    const std::vector<EditCase> cases = {
        {" _\n", " _\n"}, {"\t  _\n", " _\n"}, {"  _\n", " _\n"},
        {"\t_\n", "_\n"}, {" _", " _"},        {"\t _", " _"},
        {"\t_", "_"},     {"  _x\n", "_x\n"},  {"  x _\n", "x _\n"},
    };
    check_edits(edit_strip_leading_blanks, cases);
    check_edits(edit_strip_leading_space, cases);
    check_edits(edit_strip_leading_space, {{"\f\v _\n", " _\n"}, {"\n \t_\n", "_\n"}});
}

TEST(RulesLeadingWhiteSpace, LongLinesLoseOnlyTheirLeadingWhiteSpace) {
    // A line far longer than any fixed buffer, with blanks inside a string
    // literal at every multiple of 511: only the indentation goes.
    std::string body = "s = \"";
    while (body.size() < 5000) {
        body += "abc      ";
    }
    body += "\"\n";
    std::string line = std::string(700, ' ') + "\t" + body;
    edit_strip_leading_blanks(line);
    EXPECT_EQ(line, body);
    line = std::string(700, '\t') + body;
    edit_strip_leading_space(line);
    EXPECT_EQ(line, body);
}

TEST(RulesTrimTrailingBlanks, RemovesBlanksBeforeTheNewlineButNotTabs) {
    check_edits(edit_trim_trailing_blanks, {
                                               {"x  \n", "x\n"},
                                               {"x   ", "x"},
                                               {"x\t \n", "x\t\n"},
                                               {"x \t\n", "x \t\n"},
                                               {"x\n", "x\n"},
                                               {"\n", "\n"},
                                               {"", ""},
                                               {"x \0 \n"s, "x \0\n"s},
                                           });
}

TEST(RulesStripComment, TrailingCommentsAndStringLiterals) {
    check_edits(edit_strip_comment,
                {
                    // Quotes inside string literals are no comment.
                    {"s = \"it's\"\n", "s = \"it's\"\n"},
                    {"s = \"it 's\"\n", "s = \"it 's\"\n"},
                    // A literal with an apostrophe, then a real comment.
                    {"s = \"it 's\" ' note\n", "s = \"it 's\"\n"},
                    {"s = \"it 's\"   ' note\n", "s = \"it 's\"\n"},
                    // No blank before the quote, or a tab: not a comment.
                    {"x = 1' note\n", "x = 1' note\n"},
                    {"x = 1\t' note\n", "x = 1\t' note\n"},
                    // The leftmost candidate wins.
                    {"x = 1 ' first ' second\n", "x = 1\n"},
                    // A tab before the blank and quote stays.
                    {"x = 1\t ' note\n", "x = 1\t\n"},
                    // A comment holding an odd number of double quotes.
                    {"x = 1 ' say \"hi\n", "x = 1 ' say \"hi\n"},
                    // Balanced quotes in the comment do not hide it.
                    {"x = \"a\" & \"b\" ' c \"d\" e\n", "x = \"a\" & \"b\"\n"},
                    // Rem after a statement is not looked for.
                    {"x = 1: Rem note\n", "x = 1: Rem note\n"},
                    // The last line of a file, without its newline.
                    {"x = 1 ' note", "x = 1\n"},
                    {"x = 1", "x = 1"},
                    // Trailing blanks of a line without a comment stay.
                    {"x = 1   \n", "x = 1   \n"},
                    // A whole-line comment: the first character is never a candidate.
                    {"' note\n", "' note\n"},
                    {"'\n", "'\n"},
                    {"", ""},
                    // NUL bytes are ordinary characters.
                    {"x = \"\0\" ' c\n"s, "x = \"\0\"\n"s},
                    {"x = 1\0 ' c\n"s, "x = 1\0\n"s},
                });
}

TEST(RulesStripComment, SingleLineIf) {
    check_edits(edit_strip_comment,
                {
                    {"If a Then b = 1 ' note\n", "If a Then b = 1\n"},
                    {"If a Then ' note\n", "If a Then\n"},
                    // No blank needed before the quote after Then.
                    {"If a Then b = 1' note\n", "If a Then b = 1\n"},
                    {"If a Then b = 1' note", "If a Then b = 1\n"},
                    // ElseIf goes through the general rule.
                    {"ElseIf a Then b = 1' note\n", "ElseIf a Then b = 1' note\n"},
                    {"ElseIf a Then b = 1 ' note\n", "ElseIf a Then b = 1\n"},
                    // A literal with an apostrophe after Then.
                    {"If a Then s = \"it's\"\n", "If a Then s = \"it's\"\n"},
                    {"If a Then s = \"it's\"  ' note\n", "If a Then s = \"it's\"\n"},
                    {"If a Then s = \"it's\"' note\n", "If a Then s = \"it's\"\n"},
                    // Then without a blank after it: the general rule.
                    {"If a Then\n", "If a Then\n"},
                    {"If a Then' x\n", "If a Then' x\n"},
                    // "If" is case-sensitive and needs its blank.
                    {"if a Then b' c\n", "if a Then b' c\n"},
                    {"Ifx Then b' c\n", "Ifx Then b' c\n"},
                    // A quote before Then is found by the general rule.
                    {"If a ' b Then c\n", "If a\n"},
                    // A Then inside a comment does not count.
                    {"If a ' b Then c ' d\n", "If a\n"},
                    {"If ' Then '", "If\n"},
                });
}

// " Then " inside a string literal is passed over: the first " Then " used is
// the first one outside string literals.
TEST(RulesStripComment, ThenInsideAStringLiteralIsPassedOver) {
    check_edits(
        edit_strip_comment,
        {
            {"If s = \"a Then 'b\" Then c = 1 ' note\n", "If s = \"a Then 'b\" Then c = 1\n"},
            {"If s = \"a Then 'b\" Then c = 1\n", "If s = \"a Then 'b\" Then c = 1\n"},
            {"If s = \"a Then 'b\" Then c = 1' note\n", "If s = \"a Then 'b\" Then c = 1\n"},
            // Only a Then inside a literal: the general rule.
            {"If s = \"x Then 'y\"\n", "If s = \"x Then 'y\"\n"},
            {"If s = \"x Then 'y\" ' z\n", "If s = \"x Then 'y\"\n"},
            // Many Then words inside literals before the real one.
            {"If s = \"a Then '\" Or t = \"b Then '\" Then c = 1' n\n",
             "If s = \"a Then '\" Or t = \"b Then '\" Then c = 1\n"},
        });
}

// A comment start found from the right that lies inside a string literal
// counted from the start of the line is never cut.
TEST(RulesStripComment, NeverCutsInsideAStringLiteral) {
    check_edits(edit_strip_comment, {
                                        {"q = q & \" WHERE id = '\" & n & \"'\" 'was \"old\n",
                                         "q = q & \" WHERE id = '\" & n & \"'\" 'was \"old\n"},
                                        {"s = \"a 'b\" ' c \"d\n", "s = \"a 'b\" ' c \"d\n"},
                                        // The same line with a balanced comment is cut normally.
                                        {"q = q & \" WHERE id = '\" & n & \"'\" 'was \"old\"\n",
                                         "q = q & \" WHERE id = '\" & n & \"'\"\n"},
                                    });
    EXPECT_EQ(find_comment("q = q & \" WHERE id = '\" & n & \"'\" 'was \"old\n"), 0u);
}

// A cut that would leave " _" at the end of the line would continue it: the
// next line would join this statement, or become part of a comment that the
// cut left behind. Such a line stays as it is.
TEST(RulesStripComment, NeverLeavesAContinuationMark) {
    check_edits(edit_strip_comment, {
                                        {"x = a _ ' note\n", "x = a _ ' note\n"},
                                        {"x = a _   ' note", "x = a _   ' note"},
                                        {"x = 1' a _ ' b\n", "x = 1' a _ ' b\n"},
                                        {"If a Then b _' c\n", "If a Then b _' c\n"},
                                        {"x = a _ ' note _\n", "x = a _ ' note _\n"},
                                        // Not a continuation mark: cut as usual.
                                        {"x = a_ ' note\n", "x = a_\n"},
                                        {"x = a\t_ ' note\n", "x = a\t_\n"},
                                        {"x = a _\t ' note\n", "x = a _\t\n"},
                                    });
}

TEST(RulesStripComment, FindCommentPositions) {
    struct Case {
        std::string line;
        std::size_t pos;
    };
    const Case cases[] = {
        {"x = 1 ' note\n", 6}, {"x = 1 ' a ' b\n", 6}, {"x ' a \" b\n", 0}, {"x = \"'\" ' n\n", 8},
        {" ' x\n", 1},         {"' x\n", 0},           {"x = 1'\n", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(find_comment(c.line), c.pos) << c.line;
    }
}

// The comment search reads a line front to back from one quote to the next;
// it must find what the plain reading from the end finds (the leftmost
// candidate outside a string read from the end, unless the quotes before it
// do not balance), on every line of the characters that matter.
TEST(RulesStripComment, FindCommentAgreesWithTheReadingFromTheEnd) {
    const auto from_the_end = [](const std::string& line) {
        bool in_string = false;
        std::size_t found = 0;
        for (std::size_t i = line.size(); i > 1;) {
            --i;
            in_string = line[i] == '"' ? !in_string : in_string;
            if (!in_string && line[i] == '\'' && line[i - 1] == ' ') {
                found = i;
            }
        }
        const auto before = std::count(line.begin(), line.begin() + static_cast<long>(found), '"');
        return found != 0 && before % 2 != 0 ? std::size_t{0} : found;
    };
    const std::string alphabet = " '\"a";
    std::uint32_t seed = 12345;
    for (int n = 0; n < 200000; ++n) {
        seed = seed * 1664525u + 1013904223u;
        std::string line(1 + (seed >> 24) % 40, ' ');
        for (char& c : line) {
            seed = seed * 1664525u + 1013904223u;
            c = alphabet[(seed >> 16) % alphabet.size()];
        }
        ASSERT_EQ(find_comment(line), from_the_end(line)) << "[" << line << "]";
    }
}

TEST(RulesStripComment, LongLines) {
    const std::string code = "s = \"" + std::string(3000, 'a') + " ' inside\" & t";
    std::string line = code + "    ' note\n";
    edit_strip_comment(line);
    EXPECT_EQ(line, code + "\n");

    // A blank and quote at the position where a 511-character piece would
    // begin, inside a string literal: untouched.
    line = "s = \"" + std::string(505, 'b') + " 'x" + std::string(600, 'c') + "\"\n";
    const std::string before = line;
    edit_strip_comment(line);
    EXPECT_EQ(line, before);

    line = "If a Then s = \"" + std::string(2000, '\'') + "\" ' n\n";
    edit_strip_comment(line);
    EXPECT_EQ(line, "If a Then s = \"" + std::string(2000, '\'') + "\"\n");
}

TEST(RulesStripComment, ReportsWhetherACommentWasCut) {
    std::string line = "x = 1 ' note _\n";
    EXPECT_TRUE(edit_cut_trailing_comment(line));
    EXPECT_EQ(line, "x = 1\n");
    line = "If a Then b' c";
    EXPECT_TRUE(edit_cut_trailing_comment(line));
    EXPECT_EQ(line, "If a Then b\n");
    line = "x = a + _\n";
    EXPECT_FALSE(edit_cut_trailing_comment(line));
    EXPECT_EQ(line, "x = a + _\n");
}

TEST(RulesDeclaration, KeywordsAndExcludedSecondWords) {
    struct Case {
        std::string line;
        bool declaration;
    };
    const Case cases[] = {
        {"Dim x As Long\n", true},
        {"Public x As Long\n", true},
        {"Private x As Long\n", true},
        {"Static x As Long\n", true},
        {"Type T\n", true},
        {"Global x As Long\n", true},
        {"Private Type T\n", true},
        // Excluded second words and the words they begin.
        {"Public Sub Main()\n", false},
        {"Public Subtotal  As Long\n", false},
        {"Private Function F(x  As Long)\n", false},
        {"Dim Functions  As Long\n", true},
        {"Public Declare Function F Lib \"k\" ()\n", false},
        {"Dim Declared  As Long\n", false},
        {"Public Const X  As Long = 1\n", false},
        {"Dim Constant  As Long\n", false},
        {"Public Enum E\n", false},
        {"Dim Enumerator  As Long\n", false},
        {"Dim WithEvents x  As Form\n", false},
        {"Dim WithEventsX  As Long\n", true},
        {"Public Event Changed()\n", false},
        {"Public EventCount  As Long\n", true},
        {"Public Property Get P()  As Long\n", false},
        {"Public PropertyBag  As Long\n", true},
        // Case-sensitive, at the start of the line, with the final blank.
        {"dim x  As Long\n", false},
        {"DIM x  As Long\n", false},
        {"Dimension  As Long\n", false},
        {"Dim\tx  As Long\n", false},
        {"ReDim x(1)  As Long\n", false},
        {"  Dim x  As Long\n", false},
        {"Dim", false},
        {"Dim ", true},
        {"", false},
        // The second word starts right after the keyword's blank.
        {"Dim  Sub  As Long\n", true},
        {"Public sub x\n", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_declaration(c.line), c.declaration) << c.line;
    }
}

TEST(RulesTightenAs, CollapsesTheBlanksBeforeTheFirstAs) {
    check_edits(edit_tighten_as,
                {
                    {"Dim  x   As Long\n", "Dim  x As Long\n"},
                    {"Dim a  As Long, b  As Long\n", "Dim a As Long, b  As Long\n"},
                    {"Dim x As Long\n", "Dim x As Long\n"},
                    {"Dim x  as Long\n", "Dim x  as Long\n"},
                    {"Dim x\t As Long\n", "Dim x\t As Long\n"},
                    {"Dim x \t  As Long\n", "Dim x \t As Long\n"},
                    {"Dim x  AsLong\n", "Dim x  AsLong\n"},
                    {"Dim x  As", "Dim x  As"},
                    {"Dim x    As Long", "Dim x As Long"},
                    {"Dim x(1 To 2)   As New C ' c   As\n", "Dim x(1 To 2) As New C ' c   As\n"},
                    {"", ""},
                    {"x\0   As y"s, "x\0 As y"s},
                });
}

TEST(RulesTightenAs, NeverChangesTheInsideOfAStringLiteral) {
    check_edits(edit_tighten_as,
                {
                    {"Dim s$: s = \"a   As b\"\n", "Dim s$: s = \"a   As b\"\n"},
                    // Only the first " As " is looked at.
                    {"Dim s$: s = \"a   As b\": Dim t   As Long\n",
                     "Dim s$: s = \"a   As b\": Dim t   As Long\n"},
                    // Balanced literals before it do not matter.
                    {"Dim s$: s = \"x\": Dim t   As Long\n", "Dim s$: s = \"x\": Dim t As Long\n"},
                });
}

TEST(RulesTightenAs, LongRunOfBlanks) {
    std::string line = "Dim x" + std::string(3000, ' ') + "As Long\n";
    edit_tighten_as(line);
    EXPECT_EQ(line, "Dim x As Long\n");
}

} // namespace
} // namespace trevox
