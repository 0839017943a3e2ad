// Placeholder until this subsystem is built.
#include "platform/platform.h"

namespace trevox {
CopyStatus copy_file_exact(const std::string&, const std::string&) {
    return CopyStatus::source_open_failed;
}
ReplaceStatus replace_file(const std::string&, const std::string&) {
    return ReplaceStatus::failed;
}
bool file_is_read_only(const std::string&) {
    return false;
}
bool file_remove(const std::string&) {
    return false;
}
bool file_exists(const std::string&) {
    return false;
}
bool is_regular_file(const std::string&) {
    return false;
}
bool file_identity(const std::string&, FileId&) {
    return false;
}
std::string resolve_name_case(const std::string& name) {
    return name;
}
} // namespace trevox
