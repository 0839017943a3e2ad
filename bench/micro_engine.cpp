// Micro-benchmark of the engine alone: the rewrite pass (and, under /t /s,
// the join pass after it) over a text held in memory, handed over in blocks
// of the size the program reads files in, in MB/s of source text. The output
// goes to a sink that only counts it: no file, no backup, no restore script.
#include "engine/engine.h"
#include "platform/text_mode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace trevox;

// Size of the source text the engine reads in each iteration.
constexpr std::size_t kSourceBytes = 16u << 20;

// Ordinary Visual Basic text: indented with blanks and tabs, declarations,
// comments, blank lines, continued lines and now and then a long line.
std::string make_source() {
    const char* const lines[] = {
        "Private Function Proc(ByVal count As Long) As Long\r\n",
        "    Dim total     As Long\r\n",
        "\tDim name  As String\r\n",
        "        total = total * 12   ' scaled\r\n",
        "\r\n",
        "    ' the order of these checks matters\r\n",
        "    If count > 0 Then total = total + 1 ' bump\r\n",
        "    sql = \"SELECT name FROM t WHERE a = '\" & key & \"'\" _\r\n",
        "        & \" ORDER BY name\"   ' the query\r\n",
        "\t\tCall Report(total, _\r\n",
        "\t\t    count, _\r\n",
        "\t\t    name)\r\n",
        "    Rem note\r\n",
        "    Proc = 0\r\n",
        "End Function\r\n",
    };
    std::string text;
    text.reserve(kSourceBytes + 4096);
    std::string long_line = "    msg = \"";
    while (long_line.size() < 1500) {
        long_line += "customer order amount ";
    }
    long_line += "\"\r\n";
    for (std::size_t n = 0; text.size() < kSourceBytes; ++n) {
        for (const char* line : lines) {
            text += line;
        }
        if (n % 40 == 0) {
            text += long_line;
        }
    }
    return text;
}

// Counts the output; keeps it only when asked to.
class CountingSink final : public EngineSink {
  public:
    explicit CountingSink(std::string* keep) : keep_(keep) {}
    bool store(const char* data, std::size_t n) override {
        bytes += n;
        if (keep_ != nullptr) {
            keep_->append(data, n);
        }
        return true;
    }
    std::size_t bytes = 0;

  private:
    std::string* keep_;
};

// One pass over `text` in blocks of kTextBlockBytes.
void pass(Engine& engine, const FormatOptions& options, EnginePass which, const std::string& text,
          EngineSink& sink) {
    engine.begin(options, which, sink);
    for (std::size_t at = 0; at < text.size(); at += kTextBlockBytes) {
        engine.write(text.data() + at, std::min(kTextBlockBytes, text.size() - at));
    }
    if (engine.finish().write_errors != 0) {
        std::abort();
    }
}

void run(benchmark::State& state, bool tight_and_join) {
    static const std::string source = make_source();
    FormatOptions options;
    if (tight_and_join) {
        options.remove_blank_lines = true;
        options.remove_comments = true;
        options.combine_split_lines = true;
    }
    Engine engine;
    std::string rewritten;
    rewritten.reserve(source.size());
    for (auto _ : state) {
        if (tight_and_join) {
            rewritten.clear();
            CountingSink keep(&rewritten);
            pass(engine, options, EnginePass::rewrite, source, keep);
            CountingSink joined(nullptr);
            pass(engine, options, EnginePass::join, rewritten, joined);
            benchmark::DoNotOptimize(joined.bytes);
        } else {
            CountingSink out(nullptr);
            pass(engine, options, EnginePass::rewrite, source, out);
            benchmark::DoNotOptimize(out.bytes);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(source.size()));
}

void BM_EngineDefaults(benchmark::State& state) {
    run(state, false);
}
void BM_EngineTightJoined(benchmark::State& state) {
    run(state, true);
}

BENCHMARK(BM_EngineDefaults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineTightJoined)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
