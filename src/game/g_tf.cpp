#include "game/g_tf.h"

#include "core/errors.h"
#include "core/file.h"
#include "core/text.h"

#include <algorithm>
#include <cstring>
#include <string>

TextFilter g_tf;

namespace {

// The whole file and a terminator after it.
std::vector<char> tf_read_dictionary(const char* name)
{
    File file;
    HRESULT result = file.OpenRead(name, FILE_FLAG_SEQUENTIAL_SCAN);
    if (FAILED(result)) err_raise_code(result, name, ERR_HERE);
    std::vector<char> bytes;
    result = file_read_to_end(file, bytes);
    if (FAILED(result)) err_raise_code(result, name, ERR_HERE);
    bytes.push_back('\0');
    return bytes;
}

// Cuts the line in place to the bytes that count, never inside a double-byte character, and
// ends every token with a terminator. A delimiter is a single-byte character, so a trail byte
// of the same value stays part of its character. Returns the length kept.
std::size_t tf_cut_line(char* line, std::size_t length, const char* delimiters)
{
    std::size_t limit = std::min(length, TF_LINE_LIMIT);
    std::size_t n = 0;
    while (n < limit) {
        std::size_t width = sys_is_lead_byte(line[n]) ? 2 : 1;
        if (n + width > limit) break;
        if (width == 1 && std::strchr(delimiters, line[n])) line[n] = '\0';
        n += width;
    }
    line[n] = '\0';
    return n;
}

// The next non-empty token before `end`, or null.
const char* tf_next_token(const char*& cursor, const char* end)
{
    while (cursor < end && *cursor == '\0')
        ++cursor;
    if (cursor == end) return nullptr;
    const char* token = cursor;
    cursor += std::strlen(token);
    return token;
}

void tf_add_line(char* line, std::size_t length, const char* delimiters, std::vector<TfEntry>& entries)
{
    const char* cursor = line;
    const char* end = line + tf_cut_line(line, length, delimiters);
    const char* key = tf_next_token(cursor, end);
    if (!key || key[0] == '#') return;
    const char* value = tf_next_token(cursor, end);
    entries.push_back(tf_make_entry(key, value ? value : ""));
}

// Lines end at CR, LF or both; neither byte can be the trail of a double-byte character.
std::vector<TfEntry> tf_parse(std::vector<char>& bytes, const char* delimiters)
{
    std::vector<TfEntry> entries;
    std::size_t length = bytes.size() - 1;
    for (std::size_t start = 0; start < length;) {
        std::size_t end = start;
        while (end < length && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        if (end > start) tf_add_line(&bytes[start], end - start, delimiters, entries);
        start = end + 1;
    }
    return entries;
}

char* tf_store_text(char* cursor, const char*& text, std::uint32_t length)
{
    std::memcpy(cursor, text, length + 1);
    text = cursor;
    return cursor + length + 1;
}

void tf_build_table(std::vector<TfEntry> entries)
{
    std::stable_sort(entries.begin(), entries.end(), tf_compare_entries);
    std::size_t total = 0;
    for (const TfEntry& entry : entries)
        total += entry.key_length + entry.value_length + 2;
    auto texts = std::make_unique<char[]>(total);
    char* cursor = texts.get();
    for (TfEntry& entry : entries) {
        cursor = tf_store_text(cursor, entry.key, entry.key_length);
        cursor = tf_store_text(cursor, entry.value, entry.value_length);
    }
    g_tf.on = !entries.empty();
    g_tf.entries = std::move(entries);
    g_tf.texts = std::move(texts);
}

// The longest key that fits the rest of the text and starts it.
const TfEntry* tf_find_entry(const char* text, std::size_t rest)
{
    for (const TfEntry& entry : g_tf.entries) {
        if (entry.key_length <= rest && std::memcmp(entry.key, text, entry.key_length) == 0) return &entry;
    }
    return nullptr;
}

// Writes a piece only while room for it and the terminator is left; what does not fit is
// dropped, and a later, shorter piece may still fit.
struct TfOutput {
    char* text;
    std::size_t size;
    std::size_t written = 0;

    void Put(const char* bytes, std::size_t count)
    {
        if (size - written <= count) return;
        std::memcpy(text + written, bytes, count);
        written += count;
    }
};

} // namespace

TfEntry tf_make_entry(const char* key, const char* value)
{
    return {key, value, static_cast<std::uint32_t>(std::strlen(key)),
            static_cast<std::uint32_t>(std::strlen(value))};
}

bool tf_compare_entries(const TfEntry& a, const TfEntry& b)
{
    return a.key_length > b.key_length;
}

void tf_load(const char* dictionary, const char* delimiters)
{
    if (!dictionary[0]) return;
    std::vector<char> bytes = tf_read_dictionary(dictionary);
    tf_build_table(tf_parse(bytes, delimiters));
}

void tf_clear()
{
    g_tf = TextFilter{};
}

bool tf_filter_text(char* text, std::size_t size)
{
    if (!g_tf.on) return false;
    // The buffer may hold an unterminated text; nothing beyond it is read. Clearing it
    // keeps whatever is written terminated.
    const std::string copy(text, strnlen(text, size));
    std::memset(text, 0, size);
    TfOutput out{text, size};
    for (std::size_t at = 0; at < copy.size();) {
        const char* here = copy.data() + at;
        std::size_t rest = copy.size() - at;
        if (!sys_is_lead_byte(*here)) {
            out.Put(here, 1);
            ++at;
        } else if (rest < 2) {
            break; // a lead byte without its trail byte ends the text
        } else if (const TfEntry* entry = tf_find_entry(here, rest)) {
            out.Put(entry->value, entry->value_length);
            at += entry->key_length;
        } else {
            out.Put(here, 2);
            at += 2;
        }
    }
    return true;
}
