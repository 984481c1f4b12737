#include "platform/dsound.h"

#include "platform/impl/dsound_internal.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IID_IDirectSound8 = {0xC50A7E93, 0xF395, 0x4834, {0x9E, 0xF6, 0x7F, 0xA9, 0x9D, 0xE5, 0x09, 0x66}};
const GUID IID_IDirectSoundBuffer = {
    0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectSoundBuffer8 = {
    0x6825A449, 0x7524, 0x4D82, {0x92, 0x0F, 0x50, 0xE3, 0x6A, 0xB3, 0xAB, 0x1E}};
const GUID IID_IDirectSound3DListener = {
    0x279AFA84, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectSound3DBuffer = {
    0x279AFA86, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IKsPropertySet = {
    0x31EFAC30, 0x515C, 0x11D0, {0xA9, 0xAA, 0x00, 0xAA, 0x00, 0x61, 0xBE, 0x93}};

std::recursive_mutex g_ds_mutex;
std::vector<DsDevice*> g_ds_devices;

namespace {

// The mixer's refresh: OpenAL mixes 10 ms at a time, the feed keeps a few chunks ahead.
constexpr ALCint k_refresh_hz = 100;
constexpr auto k_pump_period = std::chrono::milliseconds(3);
constexpr std::uint32_t k_render_slice = 256; // loopback frames mixed between two feeds

std::vector<std::string> output_device_names()
{
    const ALCchar* list = alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT")
                              ? alcGetString(nullptr, ALC_ALL_DEVICES_SPECIFIER)
                              : alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
    std::vector<std::string> names;
    for (; list && *list; list += std::strlen(list) + 1)
        names.emplace_back(list);
    return names;
}

// A stable identifier per device name (FNV-1a over the name, shaped as a random-form GUID).
GUID guid_from_name(const std::string& name)
{
    std::uint64_t halves[2] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};
    for (auto& hash : halves)
        for (unsigned char c : name)
            hash = (hash ^ c) * 0x100000001B3ull;
    GUID guid{};
    guid.Data1 = static_cast<std::uint32_t>(halves[0]);
    guid.Data2 = static_cast<std::uint16_t>(halves[0] >> 32);
    guid.Data3 = static_cast<std::uint16_t>(((halves[0] >> 48) & 0x0FFF) | 0x4000);
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<std::uint8_t>(halves[1] >> (8 * i));
    guid.Data4[0] = static_cast<std::uint8_t>((guid.Data4[0] & 0x3F) | 0x80);
    return guid;
}

bool valid_factor(float value, float low, float high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

class DsDirectSound final : public IDirectSound8 {
public:
    explicit DsDirectSound(std::shared_ptr<DsDevice> device) : m_device(std::move(device)) {}

    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object) return DSERR_INVALIDPARAM;
        *object = nullptr;
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IDirectSound8)) return DSERR_NOINTERFACE;
        AddRef();
        *object = static_cast<IDirectSound8*>(this);
        return DS_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                              IUnknown* outer) override;
    HRESULT GetCaps(DSCAPS* caps) override;
    HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** duplicate) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override
    {
        DsGuard guard(*m_device);
        HRESULT code;
        if (ds_seam_failure("SetCooperativeLevel", &code)) return code;
        if (!window || level < DSSCL_NORMAL || level > DSSCL_EXCLUSIVE) return DSERR_INVALIDPARAM;
        m_device->level = level;
        return DS_OK;
    }
    HRESULT Compact() override
    {
        DsGuard guard(*m_device);
        if (m_device->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        m_device->compact();
        return DS_OK;
    }

    DsDevice& device() const { return *m_device; }

private:
    ~DsDirectSound() = default;
    HRESULT create_secondary(const DSBUFFERDESC& desc, IDirectSoundBuffer** buffer);

    std::atomic<ULONG> m_refs{1};
    std::shared_ptr<DsDevice> m_device;
};

constexpr DWORD k_location_flags = DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE | DSBCAPS_LOCDEFER;
constexpr DWORD k_primary_flags =
    DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME | DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE;

