// The settings file reader, its places and the switch table.
#include "console/console.h"
#include "settings/settings.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace trevox {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Every field of the record, for whole-record comparisons.
struct Fields {
    std::int32_t rbl, rc, list, verbose, combine, max, echo, yes;
};

Fields fields_of(const RunSettings& s) {
    return {s.RemoveBlankLines,  s.RemoveComments, s.ListMode,   s.VerboseMode,
            s.CombineSplitLines, s.MaxLineLength,  s.EchoAndLog, s.AssumeYes};
}

bool operator==(const Fields& a, const Fields& b) {
    return a.rbl == b.rbl && a.rc == b.rc && a.list == b.list && a.verbose == b.verbose &&
           a.combine == b.combine && a.max == b.max && a.echo == b.echo && a.yes == b.yes;
}

std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << "{rbl " << f.rbl << ", rc " << f.rc << ", list " << f.list << ", verbose "
              << f.verbose << ", combine " << f.combine << ", max " << f.max << ", echo " << f.echo
              << ", yes " << f.yes << "}";
}

constexpr Fields kDefaults = {0, 0, 0, 0, 0, 512, 0, 0};

using test::write_bytes;

// An environment variable saved at construction and restored at the end.
class SavedEnv {
  public:
    explicit SavedEnv(const char* name) : name_(name) {
        const char* v = std::getenv(name);
        if (v != nullptr) {
            value_ = v;
        }
    }
    ~SavedEnv() {
        if (value_) {
            setenv(name_, value_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    SavedEnv(const SavedEnv&) = delete;
    SavedEnv& operator=(const SavedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> value_;
};

// Each test runs in a fresh directory of its own, with the second place of
// the settings file pointed inside it, so no real settings file is seen.
class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (dir_ / "xdg").c_str(), 1);
        setenv("HOME", (dir_ / "home").c_str(), 1);
        settings_reset();
    }
    void TearDown() override { settings_reset(); }

    // Writes the settings file in the current directory and reads it;
    // returns what was printed on standard output.
    std::string load(const std::string& content, const char* name = "Trevox.INI") {
        write_bytes(dir_ / name, content);
        return load_only();
    }
    std::string load_only() {
        testing::internal::CaptureStdout();
        loadInifile();
        return testing::internal::GetCapturedStdout();
    }

    test::ScratchDir scratch_{"settings"};
    const fs::path dir_ = scratch_.path();

  private:
    SavedEnv xdg_{"XDG_CONFIG_HOME"};
    SavedEnv home_{"HOME"};
};

Fields with(std::int32_t rbl, std::int32_t rc, std::int32_t list, std::int32_t verbose,
            std::int32_t combine, std::int32_t max) {
    return {rbl, rc, list, verbose, combine, max, 0, 0};
}

struct FileCase {
    const char* what;
    std::string content;
    Fields expected;
};

// A comment line of exactly kIniPieceChars characters, no newline: what
// follows it on the same line arrives as a piece of its own.
std::string full_piece_comment() {
    std::string s = "; ";
    s.append(kIniPieceChars - 2, 'x');
    return s;
}

class SettingsFile : public Settings {
  protected:
    // Each case read from a fresh record; none prints anything.
    void check(const std::vector<FileCase>& cases) {
        for (const FileCase& c : cases) {
            settings_reset();
            const std::string out = load(c.content);
            EXPECT_EQ(fields_of(g_settings), c.expected) << c.what;
            EXPECT_EQ(out, "") << c.what;
        }
    }
};

TEST_F(SettingsFile, SectionsAndHeaders) {
    check({
        {"plain section", "[Trevox]\nRemoveBlankLines=1\n", with(1, 0, 0, 0, 0, 512)},
        {"lower-case header", "[trevox]\nRemoveComments=1\n", with(0, 1, 0, 0, 0, 512)},
        {"upper-case header", "[TREVOX]\nRemoveComments=1\n", with(0, 1, 0, 0, 0, 512)},
        {"only seven characters compared", "[TrevoxSettings\nRemoveComments=1\n",
         with(0, 1, 0, 0, 0, 512)},
        {"header at the end of the file without newline", "[Trevox", kDefaults},
        {"header with leading blanks", "  [Trevox]\nRemoveComments=1\n", kDefaults},
        {"header with a leading tab", "\t[Trevox]\nRemoveComments=1\n", kDefaults},
        {"too short a header", "[Trevo]\nRemoveComments=1\n", kDefaults},
        {"keys before the section", "RemoveComments=1\n[Trevox]\nRemoveBlankLines=1\n",
         with(1, 0, 0, 0, 0, 512)},
        {"keys in another section", "[Trevox]\nRemoveBlankLines=1\n[Other]\nRemoveComments=1\n",
         with(1, 0, 0, 0, 0, 512)},
        {"a second section is read",
         "[Trevox]\nRemoveBlankLines=1\n[Other]\n[Trevox]\nRemoveComments=1\n",
         with(1, 1, 0, 0, 0, 512)},
        {"the line ending a section is not a section start",
         "[Trevox]\nRemoveBlankLines=1\n[Trevox]\nRemoveComments=1\n", with(1, 0, 0, 0, 0, 512)},
        {"an indented bracket ends the section",
         "[Trevox]\nRemoveBlankLines=1\n \t[x\nRemoveComments=1\n", with(1, 0, 0, 0, 0, 512)},
        {"comments outside the section", "; c\n' c\n\\ c\n\n[Trevox]\nRemoveBlankLines=1\n",
         with(1, 0, 0, 0, 0, 512)},
        {"comments and blank lines inside the section",
         "[Trevox]\n;RemoveComments=1\n'RemoveComments=1\n\\RemoveComments=1\n  ;RemoveComments=1\n"
         "\t'RemoveComments=1\n\n   \n\t\nRemoveBlankLines=1\n",
         with(1, 0, 0, 0, 0, 512)},
        {"unknown keys ignored", "[Trevox]\nEchoAndLog=1\nFoo=1\nRemoveBlankLines=1\n",
         with(1, 0, 0, 0, 0, 512)},
        {"CR LF line ends", "[Trevox]\r\nRemoveBlankLines=1\r\nMaxLineLength=77\r\n",
         with(1, 0, 0, 0, 0, 77)},
        {"empty file", "", kDefaults},
        {"section at the end of the file", "[Trevox]\nRemoveBlankLines=1",
         with(1, 0, 0, 0, 0, 512)},
    });
}

TEST_F(SettingsFile, KeysAndValues) {
    check({
        {"every key",
         "[Trevox]\nRemoveBlankLines=1\nRemoveComments=1\nCombineSplitLines=1\nMaxLineLength=300\n"
         "VerboseMode=1\n",
         with(1, 1, 0, 1, 1, 300)},
        {"lower-case key, blanks around =", "[Trevox]\nremoveblanklines = 1\n",
         with(1, 0, 0, 0, 0, 512)},
        {"tabs and blanks before the key and the value", "[Trevox]\n \t RemoveComments\t=\t 1\n",
         with(0, 1, 0, 0, 0, 512)},
        {"text between the key and the =", "[Trevox]\nRemoveBlankLinesPlease : = 1\n",
         with(1, 0, 0, 0, 0, 512)},
        {"10 counts as 1", "[Trevox]\nRemoveBlankLines=10\n", with(1, 0, 0, 0, 0, 512)},
        {"TRUE, yes and 2 change nothing",
         "[Trevox]\nRemoveBlankLines=1\nRemoveBlankLines=TRUE\nRemoveBlankLines=yes\n"
         "RemoveBlankLines=2\nRemoveComments=TRUE\n",
         with(1, 0, 0, 0, 0, 512)},
        {"later lines override", "[Trevox]\nRemoveBlankLines=1\nRemoveBlankLines=0\n", kDefaults},
        {"value without newline at the end of the file", "[Trevox]\nCombineSplitLines=1",
         with(0, 0, 0, 0, 1, 512)},
        {"= last at the end of the file", "[Trevox]\nRemoveBlankLines=", kDefaults},
        {"only blanks after = at the end of the file", "[Trevox]\nRemoveBlankLines=  ", kDefaults},
        {"the first = counts", "[Trevox]\nMaxLineLength==5\n", with(0, 0, 0, 0, 0, 0)},
        {"a NUL byte inside a value", "[Trevox]\nRemoveBlankLines=1\0 0\n"s,
         with(1, 0, 0, 0, 0, 512)},
        {"a NUL byte inside a number", "[Trevox]\nMaxLineLength=12\0003\n"s,
         with(0, 0, 0, 0, 0, 12)},
        {"EchoAndLog cannot be set by the file", "[Trevox]\nEchoAndLog=1\n", kDefaults},
        {"AssumeYes cannot be set by the file", "[Trevox]\nAssumeYes=1\n", kDefaults},
    });
}

TEST_F(SettingsFile, MaxLineLengthValues) {
    struct Case {
        const char* value;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"200\n", 200},
        {"-5\n", -5},
        {"+7\n", 7},
        {"0\n", 0},
        {"\n", 0},
        {"abc\n", 0},
        {"-\n", 0},
        {"12abc\n", 12},
        {"  \t 64\n", 64},
        {"000000000000000000000042\n", 42},
        {"2147483647\n", INT32_MAX},
        {"2147483648\n", INT32_MAX},
        {"99999999999999999999999999\n", INT32_MAX},
        {"-2147483648\n", INT32_MIN},
        {"-2147483649\n", INT32_MIN},
        {"-99999999999999999999999999\n", INT32_MIN},
    };
    for (const Case& c : cases) {
        settings_reset();
        load(std::string("[Trevox]\nMaxLineLength=") + c.value);
        EXPECT_EQ(g_settings.MaxLineLength, c.expected) << c.value;
    }
    settings_reset();
    load("[Trevox]\nMaxLineLength=");
    EXPECT_EQ(g_settings.MaxLineLength, 512) << "nothing after the = keeps the value";
}

