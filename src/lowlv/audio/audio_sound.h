// Sound groups: one RIFF WAVE sample in one sound buffer, played by a fixed number of voices
// that are duplicates sharing its memory. Groups are flat or 3-D, looping or one-shot, single-
// voice or polyphonic with stealing after a minimum play time, and fade in 16-ms steps.
// Loading and restoring run on the main thread; play, update and fades on the audio thread.
#pragma once

#include "lowlv/audio/audio_dsound.h"
#include "platform/dsound.h"
#include "platform/win_types.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Buffer flags of a group description.
constexpr DWORD SOUND_BUFFER_PLAIN = DSBCAPS_CTRLVOLUME;
constexpr DWORD SOUND_BUFFER_3D = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRL3D | DSBCAPS_MUTE3DATMAXDISTANCE;

// Group flags.
constexpr std::uint32_t SOUND_GROUP_LOOP = 0x1;
constexpr std::uint32_t SOUND_GROUP_EAX = 0x2;    // each voice gets an EAX source
constexpr std::uint32_t SOUND_GROUP_SINGLE = 0x4; // one voice, never taken over
constexpr std::uint32_t SOUND_GROUP_KEEP = 0x8;   // survives a scene change's fade
constexpr std::uint32_t SOUND_GROUP_PRELOAD = 0x10;
constexpr std::uint32_t SOUND_GROUP_TRY_HARDWARE = 0x20;
constexpr std::uint32_t SOUND_GROUP_SOFTWARE = 0x40;
constexpr std::uint32_t SOUND_GROUP_LOADED = 0x80;
constexpr std::uint32_t SOUND_GROUP_FAILED = 0x8000;

// What the sound table hands to audio_group_load; the group keeps a copy.
struct SoundGroupDef {
    std::uint32_t buffer_flags; // SOUND_BUFFER_PLAIN or SOUND_BUFFER_3D; placement is added on load
    std::uint32_t voice_count;  // 0 counts as 1
    std::uint32_t flags;        // SOUND_GROUP_*
    std::uint32_t index;        // the effect id
    std::uint32_t min_play_ms;  // before a playing voice may be taken over
    char wav_path[80];          // in the archive
    float min_distance;
    float max_distance;
};
static_assert(sizeof(SoundGroupDef) == 108);

constexpr std::uint32_t VOICE_IDLE = 0;
constexpr std::uint32_t VOICE_START_PENDING = 1;
constexpr std::uint32_t VOICE_STARTED = 2;

// One voice. The fade and state words are written by the audio thread and by
// audio_stop_groups (under the audio lock) and read by the main thread without it.
struct SoundVoice {
    IDirectSoundBuffer* buffer = nullptr;
    IDirectSound3DBuffer* buffer_3d = nullptr; // 3-D groups only
    DS3DBUFFER params{};
    std::atomic<std::int32_t> volume{1024}; // current, 0..1024
    std::atomic<std::int32_t> target{1024};
    std::atomic<std::int32_t> step{0}; // per audio tick
    std::atomic<DWORD> start_time{0};  // audio tick time of the play
    std::atomic<std::uint32_t> state{VOICE_IDLE};
    bool loop = false;
    std::atomic<bool> stop_at_fade_end{false};
    EAXSource eax;
};

struct SoundGroup {
    std::unique_ptr<SoundVoice[]> voices; // null until loaded
    SoundGroupDef def{};                  // after loading: the real voice count and buffer flags
    std::atomic<bool> requested{false};   // a play is posted and not yet run
};

// A RIFF WAVE file read whole: its bytes, the "fmt " chunk copied into a zeroed format record,
// and where the "data" chunk lies in the bytes.
struct WavImage {
    std::vector<std::uint8_t> file;
    WAVEFORMATEX format{};
    std::uint32_t data_offset = 0;
    std::uint32_t data_size = 0;
    std::span<const std::uint8_t> Data() const { return {file.data() + data_offset, data_size}; }
};

// Takes the first "fmt " (at least 14 bytes) and the first "data" chunk, walking no further than
// the file and the RIFF size allow. False for a bad header, a missing or short "fmt ", a missing
// "data", or either of them not whole in the file.
bool wav_parse(std::span<const std::uint8_t> file, WAVEFORMATEX& format, std::uint32_t& data_offset,
               std::uint32_t& data_size);
// Reads the archive entry whole and parses it: ERR_OPEN_FILE when missing, E_FAIL when malformed.
HRESULT wav_load(WavImage& image, const char* path);

// Loads the WAV and makes the voices (a hardware buffer first when the group asks, else the
// placement the device and settings call for). A failure leaves the group without voices.
HRESULT audio_group_load(SoundGroup& group, IDirectSound8* sound, const SoundGroupDef& def);
// Copies the samples into the buffer, restoring it once when it was lost.
HRESULT audio_buffer_fill(IDirectSoundBuffer* buffer, const WavImage& image);
// Restores lost voices and reloads the sample; E_FAIL for a group never loaded or a buffer that
// cannot be restored within 100 tries.
HRESULT audio_group_restore(SoundGroup& group);
// The first voice not playing; else, unless single-voice, the oldest voice that has played its
// minimum time; else -1.
int audio_group_pick_voice(const SoundGroup& group, DWORD now);
// On the audio thread: starts a voice on the next update, at a 3-D position when one is given.
void audio_group_play(SoundGroup& group, bool loop, std::int32_t volume, const D3DVECTOR* position);
// On the audio thread, every pass: fade steps, pending starts and fade-end stops.
void audio_group_update(SoundGroup& group);
// Fades every voice to 0 over `time_ms` (0 counts as 1); started voices stop at the end.
void audio_group_fade_out(SoundGroup& group, std::int32_t time_ms);
// Fades every voice to `target` over `time_ms`; started voices keep playing.
void audio_cmd_group_fade_to(SoundGroup& group, std::int32_t target, std::int32_t time_ms);
// A play is posted, or a voice plays and (time 0, or it started less than `time_ms` ago).
bool audio_group_is_playing(const SoundGroup& group, DWORD time_ms);
// Re-applies the effect master volume to every started voice.
void audio_group_apply_volume(SoundGroup& group);
// Releases the voices and clears the group flags.
void audio_group_free(SoundGroup& group);