HRESULT DsDirectSound::CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer,
                                         IUnknown* outer)
{
    if (!desc || !buffer) return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (desc->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    HRESULT code;
    if (ds_seam_failure("CreateSoundBuffer", &code)) return code;
    if (m_device->level == 0) return DSERR_PRIOLEVELNEEDED;
    if (!(desc->dwFlags & DSBCAPS_PRIMARYBUFFER)) return create_secondary(*desc, buffer);
    if (desc->dwBufferBytes || desc->lpwfxFormat || (desc->dwFlags & ~k_primary_flags))
        return DSERR_INVALIDPARAM;
    *buffer = ds_primary_acquire(m_device, desc->dwFlags);
    return DS_OK;
}

HRESULT DsDirectSound::create_secondary(const DSBUFFERDESC& desc, IDirectSoundBuffer** buffer)
{
    DWORD flags = desc.dwFlags;
    if (!desc.lpwfxFormat || desc.dwBufferBytes < DSBSIZE_MIN || desc.dwBufferBytes > DSBSIZE_MAX)
        return DSERR_INVALIDPARAM;
    if (!ds_format_valid(*desc.lpwfxFormat)) return DSERR_BADFORMAT;
    DWORD location = flags & k_location_flags;
    if (location & (location - 1)) return DSERR_INVALIDPARAM; // more than one placement
    if ((flags & DSBCAPS_CTRL3D) && ((flags & DSBCAPS_CTRLPAN) || desc.lpwfxFormat->nChannels != 1))
        return DSERR_INVALIDPARAM;
    if (flags & DSBCAPS_CTRLFX) return DSERR_CONTROLUNAVAIL; // no effect chains here
    bool is_static = flags & DSBCAPS_STATIC;
    bool hardware = false;
    if (location == DSBCAPS_LOCHARDWARE) {
        if (!m_device->take_hardware_voice(is_static)) return DSERR_ALLOCATED;
        hardware = true;
    } else if (location == 0) {
        hardware = m_device->take_hardware_voice(is_static);
    }
    auto samples = std::make_shared<DsSamples>();
    samples->format = *desc.lpwfxFormat;
    samples->format.cbSize = 0;
    samples->bytes.assign(desc.dwBufferBytes, samples->format.wBitsPerSample == 8 ? 0x80 : 0);
    *buffer = new DsBuffer(m_device, std::move(samples), flags, hardware);
    return DS_OK;
}

HRESULT DsDirectSound::GetCaps(DSCAPS* caps)
{
    if (!caps || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    HRESULT code;
    if (ds_seam_failure("GetCaps", &code)) return code;
    const DsDevice& device = *m_device;
    *caps = DSCAPS{};
    caps->dwSize = sizeof(DSCAPS);
    caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                    DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO |
                    DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
    caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
    caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
    caps->dwPrimaryBuffers = 1;
    DWORD all = device.hardware_voices;
    DWORD free = all - device.hardware_used;
    DWORD streaming = device.hardware_streaming ? all : 0;
    DWORD free_streaming = device.hardware_streaming ? free : 0;
    caps->dwMaxHwMixingAllBuffers = caps->dwMaxHw3DAllBuffers = all;
    caps->dwMaxHwMixingStaticBuffers = caps->dwMaxHw3DStaticBuffers = all;
    caps->dwMaxHwMixingStreamingBuffers = caps->dwMaxHw3DStreamingBuffers = streaming;
    caps->dwFreeHwMixingAllBuffers = caps->dwFreeHw3DAllBuffers = free;
    caps->dwFreeHwMixingStaticBuffers = caps->dwFreeHw3DStaticBuffers = free;
    caps->dwFreeHwMixingStreamingBuffers = caps->dwFreeHw3DStreamingBuffers = free_streaming;
    return DS_OK;
}

HRESULT DsDirectSound::DuplicateSoundBuffer(IDirectSoundBuffer* original, IDirectSoundBuffer** duplicate)
{
    if (!original || !duplicate) return DSERR_INVALIDPARAM;
    *duplicate = nullptr;
    DsGuard guard(*m_device);
    HRESULT code;
    if (ds_seam_failure("DuplicateSoundBuffer", &code)) return code;
    auto* source = dynamic_cast<DsBuffer*>(original);
    if (!source) return DSERR_INVALIDCALL; // the primary buffer cannot be duplicated
    if (&source->device() != m_device.get()) return DSERR_INVALIDPARAM;
    DsBuffer* copy = nullptr;
    HRESULT result = source->duplicate(&copy);
    *duplicate = copy;
    return result;
}

// The primary buffer: the mixer's output. Its memory is the mixer's own, so positions, locks
// and duplicates are refused as the platform refuses them without write-primary access.
class DsPrimary final : public IDirectSoundBuffer {
public:
    explicit DsPrimary(DsDevice& device) : m_device(device), m_listener(*this) {}

    void acquire(std::shared_ptr<DsDevice> hold, DWORD flags)
    {
        if (m_refs++ == 0) m_hold = std::move(hold);
        m_flags |= flags;
    }

    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        if (!object) return DSERR_INVALIDPARAM;
        *object = nullptr;
        DsGuard guard(m_device);
        HRESULT code;
        if (ds_seam_failure("QueryInterface", &code)) return code;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDirectSoundBuffer))
            *object = static_cast<IDirectSoundBuffer*>(this);
        else if (IsEqualGUID(iid, IID_IDirectSound3DListener) && (m_flags & DSBCAPS_CTRL3D))
            *object = static_cast<IDirectSound3DListener*>(&m_listener);
        else
            return DSERR_NOINTERFACE;
        AddRef();
        return DS_OK;
    }
    ULONG AddRef() override
    {
        std::lock_guard lock(g_ds_mutex);
        return ++m_refs;
    }
    ULONG Release() override
    {
        std::shared_ptr<DsDevice> hold;
        ULONG left;
        {
            std::lock_guard lock(g_ds_mutex);
            left = --m_refs;
            if (left == 0) {
                m_device.primary_playing = false;
                hold = std::move(m_hold); // the device may go with the last reference
            }
        }
        return left;
    }
    HRESULT GetCaps(DSBCAPS* caps) override
    {
        if (!caps || caps->dwSize != sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
        DsGuard guard(m_device);
        *caps = DSBCAPS{sizeof(DSBCAPS), m_flags | DSBCAPS_LOCHARDWARE, primary_bytes(), 0, 0};
        caps->dwFlags &= ~DSBCAPS_LOCSOFTWARE;
        return DS_OK;
    }
    HRESULT GetCurrentPosition(DWORD*, DWORD*) override { return DSERR_INVALIDCALL; }
    HRESULT GetVolume(LONG* volume) override
    {
        if (!volume) return DSERR_INVALIDPARAM;
        DsGuard guard(m_device);
        if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        *volume = m_device.primary_volume;
        return DS_OK;
    }
    HRESULT GetPan(LONG*) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT GetFrequency(DWORD*) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT GetStatus(DWORD* status) override
    {
        if (!status) return DSERR_INVALIDPARAM;
        DsGuard guard(m_device);
        *status = m_device.primary_playing ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
        return DS_OK;
    }
    HRESULT Lock(DWORD, DWORD, void**, DWORD*, void**, DWORD*, DWORD) override
    {
        return DSERR_PRIOLEVELNEEDED;
    }
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override
    {
        DsGuard guard(m_device);
        HRESULT code;
        if (ds_seam_failure("Play", &code)) return code;
        if (reserved || priority || flags != DSBPLAY_LOOPING) return DSERR_INVALIDPARAM;
        m_device.primary_playing = true;
        return DS_OK;
    }
    HRESULT SetCurrentPosition(DWORD) override { return DSERR_INVALIDCALL; }
    HRESULT SetFormat(const WAVEFORMATEX* format) override
    {
        if (!format) return DSERR_INVALIDPARAM;
        DsGuard guard(m_device);
        HRESULT code;
        if (ds_seam_failure("SetFormat", &code)) return code;
        if (m_device.level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        return m_device.set_mix_format(*format);
    }
    HRESULT SetVolume(LONG volume) override
    {
        DsGuard guard(m_device);
        if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        m_device.primary_volume = volume;
        alListenerf(AL_GAIN, ds_gain_from_millibels(volume));
        return DS_OK;
    }
    HRESULT SetPan(LONG) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT SetFrequency(DWORD) override { return DSERR_CONTROLUNAVAIL; }
    HRESULT Stop() override
    {
        DsGuard guard(m_device);
        m_device.primary_playing = false;
        return DS_OK;
    }
    HRESULT Unlock(void*, DWORD, void*, DWORD) override { return DSERR_PRIOLEVELNEEDED; }
    HRESULT Restore() override { return DS_OK; }

private:
    // The listener is the primary buffer seen through another interface: one object, one count.
    class Listener final : public IDirectSound3DListener {
    public:
        explicit Listener(DsPrimary& owner) : m_owner(owner) {}
        HRESULT QueryInterface(const GUID& iid, void** object) override
        {
            return m_owner.QueryInterface(iid, object);
        }
        ULONG AddRef() override { return m_owner.AddRef(); }
        ULONG Release() override { return m_owner.Release(); }
        HRESULT GetAllParameters(DS3DLISTENER* listener) override
        {
            if (!listener || listener->dwSize != sizeof(DS3DLISTENER)) return DSERR_INVALIDPARAM;
            DsGuard guard(m_owner.m_device);
            *listener = m_owner.m_device.listener;
            return DS_OK;
        }
        HRESULT SetAllParameters(const DS3DLISTENER* listener, DWORD apply) override;
        HRESULT CommitDeferredSettings() override
        {
            DsGuard guard(m_owner.m_device);
            HRESULT code;
            if (ds_seam_failure("CommitDeferredSettings", &code)) return code;
            m_owner.m_device.commit_deferred();
            return DS_OK;
        }

    private:
        DsPrimary& m_owner;
    };

    DWORD primary_bytes() const
    {
        DWORD tenth = m_device.mix_format.nAvgBytesPerSec / 10;
        return tenth - tenth % m_device.mix_format.nBlockAlign;
    }

    DsDevice& m_device;
    Listener m_listener;
    ULONG m_refs = 0;
    DWORD m_flags = 0;
    std::shared_ptr<DsDevice> m_hold; // while the application holds the primary buffer
};

HRESULT DsPrimary::Listener::SetAllParameters(const DS3DLISTENER* listener, DWORD apply)
{
    if (!listener || listener->dwSize != sizeof(DS3DLISTENER)) return DSERR_INVALIDPARAM;
    DsGuard guard(m_owner.m_device);
    HRESULT code;
    if (ds_seam_failure("SetAllParameters", &code)) return code;
    if (!valid_factor(listener->flDistanceFactor, 1e-30f, 1e30f) ||
        !valid_factor(listener->flRolloffFactor, 0.0f, 10.0f) ||
        !valid_factor(listener->flDopplerFactor, 0.0f, 10.0f) || apply > DS3D_DEFERRED)
        return DSERR_INVALIDPARAM;
    DsDevice& device = m_owner.m_device;
    if (apply == DS3D_DEFERRED) {
        device.listener_pending = *listener;
        device.listener_deferred = true;
    } else {
        device.listener = *listener;
        device.apply_listener();
    }
    return DS_OK;
}

} // namespace

