// DirectSound start-up on the configured output device, the primary buffer's format, the 3-D
// listener, the effect-buffer placement decision, and EAX 2.0 / 1.0 detection with environment
// presets. The EAX detection needs only a DirectSound object, so the configuration program can
// use it without the audio manager.
#pragma once

#include "lowlv/audio/audio_params.h"
#include "platform/dsound.h"
#include "platform/win_types.h"

#include <atomic>
#include <cstdint>

// EAX levels.
constexpr int EAX_LEVEL_NONE = 0;
constexpr int EAX_LEVEL_1 = 256;
constexpr int EAX_LEVEL_2 = 512;

// An EAX environment: the index in the EAX environment list and the environment size (stored
// with the listener, never sent).
struct EaxPreset {
    std::uint32_t environment;
    float size;
};
constexpr EaxPreset EAX_PRESET_NEUTRAL = {0, 1.0f};

// One property set; Release (and the destructor) release it and clear the pointer.
class EAXInterface {
public:
    virtual ~EAXInterface();
    virtual void Release();
    IKsPropertySet* property_set = nullptr;
};

// The one listener object: a non-null property set means EAX works. The temporary detection
// buffer and its 3-D interface stay with it until Release, which first applies the neutral
// preset when EAX works.
class EAXListener : public EAXInterface {
public:
    ~EAXListener() override;
    void Release() override;
    EaxPreset last_preset{};
    IDirectSoundBuffer* temp_buffer = nullptr;
    IDirectSound3DBuffer* temp_buffer_3d = nullptr;
};

// The property set of one voice and its source settings (zeroed).
class EAXSource : public EAXInterface {
public:
    std::uint8_t settings[52] = {};
};

// Module state.
extern IDirectSound8* g_ds;                     // null: no sound
extern IDirectSound3DListener8* g_ds_listener;  // the primary buffer's listener
extern bool g_ds_static_buffers;                // effect buffers are made DSBCAPS_STATIC
extern std::atomic<bool> g_ds_listener_pending; // deferred 3-D settings await the commit
extern DS3DLISTENER g_ds_listener_params;
extern int g_eax_level; // EAX_LEVEL_*
extern EAXListener g_eax_listener;

namespace DSound {
// Creates DirectSound on the "Device"-th output device (none there: success, sound off), sets
// the primary format, the listener and, with "Reverb", EAX with the neutral preset; starts the
// primary buffer. A failure returns that call's result code.
HRESULT Initialize(const AudioParams& params);
// After the audio manager's shutdown: the EAX listener, the 3-D listener, then DirectSound.
void Shutdown();
} // namespace DSound

// The camera's listener: the position and a heading in radians (front = (cos, 0, sin) of the
// heading on the 256-step table); set deferred, committed by the audio thread.
void audio_set_listener(const D3DVECTOR& position, float heading);
// On the audio thread: commits the deferred 3-D settings when some are pending.
void audio_commit_listener();

// Detects EAX with a temporary mono buffer at the given bits and rate: EAX 2.0 through its 3-D
// buffer's property set, else EAX 1.0 through the buffer's own; sets g_eax_level and leaves the
// property set (or none) with the listener. Returns the temporary buffer's creation result.
HRESULT audio_eax_create(IDirectSound8* sound, DWORD bits_per_sample, DWORD sample_rate,
                         EAXListener& listener);
// Stores the preset and sends its environment (EAX 1.0: with volume 0.2; EAX 2.0: with reverb
// 125). Nothing without a property set.
void audio_eax_apply_preset(const EaxPreset& preset, EAXListener& listener);
// A voice's property set: from its 3-D buffer at EAX 2.0, else from the buffer. E_FAIL without
// EAX or when neither gives one.
HRESULT audio_eax_source_create(IDirectSound3DBuffer* buffer_3d, IDirectSoundBuffer* buffer,
                                EAXSource& source);
