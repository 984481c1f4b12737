// Periodic (sine) force-feedback effects of a controller.
#include "platform/impl/dinput_internal.h"
#include "platform/impl/test_seams.h"

#include <cmath>
#include <string>

class DinputEffect final : public IDirectInputEffect {
public:
    DinputEffect(DinputDevice& device, bool complete, const DinputPeriodic& periodic, int id)
        : m_device(device), m_ordinal(device.effect_created(this)), m_complete(complete),
          m_periodic(periodic), m_id(id)
    {
        m_device.AddRef();
    }

    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG left = --m_refs;
        if (left == 0) {
            DinputDevice& device = m_device;
            {
                std::lock_guard lock(g_dinput_lock);
                unload();
                device.effect_gone(this);
                delete this;
            }
            device.Release();
        }
        return left;
    }

    HRESULT Start(DWORD iterations, DWORD flags) override
    {
        std::lock_guard lock(g_dinput_lock);
        seam_log_add("IDirectInputEffect::Start " + std::to_string(m_ordinal));
        if (HRESULT failure = dinput_seam_failure("Start")) return failure;
        if (!m_complete) return DIERR_INCOMPLETEEFFECT;
        if (!m_device.acquired_exclusively()) return DIERR_NOTEXCLUSIVEACQUIRED;
        if (flags & DIES_SOLO) m_device.stop_effects();
        if (HRESULT hr = load(); FAILED(hr)) return hr;
        return m_device.pad()->effect_start(m_id, iterations) ? DI_OK : DIERR_GENERIC;
    }

    HRESULT Stop() override
    {
        std::lock_guard lock(g_dinput_lock);
        seam_log_add("IDirectInputEffect::Stop " + std::to_string(m_ordinal));
        if (HRESULT failure = dinput_seam_failure("Stop")) return failure;
        if (!m_device.acquired_exclusively()) return DIERR_NOTEXCLUSIVEACQUIRED;
        stop();
        return DI_OK;
    }

    HRESULT load()
    {
        if (m_id >= 0) return DI_OK;
        m_id = m_device.pad()->effect_load(-1, m_periodic);
        return m_id >= 0 ? DI_OK : DIERR_DEVICEFULL;
    }

    void stop()
    {
        if (m_id >= 0) m_device.pad()->effect_stop(m_id);
    }

    void unload()
    {
        if (m_id < 0) return;
        m_device.pad()->effect_unload(m_id);
        m_id = -1;
    }

private:
    ~DinputEffect() = default;

    std::atomic<ULONG> m_refs{1};
    DinputDevice& m_device;
    int m_ordinal; // creation order on the device, for the call log
    bool m_complete;
    DinputPeriodic m_periodic;
    int m_id; // in the controller while loaded, else -1
};

