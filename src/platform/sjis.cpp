#include "platform/impl/sjis.h"

#include <iconv.h>

#include <cerrno>

namespace {

// One conversion with iconv; `stop_on_invalid` decides between refusing and replacing.
std::optional<std::string> convert(const char* to, const char* from, std::string_view text,
                                   bool stop_on_invalid)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out;
    out.resize(text.size() * 4 + 4);
    char* in_ptr = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* out_ptr = out.data();
    size_t out_left = out.size();
    bool ok = true;
    while (in_left > 0) {
        if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1)) continue;
        if (errno != EILSEQ && errno != EINVAL) {
            ok = false;
            break;
        }
        if (stop_on_invalid || out_left < 3) {
            ok = false;
            break;
        }
        // U+FFFD for the byte that does not decode, then go on after it.
        *out_ptr++ = '\xEF';
        *out_ptr++ = '\xBF';
        *out_ptr++ = '\xBD';
        out_left -= 3;
        ++in_ptr;
        --in_left;
    }
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - out_left);
    return out;
}

} // namespace

std::string sjis_to_utf8(std::string_view text)
{
    return convert("UTF-8", "CP932", text, false).value_or(std::string{});
}

std::optional<std::string> utf8_to_sjis(std::string_view text)
{
    return convert("CP932", "UTF-8", text, true);
}
