// One pass of the audio thread with 32 voices playing and a music stream refilling its ring,
// on the loopback device: the sound itself is mixed outside the timed part.
#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "lib/ogg_writer.h"
#include "lib/wav_writer.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"
#include "platform/impl/dsound_seams.h"
#include "platform/impl/test_seams.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr std::uint32_t k_groups = 8;
constexpr std::uint32_t k_voices_per_group = 4;

// The WAV in an archive pair and a looping piece of music in "release\music\".
std::filesystem::path write_data()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kro_bench_audio_XXXXXX").string();
    if (!mkdtemp(pattern.data())) return {};
    std::filesystem::path folder = pattern;
    WavFormat mono{1, 22050, 16};
    ArchiveSource effect{"data\\se\\loop.wav", wav_build_pcm(mono, wav_tone(mono, 22050, 330.0))};
    archive_write_set(folder, std::span(&effect, 1), {});
    std::filesystem::create_directories(folder / "release" / "music");
    OggSource music;
    music.samples = wav_tone({2, 44100, 16}, 44100 * 4, 220.0);
    music.comments = {"LOOPSTART=44100", "LOOPLENGTH=88200"};
    ogg_write_file(folder / "release" / "music" / "bench.ogg", music);
    return folder;
}

std::string windows_path(const std::filesystem::path& path)
{
    std::string text = path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::uint32_t playing_voices()
{
    std::uint32_t playing = 0;
    for (std::uint32_t g = 0; g < k_groups; ++g)
        for (std::uint32_t v = 0; v < k_voices_per_group; ++v) {
            DWORD status = 0;
            audio_group(g)->voices[v].buffer->GetStatus(&status);
            playing += (status & DSBSTATUS_PLAYING) ? 1 : 0;
        }
    return playing;
}

void BM_AudioThreadPass(benchmark::State& state)
{
    std::filesystem::path folder = write_data();
    vfs::Startup((windows_path(folder) + "\\").c_str());
    dsound_seam_use_loopback(true);
    seam_set_clock([] { return dsound_seam_clock_ms(); });
    AudioParams params;
    params.window = reinterpret_cast<HWND>(std::uintptr_t{0x10}); // DirectSound only needs one
    params.use_wu_vorbis = 0;
    std::string music = windows_path(folder / "release" / "music") + "\\";
    std::strncpy(params.music_dir, music.c_str(), sizeof params.music_dir - 1);
    if (FAILED(DSound::Initialize(params)) || FAILED(AudioMgr::Initialize(params, 0))) {
        state.SkipWithError("no sound device");
        return;
    }
    audio_thread_stop(INFINITE);

    SoundGroupDef def{SOUND_BUFFER_3D, k_voices_per_group, SOUND_GROUP_LOOP, 0, 0, "data\\se\\loop.wav", 1.0f,
                      100.0f};
    for (std::uint32_t g = 0; g < k_groups; ++g)
        audio_group_load(*audio_group(g), g_ds, def);
    for (std::uint32_t v = 0; v < k_groups * k_voices_per_group; ++v) {
        audio_play_effect_at({float(v), 0.0f, 5.0f}, v % k_groups, true);
        audio_thread_pass();
    }
    audio_music_play("bench", 1);
    audio_thread_pass();
    if (playing_voices() != k_groups * k_voices_per_group || !audio_stream(1)->IsPlaying())
        state.SkipWithError("the voices or the music did not start");

    for (auto _ : state) {
        state.PauseTiming();
        dsound_seam_advance_ms(AUDIO_THREAD_PERIOD_MS);
        state.ResumeTiming();
        audio_thread_pass();
    }

    audio_shutdown();
    DSound::Shutdown();
    seam_set_clock({});
    dsound_seam_reset();
    vfs_close_all();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AudioThreadPass)->Unit(benchmark::kMicrosecond);

} // namespace
