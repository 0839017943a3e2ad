// The wildcard rule of Windows names, and the order search results come in:
// shared by every system.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <algorithm>
#include <cstring>

namespace trevox {

namespace {

constexpr std::size_t kNoStar = static_cast<std::size_t>(-1);

bool is_continuation_byte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// Moves `i` past the rest of a UTF-8 sequence, so that positions in the name
// are always at the start of a character.
std::size_t skip_continuation(const char* name, std::size_t i) {
    while (name[i] != '\0' && is_continuation_byte(name[i])) {
        ++i;
    }
    return i;
}

// `name` against the first `plen` characters of `pattern`: "*" any run,
// "?" one character, letters regardless of ASCII case. The usual greedy walk
// that goes back only to the last "*", so the time stays near linear.
bool match_prefix(const char* pattern, std::size_t plen, const char* name) {
    std::size_t pi = 0;
    std::size_t ni = 0;
    std::size_t star = kNoStar; // position of the last "*" seen
    std::size_t mark = 0;       // where the name stood when it was seen
    while (name[ni] != '\0') {
        if (pi < plen && pattern[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (pi < plen && pattern[pi] == '?') {
            ++pi;
            ni = skip_continuation(name, ni + 1);
        } else if (pi < plen && ascii_lower(static_cast<unsigned char>(pattern[pi])) ==
                                    ascii_lower(static_cast<unsigned char>(name[ni]))) {
            ++pi;
            ++ni;
        } else if (star != kNoStar) {
            pi = star + 1;
            mark = skip_continuation(name, mark + 1);
            ni = mark;
        } else {
            return false;
        }
    }
    while (pi < plen && pattern[pi] == '*') {
        ++pi;
    }
    return pi == plen;
}

} // namespace

// The wildcard rule. A pattern that ends in ".*" also matches the names its
// part before ".*" matches (so "*.*" matches every name and "Form1.*" matches
// "Form1"), as on Windows. "?" takes one character (a whole UTF-8 sequence).
bool wildcard_match(const char* pattern, const char* name) {
    if (pattern == nullptr || name == nullptr) {
        return false;
    }
    const std::size_t plen = std::strlen(pattern);
    if (match_prefix(pattern, plen, name)) {
        return true;
    }
    return plen >= 2 && pattern[plen - 2] == '.' && pattern[plen - 1] == '*' &&
           match_prefix(pattern, plen - 2, name);
}

// Case-insensitive order, ties in byte order.
bool name_sorts_before(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = ascii_lower(static_cast<unsigned char>(a[i]));
        const unsigned char cb = ascii_lower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

} // namespace trevox
