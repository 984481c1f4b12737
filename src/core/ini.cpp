#include "core/ini.h"

#include "core/errors.h"
#include "core/file.h"
#include "core/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>

ISteamRemoteStorage* g_remote_storage = nullptr;

namespace {

constexpr std::size_t INI_KEY_MAX = 1023;

// Bytes of the character at `at`: a lead byte travels with the byte after it.
std::size_t ini_char_width(std::string_view text, std::size_t at)
{
    return sys_is_lead_byte(text[at]) && at + 1 < text.size() ? 2 : 1;
}

// Walks a non-comment line character by character through the reader's modes and calls
// on_char(character, outside) for each; `outside` is false inside double quotes, single
// quotes or brackets (the characters that close them included). Inside double quotes a
// backslash carries the next character along, so an escaped quote does not close them.
template <typename OnChar> void ini_scan_line(std::string_view line, OnChar on_char)
{
    char closing = 0;
    for (std::size_t at = 0; at < line.size();) {
        std::size_t width = ini_char_width(line, at);
        if (closing == '"' && width == 1 && line[at] == '\\' && at + 1 < line.size()) {
            width += ini_char_width(line, at + 1);
        }
        std::string_view character = line.substr(at, width);
        at += width;
        if (closing != 0) {
            if (character.size() == 1 && character[0] == closing) closing = 0;
            on_char(character, false);
            continue;
        }
        if (character.size() == 1 && (character[0] == '"' || character[0] == '\'')) closing = character[0];
        if (character == "[") closing = ']';
        on_char(character, true);
    }
}

bool ini_is_comment(std::string_view line)
{
    return !line.empty() && line.front() == ';';
}

// The line as the reader keeps it: modes as in ini_scan_line; outside them a tab or CR is a
// blank and a blank right after a blank is dropped; trailing blanks go. A comment keeps
// everything but CRs.
std::string ini_rewrite_line(std::string_view line)
{
    std::string out;
    if (ini_is_comment(line)) {
        std::remove_copy(line.begin(), line.end(), std::back_inserter(out), '\r');
        return out;
    }
    char previous = 0;
    ini_scan_line(line, [&](std::string_view character, bool outside) {
        char c = character[0];
        bool blank_like = outside && character.size() == 1 && (c == ' ' || c == '\t' || c == '\r');
        if (!blank_like) {
            out.append(character);
        } else if (c != ' ' || previous != ' ') {
            out.push_back(' ');
        }
        previous = blank_like ? ' ' : character.back();
    });
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// The form of a line to write so that ini_rewrite_line gives it back unchanged: a blank
// that follows a blank outside the modes (made from a tab when read) is written as a tab.
std::string ini_writable_line(std::string_view line)
{
    if (ini_is_comment(line)) return std::string(line);
    std::string out;
    char previous = 0;
    ini_scan_line(line, [&](std::string_view character, bool outside) {
        bool doubled = outside && character == " " && previous == ' ';
        if (doubled) {
            out.push_back('\t');
        } else {
            out.append(character);
        }
        previous = character.back();
    });
    return out;
}

// The first single-byte `c`, never a trail byte; npos when there is none.
std::size_t ini_find_char(std::string_view text, char c)
{
    for (std::size_t at = 0; at < text.size(); at += ini_char_width(text, at)) {
        if (text[at] == c) return at;
    }
    return std::string_view::npos;
}

// At most `limit` bytes of the text, never half a double-byte character.
std::string_view ini_cut(std::string_view text, std::size_t limit)
{
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t width = ini_char_width(text, end);
        if (end + width > limit) break;
        end += width;
    }
    return text.substr(0, end);
}

// A section name as it can be written back: a lead byte with nothing after it would pair with
// the "]" written after the name and change it on the next read, so it ends the name instead.
std::string ini_section_name(const char* name)
{
    std::string out(std::strlen(name) + 1, '\0');
    out.resize(sys_copy_string(out.data(), name, out.size()));
    return out;
}

// SetString's conversion: double-byte characters whole; with `escape` tab, CR, LF, '\' and
// '"' as escapes; every other control character dropped (all of them without `escape`).
std::string ini_convert_text(const char* value, bool escape)
{
    std::string out;
    for (const char* p = value; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (sys_is_lead_byte(*p)) {
            if (p[1] == '\0') break;
            out.append(p, 2);
            ++p;
            continue;
        }
        if (escape) {
            const char* escaped = c == '\t'   ? "\\t"
                                  : c == '\r' ? "\\r"
                                  : c == '\n' ? "\\n"
                                  : c == '\\' ? "\\\\"
                                  : c == '"'  ? "\\\""
                                              : nullptr;
            if (escaped) {
                out.append(escaped);
                continue;
            }
        }
        if (c >= 0x20) out.push_back(static_cast<char>(c));
    }
    return out;
}

// The character an escape stands for, or 0 when it stands for nothing.
char ini_unescape(char c)
{
    switch (c) {
    case '\\':
        return '\\';
    case 't':
        return '\t';
    case 'r':
        return '\r';
    case 'n':
        return '\n';
    case '"':
        return '"';
    default:
        return 0;
    }
}

// The text of a string value: after its opening quote up to the closing one (up to the first
// quote when escapes are not read, so a value ending in a backslash keeps it).
std::string_view ini_string_body(std::string_view value, bool unescape)
{
    if (!value.empty() && value.front() == '"') value.remove_prefix(1);
    for (std::size_t at = 0; at < value.size(); at += ini_char_width(value, at)) {
        if (value[at] == '"') return value.substr(0, at);
        if (unescape && value[at] == '\\' && at + 1 < value.size()) at += 1;
    }
    return value;
}

bool ini_parse_hex(std::string_view digits, std::uint32_t& out)
{
    std::uint32_t value = 0;
    for (char c : digits) {
        int digit = sys_hex_digit_value(static_cast<unsigned char>(c));
        if (digit < 0) return false;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    out = value;
    return true;
}

std::string ini_path(const char* folder, const std::string& name)
{
    if (!folder || folder[0] == '\0') return name;
    std::string dir(folder);
    dir.resize(dir.size() + 2);
    path_make_dir(dir.data(), dir.size());
    dir.resize(std::strlen(dir.c_str()));
    return dir + name;
}

} // namespace

bool ini_remote_available()
{
    return g_remote_storage && g_remote_storage->IsCloudEnabledForAccount() &&
           g_remote_storage->IsCloudEnabledForApp();
}

IniFile::IniFile(std::string file_name) : m_file_name(std::move(file_name)), m_sections(1) {}

HRESULT IniFile::LoadFile(const char* folder)
{
    File file;
    if (FAILED(file.OpenRead(ini_path(folder, m_file_name).c_str(), FILE_FLAG_SEQUENTIAL_SCAN))) {
        return ERR_OPEN_FILE;
    }
    std::string text;
    if (FAILED(file_read_to_end(file, text))) return ERR_READ_FILE;
    file.Close();
    Parse(text);
    return S_OK;
}

HRESULT IniFile::LoadRemote()
{
    if (!ini_remote_available() || !g_remote_storage->FileExists(m_file_name.c_str())) return ERR_OPEN_FILE;
    std::int32_t size = g_remote_storage->GetFileSize(m_file_name.c_str());
    if (size < 0) return ERR_READ_FILE;
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && g_remote_storage->FileRead(m_file_name.c_str(), text.data(), size) != size) {
        return ERR_READ_FILE;
    }
    Parse(text);
    return S_OK;
}

