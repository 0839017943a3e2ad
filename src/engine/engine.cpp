// The reformatting engine: the per-line steps of the rewrite pass and the
// loop of the join pass, driven line by line as the text arrives.
//
// A line is taken once the line after it has begun (or the text has ended),
// so that every step knows whether its line is the last one. Steps that look
// past the last line of the text (a form header, a protected region or a run
// of continued lines still open at the end) see one empty line there, which
// they treat as the text's end.
//
// Lines are views of the caller's block wherever they lie whole in it; only a
// line that is changed in its middle, a line that spans blocks, the line read
// ahead when a block ends, and the lines a join builds are copied, each into a
// buffer of the engine's own that keeps its capacity from text to text.
#include "engine/engine.h"

#include "engine/rules.h"

#include <cassert>
#include <cstdint>

namespace trevox {
namespace {

// Texts matched at the start of a line, case-sensitive.
constexpr std::string_view kFormHeaderStart = "Begin VB.Form ";
constexpr std::string_view kAttributeLine = "Attribute ";
constexpr std::string_view kOptionExplicit = "Option Explicit";
constexpr char kCommentQuote = '\'';
// What a join writes before a line break: the piece's blank, then " _".
constexpr std::string_view kBreakMark = " _";

// True when the stamp may take the place of what follows "Option Explicit" at
// the start of `line`: nothing but blanks and tabs, then the end of the text
// or a comment that does not go on over the next line. Code after it (": Dim
// x") would be lost, and a continued comment's next line would become code. A
// Rem comment needs white space before it: "ExplicitRem" is one word, not
// Explicit and a comment.
bool stamp_replaces_only_a_comment(const TextLine& line) {
    assert(has_prefix(line.text, kOptionExplicit));
    std::string_view rest = line.text.substr(kOptionExplicit.size());
    bool spaced = false;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
        spaced = true;
    }
    if (rest.empty()) {
        return true;
    }
    if (rest.front() != kCommentQuote && !spaced) {
        return false;
    }
    return is_whole_line_comment(rest) && !is_continued(line);
}

// A final piece that is an underscore alone would turn the joined line, which
// ends in a blank, into a continued line ending in " _", and so join the line
// after the run into the statement (or comment) as well. At the end of the
// text, without its line end, it would leave " _" at the very end, where the
// underscore reads as a continuation mark rather than as the text it was.
bool is_bare_mark(const TextLine& line) {
    return line.text == "_";
}

// True when a line of `built` characters plus `piece` characters would be
// longer than `max`. Counted in 64 bits, so every 32-bit maximum (0,
// negative, INT32_MAX) compares as written.
bool would_exceed(std::size_t built, std::size_t piece, std::int32_t max) {
    return static_cast<std::int64_t>(built) + static_cast<std::int64_t>(piece) >
           static_cast<std::int64_t>(max);
}

std::size_t length_with_end(const TextLine& line) {
    return line.text.size() + (line.newline ? 1 : 0);
}

} // namespace

bool format_options_valid(const FormatOptions& options) {
    const std::string_view stamp = options.stamp;
    return stamp.empty() || stamp.find('\n') == stamp.size() - 1;
}

void Engine::begin(const FormatOptions& options, EnginePass pass, EngineSink& sink) {
    assert(format_options_valid(options));
    options_ = options;
    pass_ = pass;
    sink_ = &sink;
    lines_.reset();
    text_block_reset(out_, options.lf_line_ends);
    state_ = State::line;
    have_ahead_ = false;
    last_written_continued_ = false;
    join_.clear();
    result_ = EngineResult{};
}

// A new line is read: the one read before it is not the last, and is taken.
inline void Engine::read_ahead(const TextLine& line) {
    if (have_ahead_) {
        take(ahead_, false);
    }
    ahead_ = line;
    have_ahead_ = true;
}

[[gnu::flatten]] void Engine::write(const char* data, std::size_t n) {
    assert(sink_ != nullptr && (data != nullptr || n == 0));
    lines_.put(data, n);
    TextLine line;
    while (lines_.take(line)) {
        read_ahead(line);
    }
    // The line read ahead may lie in the caller's block or in the splitter's
    // buffer, neither of which lasts: it is kept here.
    if (have_ahead_ && ahead_.text.data() != ahead_copy_.data()) {
        ahead_copy_.assign(ahead_.text);
        ahead_.text = ahead_copy_;
    }
}

