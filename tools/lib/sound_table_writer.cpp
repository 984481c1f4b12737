#include "lib/sound_table_writer.h"

#include "lib/archive_writer.h"

#include <initializer_list>

namespace {

std::string columns_line(std::initializer_list<std::string> columns, const std::string& comment)
{
    std::string line;
    for (const std::string& column : columns) {
        if (!line.empty()) line += ' ';
        line += column;
    }
    if (!comment.empty()) line += " ; " + comment;
    return line;
}

std::string flag(bool on)
{
    return on ? "1" : "0";
}

} // namespace

SoundTableWriter& SoundTableWriter::Music(const BgmRow& row)
{
    m_lines.push_back(columns_line({std::to_string(row.id), row.name}, row.comment));
    return *this;
}

SoundTableWriter& SoundTableWriter::Effect(const EffectRow& row)
{
    m_lines.push_back(
        columns_line({std::to_string(row.id), row.name, flag(row.is_3d), flag(row.loop), flag(row.single),
                      std::to_string(row.voices), flag(row.preload), flag(row.keep),
                      std::to_string(row.min_play_ms), std::to_string(row.min_distance),
                      std::to_string(row.max_distance), flag(row.software), flag(row.try_hardware)},
                     row.comment));
    return *this;
}

SoundTableWriter& SoundTableWriter::Comment(std::string_view text)
{
    m_lines.push_back("; " + std::string(text));
    return *this;
}

SoundTableWriter& SoundTableWriter::Line(std::string_view raw)
{
    m_lines.emplace_back(raw);
    return *this;
}

std::string SoundTableWriter::Text() const
{
    std::string text;
    for (const std::string& line : m_lines)
        text += line + "\r\n";
    return text;
}

std::vector<std::uint8_t> SoundTableWriter::Bytes() const
{
    std::string text = Text();
    return {text.begin(), text.end()};
}

bool SoundTableWriter::Save(const std::filesystem::path& path) const
{
    return tools_write_file(path, Bytes());
}
