// Run settings: the settings file Trevox.INI and the command-line switches.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace trevox {

// The process-wide run settings. Filled at start (settings file, then
// switches), read-only afterwards. Flags hold 0 or 1.
struct RunSettings {
    std::int32_t RemoveBlankLines = 0;
    std::int32_t RemoveComments = 0;
    std::int32_t ListMode = 0;
    std::int32_t VerboseMode = 0;
    std::int32_t CombineSplitLines = 0;
    std::int32_t MaxLineLength = 512;
    std::int32_t EchoAndLog = 0;
    // A text whose line ends are all LF alone is written with LF alone
    // (settings file or --keep-line-ends); any other with CR LF.
    std::int32_t KeepLineEnds = 0;
    // /y: the confirmation is answered "y" and no pause waits (scripted
    // runs). Set only by the switch, never by the settings file.
    std::int32_t AssumeYes = 0;
};
extern RunSettings g_settings;

// The longest piece of the settings file taken by one read, its newline
// counted. A longer line arrives in several pieces, each a line of its own.
inline constexpr std::size_t kIniPieceChars = 80;

// Working state of the settings reader, one process-wide instance.
struct SettingsState {
    TextReader ini_reader;    // the open settings file while it is read
    std::string ini_line;     // the piece in hand (at most kIniPieceChars)
    std::string ini_name;     // the name the settings file was opened by
    std::string place_file;   // scratch: a place's settings file name
    std::string place_folder; // scratch: the folder text of that place
};
extern SettingsState g_settings_state;

// The second place of the settings file: its whole name and the text that
// names its folder in messages (ends with a separator). False when this
// system gives no second place (the texts then still describe it).
bool settings_second_place(std::string& file, std::string& folder);

// Parses a settings value as a signed base-10 number: leading white space,
// an optional sign, digits up to the first non-digit; no digits gives 0,
// a number beyond the 32-bit range gives the nearest 32-bit limit.
std::int32_t parse_int32_value(const char* text, std::size_t length);

// Back to the defaults; closes the settings file if open (tests).
void settings_reset();

// Reads the settings file, if there is one, into g_settings. When there is
// none, `report_missing` tells whether to say so (with a pause).
void loadInifile(bool report_missing = true);

// Reads the key lines of one section from the open settings file.
void get_user_options();

// The value text after the line's first "=", or nullptr for none.
const char* get_parm(std::string& line);

// Removes leading blanks and tabs in place; returns how many went.
int remove_lb_and_tabs(std::string& text);

// Applies one switch token (upper-cased in place).
void setSwitches(std::string& token);

} // namespace trevox
