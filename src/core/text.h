// Shift-JIS-safe text and path helpers. Every double-byte-aware loop of the program uses the
// lead-byte table below: at a lead byte the character is that byte and the next one, and a
// lead byte followed by the terminator ends the text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Lead bytes are 0x81-0x9F and 0xE0-0xFB; stored texts were written for exactly this range.
constexpr std::array<bool, 256> sys_make_lead_byte_table()
{
    std::array<bool, 256> table{};
    for (int c = 0x81; c <= 0x9F; ++c)
        table[c] = true;
    for (int c = 0xE0; c <= 0xFB; ++c)
        table[c] = true;
    return table;
}

inline constexpr std::array<bool, 256> g_sjis_lead_byte = sys_make_lead_byte_table();

inline bool sys_is_lead_byte(char c)
{
    return g_sjis_lead_byte[static_cast<unsigned char>(c)];
}

// Copies at most size - 1 bytes and a terminator; a double-byte character goes only whole.
// Returns the number of bytes copied (the terminator not counted).
std::size_t sys_copy_string(char* dst, const char* src, std::size_t size);

// The one rule for names (files, folders, sections, tags): A-Z and a-z are the same letter,
// every other single byte is exact, and a double-byte character compares whole, so a trail
// byte that looks like a letter never folds.
bool sys_names_equal(const char* a, const char* b);
// The prefix form of the same rule: 0 when `text` begins with `prefix`, -1 when the text ends
// first, 1 at the first difference.
int sys_prefix_compare_nocase(const char* text, const char* prefix);

// 0-15 for '0'-'9', 'A'-'F', 'a'-'f'; -1 for anything else.
int sys_hex_digit_value(int c);

// Reads at most two comma-separated numbers of the text markup ("12, 0x1F", "-1.5" as 16.16).
// Returns how many were stored, or -1 for a malformed text; unstored results are 0.
int sys_parse_numbers(const char* text, std::int32_t results[2]);

// The last single-byte occurrence of `c` (never a trail byte), or null.
const char* sys_find_last_char(const char* text, char c);

// The file name after the last '\' or '/', or the whole text when it has neither.
const char* path_file_name(const char* path);

// Replaces each single-byte '/' by '\' in place.
void path_to_backslashes(char* path);

// Normalises the slashes and ends a non-empty path with '\' (when `size` leaves room).
void path_make_dir(char* path, std::size_t size);

// Formats the path into `out` and, when a prefix is given and the path holds a backslash,
// inserts the prefix in front of the file name ("_c_" + data\tex\a.dds -> data\tex\_c_a.dds).
void path_insert_name_prefix(char* out, std::size_t size, const char* prefix, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Removes every single-byte blank and tab in place; double-byte characters stay whole.
void sys_strip_blanks(char* text);
