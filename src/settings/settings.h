// Run settings: the settings file Trevox.INI and the command-line switches.
#pragma once

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
};
extern RunSettings g_settings;

// Back to the defaults (tests).
void settings_reset();

// Reads the settings file, if there is one, into g_settings.
void loadInifile();

// Reads the key lines of one section from the open settings file.
void get_user_options();

// The value text after the line's first "=", or nullptr for none.
const char* get_parm(std::string& line);

// Removes leading blanks and tabs in place; returns how many went.
int remove_lb_and_tabs(std::string& text);

// Applies one switch token (upper-cased in place).
void setSwitches(std::string& token);

} // namespace trevox
