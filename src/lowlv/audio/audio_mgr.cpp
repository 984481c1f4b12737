#include "lowlv/audio/audio_mgr.h"

#include "core/file.h"
#include "core/sys.h"
#include "core/text.h"
#include "lowlv/audio/audio_dsound.h"
#include "platform/win_kernel.h"
#include "platform/win_thread.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// The lock exists before the program body runs and is deleted after it.
class AudioLockSection {
public:
    AudioLockSection() { InitializeCriticalSection(&section); }
    ~AudioLockSection() { DeleteCriticalSection(&section); }
    CRITICAL_SECTION section;
};
AudioLockSection g_audio_lock;

class AudioLock {
public:
    AudioLock() { audio_lock(); }
    ~AudioLock() { audio_unlock(); }
    AudioLock(const AudioLock&) = delete;
    AudioLock& operator=(const AudioLock&) = delete;
};

std::array<AudioCommand, AUDIO_COMMAND_COUNT> g_audio_commands{};
std::uint32_t g_audio_free_commands = AUDIO_COMMAND_COUNT;
std::unique_ptr<SoundStream_OggVorbis> g_audio_streams[2];
std::uint32_t g_audio_current_stream = 0;
// Which streams a deactivation stopped, so that activation resumes only those.
bool g_audio_resume_stream[2] = {};
bool g_audio_paused = false;
EaxPreset g_audio_resume_preset = EAX_PRESET_NEUTRAL;
std::unique_ptr<SoundGroup[]> g_audio_groups;
std::uint32_t g_audio_group_count = 0;
std::atomic<std::int32_t> g_audio_bgm_volume{512};
std::atomic<std::int32_t> g_audio_effect_volume{512};
AudioParams g_audio_params;
HANDLE g_audio_thread = nullptr;
std::atomic<DWORD> g_audio_control{0};
int g_audio_thread_priority = 0;
std::atomic<DWORD> g_audio_tick{0};

void reset_commands()
{
    g_audio_commands.fill(AudioCommand{});
    g_audio_free_commands = AUDIO_COMMAND_COUNT;
}

void free_command(AudioCommand& command)
{
    command.type = AUDIO_CMD_FREE;
    ++g_audio_free_commands;
}

bool has_streams()
{
    return g_audio_streams[0] && g_audio_streams[1];
}

SoundGroup* posted_group(std::uint32_t index)
{
    return index < g_audio_group_count ? &g_audio_groups[index] : nullptr;
}

void run_command(const AudioCommand& command)
{
    if (command.type <= AUDIO_CMD_STREAM_FADE) {
        if (command.target > 1 || !g_audio_streams[command.target]) return;
        SoundStream_OggVorbis& stream = *g_audio_streams[command.target];
        if (command.type == AUDIO_CMD_STREAM_START) audio_cmd_stream_start(stream, command.param1 & 1);
        if (command.type == AUDIO_CMD_STREAM_STOP) stream.Stop();
        if (command.type == AUDIO_CMD_STREAM_FADE)
            audio_cmd_stream_fade(stream, command.param1, command.param2);
        return;
    }
    SoundGroup* group = posted_group(command.target);
    if (!group) return;
    switch (command.type) {
    case AUDIO_CMD_PLAY:
        audio_group_play(*group, command.param1 != 0, command.param2, nullptr);
        break;
    case AUDIO_CMD_PLAY_AT: {
        D3DVECTOR position{command.position[0], command.position[1], command.position[2]};
        audio_group_play(*group, command.param1 != 0, AUDIO_VOLUME_MAX, &position);
        break;
    }
    case AUDIO_CMD_GROUP_FADE_OUT:
        audio_group_fade_out(*group, command.param1);
        break;
    case AUDIO_CMD_GROUP_FADE_TO:
        audio_cmd_group_fade_to(*group, command.param1, command.param2);
        break;
    default:
        break;
    }
}

