// Our own text mode: the writing side's block (the reading side lives whole
// in the header, where the line loop can be inlined).
#include "platform/text_mode.h"

#include <algorithm>

namespace trevox {

void text_block_reset(TextBlock& b, bool lf_only) {
    if (b.block.size() != kTextBlockBytes) {
        b.block.resize(kTextBlockBytes);
    }
    b.used = 0;
    b.failed = false;
    b.lf_only = lf_only;
}

// A failed block drops what it holds: nothing more of it is ever stored.
bool text_block_flush(TextBlock& b, StoreBlock store, void* context) {
    if (!b.failed && b.used > 0 && !store(context, b.block.data(), b.used)) {
        b.failed = true;
    }
    b.used = 0;
    return !b.failed;
}

// The block is handed on whenever fewer than two bytes are free where a
// piece is to start, so that a CR LF pair always fits once begun; a line
// longer than the block goes out in several blocks.
bool text_block_put_slow(TextBlock& b, std::string_view text, bool newline, StoreBlock store,
                         void* context) {
    assert(b.block.size() == kTextBlockBytes);
    if (b.failed) {
        return text.empty() && !newline;
    }
    const char* data = text.data();
    std::size_t left = text.size();
    bool line_end = newline;
    while (left > 0 || line_end) {
        if (kTextBlockBytes - b.used < 2 && !text_block_flush(b, store, context)) {
            return false;
        }
        const std::size_t room = kTextBlockBytes - b.used - 1; // one byte kept for a LF
        // The line end is the character after the text; it goes in this
        // piece when the piece reaches it.
        const std::size_t span = std::min(left + (line_end ? 1 : 0), room);
        const std::size_t plain = std::min(span, left);
        if (plain > 0) {
            std::memcpy(b.block.data() + b.used, data, plain);
        }
        b.used += plain;
        data += plain;
        left -= plain;
        if (line_end && span > plain) {
            if (!b.lf_only) {
                b.block[b.used++] = '\r';
            }
            b.block[b.used++] = '\n';
            line_end = false;
        }
    }
    return true;
}

} // namespace trevox
