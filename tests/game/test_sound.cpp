#include "game/g_sound.h"

#include "core/errors.h"
#include "game/g_settings.h"
#include "game/sound_fixture.h"
#include "lib/sound_table_writer.h"
#include "lib/wav_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using ::testing::StartsWith;

const WavFormat k_mono{1, 22050, 16};

std::vector<std::uint8_t> tone()
{
    return wav_build_pcm(k_mono, wav_tone(k_mono, 2205, 440.0));
}

ArchiveSource wav_file(const std::string& name, std::vector<std::uint8_t> bytes)
{
    return {"data\\wave\\effect\\" + name + ".wav", std::move(bytes)};
}

// The same text with every CR LF turned into a bare LF.
std::vector<std::uint8_t> bare_line_feeds(const SoundTableWriter& table)
{
    std::vector<std::uint8_t> bytes = table.Bytes();
    std::erase(bytes, '\r');
    return bytes;
}

// Effect 12: 3-D, one-shot, 4 voices, taken over after 50 ms, heard from 100 to 2000.
EffectRow sword_hit_row(const std::string& name)
{
    return {.id = 12,
            .name = name,
            .is_3d = true,
            .voices = 4,
            .min_play_ms = 50,
            .min_distance = 100,
            .max_distance = 2000};
}

SoundGroupDef record(std::uint32_t id, const char* name, std::uint32_t buffer_flags, std::uint32_t flags,
                     std::uint32_t voices, std::uint32_t min_play_ms = 0, float min_distance = 0,
                     float max_distance = 0)
{
    SoundGroupDef def{buffer_flags, voices, flags, id, min_play_ms, {}, min_distance, max_distance};
    std::strcpy(def.wav_path, name);
    return def;
}

void expect_record(const SoundGroupDef& actual, const SoundGroupDef& expected)
{
    EXPECT_EQ(actual.buffer_flags, expected.buffer_flags);
    EXPECT_EQ(actual.voice_count, expected.voice_count);
    EXPECT_EQ(actual.flags, expected.flags);
    EXPECT_EQ(actual.index, expected.index);
    EXPECT_EQ(actual.min_play_ms, expected.min_play_ms);
    EXPECT_STREQ(actual.wav_path, expected.wav_path);
    EXPECT_EQ(actual.min_distance, expected.min_distance);
    EXPECT_EQ(actual.max_distance, expected.max_distance);
}

bool is_zero(const SoundGroupDef& def)
{
    static const SoundGroupDef zero{};
    return std::memcmp(&def, &zero, sizeof def) == 0;
}

class SoundTest : public SoundTableTest {
protected:
    void LoadMusic(const std::vector<std::uint8_t>& table)
    {
        ASSERT_TRUE(tools_write_file(m_folder.path() / "release" / "music" / "bgmdef.txt", table));
        sound_load_bgm_table();
    }

    // Audio with groups 0-7 only.
    void StartWithEightGroups()
    {
        fake_ogg::register_vorbisfile();
        AudioParams params = Params();
        params.sound_groups = 8;
        Start(params);
    }

    static bool Loaded(std::int32_t id)
    {
        return (g_sound_table[id].flags & SOUND_GROUP_LOADED) && audio_group(id)->voices;
    }
};

struct EffectTableCase {
    const char* what;
    std::vector<std::uint8_t> text;
    std::int32_t count;
    std::vector<SoundGroupDef> records; // every other record stays zero
};

