// Seams through which tests steer and inspect the DirectSound stand-in. Game code never calls
// these. dsound_seam_reset restores every default but the loopback clock, which only runs on.
#pragma once

#include "platform/dsound.h"

#include <cstdint>
#include <vector>

// Devices created while this is on render through OpenAL Soft's loopback device: nothing plays
// until dsound_seam_render mixes an exact number of frames, on the same feeding and cursor code
// path as a real device (which a thread of the stand-in feeds in real time).
void dsound_seam_use_loopback(bool on);
// Loopback: feeds and mixes exactly `frames` frames (at the primary buffer's rate) on every
// open device; with `output`, the mix of the last device opened is appended to it (samples in the
// primary buffer's format).
void dsound_seam_render(std::uint32_t frames, std::vector<std::uint8_t>* output = nullptr);
// Loopback: renders the frames of `ms` more milliseconds of the audio clock (without drift).
void dsound_seam_advance_ms(DWORD ms);
// Loopback: the audio clock in milliseconds; hand it to seam_set_clock so that timeGetTime and
// the sound cursors run on one clock.
DWORD dsound_seam_clock_ms();

// The hardware voices devices created from now on offer (default 64), and whether hardware
// takes streaming buffers (false: only DSBCAPS_STATIC buffers go to hardware, and the caps
// report no hardware streaming buffers).
void dsound_seam_set_hardware(DWORD voices, bool streaming);
// The EAX version the property sets report: 2 (EAX 2.0 and 1.0 sets, the default), 1 (only the
// EAX 1.0 sets) or 0 (none, as on a device without EFX).
void dsound_seam_set_eax(int version);
// The next `times` calls of the named stand-in call fail with `code`: "DirectSoundCreate8",
// "SetCooperativeLevel", "CreateSoundBuffer", "SetFormat", "GetCaps", "QueryInterface",
// "SetAllParameters", "CommitDeferredSettings", "DuplicateSoundBuffer", "Play", "Lock".
void dsound_seam_fail(const char* call, HRESULT code, int times = 1);
// Every secondary buffer of every device is lost (its memory zeroed, playback stopped), as
// when another application takes the sound hardware.
void dsound_seam_lose_buffers();
// The next `times` Restore calls fail with DSERR_BUFFERLOST (the hardware is still taken).
void dsound_seam_fail_restores(int times);
void dsound_seam_reset();

// What OpenAL holds for a secondary buffer, read back from OpenAL (coordinates as OpenAL's,
// that is with z negated). `has_source` is false while the buffer holds no OpenAL source.
struct DsoundSeamSource {
    bool has_source;
    bool playing; // the OpenAL source is playing
    bool hardware;
    bool reverb_send; // the auxiliary send is connected to the reverb slot
    float gain;
    float pitch;
    bool relative;
    float position[3];
    float velocity[3];
    float direction[3];
    float reference_distance;
    float max_distance;
    float rolloff_factor;
    float cone_inner, cone_outer, cone_outer_gain;
};
bool dsound_seam_source(IDirectSoundBuffer* buffer, DsoundSeamSource* out);

struct DsoundSeamListener {
    float position[3];
    float velocity[3];
    float orientation[6]; // at, then up
    float gain;
    float doppler_factor;
    float speed_of_sound;
    int distance_model; // the OpenAL enum value
};
bool dsound_seam_listener(IDirectSound8* sound, DsoundSeamListener* out);

// The reverb on a device's auxiliary slot, read back from OpenAL's effect.
struct DsoundSeamReverb {
    bool present; // the device has EFX and a reverb slot
    float slot_gain;
    float density, diffusion, gain, gain_hf, decay_time, decay_hf_ratio;
    float reflections_gain, reflections_delay, late_reverb_gain, late_reverb_delay;
    float air_absorption_gain_hf, room_rolloff_factor;
    bool decay_hf_limit;
};
bool dsound_seam_reverb(IDirectSound8* sound, DsoundSeamReverb* out);

// The primary buffer's format: the mixing format.
bool dsound_seam_mix_format(IDirectSound8* sound, WAVEFORMATEX* out);