namespace {
// The primary object of each device lives as long as its device; while the application holds
// it, it holds the device.
std::vector<std::pair<const DsDevice*, std::unique_ptr<DsPrimary>>> g_primaries;

DsPrimary& primary_of(DsDevice& device)
{
    for (auto& [owner, primary] : g_primaries)
        if (owner == &device) return *primary;
    g_primaries.emplace_back(&device, std::make_unique<DsPrimary>(device));
    return *g_primaries.back().second;
}

void forget_primary(const DsDevice& device)
{
    std::erase_if(g_primaries, [&](const auto& entry) { return entry.first == &device; });
}
} // namespace

DsDevice* ds_device_of(IDirectSound8* sound)
{
    auto* object = dynamic_cast<DsDirectSound*>(sound);
    return object ? &object->device() : nullptr;
}

IDirectSoundBuffer* ds_primary_acquire(const std::shared_ptr<DsDevice>& device, DWORD flags)
{
    DsPrimary& primary = primary_of(*device);
    primary.acquire(device, flags);
    return &primary;
}

WAVEFORMATEX dsound_pcm_format(WORD channels, DWORD rate, WORD bits)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

DsGuard::DsGuard(const DsDevice& device) : m_lock(g_ds_mutex)
{
    if (alcGetCurrentContext() != device.context) alcMakeContextCurrent(device.context);
}

