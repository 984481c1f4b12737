// The audio manager on a loopback DirectSound device whose frames are the program's clock:
// nothing plays until a test advances the audio clock, and timeGetTime reads the same clock.
// Without the thread (the default) a test runs the audio thread's passes itself.
#pragma once

#include "core/vfs.h"
#include "fake_decoder.h"
#include "lib/archive_writer.h"
#include "lib/ogg_writer.h"
#include "lib/wav_writer.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"
#include "platform/impl/dsound_seams.h"
#include "platform/impl/test_seams.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// The commands posted to the audio manager and not yet taken, in the ring's order.
inline std::vector<AudioCommand> posted_commands()
{
    std::vector<AudioCommand> posted;
    for (const AudioCommand& command : audio_commands())
        if (command.type != AUDIO_CMD_FREE) posted.push_back(command);
    return posted;
}

// Parameters DirectSound accepts (it only needs a window), with the standard decoder alone.
inline AudioParams loopback_audio_params()
{
    AudioParams params;
    params.window = reinterpret_cast<HWND>(std::uintptr_t{0x10});
    params.use_wu_vorbis = 0;
    return params;
}

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dsound_seam_reset();
        dsound_seam_use_loopback(true);
        seam_set_clock([] { return dsound_seam_clock_ms(); });
        std::filesystem::create_directories(m_folder.path() / "release" / "music");
    }

    void TearDown() override
    {
        audio_shutdown();
        DSound::Shutdown();
        fake_ogg::unregister_all();
        seam_set_clock({});
        dsound_seam_reset();
        vfs_close_all();
    }

    AudioParams Params() const
    {
        AudioParams params = loopback_audio_params();
        std::string music = m_folder.windows() + "\\release\\music\\";
        std::strncpy(params.music_dir, music.c_str(), sizeof params.music_dir - 1);
        return params;
    }

    // DirectSound and the manager; the thread is stopped again unless the test wants it.
    void Start(const AudioParams& params, bool with_thread = false)
    {
        ASSERT_EQ(DSound::Initialize(params), S_OK);
        ASSERT_NE(g_ds, nullptr);
        ASSERT_EQ(AudioMgr::Initialize(params, 0), S_OK);
        if (!with_thread) audio_thread_stop(INFINITE);
    }
    void StartWithFakeDecoder(bool with_thread = false)
    {
        fake_ogg::register_vorbisfile();
        Start(Params(), with_thread);
    }

    // One 16-ms period of sound, then one pass of the audio thread.
    void Pass(DWORD ms = AUDIO_THREAD_PERIOD_MS)
    {
        dsound_seam_advance_ms(ms);
        audio_thread_pass();
    }
    void Passes(int count)
    {
        for (int i = 0; i < count; ++i)
            Pass();
    }

    // The WAV files in the archive, as the game's archive pair.
    void Mount(const std::vector<ArchiveSource>& files)
    {
        ASSERT_TRUE(archive_write_set(m_folder.path(), files, {}));
        vfs::Startup((m_folder.windows() + "\\").c_str());
    }

    void WriteMusic(const std::string& name, const std::string& text)
    {
        write_host_file(m_folder.path() / "release" / "music" / (name + ".ogg"), text);
    }
    void WriteMusic(const std::string& name, const OggSource& source)
    {
        ASSERT_TRUE(ogg_write_file(m_folder.path() / "release" / "music" / (name + ".ogg"), source));
    }

    // A long fake piece, started by the next pass (no thread); its stream.
    SoundStream_OggVorbis& StartMusic(const std::string& name)
    {
        WriteMusic(name, fake_ogg::piece(400000));
        audio_music_play(name.c_str(), 1);
        Pass();
        return *audio_stream(audio_current_stream());
    }

    // Waits (for the real thread) until the condition holds; false after two seconds.
    static bool Eventually(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 2000; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return condition();
    }

    // The bytes of a buffer from `offset`.
    static std::vector<std::uint8_t> ReadBuffer(IDirectSoundBuffer* buffer, DWORD offset, DWORD size)
    {
        void* part1 = nullptr;
        void* part2 = nullptr;
        DWORD size1 = 0, size2 = 0;
        std::vector<std::uint8_t> bytes;
        if (FAILED(buffer->Lock(offset, size, &part1, &size1, &part2, &size2, 0))) return bytes;
        bytes.assign(static_cast<std::uint8_t*>(part1), static_cast<std::uint8_t*>(part1) + size1);
        if (part2)
            bytes.insert(bytes.end(), static_cast<std::uint8_t*>(part2),
                         static_cast<std::uint8_t*>(part2) + size2);
        buffer->Unlock(part1, size1, part2, size2);
        return bytes;
    }

    static LONG Volume(IDirectSoundBuffer* buffer)
    {
        LONG volume = 1;
        buffer->GetVolume(&volume);
        return volume;
    }
    static bool Playing(IDirectSoundBuffer* buffer)
    {
        DWORD status = 0;
        return SUCCEEDED(buffer->GetStatus(&status)) && (status & DSBSTATUS_PLAYING);
    }

    TempFolder m_folder;
};
