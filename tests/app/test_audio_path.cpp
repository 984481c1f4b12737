#include "app/app_entry.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"
#include "lowlv/audio/audio_sound.h"
#include "lowlv/audio/audioss_ogg.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

// Waits for the audio thread to have done something; false when it never happened.
bool within_a_second(const std::function<bool()>& done)
{
    for (int tries = 0; tries < 100; ++tries) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

// The game started as far as its engine, on the demo data, with its real audio thread: music
// starts and fades, and an effect plays at a place in the world.
TEST(AudioPath, MusicAndA3dEffectRunOnTheAudioThreadOfTheStartedGame)
{
    StartedGame game;
    ASSERT_EQ(game.start(), S_OK) << g_error_text;
    ASSERT_NE(g_ds, nullptr);
    ASSERT_TRUE(audio_thread_running());

    SoundGroupDef effect{SOUND_BUFFER_3D, 2, 0, 0, 0, "data\\wave\\effect\\demo.wav", 1.0f, 100.0f};
    ASSERT_EQ(audio_group_load(*audio_group(0), g_ds, effect), S_OK);
    audio_play_effect_at(D3DVECTOR{3.0f, 0.0f, 4.0f}, 0, false);
    EXPECT_TRUE(within_a_second([] { return audio_group_is_playing(*audio_group(0), audio_tick_time()); }));

    audio_music_play("demo", 1);
    EXPECT_TRUE(within_a_second([] { return audio_stream(audio_current_stream())->IsPlaying(); }));
    audio_music_fade(0, 100);
    EXPECT_TRUE(
        within_a_second([] { return audio_stream(audio_current_stream())->Fade().volume.load() == 0; }));

    game.shut_down();
    EXPECT_EQ(g_ds, nullptr);
    EXPECT_FALSE(audio_thread_running());
}
