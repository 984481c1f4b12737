// The EAX 1.0 and 2.0 property sets on OpenAL Soft's EFX: the listener sets drive the device's
// EAX reverb effect on its one auxiliary slot; the buffer sets drive that buffer's direct and
// send filters. The environments are EFX's reverb presets, in the EAX environment order.
#include "platform/impl/dsound_internal.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

const GUID DSPROPSETID_EAX_ReverbProperties = {
    0x4A4E6FC1, 0xC341, 0x11D1, {0xB7, 0x3A, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID DSPROPSETID_EAXBUFFER_ReverbProperties = {
    0x4A4E6FC0, 0xC341, 0x11D1, {0xB7, 0x3A, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID DSPROPSETID_EAX20_ListenerProperties = {
    0x0306A6A8, 0xB224, 0x11D2, {0x99, 0xE5, 0x00, 0x00, 0xE8, 0xD8, 0xC7, 0x22}};
const GUID DSPROPSETID_EAX20_BufferProperties = {
    0x0306A6A7, 0xB224, 0x11D2, {0x99, 0xE5, 0x00, 0x00, 0xE8, 0xD8, 0xC7, 0x22}};

namespace {

struct Environment {
    EFXEAXREVERBPROPERTIES reverb;
    float size; // metres
};

// EFX density is (size^3)/16, capped at 1: the sizes below reproduce the presets' densities.
const Environment k_environments[EAX_ENVIRONMENT_COUNT] = {
    {EFX_REVERB_PRESET_GENERIC, 7.5f},     {EFX_REVERB_PRESET_PADDEDCELL, 1.4f},
    {EFX_REVERB_PRESET_ROOM, 1.9f},        {EFX_REVERB_PRESET_BATHROOM, 1.4f},
    {EFX_REVERB_PRESET_LIVINGROOM, 2.5f},  {EFX_REVERB_PRESET_STONEROOM, 11.6f},
    {EFX_REVERB_PRESET_AUDITORIUM, 21.6f}, {EFX_REVERB_PRESET_CONCERTHALL, 19.6f},
    {EFX_REVERB_PRESET_CAVE, 14.6f},       {EFX_REVERB_PRESET_ARENA, 36.2f},
    {EFX_REVERB_PRESET_HANGAR, 50.3f},     {EFX_REVERB_PRESET_CARPETEDHALLWAY, 1.9f},
    {EFX_REVERB_PRESET_HALLWAY, 1.8f},     {EFX_REVERB_PRESET_STONECORRIDOR, 13.5f},
    {EFX_REVERB_PRESET_ALLEY, 7.5f},       {EFX_REVERB_PRESET_FOREST, 38.0f},
    {EFX_REVERB_PRESET_CITY, 7.5f},        {EFX_REVERB_PRESET_MOUNTAINS, 100.0f},
    {EFX_REVERB_PRESET_QUARRY, 17.5f},     {EFX_REVERB_PRESET_PLAIN, 42.5f},
    {EFX_REVERB_PRESET_PARKINGLOT, 8.3f},  {EFX_REVERB_PRESET_SEWERPIPE, 1.7f},
    {EFX_REVERB_PRESET_UNDERWATER, 1.8f},  {EFX_REVERB_PRESET_DRUGGED, 1.9f},
    {EFX_REVERB_PRESET_DIZZY, 1.8f},       {EFX_REVERB_PRESET_PSYCHOTIC, 1.0f},
};

constexpr DWORD k_listener_flags_default = 0x3F;

float gain_of(float millibels)
{
    return millibels <= DSBVOLUME_MIN ? 0.0f : std::pow(10.0f, millibels / 2000.0f);
}

float millibels_of(float gain)
{
    return gain <= 0.0f ? static_cast<float>(DSBVOLUME_MIN) : std::max(-10000.0f, 2000.0f * std::log10(gain));
}

// One 4-byte field of a property record: its id, where it lies and the values it takes.
enum class FieldType { Long, Float, Dword };
struct Field {
    ULONG id;
    std::size_t offset;
    FieldType type;
    float low, high;
};

#define LISTENER_FIELD(id, member, type, low, high)                                                          \
    {                                                                                                        \
        id, offsetof(EAXLISTENERPROPERTIES, member), FieldType::type, low, high                              \
    }
const Field k_listener_fields[] = {
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_ROOM, lRoom, Long, -10000, 0),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_ROOMHF, lRoomHF, Long, -10000, 0),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_ROOMROLLOFFFACTOR, flRoomRolloffFactor, Float, 0, 10),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_DECAYTIME, flDecayTime, Float, 0.1f, 20),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_DECAYHFRATIO, flDecayHFRatio, Float, 0.1f, 2),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_REFLECTIONS, lReflections, Long, -10000, 1000),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_REFLECTIONSDELAY, flReflectionsDelay, Float, 0, 0.3f),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_REVERB, lReverb, Long, -10000, 2000),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_REVERBDELAY, flReverbDelay, Float, 0, 0.1f),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_ENVIRONMENT, dwEnvironment, Dword, 0, EAX_ENVIRONMENT_COUNT - 1),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_ENVIRONMENTSIZE, flEnvironmentSize, Float, 1, 100),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_ENVIRONMENTDIFFUSION, flEnvironmentDiffusion, Float, 0, 1),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_AIRABSORPTIONHF, flAirAbsorptionHF, Float, -100, 0),
    LISTENER_FIELD(DSPROPERTY_EAXLISTENER_FLAGS, dwFlags, Dword, 0, 0x3F),
};
#undef LISTENER_FIELD