// Records run in table order, not posting order; at most one per pass. The elapsed time is
// taken modulo 2^32 so that the timer's wrap does not make a delayed command due early.
void run_due_command(DWORD tick)
{
    for (AudioCommand& command : g_audio_commands) {
        if (command.type == AUDIO_CMD_FREE) continue;
        if (command.delay != 0 && tick - command.post_time < command.delay) continue;
        AudioCommand due = command;
        free_command(command);
        run_command(due);
        return;
    }
}

// The stream leaves the audio thread's hands: stopped under the lock, then no Update running.
void stream_stop_and_wait(SoundStream_OggVorbis& stream)
{
    {
        AudioLock lock;
        stream.Stop();
    }
    while (stream.IsBusy())
        SleepEx(1, TRUE);
}

// Warms the file cache with the start of the piece; its data is not kept.
void music_preread(const char* path)
{
    File file;
    if (FAILED(file.OpenRead(path, FILE_FLAG_SEQUENTIAL_SCAN))) return;
    if (FAILED(file.Seek(0, FILE_END))) return;
    std::uint32_t size = std::min(file.Position(), AUDIO_MUSIC_PREREAD_SIZE);
    if (FAILED(file.Seek(0, FILE_BEGIN))) return;
    if (std::uint8_t* block = sys_lend_work_block(size)) {
        file.Read(block, size, nullptr);
        sys_return_work_block();
    }
}

void post_group_command(std::uint32_t type, std::uint32_t group, std::int32_t param1, std::int32_t param2)
{
    if (!posted_group(group)) return;
    AudioLock lock;
    if (AudioCommand* command = audio_post_command(type, 0, group)) {
        command->param1 = param1;
        command->param2 = param2;
    }
}

// Restores lost voices first (outside the lock: it may wait and reload the sample); a group
// that was never loaded gets no post.
template <class Fill> void post_play(std::uint32_t type, std::uint32_t group_index, Fill fill)
{
    SoundGroup* group = posted_group(group_index);
    if (!group || FAILED(audio_group_restore(*group))) return;
    AudioLock lock;
    if (AudioCommand* command = audio_post_command(type, 0, group_index)) {
        fill(*command);
        group->requested.store(true);
    }
}

void thread_suspend_self()
{
    // Resumes that arrive before the suspend are kept by the platform, and the request is
    // checked again after every wake-up, so no resume is lost whatever the interleaving.
    while ((g_audio_control.load() & (AUDIO_CONTROL_SUSPEND | AUDIO_CONTROL_EXIT)) == AUDIO_CONTROL_SUSPEND)
        SuspendThread(GetCurrentThread());
}

unsigned audio_thread_main(void*)
{
    for (;;) {
        DWORD start = timeGetTime();
        audio_thread_pass();
        if (g_audio_control.load() & AUDIO_CONTROL_SUSPEND) thread_suspend_self();
        if (g_audio_control.load() & AUDIO_CONTROL_EXIT) return 0;
        DWORD elapsed = timeGetTime() - start;
        SleepEx(elapsed < AUDIO_THREAD_PERIOD_MS ? AUDIO_THREAD_PERIOD_MS - elapsed : 0, TRUE);
    }
}

// At process exit a thread that shutdown did not end is ended before the lock goes.
class AudioThreadReaper {
public:
    ~AudioThreadReaper() { audio_thread_stop(INFINITE); }
};
AudioThreadReaper g_audio_thread_reaper;

} // namespace

HRESULT AudioMgr::Initialize(const AudioParams& params, DWORD affinity_mask)
{
    if (!g_ds) return S_OK;
    g_audio_params = params;
    ogg_bind_decoder(params.use_wu_vorbis != 0);
    audio_create_streams();
    audio_set_bgm_volume(params.bgm_volume);
    audio_set_effect_volume(params.effect_volume);
    g_audio_thread_priority = THREAD_PRIORITY_TIME_CRITICAL;
    if (g_audio_thread) {
        SetThreadPriority(g_audio_thread, g_audio_thread_priority);
        return S_OK;
    }
    if (FAILED(audio_thread_start())) return E_FAIL;
    if (affinity_mask != 0) SetThreadAffinityMask(g_audio_thread, affinity_mask);
    return S_OK;
}

