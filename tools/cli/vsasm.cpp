// vsasm INPUT OUTPUT
// Assembles vs.1.1 shader text into a vertex-shader object.
#include "lib/vs_assembler.h"
#include "lib/vso_writer.h"

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vsasm INPUT OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vsasm: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    VsAssembly assembly = vsasm_assemble(text.str());
    if (!assembly.ok()) {
        std::fprintf(stderr, "vsasm: %s: %s\n", argv[1], assembly.error.c_str());
        return 1;
    }
    if (!vso_write_file(argv[2], assembly.tokens)) {
        std::fprintf(stderr, "vsasm: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
