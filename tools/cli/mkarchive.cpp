// mkarchive OUT_FOLDER PAIR SOURCE_FOLDER
// Stores every file under SOURCE_FOLDER, named by its path relative to it, as the archive pair
// OUT_FOLDER/PAIR.ni and PAIR.na ("data" for the main pair, "data_us" for the overlay).
#include "lib/archive_writer.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::vector<ArchiveSource> collect(const fs::path& root)
{
    std::vector<ArchiveSource> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        ArchiveSource source{fs::relative(entry.path(), root).generic_string(),
                             {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
        if (in.bad()) throw std::runtime_error("cannot read " + entry.path().string());
        files.push_back(std::move(source));
    }
    // The folder's listing order is the file system's; sorting makes the pair reproducible.
    std::sort(files.begin(), files.end(),
              [](const ArchiveSource& a, const ArchiveSource& b) { return a.path < b.path; });
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: mkarchive OUT_FOLDER PAIR SOURCE_FOLDER\n");
        return 2;
    }
    try {
        if (!archive_write_pair(argv[1], argv[2], archive_build(collect(argv[3])))) {
            std::fprintf(stderr, "mkarchive: cannot write %s/%s.ni or .na\n", argv[1], argv[2]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mkarchive: %s\n", error.what());
        return 1;
    }
    return 0;
}
