// Run settings: the settings file Trevox.INI and the command-line switches.
//
// The settings file is looked for in the current directory, then in the
// second place (settings_second_place). It is opened for reading only and read
// in pieces of at most kIniPieceChars characters, each piece a line of its
// own. Lines are held with their lengths: a NUL byte is an ordinary character.
#include "settings/settings.h"

#include "console/console.h"
#include "console/messages.h"

#include <algorithm>
#include <cassert>
#include <climits>

namespace trevox {

RunSettings g_settings;
SettingsState g_settings_state;

namespace {

// The settings file's own name, as the user is told to spell it.
constexpr const char* kIniFileName = "Trevox.INI";

// The section header, compared case-insensitively over its whole length.
constexpr const char* kSectionHeader = "[Trevox";
constexpr std::size_t kSectionHeaderChars = 7;

// Which field a key sets, and how.
enum class KeyEffect {
    remove_blank_lines,
    remove_comments,
    combine_split_lines,
    max_line_length,
    verbose_mode,
    list_mode,
    keep_line_ends
};

struct KeyEntry {
    const char* name;
    std::size_t length;
    KeyEffect effect;
};

// Tested in this order; the first match decides.
constexpr KeyEntry kKeys[] = {
    {"RemoveBlankLines", 16, KeyEffect::remove_blank_lines},
    {"RemoveComments", 14, KeyEffect::remove_comments},
    {"CombineSplitLines", 17, KeyEffect::combine_split_lines},
    {"MaxLineLength", 13, KeyEffect::max_line_length},
    {"VerboseMode", 11, KeyEffect::verbose_mode},
    {"ListMode", 8, KeyEffect::list_mode},
    {"KeepLineEnds", 12, KeyEffect::keep_line_ends},
};

// ASCII upper case; every other byte unchanged (no locale, no UB on negative
// char values).
char upper_ascii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when `text` (of `length` characters) starts with the `n` characters of
// `word`, letter case ignored.
bool starts_with_nocase(const char* text, std::size_t length, const char* word, std::size_t n) {
    if (length < n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (upper_ascii(text[i]) != upper_ascii(word[i])) {
            return false;
        }
    }
    return true;
}

// True for a piece that is skipped wherever it stands: a newline, "'", ";"
// or a backslash as its first character.
bool is_skipped_line(const std::string& line) {
    if (line.empty()) {
        return false;
    }
    const char c = line[0];
    return c == '\n' || c == '\'' || c == ';' || c == '\\';
}

// True for the white space that the value parser skips before a number.
bool is_number_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Opens the settings file of one place: the name as written first, then the
// existing file whose name matches it regardless of letter case. Records the
// name opened in ini_name. True when open.
bool open_in_place(const std::string& name) {
    SettingsState& st = g_settings_state;
    if (text_open_read(st.ini_reader, name)) {
        st.ini_name = name;
        return true;
    }
    const std::string resolved = resolve_name_case(name);
    if (resolved != name && text_open_read(st.ini_reader, resolved)) {
        st.ini_name = resolved;
        return true;
    }
    return false;
}

// Applies a flag key's value: its first character, "0" or "1"; anything else
// (an empty value included) changes nothing. Returns the flag value or -1.
int flag_value(const std::string& value) {
    if (value.empty()) {
        return -1;
    }
    if (value[0] == '0') {
        return 0;
    }
    if (value[0] == '1') {
        return 1;
    }
    return -1;
}

// Applies the effect of one key to g_settings, given its value with the
// leading blanks and tabs removed.
void apply_key(KeyEffect effect, const std::string& value) {
    RunSettings& s = g_settings;
    if (effect == KeyEffect::max_line_length) {
        s.MaxLineLength = parse_int32_value(value.data(), value.size());
        return;
    }
    const int v = flag_value(value);
    if (v < 0) {
        return;
    }
    switch (effect) {
    case KeyEffect::remove_blank_lines:
        s.RemoveBlankLines = v;
        break;
    case KeyEffect::remove_comments:
        s.RemoveComments = v;
        break;
    case KeyEffect::combine_split_lines:
        s.CombineSplitLines = v;
        break;
    case KeyEffect::verbose_mode:
        // Only while verbose mode is off: "0" never turns it off.
        if (s.VerboseMode == 0) {
            s.VerboseMode = v;
        }
        break;
    case KeyEffect::list_mode:
        s.VerboseMode = v;
        s.ListMode = v;
        break;
    case KeyEffect::keep_line_ends:
        s.KeepLineEnds = v;
        break;
    case KeyEffect::max_line_length:
        break;
    }
}

// Tells the user that no settings file was found: the five lines naming the
// second place and its folder, then the pause and a cleared screen.
void report_missing_file() {
    SettingsState& st = g_settings_state;
    settings_second_place(st.place_file, st.place_folder);
    say(msg::ini_unable_open, st.place_file.c_str());
    say("%s", msg::ini_must_be_placed);
    say(msg::ini_directory, st.place_folder.c_str());
    say("%s", msg::ini_will_continue);
    say("%s", msg::ini_options_as_parms);
    pause();
    console_clear();
}

} // namespace

// Contract: every field back to its default; the settings file is closed.
void settings_reset() {
    g_settings = RunSettings{};
    if (text_is_open(g_settings_state.ini_reader)) {
        text_close(g_settings_state.ini_reader);
    }
    g_settings_state.ini_line.clear();
    g_settings_state.ini_name.clear();
}

// Contract: fills `file` and `folder` with the second place of the settings
// file. On POSIX: $XDG_CONFIG_HOME/trevox/Trevox.INI, with $HOME/.config in
// place of an unset, empty or relative XDG_CONFIG_HOME. Returns false (and a
// "~/.config/trevox/" description) when neither variable gives a place.
bool settings_second_place(std::string& file, std::string& folder) {
#ifdef _WIN32
    folder = "C:\\KVO\\";
    file = folder;
    file += kIniFileName;
    return true;
#else
    bool known = true;
    const char* xdg = env_value("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        folder = xdg;
    } else {
        const char* home = env_value("HOME");
        if (home != nullptr && home[0] != '\0') {
            folder = home;
        } else {
            folder = "~";
            known = false;
        }
        if (folder.back() != '/') {
            folder += '/';
        }
        folder += ".config";
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    folder += "trevox/";
    file = folder;
    file += kIniFileName;
    return known;
#endif
}

// Contract: the base-10 value of `text` (`length` characters), read the way
// strtol reads it, clamped to the 32-bit range; 0 when there are no digits.
std::int32_t parse_int32_value(const char* text, std::size_t length) {
    assert(text != nullptr || length == 0);
    std::size_t i = 0;
    while (i < length && is_number_space(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // The magnitude saturates just past the largest one representable, so
    // it never overflows however many digits follow.
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT32_MAX) + 1;
    std::int64_t magnitude = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        if (magnitude < kLimit) {
            magnitude = magnitude * 10 + (text[i] - '0');
            if (magnitude > kLimit) {
                magnitude = kLimit;
            }
        }
        ++i;
    }
    if (negative) {
        return static_cast<std::int32_t>(-magnitude); // -kLimit is INT32_MIN
    }
    return magnitude >= kLimit ? INT32_MAX : static_cast<std::int32_t>(magnitude);
}

// Contract: reads the settings file, if one is found, into g_settings (keys
// of every "[Trevox" section, later lines overriding earlier ones). Without a
// file: when `report_missing`, the missing-file messages, a pause and a
// cleared screen; g_settings keeps what it held. The file is never written.
void loadInifile(bool report_missing) {
    SettingsState& st = g_settings_state;
    assert(!text_is_open(st.ini_reader));
    bool opened = open_in_place(kIniFileName);
    if (!opened && settings_second_place(st.place_file, st.place_folder)) {
        opened = open_in_place(st.place_file);
    }
    if (!opened) {
        if (report_missing) {
            report_missing_file();
        }
        return;
    }
    std::string& line = st.ini_line;
    while (text_read_line(st.ini_reader, line, kIniPieceChars)) {
        if (is_skipped_line(line)) {
            continue;
        }
        if (starts_with_nocase(line.data(), line.size(), kSectionHeader, kSectionHeaderChars)) {
            get_user_options();
        }
    }
    text_close(st.ini_reader);
}

// Contract: reads the key lines of one section from the open settings file up
// to and including the line that ends it ("[" after the leading blanks and
// tabs) or to the end of the file, applying each key to g_settings.
void get_user_options() {
    SettingsState& st = g_settings_state;
    assert(text_is_open(st.ini_reader));
    std::string& line = st.ini_line;
    while (text_read_line(st.ini_reader, line, kIniPieceChars)) {
        remove_lb_and_tabs(line);
        if (line.empty() || is_skipped_line(line)) {
            continue;
        }
        if (line[0] == '[') {
            return;
        }
        for (const KeyEntry& key : kKeys) {
            if (!starts_with_nocase(line.data(), line.size(), key.name, key.length)) {
                continue;
            }
            const char* value = get_parm(line);
            if (value != nullptr) {
                // The value becomes the line's text: everything before it
                // goes, then its own leading blanks and tabs.
                line.erase(0, static_cast<std::size_t>(value - line.data()));
                remove_lb_and_tabs(line);
                apply_key(key.effect, line);
            }
            break;
        }
    }
}

// Contract: the text after the first "=" of `line` (it runs to the line's
// end), or nullptr when there is no "=" (after the Invalid User Parameter
// Record message, the line and a pause) or nothing follows the "=".
const char* get_parm(std::string& line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
        say("%s", msg::ini_invalid_record);
        say(msg::ini_record_text, line.c_str());
        pause();
        return nullptr;
    }
    if (eq + 1 == line.size()) {
        return nullptr;
    }
    return line.data() + eq + 1;
}

// Contract: removes the leading blanks and tabs of `text` in place; returns
// how many went (capped at INT_MAX).
int remove_lb_and_tabs(std::string& text) {
    std::size_t n = 0;
    while (n < text.size() && (text[n] == ' ' || text[n] == '\t')) {
        ++n;
    }
    text.erase(0, n);
    return n > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

// Contract: upper-cases `token` in place and applies the switch of its first
// character; flags are only ever turned on. An unknown or empty token changes
// nothing.
void setSwitches(std::string& token) {
    std::transform(token.begin(), token.end(), token.begin(), upper_ascii);
    if (token.empty()) {
        return;
    }
    RunSettings& s = g_settings;
    switch (token[0]) {
    case 'B':
        s.RemoveBlankLines = 1;
        break;
    case 'C':
        s.RemoveComments = 1;
        break;
    case 'L':
        s.ListMode = 1;
        s.VerboseMode = 1;
        break;
    case 'S':
        s.CombineSplitLines = 1;
        break;
    case 'T':
        s.RemoveBlankLines = 1;
        s.RemoveComments = 1;
        break;
    case 'V':
        s.VerboseMode = 1;
        break;
    case 'Z':
        s.EchoAndLog = 1;
        break;
    case 'Y':
        s.AssumeYes = 1;
        break;
    default:
        break;
    }
}

} // namespace trevox
