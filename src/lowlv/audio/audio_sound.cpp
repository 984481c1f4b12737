#include "lowlv/audio/audio_sound.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/vfs.h"
#include "lowlv/audio/audio_params.h"
#include "platform/win_kernel.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr int k_restore_tries = 100;
constexpr std::size_t k_format_min_size = 14;

bool has_id(std::span<const std::uint8_t> bytes, std::size_t at, std::string_view id)
{
    return std::memcmp(bytes.data() + at, id.data(), 4) == 0;
}

void voice_reset(SoundVoice& voice)
{
    voice.buffer = nullptr;
    voice.buffer_3d = nullptr;
    voice.params = DS3DBUFFER{};
    voice.params.dwSize = sizeof(DS3DBUFFER);
    voice.params.dwInsideConeAngle = DS3D_DEFAULTCONEANGLE;
    voice.params.dwOutsideConeAngle = DS3D_DEFAULTCONEANGLE;
    voice.params.vConeOrientation = {0.0f, 1.0f, 0.0f};
    voice.params.lConeOutsideVolume = DS3D_DEFAULTCONEOUTSIDEVOLUME;
    voice.params.flMinDistance = DS3D_DEFAULTMINDISTANCE;
    voice.params.flMaxDistance = DS3D_DEFAULTMAXDISTANCE;
    voice.params.dwMode = DS3DMODE_NORMAL;
    voice.volume.store(1024);
    voice.target.store(1024);
    voice.step.store(0);
    voice.start_time.store(0);
    voice.state.store(VOICE_IDLE);
    voice.loop = false;
    voice.stop_at_fade_end.store(false);
}

bool voice_playing(const SoundVoice& voice)
{
    DWORD status = 0;
    return SUCCEEDED(voice.buffer->GetStatus(&status)) && (status & DSBSTATUS_PLAYING);
}

void voice_apply_volume(SoundVoice& voice)
{
    voice.buffer->SetVolume(audio_volume_to_db(voice.volume.load(), audio_effect_volume()));
}

// The step per 16-ms pass; never 0 while the volume is not at its target, so every fade ends.
std::int32_t fade_step(std::int32_t from, std::int32_t to, std::int32_t time_ms)
{
    std::int32_t step = static_cast<std::int32_t>((std::int64_t{to} - from) * 16 / std::max(time_ms, 1));
    if (step == 0 && to != from) step = to > from ? 1 : -1;
    return step;
}

void fade_voices(SoundGroup& group, std::int32_t target, std::int32_t time_ms, bool stop_at_end)
{
    if (!group.voices) return;
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i) {
        SoundVoice& voice = group.voices[i];
        if (!voice.buffer) continue;
        voice.target.store(target);
        voice.step.store(fade_step(voice.volume.load(), target, time_ms));
        if (voice.state.load() == VOICE_STARTED) voice.stop_at_fade_end.store(stop_at_end);
    }
}

DWORD placement_flags(const SoundGroupDef& def)
{
    DWORD flags = def.buffer_flags & ~(DSBCAPS_CTRLFX | DSBCAPS_LOCDEFER);
    if (g_ds_static_buffers) {
        flags |= DSBCAPS_STATIC;
    } else {
        flags &= ~DSBCAPS_STATIC;
        flags |= (def.flags & SOUND_GROUP_SOFTWARE) ? DSBCAPS_LOCSOFTWARE : DSBCAPS_LOCDEFER;
    }
    return flags | DSBCAPS_GETCURRENTPOSITION2;
}

