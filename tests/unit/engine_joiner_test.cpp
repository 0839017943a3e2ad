// The join pass: lines copied, runs of continued lines joined.
#include "engine/engine.h"
#include "engine/rules.h"

#include "engine_test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace trevox {
namespace {

class JoinerTest : public engine_test::PassTest {
  public:
    std::string copy_back(const std::string& input) {
        std::string out = run_pass(EnginePass::join, input);
        EXPECT_FALSE(outcome_.result.stopped) << input;
        EXPECT_EQ(outcome_.result.write_errors, 0);
        return out;
    }
};

struct JoinCase {
    const char* what;
    std::int32_t max_line_length;
    std::string input;
    std::string expected;
};

void check_join_cases(JoinerTest& t, const std::vector<JoinCase>& cases) {
    for (const JoinCase& c : cases) {
        t.options_.max_line_length = c.max_line_length;
        EXPECT_EQ(t.copy_back(c.input), c.expected)
            << c.what << " (MaxLineLength " << c.max_line_length << ")";
    }
}

TEST(JoinerContinuedLine, Definition) {
    struct Case {
        std::string line;
        bool continued;
    };
    const Case cases[] = {
        {"x = a _\n", true}, {" _\n", true},        {"_\n", false},       {"x = a\t_\n", false},
        {"x = a _", false},  {"x = a _ \n", false}, {"x = a__\n", false}, {"", false},
        {"\n", false},       {"x = a  _\n", true},  {"'c _\n", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_continued(engine_test::line_of(c.line)), c.continued) << c.line;
    }
}

TEST_F(JoinerTest, CopiesAndJoins) {
    const std::int32_t kDefault = 512;
    check_join_cases(
        *this,
        {
            {"a run that fits", kDefault, "x = a + _\nb + _\nc\n", "x = a + b + c\n"},
            {"lines around a run", kDefault, "p\nx = a _\nb\nq\n", "p\nx = a b\nq\n"},
            {"ordinary lines unchanged", kDefault, "  a  \n\tb\n\n", "  a  \n\tb\n\n"},
            {"run at the end of the input", kDefault, "x = a + _\nb + _\n", "x = a + b + "},
            {"last line ends in _ without newline", kDefault, "y\nx = a _", "y\nx = a _"},
            {"final piece is an empty line", kDefault, "ab _\n\ncd\n", "ab \ncd\n"},
            {"final piece without newline", kDefault, "ab _\ncd", "ab cd"},
            {"tab before the underscore", kDefault, "a\t_\nb\n", "a\t_\nb\n"},
            {"blank and underscore alone", kDefault, " _\n _\nx\n", "  x\n"},
            // Joined to the run, "_" would make it continue onto "x".
            {"final piece is a bare underscore", kDefault, "' c _\n_\nx\n", "' c  _\n_\nx\n"},
            // At the end of the input " _" would be read as a mark, not as text.
            {"bare underscore at the end", kDefault, "' c _\n_", "' c  _\n_"},
            {"bare underscore after a longer run", kDefault, "x = a _\nb _\n_", "x = a b  _\n_"},
            {"two runs", kDefault, "a _\nb\nc _\nd\n", "a b\nc d\n"},
            {"empty input", kDefault, "", ""},
            {"continued lines keep their indentation", kDefault, "a _\n    b\n", "a     b\n"},
        });
}

TEST_F(JoinerTest, ProtectedRegions) {
    const std::int32_t kDefault = 512;
    check_join_cases(
        *this,
        {
            {"region copied as it is", kDefault, "'$Protect _\na _\nb\n'$UnProtect\nc _\nd\n",
             "'$Protect _\na _\nb\n'$UnProtect\nc d\n"},
            {"region start ends a run", kDefault, "x = a _\n'$Protect\n  y _\n  z\n'$UnProtect\n",
             "x = a '$Protect\n  y   z\n'$UnProtect\n"},
            {"region open at the end", kDefault, "'$protect\na _\nb _\n", "'$protect\na _\nb _\n"},
            {"indented end line does not close", kDefault, "'$Protect\n '$UnProtect\na _\nb\n",
             "'$Protect\n '$UnProtect\na _\nb\n"},
        });
}

// The combined length is compared with MaxLineLength, the final piece's "\n"
// included: equal still joins, one more character starts a new line.
TEST_F(JoinerTest, MaxLineLengthBoundaries) {
    // Pieces "ab " and "cd " (3 each), final piece "e\n" (2): 8 in all.
    const std::string run = "ab _\ncd _\ne\n";
    check_join_cases(*this, {
                                {"exactly fits", 8, run, "ab cd e\n"},
                                {"one more than fits", 7, run, "ab cd  _\ne\n"},
                                {"two pieces exactly", 6, run, "ab cd  _\ne\n"},
                                {"second piece does not fit", 5, run, "ab  _\ncd e\n"},
                                {"each piece alone", 3, run, "ab  _\ncd  _\ne\n"},
                                {"first piece too long", 2, run, " _\nab  _\ncd  _\ne\n"},
                            });
}

// Every 32-bit value behaves as the algorithm says, without overflow.
TEST_F(JoinerTest, ExtremeMaxLineLengths) {
    const std::string run = "ab _\ncd _\ne\n";
    const std::string split = " _\nab  _\ncd  _\ne\n";
    check_join_cases(*this,
                     {
                         {"zero: nothing joined", 0, run, split},
                         {"negative", -1, run, split},
                         {"most negative", std::numeric_limits<std::int32_t>::min(), run, split},
                         {"zero, run at the end", 0, "ab _\ncd _\n", " _\nab  _\ncd  _\n"},
                         {"above 1020", 1021, run, "ab cd e\n"},
                         {"largest", std::numeric_limits<std::int32_t>::max(), run, "ab cd e\n"},
                     });
}

TEST_F(JoinerTest, PiecesLongerThanMaxLineLength) {
    const std::string long_piece = std::string(600, 'p') + " ";
    check_join_cases(*this, {
                                {"long piece starts a new line", 10, long_piece + "_\nq\n",
                                 " _\n" + long_piece + " _\nq\n"},
                                {"long final piece", 10, "a _\n" + std::string(50, 'f') + "\n",
                                 "a  _\n" + std::string(50, 'f') + "\n"},
                                {"ordinary long line copied", 10, std::string(5000, 'o') + "\n",
                                 std::string(5000, 'o') + "\n"},
                            });
}

// A joined line far longer than any fixed buffer: the join buffer grows.
TEST_F(JoinerTest, LongJoinedLines) {
    const std::string piece = std::string(1000, 'x') + " ";
    std::string input;
    std::string joined;
    for (int i = 0; i < 300; ++i) {
        input += piece + "_\n";
        joined += piece;
    }
    input += "end\n";
    joined += "end\n";
    check_join_cases(
        *this, {
                   {"all in one line", std::numeric_limits<std::int32_t>::max(), input, joined},
                   {"just fits", static_cast<std::int32_t>(joined.size()), input, joined},
               });
    // One character less: the final piece goes on a line of its own.
    options_.max_line_length = static_cast<std::int32_t>(joined.size() - 1);
    EXPECT_EQ(copy_back(input), joined.substr(0, joined.size() - 4) + " _\nend\n");
}

// A long run of short continued lines is joined in time proportional to its
// length (a quadratic join would not finish in any reasonable time here).
TEST_F(JoinerTest, LongRunOfShortLines) {
    std::string input;
    input.reserve(8 * 400000);
    for (int i = 0; i < 400000; ++i) {
        input += "ab _\n";
    }
    input += "z\n";
    options_.max_line_length = std::numeric_limits<std::int32_t>::max();
    const std::string out = copy_back(input);
    ASSERT_EQ(out.size(), 3u * 400000 + 2);
    EXPECT_EQ(out.substr(0, 6), "ab ab ");
    EXPECT_EQ(out.substr(out.size() - 5), "ab z\n");
}

TEST_F(JoinerTest, WriteFailureEndsTheLoopAtTheNextCycle) {
    fail_writes();
    // The run is finished and written on after the failure (the huge piece,
    // then the final piece on a line of its own); then the loop ends.
    run_pass(EnginePass::join, std::string(engine_test::kHugeLine, 'a') + " _\nb\nc\nd\n");
    EXPECT_TRUE(outcome_.result.stopped);
    EXPECT_EQ(outcome_.result.write_errors, 2);
    EXPECT_EQ(outcome_.failures_told, 2);
}

TEST_F(JoinerTest, WriteFailureOnTheLastLine) {
    fail_writes();
    run_pass(EnginePass::join, "a\n" + std::string(engine_test::kHugeLine, 'b') + " _\n");
    EXPECT_FALSE(outcome_.result.stopped);
    EXPECT_EQ(outcome_.result.write_errors, 1);
}

} // namespace
} // namespace trevox
