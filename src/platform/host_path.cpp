#include "platform/impl/host_path.h"

#include "platform/impl/sjis.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

namespace {

bool is_ascii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char fold_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_nocase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return fold_ascii(x) == fold_ascii(y); });
}

bool exists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` that equals `name` but for case; the lowest in byte order when several
// do, so the choice never depends on the directory's order. Empty when none does.
std::string match_in_folder(const std::string& folder, std::string_view name)
{
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    std::string best;
    while (const dirent* entry = readdir(dir)) {
        std::string_view candidate = entry->d_name;
        if (equal_nocase(candidate, name) && (best.empty() || candidate < best)) best = candidate;
    }
    closedir(dir);
    return best;
}

} // namespace

std::string host_path_from_windows(std::string_view path)
{
    // Converted first: a Shift-JIS trail byte may equal '\', a UTF-8 byte never does.
    std::string text = is_ascii(path) ? std::string(path) : sjis_to_utf8(path);
    std::replace(text.begin(), text.end(), '\\', '/');

    std::string result = text.starts_with('/') ? "/" : "";
    bool matching = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.find('/', start), text.size());
        std::string_view name(text.data() + start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        std::string spelled = result + std::string(name);
        if (matching && name != "." && name != ".." && !exists(spelled)) {
            std::string found = match_in_folder(result, name);
            if (found.empty())
                matching = false;
            else
                spelled = result + found;
        }
        result = spelled + "/";
    }
    if (!text.ends_with('/') && result.size() > 1) result.pop_back();
    return result;
}

std::optional<std::string> host_path_to_windows(std::string_view host_path)
{
    std::string text(host_path);
    std::replace(text.begin(), text.end(), '/', '\\');
    if (is_ascii(text)) return text;
    auto converted = utf8_to_sjis(text);
    if (!converted) host_path_report_refused(host_path);
    return converted;
}

void host_path_report_refused(std::string_view text)
{
    std::fprintf(stderr, "\"%.*s\" cannot be expressed in Shift-JIS and is refused.\n",
                 static_cast<int>(text.size()), text.data());
}
