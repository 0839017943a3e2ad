#include "console/version.h"

#include "console/messages.h"
#include "package_version.h"

namespace trevox {

std::string version_line_of(const std::string& banner_version, const std::string& package) {
    std::string line = "trevox ";
    line += banner_version;
    if (!package.empty() && package != banner_version) {
        line += " (package ";
        line += package;
        line += ')';
    }
    return line;
}

std::string version_line() {
    return version_line_of(msg::version_text, build::package_version);
}

} // namespace trevox
