#include "lib/ini_writer.h"

#include "lib/archive_writer.h"

#include <cstdio>

IniWriter& IniWriter::Section(std::string_view name)
{
    return Line("[" + std::string(name) + "]");
}

IniWriter& IniWriter::Entry(std::string_view key, std::string_view value)
{
    return Line(std::string(key) + "=" + std::string(value));
}

IniWriter& IniWriter::Int(std::string_view key, std::int32_t value)
{
    return Entry(key, std::to_string(value));
}

IniWriter& IniWriter::Hex(std::string_view key, std::uint32_t value)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%x", value);
    return Entry(key, digits);
}

IniWriter& IniWriter::String(std::string_view key, std::string_view text)
{
    std::string quoted = "\"";
    for (char c : text) {
        switch (c) {
        case '\t':
            quoted += "\\t";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '"':
            quoted += "\\\"";
            break;
        default:
            quoted += c;
        }
    }
    return Entry(key, quoted + "\"");
}

IniWriter& IniWriter::Comment(std::string_view text)
{
    return Line(";" + std::string(text));
}

IniWriter& IniWriter::Line(std::string_view raw)
{
    m_lines.emplace_back(raw);
    return *this;
}

IniWriter& IniWriter::Blank()
{
    return Line("");
}

std::string IniWriter::Text(std::string_view line_end) const
{
    std::string text;
    for (const std::string& line : m_lines)
        text.append(line).append(line_end);
    return text;
}

bool IniWriter::Save(const std::filesystem::path& path, std::string_view line_end) const
{
    std::string text = Text(line_end);
    return tools_write_file(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}
