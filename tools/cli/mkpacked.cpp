// mkpacked INPUT OUTPUT
// Packs one file into the ".z" form (header and zlib stream).
#include "lib/packed_writer.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkpacked INPUT OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.is_open() || in.bad()) {
        std::fprintf(stderr, "mkpacked: cannot read %s\n", argv[1]);
        return 1;
    }
    try {
        if (!packed_write_file(argv[2], data)) {
            std::fprintf(stderr, "mkpacked: cannot write %s\n", argv[2]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mkpacked: %s\n", error.what());
        return 1;
    }
    return 0;
}
