#include "lowlv/audio/audio_dsound.h"

#include "core/maths.h"

#include <cmath>

namespace {

constexpr DS3DLISTENER k_listener_initial = {
    sizeof(DS3DLISTENER), {0, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f, 1.0f, 1.0f};
constexpr ULONG k_get_and_set = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
// Radians to steps of the 256-step table.
constexpr float k_steps_per_radian = 40.743664f;

struct DeviceSearch {
    std::int32_t wanted;
    std::int32_t index;
    IDirectSound8* created;
};

// Counts the devices in enumeration order and creates DirectSound on the wanted one; when that
// fails it goes on counting (and so creates none).
BOOL audio_device_enum_callback(GUID* device, const char*, const char*, void* context)
{
    auto& search = *static_cast<DeviceSearch*>(context);
    if (search.index++ != search.wanted) return TRUE;
    if (SUCCEEDED(DirectSoundCreate8(device, &search.created, nullptr))) return FALSE;
    search.created = nullptr;
    return TRUE;
}

template <class T> void release(T*& object)
{
    if (object) object->Release();
    object = nullptr;
}

bool supports(IKsPropertySet* set, const GUID& property_set, ULONG id)
{
    ULONG support = 0;
    return SUCCEEDED(set->QuerySupport(property_set, id, &support)) &&
           (support & k_get_and_set) == k_get_and_set;
}

// Steps 3-6 of the start-up, on the created object; the primary buffer's local reference is
// released on every way out.
HRESULT start_primary(const AudioParams& params)
{
    HRESULT result = g_ds->SetCooperativeLevel(params.window, DSSCL_PRIORITY);
    if (FAILED(result)) return result;
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D, 0, 0, nullptr, {}};
    IDirectSoundBuffer* primary = nullptr;
    result = g_ds->CreateSoundBuffer(&desc, &primary, nullptr);
    if (FAILED(result)) return result;
    WAVEFORMATEX format = dsound_pcm_format(static_cast<WORD>(params.channels), params.sample_rate & 0xFFFF,
                                            static_cast<WORD>(params.bits_per_sample));
    DSCAPS caps{};
    caps.dwSize = sizeof(DSCAPS);
    if (SUCCEEDED(result = primary->SetFormat(&format)) && SUCCEEDED(result = g_ds->GetCaps(&caps))) {
        g_ds_static_buffers = caps.dwMaxHw3DStaticBuffers != 0 && caps.dwMaxHwMixingStreamingBuffers == 0;
        result =
            primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(&g_ds_listener));
    }
    if (SUCCEEDED(result)) result = g_ds_listener->SetAllParameters(&g_ds_listener_params, DS3D_DEFERRED);
    if (SUCCEEDED(result)) result = g_ds_listener->CommitDeferredSettings();
    if (SUCCEEDED(result) && params.reverb) {
        audio_eax_create(g_ds, format.wBitsPerSample, format.nSamplesPerSec, g_eax_listener);
        if (g_eax_listener.property_set) audio_eax_apply_preset(EAX_PRESET_NEUTRAL, g_eax_listener);
    }
    // The playing primary buffer keeps the mixer running.
    if (SUCCEEDED(result)) primary->Play(0, 0, DSBPLAY_LOOPING);
    primary->Release();
    return result;
}

} // namespace

IDirectSound8* g_ds = nullptr;
IDirectSound3DListener8* g_ds_listener = nullptr;
bool g_ds_static_buffers = false;
std::atomic<bool> g_ds_listener_pending{false};
DS3DLISTENER g_ds_listener_params = k_listener_initial;
int g_eax_level = EAX_LEVEL_NONE;
EAXListener g_eax_listener;

EAXInterface::~EAXInterface()
{
    EAXInterface::Release();
}

void EAXInterface::Release()
{
    release(property_set);
}

EAXListener::~EAXListener()
{
    EAXListener::Release();
}

void EAXListener::Release()
{
    if (property_set) audio_eax_apply_preset(EAX_PRESET_NEUTRAL, *this);
    release(temp_buffer_3d);
    release(temp_buffer);
    EAXInterface::Release();
}

HRESULT DSound::Initialize(const AudioParams& params)
{
    DeviceSearch search{params.device, 0, nullptr};
    HRESULT result = DirectSoundEnumerateA(audio_device_enum_callback, &search);
    if (!search.created) return result;
    g_ds = search.created;
    return start_primary(params);
}

