// The text filter: the message texts are rewritten through a user's dictionary of
// replacements. Each dictionary line holds a key and its value, separated by any of the
// delimiter characters; a key matches only where a double-byte character starts, the longest
// key first, so text in single-byte characters is never replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Only this many bytes of a dictionary line count.
constexpr std::size_t TF_LINE_LIMIT = 98;

struct TfEntry {
    const char* key;
    const char* value;
    std::uint32_t key_length;
    std::uint32_t value_length;
};

// Built once by tf_load. The entries run by descending key length; their texts live in one
// block. The filter is on only with at least one entry.
struct TextFilter {
    std::vector<TfEntry> entries;
    std::unique_ptr<char[]> texts;
    bool on = false;
};

extern TextFilter g_tf;

// Loads the dictionary file (a path relative to the working directory) and replaces the
// table. An empty name does nothing; a file that cannot be opened or read throws a
// RuntimeError naming it. Runs of delimiters count as one; a line whose key is missing or
// begins with '#' is a comment; a key without value deletes its text.
void tf_load(const char* dictionary, const char* delimiters);
// Frees the table; the filter is off.
void tf_clear();

// Rewrites the text in its buffer of `size` bytes, dropping what does not fit, and keeps it
// terminated. False, the text untouched, while the filter is off.
bool tf_filter_text(char* text, std::size_t size);

// The building steps of the table: an entry for a key/value pair (texts borrowed until the
// table is built), and the order of the entries, longer keys first.
TfEntry tf_make_entry(const char* key, const char* value);
bool tf_compare_entries(const TfEntry& a, const TfEntry& b);
