// Placeholder until this subsystem is built.
#include "settings/settings.h"

namespace trevox {
RunSettings g_settings;
void settings_reset() {
    g_settings = RunSettings{};
}
void loadInifile() {}
void get_user_options() {}
const char* get_parm(std::string&) {
    return nullptr;
}
int remove_lb_and_tabs(std::string&) {
    return 0;
}
void setSwitches(std::string&) {}
} // namespace trevox