void DSound::Shutdown()
{
    g_eax_listener.Release();
    release(g_ds_listener);
    release(g_ds);
    g_ds_static_buffers = false;
    g_ds_listener_pending = false;
    g_ds_listener_params = k_listener_initial;
    g_eax_level = EAX_LEVEL_NONE;
}

void audio_set_listener(const D3DVECTOR& position, float heading)
{
    g_ds_listener_params.vPosition = position;
    // Single precision, as the table's callers expect: -2 pi lands on step -256, that is 0.
    // The remainder keeps huge headings inside int without changing the step.
    float steps = heading * k_steps_per_radian;
    int index = std::isfinite(steps) ? static_cast<int>(std::fmod(steps, 256.0f)) : 0;
    g_ds_listener_params.vOrientFront = {math_table_cos(index), 0.0f, math_table_sin(index)};
    g_ds_listener_params.vOrientTop = {0.0f, 1.0f, 0.0f};
    if (!g_ds_listener) return;
    g_ds_listener->SetAllParameters(&g_ds_listener_params, DS3D_DEFERRED);
    g_ds_listener_pending = true;
}

void audio_commit_listener()
{
    if (g_ds_listener_pending.exchange(false) && g_ds_listener) g_ds_listener->CommitDeferredSettings();
}

HRESULT audio_eax_create(IDirectSound8* sound, DWORD bits_per_sample, DWORD sample_rate,
                         EAXListener& listener)
{
    g_eax_level = EAX_LEVEL_NONE;
    WAVEFORMATEX format = dsound_pcm_format(1, sample_rate, static_cast<WORD>(bits_per_sample));
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_STATIC | DSBCAPS_CTRL3D, sample_rate * 2, 0, &format, {}};
    HRESULT result = sound->CreateSoundBuffer(&desc, &listener.temp_buffer, nullptr);
    if (FAILED(result)) return result;
    IKsPropertySet* set = nullptr;
    // EAX 2.0 speaks through the buffer's 3-D interface.
    if (SUCCEEDED(listener.temp_buffer->QueryInterface(IID_IDirectSound3DBuffer,
                                                       reinterpret_cast<void**>(&listener.temp_buffer_3d))) &&
        SUCCEEDED(
            listener.temp_buffer_3d->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&set)))) {
        if (supports(set, DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ALLPARAMETERS)) {
            listener.property_set = set;
            g_eax_level = EAX_LEVEL_2;
            return result;
        }
    }
    release(set);
    release(listener.temp_buffer_3d);
    // EAX 1.0 speaks through the buffer itself.
    if (SUCCEEDED(listener.temp_buffer->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&set)))) {
        if (supports(set, DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ALL) &&
            supports(set, DSPROPSETID_EAXBUFFER_ReverbProperties, DSPROPERTY_EAXBUFFER_ALL)) {
            listener.property_set = set;
            g_eax_level = EAX_LEVEL_1;
            return result;
        }
        release(set);
    }
    return result;
}

void audio_eax_apply_preset(const EaxPreset& preset, EAXListener& listener)
{
    IKsPropertySet* set = listener.property_set;
    if (!set) return;
    listener.last_preset = preset;
    DWORD environment = preset.environment;
    if (g_eax_level == EAX_LEVEL_1) {
        float volume = 0.2f;
        set->Set(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_ENVIRONMENT, nullptr, 0, &environment,
                 sizeof environment);
        set->Set(DSPROPSETID_EAX_ReverbProperties, DSPROPERTY_EAX_VOLUME, nullptr, 0, &volume, sizeof volume);
    } else {
        LONG reverb = 125;
        set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_ENVIRONMENT, nullptr, 0,
                 &environment, sizeof environment);
        set->Set(DSPROPSETID_EAX20_ListenerProperties, DSPROPERTY_EAXLISTENER_REVERB, nullptr, 0, &reverb,
                 sizeof reverb);
    }
}

HRESULT audio_eax_source_create(IDirectSound3DBuffer* buffer_3d, IDirectSoundBuffer* buffer,
                                EAXSource& source)
{
    if (g_eax_level == EAX_LEVEL_NONE) return E_FAIL;
    IUnknown* from = g_eax_level != EAX_LEVEL_1 && buffer_3d ? static_cast<IUnknown*>(buffer_3d)
                                                             : static_cast<IUnknown*>(buffer);
    IKsPropertySet* set = nullptr;
    if (!from || FAILED(from->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&set))))
        return E_FAIL;
    source.Release();
    source.property_set = set;
    return S_OK;
}
