// mkini OUTPUT ENTRY...
// Writes an ini file with CR LF lines. Each ENTRY is "[section]" to open a section,
// ";text" for a comment, or "key=value" written as given (quote string values yourself).
#include "lib/ini_writer.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: mkini OUTPUT [\"[section]\" | \";comment\" | key=value]...\n");
        return 2;
    }
    IniWriter ini;
    for (int i = 2; i < argc; ++i) {
        std::string_view entry = argv[i];
        std::size_t equals = entry.find('=');
        if (entry.size() >= 2 && entry.front() == '[' && entry.back() == ']')
            ini.Section(entry.substr(1, entry.size() - 2));
        else if (!entry.empty() && entry.front() == ';')
            ini.Comment(entry.substr(1));
        else if (equals != std::string_view::npos)
            ini.Entry(entry.substr(0, equals), entry.substr(equals + 1));
        else {
            std::fprintf(stderr, "mkini: not an entry: %s\n", argv[i]);
            return 2;
        }
    }
    if (!ini.Save(argv[1])) {
        std::fprintf(stderr, "mkini: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