#define BUFFER_FIELD(id, member, type, low, high)                                                            \
    {                                                                                                        \
        id, offsetof(EAXBUFFERPROPERTIES, member), FieldType::type, low, high                                \
    }
const Field k_buffer_fields[] = {
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_DIRECT, lDirect, Long, -10000, 1000),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_DIRECTHF, lDirectHF, Long, -10000, 0),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_ROOM, lRoom, Long, -10000, 1000),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_ROOMHF, lRoomHF, Long, -10000, 0),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_ROOMROLLOFFFACTOR, flRoomRolloffFactor, Float, 0, 10),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_OBSTRUCTION, lObstruction, Long, -10000, 0),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_OBSTRUCTIONLFRATIO, flObstructionLFRatio, Float, 0, 1),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_OCCLUSION, lOcclusion, Long, -10000, 0),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_OCCLUSIONLFRATIO, flOcclusionLFRatio, Float, 0, 1),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_OCCLUSIONROOMRATIO, flOcclusionRoomRatio, Float, 0, 10),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_OUTSIDEVOLUMEHF, lOutsideVolumeHF, Long, -10000, 0),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_AIRABSORPTIONFACTOR, flAirAbsorptionFactor, Float, 0, 10),
    BUFFER_FIELD(DSPROPERTY_EAXBUFFER_FLAGS, dwFlags, Dword, 0, 0x7),
};
#undef BUFFER_FIELD

template <std::size_t N> const Field* find_field(const Field (&fields)[N], ULONG id)
{
    for (const Field& field : fields)
        if (field.id == id) return &field;
    return nullptr;
}

bool field_valid(const Field& field, const void* value)
{
    switch (field.type) {
    case FieldType::Long: {
        LONG v;
        std::memcpy(&v, value, 4);
        return v >= field.low && v <= field.high;
    }
    case FieldType::Float: {
        float v;
        std::memcpy(&v, value, 4);
        return std::isfinite(v) && v >= field.low && v <= field.high;
    }
    case FieldType::Dword: {
        DWORD v;
        std::memcpy(&v, value, 4);
        return v <= static_cast<DWORD>(field.high);
    }
    }
    return false;
}

template <std::size_t N> bool record_valid(const Field (&fields)[N], const void* record)
{
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    return std::all_of(std::begin(fields), std::end(fields),
                       [&](const Field& field) { return field_valid(field, bytes + field.offset); });
}

