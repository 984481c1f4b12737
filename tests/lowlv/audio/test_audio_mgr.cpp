#include "lowlv/audio/audio_mgr.h"

#include "audio_fixture.h"
#include "platform/win_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

struct DecibelCase {
    std::int32_t volume, master, decibels;
};

TEST(AudioVolume, VolumesBecomeHundredthsOfADecibelByOneFormula)
{
    const DecibelCase cases[] = {
        {1024, 1024, 0},   {512, 1024, -3000}, {341, 1024, -4000}, {0, 1024, -4000},
        {1024, 0, -10000}, {0, 0, -10000},     {768, 1024, -1500}, {1024, 512, -603},
        {2000, 1024, 0},   {1024, 5000, 0},    {-20, 1024, -4000}, {512, -1, -10000},
    };
    for (const DecibelCase& c : cases)
        EXPECT_EQ(audio_volume_to_db(c.volume, c.master), c.decibels) << c.volume << " " << c.master;
}

TEST_F(AudioTest, WithoutDirectSoundEverythingIsQuiet)
{
    AudioParams params = Params();
    params.device = 99;
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    ASSERT_EQ(g_ds, nullptr);
    EXPECT_EQ(AudioMgr::Initialize(params, 0), S_OK);
    EXPECT_FALSE(audio_thread_running());
    EXPECT_EQ(audio_stream(1), nullptr);
    EXPECT_EQ(audio_group(0), nullptr);
    audio_music_play("a", 1);
    audio_music_fade_out(100);
    audio_play_effect(0, false, 1024);
    audio_stop_groups(true);
    audio_pause_all(false);
    audio_pause_all(true);
    EXPECT_EQ(audio_thread_stop(500), WAIT_FAILED);
}

TEST_F(AudioTest, CommandTableHolds64AndRunsItsRecordsInTableOrder)
{
    StartWithFakeDecoder();
    WriteMusic("a", fake_ogg::piece(200000));
    for (std::uint32_t i = 0; i < 65; ++i)
        audio_fade_group(i, 100);
    EXPECT_EQ(audio_free_commands(), 0u);
    for (std::uint32_t i = 0; i < AUDIO_COMMAND_COUNT; ++i) {
        EXPECT_EQ(audio_commands()[i].type, AUDIO_CMD_GROUP_FADE_OUT);
        EXPECT_EQ(audio_commands()[i].target, i);
    }

    Passes(2);
    EXPECT_EQ(audio_free_commands(), 2u);
    audio_music_play("a", 1);
    EXPECT_FALSE(audio_stream(1)->IsOpen());
    EXPECT_EQ(audio_free_commands(), 2u);

    Pass();
    audio_music_play("a", 1);
    ASSERT_TRUE(audio_stream(1)->IsOpen());
    EXPECT_EQ(audio_current_stream(), 1u);
    EXPECT_EQ(audio_free_commands(), 2u);
    const AudioCommand& start = audio_commands()[0];
    EXPECT_EQ(start.type, AUDIO_CMD_STREAM_START);
    EXPECT_EQ(start.target, 1u);
    EXPECT_EQ(start.param1, 1);
    EXPECT_STREQ(start.name, "a");

    // The start took the first free record, so it runs before the older fades.
    Pass();
    EXPECT_TRUE(audio_stream(1)->IsPlaying());
    EXPECT_TRUE(audio_stream(1)->Loops());
    EXPECT_EQ(audio_commands()[3].type, AUDIO_CMD_GROUP_FADE_OUT);

    audio_music_fade_out(100);
    EXPECT_EQ(audio_free_commands(), 1u);
    audio_music_fade(0, 0);
    EXPECT_EQ(audio_free_commands(), 0u);
}

TEST_F(AudioTest, DelayedStopRunsNoEarlierThanItsDelay)
{
    StartWithFakeDecoder();
    SoundStream_OggVorbis& stream = StartMusic("a");
    ASSERT_TRUE(stream.IsPlaying());
    DWORD posted = dsound_seam_clock_ms();
    audio_music_fade_out(200);
    DWORD last_playing = posted;
    std::int32_t volume = 1024;
    for (int i = 0; i < 100 && stream.IsPlaying(); ++i) {
        last_playing = audio_tick_time();
        Pass();
        EXPECT_LE(stream.Fade().volume.load(), volume);
        volume = stream.Fade().volume.load();
    }
    EXPECT_FALSE(stream.IsPlaying());
    EXPECT_LT(last_playing - posted, 200u);
    EXPECT_GE(audio_tick_time() - posted, 200u);
    EXPECT_LT(volume, 1024);
}

TEST_F(AudioTest, MusicFadeIsLinearAndUsesTheMusicMaster)
{
    StartWithFakeDecoder();
    SoundStream_OggVorbis& stream = StartMusic("a");
    EXPECT_EQ(Volume(stream.Buffer()), audio_volume_to_db(1024, 512));
    audio_music_fade(512, 160);
    Pass(); // runs the fade command: the fade starts now
    DWORD start = audio_tick_time();
    for (int i = 0; i < 12; ++i) {
        Pass();
        DWORD elapsed = audio_tick_time() - start;
        std::int32_t expected = elapsed < 160 ? 1024 - static_cast<std::int32_t>(512 * elapsed / 160) : 512;
        EXPECT_EQ(stream.Fade().volume.load(), expected) << elapsed;
    }
    EXPECT_EQ(Volume(stream.Buffer()), audio_volume_to_db(512, 512));
    audio_set_bgm_volume(0);
    EXPECT_EQ(Volume(stream.Buffer()), DSBVOLUME_MIN);
}

