#include "platform/impl/dsound_internal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// OpenAL is fed in chunks of 10 ms, four ahead of the play cursor: the write cursor leads the
// play cursor by at most 40 ms, well inside half of a streaming ring.
constexpr std::size_t k_queue_depth = 4;
constexpr DWORD k_chunks_per_second = 100;

constexpr DS3DBUFFER k_default_3d = {sizeof(DS3DBUFFER),
                                     {0, 0, 0},
                                     {0, 0, 0},
                                     DS3D_DEFAULTCONEANGLE,
                                     DS3D_DEFAULTCONEANGLE,
                                     {0, 0, 1},
                                     DS3D_DEFAULTCONEOUTSIDEVOLUME,
                                     DS3D_DEFAULTMINDISTANCE,
                                     DS3D_DEFAULTMAXDISTANCE,
                                     DS3DMODE_NORMAL};
constexpr EAXBUFFERPROPERTIES k_default_eax2 = {0,
                                                0,
                                                0,
                                                0,
                                                0.0f,
                                                0,
                                                0.0f,
                                                0,
                                                0.25f,
                                                0.5f,
                                                0,
                                                1.0f,
                                                EAXBUFFERFLAGS_DIRECTHFAUTO | EAXBUFFERFLAGS_ROOMAUTO |
                                                    EAXBUFFERFLAGS_ROOMHFAUTO};

bool valid_angle(DWORD angle)
{
    return angle <= 360;
}

bool valid_3d(const DS3DBUFFER& params)
{
    return std::isfinite(params.flMinDistance) && params.flMinDistance > 0.0f &&
           std::isfinite(params.flMaxDistance) && params.flMaxDistance > 0.0f &&
           params.dwMode <= DS3DMODE_DISABLE && valid_angle(params.dwInsideConeAngle) &&
           valid_angle(params.dwOutsideConeAngle) && params.dwInsideConeAngle <= params.dwOutsideConeAngle &&
           params.lConeOutsideVolume >= DSBVOLUME_MIN && params.lConeOutsideVolume <= DSBVOLUME_MAX;
}

} // namespace

// The 3-D interface and the property sets are the buffer seen through other interfaces: one
// object with one reference count.
class DsBuffer::Part3D final : public IDirectSound3DBuffer {
public:
    explicit Part3D(DsBuffer& owner) : m_owner(owner) {}
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        return m_owner.QueryInterface(iid, object);
    }
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }
    HRESULT GetAllParameters(DS3DBUFFER* params) override
    {
        if (!params || params->dwSize != sizeof(DS3DBUFFER)) return DSERR_INVALIDPARAM;
        DsGuard guard(m_owner.device());
        *params = m_owner.params;
        return DS_OK;
    }
    HRESULT SetAllParameters(const DS3DBUFFER* params, DWORD apply) override
    {
        if (!params || params->dwSize != sizeof(DS3DBUFFER) || apply > DS3D_DEFERRED)
            return DSERR_INVALIDPARAM;
        DsGuard guard(m_owner.device());
        HRESULT code;
        if (ds_seam_failure("SetAllParameters", &code)) return code;
        if (!valid_3d(*params)) return DSERR_INVALIDPARAM;
        if (apply == DS3D_DEFERRED) {
            m_owner.params_pending = *params;
            m_owner.params_deferred = true;
        } else {
            m_owner.params = *params;
            m_owner.apply_3d();
        }
        return DS_OK;
    }

private:
    DsBuffer& m_owner;
};

class DsBuffer::PartProperties final : public IKsPropertySet {
public:
    explicit PartProperties(DsBuffer& owner) : m_owner(owner) {}
    HRESULT QueryInterface(const GUID& iid, void** object) override
    {
        return m_owner.QueryInterface(iid, object);
    }
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }
    HRESULT Get(const GUID& set, ULONG id, void*, ULONG, void* data, ULONG length, ULONG* returned) override
    {
        DsGuard guard(m_owner.device());
        return ds_property_get(m_owner, set, id, data, length, returned);
    }
    HRESULT Set(const GUID& set, ULONG id, void*, ULONG, void* data, ULONG length) override
    {
        DsGuard guard(m_owner.device());
        return ds_property_set(m_owner, set, id, data, length);
    }
    HRESULT QuerySupport(const GUID& set, ULONG id, ULONG* support) override
    {
        DsGuard guard(m_owner.device());
        return ds_property_support(m_owner, set, id, support);
    }

