// Writes a deterministic, realistic tree of Visual Basic sources for the
// benchmark: forms with designer headers, classes and modules, indented with
// blanks and tabs, with declarations, comments, continued lines, a few lines
// over 1,000 characters, CR LF line ends, and a project file Bench.vbp
// listing every source, and BenchCase.vbp listing them with their names in
// capitals (as a project written on Windows may): each name then differs in
// letter case from its file.
//
//   gen_tree [--edges] DIR FILES TOTAL_BYTES [SEED]
//
// With --edges the sources also hold what is rare in real code but must come
// through exactly: protected regions, continued comments, blank and bare
// continuation lines after continued lines, lone CRs, NULs and Ctrl-Z inside
// lines, LF-only line ends, Option Explicit lines of every kind, and files
// that end without a line end, in a run of Ctrl-Z, in a continued line or
// inside an open region. DIR is created when missing. The sizes of the files vary around
// TOTAL_BYTES / FILES (a single file gets TOTAL_BYTES). The same arguments
// always give the same bytes; another seed gives another tree.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Text is handed to the file whenever this much is buffered.
constexpr std::size_t kFlushBytes = std::size_t{1} << 20;
// One line in this many procedure-body lines is longer than 1,000 characters.
constexpr int kLongLineOneIn = 500;
// With --edges, one body line in this many is one of the rare shapes.
constexpr int kEdgeOneIn = 8;
// Words in such a line (each at least three letters and a blank).
constexpr int kLongLineMinWords = 260;

// splitmix64: small, fast and the same on every platform.
struct Rng {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
};

const char* const kTypes[] = {"Long",    "String", "Integer",    "Boolean",
                              "Variant", "Double", "Collection", "Object"};
const char* const kWords[] = {"total",  "count",    "name",  "value",  "index", "result", "item",
                              "buffer", "customer", "order", "amount", "line",  "record", "key"};
constexpr int kWordCount = static_cast<int>(sizeof kWords / sizeof kWords[0]);
constexpr int kTypeCount = static_cast<int>(sizeof kTypes / sizeof kTypes[0]);

// One generated file: its text is built here and written out in chunks.
struct Output {
    std::FILE* file = nullptr;
    std::string text;
    std::uint64_t written = 0;
    bool ok = true;
};

void flush(Output& out) {
    if (!out.text.empty() &&
        std::fwrite(out.text.data(), 1, out.text.size(), out.file) != out.text.size()) {
        out.ok = false;
    }
    out.written += out.text.size();
    out.text.clear();
}

std::uint64_t size_of(const Output& out) {
    return out.written + out.text.size();
}

const char* word(Rng& r) {
    return kWords[r.below(kWordCount)];
}

const char* type(Rng& r) {
    return kTypes[r.below(kTypeCount)];
}

// Text added as it is, without a line end of its own.
void raw(Output& out, const std::string& text) {
    out.text += text;
}

void line(Output& out, const std::string& text) {
    out.text += text;
    out.text += "\r\n";
    if (out.text.size() >= kFlushBytes) {
        flush(out);
    }
}

// `depth` levels, each four blanks or (one time in five) a tab.
std::string indent(Rng& r, int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) {
        s += r.chance(20) ? "\t" : "    ";
    }
    return s;
}

std::string blanks(Rng& r, int most) {
    return std::string(static_cast<std::size_t>(1 + r.below(most)), ' ');
}

void form_header(Output& out, Rng& r, const std::string& name) {
    line(out, "VERSION 5.00");
    line(out, "Begin VB.Form " + name + " ");
    line(out, "   Caption         =   \"" + name + "\"");
    line(out, "   ClientHeight    =   " + std::to_string(3000 + r.below(2000)));
    line(out, "   StartUpPosition =   3  'Windows Default");
    const int controls = 2 + r.below(6);
    for (int i = 0; i < controls; ++i) {
        line(out, "   Begin VB.CommandButton cmd" + std::to_string(i) + " ");
        line(out, "      Caption         =   \"&Button " + std::to_string(i) + "\"");
        line(out, "      Height          =   375");
        line(out, "      TabIndex        =   " + std::to_string(i));
        line(out, "   End");
    }
    line(out, "End");
    line(out, "Attribute VB_Name = \"" + name + "\"");
    line(out, "Attribute VB_GlobalNameSpace = False");
    line(out, "Attribute VB_Creatable = False");
    line(out, "Attribute VB_PredeclaredId = True");
    line(out, "Attribute VB_Exposed = False");
}

// Module-level declarations: variables, a constant, now and then a type.
void declarations(Output& out, Rng& r, int file_number) {
    line(out, "Private   m" + std::string(word(r)) + blanks(r, 4) + "As Long   ' module state");
    line(out, std::string(r.chance(50) ? "Public " : "Global ") + "g" + word(r) +
                  std::to_string(file_number) + blanks(r, 8) + "As " + type(r));
    line(out, "Private Const MAX_" + std::to_string(r.below(100)) +
                  " As Long = " + std::to_string(r.below(10000)));
    if (r.chance(30)) {
        line(out, "Private Type T" + std::to_string(file_number));
        const int fields = 2 + r.below(4);
        for (int i = 0; i < fields; ++i) {
            line(out, indent(r, 1) + word(r) + std::to_string(i) + blanks(r, 6) + "As " + type(r));
        }
        line(out, "End Type");
    }
    line(out, "");
}

