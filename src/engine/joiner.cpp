// Placeholder until this subsystem is built.
#include "engine/joiner.h"

namespace trevox {
JoinState g_join;
bool is_continued_line(const std::string&) {
    return false;
}
int copy_back_loop() {
    return 0;
}
void join_split_lines() {}
} // namespace trevox