TEST_F(SettingsFile, VerboseAndListPrecedence) {
    check({
        {"VerboseMode 1", "[Trevox]\nVerboseMode=1\n", with(0, 0, 0, 1, 0, 512)},
        {"VerboseMode 0 never turns verbose off", "[Trevox]\nVerboseMode=1\nVerboseMode=0\n",
         with(0, 0, 0, 1, 0, 512)},
        {"ListMode 1 turns both on", "[Trevox]\nListMode=1\n", with(0, 0, 1, 1, 0, 512)},
        {"VerboseMode 1 then ListMode 0: off", "[Trevox]\nVerboseMode=1\nListMode=0\n", kDefaults},
        {"ListMode 0 then VerboseMode 1: on", "[Trevox]\nListMode=0\nVerboseMode=1\n",
         with(0, 0, 0, 1, 0, 512)},
        {"ListMode 1 then ListMode 0", "[Trevox]\nListMode=1\nListMode=0\n", kDefaults},
        {"ListMode 1 then VerboseMode 0", "[Trevox]\nListMode=1\nVerboseMode=0\n",
         with(0, 0, 1, 1, 0, 512)},
    });
}

// KeepLineEnds is a flag key like the others; no switch sets it.
TEST_F(SettingsFile, KeepLineEndsKey) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"[Trevox]\nkeeplineends = 1\n", 1},
        {"[Trevox]\nKeepLineEnds=1\nKeepLineEnds=0\n", 0},
        {"[Trevox]\nKeepLineEnds=yes\n", 0},
    };
    for (const auto& [content, expected] : cases) {
        settings_reset();
        EXPECT_EQ(load(content), "") << content;
        EXPECT_EQ(g_settings.KeepLineEnds, expected) << content;
        EXPECT_EQ(fields_of(g_settings), kDefaults) << content;
    }
    std::string token = "K";
    setSwitches(token);
    EXPECT_EQ(g_settings.KeepLineEnds, 0);
}