// One of the rare shapes of --edges, in place of an ordinary body line.
void edge_lines(Output& out, Rng& r, const std::string& in) {
    using namespace std::string_literals;
    switch (r.below(16)) {
    case 0:
        line(out, in + "'$Protect " + word(r));
        line(out, in + "    Dim  " + word(r) + "   As Long   ' kept as it is");
        line(out, "");
        line(out, in + "  '$UnProtect (indented: the region goes on)");
        line(out, "'$UnProtect");
        break;
    case 1:
        line(out, in + "s = \"a\rb\" ' lone CR");
        break;
    case 2:
        line(out, in + "s = \"x"s + '\0' + "y\"   ' NUL");
        break;
    case 3:
        line(out, in + "s = \"\x1a\x1a\" ' Ctrl-Z inside");
        break;
    case 4:
        raw(out, in + word(r) + " = 1 ' LF only\n");
        break;
    case 5:
        line(out, in + "' a comment that goes on _");
        line(out, in + "    over this line _");
        line(out, in + "    and this one");
        break;
    case 6:
        line(out, in + word(r) + " = 2 ' trailing, continued _");
        line(out, in + "  still the comment");
        break;
    case 7:
        line(out, in + "x = " + word(r) + " _");
        line(out, "");
        line(out, in + "y = 3");
        break;
    case 8:
        line(out, in + "x = " + word(r) + " _");
        line(out, in + " _");
        line(out, in + "   _");
        line(out, in + "    + 1");
        break;
    case 9:
        line(out, in + "Rem");
        line(out, in + "REM " + word(r));
        break;
    case 10:
        line(out, in + "If x Then s = \"it's\" ' why: \"odd");
        break;
    case 11:
        line(out, in + "x = a _");
        line(out, in + "' between _");
        line(out, in + "b");
        break;
    case 12:
        line(out, std::string(r.below(3) == 0 ? "Option Explicit ' again" : "  Option Explicit"));
        break;
    case 13:
        line(out, in + "Dim  s   As String: s = \"  As  \"");
        break;
    case 14:
        line(out, in + "x = 1 _ ' not a continuation");
        line(out, in + "x = " + word(r) + " _");
        line(out, "\t_");
        break;
    default:
        raw(out, in + "y = 2\r\r\n");
        break;
    }
}

// The Option Explicit line of an --edges file, in one of its shapes.
std::string edge_option_explicit(Rng& r) {
    const char* const shapes[] = {
        "Option Explicit",
        "   Option Explicit",
        "Option Explicit   '-- $Reformatted by someone, on 01-02-03 at 04:05:06",
        "Option Explicit: Dim early As Long",
        "Option Explicit ' goes on _",
        "Option ExplicitRem",
        "option explicit",
        "Option Explicit\tRem why",
    };
    return shapes[r.below(static_cast<int>(sizeof shapes / sizeof shapes[0]))];
}

// How the last line of an --edges file ends.
void edge_ending(Output& out, Rng& r) {
    switch (r.below(8)) {
    case 0:
        raw(out, "x = 1");
        break;
    case 1:
        raw(out, "\x1a\x1a\x1a");
        break;
    case 2:
        raw(out, "x = 1 ' last _");
        break;
    case 3:
        line(out, "y = a _");
        break;
    case 4:
        line(out, "'$Protect never closed");
        line(out, "   z");
        break;
    case 5:
        raw(out, "\r");
        break;
    default:
        break;
    }
}

