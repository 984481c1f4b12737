// mkvso OUTPUT
// Writes the minimal vs.1.1 vertex-shader object (position from v0 through c24-c27, colour c0).
#include "lib/vso_writer.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkvso OUTPUT\n");
        return 2;
    }
    if (!vso_write_file(argv[1], vso_minimal_program())) {
        std::fprintf(stderr, "mkvso: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