HRESULT IniFile::SaveFile(const char* folder)
{
    if (!m_dirty) return S_OK;
    std::string text = Text(false);
    File file;
    if (FAILED(file.OpenWrite(ini_path(folder, m_file_name).c_str(), FILE_FLAG_SEQUENTIAL_SCAN))) {
        return ERR_OPEN_FILE;
    }
    HRESULT result = file.Write(text.data(), static_cast<DWORD>(text.size()), nullptr);
    HRESULT closed = file.Close();
    if (FAILED(result)) return result;
    if (FAILED(closed)) return closed;
    m_dirty = false;
    return S_OK;
}

HRESULT IniFile::SaveRemote()
{
    if (!ini_remote_available()) return ERR_OPEN_FILE;
    if (!m_dirty) return S_OK;
    std::string text = Text(true);
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) ||
        !g_remote_storage->FileWrite(m_file_name.c_str(), text.data(),
                                     static_cast<std::int32_t>(text.size()))) {
        return ERR_WRITE_FILE;
    }
    m_dirty = false;
    return S_OK;
}

IniSection* IniFile::FindSection(const char* name)
{
    for (std::uint32_t index = 0; index < m_sections.size(); ++index) {
        if (sys_names_equal(m_sections[index].name.c_str(), name)) {
            m_current = index;
            return &m_sections[index];
        }
    }
    return nullptr;
}

IniSection& IniFile::SelectSection(const char* name)
{
    if (IniSection* found = FindSection(name)) return *found;
    m_sections.push_back(IniSection{ini_section_name(name), {}});
    m_current = static_cast<std::uint32_t>(m_sections.size() - 1);
    return m_sections.back();
}

IniEntry* IniFile::FindKey(const char* key)
{
    for (IniEntry& entry : Current().entries) {
        if (entry.key == key) return &entry;
    }
    return nullptr;
}

IniEntry& IniFile::AddKey(const char* key)
{
    if (key) {
        if (IniEntry* found = FindKey(key)) return *found;
    }
    return Current().entries.emplace_back(IniEntry{key ? key : "", {}});
}

