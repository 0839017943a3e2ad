// The rewrite pass: per-line steps, form headers, protected regions, the
// stamp, removal of blank lines and comments, the lines shown to the sink,
// write failures.
#include "engine/engine.h"
#include "engine/rules.h"

#include "engine_test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trevox {
namespace {

using namespace std::string_literals;
using engine_test::kStamp;

class PumpTest : public engine_test::PassTest {
  public:
    std::string pump(const std::string& input) {
        std::string out = run_pass(EnginePass::rewrite, input);
        EXPECT_FALSE(outcome_.result.stopped) << input;
        EXPECT_EQ(outcome_.result.write_errors, 0);
        EXPECT_TRUE(outcome_.result.stored);
        return out;
    }
    int stamp_pending() const { return options_.stamp_pending ? 1 : 0; }
};

struct PumpCase {
    const char* what;
    std::string input;
    std::string expected;
};

// Runs every case as a pass of its own, the stamp already given, so that only
// the settings under test decide the output.
void check_pump_cases(PumpTest& t, const std::vector<PumpCase>& cases) {
    for (const PumpCase& c : cases) {
        t.options_.stamp_pending = false;
        EXPECT_EQ(t.pump(c.input), c.expected) << c.what;
    }
}

class PumpSteps : public PumpTest {};

TEST_F(PumpSteps, DefaultSettings) {
    check_pump_cases(
        *this,
        {
            {"indentation and As", "  Dim  x   As Long\n\tx = 1\n", "Dim  x As Long\nx = 1\n"},
            {"last line without newline", "a\n  b", "a\nb"},
            {"blank lines kept, emptied", "a\n \t \n\nb\n", "a\n\n\nb\n"},
            {"comments kept", "  ' c\nx = 1 ' c\n", "' c\nx = 1 ' c\n"},
            {"hash lines are ordinary", "  #If Win32 Then\n", "#If Win32 Then\n"},
            {"procedure not tightened", "Private Function F(x  As Long)\n",
             "Private Function F(x  As Long)\n"},
            {"empty input", "", ""},
            {"single newline", "\n", "\n"},
            {"NUL and lone CR survive", "  x = \"\0\r\"\n"s, "x = \"\0\r\"\n"s},
        });
}

TEST_F(PumpSteps, RemoveBlankLines) {
    options_.remove_blank_lines = true;
    check_pump_cases(*this,
                     {
                         {"blank lines go", "a\n \t \n\nb\n", "a\nb\n"},
                         {"form feed and CR count as white space", "a\n\f\n\r \nb\n", "a\nb\n"},
                         {"blank last line", "a\n  ", "a\n"},
                         {"leading form feed goes", "\fx = 1\n", "x = 1\n"},
                     });
}

TEST_F(PumpSteps, RemoveComments) {
    options_.remove_comments = true;
    check_pump_cases(
        *this, {
                   {"whole-line comments", "' c\n  ' d\n\t'e\nx = 1\n", "x = 1\n"},
                   {"Rem keyword", "Rem c\nREM\nrem\tx\n  Rem d\nRem", ""},
                   {"Rem look-alikes", "Remaining = 1\nRemoveItem 2\nRem_x = 3\n",
                    "Remaining = 1\nRemoveItem 2\nRem_x = 3\n"},
                   {"trailing comment", "x = 1   ' c\ny = \"it's\"\n", "x = 1\ny = \"it's\"\n"},
                   {"last line gets its newline", "x = 1 ' c", "x = 1\n"},
                   {"If line", "If a Then b = 1' c\n", "If a Then b = 1\n"},
                   {"comment then tightened", "Dim  x   As Long ' c\n", "Dim  x As Long\n"},
                   {"NUL in code", "x = \"\0\" ' c\n"s, "x = \"\0\"\n"s},
               });
}

// Lines of any length are held and treated whole, wherever a fixed read piece
// would have cut them.
TEST_F(PumpSteps, LongLinesAreTreatedWhole) {
    options_.remove_comments = true;
    options_.stamp_pending = false;
    const std::string literal =
        "s = \"" + std::string(1000, 'a') + "   ' not a comment" + std::string(2000, ' ') + "x\"";
    const std::string input = std::string(600, ' ') + literal + " ' real\n" +
                              std::string(300000, '\t') + "Dim  y" + std::string(5000, ' ') +
                              "As Long\n";
    EXPECT_EQ(pump(input), literal + "\nDim  y As Long\n");
}

class PumpStamp : public PumpTest {};

TEST_F(PumpStamp, FirstOptionExplicitOfTheRun) {
    struct Case {
        const char* what;
        std::string input;
        std::string expected;
        int pending_after;
    };
    const Case cases[] = {
        {"plain", "Option Explicit\nx\n", "Option Explicit"s + kStamp + "x\n", 0},
        {"indented", "   \tOption Explicit\n", "Option Explicit"s + kStamp, 0},
        {"comment replaced", "Option Explicit ' mine\n", "Option Explicit"s + kStamp, 0},
        {"old stamp replaced", "Option Explicit   ' Reformatted 12-31-99 at 23:59:59\n",
         "Option Explicit"s + kStamp, 0},
        {"last line without newline", "x\nOption Explicit", "x\nOption Explicit"s + kStamp, 0},
        {"only the first", "Option Explicit\nOption Explicit ' c\n",
         "Option Explicit"s + kStamp + "Option Explicit ' c\n", 0},
        {"lower case never", "option explicit\nOPTION EXPLICIT\n",
         "option explicit\nOPTION EXPLICIT\n", 1},
        {"Option Base is not it", "Option Base 0\n", "Option Base 0\n", 1},
        {"blanks and tabs before the end", "Option Explicit \t \n", "Option Explicit"s + kStamp, 0},
        {"quote right after", "Option Explicit' c\n", "Option Explicit"s + kStamp, 0},
        {"Rem comment replaced", "Option Explicit\tRem c\n", "Option Explicit"s + kStamp, 0},
        // Nothing but a comment may give way to the stamp: code would be lost,
        // and the next line of a continued comment would become code.
        {"code after a colon kept", "Option Explicit: Dim x\nOption Explicit\n",
         "Option Explicit: Dim x\nOption Explicit"s + kStamp, 0},
        {"code right after kept", "Option Explicit= 1\n", "Option Explicit= 1\n", 1},
        {"continued comment kept", "Option Explicit ' a _\n  b\n", "Option Explicit ' a _\nb\n", 1},
        {"continued line kept", "Option Explicit _\n\n", "Option Explicit _\n\n", 1},
        {"Rem glued to Explicit is one word", "Option ExplicitRem c\n", "Option ExplicitRem c\n",
         1},
    };
    for (const Case& c : cases) {
        options_.stamp_pending = true;
        EXPECT_EQ(pump(c.input), c.expected) << c.what;
        EXPECT_EQ(stamp_pending(), c.pending_after) << c.what;
    }
}

TEST_F(PumpStamp, OnlyTheFirstFileOfTheRunIsStamped) {
    EXPECT_EQ(pump("x\n"), "x\n");
    EXPECT_EQ(stamp_pending(), 1);
    EXPECT_EQ(pump("Option Explicit\n"), "Option Explicit"s + kStamp);
    EXPECT_EQ(pump("Option Explicit\n"), "Option Explicit\n");
    EXPECT_EQ(stamp_pending(), 0);
}

TEST_F(PumpStamp, CommentRemovedBeforeStamping) {
    options_.remove_comments = true;
    EXPECT_EQ(pump("' header\nOption Explicit ' c\n"), "Option Explicit"s + kStamp);
}

class PumpFormHeader : public PumpTest {};

const std::string kFormHeader = "VERSION 5.00\n"
                                "  Begin VB.Form frmMain \n"
                                "   Caption         =   \"Main  As  Form\" ' kept\n"
                                "   ' a comment inside the header\n"
                                "\n"
                                "   Begin VB.CommandButton cmdOk\n"
                                "   End\n"
                                "End\n"
                                "Attribute VB_Name = \"frmMain\"\n"
                                "Attribute VB_Creatable = False\n";
const std::string kFormHeaderOut = "VERSION 5.00\n"
                                   "Begin VB.Form frmMain \n"
                                   "   Caption         =   \"Main  As  Form\" ' kept\n"
                                   "   ' a comment inside the header\n"
                                   "\n"
                                   "   Begin VB.CommandButton cmdOk\n"
                                   "   End\n"
                                   "End\n"
                                   "Attribute VB_Name = \"frmMain\"\n"
                                   "Attribute VB_Creatable = False\n";

TEST_F(PumpFormHeader, HeaderAndAttributeBlockPassUnchanged) {
    options_.remove_comments = true;
    options_.remove_blank_lines = true;
    EXPECT_EQ(pump(kFormHeader + "Option Explicit   ' note\n" + "  Dim  a   As Long ' c\n" +
                   "Attribute X = 1\n"),
              kFormHeaderOut + "Option Explicit" + kStamp + "Dim  a As Long\nAttribute X = 1\n");
}

TEST_F(PumpFormHeader, LineAfterTheHeaderSkipsTheRules) {
    options_.remove_comments = true;
    options_.stamp_pending = false;
    EXPECT_EQ(pump(kFormHeader + "  Dim  a   As Long ' c\n  Dim  b   As Long ' c\n"),
              kFormHeaderOut + "  Dim  a   As Long ' c\nDim  b As Long\n");
    // The line after the header may open a protected region.
    options_.remove_comments = false;
    EXPECT_EQ(pump(kFormHeader + "'$Protect\n  a  \n'$UnProtect\n  b\n"),
              kFormHeaderOut + "'$Protect\n  a  \n'$UnProtect\nb\n");
}

TEST_F(PumpFormHeader, OnlyBeginVbFormWithItsBlankOpensAHeader) {
    options_.remove_comments = true;
    check_pump_cases(
        *this,
        {
            {"no blank after Form", "Begin VB.Form\n  x ' c\n", "Begin VB.Form\nx\n"},
            {"other kind of form", "Begin VB.MDIForm m\n  x ' c\n", "Begin VB.MDIForm m\nx\n"},
            {"a control", "Begin VB.Label l\n  x ' c\n", "Begin VB.Label l\nx\n"},
            {"case matters", "begin VB.Form f\n  x ' c\n", "begin VB.Form f\nx\n"},
        });
}

TEST_F(PumpFormHeader, InputEndsInsideTheHeader) {
    options_.remove_comments = true;
    check_pump_cases(
        *this, {
                   {"no Attribute line: all unchanged but the last line",
                    "Begin VB.Form f \n  a ' x\n  b ' y\nOption Explicit ' z",
                    "Begin VB.Form f \n  a ' x\n  b ' y\nOption Explicit ' z"},
                   {"ends in the Attribute block", "Begin VB.Form f \nAttribute A\nAttribute B",
                    "Begin VB.Form f \nAttribute A\nAttribute B"},
                   {"header line is the last", "x\n Begin VB.Form f ", "x\nBegin VB.Form f "},
               });
    // With the stamp pending, the last line still gets it.
    options_.stamp_pending = true;
    EXPECT_EQ(pump("Begin VB.Form f \n  a ' x\nOption Explicit ' z"),
              "Begin VB.Form f \n  a ' x\nOption Explicit"s + kStamp);
}

class PumpProtected : public PumpTest {};

TEST_F(PumpProtected, RegionsPassUnchanged) {
    check_pump_cases(
        *this,
        {
            {"indented start, indented end does not close",
             "x = 1\n  '  $PROTECT\n    Dim  a   As Long ' keep\n  '$UnProtect\n    y  = 2\n"
             "'$unprotect done\n    z = 3\n",
             "x = 1\n'  $PROTECT\n    Dim  a   As Long ' keep\n  '$UnProtect\n    y  = 2\n"
             "'$unprotect done\nz = 3\n"},
            {"text before the marker", "' keep $protect this\n  a\n'  $UNPROTECT\n  b\n",
             "' keep $protect this\n  a\n'  $UNPROTECT\nb\n"},
            {"another $ first is no start", "' cost $5 $Protect\n  a\n", "' cost $5 $Protect\na\n"},
            {"open at the end of the input", "'$Protect\n  a\n\n  b", "'$Protect\n  a\n\n  b"},
            {"closed by the last line", "'$Protect\n  a\n'$UnProtect",
             "'$Protect\n  a\n'$UnProtect"},
            {"start line is the last line", "x\n'$Protect\n", "x\n'$Protect\n"},
            {"start line without newline", "x\n  '$Protect", "x\n'$Protect"},
            {"end marker not at a quote", "'$Protect\n  a\nx '$UnProtect\n  b\n",
             "'$Protect\n  a\nx '$UnProtect\n  b\n"},
            {"UnProtect does not open", "'$UnProtect\n  a\n", "'$UnProtect\na\n"},
        });
}

TEST_F(PumpProtected, RemoveCommentsDropsTheMarkers) {
    options_.remove_comments = true;
    check_pump_cases(*this,
                     {
                         {"markers dropped, inside rewritten",
                          "'$Protect\n  Dim  a   As Long ' c\n'$UnProtect\n", "Dim  a As Long\n"},
                     });
}

// Comments continued with " _" take their continuation lines with them.
class PumpCommentContinuation : public PumpTest {};

TEST_F(PumpCommentContinuation, UnderRemoveComments) {
    options_.remove_comments = true;
    check_pump_cases(
        *this,
        {
            {"commented-out declaration",
             "'Public Declare Function F Lib \"x.dll\" _\n    ByVal n As Long) As Long\nx = 1\n",
             "x = 1\n"},
            {"several continuation lines", "  ' a _\n b _\n\tc\nd\n", "d\n"},
            {"Rem comment", "Rem a _\nb\nc\n", "c\n"},
            {"continuation lines that look like comments or code",
             "' a _\n' b _\nOption Explicit _\n'$Protect\nx\n", "x\n"},
            {"trailing comment", "x = 1 ' note _\n more note\ny = 2\n", "x = 1\ny = 2\n"},
            {"trailing comment on If", "If a Then b' note _\n more\ny\n", "If a Then b\ny\n"},
            {"trailing comment at the end", "x = 1 ' n _\n", "x = 1\n"},
            {"trailing comment, continuation at the end", "x = 1 ' n _\nmore", "x = 1\n"},
            {"comment at the end", "x\n' a _\n", "x\n"},
            {"continuation without newline", "' a _\nb", ""},
            {"blank line ends the comment", "' a _\n\ny\n", "y\n"},
            {"tab before underscore", "' a\t_\nb\n", "b\n"},
            {"underscore without blank", "' a_\nb\n", "b\n"},
            {"code continued, no comment", "x = a + _\n  b\n", "x = a + _\nb\n"},
        });
}

TEST_F(PumpCommentContinuation, StampedLineKeepsItsStamp) {
    options_.remove_comments = true;
    EXPECT_EQ(pump("Option Explicit ' a _\n b\nx\n"), "Option Explicit"s + kStamp + "x\n");
}

TEST_F(PumpCommentContinuation, WithoutRemoveCommentsNothingChanges) {
    check_pump_cases(*this, {
                                {"comment kept", "' a _\n  b\nc\n", "' a _\nb\nc\n"},
                                {"trailing kept", "x = 1 ' a _\n  b\n", "x = 1 ' a _\nb\n"},
                            });
}

// A removed line that would let the next line join a continued line before
// it: an empty line stands in its place.
class PumpContinuedStatementEnd : public PumpTest {};

TEST_F(PumpContinuedStatementEnd, BlankLineAfterAContinuedLine) {
    options_.remove_blank_lines = true;
    check_pump_cases(
        *this,
        {
            {"blank line kept as an empty line", "x = a _\n  \ny = 1\n", "x = a _\n\ny = 1\n"},
            {"only the first blank line", "x = a _\n\n \t\n\ny\n", "x = a _\n\ny\n"},
            {"ordinary line before", "x = 1\n\ny\n", "x = 1\ny\n"},
            {"commented-out continued statement", "'Dim a _\n\nSet db = New Connection\n",
             "'Dim a _\n\nSet db = New Connection\n"},
            {"label after it", "'x = a _\n\nNextRecord:\n", "'x = a _\n\nNextRecord:\n"},
            {"blank last line without newline", "x = a _\n  ", "x = a _\n"},
            {"tab before underscore is no continuation", "s = a\t_\n\nt\n", "s = a\t_\nt\n"},
            {"after a form header", "Begin VB.Form f \nAttribute A _\n\nx\n",
             "Begin VB.Form f \nAttribute A _\n\nx\n"},
        });
}

TEST_F(PumpContinuedStatementEnd, CommentLineAfterAContinuedLine) {
    options_.remove_comments = true;
    check_pump_cases(*this,
                     {
                         {"comment replaced by an empty line",
                          "s = s & \" WHERE \" _\n'---\nIf s <> \"\" Then\n",
                          "s = s & \" WHERE \" _\n\nIf s <> \"\" Then\n"},
                         {"continued comment replaced by one empty line",
                          "s = a _\n' c _\n  more\nt = 1\n", "s = a _\n\nt = 1\n"},
                         {"Rem", "s = a _\nRem\nt\n", "s = a _\n\nt\n"},
                         {"comment last without newline", "s = a _\n'c", "s = a _\n"},
                         {"continued comment ends the input without newline",
                          "s = a _\n' c _\nmore", "s = a _\n"},
                         {"continued comment at the end", "s = a _\n' c _\nmore\n", "s = a _\n\n"},
                         {"ordinary line before", "s = a\n'c\nt\n", "s = a\nt\n"},
                         {"blank lines kept anyway", "s = a _\n\nt\n", "s = a _\n\nt\n"},
                     });
}

TEST_F(PumpContinuedStatementEnd, BothRemovals) {
    options_.remove_comments = true;
    options_.remove_blank_lines = true;
    check_pump_cases(*this,
                     {
                         {"comment then blank", "s = a _\n'c\n\nt\n", "s = a _\n\nt\n"},
                         {"blank then comment", "s = a _\n\n'c\nt\n", "s = a _\n\nt\n"},
                         {"dropped comment's code before", "s = 1 ' x _\n y\n\nt\n", "s = 1\nt\n"},
                     });
}

// The sink is shown every line as it is written, and also the empty texts
// that write nothing (a blank line removed), in order.
TEST_F(PumpTest, SinkIsShownEveryLineAsWritten) {
    show_lines();
    options_.remove_blank_lines = true;
    options_.stamp_pending = false;
    const std::string out = pump("x = \"100%s %d\"\n \t\n'$Protect\n  a");
    EXPECT_EQ(out, "x = \"100%s %d\"\n'$Protect\n  a");
    const std::vector<std::string> expected = {"x = \"100%s %d\"\n", "", "'$Protect\n", "  a"};
    EXPECT_EQ(outcome_.lines, expected);
}

class PumpWriteFailure : public PumpTest {};

TEST_F(PumpWriteFailure, InTheMiddleStopsBeforeTheNextLine) {
    fail_writes();
    run_pass(EnginePass::rewrite, std::string(engine_test::kHugeLine, 'a') + "\nb\nc\n");
    EXPECT_TRUE(outcome_.result.stopped);
    EXPECT_EQ(outcome_.result.write_errors, 1);
    EXPECT_EQ(outcome_.failures_told, 1);
    EXPECT_FALSE(outcome_.result.stored);
}

TEST_F(PumpWriteFailure, OnTheLastLineEndsNormallyWithTheCount) {
    fail_writes();
    run_pass(EnginePass::rewrite, "a\n" + std::string(engine_test::kHugeLine, 'b'));
    EXPECT_FALSE(outcome_.result.stopped);
    EXPECT_EQ(outcome_.result.write_errors, 1);
    EXPECT_EQ(outcome_.failures_told, 1);
}

TEST_F(PumpWriteFailure, ProtectedRegionWritesOnToItsEnd) {
    fail_writes();
    run_pass(EnginePass::rewrite,
             "'$Protect\n" + std::string(engine_test::kHugeLine, 'a') + "\nb\n'$UnProtect\nc\n");
    EXPECT_TRUE(outcome_.result.stopped);
    EXPECT_EQ(outcome_.result.write_errors, 3);
    EXPECT_EQ(outcome_.failures_told, 3);
}

// The last block is stored when the text ends; a store that fails there is
// told in the result, not as a failed line.
TEST_F(PumpWriteFailure, LastBlockRefused) {
    fail_writes();
    run_pass(EnginePass::rewrite, "a\nb\n");
    EXPECT_FALSE(outcome_.result.stopped);
    EXPECT_EQ(outcome_.result.write_errors, 0);
    EXPECT_EQ(outcome_.failures_told, 0);
    EXPECT_FALSE(outcome_.result.stored);
}

TEST_F(PumpTest, EmptyTextHasNoInput) {
    EXPECT_EQ(pump(""), "");
    EXPECT_FALSE(outcome_.result.had_input);
    EXPECT_EQ(pump("\x1a\x1a"), "");
    EXPECT_FALSE(outcome_.result.had_input);
    EXPECT_EQ(pump("\n"), "\n");
    EXPECT_TRUE(outcome_.result.had_input);
}

TEST(PumpMarkers, ProtectStart) {
    struct Case {
        std::string line;
        bool start;
    };
    const Case cases[] = {
        {"'$Protect\n", true},      {"'$PROTECT", true},
        {"' x $protect y\n", true}, {"'$Protec\n", false},
        {" '$Protect\n", false},    {"x '$Protect\n", false},
        {"'$UnProtect\n", false},   {"' $5 $Protect\n", false},
        {"'\0$Protect\n"s, true},   {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_protect_start(c.line), c.start) << c.line;
    }
}

// A Formatter kept from text to text, as a run keeps its engines from file
// to file, formats each text as a fresh one would: nothing left over from the
// text before (a Ctrl-Z run held back, a continued line written last, a
// stamp given) reaches the next.
TEST(EngineReuse, NothingCarriesOverToTheNextText) {
    FormatOptions options;
    options.remove_blank_lines = true;
    options.stamp = kStamp;
    options.stamp_pending = true;
    const char* const texts[] = {
        "a\r\n\x1a",           "b\r\n",         "x = a _\r\n", "\r\ny\r\n", "Option Explicit\r\n",
        "Option Explicit\r\n", "  c = 1 _\r\n", "d\r\n",
    };
    for (const bool join : {false, true}) {
        options.combine_split_lines = join;
        Formatter kept;
        for (const char* text : texts) {
            std::string reused;
            std::string fresh;
            ASSERT_TRUE(kept.format(options, text, reused));
            ASSERT_TRUE(format_text(options, text, fresh));
            EXPECT_EQ(reused, fresh) << "after the text before, " << text;
        }
    }
}

// LF line ends on request, in both passes; the choice rests on a scan of the
// text's line ends in any split.
TEST(EngineLineEnds, LfAloneOnRequest) {
    FormatOptions options;
    options.lf_line_ends = true;
    options.combine_split_lines = true;
    std::string out;
    ASSERT_TRUE(format_text(options, "  a = 1 _\n    + 2\r\n\tb\n", out));
    EXPECT_EQ(out, "a = 1 + 2\nb\n");
    options.combine_split_lines = false;
    const engine_test::PassOutcome split =
        engine_test::run_split(options, EnginePass::rewrite, "x\r\n  y\n", 1, SIZE_MAX, false);
    EXPECT_EQ(split.stored, "x\ny\n");

    const struct {
        std::string text;
        bool lf_only;
    } cases[] = {
        {"a\nb\n", true}, {"a\r\nb\n", false}, {"a\nb\r\n", false}, {"a", false},
        {"", false},      {"a\rb\n", true},    {"\n", true},        {"a\r", false},
    };
    for (const auto& c : cases) {
        for (std::size_t block : {std::size_t{1}, std::size_t{2}, c.text.size() + 1}) {
            LineEndScan scan;
            for (std::size_t at = 0; at < c.text.size(); at += block) {
                scan.feed(c.text.data() + at, std::min(block, c.text.size() - at));
            }
            EXPECT_EQ(scan.lf_only(), c.lf_only) << c.text << " in blocks of " << block;
        }
    }
}

} // namespace
} // namespace trevox