HRESULT audio_create_streams()
{
    AudioLock lock;
    reset_commands();
    for (auto& stream : g_audio_streams)
        stream = std::make_unique<SoundStream_OggVorbis>(g_ds);
    g_audio_current_stream = 0;
    g_audio_resume_stream[0] = g_audio_resume_stream[1] = false;
    g_audio_paused = false;
    g_audio_group_count = g_audio_params.sound_groups;
    g_audio_groups = std::make_unique<SoundGroup[]>(g_audio_group_count);
    return S_OK;
}

void audio_shutdown()
{
    if (has_streams()) {
        stream_stop_and_wait(*g_audio_streams[1]);
        stream_stop_and_wait(*g_audio_streams[0]);
        AudioLock lock;
        g_audio_streams[1]->Close();
        g_audio_streams[0]->Close();
    }
    if (audio_thread_stop(AUDIO_SHUTDOWN_WAIT_MS) == WAIT_TIMEOUT) return;
    AudioLock lock;
    for (std::uint32_t i = 0; i < g_audio_group_count; ++i)
        audio_group_free(g_audio_groups[i]);
    g_audio_groups.reset();
    g_audio_group_count = 0;
    for (auto& stream : g_audio_streams)
        stream.reset();
    reset_commands();
    ogg_unbind_decoder();
}

HRESULT audio_thread_start()
{
    g_audio_control.store(0);
    std::uintptr_t handle = _beginthreadex(nullptr, 0, audio_thread_main, nullptr, 0, nullptr);
    if (handle == 0) return E_FAIL;
    g_audio_thread = reinterpret_cast<HANDLE>(handle);
    if (g_audio_thread_priority != 0) SetThreadPriority(g_audio_thread, g_audio_thread_priority);
    return S_OK;
}

DWORD audio_thread_stop(DWORD timeout_ms)
{
    if (!g_audio_thread) return WAIT_FAILED;
    g_audio_control.store(AUDIO_CONTROL_EXIT);
    ResumeThread(g_audio_thread);
    DWORD result = WaitForSingleObject(g_audio_thread, timeout_ms);
    if (result == WAIT_TIMEOUT) return result;
    CloseHandle(g_audio_thread);
    g_audio_thread = nullptr;
    g_audio_control.store(0);
    return result;
}

void audio_thread_pass()
{
    {
        AudioLock lock;
        DWORD tick = timeGetTime();
        g_audio_tick.store(tick);
        run_due_command(tick);
    }
    audio_commit_listener();
    {
        // Under the lock, so a fade that audio_stop_groups writes takes effect whole.
        AudioLock lock;
        for (std::uint32_t i = 0; i < g_audio_group_count; ++i)
            audio_group_update(g_audio_groups[i]);
    }
    for (auto& stream : g_audio_streams)
        if (stream) stream->Update();
}

void audio_lock()
{
    EnterCriticalSection(&g_audio_lock.section);
}

void audio_unlock()
{
    LeaveCriticalSection(&g_audio_lock.section);
}

AudioCommand* audio_post_command(std::uint32_t type, DWORD delay, std::uint32_t target)
{
    for (AudioCommand& command : g_audio_commands) {
        if (command.type != AUDIO_CMD_FREE) continue;
        command = AudioCommand{};
        command.type = type;
        command.post_time = timeGetTime();
        command.delay = delay;
        command.target = target;
        --g_audio_free_commands;
        return &command;
    }
    return nullptr;
}

