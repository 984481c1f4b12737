// The DirectSound stand-in's own objects, shared by its source files. Not for game code.
#pragma once

#include "platform/dsound.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx-presets.h>
#include <AL/efx.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class DsDevice;
class DsBuffer;

// One lock for the whole stand-in: OpenAL's current context is a process-wide setting, and the
// platform serialises its calls. Holding it also makes the device's context current.
extern std::recursive_mutex g_ds_mutex;
class DsGuard {
public:
    explicit DsGuard(const DsDevice& device);

private:
    std::lock_guard<std::recursive_mutex> m_lock;
};

// ---- Seams -------------------------------------------------------------------------------------
struct DsSeams {
    bool loopback = false;
    DWORD hardware_voices = 64;
    bool hardware_streaming = true;
    int eax_version = 2;
    int restore_failures = 0;
    DWORD clock_ms = 0; // the loopback audio clock
};
extern DsSeams g_ds_seams; // guarded by g_ds_mutex
// True (and the code) when the named call is scripted to fail now.
bool ds_seam_failure(const char* call, HRESULT* code);
// Every live device, for the seams that act on all of them.
extern std::vector<DsDevice*> g_ds_devices;

// ---- Helpers -----------------------------------------------------------------------------------
float ds_gain_from_millibels(LONG millibels); // -10000 and below: 0
LONG ds_millibels_from_gain(float gain);      // 0 and below: -10000
bool ds_format_valid(const WAVEFORMATEX& format);
ALenum ds_al_format(const WAVEFORMATEX& format);

// The EAX environment of a device, kept as the EAX 2.0 listener record and as the EFX reverb it
// maps onto; the EAX 1.0 reverb volume is the reverb slot's gain.
struct DsReverb {
    EAXLISTENERPROPERTIES eax2{};
    EFXEAXREVERBPROPERTIES efx{};
    float eax1_volume = 1.0f;
};
// The listener record and EFX reverb of environment `index` (< EAX_ENVIRONMENT_COUNT).
void ds_reverb_load_environment(DsReverb& reverb, DWORD index);
// Recomputes the EFX reverb from the EAX 2.0 record.
void ds_reverb_from_eax2(DsReverb& reverb);

// ---- Device ------------------------------------------------------------------------------------
class DsDevice {
public:
    DsDevice(ALCdevice* device, bool loopback);
    ~DsDevice();
    bool open(); // the context, the mixing format and the reverb slot

    ALCdevice* al_device = nullptr;
    ALCcontext* context = nullptr;
    bool loopback = false;
    WAVEFORMATEX mix_format{};
    DWORD level = 0; // cooperative level, 0 until set
    DWORD hardware_voices = 0;
    DWORD hardware_used = 0;
    bool hardware_streaming = true;
    int eax_version = 0; // 0 without EFX
    ALuint reverb_slot = 0;
    ALuint reverb_effect = 0;
    DsReverb reverb;
    DS3DLISTENER listener{};
    DS3DLISTENER listener_pending{};
    bool listener_deferred = false;
    LONG primary_volume = 0;
    bool primary_playing = false;
    std::vector<DsBuffer*> buffers; // every live secondary buffer
    std::vector<ALuint> idle_sources;
    DWORD clock_origin_ms = 0;      // the loopback clock when the rate was last set
    std::uint64_t clock_frames = 0; // frames rendered for the clock since then

    // Hardware voices: a static buffer may take one whenever one is free; a streaming one only
    // when the hardware takes streaming buffers.
    bool take_hardware_voice(bool static_buffer);
    void give_hardware_voice();
    ALuint take_source(); // 0 when OpenAL has no more
    void give_source(ALuint source);
    HRESULT set_mix_format(const WAVEFORMATEX& format);
    void apply_listener();
    void apply_reverb();
    void commit_deferred();
    void service_buffers();
    void wake_pump(); // a buffer started playing
    // Loopback: mixes exactly `frames`, appending the mix to `output` when given.
    void render(std::uint32_t frames, std::vector<std::uint8_t>* output = nullptr);
    void render_clock();
    void compact();

private:
    void pump_main();
    std::thread m_pump; // feeds the playing buffers of a real device
    bool m_pump_stop = false;
    std::condition_variable_any m_pump_wake;
};

