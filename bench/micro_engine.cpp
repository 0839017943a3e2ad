// Micro-benchmark of the engine alone: the line pass (and, under /s, the
// copy-back pass) over a text held in memory, in MB/s of source text. The
// text lives in a memory file system (/dev/shm when there is one), so no disk
// is involved; no backup, no rename, no restore script.
#include "engine/joiner.h"
#include "engine/pump.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace trevox;
namespace fs = std::filesystem;

// Size of the source text the engine reads in each iteration.
constexpr std::size_t kSourceBytes = 16u << 20;

// A directory in memory for the input and output texts.
std::string memory_dir() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec)) {
        return "/dev/shm";
    }
    return fs::temp_directory_path().string();
}

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

struct Files {
    std::string source;
    std::string temp;
    std::string second;
    std::size_t bytes = 0;
    Files() {
        const std::string dir = memory_dir();
        const std::string stem = dir + "/trevox-micro-" + std::to_string(::getpid());
        source = stem + ".bas";
        temp = stem + ".tmp";
        second = stem + ".tm2";
        const std::string text = make_source();
        bytes = text.size();
        std::ofstream(source, std::ios::binary)
            .write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    ~Files() {
        std::remove(source.c_str());
        std::remove(temp.c_str());
        std::remove(second.c_str());
    }
    Files(const Files&) = delete;
    Files& operator=(const Files&) = delete;
};

// One pass of the engine from `in` to `out`; `copy_back` picks the joiner's loop.
void pass(const std::string& in, const std::string& out, bool copy_back) {
    if (!text_open_read(g_pump.input_stream, in) || !text_open_write(g_pump.output_stream, out)) {
        std::fprintf(stderr, "cannot open %s or %s\n", in.c_str(), out.c_str());
        std::abort();
    }
    pump_reset_pass();
    if (read_first_line()) {
        if (copy_back) {
            (void)copy_back_loop();
        } else {
            (void)reformat_lines();
        }
    }
    text_close(g_pump.input_stream);
    (void)text_close(g_pump.output_stream);
}

void run(benchmark::State& state, bool tight_and_join) {
    static Files files;
    settings_reset();
    if (tight_and_join) {
        g_settings.RemoveBlankLines = 1;
        g_settings.RemoveComments = 1;
        g_settings.CombineSplitLines = 1;
    }
    g_pump.stamp_pending = 0;
    for (auto _ : state) {
        pass(files.source, files.temp, false);
        if (tight_and_join) {
            pass(files.temp, files.second, true);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(files.bytes));
    settings_reset();
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