enum class PropertySet { None, Eax1Listener, Eax1Buffer, Eax2Listener, Eax2Buffer };

PropertySet set_of(const GUID& set)
{
    if (IsEqualGUID(set, DSPROPSETID_EAX_ReverbProperties)) return PropertySet::Eax1Listener;
    if (IsEqualGUID(set, DSPROPSETID_EAXBUFFER_ReverbProperties)) return PropertySet::Eax1Buffer;
    if (IsEqualGUID(set, DSPROPSETID_EAX20_ListenerProperties)) return PropertySet::Eax2Listener;
    if (IsEqualGUID(set, DSPROPSETID_EAX20_BufferProperties)) return PropertySet::Eax2Buffer;
    return PropertySet::None;
}

// The size of the value of a supported property, 0 for an id the set does not have.
ULONG value_size(PropertySet set, ULONG id)
{
    switch (set) {
    case PropertySet::Eax1Listener:
        return id == DSPROPERTY_EAX_ALL ? sizeof(EAX_REVERBPROPERTIES) : id <= DSPROPERTY_EAX_DAMPING ? 4 : 0;
    case PropertySet::Eax1Buffer:
        return id <= DSPROPERTY_EAXBUFFER_REVERBMIX ? 4 : 0;
    case PropertySet::Eax2Listener:
        return id == DSPROPERTY_EAXLISTENER_ALLPARAMETERS ? sizeof(EAXLISTENERPROPERTIES)
               : find_field(k_listener_fields, id)        ? 4
                                                          : 0;
    case PropertySet::Eax2Buffer:
        return id == DSPROPERTY_EAXBUFFER_ALLPARAMETERS ? sizeof(EAXBUFFERPROPERTIES)
               : find_field(k_buffer_fields, id)        ? 4
                                                        : 0;
    case PropertySet::None:
        break;
    }
    return 0;
}

HRESULT check_access(DsBuffer& buffer, PropertySet set, ULONG id)
{
    if (set == PropertySet::None || !buffer.eax_capable()) return E_PROP_SET_UNSUPPORTED;
    bool eax2 = set == PropertySet::Eax2Listener || set == PropertySet::Eax2Buffer;
    if (buffer.device().eax_version < (eax2 ? 2 : 1)) return E_PROP_SET_UNSUPPORTED;
    return value_size(set, id) ? S_OK : E_PROP_ID_UNSUPPORTED;
}

bool valid_range(float value, float low, float high)
{
    return std::isfinite(value) && value >= low && value <= high;
}

// A change of the environment size carries the times and levels the listener's flags name.
void resize_environment(EAXLISTENERPROPERTIES& eax2, float size)
{
    float ratio = size / eax2.flEnvironmentSize;
    DWORD flags = eax2.dwFlags;
    if (flags & EAXLISTENERFLAGS_DECAYTIMESCALE)
        eax2.flDecayTime = std::clamp(eax2.flDecayTime * ratio, 0.1f, 20.0f);
    if (flags & EAXLISTENERFLAGS_REFLECTIONSDELAYSCALE)
        eax2.flReflectionsDelay = std::clamp(eax2.flReflectionsDelay * ratio, 0.0f, 0.3f);
    if (flags & EAXLISTENERFLAGS_REVERBDELAYSCALE)
        eax2.flReverbDelay = std::clamp(eax2.flReverbDelay * ratio, 0.0f, 0.1f);
    LONG level_change = std::lround(-2000.0f * std::log10(ratio)); // a larger room: weaker echoes
    if (flags & EAXLISTENERFLAGS_REFLECTIONSSCALE)
        eax2.lReflections = std::clamp<LONG>(eax2.lReflections + level_change, -10000, 1000);
    if (flags & EAXLISTENERFLAGS_REVERBSCALE)
        eax2.lReverb = std::clamp<LONG>(eax2.lReverb + level_change, -10000, 2000);
    eax2.flEnvironmentSize = size;
}