std::vector<EffectTableCase> effect_table_cases()
{
    constexpr std::uint32_t PLAIN = SOUND_BUFFER_PLAIN;
    constexpr std::uint32_t THREE_D = SOUND_BUFFER_3D;
    const std::string name58(58, 'w');
    const std::string name59(59, 'v');
    std::vector<EffectTableCase> cases;
    cases.push_back({"the sword_hit line",
                     SoundTableWriter().Effect(sword_hit_row("sword_hit")).Bytes(),
                     13,
                     {record(12, "sword_hit", THREE_D, 0, 4, 50, 100, 2000)}});
    cases.push_back({"a '-' in a name shifts every later column by one",
                     SoundTableWriter().Effect(sword_hit_row("sword-hit")).Bytes(),
                     13,
                     {record(12, "sword", PLAIN,
                             SOUND_GROUP_LOOP | SOUND_GROUP_PRELOAD | SOUND_GROUP_SOFTWARE, 0, 0, 50, 100)}});
    cases.push_back({"':', '/', '.', ',' and tabs cut columns too",
                     SoundTableWriter().Line("6:tick/0,1.2\t3").Bytes(),
                     7,
                     {record(6, "tick", PLAIN, SOUND_GROUP_LOOP | SOUND_GROUP_SINGLE, 3)}});
    cases.push_back({"comments run from a token beginning with ';' to the line's end",
                     SoundTableWriter()
                         .Comment("20 commented 1 1 1 4")
                         .Line("4 half ;1 1 1 9")
                         .Line("5 a;b 1")
                         .Effect({.id = 3, .name = "short", .loop = true, .comment = "1 1 1"})
                         .Bytes(),
                     6,
                     {record(4, "half", 0, 0, 0), record(5, "a;b", THREE_D, 0, 0),
                      record(3, "short", PLAIN, SOUND_GROUP_LOOP, 1)}});
    cases.push_back({"a bare line feed merges the next line into the last column and loses the rest",
                     bare_line_feeds(SoundTableWriter()
                                         .Effect({.id = 1, .name = "first", .try_hardware = true})
                                         .Effect({.id = 2, .name = "second", .preload = true})
                                         .Effect({.id = 3, .name = "third"})),
                     2,
                     {record(1, "first", PLAIN, SOUND_GROUP_TRY_HARDWARE, 1)}});
    cases.push_back(
        {"the highest id sets the count",
         SoundTableWriter().Effect({.id = 300, .name = "far"}).Effect({.id = 2, .name = "near"}).Bytes(),
         301,
         {record(300, "far", PLAIN, 0, 1), record(2, "near", PLAIN, 0, 1)}});
    cases.push_back({"lines beyond the limits are skipped whole",
                     SoundTableWriter()
                         .Effect({.id = 512, .name = "over", .loop = true})
                         .Line("4294967296 wrapped 1")
                         .Effect({.id = 7, .name = name59, .loop = true})
                         .Effect({.id = 8, .name = name58})
                         .Effect({.id = 511, .name = "last"})
                         .Bytes(),
                     512,
                     {record(8, name58.c_str(), PLAIN, 0, 1), record(511, "last", PLAIN, 0, 1)}});
    cases.push_back({"a later line with the same id writes over its columns only",
                     SoundTableWriter()
                         .Effect({.id = 4,
                                  .name = "first",
                                  .is_3d = true,
                                  .loop = true,
                                  .single = true,
                                  .voices = 2,
                                  .preload = true,
                                  .keep = true,
                                  .min_play_ms = 10,
                                  .min_distance = 5,
                                  .max_distance = 6,
                                  .software = true,
                                  .try_hardware = true})
                         .Line("4 second 0 0")
                         .Bytes(),
                     5,
                     {record(4, "second", PLAIN,
                             SOUND_GROUP_SINGLE | SOUND_GROUP_PRELOAD | SOUND_GROUP_KEEP |
                                 SOUND_GROUP_SOFTWARE | SOUND_GROUP_TRY_HARDWARE,
                             2, 10, 5, 6)}});
    return cases;
}

TEST(SoundTableWriter, WritesTheColumnsInFileOrderWithCrLf)
{
    SoundTableWriter table;
    table.Effect(sword_hit_row("sword_hit"))
        .Music({.id = 14, .name = "field", .comment = "outside"})
        .Comment("end");
    EXPECT_EQ(table.Text(), "12 sword_hit 1 0 0 4 0 0 50 100 2000 0 0\r\n14 field ; outside\r\n; end\r\n");
}

TEST_F(SoundTest, EffectTableParsesByColumns)
{
    for (const EffectTableCase& c : effect_table_cases()) {
        SCOPED_TRACE(c.what);
        LoadEffects(c.text);
        EXPECT_EQ(g_sound_count, c.count);
        std::vector<bool> named(SOUND_EFFECT_CAPACITY);
        for (const SoundGroupDef& expected : c.records) {
            SCOPED_TRACE(expected.index);
            expect_record(g_sound_table[expected.index], expected);
            named[expected.index] = true;
        }
        for (int id = 0; id < SOUND_EFFECT_CAPACITY; ++id)
            EXPECT_TRUE(named[id] || is_zero(g_sound_table[id])) << "record " << id;
    }
}

struct MusicTableCase {
    const char* what;
    std::vector<std::uint8_t> text;
    std::vector<std::pair<std::uint32_t, std::string>> entries;
};

