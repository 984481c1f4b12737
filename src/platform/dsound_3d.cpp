// The 3-D listener and buffers on OpenAL. DirectSound's space is left-handed (z into the screen)
// and OpenAL's right-handed (z out of it): every position, velocity and direction has its z
// negated on the way to OpenAL.
#include "platform/impl/dsound_internal.h"

namespace {

// DirectSound's distance factor is metres per unit; the speed of sound follows it.
constexpr float k_speed_of_sound_mps = 343.3f;

void source_vector(ALuint source, ALenum parameter, const D3DVECTOR& v)
{
    alSource3f(source, parameter, v.x, v.y, -v.z);
}

} // namespace

void DsDevice::apply_listener()
{
    const DS3DLISTENER& l = listener;
    alListener3f(AL_POSITION, l.vPosition.x, l.vPosition.y, -l.vPosition.z);
    alListener3f(AL_VELOCITY, l.vVelocity.x, l.vVelocity.y, -l.vVelocity.z);
    const float orientation[6] = {l.vOrientFront.x, l.vOrientFront.y, -l.vOrientFront.z,
                                  l.vOrientTop.x,   l.vOrientTop.y,   -l.vOrientTop.z};
    alListenerfv(AL_ORIENTATION, orientation);
    alSpeedOfSound(k_speed_of_sound_mps / l.flDistanceFactor);
    alDopplerFactor(l.flDopplerFactor);
    // The rolloff factor is the listener's in DirectSound and each source's in OpenAL; the
    // distance mute depends on where the listener stands.
    for (DsBuffer* buffer : buffers)
        buffer->apply_3d();
}

void DsDevice::commit_deferred()
{
    alDeferUpdatesSOFT();
    if (listener_deferred) {
        listener = listener_pending;
        listener_deferred = false;
        apply_listener();
    }
    for (DsBuffer* buffer : buffers) {
        if (!buffer->params_deferred) continue;
        buffer->params = buffer->params_pending;
        buffer->params_deferred = false;
        buffer->apply_3d();
    }
    alProcessUpdatesSOFT();
}

void DsBuffer::apply_3d()
{
    if (!m_source || !(m_flags & DSBCAPS_CTRL3D)) return;
    const DS3DBUFFER& p = params;
    bool disabled = p.dwMode == DS3DMODE_DISABLE;
    alSourcei(m_source, AL_SOURCE_RELATIVE, p.dwMode == DS3DMODE_NORMAL ? AL_FALSE : AL_TRUE);
    source_vector(m_source, AL_POSITION, disabled ? D3DVECTOR{0, 0, 0} : p.vPosition);
    source_vector(m_source, AL_VELOCITY, disabled ? D3DVECTOR{0, 0, 0} : p.vVelocity);
    source_vector(m_source, AL_DIRECTION, p.vConeOrientation);
    alSourcef(m_source, AL_REFERENCE_DISTANCE, p.flMinDistance);
    alSourcef(m_source, AL_MAX_DISTANCE, p.flMaxDistance);
    alSourcef(m_source, AL_ROLLOFF_FACTOR, disabled ? 0.0f : m_device->listener.flRolloffFactor);
    alSourcef(m_source, AL_CONE_INNER_ANGLE, static_cast<float>(p.dwInsideConeAngle));
    alSourcef(m_source, AL_CONE_OUTER_ANGLE, static_cast<float>(p.dwOutsideConeAngle));
    alSourcef(m_source, AL_CONE_OUTER_GAIN, ds_gain_from_millibels(p.lConeOutsideVolume));
    apply_gain();
}

bool DsBuffer::muted_by_distance() const
{
    if ((m_flags & (DSBCAPS_CTRL3D | DSBCAPS_MUTE3DATMAXDISTANCE)) !=
            (DSBCAPS_CTRL3D | DSBCAPS_MUTE3DATMAXDISTANCE) ||
        params.dwMode == DS3DMODE_DISABLE)
        return false;
    D3DVECTOR d = params.vPosition;
    if (params.dwMode == DS3DMODE_NORMAL) {
        const D3DVECTOR& at = m_device->listener.vPosition;
        d = {d.x - at.x, d.y - at.y, d.z - at.z};
    }
    double distance_sq = double{d.x} * d.x + double{d.y} * d.y + double{d.z} * d.z;
    return distance_sq > double{params.flMaxDistance} * params.flMaxDistance;
}