TEST_F(SettingsFile, LongLinesArriveInPieces) {
    const std::string piece = full_piece_comment();
    ASSERT_EQ(piece.size(), 80u);
    std::string short_by_one = "; ";
    short_by_one.append(kIniPieceChars - 3, 'x');
    check({
        {"a key continuing a full comment piece is read",
         "[Trevox]\n" + piece + "RemoveBlankLines=1\n", with(1, 0, 0, 0, 0, 512)},
        {"one character less: the key is cut", "[Trevox]\n" + short_by_one + "RemoveBlankLines=1\n",
         kDefaults},
        {"79 characters and the newline make one piece",
         "[Trevox]\n" + short_by_one + "\nRemoveBlankLines=1\n", with(1, 0, 0, 0, 0, 512)},
        {"a continuation piece starting with [ ends the section",
         "[Trevox]\n" + piece + "  [more\nRemoveComments=1\n", kDefaults},
        {"control: the same without [", "[Trevox]\n" + piece + "  more\nRemoveComments=1\n",
         with(0, 1, 0, 0, 0, 512)},
        {"a header in a continuation piece starts the section",
         piece + "[Trevox]\nRemoveComments=1\n", with(0, 1, 0, 0, 0, 512)},
        {"= as the last character of a piece: not applied",
         "[Trevox]\nRemoveBlankLines" + std::string(kIniPieceChars - 17, ' ') + "=1\n", kDefaults},
        {"a value cut after the piece keeps its first character",
         "[Trevox]\nMaxLineLength=" + std::string(kIniPieceChars - 16, ' ') + "1234\n",
         with(0, 0, 0, 0, 0, 12)},
    });
}

