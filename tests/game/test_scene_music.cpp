#include "game/g_scene.h"

#include "game/g_play_state.h"
#include "sound_fixture.h"
#include "thrown_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t k_field = 1;
constexpr std::uint32_t k_title = 2;

// The posted commands of the music streams.
std::vector<AudioCommand> music_commands()
{
    std::vector<AudioCommand> music = posted_commands();
    std::erase_if(music, [](const AudioCommand& command) {
        return command.type < AUDIO_CMD_STREAM_START || command.type > AUDIO_CMD_STREAM_FADE;
    });
    std::ranges::sort(music, {}, &AudioCommand::type);
    return music;
}

// The scene music over the audio manager, with two pieces in the music table.
class SceneMusic : public SoundTableTest {
protected:
    void SetUp() override
    {
        SoundTableTest::SetUp();
        m_saved_music = g_play_bgm;
        g_play_bgm = 1;
        g_bgm_playing = 0;
        g_play_state = {};
        const std::vector<std::uint8_t> table = SoundTableWriter()
                                                    .Music({.id = k_field, .name = "field"})
                                                    .Music({.id = k_title, .name = "title"})
                                                    .Bytes();
        ASSERT_TRUE(tools_write_file(m_folder.path() / "release" / "music" / "bgmdef.txt", table));
        sound_load_bgm_table();
        ASSERT_EQ(g_bgm_count, 2);
        StartWithFakeDecoder();
        WriteMusic("field", fake_ogg::piece(400000));
        WriteMusic("title", fake_ogg::piece(400000));
    }
    void TearDown() override
    {
        g_play_bgm = m_saved_music;
        g_bgm_playing = 0;
        g_play_state = {};
        SoundTableTest::TearDown();
    }

    std::uint8_t m_saved_music = 0;
};

TEST_F(SceneMusic, PlayingFadesTheMusicOutThenStartsThePiece)
{
    g_play_state.music_id = static_cast<std::int32_t>(k_title);
    Bgm_Play(-1, 1);
    const std::vector<AudioCommand> music = music_commands();
    ASSERT_EQ(music.size(), 3u);
    EXPECT_EQ(music[0].type, AUDIO_CMD_STREAM_START);
    EXPECT_STREQ(music[0].name, "title");
    EXPECT_EQ(music[0].param1, 1) << "looping";
    EXPECT_EQ(music[1].type, AUDIO_CMD_STREAM_STOP);
    EXPECT_EQ(music[1].delay, 3500u);
    EXPECT_EQ(music[2].type, AUDIO_CMD_STREAM_FADE);
    EXPECT_EQ(music[2].param1, 0);
    EXPECT_EQ(music[2].param2, 3500);
    EXPECT_NE(music[0].target, music[2].target) << "the new piece starts on the other stream";
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(k_title));
}

TEST_F(SceneMusic, SilenceAndStopOnlyFadeOut)
{
    const struct {
        const char* what;
        std::function<void()> call;
        std::int32_t fade_ms;
    } cases[] = {
        {"id 0", [] { Bgm_Play(0, 1); }, 3500},
        {"stop", [] { bgm_stop(700); }, 700},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Passes(300); // every earlier command done
        g_bgm_playing = static_cast<std::int32_t>(k_field);
        c.call();
        const std::vector<AudioCommand> music = music_commands();
        ASSERT_EQ(music.size(), 2u);
        EXPECT_EQ(music[0].type, AUDIO_CMD_STREAM_STOP);
        EXPECT_EQ(music[0].delay, static_cast<std::uint32_t>(c.fade_ms));
        EXPECT_EQ(music[1].type, AUDIO_CMD_STREAM_FADE);
        EXPECT_EQ(music[1].param2, c.fade_ms);
        EXPECT_EQ(g_bgm_playing, 0);
    }
}

// With the music switched off nothing is posted, but the id still counts as playing, and an
// unknown id is fatal all the same.
TEST_F(SceneMusic, MusicOffPostsNothing)
{
    g_play_bgm = 0;
    Bgm_Play(static_cast<std::int32_t>(k_field), 1);
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(k_field));
    bgm_stop(100);
    EXPECT_EQ(g_bgm_playing, 0);
    EXPECT_TRUE(music_commands().empty());
    EXPECT_EQ(thrown_text([] { Bgm_Play(3, 1); }), "E_FAIL(80004005h)\r\n->Bgm_Play\ng_scene(764)\n");
    EXPECT_EQ(g_bgm_playing, 0);
}

} // namespace
