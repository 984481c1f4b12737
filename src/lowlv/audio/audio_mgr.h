// The audio manager: two music streams, the sound groups, a table of 64 commands, the two master
// volumes and the audio thread. Game code posts commands (start, stop or fade music; play a
// group's voice, flat or at a 3-D position; fade a group) under the audio lock; every 16 ms the
// audio thread runs at most one due command, commits deferred 3-D settings, advances the groups
// and refills both streams. The audio lock is the program's only lock.
//
// Start-up and shutdown, in the engine's order: DSound::Initialize, AudioMgr::Initialize ...
// audio_shutdown, DSound::Shutdown. Deactivation and activation: audio_pause_all(false / true).
#pragma once

#include "lowlv/audio/audio_params.h"
#include "lowlv/audio/audio_sound.h"
#include "lowlv/audio/audioss_ogg.h"
#include "platform/dsound.h"
#include "platform/win_types.h"

#include <cstdint>
#include <span>

// Command types; 0 marks a free record.
constexpr std::uint32_t AUDIO_CMD_FREE = 0;
constexpr std::uint32_t AUDIO_CMD_STREAM_START = 1;   // stream; param1 bit 0 loop; name
constexpr std::uint32_t AUDIO_CMD_STREAM_STOP = 2;    // stream
constexpr std::uint32_t AUDIO_CMD_STREAM_FADE = 3;    // stream; param1 target volume; param2 ms
constexpr std::uint32_t AUDIO_CMD_PLAY = 4;           // group; param1 loop; param2 volume
constexpr std::uint32_t AUDIO_CMD_PLAY_AT = 5;        // group; param1 loop; position
constexpr std::uint32_t AUDIO_CMD_GROUP_FADE_OUT = 6; // group; param1 ms
constexpr std::uint32_t AUDIO_CMD_GROUP_FADE_TO = 7;  // group; param1 target volume; param2 ms

constexpr std::size_t AUDIO_COMMAND_COUNT = 64;
constexpr std::size_t AUDIO_MUSIC_NAME_SIZE = 108;
constexpr DWORD AUDIO_THREAD_PERIOD_MS = 16;
constexpr DWORD AUDIO_SHUTDOWN_WAIT_MS = 500;
constexpr std::int32_t AUDIO_STOP_GROUPS_FADE_MS = 1500;
constexpr std::uint32_t AUDIO_MUSIC_PREREAD_SIZE = 16384;
constexpr DWORD AUDIO_MUSIC_BUFFER_FLAGS =
    DSBCAPS_LOCSOFTWARE | DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2;

// The audio thread's control word.
constexpr DWORD AUDIO_CONTROL_EXIT = 0x1;
constexpr DWORD AUDIO_CONTROL_SUSPEND = 0x2;

struct AudioCommand {
    std::uint32_t type;
    std::uint32_t post_time; // timeGetTime at the post
    std::uint32_t delay;     // ms; 0 = due at once
    std::uint32_t target;    // stream 0 or 1, or group index
    std::int32_t param1;
    union {
        std::int32_t param2;
        float position[3];
        char name[AUDIO_MUSIC_NAME_SIZE]; // the music's name, kept for reference
    };
};
static_assert(sizeof(AudioCommand) == 128);

namespace AudioMgr {
// Does nothing without DirectSound. Binds the music decoder (throws RuntimeError when none can
// be loaded), makes the streams and groups, sets the master volumes and starts the audio thread
// at time-critical priority, on the processors of `affinity_mask` when it is not 0. E_FAIL when
// the thread cannot be made.
HRESULT Initialize(const AudioParams& params, DWORD affinity_mask);
} // namespace AudioMgr

// Both streams (stopped, volume 1024) and as many empty groups as the settings ask for.
HRESULT audio_create_streams();
// Closes the streams, stops the thread (500 ms), frees groups and streams, unloads the decoder.
// A thread that does not end in time keeps what it uses: nothing is freed under it.
void audio_shutdown();
HRESULT audio_thread_start();
// Asks the thread to end and waits; WAIT_OBJECT_0, WAIT_TIMEOUT (the thread is left to end on
// its own and can be waited for again) or WAIT_FAILED when there is no thread.
DWORD audio_thread_stop(DWORD timeout_ms);
// One pass of the audio thread without its sleep; the thread runs it every 16 ms.
void audio_thread_pass();

// The audio lock; posting functions take it themselves.
void audio_lock();
void audio_unlock();
// The first free record stamped with type, time, delay and target, or null when all 64 are
// taken. The caller holds the lock and writes the parameters.
AudioCommand* audio_post_command(std::uint32_t type, DWORD delay, std::uint32_t target);

// Music ("<music folder><name>.ogg") on the stream not current, starting on the audio thread;
// `flags` bit 0 loops. Needs 3 free records. A piece that cannot be opened leaves the current
// music as it is.
void audio_music_play(const char* name, std::uint32_t flags);
void audio_music_fade_out(std::int32_t time_ms); // fade to 0, then stop; needs 2 records
void audio_music_fade(std::int32_t volume, std::int32_t time_ms);
// Group posts; indices at or above the group count are ignored.
void audio_play_effect(std::uint32_t group, bool loop, std::int32_t volume);
void audio_play_effect_at(const D3DVECTOR& position, std::uint32_t group, bool loop);
void audio_fade_group(std::uint32_t group, std::int32_t time_ms);
void audio_group_fade_to(std::uint32_t group, std::int32_t volume, std::int32_t time_ms);
// Not queued: fades every group out over 1.5 s, or only those without the keep flag.
void audio_stop_groups(bool all);

void audio_set_bgm_volume(std::int32_t volume);
void audio_set_effect_volume(std::int32_t volume);

// Deactivation (false): neutral EAX, the playing streams stopped, the thread suspends itself
// after its pass. Activation (true): DirectSound compacted, the EAX preset of before, those
// streams resumed, the thread resumed.
void audio_pause_all(bool resume);

// Command actions on the audio thread.
void audio_cmd_stream_start(SoundStream_OggVorbis& stream, bool loop);
void audio_cmd_stream_fade(SoundStream_OggVorbis& stream, std::int32_t target, std::int32_t duration_ms);

// State for the sound table, the event scripts and tests.
SoundGroup* audio_group(std::uint32_t index); // null out of range or before start-up
std::uint32_t audio_group_count();
SoundStream_OggVorbis* audio_stream(std::uint32_t index); // 0 or 1; null before start-up
std::uint32_t audio_current_stream();
std::uint32_t audio_free_commands();
std::span<const AudioCommand, AUDIO_COMMAND_COUNT> audio_commands();
bool audio_thread_running();