TEST_F(SoundTest, MusicTableParsesIdAndName)
{
    SoundTableWriter full;
    std::vector<std::pair<std::uint32_t, std::string>> forty;
    for (std::uint32_t i = 0; i < 41; ++i) {
        full.Music({.id = 100 + i, .name = "m" + std::to_string(i)});
        if (i < 40) forty.emplace_back(100 + i, "m" + std::to_string(i));
    }
    const MusicTableCase cases[] = {
        {"entries in file order, comments skipped",
         SoundTableWriter()
             .Comment("99 never")
             .Music({.id = 14, .name = "field", .comment = "outside"})
             .Music({.id = 3, .name = "town"})
             .Line("7")
             .Music({.id = 14, .name = "field2"})
             .Bytes(),
         {{14, "field"}, {3, "town"}, {14, "field2"}}},
        {"a '-' cuts the name", SoundTableWriter().Music({.id = 9, .name = "boss-1"}).Bytes(), {{9, "boss"}}},
        {"names of 16 characters are skipped",
         SoundTableWriter()
             .Music({.id = 1, .name = std::string(16, 'a')})
             .Music({.id = 2, .name = std::string(15, 'b')})
             .Bytes(),
         {{2, std::string(15, 'b')}}},
        {"the 41st entry is skipped", full.Bytes(), forty},
        {"a bare line feed merges the lines into one",
         bare_line_feeds(
             SoundTableWriter().Music({.id = 14, .name = "field"}).Music({.id = 3, .name = "town"})),
         {{14, "field\n3"}}},
    };
    for (const MusicTableCase& c : cases) {
        SCOPED_TRACE(c.what);
        LoadMusic(c.text);
        std::vector<std::pair<std::uint32_t, std::string>> entries;
        for (std::int32_t i = 0; i < g_bgm_count; ++i)
            entries.emplace_back(g_bgm_table[i].id, g_bgm_table[i].name);
        EXPECT_EQ(entries, c.entries);
    }
}

TEST_F(SoundTest, MissingTablesThrowWithTheFileName)
{
    Mount({});
    const std::pair<void (*)(), std::string> loads[] = {
        {sound_load_bgm_table, "release\\music\\bgmdef.txt"},
        {sound_load_effect_table, "data\\wave\\effect\\effectdef.txt"}};
    for (const auto& [load, name] : loads) {
        try {
            load();
            ADD_FAILURE() << name << " loaded";
        } catch (const RuntimeError& error) {
            EXPECT_THAT(error.text, StartsWith("Couldn't open file.(80ff0009h)\r\n->" + name + "\n"));
        }
    }
}

TEST_F(SoundTest, FreeingEmptiesBothTables)
{
    LoadMusic(SoundTableWriter().Music({.id = 14, .name = "field"}).Bytes());
    LoadEffects(SoundTableWriter().Effect({.id = 3, .name = "hit"}));
    sound_free_tables();
    EXPECT_EQ(g_bgm_count, 0);
    EXPECT_EQ(g_bgm_table[0].name[0], '\0');
    EXPECT_EQ(g_sound_count, 0);
    EXPECT_TRUE(is_zero(g_sound_table[3]));
}

TEST_F(SoundTest, EffectsLoadOnFirstPlayAndPostWithTheirLoopFlag)
{
    StartWithEightGroups();
    g_reverb = 1;
    LoadEffects(SoundTableWriter()
                    .Effect({.id = 3, .name = "hit", .loop = true, .voices = 2})
                    .Effect({.id = 4, .name = "tap", .is_3d = true}),
                {wav_file("hit", tone()), wav_file("tap", tone())});
    sound_preload();
    EXPECT_FALSE(audio_group(3)->voices);

    sound_play(3, 700);
    ASSERT_TRUE(Loaded(3));
    EXPECT_STREQ(g_sound_table[3].wav_path, "data\\wave\\effect\\hit.wav");
    EXPECT_TRUE(g_sound_table[3].flags & SOUND_GROUP_EAX);
    const SoundVoice* voices = audio_group(3)->voices.get();
    sound_play(3, 1024);
    EXPECT_EQ(audio_group(3)->voices.get(), voices) << "loaded once";
    sound_play_at(4, 1.0f, 2.0f, -3.0f);
    EXPECT_TRUE(Loaded(4));
    sound_stop(3, 250);
    for (std::int32_t id : {-1, 5, 300})
        sound_play(id, 1024);
    EXPECT_EQ(sound_load_effect(-1), E_FAIL);
    EXPECT_EQ(sound_load_effect(5), E_FAIL);

    std::vector<AudioCommand> posted = posted_commands();
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_EQ(posted[0].type, AUDIO_CMD_PLAY);
    EXPECT_EQ(posted[0].target, 3u);
    EXPECT_EQ(posted[0].param1, 1);
    EXPECT_EQ(posted[0].param2, 700);
    EXPECT_EQ(posted[1].param2, 1024);
    EXPECT_EQ(posted[2].type, AUDIO_CMD_PLAY_AT);
    EXPECT_EQ(posted[2].target, 4u);
    EXPECT_EQ(posted[2].param1, 0);
    EXPECT_EQ(posted[2].position[0], 1.0f);
    EXPECT_EQ(posted[2].position[1], 2.0f);
    EXPECT_EQ(posted[2].position[2], -3.0f);
    EXPECT_EQ(posted[3].type, AUDIO_CMD_GROUP_FADE_OUT);
    EXPECT_EQ(posted[3].target, 3u);
    EXPECT_EQ(posted[3].param1, 250);
}

