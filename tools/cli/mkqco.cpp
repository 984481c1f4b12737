// mkqco OUTPUT X0 Y0 Z0 X1 Y1 Z1 [CELLS]
// Writes the collision model of a closed box room (faces turned inward, each cut into
// CELLS x CELLS quads) with an octree over it.
#include "lib/qco_writer.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 8 && argc != 9) {
        std::fprintf(stderr, "usage: mkqco OUTPUT X0 Y0 Z0 X1 Y1 Z1 [CELLS]\n");
        return 2;
    }
    float v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = std::strtof(argv[2 + i], nullptr);
    int cells = argc == 9 ? std::atoi(argv[8]) : 1;
    if (cells < 1 || v[0] >= v[3] || v[1] >= v[4] || v[2] >= v[5]) {
        std::fprintf(stderr, "mkqco: the box needs X0 < X1, Y0 < Y1, Z0 < Z1 and CELLS >= 1\n");
        return 2;
    }
    QcoImage image = qco_image(qco_box_room({v[0], v[1], v[2]}, {v[3], v[4], v[5]}, cells));
    if (!qco_write_file(argv[1], image)) {
        std::fprintf(stderr, "mkqco: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
