#include "game/g_region.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "scenegraph/model.h"

#include <cstdint>

const FogValues k_fog_default{0.0f, 0.0f, 0.0f, 1.0f, 10.0f, 150.0f, 0.02f};
RegionTable<RegionFog, REGION_FOG_COUNT> g_region_fogs;
RegionFogState g_region_fog{};

namespace {

constexpr float k_reset_step = 0.025f;

RegionFog& region(std::int32_t index)
{
    return *g_region_fogs.at(index);
}

float mix(float from, float to, float f)
{
    return from + (to - from) * f;
}

// Alpha stays 1 and the rate is the target's: only the colour and the range blend.
FogValues mix(const FogValues& from, const FogValues& to, float f)
{
    return {mix(from.r, to.r, f),
            mix(from.g, to.g, f),
            mix(from.b, to.b, f),
            1.0f,
            mix(from.fog_near, to.fog_near, f),
            mix(from.fog_far, to.fog_far, f),
            to.rate};
}

std::uint32_t colour_byte(float v)
{
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(v * 255.0f)) & 0xFF;
}

void switch_to(std::int32_t chosen)
{
    RegionFogState& s = g_region_fog;
    s.previous = s.current;
    s.current = chosen;
    const float rate = region(chosen).fog.rate;
    if (rate >= 1.0f) {
        s.t = 1.0f;
    } else {
        s.resume = s.t != 1.0f;
        if (s.resume) s.saved = s.values;
        s.t = 0.0f;
        s.step = (region(s.previous).fog.rate + rate) * 0.5f;
    }
    if (s.force_snap) {
        s.t = 1.0f;
        s.force_snap = 0;
    }
}

void blend()
{
    RegionFogState& s = g_region_fog;
    if (s.t != 1.0f) s.t += s.step;
    if (s.t >= 1.0f) {
        s.t = 1.0f;
        s.values = region(s.current).fog;
        s.previous = s.current;
        return;
    }
    const FogValues eased = mix(region(s.previous).fog, region(s.current).fog, math_ease(s.t));
    s.values = s.resume ? mix(s.saved, eased, s.t) : eased;
}

// Equal near and far distances leave the linear terms undefined: that fog is no fog.
void set_fog_range(float fog_near, float fog_far)
{
    if (fog_far != fog_near) {
        d3d_set_fog_range(fog_near, fog_far);
        return;
    }
    g_fog_near = fog_near;
    g_fog_far = fog_far;
    g_fog_vs_constants[0] = 0.0f;
    g_fog_vs_constants[1] = 1.0f;
}

void output()
{
    const FogValues& v = g_region_fog.values;
    const bool darkened = g_play_state.dark_scene != 0 && g_device_settings.settings.point_light_vs != 0;
    const float f = darkened ? FOG_DARK_SCENE_FACTOR : 1.0f;
    region_fog_set_colour(v.r * f, v.g * f, v.b * f);
    set_fog_range(v.fog_near, v.fog_far);
}

} // namespace

void RegionFog::Reset()
{
    used = 0;
    sticky = 0;
    fog = {};
}

void region_fogs_alloc()
{
    g_region_fogs.Create();
}

void region_fogs_free()
{
    g_region_fogs.Destroy();
}

void region_fogs_reset_all()
{
    g_region_fogs.ResetAll();
    // Without a focus actor the choice stays on the current index: a new scene starts from its
    // default fog, never from an index of the last one.
    g_region_fog.current = g_region_fog.previous = 0;
    g_region_fog.force_snap = 1;
    g_region_fog.step = k_reset_step;
    g_region_fog.t = 0.0f;
}

int region_fog_alloc()
{
    return g_region_fogs.Claim();
}

int region_fog_add(const FogValues& fog, const Vec3& corner1, const Vec3& corner2, const Vec3& centre,
                   float heading, std::uint8_t sticky)
{
    if (RegionFog* first = g_region_fogs.at(0); first && !first->used) region_fog_alloc();
    const int index = region_fog_alloc();
    if (index < 0) return -1;
    RegionFog& added = region(index);
    added.fog = fog;
    added.sticky = sticky;
    region_shape_setup(added, centre, corner1, corner2, heading);
    return index;
}

void region_fog_update()
{
    if (!g_region_fogs.at(0)) return;
    RegionFogState& s = g_region_fog;
    std::int32_t chosen = s.current;
    if (g_camera_focus) chosen = g_region_fogs.Choose(s.current, actor_position(*g_camera_focus));
    if (chosen != s.current || s.force_snap) switch_to(chosen);
    blend();
    output();
}

void region_fog_set_colour(float r, float g, float b)
{
    g_fog_colors[FOG_COLOR_SCENE] = 0xFF000000u | colour_byte(r) << 16 | colour_byte(g) << 8 | colour_byte(b);
}