EngineResult Engine::finish() {
    assert(sink_ != nullptr);
    TextLine line;
    if (lines_.take_last(line)) {
        read_ahead(line);
    }
    if (have_ahead_) {
        take(ahead_, true);
        have_ahead_ = false;
    }
    // What is still open at the end sees the empty line past it.
    while (state_ != State::line && state_ != State::stopped) {
        take(TextLine{}, true);
    }
    result_.stored = text_block_flush(out_, store_block, this);
    result_.stopped = state_ == State::stopped;
    return result_;
}

bool Engine::stopped() const {
    return state_ == State::stopped;
}

bool Engine::store_block(void* context, const char* data, std::size_t n) {
    return static_cast<Engine*>(context)->sink_->store(data, n);
}

// Writes one output line: shown to the sink first when it asks for lines
// (also an empty text), then put in the output block. An empty text writes
// nothing and cannot fail.
void Engine::emit(const TextLine& line) {
    if (sink_->wants_lines) {
        shown_.assign(line.text);
        if (line.newline) {
            shown_.push_back('\n');
        }
        sink_->line(shown_);
    }
    if (line.text.empty() && !line.newline) {
        return;
    }
    last_written_continued_ = is_continued(line);
    if (!text_block_put(out_, line.text, line.newline, store_block, this)) {
        ++result_.write_errors;
        sink_->write_failed();
    }
}

// One line, and whether it is the text's last, to the step that waits for it.
void Engine::take(const TextLine& line, bool last) {
    result_.had_input = true;
    switch (state_) {
    case State::stopped:
        return;
    case State::line:
        // A cycle does not begin after a failed write.
        if (result_.write_errors != 0) {
            state_ = State::stopped;
            return;
        }
        if (pass_ == EnginePass::rewrite) {
            rewrite_cycle(line, last);
        } else {
            join_cycle(line);
        }
        return;
    case State::form_body:
    case State::form_attributes: {
        // The header's lines go out unchanged up to the end of the block of
        // Attribute lines that closes it; that line, or the text's last, goes
        // the way of the line after a header.
        const bool attribute = has_prefix(line.text, kAttributeLine);
        if (!last && (state_ == State::form_body || attribute)) {
            emit(line);
            if (attribute) {
                state_ = State::form_attributes;
            }
            return;
        }
        state_ = State::line;
        TextLine after = line;
        after_header(after);
        return;
    }
    case State::protected_region:
        // Every line goes out unchanged, up to the end line or the text's last.
        emit(line);
        if (is_protect_end(line.text) || last) {
            state_ = State::line;
        }
        return;
    case State::drop_comment:
    case State::drop_trailing:
        // The comment goes on while its lines are continued lines.
        if (!last && is_continued(line)) {
            return;
        }
        if (state_ == State::drop_comment) {
            state_ = State::line;
            end_whole_comment(line);
        } else {
            state_ = State::line;
            TextLine parked{parked_, true};
            after_comment(parked);
        }
        return;
    case State::join_run:
        if (is_continued(line)) {
            add_piece(line.text.substr(0, line.text.size() - 1));
            return;
        }
        state_ = State::line;
        end_run(line);
        return;
    }
}

// The per-line steps of the rewrite pass: leading white space, comments,
// declarations, then the form header, the stamp and protected regions.
void Engine::rewrite_cycle(const TextLine& taken, bool last) {
    TextLine line = taken;
    if (options_.remove_blank_lines) {
        const bool had_newline = line.newline;
        line = strip_leading_space(line);
        // A blank line ends the continued statement written before it:
        // removing it would join the next line into that statement.
        if (line.text.empty() && had_newline && last_written_continued_) {
            line.newline = true;
        }
    } else {
        line = strip_leading_blanks(line);
    }
    if (options_.remove_comments) {
        if (is_whole_line_comment(line.text)) {
            // A comment continued over the next lines takes them with it.
            if (is_continued(line) && !last) {
                state_ = State::drop_comment;
                return;
            }
            end_whole_comment(line);
            return;
        }
        const bool continued = is_continued(line);
        if (cut_trailing_comment(line) && continued && !last) {
            // The cut line waits while the comment's lines are dropped.
            parked_.assign(line.text);
            state_ = State::drop_trailing;
            return;
        }
    }
    after_comment(line);
}

// The steps after the comments: declarations tightened, then a form header
// opened or the steps after it.
void Engine::after_comment(TextLine& line) {
    if (is_declaration(line.text)) {
        const BlankRun run = blanks_before_as(line.text);
        if (run.from != run.to) {
            edited_.assign(line.text.substr(0, run.from));
            edited_.append(line.text.substr(run.to));
            line.text = edited_;
        }
    }
    if (has_prefix(line.text, kFormHeaderStart)) {
        emit(line);
        state_ = State::form_body;
        return;
    }
    after_header(line);
}