float ds_gain_from_millibels(LONG millibels)
{
    if (millibels <= DSBVOLUME_MIN) return 0.0f;
    return std::pow(10.0f, static_cast<float>(millibels) / 2000.0f);
}

LONG ds_millibels_from_gain(float gain)
{
    if (gain <= 0.0f) return DSBVOLUME_MIN;
    return std::max<LONG>(DSBVOLUME_MIN, std::lround(2000.0f * std::log10(gain)));
}

bool ds_format_valid(const WAVEFORMATEX& format)
{
    return format.wFormatTag == WAVE_FORMAT_PCM && (format.nChannels == 1 || format.nChannels == 2) &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           format.nSamplesPerSec >= DSBFREQUENCY_MIN && format.nSamplesPerSec <= DSBFREQUENCY_MAX &&
           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

ALenum ds_al_format(const WAVEFORMATEX& format)
{
    if (format.nChannels == 1) return format.wBitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    return format.wBitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

// ---- Devices -----------------------------------------------------------------------------------

HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, void* context)
{
    if (!callback) return DSERR_INVALIDPARAM;
    if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
    for (const std::string& name : output_device_names()) {
        GUID guid = guid_from_name(name);
        if (!callback(&guid, name.c_str(), "openal", context)) break;
    }
    return DS_OK;
}

HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** object, IUnknown* outer)
{
    if (!object) return DSERR_INVALIDPARAM;
    *object = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    bool loopback;
    {
        std::lock_guard lock(g_ds_mutex);
        HRESULT code;
        if (ds_seam_failure("DirectSoundCreate8", &code)) return code;
        loopback = g_ds_seams.loopback;
    }
    std::string name;
    if (device) {
        bool found = false;
        for (const std::string& candidate : output_device_names())
            if (IsEqualGUID(guid_from_name(candidate), *device)) {
                name = candidate;
                found = true;
                break;
            }
        if (!found) return DSERR_NODRIVER;
    }
    ALCdevice* al_device =
        loopback ? alcLoopbackOpenDeviceSOFT(nullptr) : alcOpenDevice(name.empty() ? nullptr : name.c_str());
    if (!al_device) return DSERR_NODRIVER;
    auto sound = std::make_shared<DsDevice>(al_device, loopback);
    if (!sound->open()) return DSERR_NODRIVER;
    *object = new DsDirectSound(std::move(sound));
    return DS_OK;
}

