#include "platform/impl/dsound_seams.h"

#include "platform/impl/dsound_internal.h"

#include <map>
#include <string>

DsSeams g_ds_seams;

namespace {

struct ScriptedFailure {
    int times;
    HRESULT code;
};
std::map<std::string, ScriptedFailure> g_failures; // guarded by g_ds_mutex

template <class Action> void for_each_loopback_device(Action action)
{
    for (DsDevice* device : g_ds_devices)
        if (device->loopback) {
            DsGuard guard(*device);
            action(*device);
        }
}

DsBuffer* buffer_of(IDirectSoundBuffer* buffer)
{
    return dynamic_cast<DsBuffer*>(buffer);
}

void read_vector(ALuint source, ALenum parameter, float out[3])
{
    alGetSource3f(source, parameter, &out[0], &out[1], &out[2]);
}

} // namespace

bool ds_seam_failure(const char* call, HRESULT* code)
{
    auto it = g_failures.find(call);
    if (it == g_failures.end()) return false;
    *code = it->second.code;
    if (--it->second.times <= 0) g_failures.erase(it);
    return true;
}

void dsound_seam_use_loopback(bool on)
{
    std::lock_guard lock(g_ds_mutex);
    g_ds_seams.loopback = on;
}

void dsound_seam_render(std::uint32_t frames, std::vector<std::uint8_t>* output)
{
    std::lock_guard lock(g_ds_mutex);
    DsDevice* last = nullptr;
    for (DsDevice* device : g_ds_devices)
        if (device->loopback) last = device;
    for_each_loopback_device(
        [&](DsDevice& device) { device.render(frames, &device == last ? output : nullptr); });
}

void dsound_seam_advance_ms(DWORD ms)
{
    std::lock_guard lock(g_ds_mutex);
    g_ds_seams.clock_ms += ms;
    for_each_loopback_device([](DsDevice& device) { device.render_clock(); });
}

DWORD dsound_seam_clock_ms()
{
    std::lock_guard lock(g_ds_mutex);
    return g_ds_seams.clock_ms;
}

void dsound_seam_set_hardware(DWORD voices, bool streaming)
{
    std::lock_guard lock(g_ds_mutex);
    g_ds_seams.hardware_voices = voices;
    g_ds_seams.hardware_streaming = streaming;
}

void dsound_seam_set_eax(int version)
{
    std::lock_guard lock(g_ds_mutex);
    g_ds_seams.eax_version = version;
}

void dsound_seam_fail(const char* call, HRESULT code, int times)
{
    std::lock_guard lock(g_ds_mutex);
    if (times > 0)
        g_failures[call] = {times, code};
    else
        g_failures.erase(call);
}

void dsound_seam_lose_buffers()
{
    std::lock_guard lock(g_ds_mutex);
    for (DsDevice* device : g_ds_devices) {
        DsGuard guard(*device);
        for (DsBuffer* buffer : device->buffers)
            buffer->lose();
    }
}

void dsound_seam_fail_restores(int times)
{
    std::lock_guard lock(g_ds_mutex);
    g_ds_seams.restore_failures = times;
}

// The loopback clock keeps running: devices still open measure against it.
void dsound_seam_reset()
{
    std::lock_guard lock(g_ds_mutex);
    DWORD clock = g_ds_seams.clock_ms;
    g_ds_seams = DsSeams{};
    g_ds_seams.clock_ms = clock;
    g_failures.clear();
}

