// Ini files: one file held in memory as ordered sections of ordered entries, loaded whole
// from a folder or from the store platform's remote storage, read and changed through typed
// getters and setters, and written back whole (CR LF lines) when something changed.
//
// Text as read: lines end at LF, a CR ending a line belongs to the line end. "[name]" opens a
// section (names compare without regard to ASCII case), ";" starts a comment, "key=value"
// is an entry (keys compare exactly; the value loses the blanks and tabs after "="); blank
// lines and lines without "=" are dropped. Outside quotes, brackets and comments a tab or CR
// becomes a blank and stays, a space right after a blank is dropped, and trailing blanks go.
// What is written reads back as the same entries, so a saved file stays byte for byte the
// same through further loads and saves; but an empty line is written and dropped on reading,
// and an entry with an empty key ("=abc") reads back as the comment ";abc".
#pragma once

#include "platform/steam_api.h"
#include "platform/win_shell.h"
#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

// The store's remote storage, fetched once at start-up; null when the store is not there.
extern ISteamRemoteStorage* g_remote_storage;
// Remote storage is there and cloud storage is on for the account and the application, so the
// program's files are kept there rather than in a folder.
bool ini_remote_available();

// Key and value exactly as written (a string value keeps its quotes and escapes). An empty
// key is a comment, whose value holds the ";", or an empty line.
struct IniEntry {
    std::string key;
    std::string value;
};

struct IniSection {
    std::string name; // as written; the first section of a file has none
    std::deque<IniEntry> entries;
};

class IniFile {
public:
    // An empty file with its one unnamed section.
    explicit IniFile(std::string file_name);

    // Reads "<folder><file name>" (folder null or empty: the working folder) and appends what
    // it holds. ERR_OPEN_FILE when it cannot be opened, ERR_READ_FILE when a read fails.
    HRESULT LoadFile(const char* folder);
    // The file of the same name from remote storage. ERR_OPEN_FILE when remote storage is not
    // available or has no such file, ERR_READ_FILE when it cannot be read whole.
    HRESULT LoadRemote();
    // When dirty, replaces the file whole (missing folders are created) and clears the flag.
    // ERR_OPEN_FILE or ERR_WRITE_FILE, with the flag still set, when that fails; S_OK when
    // there was nothing to write.
    HRESULT SaveFile(const char* folder);
    // When remote storage is available and the file is dirty, writes it there and clears the
    // flag. ERR_OPEN_FILE when it is not available, ERR_WRITE_FILE when the write fails; the
    // flag stays set in both cases.
    HRESULT SaveRemote();

    // The section of that name (any ASCII case) becomes current; null, current unchanged,
    // when there is none.
    IniSection* FindSection(const char* name);
    // FindSection, else a new empty section of that name at the end; it becomes current. A lead
    // byte at the end of the name, with no trail byte, ends it (it is not stored).
    IniSection& SelectSection(const char* name);
    // The first entry of the current section with exactly this key; null when none.
    IniEntry* FindKey(const char* key);
    // FindKey, else (and always for a null key) a new entry with an empty value at the end
    // of the current section. Does not mark the file changed.
    IniEntry& AddKey(const char* key);

    // Decimal, "0x"/"0X" hexadecimal or "0b"/"0B" binary, saturated to 32 bits; a quoted
    // value reads 0. ERR_SYMBOL_NOT_FOUND, `value` unchanged, when the key is missing.
    HRESULT GetInt(const char* key, std::int32_t& value);
    // Radix 10: signed decimal; 16: "0x" and the unsigned value in lower-case hex; any other
    // radix stores "(error)".
    HRESULT SetInt(const char* key, std::int32_t value, int radix);
    // Copies the text between the quotes into the buffer, cut to `size` without splitting a
    // double-byte character. With `unescape`, "\\" "\t" "\r" "\n" and "\"" give their
    // characters and any other escape gives nothing. ERR_SYMBOL_NOT_FOUND, buffer unchanged,
    // when the key is missing.
    HRESULT GetString(const char* key, char* buffer, std::size_t size, bool unescape);
    // Stores the text quoted; `escape` writes tab, CR, LF, '\' and '"' as escapes, other
    // control characters are dropped (all of them without `escape`). A null key appends a
    // comment instead, unquoted (an empty text: an empty line).
    HRESULT SetString(const char* key, const char* value, bool escape);
    // "GammaValue" of the current section as "%0.8f".
    HRESULT SetGammaValue(float value);
    // "DeviceIdentifier" of the current section, "<%08X-%04X-%04X-%04X-%04X%08X>": E_FAIL when
    // it is missing, shorter than 38 characters or holds a non-hex digit.
    HRESULT GetDeviceIdentifier(GUID& out);

    const std::string& FileName() const { return m_file_name; }
    const std::deque<IniSection>& Sections() const { return m_sections; }
    bool IsDirty() const { return m_dirty; }

private:
    void Parse(std::string_view text);
    void ParseLine(std::string_view line);
    std::string Text(bool remote) const;
    IniSection& Current() { return m_sections[m_current]; }

    std::string m_file_name;
    std::deque<IniSection> m_sections;
    std::uint32_t m_current = 0;
    bool m_dirty = false;
};