private:
    DsBuffer& m_owner;
};

DsBuffer::DsBuffer(std::shared_ptr<DsDevice> device, std::shared_ptr<DsSamples> samples, DWORD flags,
                   bool hardware)
    : params(k_default_3d), params_pending(k_default_3d), eax2(k_default_eax2), m_device(std::move(device)),
      m_samples(std::move(samples)), m_flags(flags), m_hardware(hardware),
      m_properties(std::make_unique<PartProperties>(*this))
{
    if (flags & DSBCAPS_CTRL3D) m_3d = std::make_unique<Part3D>(*this);
    DsGuard guard(*m_device);
    m_device->buffers.push_back(this);
}

DsBuffer::~DsBuffer()
{
    DsGuard guard(*m_device);
    stop_source();
    if (m_hardware) m_device->give_hardware_voice();
    if (m_direct_filter) alDeleteFilters(1, &m_direct_filter);
    if (m_send_filter) alDeleteFilters(1, &m_send_filter);
    std::erase(m_device->buffers, this);
}

HRESULT DsBuffer::QueryInterface(const GUID& iid, void** object)
{
    if (!object) return DSERR_INVALIDPARAM;
    *object = nullptr;
    DsGuard guard(*m_device);
    HRESULT code;
    if (ds_seam_failure("QueryInterface", &code)) return code;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDirectSoundBuffer) ||
        IsEqualGUID(iid, IID_IDirectSoundBuffer8))
        *object = static_cast<IDirectSoundBuffer*>(this);
    else if (IsEqualGUID(iid, IID_IDirectSound3DBuffer) && m_3d)
        *object = static_cast<IDirectSound3DBuffer*>(m_3d.get());
    else if (IsEqualGUID(iid, IID_IKsPropertySet))
        *object = static_cast<IKsPropertySet*>(m_properties.get());
    else
        return DSERR_NOINTERFACE;
    AddRef();
    return DS_OK;
}

ULONG DsBuffer::AddRef()
{
    return ++m_refs;
}

