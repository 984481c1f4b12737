// mkscript [--plain] INPUT OUTPUT
// Assembles script-set text into a compiled script set, packed (".z") unless --plain is given.
#include "lib/archive_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <string_view>

int main(int argc, char** argv)
{
    bool plain = argc == 4 && std::string_view(argv[1]) == "--plain";
    if (argc != 3 && !plain) {
        std::fprintf(stderr, "usage: mkscript [--plain] INPUT OUTPUT\n");
        return 2;
    }
    const char* input = argv[argc - 2];
    const char* output = argv[argc - 1];
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "mkscript: cannot read %s\n", input);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    ScriptAssembly assembly = sasm_assemble(text.str());
    if (!assembly.ok()) {
        std::fprintf(stderr, "mkscript: %s: %s\n", input, assembly.error.c_str());
        return 1;
    }
    try {
        std::vector<std::uint8_t> bytes = assembly.set.bytes();
        if (!(plain ? tools_write_file(output, bytes) : packed_write_file(output, bytes))) {
            std::fprintf(stderr, "mkscript: cannot write %s\n", output);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mkscript: %s\n", error.what());
        return 1;
    }
    return 0;
}