// The first voice's buffer: in hardware when the group asks and the device has room, else with
// the placement flags. The flags that made the buffer become the group's.
HRESULT create_first_buffer(SoundGroup& group, IDirectSound8* sound, DSBUFFERDESC& desc)
{
    SoundVoice& first = group.voices[0];
    if (group.def.flags & SOUND_GROUP_TRY_HARDWARE) {
        DSBUFFERDESC hardware = desc;
        hardware.dwFlags =
            (desc.dwFlags & ~(DSBCAPS_CTRLFX | DSBCAPS_LOCDEFER | DSBCAPS_LOCSOFTWARE)) | DSBCAPS_LOCHARDWARE;
        if (SUCCEEDED(sound->CreateSoundBuffer(&hardware, &first.buffer, nullptr))) {
            group.def.buffer_flags = hardware.dwFlags;
            return S_OK;
        }
        first.buffer = nullptr;
        group.def.flags &= ~SOUND_GROUP_TRY_HARDWARE;
    }
    HRESULT result = sound->CreateSoundBuffer(&desc, &first.buffer, nullptr);
    if (FAILED(result)) {
        first.buffer = nullptr;
        return result;
    }
    group.def.buffer_flags = desc.dwFlags;
    return S_OK;
}

HRESULT make_voices(SoundGroup& group, IDirectSound8* sound, const WavImage& wav)
{
    WAVEFORMATEX format = wav.format;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = placement_flags(group.def);
    desc.dwBufferBytes = wav.data_size;
    desc.lpwfxFormat = &format;
    HRESULT result = create_first_buffer(group, sound, desc);
    if (FAILED(result)) return result;
    for (std::uint32_t i = 1; i < group.def.voice_count; ++i) {
        result = sound->DuplicateSoundBuffer(group.voices[0].buffer, &group.voices[i].buffer);
        if (FAILED(result)) {
            group.voices[i].buffer = nullptr;
            return result;
        }
    }
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i) {
        SoundVoice& voice = group.voices[i];
        if (group.def.buffer_flags & DSBCAPS_CTRL3D &&
            FAILED(voice.buffer->QueryInterface(IID_IDirectSound3DBuffer,
                                                reinterpret_cast<void**>(&voice.buffer_3d))))
            voice.buffer_3d = nullptr;
        if (group.def.flags & SOUND_GROUP_EAX && g_eax_level != EAX_LEVEL_NONE)
            audio_eax_source_create(voice.buffer_3d, voice.buffer, voice.eax);
    }
    return audio_buffer_fill(group.voices[0].buffer, wav);
}

// Restore reports the buffer lost while the device cannot give its memory back yet.
HRESULT restore_buffer(IDirectSoundBuffer* buffer)
{
    for (int tries = 1;; ++tries) {
        HRESULT result = buffer->Restore();
        if (SUCCEEDED(result) || tries == k_restore_tries) return result;
        Sleep(1);
    }
}

} // namespace

bool wav_parse(std::span<const std::uint8_t> file, WAVEFORMATEX& format, std::uint32_t& data_offset,
               std::uint32_t& data_size)
{
    std::uint32_t riff_size = 0;
    if (file.size() < 12 || !has_id(file, 0, "RIFF") || !has_id(file, 8, "WAVE") ||
        !bytes_get_u32(file, 4, riff_size))
        return false;
    std::size_t end = std::min<std::uint64_t>(file.size(), std::uint64_t{riff_size} + 8);
    bool have_format = false, have_data = false;
    for (std::size_t at = 12; at + 8 <= end && !(have_format && have_data);) {
        std::uint32_t size = 0;
        if (!bytes_get_u32(file, at + 4, size)) return false;
        std::size_t body = at + 8;
        bool whole = size <= end - body;
        if (!have_format && has_id(file, at, "fmt ")) {
            if (!whole || size < k_format_min_size) return false;
            format = WAVEFORMATEX{};
            ByteReader(file.subspan(body)).Read(&format, std::min<std::size_t>(size, sizeof format));
            have_format = true;
        } else if (!have_data && has_id(file, at, "data")) {
            if (!whole) return false;
            data_offset = static_cast<std::uint32_t>(body);
            data_size = size;
            have_data = true;
        }
        if (!whole) break;
        at = body + size + (size & 1);
    }
    return have_format && have_data;
}