// A whole-line comment was removed. When the line written just before it is a
// continued line, one empty line takes its place, so that the next line is
// not joined to that statement (at the very end of a text without a final
// line end there is no next line, and nothing is written).
void Engine::end_whole_comment(const TextLine& last_line) {
    if (last_written_continued_ && last_line.newline) {
        emit(TextLine{std::string_view(), true});
    }
}

// The stamp, a protected region, or the line written as it is.
void Engine::after_header(TextLine& line) {
    bool stamped = false;
    if (options_.stamp_pending && has_prefix(line.text, kOptionExplicit) &&
        stamp_replaces_only_a_comment(line)) {
        const std::string_view stamp = options_.stamp;
        const bool ends_line = !stamp.empty() && stamp.back() == '\n';
        assert(line.text.data() != edited_.data());
        edited_.assign(kOptionExplicit);
        edited_.append(stamp.substr(0, stamp.size() - (ends_line ? 1 : 0)));
        line = TextLine{edited_, ends_line};
        stamped = true;
    }
    if (is_protect_start(line.text)) {
        emit(line);
        state_ = State::protected_region;
        return;
    }
    emit(line);
    if (stamped) {
        options_.stamp_pending = false;
        result_.stamp_applied = true;
    }
}

// The join pass: protected regions pass through, runs of continued lines are
// joined, every other line is copied.
void Engine::join_cycle(const TextLine& line) {
    if (is_protect_start(line.text)) {
        emit(line);
        state_ = State::protected_region;
        return;
    }
    if (is_continued(line)) {
        assert(join_.empty());
        add_piece(line.text.substr(0, line.text.size() - 1));
        state_ = State::join_run;
        return;
    }
    emit(line);
}

// A piece of a run: a continued line without its underscore and line end,
// ending in the blank that separates it from the next piece.
void Engine::add_piece(std::string_view piece) {
    if (would_exceed(join_.size(), piece.size(), options_.max_line_length)) {
        write_with_break();
    }
    join_.append(piece);
}

// The line that ends a run (empty at the end of the text) completes it.
void Engine::end_run(const TextLine& last_piece) {
    if (would_exceed(join_.size(), length_with_end(last_piece), options_.max_line_length) ||
        (!join_.empty() && is_bare_mark(last_piece))) {
        write_with_break();
    }
    join_.append(last_piece.text);
    emit(TextLine{join_, last_piece.newline});
    join_.clear();
}

// Writes what the join has built as a continued line, then starts afresh.
void Engine::write_with_break() {
    join_.append(kBreakMark);
    emit(TextLine{join_, true});
    join_.clear();
}

namespace {

// Gathers output in a string.
class StringSink final : public EngineSink {
  public:
    explicit StringSink(std::string& out) : out_(out) {}
    bool store(const char* data, std::size_t n) override {
        out_.append(data, n);
        return true;
    }

  private:
    std::string& out_;
};

} // namespace

void Formatter::begin(const FormatOptions& options, EngineSink& sink) {
    joining_ = options.combine_split_lines;
    if (joining_) {
        join_.begin(options, EnginePass::join, sink);
    }
    rewrite_.begin(options, EnginePass::rewrite, joining_ ? to_join_ : sink);
}

void Formatter::write(const char* data, std::size_t n) {
    rewrite_.write(data, n);
}

EngineResult Formatter::finish() {
    EngineResult result = rewrite_.finish();
    if (joining_) {
        const EngineResult joined = join_.finish();
        result.stopped = result.stopped || joined.stopped;
        result.write_errors += joined.write_errors;
        result.stored = result.stored && joined.stored;
    }
    return result;
}

bool Formatter::format(const FormatOptions& options, std::string_view input, std::string& output,
                       EngineResult* result) {
    if (!format_options_valid(options)) {
        return false;
    }
    output.clear();
    StringSink to_output(output);
    begin(options, to_output);
    write(input.data(), input.size());
    const EngineResult formatted = finish();
    if (result != nullptr) {
        *result = formatted;
    }
    return true;
}

bool format_text(const FormatOptions& options, std::string_view input, std::string& output,
                 EngineResult* result) {
    Formatter formatter;
    return formatter.format(options, input, output, result);
}

} // namespace trevox