HRESULT set_eax2_listener(DsDevice& device, ULONG id, const void* data)
{
    DsReverb& reverb = device.reverb;
    if (id == DSPROPERTY_EAXLISTENER_ALLPARAMETERS) {
        if (!record_valid(k_listener_fields, data)) return DSERR_INVALIDPARAM;
        std::memcpy(&reverb.eax2, data, sizeof(EAXLISTENERPROPERTIES));
    } else {
        const Field& field = *find_field(k_listener_fields, id);
        if (!field_valid(field, data)) return DSERR_INVALIDPARAM;
        if (id == DSPROPERTY_EAXLISTENER_ENVIRONMENT) {
            DWORD index;
            std::memcpy(&index, data, 4);
            ds_reverb_load_environment(reverb, index);
        } else if (id == DSPROPERTY_EAXLISTENER_ENVIRONMENTSIZE) {
            float size;
            std::memcpy(&size, data, 4);
            resize_environment(reverb.eax2, size);
        } else {
            std::memcpy(reinterpret_cast<std::uint8_t*>(&reverb.eax2) + field.offset, data, 4);
        }
    }
    ds_reverb_from_eax2(reverb);
    device.apply_reverb();
    return DS_OK;
}

HRESULT set_eax1_listener(DsDevice& device, ULONG id, const void* data)
{
    DsReverb& reverb = device.reverb;
    EAX_REVERBPROPERTIES value{reverb.eax2.dwEnvironment, reverb.eax1_volume, reverb.eax2.flDecayTime,
                               reverb.eax2.flDecayHFRatio};
    if (id == DSPROPERTY_EAX_ALL)
        std::memcpy(&value, data, sizeof value);
    else
        std::memcpy(reinterpret_cast<std::uint8_t*>(&value) + (id - 1) * 4, data, 4);
    if (value.environment >= EAX_ENVIRONMENT_COUNT || !valid_range(value.fVolume, 0, 1) ||
        !valid_range(value.fDecayTime_sec, 0.1f, 20) || !valid_range(value.fDamping, 0, 2))
        return DSERR_INVALIDPARAM;
    if (id == DSPROPERTY_EAX_ALL || id == DSPROPERTY_EAX_ENVIRONMENT)
        ds_reverb_load_environment(reverb, value.environment);
    reverb.eax1_volume = value.fVolume;
    if (id == DSPROPERTY_EAX_ALL || id == DSPROPERTY_EAX_DECAYTIME)
        reverb.eax2.flDecayTime = value.fDecayTime_sec;
    if (id == DSPROPERTY_EAX_ALL || id == DSPROPERTY_EAX_DAMPING)
        reverb.eax2.flDecayHFRatio = std::clamp(value.fDamping, 0.1f, 2.0f);
    ds_reverb_from_eax2(reverb);
    device.apply_reverb();
    return DS_OK;
}

HRESULT set_eax2_buffer(DsBuffer& buffer, ULONG id, const void* data)
{
    if (id == DSPROPERTY_EAXBUFFER_ALLPARAMETERS) {
        if (!record_valid(k_buffer_fields, data)) return DSERR_INVALIDPARAM;
        std::memcpy(&buffer.eax2, data, sizeof(EAXBUFFERPROPERTIES));
    } else {
        const Field& field = *find_field(k_buffer_fields, id);
        if (!field_valid(field, data)) return DSERR_INVALIDPARAM;
        std::memcpy(reinterpret_cast<std::uint8_t*>(&buffer.eax2) + field.offset, data, 4);
    }
    buffer.apply_eax();
    return DS_OK;
}

HRESULT set_eax1_buffer(DsBuffer& buffer, const void* data)
{
    float mix;
    std::memcpy(&mix, data, 4);
    if (mix != EAX_REVERBMIX_USEDISTANCE && !valid_range(mix, 0, 1)) return DSERR_INVALIDPARAM;
    buffer.eax1_mix = mix;
    buffer.apply_eax();
    return DS_OK;
}

} // namespace