HRESULT wav_load(WavImage& image, const char* path)
{
    image = WavImage{};
    HRESULT result = vfs_read_entry(path, image.file);
    if (FAILED(result)) return result;
    if (!wav_parse(image.file, image.format, image.data_offset, image.data_size)) return E_FAIL;
    return S_OK;
}

HRESULT audio_group_load(SoundGroup& group, IDirectSound8* sound, const SoundGroupDef& def)
{
    audio_group_free(group);
    group.def = def;
    if (audio_params().force_software_buffer || (group.def.flags & SOUND_GROUP_SOFTWARE))
        group.def.flags =
            (group.def.flags & ~(SOUND_GROUP_TRY_HARDWARE | SOUND_GROUP_EAX)) | SOUND_GROUP_SOFTWARE;
    WavImage wav;
    HRESULT result = wav_load(wav, group.def.wav_path);
    if (FAILED(result)) return result;
    if (wav.data_size == 0) return E_FAIL;
    if (group.def.flags & SOUND_GROUP_SINGLE || group.def.voice_count == 0) group.def.voice_count = 1;
    group.voices = std::make_unique<SoundVoice[]>(group.def.voice_count);
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i)
        voice_reset(group.voices[i]);
    result = make_voices(group, sound, wav);
    if (FAILED(result)) audio_group_free(group);
    return result;
}

HRESULT audio_buffer_fill(IDirectSoundBuffer* buffer, const WavImage& image)
{
    if (!buffer || image.data_size == 0) return E_FAIL;
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD size1 = 0, size2 = 0;
    HRESULT result = buffer->Lock(0, image.data_size, &part1, &size1, &part2, &size2, 0);
    if (result == DSERR_BUFFERLOST) {
        buffer->Restore();
        result = buffer->Lock(0, image.data_size, &part1, &size1, &part2, &size2, 0);
    }
    if (FAILED(result)) return result;
    std::span<const std::uint8_t> data = image.Data();
    std::size_t first = std::min<std::size_t>(size1, data.size());
    std::memcpy(part1, data.data(), first);
    if (part2) std::memcpy(part2, data.data() + first, std::min<std::size_t>(size2, data.size() - first));
    return buffer->Unlock(part1, size1, part2, size2);
}

HRESULT audio_group_restore(SoundGroup& group)
{
    if (!group.voices) return E_FAIL;
    bool restored = false;
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i) {
        SoundVoice& voice = group.voices[i];
        DWORD status = 0;
        if (!voice.buffer || FAILED(voice.buffer->GetStatus(&status)) || !(status & DSBSTATUS_BUFFERLOST))
            continue;
        if (FAILED(restore_buffer(voice.buffer))) return E_FAIL;
        restored = true;
    }
    if (!restored) return S_OK;
    WavImage wav;
    HRESULT result = wav_load(wav, group.def.wav_path);
    if (FAILED(result)) return result;
    return audio_buffer_fill(group.voices[0].buffer, wav);
}

int audio_group_pick_voice(const SoundGroup& group, DWORD now)
{
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i)
        if (!voice_playing(group.voices[i])) return static_cast<int>(i);
    if (group.def.flags & SOUND_GROUP_SINGLE) return -1;
    int oldest = -1;
    DWORD oldest_age = 0;
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i) {
        DWORD age = now - group.voices[i].start_time.load();
        if (age >= group.def.min_play_ms && (oldest < 0 || age > oldest_age)) {
            oldest = static_cast<int>(i);
            oldest_age = age;
        }
    }
    return oldest;
}