TEST_F(AudioTest, MusicAlternatesStreamsAndCancelsWhatWasQueuedForTheOneTakenOver)
{
    StartWithFakeDecoder();
    for (const char* name : {"b", "c"})
        WriteMusic(name, fake_ogg::piece(400000));
    StartMusic("a");
    audio_music_fade_out(1000); // a fade, and a stop due in 1 s, for stream 1
    Pass();
    audio_music_play("b", 1);
    EXPECT_EQ(audio_current_stream(), 0u);
    Pass();
    EXPECT_TRUE(audio_stream(0)->IsPlaying());
    EXPECT_TRUE(audio_stream(1)->IsPlaying()); // a still fades out

    audio_music_play("c", 1);
    EXPECT_EQ(audio_current_stream(), 1u);
    Passes(80);
    EXPECT_TRUE(audio_stream(1)->IsPlaying());
    EXPECT_EQ(audio_stream(1)->Fade().volume.load(), 1024);
    EXPECT_TRUE(audio_stream(0)->IsPlaying());
    EXPECT_EQ(audio_free_commands(), AUDIO_COMMAND_COUNT);
}

TEST_F(AudioTest, MissingMusicLeavesTheCurrentMusicInReach)
{
    StartWithFakeDecoder();
    StartMusic("a");
    audio_music_play("missing", 1);
    EXPECT_EQ(audio_current_stream(), 1u);
    EXPECT_FALSE(audio_stream(0)->IsOpen());
    EXPECT_EQ(audio_free_commands(), AUDIO_COMMAND_COUNT);
    audio_music_fade_out(0);
    Passes(2);
    EXPECT_FALSE(audio_stream(1)->IsPlaying());
}

// With the real clock: true once the audio thread has stopped taking passes.
bool thread_idle()
{
    for (int tries = 0; tries < 40; ++tries) {
        DWORD tick = audio_tick_time();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (audio_tick_time() == tick) return true;
    }
    return false;
}

class AudioThreadTest : public AudioTest {
protected:
    void SetUp() override
    {
        AudioTest::SetUp();
        seam_set_clock({});
    }

    // The thread running and a long fake piece playing on stream 1.
    void StartWithMusic()
    {
        WriteMusic("a", fake_ogg::piece(400000));
        StartWithFakeDecoder(true);
        audio_music_play("a", 1);
        m_stream = audio_stream(1);
        ASSERT_TRUE(Eventually([&] { return m_stream->IsPlaying(); }));
    }

    SoundStream_OggVorbis* m_stream = nullptr;
};

TEST_F(AudioThreadTest, DeactivationStopsMusicAndHoldsCommandsUntilActivation)
{
    ASSERT_NO_FATAL_FAILURE(StartWithMusic());
    SoundStream_OggVorbis& stream = *m_stream;

    audio_pause_all(false);
    EXPECT_FALSE(stream.IsPlaying());
    EXPECT_FALSE(Playing(stream.Buffer()));
    ASSERT_TRUE(thread_idle());
    audio_fade_group(3, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(audio_free_commands(), AUDIO_COMMAND_COUNT - 1);

    audio_pause_all(true);
    EXPECT_TRUE(stream.IsPlaying());
    EXPECT_TRUE(Playing(stream.Buffer()));
    EXPECT_TRUE(Eventually([] { return audio_free_commands() == AUDIO_COMMAND_COUNT; }));
}

TEST_F(AudioThreadTest, NoWakeUpIsLostHoweverPauseAndResumeInterleave)
{
    StartWithFakeDecoder(true);
    for (int i = 0; i < 500; ++i) {
        audio_pause_all(false);
        if (i % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(i * 37 % 3000));
        audio_pause_all(true);
    }
    audio_fade_group(3, 100);
    EXPECT_TRUE(Eventually([] { return audio_free_commands() == AUDIO_COMMAND_COUNT; }));
}

TEST_F(AudioThreadTest, ActivationResumesOnlyTheMusicThatWasPlaying)
{
    ASSERT_NO_FATAL_FAILURE(StartWithMusic());
    SoundStream_OggVorbis& stream = *m_stream;
    audio_music_fade_out(0);
    ASSERT_TRUE(Eventually([&] { return !stream.IsPlaying(); }));
    audio_pause_all(false);
    audio_pause_all(true);
    EXPECT_FALSE(stream.IsPlaying());
    EXPECT_FALSE(Playing(stream.Buffer()));
}

TEST_F(AudioThreadTest, ActivationBringsBackTheEnvironmentOfBefore)
{
    dsound_seam_set_eax(2);
    AudioParams params = Params();
    params.reverb = 1;
    fake_ogg::register_vorbisfile();
    Start(params, true);
    ASSERT_NE(g_eax_listener.property_set, nullptr);
    audio_eax_apply_preset({5, 2.0f}, g_eax_listener);
    audio_pause_all(false);
    EXPECT_EQ(g_eax_listener.last_preset.environment, 0u);
    audio_pause_all(true);
    EXPECT_EQ(g_eax_listener.last_preset.environment, 5u);
    EXPECT_EQ(g_eax_listener.last_preset.size, 2.0f);
}

TEST_F(AudioThreadTest, ShutdownWhileSuspendedEndsTheThread)
{
    StartWithFakeDecoder(true);
    audio_pause_all(false);
    ASSERT_TRUE(thread_idle());
    EXPECT_EQ(audio_thread_stop(AUDIO_SHUTDOWN_WAIT_MS), WAIT_OBJECT_0);
    EXPECT_FALSE(audio_thread_running());
    EXPECT_EQ(audio_thread_stop(AUDIO_SHUTDOWN_WAIT_MS), WAIT_FAILED);
}

} // namespace
