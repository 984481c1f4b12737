// mksl2 OUTPUT FRAMES POINTS
// Writes a sword-trail curve: a blade of POINTS vertices swung over FRAMES frames.
#include "lib/sl2_writer.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: mksl2 OUTPUT FRAMES POINTS\n");
        return 2;
    }
    int frames = std::atoi(argv[2]);
    int points = std::atoi(argv[3]);
    if (frames < 1 || points < 2) {
        std::fprintf(stderr, "mksl2: FRAMES must be at least 1 and POINTS at least 2\n");
        return 2;
    }
    if (!sl2_write_file(argv[1],
                        sl2_swing(static_cast<std::uint32_t>(frames), static_cast<std::uint32_t>(points)))) {
        std::fprintf(stderr, "mksl2: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
