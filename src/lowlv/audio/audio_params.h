// The audio settings block the game fills from the [audio] section of "kro_win.ini" and hands to
// the engine start-up, which keeps a copy. A value-initialised block holds the defaults; the
// window handle and the music folder are the game's to fill.
#pragma once

#include "platform/win_types.h"

#include <cstdint>

constexpr std::int32_t AUDIO_VOLUME_MAX = 1024; // volumes run 0..AUDIO_VOLUME_MAX
constexpr std::uint32_t AUDIO_SOUND_GROUP_COUNT = 484;

struct AudioParams {
    HWND window = nullptr;            // for the DirectSound cooperative level
    std::int32_t bgm_volume = 512;    // "BgmVolume": music master volume
    std::int32_t effect_volume = 512; // "EffectVolume": effect master volume
    std::int32_t device = 0;          // "Device": DirectSound device in enumeration order
    std::uint32_t channels = 2;       // primary buffer format (low 16 bits used)
    std::uint32_t sample_rate = 44100;
    std::uint32_t bits_per_sample = 16;
    std::uint32_t sound_groups = AUDIO_SOUND_GROUP_COUNT;
    std::uint8_t reverb = 0;                // "Reverb": EAX reverb wanted
    std::uint8_t no_sound = 0;              // "PlayBgm" and "PlayEffect" both off: no DirectSound at all
    std::uint8_t use_wu_vorbis = 1;         // "UseWuVorbis": try the alternative decoder first
    std::uint8_t force_software_buffer = 0; // "ForceSoftwareSoundBuffer"
    char music_dir[MAX_PATH] = {};          // "<current directory>\release\music\"
};

// What the voices and streams read back from the audio manager, which owns the values; declared
// here so that they depend only on this header, not on the manager's.
const AudioParams& audio_params();
DWORD audio_tick_time(); // timeGetTime when the audio thread last took the lock
std::int32_t audio_bgm_volume();
std::int32_t audio_effect_volume();
// Hundredths of a decibel for a volume and a master volume, both 0..1024: 0 at (1024, 1024),
// -3000 at (512, 1024), -4000 for volumes up to 341, -10000 (silence) at master 0.
std::int32_t audio_volume_to_db(std::int32_t volume, std::int32_t master);