void procedure(Output& out, Rng& r, int number, bool edges) {
    const std::string name = "Proc" + std::to_string(number);
    line(out, std::string(r.chance(50) ? "Public Function " : "Private Function ") + name +
                  "(ByVal " + word(r) + " As Long) As Long");
    const int locals = 1 + r.below(4);
    for (int i = 0; i < locals; ++i) {
        line(out,
             indent(r, 1) + "Dim " + word(r) + std::to_string(i) + blanks(r, 6) + "As " + type(r));
    }
    const int body = 4 + r.below(20);
    for (int i = 0; i < body; ++i) {
        const std::string in = indent(r, 1 + r.below(3));
        if (edges && r.below(kEdgeOneIn) == 0) {
            edge_lines(out, r, in);
            continue;
        }
        if (r.below(kLongLineOneIn) == 0) {
            std::string big = in + "msg = \"";
            const int words = kLongLineMinWords + r.below(150);
            for (int w = 0; w < words; ++w) {
                big += word(r);
                big += ' ';
            }
            big += "\"";
            line(out, big);
            continue;
        }
        const int kind = r.below(100);
        if (kind < 10) {
            line(out, r.chance(20) ? in : "");
        } else if (kind < 20) {
            line(out, in + "' " + word(r) + " is checked here, don't change the order");
        } else if (kind < 23) {
            line(out, in + "Rem " + word(r) + " note");
        } else if (kind < 31) {
            line(out, in + "sql = \"SELECT " + word(r) + " FROM t WHERE a = '\" & " + word(r) +
                          " & \"'\" _");
            line(out, in + "    & \" ORDER BY " + word(r) + "\"   ' the query");
        } else if (kind < 33) {
            // A longer run of continued lines.
            line(out, in + "Call Report(" + word(r) + ", _");
            const int pieces = 2 + r.below(6);
            for (int p = 0; p < pieces; ++p) {
                line(out, in + "    " + word(r) + std::to_string(p) + ", _");
            }
            line(out, in + "    " + word(r) + ")");
        } else if (kind < 43) {
            line(out,
                 in + "If " + word(r) + " > 0 Then " + word(r) + " = " + word(r) + " + 1 ' bump");
        } else if (kind < 48) {
            line(out, in + "For i = 1 To " + std::to_string(1 + r.below(100)));
            line(out, in + indent(r, 1) + word(r) + "(i) = \"it's \" & i");
            line(out, in + "Next i");
        } else {
            line(out, in + word(r) + " = " + word(r) + " * " + std::to_string(r.below(1000)) +
                          (r.chance(30) ? "   ' scaled" : ""));
        }
    }
    line(out, indent(r, 1) + name + " = 0");
    line(out, "End Function");
    line(out, "");
}

// Parses a positive decimal number; false for anything else.
bool parse_positive(const char* text, unsigned long long& value) {
    if (text == nullptr || *text < '0' || *text > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && value > 0;
}

std::string in_capitals(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool write_whole(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    unsigned long long files = 0;
    unsigned long long total = 0;
    unsigned long long seed = 1;
    const bool edges = argc > 1 && std::string(argv[1]) == "--edges";
    if (edges) {
        --argc;
        ++argv;
    }
    if (argc < 4 || argc > 5 || !parse_positive(argv[2], files) ||
        !parse_positive(argv[3], total) || (argc == 5 && !parse_positive(argv[4], seed))) {
        std::fprintf(stderr,
                     "usage: gen_tree [--edges] DIR FILES TOTAL_BYTES [SEED]   (numbers > 0)\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s\n", dir.c_str());
        return 1;
    }
    Rng r{seed};
    const unsigned long long per_file = total / files > 0 ? total / files : 1;
    std::string project = "Type=Exe\r\n";
    std::string case_project = project;
    Output out;
    for (unsigned long long f = 0; f < files; ++f) {
        const int kind = r.below(10);
        const std::string base = (kind < 3   ? "Form"
                                  : kind < 5 ? "Class"
                                             : "Module") +
                                 std::to_string(f);
        const std::string name = base + (kind < 3 ? ".frm" : kind < 5 ? ".cls" : ".bas");
        const std::string path = dir + "/" + name;
        out.file = std::fopen(path.c_str(), "wb");
        out.text.clear();
        out.written = 0;
        out.ok = out.file != nullptr;
        if (!out.ok) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        if (kind < 3) {
            form_header(out, r, base);
            project += "Form=" + name + "\r\n";
            case_project += "Form=" + in_capitals(name) + "\r\n";
        } else if (kind < 5) {
            line(out, "VERSION 1.0 CLASS");
            line(out, "BEGIN");
            line(out, "  MultiUse = -1  'True");
            line(out, "END");
            line(out, "Attribute VB_Name = \"" + base + "\"");
            project += "Class=" + base + "; " + name + "\r\n";
            case_project += "Class=" + base + "; " + in_capitals(name) + "\r\n";
        } else {
            line(out, "Attribute VB_Name = \"" + base + "\"");
            project += "Module=" + base + "; " + name + "\r\n";
            case_project += "Module=" + base + "; " + in_capitals(name) + "\r\n";
        }
        line(out, edges ? edge_option_explicit(r) : "Option Explicit");
        line(out, "");
        declarations(out, r, static_cast<int>(f % 100000));
        // Sizes vary around the mean, between half and one and a half times.
        const std::uint64_t target = files == 1 ? total : per_file / 2 + r.next() % (per_file + 1);
        int number = 0;
        while (size_of(out) < target) {
            procedure(out, r, number++, edges);
        }
        if (edges) {
            edge_ending(out, r);
        }
        flush(out);
        if (std::fclose(out.file) != 0 || !out.ok) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    project += "Name=\"Bench\"\r\n";
    case_project += "Name=\"BenchCase\"\r\n";
    if (!write_whole(dir + "/Bench.vbp", project) ||
        !write_whole(dir + "/BenchCase.vbp", case_project)) {
        std::fprintf(stderr, "cannot write the project files in %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