ULONG DsBuffer::Release()
{
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

HRESULT DsBuffer::GetCaps(DSBCAPS* caps)
{
    if (!caps || caps->dwSize != sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    DWORD flags = m_flags;
    if (!(flags & DSBCAPS_LOCDEFER))
        flags = (flags & ~(DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE)) |
                (m_hardware ? DSBCAPS_LOCHARDWARE : DSBCAPS_LOCSOFTWARE);
    *caps = DSBCAPS{sizeof(DSBCAPS), flags, size(), 0, 0};
    return DS_OK;
}

HRESULT DsBuffer::GetCurrentPosition(DWORD* play_cursor_out, DWORD* write_cursor_out)
{
    DsGuard guard(*m_device);
    service();
    DWORD play = play_cursor();
    if (play_cursor_out) *play_cursor_out = play;
    if (write_cursor_out) *write_cursor_out = m_playing ? m_feed % size() : play;
    return DS_OK;
}

HRESULT DsBuffer::GetVolume(LONG* volume)
{
    if (!volume) return DSERR_INVALIDPARAM;
    if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    DsGuard guard(*m_device);
    *volume = m_volume;
    return DS_OK;
}

HRESULT DsBuffer::GetPan(LONG* pan)
{
    if (!pan) return DSERR_INVALIDPARAM;
    if (!(m_flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    DsGuard guard(*m_device);
    *pan = m_pan;
    return DS_OK;
}

HRESULT DsBuffer::GetFrequency(DWORD* frequency)
{
    if (!frequency) return DSERR_INVALIDPARAM;
    if (!(m_flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    DsGuard guard(*m_device);
    *frequency = m_frequency ? m_frequency : m_samples->format.nSamplesPerSec;
    return DS_OK;
}

HRESULT DsBuffer::GetStatus(DWORD* status)
{
    if (!status) return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    service();
    *status = m_lost ? DSBSTATUS_BUFFERLOST : 0;
    if (m_playing) {
        *status |= DSBSTATUS_PLAYING | (m_looping ? DSBSTATUS_LOOPING : 0);
        if (m_flags & DSBCAPS_LOCDEFER) *status |= m_hardware ? DSBSTATUS_LOCHARDWARE : DSBSTATUS_LOCSOFTWARE;
    }
    return DS_OK;
}

HRESULT DsBuffer::Lock(DWORD offset, DWORD bytes, void** part1, DWORD* bytes1, void** part2, DWORD* bytes2,
                       DWORD flags)
{
    if (!part1 || !bytes1 || (part2 && !bytes2)) return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    HRESULT code;
    if (ds_seam_failure("Lock", &code)) return code;
    if (m_lost) return DSERR_BUFFERLOST;
    if (flags & DSBLOCK_FROMWRITECURSOR) {
        service();
        offset = m_playing ? m_feed % size() : play_cursor();
    }
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = size();
    if (offset >= size() || bytes == 0 || bytes > size()) return DSERR_INVALIDPARAM;
    DWORD first = std::min(bytes, size() - offset);
    *part1 = m_samples->bytes.data() + offset;
    *bytes1 = first;
    if (part2) {
        *part2 = bytes > first ? m_samples->bytes.data() : nullptr;
        *bytes2 = bytes - first;
    }
    ++m_locks;
    return DS_OK;
}

HRESULT DsBuffer::Unlock(void* part1, DWORD bytes1, void* part2, DWORD bytes2)
{
    DsGuard guard(*m_device);
    if (m_locks == 0) return DSERR_INVALIDCALL;
    auto* begin = m_samples->bytes.data();
    auto* first = static_cast<std::uint8_t*>(part1);
    if (!first || first < begin || first + bytes1 > begin + size()) return DSERR_INVALIDPARAM;
    if (part2 && (part2 != begin || bytes2 > size())) return DSERR_INVALIDPARAM;
    --m_locks;
    return DS_OK;
}

HRESULT DsBuffer::Play(DWORD reserved, DWORD priority, DWORD flags)
{
    DsGuard guard(*m_device);
    HRESULT code;
    if (ds_seam_failure("Play", &code)) return code;
    bool deferred = m_flags & DSBCAPS_LOCDEFER;
    if (reserved || (!deferred && (priority || (flags & ~DSBPLAY_LOOPING))) ||
        ((flags & DSBPLAY_LOCHARDWARE) && (flags & DSBPLAY_LOCSOFTWARE)))
        return DSERR_INVALIDPARAM;
    if (m_lost) return DSERR_BUFFERLOST;
    bool looping = flags & DSBPLAY_LOOPING;
    service();
    if (m_playing) {
        if (looping && m_fed_to_end) {
            m_fed_to_end = false;
            m_feed = 0;
        }
        m_looping = looping;
        return DS_OK;
    }
    // A deferred buffer takes a hardware voice when one is free; termination is never needed,
    // since the software mixer never runs out of voices.
    if (deferred && !(flags & DSBPLAY_LOCSOFTWARE)) {
        m_hardware = m_device->take_hardware_voice(m_flags & DSBCAPS_STATIC);
        if (!m_hardware && (flags & DSBPLAY_LOCHARDWARE)) return DSERR_ALLOCATED;
    }
    m_source = m_device->take_source();
    if (!m_source) {
        if (deferred && m_hardware) m_device->give_hardware_voice();
        if (deferred) m_hardware = false;
        return DSERR_ALLOCATED;
    }
    m_playing = true;
    m_looping = looping;
    m_fed_to_end = false;
    m_feed = m_position;
    alSourcei(m_source, AL_LOOPING, AL_FALSE);
    DWORD rate = m_samples->format.nSamplesPerSec;
    alSourcef(m_source, AL_PITCH,
              static_cast<float>(m_frequency ? m_frequency : rate) / static_cast<float>(rate));
    if (m_flags & DSBCAPS_CTRL3D)
        apply_3d();
    else
        apply_flat();
    apply_eax();
    service();
    m_device->wake_pump();
    return DS_OK;
}

HRESULT DsBuffer::SetCurrentPosition(DWORD position)
{
    DsGuard guard(*m_device);
    if (position >= size()) return DSERR_INVALIDPARAM;
    position -= position % m_samples->format.nBlockAlign;
    if (m_playing) {
        alSourceStop(m_source);
        alSourcei(m_source, AL_BUFFER, 0);
        for (const DsChunk& chunk : m_queue)
            m_spare.push_back(chunk.name);
        m_queue.clear();
        m_fed_to_end = false;
        m_feed = position;
    }
    m_position = position;
    service();
    return DS_OK;
}

HRESULT DsBuffer::SetFormat(const WAVEFORMATEX*)
{
    return DSERR_INVALIDCALL; // only the primary buffer's format can be set
}

HRESULT DsBuffer::SetVolume(LONG volume)
{
    if (!(m_flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    m_volume = volume;
    apply_gain();
    return DS_OK;
}

HRESULT DsBuffer::SetPan(LONG pan)
{
    if (!(m_flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    m_pan = pan;
    apply_flat();
    return DS_OK;
}

HRESULT DsBuffer::SetFrequency(DWORD frequency)
{
    if (!(m_flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    if (frequency != DSBFREQUENCY_ORIGINAL && (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX))
        return DSERR_INVALIDPARAM;
    DsGuard guard(*m_device);
    m_frequency = frequency;
    DWORD rate = m_samples->format.nSamplesPerSec;
    if (m_source)
        alSourcef(m_source, AL_PITCH,
                  static_cast<float>(m_frequency ? m_frequency : rate) / static_cast<float>(rate));
    return DS_OK;
}

HRESULT DsBuffer::Stop()
{
    DsGuard guard(*m_device);
    service();
    if (!m_playing) return DS_OK;
    m_position = play_cursor();
    m_playing = false;
    stop_source();
    return DS_OK;
}

HRESULT DsBuffer::Restore()
{
    DsGuard guard(*m_device);
    if (!m_lost) return DS_OK;
    if (g_ds_seams.restore_failures > 0) {
        --g_ds_seams.restore_failures;
        return DSERR_BUFFERLOST;
    }
    m_lost = false;
    return DS_OK;
}

HRESULT DsBuffer::duplicate(DsBuffer** copy)
{
    bool hardware = false;
    if (m_hardware && !(m_flags & DSBCAPS_LOCDEFER)) {
        if (!m_device->take_hardware_voice(m_flags & DSBCAPS_STATIC)) return DSERR_ALLOCATED;
        hardware = true;
    }
    auto* twin = new DsBuffer(m_device, m_samples, m_flags, hardware);
    twin->m_volume = m_volume;
    twin->m_pan = m_pan;
    twin->m_frequency = m_frequency;
    twin->params = params;
    twin->params_pending = params;
    twin->eax2 = eax2;
    twin->eax1_mix = eax1_mix;
    *copy = twin;
    return DS_OK;
}

void DsBuffer::service()
{
    if (!m_playing) return;
    ALint processed = 0;
    alGetSourcei(m_source, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0 && !m_queue.empty(); --processed) {
        DsChunk chunk = m_queue.front();
        m_queue.erase(m_queue.begin());
        alSourceUnqueueBuffers(m_source, 1, &chunk.name);
        m_spare.push_back(chunk.name);
        m_position = (chunk.start + chunk.bytes) % size();
    }
    const WAVEFORMATEX& format = m_samples->format;
    DWORD playable = size() - size() % format.nBlockAlign;
    DWORD chunk_bytes = std::max<DWORD>(1, format.nSamplesPerSec / k_chunks_per_second) * format.nBlockAlign;
    while (m_queue.size() < k_queue_depth && !m_fed_to_end) {
        DWORD bytes = std::min(chunk_bytes, playable - m_feed);
        ALuint name = 0;
        if (m_spare.empty()) {
            alGenBuffers(1, &name);
        } else {
            name = m_spare.back();
            m_spare.pop_back();
        }
        alBufferData(name, ds_al_format(format), m_samples->bytes.data() + m_feed,
                     static_cast<ALsizei>(bytes), static_cast<ALsizei>(format.nSamplesPerSec));
        alSourceQueueBuffers(m_source, 1, &name);
        m_queue.push_back({name, m_feed, bytes});
        m_feed += bytes;
        if (m_feed >= playable) {
            m_feed = 0;
            m_fed_to_end = !m_looping;
        }
    }
    if (m_queue.empty()) { // a one-shot has played to its end
        m_playing = false;
        m_position = 0;
        stop_source();
        return;
    }
    ALint state = AL_STOPPED;
    alGetSourcei(m_source, AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING) alSourcePlay(m_source); // the first start, or after starving
}

DWORD DsBuffer::play_cursor()
{
    if (!m_playing) return m_position;
    ALint frames = 0;
    alGetSourcei(m_source, AL_SAMPLE_OFFSET, &frames);
    DWORD offset = static_cast<DWORD>(std::max(frames, 0)) * m_samples->format.nBlockAlign;
    for (const DsChunk& chunk : m_queue) {
        if (offset < chunk.bytes) return chunk.start + offset;
        offset -= chunk.bytes;
    }
    return m_feed % size();
}

void DsBuffer::stop_source()
{
    if (!m_source) return;
    alSourceStop(m_source);
    alSourcei(m_source, AL_BUFFER, 0);
    for (const DsChunk& chunk : m_queue)
        m_spare.push_back(chunk.name);
    m_queue.clear();
    if (!m_spare.empty()) alDeleteBuffers(static_cast<ALsizei>(m_spare.size()), m_spare.data());
    m_spare.clear();
    m_device->give_source(m_source);
    m_source = 0;
    if ((m_flags & DSBCAPS_LOCDEFER) && m_hardware) {
        m_device->give_hardware_voice();
        m_hardware = false;
    }
}

void DsBuffer::lose()
{
    if (m_playing) {
        m_playing = false;
        stop_source();
    }
    m_position = 0;
    m_lost = true;
    std::fill(m_samples->bytes.begin(), m_samples->bytes.end(),
              m_samples->format.wBitsPerSample == 8 ? 0x80 : 0);
}

void DsBuffer::apply_gain()
{
    if (!m_source) return;
    alSourcef(m_source, AL_GAIN, muted_by_distance() ? 0.0f : ds_gain_from_millibels(m_volume));
}

// A flat buffer plays beside the listener's head: centred, or turned by its pan (a mono buffer
// moves on a half circle in front; a stereo one turns its two channels).
void DsBuffer::apply_flat()
{
    if (!m_source || (m_flags & DSBCAPS_CTRL3D)) return;
    float angle = static_cast<float>(m_pan) / DSBPAN_RIGHT * std::numbers::pi_v<float> / 2;
    alSourcei(m_source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcef(m_source, AL_ROLLOFF_FACTOR, 0.0f);
    alSource3f(m_source, AL_VELOCITY, 0, 0, 0);
    if (m_samples->format.nChannels == 1) {
        alSource3f(m_source, AL_POSITION, std::sin(angle), 0, -std::cos(angle));
    } else {
        alSource3f(m_source, AL_POSITION, 0, 0, 0);
        alSourcei(m_source, AL_DIRECT_CHANNELS_SOFT, m_pan == 0 ? AL_TRUE : AL_FALSE);
        const float spread = std::numbers::pi_v<float> / 6;
        float angles[2] = {
            std::clamp(spread - angle, -std::numbers::pi_v<float>, std::numbers::pi_v<float>),
            std::clamp(-spread - angle, -std::numbers::pi_v<float>, std::numbers::pi_v<float>)};
        alSourcefv(m_source, AL_STEREO_ANGLES, angles);
    }
    apply_gain();
}

bool DsBuffer::eax_capable() const
{
    return m_device->eax_version > 0 && (m_flags & DSBCAPS_CTRL3D) && !(m_flags & DSBCAPS_LOCSOFTWARE) &&
           (m_hardware || (m_flags & DSBCAPS_LOCDEFER));
}

bool DsBuffer::reverb_send() const
{
    return m_device->eax_version > 0 && (m_flags & DSBCAPS_CTRL3D) && m_hardware;
}