void audio_music_play(const char* name, std::uint32_t flags)
{
    if (!has_streams()) return;
    std::uint32_t next = 0;
    {
        AudioLock lock;
        if (g_audio_free_commands < 3) return;
        next = g_audio_current_stream ^ 1;
        // Queued commands of the stream taken over would act on the new piece.
        for (AudioCommand& command : g_audio_commands)
            if (command.type >= AUDIO_CMD_STREAM_START && command.type <= AUDIO_CMD_STREAM_FADE &&
                command.target == next)
                free_command(command);
        g_audio_resume_stream[next] = false;
    }
    SoundStream_OggVorbis& stream = *g_audio_streams[next];
    stream_stop_and_wait(stream);
    stream.Close();
    char path[MAX_PATH];
    int length =
        std::snprintf(path, sizeof path, "%s%s%s", g_audio_params.music_dir, name, stream.GetExtension());
    if (length < 0 || length >= static_cast<int>(sizeof path)) return;
    music_preread(path);
    if (!stream.Open(path, AUDIO_MUSIC_BUFFER_FLAGS)) return;
    AudioLock lock;
    // The current stream moves only now, so a piece that fails to open leaves the old one in reach.
    if (AudioCommand* command = audio_post_command(AUDIO_CMD_STREAM_START, 0, next)) {
        command->param1 = static_cast<std::int32_t>(flags);
        sys_copy_string(command->name, name, sizeof command->name);
        g_audio_current_stream = next;
    }
}

void audio_music_fade_out(std::int32_t time_ms)
{
    if (!has_streams()) return;
    AudioLock lock;
    if (g_audio_free_commands < 2) return;
    AudioCommand* fade = audio_post_command(AUDIO_CMD_STREAM_FADE, 0, g_audio_current_stream);
    fade->param1 = 0;
    fade->param2 = time_ms;
    audio_post_command(AUDIO_CMD_STREAM_STOP, static_cast<DWORD>(std::max(time_ms, 0)),
                       g_audio_current_stream);
}

void audio_music_fade(std::int32_t volume, std::int32_t time_ms)
{
    if (!has_streams()) return;
    AudioLock lock;
    if (AudioCommand* fade = audio_post_command(AUDIO_CMD_STREAM_FADE, 0, g_audio_current_stream)) {
        fade->param1 = volume;
        fade->param2 = time_ms;
    }
}

void audio_play_effect(std::uint32_t group, bool loop, std::int32_t volume)
{
    post_play(AUDIO_CMD_PLAY, group, [&](AudioCommand& command) {
        command.param1 = loop;
        command.param2 = volume;
    });
}

void audio_play_effect_at(const D3DVECTOR& position, std::uint32_t group, bool loop)
{
    post_play(AUDIO_CMD_PLAY_AT, group, [&](AudioCommand& command) {
        command.param1 = loop;
        command.position[0] = position.x;
        command.position[1] = position.y;
        command.position[2] = position.z;
    });
}

void audio_fade_group(std::uint32_t group, std::int32_t time_ms)
{
    post_group_command(AUDIO_CMD_GROUP_FADE_OUT, group, time_ms, 0);
}

void audio_group_fade_to(std::uint32_t group, std::int32_t volume, std::int32_t time_ms)
{
    post_group_command(AUDIO_CMD_GROUP_FADE_TO, group, volume, time_ms);
}

void audio_stop_groups(bool all)
{
    AudioLock lock;
    for (std::uint32_t i = 0; i < g_audio_group_count; ++i)
        if (all || !(g_audio_groups[i].def.flags & SOUND_GROUP_KEEP))
            audio_group_fade_out(g_audio_groups[i], AUDIO_STOP_GROUPS_FADE_MS);
}

void audio_set_bgm_volume(std::int32_t volume)
{
    if (!g_ds) return;
    g_audio_bgm_volume.store(volume);
    for (auto& stream : g_audio_streams)
        if (stream) stream->ApplyVolume();
}

void audio_set_effect_volume(std::int32_t volume)
{
    if (!g_ds) return;
    g_audio_effect_volume.store(volume);
    for (std::uint32_t i = 0; i < g_audio_group_count; ++i)
        audio_group_apply_volume(g_audio_groups[i]);
}

std::int32_t audio_bgm_volume()
{
    return g_audio_bgm_volume.load();
}

