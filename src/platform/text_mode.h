// Our own text mode, the same on every system, as pure code over memory: no
// call into the operating system, no state outside the objects below, so any
// number of them run at once.
//
// Reading: a CR LF pair is a line end, as is a LF alone; a lone CR, a NUL and
// a Ctrl-Z followed by any other byte are ordinary characters; a run of
// Ctrl-Z at the very end of the text is dropped. Writing: every line end goes
// out as CR LF.
#pragma once

#include <array>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trevox {

// Size of the blocks text is read and written in.
inline constexpr std::size_t kTextBlockBytes = std::size_t{128} * 1024;

// The first LF in [p, end), or nullptr. Sixteen bytes at a time: most lines
// are short, and this costs less than a call for each of them.
inline const char* find_line_feed(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)));
        if (hits != 0) {
            return p + std::countr_zero(hits);
        }
        p += 16;
    }
#endif
    for (; p != end; ++p) {
        if (*p == '\n') {
            return p;
        }
    }
    return nullptr;
}

// One line of text: its characters without the line end, and whether it had
// one (only the last line of a text may lack it).
struct TextLine {
    std::string_view text;
    bool newline = false;
};

// Splits text, handed over in blocks of any size, into lines. A line that
// lies whole in a block is handed out as a view of that block; a line that
// spans blocks is gathered in a buffer of the splitter's own. A line handed
// out stays valid until the next call of put() or reset().
class LineSplitter {
  public:
    // Forgets any partial line (its buffers keep their capacity).
    void reset() {
        carry_[0].clear();
        carry_[1].clear();
        active_ = 0;
        pos_ = nullptr;
        end_ = nullptr;
    }

    // The next block of text; the block before must have been used up (take()
    // returned false). The bytes must stay in place until then.
    void put(const char* data, std::size_t n) {
        assert(pos_ == end_ && (data != nullptr || n == 0));
        pos_ = data;
        end_ = data + n;
    }

    // The next line that the block completes. False when the block is used
    // up; what follows its last line end is then kept for the next block.
    bool take(TextLine& line) {
        if (pos_ == end_) {
            return false;
        }
        const auto left = static_cast<std::size_t>(end_ - pos_);
        const char* const lf = find_line_feed(pos_, end_);
        std::string& carry = carry_[active_];
        if (carry.empty()) {
            if (lf != nullptr) {
                const char* const at = lf;
                line = whole_line(pos_, static_cast<std::size_t>(at - pos_));
                pos_ = at + 1;
                return true;
            }
            carry.assign(pos_, left);
            pos_ = end_;
            return false;
        }
        if (lf == nullptr) {
            carry.append(pos_, left);
            pos_ = end_;
            return false;
        }
        const char* const at = lf;
        carry.append(pos_, static_cast<std::size_t>(at - pos_));
        line = whole_line(carry.data(), carry.size());
        pos_ = at + 1;
        switch_carry();
        return true;
    }

    // The end of the text, once the last block is used up: the last line if it
    // has no line end, the run of Ctrl-Z at its very end dropped. False when
    // there is none (or it was taken already).
    bool take_last(TextLine& line) {
        assert(pos_ == end_);
        const std::string& carry = carry_[active_];
        std::size_t size = carry.size();
        while (size > 0 && carry[size - 1] == kCtrlZ) {
            --size;
        }
        if (size == 0) {
            return false;
        }
        line = TextLine{std::string_view(carry.data(), size), false};
        switch_carry();
        return true;
    }

  private:
    static constexpr char kCtrlZ = '\x1a';

    // The line that ends at a LF: its CR, when it has one, is part of the line end.
    static TextLine whole_line(const char* p, std::size_t n) {
        if (n > 0 && p[n - 1] == '\r') {
            --n;
        }
        return TextLine{std::string_view(p, n), true};
    }

    // The gathered line was handed out: the next partial line goes to the
    // other buffer, so that this one stays valid.
    void switch_carry() {
        active_ ^= 1;
        carry_[active_].clear();
    }

    std::array<std::string, 2> carry_;
    std::size_t active_ = 0;
    const char* pos_ = nullptr;
    const char* end_ = nullptr;
};

// Tells, over a text handed over in blocks of any size, whether its line ends
// are LF alone: at least one LF, and none after a CR.
class LineEndScan {
  public:
    void feed(const char* data, std::size_t n) {
        const char* p = data;
        const char* const end = data + n;
        for (const char* lf = find_line_feed(p, end); lf != nullptr; lf = find_line_feed(p, end)) {
            const bool after_cr = lf == data ? last_cr_ : lf[-1] == '\r';
            crlf_ = crlf_ || after_cr;
            lf_ = lf_ || !after_cr;
            p = lf + 1;
        }
        if (n > 0) {
            last_cr_ = data[n - 1] == '\r';
        }
    }
    bool lf_only() const { return lf_ && !crlf_; }

  private:
    bool lf_ = false;
    bool crlf_ = false;
    bool last_cr_ = false;
};

// The writing side: lines gathered in a block of kTextBlockBytes, each line
// end going out as CR LF (or, when `lf_only` is set, as LF alone); the block
// is handed to `store` when it has no room left. Once a store failed, nothing
// more is written.
struct TextBlock {
    std::vector<char> block;
    std::size_t used = 0;
    bool failed = false;
    bool lf_only = false;
};

// Stores `n` bytes of a full block; false when they were not stored.
using StoreBlock = bool (*)(void* context, const char* data, std::size_t n);

// Back to an empty block that has not failed, allocated once; its line ends
// CR LF unless `lf_only`.
void text_block_reset(TextBlock& b, bool lf_only = false);

// Hands the gathered bytes to `store` and empties the block. False when this
// store (or an earlier one) failed.
bool text_block_flush(TextBlock& b, StoreBlock store, void* context);

// Appends the line `text` (which holds no "\n") and, when `newline`, its line
// end. False when the bytes could not be stored: this store or an earlier one
// failed (an empty text without line end never fails).
bool text_block_put_slow(TextBlock& b, std::string_view text, bool newline, StoreBlock store,
                         void* context);
inline bool text_block_put(TextBlock& b, std::string_view text, bool newline, StoreBlock store,
                           void* context) {
    assert(b.block.size() == kTextBlockBytes);
    // The usual case: a whole line that fits, with room to spare.
    if (newline && !b.failed && text.size() + 1 < kTextBlockBytes - b.used) {
        char* out = b.block.data() + b.used;
        if (!text.empty()) {
            std::memcpy(out, text.data(), text.size());
        }
        out += text.size();
        if (!b.lf_only) {
            *out++ = '\r';
        }
        *out++ = '\n';
        b.used = static_cast<std::size_t>(out - b.block.data());
        return true;
    }
    return text_block_put_slow(b, text, newline, store, context);
}

} // namespace trevox
