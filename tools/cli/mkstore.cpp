// mkstore seed FOLDER
//   Gives the local store in FOLDER a few other players' clear times on "Story Mode - Normal",
//   "Time Attack - Normal - Brisanne" and "Boss Rush - Normal"; a board the store already has
//   stays as it is.
// mkstore list FOLDER
//   Prints the store's stats, achievements and boards.
#include "lib/store_writer.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv)
{
    std::string_view mode = argc == 3 ? argv[1] : "";
    if (mode == "list") {
        std::fputs(store_listing(argv[2]).c_str(), stdout);
        return 0;
    }
    if (mode != "seed") {
        std::fprintf(stderr, "usage: mkstore seed FOLDER | mkstore list FOLDER\n");
        return 2;
    }
    std::optional<std::vector<std::string>> written = store_seed(argv[2]);
    if (!written) {
        std::fprintf(stderr, "mkstore: cannot write the boards of %s\n", argv[2]);
        return 1;
    }
    for (const std::string& board : *written)
        std::printf("seeded \"%s\"\n", board.c_str());
    return 0;
}
