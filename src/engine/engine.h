// The reformatting engine: text in, text out.
//
// An Engine takes the bytes of one text, as stored (CR LF or LF line ends,
// any bytes in the lines), in blocks of any size, and hands the reformatted
// bytes to the caller's sink in blocks, with CR LF line ends (or LF alone, as
// the caller chooses). It runs one of
// two passes: the rewrite pass (leading white space, comments, blank lines,
// declarations, the stamp; form headers and protected regions passed through)
// or the join pass (runs of continued lines joined up to a maximum length).
// Its result says what happened; its state lives in the object alone, so any
// number of engines run at once, on any threads. The engine itself calls no
// console, log or file function: the sink does all of that.
//
// format_text() is the one-call form for a whole text in memory.
#pragma once

#include "platform/text_mode.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trevox {

// What shapes the text.
struct FormatOptions {
    bool remove_blank_lines = false;
    bool remove_comments = false;
    bool combine_split_lines = false;   // format_text: the join pass follows the rewrite pass
    std::int32_t max_line_length = 512; // the longest line the join pass builds
    // The comment that takes the place of whatever follows the first
    // "Option Explicit" while the stamp is pending: ends with "\n" and holds
    // no other.
    std::string_view stamp;
    bool stamp_pending = false;
    // Line ends written as LF alone instead of CR LF.
    bool lf_line_ends = false;
};

enum class EnginePass { rewrite, join };

// Where the output goes. The engine calls it; it never calls the engine.
class EngineSink {
  public:
    EngineSink() = default;
    EngineSink(const EngineSink&) = delete;
    EngineSink& operator=(const EngineSink&) = delete;
    virtual ~EngineSink() = default;

    // Stores a block of output bytes. False when they were not stored; then
    // nothing more is handed to store().
    virtual bool store(const char* data, std::size_t n) = 0;

    // An output line could not be written: the store that failed, and every
    // line after it in the same pass.
    virtual void write_failed() {}

    // Only when `wants_lines` is set: every output line of the pass as text
    // ("\n" line end, if any), before it is written; also the empty texts
    // that write nothing.
    virtual void line(std::string_view text) { (void)text; }
    bool wants_lines = false;
};

struct EngineResult {
    // The pass took a line after a failed write and stopped there.
    bool stopped = false;
    // Output lines that could not be written.
    int write_errors = 0;
    // The last block was stored (false when it, or anything before it, failed).
    bool stored = true;
    // At least one line was read.
    bool had_input = false;
    // The stamp was given to a line of this text.
    bool stamp_applied = false;

    bool operator==(const EngineResult&) const = default;
};

// Tells whether the options can be used: a stamp that ends with its only "\n".
bool format_options_valid(const FormatOptions& options);

class Engine {
  public:
    // Starts a pass over a new text. The buffers of earlier texts are reused.
    // `options` must be valid; its stamp text and `sink` must outlive the pass.
    void begin(const FormatOptions& options, EnginePass pass, EngineSink& sink);

    // The next `n` bytes of the text; any split is the same as any other.
    void write(const char* data, std::size_t n);

    // The end of the text: the rest goes out, the last block is stored.
    EngineResult finish();

    // True once the pass has stopped after a failed write: the rest of the
    // text need not be handed over.
    bool stopped() const;

  private:
    enum class State : unsigned char {
        line,             // between lines: the next one starts a cycle
        form_body,        // inside a form's designer header
        form_attributes,  // in the block of Attribute lines that ends it
        protected_region, // between "$Protect" and "$UnProtect"
        drop_comment,     // removing the lines that continue a comment line
        drop_trailing,    // the same for a trailing comment; the cut line waits
        join_run,         // gathering a run of continued lines
        stopped,          // a write failed and a new cycle began: nothing more
    };

    void read_ahead(const TextLine& line);
    void take(const TextLine& line, bool last);
    void rewrite_cycle(const TextLine& taken, bool last);
    void after_comment(TextLine& line);
    void after_header(TextLine& line);
    void end_whole_comment(const TextLine& last_line);
    void join_cycle(const TextLine& line);
    void add_piece(std::string_view piece);
    void end_run(const TextLine& last_piece);
    void write_with_break();
    void emit(const TextLine& line);
    static bool store_block(void* context, const char* data, std::size_t n);

    FormatOptions options_;
    EnginePass pass_ = EnginePass::rewrite;
    EngineSink* sink_ = nullptr;
    LineSplitter lines_;
    TextBlock out_;
    State state_ = State::line;
    bool have_ahead_ = false;
    TextLine ahead_;         // the line read ahead, not yet taken
    std::string ahead_copy_; // its bytes, once the block it lay in is gone
    std::string edited_;     // a line changed in its middle (tightened, stamped)
    std::string parked_;     // the cut line while its comment's lines are dropped
    std::string join_;       // the line the join pass is building
    std::string shown_;      // an output line as text, for the sink's line()
    bool last_written_continued_ = false;
    EngineResult result_;
};

// Texts, one after the other, reformatted by the same two engines, whose
// buffers are kept from text to text: the rewrite pass, then, with
// combine_split_lines, the join pass, the first handing its output straight
// to the second.
class Formatter {
  public:
    // Starts a new text, whose output goes to `sink`. The same contract as
    // Engine::begin.
    void begin(const FormatOptions& options, EngineSink& sink);
    // The next `n` bytes of the text; any split is the same as any other.
    void write(const char* data, std::size_t n);
    // The end of the text. The result is the rewrite pass's, with the join
    // pass's failures to store its output added.
    EngineResult finish();

    // `input` reformatted into `output` (emptied first). False, with nothing
    // done, when the options are not valid. `result`, when given, tells about
    // the text (a failed write cannot happen in memory).
    bool format(const FormatOptions& options, std::string_view input, std::string& output,
                EngineResult* result = nullptr);

  private:
    // Hands the rewrite pass's output on to the join pass.
    class PassSink final : public EngineSink {
      public:
        explicit PassSink(Engine& next) : next_(next) {}
        bool store(const char* data, std::size_t n) override {
            next_.write(data, n);
            return true;
        }

      private:
        Engine& next_;
    };

    Engine rewrite_;
    Engine join_;
    PassSink to_join_{join_};
    bool joining_ = false;
};

// The one-call form: format() of a Formatter of its own.
bool format_text(const FormatOptions& options, std::string_view input, std::string& output,
                 EngineResult* result = nullptr);

} // namespace trevox