// The platform's mixer starts at 22,050 Hz, 8 bits, stereo until the primary format is set.
DsDevice::DsDevice(ALCdevice* device, bool loopback_device)
    : al_device(device), loopback(loopback_device), mix_format(dsound_pcm_format(2, 22050, 8))
{
    std::lock_guard lock(g_ds_mutex);
    hardware_voices = g_ds_seams.hardware_voices;
    hardware_streaming = g_ds_seams.hardware_streaming;
    listener = DS3DLISTENER{sizeof(DS3DLISTENER),
                            {0, 0, 0},
                            {0, 0, 0},
                            {0, 0, 1},
                            {0, 1, 0},
                            DS3D_DEFAULTDISTANCEFACTOR,
                            DS3D_DEFAULTROLLOFFFACTOR,
                            DS3D_DEFAULTDOPPLERFACTOR};
    clock_origin_ms = g_ds_seams.clock_ms;
}

namespace {
std::vector<ALCint> context_attributes(const DsDevice& device)
{
    const WAVEFORMATEX& format = device.mix_format;
    std::vector<ALCint> attributes = {ALC_FREQUENCY, static_cast<ALCint>(format.nSamplesPerSec),
                                      ALC_MAX_AUXILIARY_SENDS, 1};
    if (device.loopback) {
        attributes.insert(attributes.end(),
                          {ALC_FORMAT_CHANNELS_SOFT, format.nChannels == 1 ? ALC_MONO_SOFT : ALC_STEREO_SOFT,
                           ALC_FORMAT_TYPE_SOFT,
                           format.wBitsPerSample == 8 ? ALC_UNSIGNED_BYTE_SOFT : ALC_SHORT_SOFT});
    } else {
        attributes.insert(attributes.end(), {ALC_REFRESH, k_refresh_hz});
    }
    attributes.push_back(0);
    return attributes;
}
} // namespace