TEST_F(Settings, InvalidRecordReported) {
    const std::string out = load("[Trevox]\n  RemoveBlankLines 1\nRemoveComments=1\n");
    const std::string expected = "Trevox==>  Invalid User Parameter Record \n"
                                 "RemoveBlankLines 1\n \n";
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    EXPECT_EQ(g_settings.RemoveBlankLines, 0);
    EXPECT_EQ(g_settings.RemoveComments, 1) << "reading goes on after the bad line";

    // The line without its newline (end of file) and a line naming no key.
    settings_reset();
    const std::string out2 = load("[Trevox]\nMaxLineLength 7\nNoKeyHere\nVerboseMode");
    const std::string first = "Trevox==>  Invalid User Parameter Record \nMaxLineLength 7\n \n";
    EXPECT_EQ(out2.substr(0, first.size()), first);
    EXPECT_NE(out2.find("Trevox==>  Invalid User Parameter Record \nVerboseMode \n"),
              std::string::npos);
    EXPECT_EQ(out2.find("NoKeyHere"), std::string::npos);
    EXPECT_EQ(fields_of(g_settings), kDefaults);
}

TEST_F(Settings, GetParmAndRemoveLeadingBlanks) {
    struct Case {
        const char* line;
        const char* value; // nullptr: none
    };
    const Case cases[] = {
        {"Key=1\n", "1\n"},
        {"Key = a=b\n", " a=b\n"},
        {"Key=\n", "\n"},
        {"Key=", nullptr},
    };
    for (const Case& c : cases) {
        std::string line = c.line;
        const char* v = get_parm(line);
        if (c.value == nullptr) {
            EXPECT_EQ(v, nullptr) << c.line;
        } else {
            ASSERT_NE(v, nullptr) << c.line;
            EXPECT_EQ(std::string(v, static_cast<std::size_t>(line.data() + line.size() - v)),
                      c.value);
        }
    }
    std::string text = " \t \tRest \t\n";
    EXPECT_EQ(remove_lb_and_tabs(text), 4);
    EXPECT_EQ(text, "Rest \t\n");
    EXPECT_EQ(remove_lb_and_tabs(text), 0);
    std::string blanks = "   ";
    EXPECT_EQ(remove_lb_and_tabs(blanks), 3);
    EXPECT_EQ(blanks, "");
}

TEST_F(Settings, ReadOnlyFileIsUsed) {
    write_bytes(dir_ / "Trevox.INI", "[Trevox]\nRemoveComments=1\n");
    ASSERT_EQ(chmod((dir_ / "Trevox.INI").c_str(), 0444), 0);
    const std::string out = load_only();
    EXPECT_EQ(g_settings.RemoveComments, 1);
    EXPECT_EQ(out, "");
}

