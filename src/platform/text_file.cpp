// Placeholder until this subsystem is built.
#include "platform/platform.h"

namespace trevox {
IoHooks g_io = {nullptr, nullptr};
void io_hooks_reset() {}
bool text_open_read(TextReader&, const std::string&) {
    return false;
}
bool text_read_line(TextReader&, std::string& line, std::size_t) {
    line.clear();
    return false;
}
void text_close(TextReader&) {}
bool text_is_open(const TextReader& r) {
    return r.fd >= 0;
}
bool text_open_write(TextWriter&, const std::string&, int) {
    return false;
}
bool text_write(TextWriter&, const char*, std::size_t) {
    return false;
}
bool text_flush(TextWriter&) {
    return false;
}
bool text_close(TextWriter&) {
    return false;
}
bool text_is_open(const TextWriter& w) {
    return w.fd >= 0;
}
} // namespace trevox