bool DsDevice::open()
{
    std::lock_guard lock(g_ds_mutex);
    context = alcCreateContext(al_device, context_attributes(*this).data());
    if (!context) return false;
    alcMakeContextCurrent(context);
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    apply_listener();
    if (g_ds_seams.eax_version > 0 && alcIsExtensionPresent(al_device, "ALC_EXT_EFX")) {
        alGetError();
        alGenAuxiliaryEffectSlots(1, &reverb_slot);
        alGenEffects(1, &reverb_effect);
        if (alGetError() == AL_NO_ERROR) {
            alEffecti(reverb_effect, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
            eax_version = alGetError() == AL_NO_ERROR ? g_ds_seams.eax_version : 0;
        }
        if (eax_version == 0) {
            alDeleteEffects(1, &reverb_effect);
            alDeleteAuxiliaryEffectSlots(1, &reverb_slot);
            reverb_effect = reverb_slot = 0;
        } else {
            ds_reverb_load_environment(reverb, EAX_ENVIRONMENT_GENERIC);
            apply_reverb();
        }
    }
    g_ds_devices.push_back(this);
    if (!loopback) m_pump = std::thread([this] { pump_main(); });
    return true;
}

DsDevice::~DsDevice()
{
    {
        std::lock_guard lock(g_ds_mutex);
        m_pump_stop = true;
        std::erase(g_ds_devices, this);
        forget_primary(*this);
    }
    m_pump_wake.notify_all();
    if (m_pump.joinable()) m_pump.join();
    std::lock_guard lock(g_ds_mutex);
    if (context) {
        alcMakeContextCurrent(context);
        if (!idle_sources.empty())
            alDeleteSources(static_cast<ALsizei>(idle_sources.size()), idle_sources.data());
        if (reverb_slot) alDeleteAuxiliaryEffectSlots(1, &reverb_slot);
        if (reverb_effect) alDeleteEffects(1, &reverb_effect);
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(context);
    }
    alcCloseDevice(al_device);
}

bool DsDevice::take_hardware_voice(bool static_buffer)
{
    if (hardware_used >= hardware_voices || (!static_buffer && !hardware_streaming)) return false;
    ++hardware_used;
    return true;
}

void DsDevice::give_hardware_voice()
{
    if (hardware_used > 0) --hardware_used;
}

ALuint DsDevice::take_source()
{
    if (!idle_sources.empty()) {
        ALuint source = idle_sources.back();
        idle_sources.pop_back();
        return source;
    }
    alGetError();
    ALuint source = 0;
    alGenSources(1, &source);
    return alGetError() == AL_NO_ERROR ? source : 0;
}

void DsDevice::give_source(ALuint source)
{
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    alSourcei(source, AL_DIRECT_FILTER, AL_FILTER_NULL);
    if (reverb_slot) alSource3i(source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
    idle_sources.push_back(source);
}

HRESULT DsDevice::set_mix_format(const WAVEFORMATEX& format)
{
    if (!ds_format_valid(format)) return DSERR_BADFORMAT;
    WAVEFORMATEX previous = mix_format;
    mix_format = dsound_pcm_format(format.nChannels, format.nSamplesPerSec, format.wBitsPerSample);
    if (!alcResetDeviceSOFT(al_device, context_attributes(*this).data())) {
        mix_format = previous;
        return DSERR_BADFORMAT;
    }
    clock_origin_ms = g_ds_seams.clock_ms;
    clock_frames = 0;
    return DS_OK;
}

void DsDevice::service_buffers()
{
    for (DsBuffer* buffer : buffers)
        buffer->service();
}

void DsDevice::pump_main()
{
    std::unique_lock lock(g_ds_mutex);
    while (!m_pump_stop) {
        if (alcGetCurrentContext() != context) alcMakeContextCurrent(context);
        service_buffers();
        if (std::ranges::any_of(buffers, [](const DsBuffer* buffer) { return buffer->source() != 0; }))
            m_pump_wake.wait_for(lock, k_pump_period);
        else
            m_pump_wake.wait(lock); // nothing plays until a Play wakes the feeder
    }
}

void DsDevice::wake_pump()
{
    m_pump_wake.notify_all();
}

void DsDevice::render(std::uint32_t frames, std::vector<std::uint8_t>* output)
{
    std::vector<std::uint8_t> scratch(std::size_t{k_render_slice} * mix_format.nBlockAlign);
    while (frames > 0) {
        std::uint32_t slice = std::min(frames, k_render_slice);
        service_buffers();
        alcRenderSamplesSOFT(al_device, scratch.data(), static_cast<ALCsizei>(slice));
        if (output)
            output->insert(output->end(), scratch.begin(), scratch.begin() + slice * mix_format.nBlockAlign);
        frames -= slice;
    }
    service_buffers();
}

void DsDevice::render_clock()
{
    std::uint64_t target =
        std::uint64_t{g_ds_seams.clock_ms - clock_origin_ms} * mix_format.nSamplesPerSec / 1000;
    if (target > clock_frames) render(static_cast<std::uint32_t>(target - clock_frames));
    clock_frames = target;
}

void DsDevice::compact()
{
    if (!idle_sources.empty())
        alDeleteSources(static_cast<ALsizei>(idle_sources.size()), idle_sources.data());
    idle_sources.clear();
}