TEST_F(Settings, FileNameMatchedRegardlessOfCase) {
    for (const char* name : {"trevox.ini", "TREVOX.INI", "Trevox.ini"}) {
        settings_reset();
        fs::remove_all(dir_ / "Trevox.INI");
        const std::string out = load("[Trevox]\nRemoveComments=1\n", name);
        EXPECT_EQ(g_settings.RemoveComments, 1) << name;
        EXPECT_EQ(out, "") << name;
        fs::remove(dir_ / name);
    }
    // The exact name wins over a name differing in case.
    settings_reset();
    write_bytes(dir_ / "trevox.ini", "[Trevox]\nRemoveComments=1\n");
    load("[Trevox]\nRemoveBlankLines=1\n");
    EXPECT_EQ(fields_of(g_settings), with(1, 0, 0, 0, 0, 512));
}

TEST_F(Settings, SecondPlaceFromXdgConfigHome) {
    write_bytes(dir_ / "xdg" / "trevox" / "Trevox.INI", "[Trevox]\nMaxLineLength=99\n");
    EXPECT_EQ(load_only(), "");
    EXPECT_EQ(g_settings.MaxLineLength, 99);

    // Matched regardless of case there too.
    settings_reset();
    fs::rename(dir_ / "xdg" / "trevox" / "Trevox.INI", dir_ / "xdg" / "trevox" / "TREVOX.ini");
    EXPECT_EQ(load_only(), "");
    EXPECT_EQ(g_settings.MaxLineLength, 99);

    // The current directory comes first.
    settings_reset();
    load("[Trevox]\nMaxLineLength=11\n");
    EXPECT_EQ(g_settings.MaxLineLength, 11);

    // A directory in the current directory is no settings file.
    settings_reset();
    fs::remove(dir_ / "Trevox.INI");
    fs::create_directory(dir_ / "Trevox.INI");
    EXPECT_EQ(load_only(), "");
    EXPECT_EQ(g_settings.MaxLineLength, 99);
}

TEST_F(Settings, SecondPlaceFromHome) {
    write_bytes(dir_ / "home" / ".config" / "trevox" / "Trevox.INI",
                "[Trevox]\nRemoveComments=1\n");
    for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
        settings_reset();
        if (xdg == nullptr) {
            unsetenv("XDG_CONFIG_HOME");
        } else {
            setenv("XDG_CONFIG_HOME", xdg, 1);
        }
        EXPECT_EQ(load_only(), "") << (xdg ? xdg : "(unset)");
        EXPECT_EQ(g_settings.RemoveComments, 1) << (xdg ? xdg : "(unset)");
    }
}

TEST_F(Settings, SecondPlaceNames) {
    std::string file;
    std::string folder;
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_TRUE(settings_second_place(file, folder));
    EXPECT_EQ(file, "/cfg/trevox/Trevox.INI");
    EXPECT_EQ(folder, "/cfg/trevox/");
    setenv("XDG_CONFIG_HOME", "/cfg/", 1);
    EXPECT_TRUE(settings_second_place(file, folder));
    EXPECT_EQ(file, "/cfg/trevox/Trevox.INI");
    setenv("XDG_CONFIG_HOME", "", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_TRUE(settings_second_place(file, folder));
    EXPECT_EQ(file, "/home/u/.config/trevox/Trevox.INI");
    EXPECT_EQ(folder, "/home/u/.config/trevox/");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/", 1);
    EXPECT_TRUE(settings_second_place(file, folder));
    EXPECT_EQ(file, "/.config/trevox/Trevox.INI");
    unsetenv("HOME");
    EXPECT_FALSE(settings_second_place(file, folder));
    EXPECT_EQ(file, "~/.config/trevox/Trevox.INI");
}

TEST_F(Settings, MissingFileMessages) {
    g_settings.RemoveComments = 1; // whatever the record held is kept
    const std::string out = load_only();
    const std::string xdg = (dir_ / "xdg").string();
    const std::string expected =
        "Trevox==>  Unable to open " + xdg + "/trevox/Trevox.INI for reading. \n\n" +
        "Trevox==>  The Trevox.INI file must be placed \n" + "Trevox==>  in the " + xdg +
        "/trevox/ directory to be used. \n\n" +
        "Trevox==>  Trevox will continue; using internal defaults and Command Line \n" +
        "Trevox==>  Options as parameters \n\n";
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    EXPECT_EQ(fields_of(g_settings), with(0, 1, 0, 0, 0, 512));
}

// The modes that write no file say nothing when there is no settings file.
TEST_F(Settings, MissingFileUnreported) {
    g_settings.RemoveComments = 1;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    loadInifile(false);
    EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(fields_of(g_settings), with(0, 1, 0, 0, 0, 512));
}

TEST(SettingsValue, ParsesLikeStrtol) {
    struct Case {
        std::string text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"   ", 0},
        {"+", 0},
        {"--5", 0},
        {"\v\f\r 9", 9},
        {"-0", 0},
        {"512x99", 512},
        {"2147483646", 2147483646},
        {"-2147483647", -2147483647},
        {"4294967296", INT32_MAX},
        {"-4294967296", INT32_MIN},
        {std::string("1\0002", 3), 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_int32_value(c.text.data(), c.text.size()), c.expected) << c.text;
    }
    EXPECT_EQ(parse_int32_value(nullptr, 0), 0);
}