std::int32_t audio_effect_volume()
{
    return g_audio_effect_volume.load();
}

std::int32_t audio_volume_to_db(std::int32_t volume, std::int32_t master)
{
    // Clamped so that no input can ask for more than full volume, which DirectSound refuses.
    float v = static_cast<float>(std::clamp(volume, 0, AUDIO_VOLUME_MAX));
    float m = static_cast<float>(std::clamp(master, 0, AUDIO_VOLUME_MAX));
    float c = std::max(0.0f, v * 6000.0f / 1024.0f - 2000.0f);
    float d = std::pow(10.0f, c / 2000.0f) * m / 1024.0f;
    if (d < 1e-6f) return DSBVOLUME_MIN;
    return -4000 - static_cast<std::int32_t>(std::log10(d) * -20.0f * 100.0f);
}

void audio_pause_all(bool resume)
{
    if (!g_ds) return;
    if (!resume) {
        if (g_eax_listener.property_set && !g_audio_paused) {
            g_audio_resume_preset = g_eax_listener.last_preset;
            audio_eax_apply_preset(EAX_PRESET_NEUTRAL, g_eax_listener);
        }
        if (!g_audio_thread || g_audio_paused) return;
        {
            AudioLock lock;
            for (std::uint32_t i : {1u, 0u}) {
                g_audio_resume_stream[i] = g_audio_streams[i]->IsPlaying();
                g_audio_streams[i]->Stop();
            }
            g_audio_paused = true;
        }
        g_audio_control.fetch_or(AUDIO_CONTROL_SUSPEND);
        return;
    }
    g_ds->Compact();
    if (g_eax_listener.property_set) audio_eax_apply_preset(g_audio_resume_preset, g_eax_listener);
    if (!g_audio_thread) return;
    {
        AudioLock lock;
        for (std::uint32_t i : {1u, 0u})
            if (g_audio_resume_stream[i]) g_audio_streams[i]->Resume();
        g_audio_resume_stream[0] = g_audio_resume_stream[1] = false;
        g_audio_paused = false;
    }
    g_audio_control.fetch_and(~AUDIO_CONTROL_SUSPEND);
    ResumeThread(g_audio_thread);
}

void audio_cmd_stream_start(SoundStream_OggVorbis& stream, bool loop)
{
    StreamFade& fade = stream.Fade();
    fade.duration = 0;
    fade.volume.store(AUDIO_VOLUME_MAX);
    stream.ApplyVolume();
    stream.Play(loop);
}

void audio_cmd_stream_fade(SoundStream_OggVorbis& stream, std::int32_t target, std::int32_t duration_ms)
{
    StreamFade& fade = stream.Fade();
    if (duration_ms <= 0) {
        fade.duration = 0;
        if (stream.IsOpen() && fade.volume.load() != target) {
            fade.volume.store(target);
            stream.ApplyVolume();
        }
        return;
    }
    if (fade.volume.load() == target) return;
    fade.start_volume = fade.volume.load();
    fade.target = target;
    fade.duration = duration_ms;
    fade.start_time = timeGetTime();
}

const AudioParams& audio_params()
{
    return g_audio_params;
}

DWORD audio_tick_time()
{
    return g_audio_tick.load();
}

SoundGroup* audio_group(std::uint32_t index)
{
    return posted_group(index);
}

std::uint32_t audio_group_count()
{
    return g_audio_group_count;
}

SoundStream_OggVorbis* audio_stream(std::uint32_t index)
{
    return index < 2 ? g_audio_streams[index].get() : nullptr;
}

std::uint32_t audio_current_stream()
{
    return g_audio_current_stream;
}

std::uint32_t audio_free_commands()
{
    return g_audio_free_commands;
}

std::span<const AudioCommand, AUDIO_COMMAND_COUNT> audio_commands()
{
    return g_audio_commands;
}

bool audio_thread_running()
{
    return g_audio_thread != nullptr;
}