HRESULT IniFile::GetInt(const char* key, std::int32_t& value)
{
    const IniEntry* entry = FindKey(key);
    if (!entry) return ERR_SYMBOL_NOT_FOUND;
    const char* text = entry->value.c_str();
    int radix = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) radix = 16;
    if (text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) radix = 2;
    if (radix != 10) text += 2;
    long long read = std::strtoll(text, nullptr, radix);
    value = static_cast<std::int32_t>(std::clamp<long long>(read, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
    return S_OK;
}

HRESULT IniFile::SetInt(const char* key, std::int32_t value, int radix)
{
    char text[16];
    if (radix == 10) {
        std::snprintf(text, sizeof text, "%d", value);
    } else if (radix == 16) {
        std::snprintf(text, sizeof text, "0x%x", static_cast<std::uint32_t>(value));
    } else {
        std::snprintf(text, sizeof text, "(error)");
    }
    AddKey(key).value = text;
    m_dirty = true;
    return S_OK;
}

HRESULT IniFile::GetString(const char* key, char* buffer, std::size_t size, bool unescape)
{
    const IniEntry* entry = FindKey(key);
    if (!entry) return ERR_SYMBOL_NOT_FOUND;
    if (size == 0) return S_OK;
    std::string_view body = ini_string_body(entry->value, unescape);
    std::size_t used = 0;
    for (std::size_t at = 0; at < body.size() && size - used > 1;) {
        std::size_t width = ini_char_width(body, at);
        if (width == 2) {
            if (size - used < 3) break;
            buffer[used++] = body[at];
            buffer[used++] = body[at + 1];
        } else if (body[at] == '\\' && unescape) {
            if (at + 1 < body.size()) width += ini_char_width(body, at + 1);
            char c = width == 2 ? ini_unescape(body[at + 1]) : 0;
            if (c != 0) buffer[used++] = c;
        } else {
            buffer[used++] = body[at];
        }
        at += width;
    }
    buffer[used] = '\0';
    return S_OK;
}

HRESULT IniFile::SetString(const char* key, const char* value, bool escape)
{
    std::string text = ini_convert_text(value ? value : "", escape);
    AddKey(key).value = key ? "\"" + text + "\"" : text;
    m_dirty = true;
    return S_OK;
}

HRESULT IniFile::SetGammaValue(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%0.8f", static_cast<double>(value));
    AddKey("GammaValue").value = text;
    m_dirty = true;
    return S_OK;
}

HRESULT IniFile::GetDeviceIdentifier(GUID& out)
{
    char text[40];
    if (FAILED(GetString("DeviceIdentifier", text, sizeof text, false)) || std::strlen(text) < 38)
        return E_FAIL;
    std::string_view digits(text, 38);
    std::uint32_t data1 = 0;
    std::uint32_t data2 = 0;
    std::uint32_t data3 = 0;
    std::uint32_t bytes[8] = {};
    bool ok = ini_parse_hex(digits.substr(1, 8), data1) && ini_parse_hex(digits.substr(10, 4), data2) &&
              ini_parse_hex(digits.substr(15, 4), data3);
    for (int i = 0; i < 8 && ok; ++i) {
        std::size_t at = i < 2 ? 20 + 2 * i : 25 + 2 * (i - 2);
        ok = ini_parse_hex(digits.substr(at, 2), bytes[i]);
    }
    if (!ok) return E_FAIL;
    out.Data1 = data1;
    out.Data2 = static_cast<std::uint16_t>(data2);
    out.Data3 = static_cast<std::uint16_t>(data3);
    for (int i = 0; i < 8; ++i)
        out.Data4[i] = static_cast<std::uint8_t>(bytes[i]);
    return S_OK;
}

void IniFile::Parse(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    while (true) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        // A CR ending the line is part of its CR LF, not of the value.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ParseLine(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    m_current = 0;
}

void IniFile::ParseLine(std::string_view raw)
{
    std::string line = ini_rewrite_line(raw);
    if (line.empty()) return;
    if (line.front() == '[') {
        std::string_view name = std::string_view(line).substr(1);
        SelectSection(std::string(name.substr(0, ini_find_char(name, ']'))).c_str());
        return;
    }
    if (ini_is_comment(line)) {
        Current().entries.push_back(IniEntry{"", line});
        return;
    }
    std::size_t equals = ini_find_char(line, '=');
    if (equals == std::string::npos) return;
    std::string_view key = ini_cut(std::string_view(line).substr(0, equals), INI_KEY_MAX);
    std::size_t value_at = line.find_first_not_of(" \t", equals + 1);
    std::string value = value_at == std::string::npos ? std::string() : line.substr(value_at);
    Current().entries.push_back(IniEntry{std::string(key), std::move(value)});
}

// The file's text. Locally a blank line separates a header from what precedes it; remote
// text puts one before every header.
std::string IniFile::Text(bool remote) const
{
    std::string text;
    for (const IniSection& section : m_sections) {
        if (!section.name.empty()) {
            if (remote || !text.empty()) text += "\r\n";
            text += "[" + section.name + "]\r\n";
        }
        for (const IniEntry& entry : section.entries) {
            if (!entry.key.empty()) {
                text += ini_writable_line(entry.key + "=" + entry.value);
            } else {
                // Without a key: a comment, or an empty line when there is no text.
                if (!entry.value.empty() && !ini_is_comment(entry.value)) text += ";";
                text += entry.value;
            }
            text += "\r\n";
        }
    }
    return text;
}
