// Input sets: wildcards, projects and project groups.
#pragma once

#include <string>

namespace trevox {

int process_wildcard(const std::string& pattern);
int process_project(const std::string& path);
int process_group(const std::string& path);

} // namespace trevox
