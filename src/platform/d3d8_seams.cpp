// Test seams of the Direct3D 8 stand-in: failure injection, the cooperative-level script, the
// draw log and padded texture rows; and the backend factory.
#include "platform/impl/d3d8_gl.h"
#include "platform/impl/d3d8_internal.h"
#include "platform/win_window.h"

#include <algorithm>
#include <deque>

namespace {

struct ArmedFailure {
    D3D8Call call;
    HRESULT result;
    int skip;
};

std::vector<ArmedFailure> g_failures;
std::deque<HRESULT> g_cooperative_script;
bool g_log_draws = false;
std::vector<D3D8DrawRecord> g_draws;
// Devices draw through OpenGL wherever their window gives a context.
D3D8BackendFactory g_backend_factory = d3d8_gl_backend;
int g_presents_before_close = 0;
UINT g_texture_pitch_padding = 0;

} // namespace

void d3d8_seam_fail(D3D8Call call, HRESULT result, int skip)
{
    g_failures.push_back({call, result, skip});
}

HRESULT d3d8_injected_failure(D3D8Call call)
{
    auto armed = std::find_if(g_failures.begin(), g_failures.end(),
                              [call](const ArmedFailure& failure) { return failure.call == call; });
    if (armed == g_failures.end()) return D3D_OK;
    if (armed->skip > 0) {
        --armed->skip;
        return D3D_OK;
    }
    HRESULT result = armed->result;
    g_failures.erase(armed);
    return result;
}

void d3d8_seam_script_cooperative(std::vector<HRESULT> results)
{
    g_cooperative_script.assign(results.begin(), results.end());
}

std::optional<HRESULT> d3d8_next_cooperative()
{
    if (g_cooperative_script.empty()) return std::nullopt;
    HRESULT next = g_cooperative_script.front();
    g_cooperative_script.pop_front();
    return next;
}

void d3d8_seam_log_draws(bool on)
{
    g_log_draws = on;
    g_draws.clear();
}

const std::vector<D3D8DrawRecord>& d3d8_seam_draws()
{
    return g_draws;
}

void d3d8_log_draw(const D3DDrawCall& call, const D3DDeviceState& state)
{
    if (g_log_draws) g_draws.push_back({call, state});
}

void d3d8_seam_close_after_presents(int presents)
{
    g_presents_before_close = presents;
}

void d3d8_seam_note_present(HWND window)
{
    if (g_presents_before_close > 0 && --g_presents_before_close == 0) PostMessageA(window, WM_CLOSE, 0, 0);
}

void d3d8_seam_pad_texture_pitch(UINT bytes)
{
    g_texture_pitch_padding = (bytes + 3) & ~3u;
}

UINT d3d8_texture_pitch_padding()
{
    return g_texture_pitch_padding;
}

void d3d8_seam_reset()
{
    g_texture_pitch_padding = 0;
    g_presents_before_close = 0;
    d3d8_seam_set_machine(std::nullopt);
    g_failures.clear();
    g_cooperative_script.clear();
    g_log_draws = false;
    g_draws.clear();
}

void d3d8_set_backend_factory(D3D8BackendFactory factory)
{
    g_backend_factory = factory;
}

D3D8BackendFactory d3d8_backend_factory()
{
    return g_backend_factory;
}

void d3d8_reset_call_counts(IDirect3DDevice8& device)
{
    device.m_counts = D3DCallCounts{};
}
