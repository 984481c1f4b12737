// The sound tables over the audio manager's loopback device: effects on and reverb off, a working
// folder of the test's own, and both tables empty before and after each test.
#pragma once

#include "game/g_settings.h"
#include "game/g_sound.h"
#include "lib/sound_table_writer.h"
#include "lowlv/audio/audio_fixture.h"

#include <cstdint>
#include <utility>
#include <vector>

// For a fixture on another base: the audio manager on the loopback device without its thread,
// effects on and the effect table read from the archive mounted. The effect switch found is kept
// in `saved_play_effect` for sound_effects_stop.
inline void sound_effects_start(std::uint8_t& saved_play_effect)
{
    saved_play_effect = g_play_effect;
    dsound_seam_reset();
    dsound_seam_use_loopback(true);
    const AudioParams params = loopback_audio_params();
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    ASSERT_EQ(AudioMgr::Initialize(params, 0), S_OK);
    audio_thread_stop(INFINITE);
    g_play_effect = 1;
    sound_load_effect_table();
}

inline void sound_effects_stop(std::uint8_t saved_play_effect)
{
    sound_free_tables();
    audio_shutdown();
    DSound::Shutdown();
    dsound_seam_reset();
    g_play_effect = saved_play_effect;
}

class SoundTableTest : public AudioTest {
protected:
    void SetUp() override
    {
        AudioTest::SetUp();
        std::filesystem::current_path(m_folder.path());
        m_saved = {g_play_effect, g_reverb};
        g_play_effect = 1;
        g_reverb = 0;
        sound_free_tables();
    }
    void TearDown() override
    {
        sound_free_tables();
        g_play_effect = m_saved.first;
        g_reverb = m_saved.second;
        AudioTest::TearDown();
    }

    // The archive holding the effect table and the files given, with the table read from it.
    void LoadEffects(std::vector<std::uint8_t> table, std::vector<ArchiveSource> files = {})
    {
        vfs_close_all();
        files.push_back({SOUND_EFFECT_TABLE_PATH, std::move(table)});
        Mount(files);
        sound_load_effect_table();
    }
    void LoadEffects(const SoundTableWriter& table, std::vector<ArchiveSource> files = {})
    {
        LoadEffects(table.Bytes(), std::move(files));
    }

    WorkingDirectoryGuard m_cwd;
    std::pair<std::uint8_t, std::uint8_t> m_saved;
};