void audio_group_play(SoundGroup& group, bool loop, std::int32_t volume, const D3DVECTOR* position)
{
    if (!group.voices) return;
    group.requested.store(false);
    SoundVoice& only = group.voices[0];
    // A lone voice caught mid-fade is turned back to the new volume, not restarted.
    if (group.def.voice_count == 1 && voice_playing(only) && only.volume.load() != only.target.load()) {
        only.target.store(volume);
        only.stop_at_fade_end.store(false);
        only.step.store(volume - only.volume.load());
        return;
    }
    int index = audio_group_pick_voice(group, audio_tick_time());
    if (index < 0) return;
    SoundVoice& voice = group.voices[index];
    if (position && voice.buffer_3d) {
        voice.params.vPosition = *position;
        voice.params.flMinDistance = group.def.min_distance;
        voice.params.flMaxDistance = group.def.max_distance;
        voice.buffer_3d->SetAllParameters(&voice.params, DS3D_DEFERRED);
        g_ds_listener_pending.store(true);
    }
    voice.volume.store(volume);
    voice.target.store(volume);
    voice.step.store(0);
    voice.stop_at_fade_end.store(false);
    voice.start_time.store(audio_tick_time());
    voice.loop = loop;
    voice.state.store(VOICE_START_PENDING);
}

void audio_group_update(SoundGroup& group)
{
    if (!group.voices) return;
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i) {
        SoundVoice& voice = group.voices[i];
        if (!voice.buffer) continue;
        std::int32_t target = voice.target.load();
        if (std::int32_t volume = voice.volume.load(); volume != target) {
            std::int32_t step = voice.step.load();
            volume += step;
            if (step == 0 || (step > 0 && volume >= target) || (step < 0 && volume <= target)) {
                volume = target;
                voice.step.store(0);
            }
            voice.volume.store(volume);
            voice_apply_volume(voice);
        }
        std::uint32_t state = voice.state.load();
        if (state == VOICE_START_PENDING) {
            voice.state.store(VOICE_STARTED);
            voice.buffer->SetCurrentPosition(0);
            voice_apply_volume(voice);
            DWORD flags = (voice.loop ? DSBPLAY_LOOPING : 0) |
                          (group.def.buffer_flags & DSBCAPS_LOCDEFER ? DSBPLAY_TERMINATEBY_TIME : 0);
            if (FAILED(voice.buffer->Play(0, 0, flags))) {
                voice.state.store(VOICE_IDLE);
                voice.stop_at_fade_end.store(false);
            }
        } else if (state == VOICE_STARTED && voice.volume.load() == target && voice.stop_at_fade_end.load()) {
            voice.buffer->Stop();
            voice.state.store(VOICE_IDLE);
            voice.stop_at_fade_end.store(false);
        }
    }
}

void audio_group_fade_out(SoundGroup& group, std::int32_t time_ms)
{
    fade_voices(group, 0, time_ms, true);
}

void audio_cmd_group_fade_to(SoundGroup& group, std::int32_t target, std::int32_t time_ms)
{
    fade_voices(group, target, time_ms, false);
}

bool audio_group_is_playing(const SoundGroup& group, DWORD time_ms)
{
    if (!group.voices) return false;
    if (group.requested.load()) return true;
    DWORD tick = audio_tick_time();
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i) {
        const SoundVoice& voice = group.voices[i];
        if (voice.buffer && voice_playing(voice) &&
            (time_ms == 0 || tick - voice.start_time.load() < time_ms))
            return true;
    }
    return false;
}

void audio_group_apply_volume(SoundGroup& group)
{
    if (!group.voices) return;
    for (std::uint32_t i = 0; i < group.def.voice_count; ++i)
        if (group.voices[i].buffer && group.voices[i].state.load() == VOICE_STARTED)
            voice_apply_volume(group.voices[i]);
}

void audio_group_free(SoundGroup& group)
{
    if (group.voices) {
        for (std::uint32_t i = 0; i < group.def.voice_count; ++i) {
            SoundVoice& voice = group.voices[i];
            voice.eax.Release();
            if (voice.buffer_3d) voice.buffer_3d->Release();
            if (voice.buffer) voice.buffer->Release();
            voice_reset(voice);
        }
        group.voices.reset();
    }
    group.def.flags = 0;
}