TEST(SettingsSwitches, Table) {
    struct Case {
        std::vector<std::string> tokens;
        Fields expected;
    };
    const Case cases[] = {
        {{"b ", "c "}, {1, 1, 0, 0, 0, 512, 0, 0}},
        {{"b", "c "}, {1, 1, 0, 0, 0, 512, 0, 0}},
        {{"bc "}, {1, 0, 0, 0, 0, 512, 0, 0}},
        {{"t "}, {1, 1, 0, 0, 0, 512, 0, 0}},
        {{"T "}, {1, 1, 0, 0, 0, 512, 0, 0}},
        {{"tight "}, {1, 1, 0, 0, 0, 512, 0, 0}},
        {{"l "}, {0, 0, 1, 1, 0, 512, 0, 0}},
        {{"L"}, {0, 0, 1, 1, 0, 512, 0, 0}},
        {{"v "}, {0, 0, 0, 1, 0, 512, 0, 0}},
        {{"s "}, {0, 0, 0, 0, 1, 512, 0, 0}},
        {{"z "}, {0, 0, 0, 0, 0, 512, 1, 0}},
        {{"Z"}, {0, 0, 0, 0, 0, 512, 1, 0}},
        {{"x "}, kDefaults},
        {{"? "}, kDefaults},
        {{"y "}, {0, 0, 0, 0, 0, 512, 0, 1}},
        {{"Yes"}, {0, 0, 0, 0, 0, 512, 0, 1}},
        {{"y", "v", "l"}, {0, 0, 1, 1, 0, 512, 0, 1}},
        {{""}, kDefaults},
        {{" b"}, kDefaults},
        {{"1"}, kDefaults},
    };
    for (const Case& c : cases) {
        settings_reset();
        std::string joined;
        for (std::string token : c.tokens) {
            joined += "/" + token;
            setSwitches(token);
        }
        EXPECT_EQ(fields_of(g_settings), c.expected) << joined;
    }
}

TEST(SettingsSwitches, UpperCasesInPlaceAndNeverTurnsOff) {
    std::string token = "tight/b\xe9 ";
    settings_reset();
    setSwitches(token);
    EXPECT_EQ(token, "TIGHT/B\xe9 ");

    // Every flag on (as a settings file could leave it): no token turns one off.
    g_settings = RunSettings{1, 1, 1, 1, 1, 77, 1, 1};
    for (const char* t : {"b", "c", "l", "s", "t", "v", "y", "z", "x", "?"}) {
        std::string s = t;
        setSwitches(s);
    }
    EXPECT_EQ(fields_of(g_settings), (Fields{1, 1, 1, 1, 1, 77, 1, 1}));
    settings_reset();
}

} // namespace
} // namespace trevox