namespace {

bool exactly_one(DWORD flags, DWORD set)
{
    DWORD chosen = flags & set;
    return chosen != 0 && (chosen & (chosen - 1)) == 0;
}

HRESULT check_parameters(DinputDevice& device, const DIEFFECT& effect)
{
    if (effect.dwSize != sizeof(DIEFFECT)) return DIERR_INVALIDPARAM;
    if (!exactly_one(effect.dwFlags, DIEFF_OBJECTIDS | DIEFF_OBJECTOFFSETS) ||
        !exactly_one(effect.dwFlags, DIEFF_CARTESIAN | DIEFF_POLAR | DIEFF_SPHERICAL))
        return DIERR_INVALIDPARAM;
    if (effect.cAxes == 0 || effect.cAxes > 2 || !effect.rgdwAxes || !effect.rglDirection)
        return DIERR_INVALIDPARAM;
    if ((effect.dwFlags & DIEFF_POLAR) && effect.cAxes != 2) return DIERR_INVALIDPARAM;
    for (DWORD axis = 0; axis < effect.cAxes; ++axis)
        if (!device.is_force_axis(effect.rgdwAxes[axis], effect.dwFlags & DIEFF_OBJECTOFFSETS))
            return DIERR_INVALIDPARAM;
    if (effect.dwGain > DI_FFNOMINALMAX) return DIERR_INVALIDPARAM;
    if (effect.cbTypeSpecificParams != sizeof(DIPERIODIC) || !effect.lpvTypeSpecificParams)
        return DIERR_INVALIDPARAM;
    const auto& periodic = *static_cast<const DIPERIODIC*>(effect.lpvTypeSpecificParams);
    if (periodic.dwMagnitude > DI_FFNOMINALMAX || periodic.lOffset < -LONG(DI_FFNOMINALMAX) ||
        periodic.lOffset > LONG(DI_FFNOMINALMAX) || periodic.dwPhase >= 36000)
        return DIERR_INVALIDPARAM;
    if (effect.lpEnvelope && effect.lpEnvelope->dwSize != sizeof(DIENVELOPE)) return DIERR_INVALIDPARAM;
    return DI_OK;
}

// The direction as cartesian x, y: polar and spherical angles are hundredths of a degree, polar
// counted clockwise from up.
void direction_of(const DIEFFECT& effect, LONG (&direction)[2])
{
    direction[0] = effect.rglDirection[0];
    direction[1] = effect.cAxes > 1 ? effect.rglDirection[1] : 0;
    if (effect.dwFlags & DIEFF_CARTESIAN) return;
    double degrees = effect.rglDirection[0] / 100.0;
    constexpr double k_radians_per_degree = 3.14159265358979323846 / 180.0;
    constexpr double k_scale = 10000.0;
    double angle = degrees * k_radians_per_degree;
    if (effect.dwFlags & DIEFF_POLAR) {
        direction[0] = LONG(std::sin(angle) * k_scale);
        direction[1] = LONG(-std::cos(angle) * k_scale);
    } else {
        direction[0] = LONG(std::cos(angle) * k_scale);
        direction[1] = LONG(std::sin(angle) * k_scale);
    }
}

DinputPeriodic periodic_of(const DIEFFECT& effect)
{
    const auto& periodic = *static_cast<const DIPERIODIC*>(effect.lpvTypeSpecificParams);
    DinputPeriodic result;
    result.magnitude = periodic.dwMagnitude * effect.dwGain / DI_FFNOMINALMAX;
    result.offset = periodic.lOffset * LONG(effect.dwGain) / LONG(DI_FFNOMINALMAX);
    result.phase = periodic.dwPhase;
    result.period_us = periodic.dwPeriod;
    result.duration_us = effect.dwDuration;
    result.start_delay_us = effect.dwStartDelay;
    direction_of(effect, result.direction);
    if (const DIENVELOPE* envelope = effect.lpEnvelope) {
        result.attack_level = envelope->dwAttackLevel;
        result.attack_time_us = envelope->dwAttackTime;
        result.fade_level = envelope->dwFadeLevel;
        result.fade_time_us = envelope->dwFadeTime;
    }
    return result;
}

} // namespace

HRESULT dinput_make_effect(DinputDevice& device, const DIEFFECT* parameters, IDirectInputEffect** out)
{
    DinputPeriodic periodic;
    if (parameters) {
        if (HRESULT hr = check_parameters(device, *parameters); FAILED(hr)) return hr;
        periodic = periodic_of(*parameters);
    }
    int id = -1;
    if (parameters && device.acquired_exclusively()) {
        id = device.pad()->effect_load(-1, periodic);
        if (id < 0) return DIERR_DEVICEFULL;
    }
    *out = new DinputEffect(device, parameters != nullptr, periodic, id);
    return id >= 0 ? DI_OK : DI_DOWNLOADSKIPPED;
}

void dinput_effect_unload(DinputEffect& effect)
{
    effect.unload();
}

void dinput_effect_stop(DinputEffect& effect)
{
    effect.stop();
}
