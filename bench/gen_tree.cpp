// Writes a deterministic, realistic tree of Visual Basic sources for the
// benchmark: forms with designer headers, classes and modules, indented with
// blanks and tabs, with declarations, comments, continued lines, a few very
// long lines, CR LF line ends, and a project file listing every source.
//
//   gen_tree DIR FILES TOTAL_BYTES [SEED]
//
// The same arguments always give the same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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

std::string word(Rng& r) {
    return kWords[r.below(14)];
}

void line(std::string& out, const std::string& text) {
    out += text;
    out += "\r\n";
}

std::string indent(Rng& r, int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) {
        s += r.chance(20) ? "\t" : "    ";
    }
    return s;
}

void form_header(std::string& out, Rng& r, const std::string& name) {
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

void procedure(std::string& out, Rng& r, int number) {
    const std::string name = "Proc" + std::to_string(number);
    line(out, (r.chance(50) ? "Public Function " : "Private Function ") + name + "(ByVal " +
                  word(r) + " As Long) As Long");
    const int locals = 1 + r.below(4);
    for (int i = 0; i < locals; ++i) {
        line(out, indent(r, 1) + "Dim " + word(r) + std::to_string(i) +
                      std::string(static_cast<std::size_t>(1 + r.below(6)), ' ') + "As " +
                      kTypes[r.below(8)]);
    }
    const int body = 4 + r.below(20);
    for (int i = 0; i < body; ++i) {
        const int kind = r.below(100);
        const std::string in = indent(r, 1 + r.below(3));
        if (kind < 10) {
            line(out, "");
        } else if (kind < 20) {
            line(out, in + "' " + word(r) + " is checked here, don't change the order");
        } else if (kind < 25) {
            line(out, in + "Rem " + word(r) + " note");
        } else if (kind < 35) {
            line(out, in + "sql = \"SELECT " + word(r) + " FROM t WHERE a = '\" & " + word(r) +
                          " & \"'\" _");
            line(out, in + "    & \" ORDER BY " + word(r) + "\"   ' the query");
        } else if (kind < 45) {
            line(out,
                 in + "If " + word(r) + " > 0 Then " + word(r) + " = " + word(r) + " + 1 ' bump");
        } else if (kind < 47) {
            std::string big = in + "msg = \"";
            const int words = 150 + r.below(100);
            for (int w = 0; w < words; ++w) {
                big += word(r);
                big += ' ';
            }
            big += "\"";
            line(out, big);
        } else {
            line(out, in + word(r) + " = " + word(r) + " * " + std::to_string(r.below(1000)) +
                          (r.chance(30) ? "   ' scaled" : ""));
        }
    }
    line(out, indent(r, 1) + name + " = 0");
    line(out, "End Function");
    line(out, "");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: gen_tree DIR FILES TOTAL_BYTES [SEED]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const long files = std::atol(argv[2]);
    const long long total = std::atoll(argv[3]);
    Rng r{argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1};
    if (files <= 0 || total <= 0) {
        std::fprintf(stderr, "FILES and TOTAL_BYTES must be positive\n");
        return 2;
    }
    const long long per_file = total / files;
    std::string project = "Type=Exe\r\n";
    std::string out;
    for (long f = 0; f < files; ++f) {
        out.clear();
        const int kind = r.below(10);
        const std::string base = (kind < 3   ? "Form"
                                  : kind < 5 ? "Class"
                                             : "Module") +
                                 std::to_string(f);
        std::string name;
        if (kind < 3) {
            name = base + ".frm";
            form_header(out, r, base);
            project += "Form=" + name + "\r\n";
        } else if (kind < 5) {
            name = base + ".cls";
            line(out, "VERSION 1.0 CLASS");
            line(out, "BEGIN");
            line(out, "  MultiUse = -1  'True");
            line(out, "END");
            line(out, "Attribute VB_Name = \"" + base + "\"");
            project += "Class=" + base + "; " + name + "\r\n";
        } else {
            name = base + ".bas";
            line(out, "Attribute VB_Name = \"" + base + "\"");
            project += "Module=" + base + "; " + name + "\r\n";
        }
        line(out, "Option Explicit");
        line(out, "");
        line(out, "Private   m" + word(r) + "    As Long   ' module state");
        int number = 0;
        // Sizes vary around the mean: between half and one and a half times.
        const long long target =
            per_file / 2 +
            static_cast<long long>(r.next() % static_cast<std::uint64_t>(per_file + 1));
        while (static_cast<long long>(out.size()) < target) {
            procedure(out, r, number++);
        }
        const std::string path = dir + "/" + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    const std::string vbp = dir + "/Bench.vbp";
    std::FILE* file = std::fopen(vbp.c_str(), "wb");
    if (file == nullptr || std::fwrite(project.data(), 1, project.size(), file) != project.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", vbp.c_str());
        return 1;
    }
    return 0;
}
