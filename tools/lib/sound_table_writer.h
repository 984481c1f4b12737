// Writer of the two sound tables: the music table "release\music\bgmdef.txt" (a loose file)
// and the sound-effect table "data\wave\effect\effectdef.txt" (an archive entry, not packed).
// Both are text, one row a line, columns separated by blanks, every line ended by CR LF. The
// game cuts columns at blanks, tabs, CR, ':', '/', '.', ',' and '-', so numbers are written
// whole (a distance has no decimal point) and a name holding one of those characters is
// written as given: that is how a fixture shows the columns shifting.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* SOUND_TABLE_BGM_PATH = "release\\music\\bgmdef.txt";
inline constexpr const char* SOUND_TABLE_EFFECT_PATH = "data\\wave\\effect\\effectdef.txt";

// "<id> <name>": a music id and the Ogg file's name without ".ogg".
struct BgmRow {
    std::uint32_t id = 0;
    std::string name{};
    std::string comment{}; // not empty: "; <comment>" after the columns
};

// The 13 columns of an effect, in file order; flags are written as 0 or 1.
struct EffectRow {
    std::uint32_t id = 0;
    std::string name{}; // the WAV file's name without ".wav"
    bool is_3d = false;
    bool loop = false;
    bool single = false; // one voice, never taken over
    std::uint32_t voices = 1;
    bool preload = false;
    bool keep = false; // survives a scene change's fade
    std::uint32_t min_play_ms = 0;
    std::uint32_t min_distance = 0;
    std::uint32_t max_distance = 0;
    bool software = false;
    bool try_hardware = false;
    std::string comment{}; // not empty: "; <comment>" after the columns
};

class SoundTableWriter {
public:
    SoundTableWriter& Music(const BgmRow& row);
    SoundTableWriter& Effect(const EffectRow& row);
    // "; <text>" on a line of its own.
    SoundTableWriter& Comment(std::string_view text);
    // Any line, as given.
    SoundTableWriter& Line(std::string_view raw);

    // The lines, each followed by CR LF.
    std::string Text() const;
    std::vector<std::uint8_t> Bytes() const;
    // Writes Text() to a host file, creating its folders; false on failure.
    bool Save(const std::filesystem::path& path) const;

private:
    std::vector<std::string> m_lines;
};
