// Writer of ini text for fixtures. It shares nothing with the program's reader: every line
// goes out exactly as built, so tests can give the reader any line it may meet (tabs, odd
// spacing, comments, lines without "=", LF or CR LF endings) and can spell out the bytes the
// program is expected to write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class IniWriter {
public:
    // "[name]"
    IniWriter& Section(std::string_view name);
    // "key=value", both as given.
    IniWriter& Entry(std::string_view key, std::string_view value);
    // "key=<decimal>"
    IniWriter& Int(std::string_view key, std::int32_t value);
    // "key=0x<lower-case hex>"
    IniWriter& Hex(std::string_view key, std::uint32_t value);
    // "key="<text>"", with tab, CR, LF, '\' and '"' written as \t \r \n \\ \".
    IniWriter& String(std::string_view key, std::string_view text);
    // ";" followed by the text.
    IniWriter& Comment(std::string_view text);
    // Any line, as given.
    IniWriter& Line(std::string_view raw);
    IniWriter& Blank();

    // The lines, each followed by the line end.
    std::string Text(std::string_view line_end = "\r\n") const;
    // Writes Text() to a host file (creating its folders); false on failure.
    bool Save(const std::filesystem::path& path, std::string_view line_end = "\r\n") const;

private:
    std::vector<std::string> m_lines;
};