void ds_reverb_load_environment(DsReverb& reverb, DWORD index)
{
    const Environment& environment = k_environments[index];
    const EFXEAXREVERBPROPERTIES& efx = environment.reverb;
    reverb.efx = efx;
    EAXLISTENERPROPERTIES& eax2 = reverb.eax2;
    eax2.lRoom = std::lround(millibels_of(efx.flGain));
    eax2.lRoomHF = std::lround(millibels_of(efx.flGainHF));
    eax2.flRoomRolloffFactor = efx.flRoomRolloffFactor;
    eax2.flDecayTime = efx.flDecayTime;
    eax2.flDecayHFRatio = efx.flDecayHFRatio;
    eax2.lReflections = std::lround(millibels_of(efx.flReflectionsGain));
    eax2.flReflectionsDelay = efx.flReflectionsDelay;
    eax2.lReverb = std::lround(millibels_of(efx.flLateReverbGain));
    eax2.flReverbDelay = efx.flLateReverbDelay;
    eax2.dwEnvironment = index;
    eax2.flEnvironmentSize = environment.size;
    eax2.flEnvironmentDiffusion = efx.flDiffusion;
    eax2.flAirAbsorptionHF = millibels_of(efx.flAirAbsorptionGainHF);
    eax2.dwFlags = efx.iDecayHFLimit ? k_listener_flags_default
                                     : k_listener_flags_default & ~EAXLISTENERFLAGS_DECAYHFLIMIT;
}

void ds_reverb_from_eax2(DsReverb& reverb)
{
    const EAXLISTENERPROPERTIES& eax2 = reverb.eax2;
    EFXEAXREVERBPROPERTIES& efx = reverb.efx;
    float size = eax2.flEnvironmentSize;
    efx.flDensity = std::min(1.0f, size * size * size / 16.0f);
    efx.flDiffusion = eax2.flEnvironmentDiffusion;
    efx.flGain = gain_of(static_cast<float>(eax2.lRoom));
    efx.flGainHF = gain_of(static_cast<float>(eax2.lRoomHF));
    efx.flDecayTime = eax2.flDecayTime;
    efx.flDecayHFRatio = eax2.flDecayHFRatio;
    efx.flReflectionsGain = std::min(3.16f, gain_of(static_cast<float>(eax2.lReflections)));
    efx.flReflectionsDelay = eax2.flReflectionsDelay;
    efx.flLateReverbGain = std::min(10.0f, gain_of(static_cast<float>(eax2.lReverb)));
    efx.flLateReverbDelay = eax2.flReverbDelay;
    efx.flAirAbsorptionGainHF = std::clamp(gain_of(eax2.flAirAbsorptionHF), 0.892f, 1.0f);
    efx.flRoomRolloffFactor = eax2.flRoomRolloffFactor;
    efx.iDecayHFLimit = (eax2.dwFlags & EAXLISTENERFLAGS_DECAYHFLIMIT) ? 1 : 0;
}