// ---- Secondary buffers -------------------------------------------------------------------------
struct DsSamples {
    std::vector<std::uint8_t> bytes;
    WAVEFORMATEX format{};
};

// One range of the sample memory queued on the OpenAL source.
struct DsChunk {
    ALuint name;
    DWORD start;
    DWORD bytes;
};

class DsBuffer final : public IDirectSoundBuffer {
public:
    DsBuffer(std::shared_ptr<DsDevice> device, std::shared_ptr<DsSamples> samples, DWORD flags,
             bool hardware);
    ~DsBuffer();
    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCaps(DSBCAPS* caps) override;
    HRESULT GetCurrentPosition(DWORD* play_cursor, DWORD* write_cursor) override;
    HRESULT GetVolume(LONG* volume) override;
    HRESULT GetPan(LONG* pan) override;
    HRESULT GetFrequency(DWORD* frequency) override;
    HRESULT GetStatus(DWORD* status) override;
    HRESULT Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2, DWORD* bytes2,
                 DWORD flags) override;
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT SetCurrentPosition(DWORD position) override;
    HRESULT SetFormat(const WAVEFORMATEX* format) override;
    HRESULT SetVolume(LONG volume) override;
    HRESULT SetPan(LONG pan) override;
    HRESULT SetFrequency(DWORD frequency) override;
    HRESULT Stop() override;
    HRESULT Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2) override;
    HRESULT Restore() override;

    // The stand-in's side.
    HRESULT duplicate(DsBuffer** copy);
    void service(); // feeds the source, follows its progress, notices the end
    void lose();
    void apply_3d(); // the committed 3-D settings and the volume, onto the source
    void apply_eax();
    bool eax_capable() const; // the EAX sets act on this buffer
    bool reverb_send() const;
    DsDevice& device() const { return *m_device; }
    ALuint source() const { return m_source; }
    bool hardware() const { return m_hardware; }
    DWORD flags() const { return m_flags; }

    DS3DBUFFER params{};
    DS3DBUFFER params_pending{};
    bool params_deferred = false;
    EAXBUFFERPROPERTIES eax2{};
    float eax1_mix = EAX_REVERBMIX_USEDISTANCE;

private:
    class Part3D;
    class PartProperties;

    DWORD size() const { return static_cast<DWORD>(m_samples->bytes.size()); }
    DWORD play_cursor();
    void stop_source();
    void apply_gain();
    void apply_flat();
    bool muted_by_distance() const;

    std::atomic<ULONG> m_refs{1};
    std::shared_ptr<DsDevice> m_device;
    std::shared_ptr<DsSamples> m_samples;
    DWORD m_flags;
    bool m_hardware;
    bool m_lost = false;
    bool m_playing = false;
    bool m_looping = false;
    bool m_fed_to_end = false;
    DWORD m_position = 0; // the play cursor while stopped, the head of the queue while playing
    DWORD m_feed = 0;     // where the next chunk starts
    LONG m_volume = 0;
    LONG m_pan = 0;
    DWORD m_frequency = 0; // 0: the format's rate
    ALuint m_source = 0;
    std::vector<DsChunk> m_queue;
    std::vector<ALuint> m_spare;
    ALuint m_direct_filter = 0;
    ALuint m_send_filter = 0;
    int m_locks = 0;
    std::unique_ptr<Part3D> m_3d;
    std::unique_ptr<PartProperties> m_properties;
};

// The property sets of a buffer, on the device's reverb and the buffer's sends.
HRESULT ds_property_get(DsBuffer& buffer, const GUID& set, ULONG id, void* data, ULONG length,
                        ULONG* returned);
HRESULT ds_property_set(DsBuffer& buffer, const GUID& set, ULONG id, const void* data, ULONG length);
HRESULT ds_property_support(DsBuffer& buffer, const GUID& set, ULONG id, ULONG* support);

// The device behind a DirectSound object of this stand-in, else null.
DsDevice* ds_device_of(IDirectSound8* sound);

// The primary buffer of a device (and its listener), handed out again while referenced.
IDirectSoundBuffer* ds_primary_acquire(const std::shared_ptr<DsDevice>& device, DWORD flags);
