// Line rewrite rules: each edits one line in place and never lengthens it.
#pragma once

#include <cstddef>
#include <string>

namespace trevox {

void strip_leading_blanks(std::string& line);
void strip_leading_space(std::string& line);
void strip_comment(std::string& line);
// strip_comment that tells whether a comment was removed.
bool cut_trailing_comment(std::string& line);
std::size_t find_comment(const std::string& line);
void trim_trailing_blanks(std::string& line);
bool is_declaration(const std::string& line);
void tighten_as(std::string& line);

} // namespace trevox