void DsDevice::apply_reverb()
{
    if (!reverb_slot) return;
    const EFXEAXREVERBPROPERTIES& r = reverb.efx;
    ALuint e = reverb_effect;
    alEffectf(e, AL_EAXREVERB_DENSITY, r.flDensity);
    alEffectf(e, AL_EAXREVERB_DIFFUSION, r.flDiffusion);
    alEffectf(e, AL_EAXREVERB_GAIN, r.flGain);
    alEffectf(e, AL_EAXREVERB_GAINHF, r.flGainHF);
    alEffectf(e, AL_EAXREVERB_GAINLF, r.flGainLF);
    alEffectf(e, AL_EAXREVERB_DECAY_TIME, r.flDecayTime);
    alEffectf(e, AL_EAXREVERB_DECAY_HFRATIO, r.flDecayHFRatio);
    alEffectf(e, AL_EAXREVERB_DECAY_LFRATIO, r.flDecayLFRatio);
    alEffectf(e, AL_EAXREVERB_REFLECTIONS_GAIN, r.flReflectionsGain);
    alEffectf(e, AL_EAXREVERB_REFLECTIONS_DELAY, r.flReflectionsDelay);
    alEffectfv(e, AL_EAXREVERB_REFLECTIONS_PAN, r.flReflectionsPan);
    alEffectf(e, AL_EAXREVERB_LATE_REVERB_GAIN, r.flLateReverbGain);
    alEffectf(e, AL_EAXREVERB_LATE_REVERB_DELAY, r.flLateReverbDelay);
    alEffectfv(e, AL_EAXREVERB_LATE_REVERB_PAN, r.flLateReverbPan);
    alEffectf(e, AL_EAXREVERB_ECHO_TIME, r.flEchoTime);
    alEffectf(e, AL_EAXREVERB_ECHO_DEPTH, r.flEchoDepth);
    alEffectf(e, AL_EAXREVERB_MODULATION_TIME, r.flModulationTime);
    alEffectf(e, AL_EAXREVERB_MODULATION_DEPTH, r.flModulationDepth);
    alEffectf(e, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, r.flAirAbsorptionGainHF);
    alEffectf(e, AL_EAXREVERB_HFREFERENCE, r.flHFReference);
    alEffectf(e, AL_EAXREVERB_LFREFERENCE, r.flLFReference);
    alEffectf(e, AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, r.flRoomRolloffFactor);
    alEffecti(e, AL_EAXREVERB_DECAY_HFLIMIT, r.iDecayHFLimit);
    // The slot copies the effect when it is attached, so every change attaches it again.
    alAuxiliaryEffectSloti(reverb_slot, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(e));
    alAuxiliaryEffectSlotf(reverb_slot, AL_EFFECTSLOT_GAIN, reverb.eax1_volume);
}