bool dsound_seam_source(IDirectSoundBuffer* buffer, DsoundSeamSource* out)
{
    DsBuffer* ds = buffer_of(buffer);
    if (!ds || !out) return false;
    DsGuard guard(ds->device());
    *out = DsoundSeamSource{};
    out->hardware = ds->hardware();
    ALuint source = ds->source();
    out->has_source = source != 0;
    if (!source) return true;
    ALint value = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &value);
    out->playing = value == AL_PLAYING;
    alGetSourcei(source, AL_SOURCE_RELATIVE, &value);
    out->relative = value == AL_TRUE;
    out->reverb_send = ds->reverb_send();
    alGetSourcef(source, AL_GAIN, &out->gain);
    alGetSourcef(source, AL_PITCH, &out->pitch);
    read_vector(source, AL_POSITION, out->position);
    read_vector(source, AL_VELOCITY, out->velocity);
    read_vector(source, AL_DIRECTION, out->direction);
    alGetSourcef(source, AL_REFERENCE_DISTANCE, &out->reference_distance);
    alGetSourcef(source, AL_MAX_DISTANCE, &out->max_distance);
    alGetSourcef(source, AL_ROLLOFF_FACTOR, &out->rolloff_factor);
    alGetSourcef(source, AL_CONE_INNER_ANGLE, &out->cone_inner);
    alGetSourcef(source, AL_CONE_OUTER_ANGLE, &out->cone_outer);
    alGetSourcef(source, AL_CONE_OUTER_GAIN, &out->cone_outer_gain);
    return true;
}

bool dsound_seam_listener(IDirectSound8* sound, DsoundSeamListener* out)
{
    DsDevice* device = ds_device_of(sound);
    if (!device || !out) return false;
    DsGuard guard(*device);
    alGetListener3f(AL_POSITION, &out->position[0], &out->position[1], &out->position[2]);
    alGetListener3f(AL_VELOCITY, &out->velocity[0], &out->velocity[1], &out->velocity[2]);
    alGetListenerfv(AL_ORIENTATION, out->orientation);
    alGetListenerf(AL_GAIN, &out->gain);
    out->doppler_factor = alGetFloat(AL_DOPPLER_FACTOR);
    out->speed_of_sound = alGetFloat(AL_SPEED_OF_SOUND);
    out->distance_model = alGetInteger(AL_DISTANCE_MODEL);
    return true;
}

bool dsound_seam_reverb(IDirectSound8* sound, DsoundSeamReverb* out)
{
    DsDevice* found = ds_device_of(sound);
    if (!found || !out) return false;
    DsGuard guard(*found);
    const DsDevice& device = *found;
    *out = DsoundSeamReverb{};
    out->present = device.reverb_slot != 0;
    if (!out->present) return true;
    ALuint e = device.reverb_effect;
    alGetAuxiliaryEffectSlotf(device.reverb_slot, AL_EFFECTSLOT_GAIN, &out->slot_gain);
    alGetEffectf(e, AL_EAXREVERB_DENSITY, &out->density);
    alGetEffectf(e, AL_EAXREVERB_DIFFUSION, &out->diffusion);
    alGetEffectf(e, AL_EAXREVERB_GAIN, &out->gain);
    alGetEffectf(e, AL_EAXREVERB_GAINHF, &out->gain_hf);
    alGetEffectf(e, AL_EAXREVERB_DECAY_TIME, &out->decay_time);
    alGetEffectf(e, AL_EAXREVERB_DECAY_HFRATIO, &out->decay_hf_ratio);
    alGetEffectf(e, AL_EAXREVERB_REFLECTIONS_GAIN, &out->reflections_gain);
    alGetEffectf(e, AL_EAXREVERB_REFLECTIONS_DELAY, &out->reflections_delay);
    alGetEffectf(e, AL_EAXREVERB_LATE_REVERB_GAIN, &out->late_reverb_gain);
    alGetEffectf(e, AL_EAXREVERB_LATE_REVERB_DELAY, &out->late_reverb_delay);
    alGetEffectf(e, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, &out->air_absorption_gain_hf);
    alGetEffectf(e, AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, &out->room_rolloff_factor);
    ALint limit = 0;
    alGetEffecti(e, AL_EAXREVERB_DECAY_HFLIMIT, &limit);
    out->decay_hf_limit = limit != 0;
    return true;
}

bool dsound_seam_mix_format(IDirectSound8* sound, WAVEFORMATEX* out)
{
    DsDevice* device = ds_device_of(sound);
    if (!device || !out) return false;
    DsGuard guard(*device);
    *out = device->mix_format;
    return true;
}