TEST_F(SoundTest, AnEffectThatFailsToLoadNeverPlays)
{
    StartWithEightGroups();
    SoundTableWriter table;
    table.Effect({.id = 1, .name = "gone"}).Effect({.id = 2, .name = "bad"});
    LoadEffects(table, {wav_file("bad", std::vector<std::uint8_t>(64, 1))});
    sound_play(1, 1024);
    sound_play_at(2, 0, 0, 0);
    for (std::int32_t id : {1, 2})
        EXPECT_TRUE(g_sound_table[id].flags & SOUND_GROUP_FAILED) << id;

    // Not tried again, even once the files are good.
    std::vector<SoundGroupDef> failed(g_sound_table, g_sound_table + 3);
    vfs_close_all();
    Mount({{SOUND_EFFECT_TABLE_PATH, table.Bytes()}, wav_file("gone", tone()), wav_file("bad", tone())});
    for (std::int32_t id : {1, 2}) {
        sound_reload_effect(id);
        sound_play(id, 1024);
        EXPECT_EQ(sound_load_effect(id), E_FAIL);
        EXPECT_FALSE(audio_group(id)->voices) << id;
        EXPECT_EQ(std::memcmp(&g_sound_table[id], &failed[id], sizeof failed[id]), 0) << id;
    }
    EXPECT_STREQ(g_sound_table[1].wav_path, "data\\wave\\effect\\gone.wav");
    EXPECT_TRUE(posted_commands().empty());
}

TEST_F(SoundTest, AnIdAtTheGroupCountNeverPlays)
{
    StartWithEightGroups();
    LoadEffects(SoundTableWriter().Effect({.id = 7, .name = "hit"}).Effect({.id = 8, .name = "hit"}),
                {wav_file("hit", tone())});
    sound_play(8, 1024);
    sound_play(8, 1024);
    EXPECT_TRUE(g_sound_table[8].flags & SOUND_GROUP_FAILED);
    sound_play(7, 1024);
    EXPECT_TRUE(Loaded(7));
    std::vector<AudioCommand> posted = posted_commands();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].target, 7u);
}

TEST_F(SoundTest, WithEffectsOffNothingLoads)
{
    StartWithEightGroups();
    g_play_effect = 0;
    LoadEffects(SoundTableWriter()
                    .Effect({.id = 1, .name = "hit", .preload = true})
                    .Effect({.id = 2, .name = "hit", .is_3d = true}),
                {wav_file("hit", tone())});
    sound_preload();
    sound_play(1, 1024);
    sound_play_at(2, 0, 0, 0);
    sound_reload_effect(2);
    sound_stop(1, 100);
    EXPECT_EQ(g_play_effect, 0);
    for (std::int32_t id : {1, 2}) {
        EXPECT_EQ(g_sound_table[id].flags & (SOUND_GROUP_LOADED | SOUND_GROUP_FAILED), 0u) << id;
        EXPECT_FALSE(audio_group(id)->voices) << id;
    }
    EXPECT_TRUE(posted_commands().empty());

    // What loaded while effects were on still plays.
    g_play_effect = 1;
    sound_reload_effect(1);
    g_play_effect = 0;
    sound_play(1, 512);
    ASSERT_EQ(posted_commands().size(), 1u);
    EXPECT_EQ(posted_commands()[0].target, 1u);
}

TEST_F(SoundTest, PreloadLoadsTheMarkedEffectsWithoutEffectsProcessing)
{
    StartWithEightGroups();
    LoadEffects(SoundTableWriter()
                    .Effect({.id = 1, .name = "hit", .preload = true})
                    .Effect({.id = 2, .name = "hit", .is_3d = true}),
                {wav_file("hit", tone())});
    for (std::int32_t id : {0, 1, 2})
        g_sound_table[id].buffer_flags |= DSBCAPS_CTRLFX;
    sound_preload();
    EXPECT_EQ(g_play_effect, 1);
    EXPECT_TRUE(Loaded(1));
    EXPECT_FALSE(g_sound_table[2].flags & SOUND_GROUP_LOADED);
    EXPECT_FALSE(audio_group(2)->voices);
    for (std::int32_t id : {0, 1, 2})
        EXPECT_FALSE(g_sound_table[id].buffer_flags & DSBCAPS_CTRLFX) << id;
    EXPECT_TRUE(posted_commands().empty());
}

TEST_F(SoundTest, WithoutDirectSoundPreloadTurnsEffectsOff)
{
    ASSERT_EQ(g_ds, nullptr);
    LoadEffects(SoundTableWriter().Effect({.id = 1, .name = "hit", .preload = true}),
                {wav_file("hit", tone())});
    sound_preload();
    EXPECT_EQ(g_play_effect, 0);
    sound_play(1, 1024);
    EXPECT_EQ(g_sound_table[1].flags & (SOUND_GROUP_LOADED | SOUND_GROUP_FAILED), 0u);
}

} // namespace