void DsBuffer::apply_eax()
{
    if (!m_source || !m_device->reverb_slot) return;
    if (!reverb_send()) {
        alSourcei(m_source, AL_DIRECT_FILTER, AL_FILTER_NULL);
        alSource3i(m_source, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
        return;
    }
    for (ALuint* filter : {&m_direct_filter, &m_send_filter})
        if (!*filter) {
            alGenFilters(1, filter);
            alFilteri(*filter, AL_FILTER_TYPE, AL_FILTER_LOWPASS);
        }
    const EAXBUFFERPROPERTIES& e = eax2;
    float direct = e.lDirect + e.lObstruction * e.flObstructionLFRatio + e.lOcclusion * e.flOcclusionLFRatio;
    alFilterf(m_direct_filter, AL_LOWPASS_GAIN, std::min(1.0f, gain_of(direct)));
    alFilterf(m_direct_filter, AL_LOWPASS_GAINHF,
              std::min(1.0f, gain_of(static_cast<float>(e.lDirectHF + e.lObstruction + e.lOcclusion))));
    alSourcei(m_source, AL_DIRECT_FILTER, static_cast<ALint>(m_direct_filter));
    float mix = eax1_mix == EAX_REVERBMIX_USEDISTANCE ? 1.0f : eax1_mix;
    float room = e.lRoom + e.lOcclusion * e.flOcclusionRoomRatio;
    alFilterf(m_send_filter, AL_LOWPASS_GAIN, std::min(1.0f, gain_of(room)) * mix);
    alFilterf(m_send_filter, AL_LOWPASS_GAINHF, gain_of(static_cast<float>(e.lRoomHF)));
    alSource3i(m_source, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(m_device->reverb_slot), 0,
               static_cast<ALint>(m_send_filter));
    alSourcef(m_source, AL_ROOM_ROLLOFF_FACTOR, e.flRoomRolloffFactor);
    alSourcef(m_source, AL_AIR_ABSORPTION_FACTOR, e.flAirAbsorptionFactor);
    alSourcef(m_source, AL_CONE_OUTER_GAINHF, gain_of(static_cast<float>(e.lOutsideVolumeHF)));
    alSourcei(m_source, AL_DIRECT_FILTER_GAINHF_AUTO,
              (e.dwFlags & EAXBUFFERFLAGS_DIRECTHFAUTO) ? AL_TRUE : AL_FALSE);
    alSourcei(m_source, AL_AUXILIARY_SEND_FILTER_GAIN_AUTO,
              (e.dwFlags & EAXBUFFERFLAGS_ROOMAUTO) && eax1_mix == EAX_REVERBMIX_USEDISTANCE ? AL_TRUE
                                                                                             : AL_FALSE);
    alSourcei(m_source, AL_AUXILIARY_SEND_FILTER_GAINHF_AUTO,
              (e.dwFlags & EAXBUFFERFLAGS_ROOMHFAUTO) ? AL_TRUE : AL_FALSE);
}

HRESULT ds_property_support(DsBuffer& buffer, const GUID& set, ULONG id, ULONG* support)
{
    if (!support) return DSERR_INVALIDPARAM;
    *support = 0;
    HRESULT result = check_access(buffer, set_of(set), id);
    if (SUCCEEDED(result)) *support = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
    return result;
}

HRESULT ds_property_set(DsBuffer& buffer, const GUID& set, ULONG id, const void* data, ULONG length)
{
    PropertySet which = set_of(set);
    HRESULT result = check_access(buffer, which, id);
    if (FAILED(result)) return result;
    if (!data || length < value_size(which, id)) return DSERR_INVALIDPARAM;
    switch (which) {
    case PropertySet::Eax1Listener:
        return set_eax1_listener(buffer.device(), id, data);
    case PropertySet::Eax1Buffer:
        return set_eax1_buffer(buffer, data);
    case PropertySet::Eax2Listener:
        return set_eax2_listener(buffer.device(), id, data);
    case PropertySet::Eax2Buffer:
        return set_eax2_buffer(buffer, id, data);
    case PropertySet::None:
        break;
    }
    return E_PROP_SET_UNSUPPORTED;
}

HRESULT ds_property_get(DsBuffer& buffer, const GUID& set, ULONG id, void* data, ULONG length,
                        ULONG* returned)
{
    PropertySet which = set_of(set);
    HRESULT result = check_access(buffer, which, id);
    if (FAILED(result)) return result;
    ULONG size = value_size(which, id);
    if (!data || length < size) return DSERR_INVALIDPARAM;
    const DsReverb& reverb = buffer.device().reverb;
    const void* source = nullptr;
    EAX_REVERBPROPERTIES eax1{reverb.eax2.dwEnvironment, reverb.eax1_volume, reverb.eax2.flDecayTime,
                              reverb.eax2.flDecayHFRatio};
    switch (which) {
    case PropertySet::Eax1Listener:
        source = reinterpret_cast<const std::uint8_t*>(&eax1) + (id == DSPROPERTY_EAX_ALL ? 0 : (id - 1) * 4);
        break;
    case PropertySet::Eax1Buffer:
        source = &buffer.eax1_mix;
        break;
    case PropertySet::Eax2Listener:
        source = reinterpret_cast<const std::uint8_t*>(&reverb.eax2) +
                 (id == DSPROPERTY_EAXLISTENER_ALLPARAMETERS ? 0 : find_field(k_listener_fields, id)->offset);
        break;
    case PropertySet::Eax2Buffer:
        source = reinterpret_cast<const std::uint8_t*>(&buffer.eax2) +
                 (id == DSPROPERTY_EAXBUFFER_ALLPARAMETERS ? 0 : find_field(k_buffer_fields, id)->offset);
        break;
    case PropertySet::None:
        return E_PROP_SET_UNSUPPORTED;
    }
    std::memcpy(data, source, size);
    if (returned) *returned = size;
    return DS_OK;
}
