#include "core/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_number_token_char(char c)
{
    return c == '.' || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Skips blanks, tabs and the double-byte blank 0x8140.
const char* skip_blanks(const char* p)
{
    for (;;) {
        if (is_blank(*p))
            ++p;
        else if (static_cast<unsigned char>(p[0]) == 0x81 && static_cast<unsigned char>(p[1]) == 0x40)
            p += 2;
        else
            return p;
    }
}

std::int32_t digits_value(const char* token, int base)
{
    std::uint32_t value = 0;
    for (; *token; ++token) {
        int digit = sys_hex_digit_value(*token);
        if (digit < 0 || digit >= base) break;
        value = value * base + digit;
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t token_value(const char* token)
{
    if (std::strchr(token, '.')) {
        // 16.16 fixed point; values beyond its range saturate instead of wrapping.
        double fixed = std::strtod(token, nullptr) * 65536.0;
        return static_cast<std::int32_t>(std::clamp(fixed, -2147483648.0, 2147483647.0));
    }
    if (token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) return digits_value(token + 2, 16);
    if (token[0] == '0' && (token[1] == 'b' || token[1] == 'B')) return digits_value(token + 2, 2);
    if (token[0] == '0') return 0;
    return digits_value(token, 10);
}

// Bytes of the character at `p`; 0 where the text ends, as it does at a lead byte that has
// only the terminator after it.
std::size_t char_width(const char* p)
{
    if (*p == '\0') return 0;
    if (!sys_is_lead_byte(*p)) return 1;
    return p[1] == '\0' ? 0 : 2;
}

char fold_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Moves both names past the characters they share, the letters of single-byte characters
// folded and double-byte characters compared byte for byte.
void skip_common_name(const char*& a, const char*& b)
{
    for (;;) {
        std::size_t width = char_width(a);
        if (width == 0 || width != char_width(b)) return;
        bool same = width == 1 ? fold_ascii(*a) == fold_ascii(*b) : a[0] == b[0] && a[1] == b[1];
        if (!same) return;
        a += width;
        b += width;
    }
}

} // namespace

std::size_t sys_copy_string(char* dst, const char* src, std::size_t size)
{
    if (size == 0) return 0;
    std::size_t n = 0;
    while (src[n]) {
        std::size_t width = sys_is_lead_byte(src[n]) ? 2 : 1;
        if (width == 2 && src[n + 1] == '\0') break;
        if (n + width > size - 1) break;
        std::memcpy(dst + n, src + n, width);
        n += width;
    }
    dst[n] = '\0';
    return n;
}

bool sys_names_equal(const char* a, const char* b)
{
    skip_common_name(a, b);
    return char_width(a) == 0 && char_width(b) == 0;
}

int sys_prefix_compare_nocase(const char* text, const char* prefix)
{
    skip_common_name(text, prefix);
    if (char_width(prefix) == 0) return 0;
    return char_width(text) == 0 ? -1 : 1;
}

int sys_hex_digit_value(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int sys_parse_numbers(const char* text, std::int32_t results[2])
{
    int stored = 0;
    const char* p = text;
    while (stored < 2) {
        p = skip_blanks(p);
        bool negative = false;
        if (*p == '+' || *p == '-') {
            negative = *p == '-';
            p = skip_blanks(p + 1);
        }
        char token[40];
        std::size_t length = 0;
        for (; is_number_token_char(*p); ++p)
            if (length < sizeof token - 1) token[length++] = *p;
        token[length] = '\0';
        std::int32_t value = token_value(token);
        if (negative) value = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(value));
        p = skip_blanks(p);
        if (*p == '\0') {
            if (length) results[stored++] = value;
            break;
        }
        if (*p != ',') return -1;
        results[stored++] = value;
        ++p;
    }
    for (int i = stored; i < 2; ++i)
        results[i] = 0;
    return stored;
}

const char* sys_find_last_char(const char* text, char c)
{
    const char* found = nullptr;
    for (const char* p = text; *p; ++p) {
        if (sys_is_lead_byte(*p)) {
            if (!p[1]) break;
            ++p;
        } else if (*p == c) {
            found = p;
        }
    }
    return found;
}

const char* path_file_name(const char* path)
{
    const char* backslash = sys_find_last_char(path, '\\');
    const char* slash = sys_find_last_char(path, '/');
    const char* last = backslash > slash ? backslash : slash;
    return last ? last + 1 : path;
}

void path_to_backslashes(char* path)
{
    for (char* p = path; *p; ++p) {
        if (sys_is_lead_byte(*p)) {
            if (!p[1]) break;
            ++p;
        } else if (*p == '/') {
            *p = '\\';
        }
    }
}

void path_make_dir(char* path, std::size_t size)
{
    path_to_backslashes(path);
    std::size_t length = std::strlen(path);
    if (length == 0 || length + 1 >= size) return;
    const char* last = sys_find_last_char(path, '\\');
    if (last == path + length - 1) return;
    path[length] = '\\';
    path[length + 1] = '\0';
}

void path_insert_name_prefix(char* out, std::size_t size, const char* prefix, const char* format, ...)
{
    if (size == 0) return;
    char formatted[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(formatted, sizeof formatted, format, args);
    va_end(args);
    const char* last = sys_find_last_char(formatted, '\\');
    if (!prefix || !last) {
        sys_copy_string(out, formatted, size);
        return;
    }
    char joined[1024 + 256];
    std::snprintf(joined, sizeof joined, "%.*s%s%s", static_cast<int>(last + 1 - formatted), formatted,
                  prefix, last + 1);
    sys_copy_string(out, joined, size);
}

void sys_strip_blanks(char* text)
{
    char* out = text;
    for (const char* p = text; *p; ++p) {
        if (sys_is_lead_byte(*p) && p[1]) {
            *out++ = *p++;
            *out++ = *p;
        } else if (!is_blank(*p)) {
            *out++ = *p;
        }
    }
    *out = '\0';
}
