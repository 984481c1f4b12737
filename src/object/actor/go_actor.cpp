#include "object/actor/go_actor.h"

#include "game/g_play_state.h"
#include "game/g_pointer.h"
#include "game/g_region.h"
#include "game/g_tick.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int64_t k_gold_max = 999999;
constexpr std::int64_t k_dusca_max = 9999;

} // namespace

GoActor* g_player = nullptr;
GoActor* g_camera_focus = nullptr;
GoActor* g_ally_actors[ACTOR_ALLY_COUNT] = {};

GoActor::GoActor() : GoBase(go_next_object_id(GO_CLASS_ACTOR), GO_CLASS_ACTOR) {}

// A world clear deletes the player with everything else; nothing may point at it afterwards.
GoActor::~GoActor()
{
    script.ReleaseTextures();
    if (g_player == this) g_player = nullptr;
    if (g_camera_focus == this) g_camera_focus = nullptr;
    for (GoActor*& ally : g_ally_actors)
        if (ally == this) ally = nullptr;
}

namespace {

// The mouse pointer turns toward the player's place on the 640x480 screen. A place that has none
// (the player on the eye's plane) leaves the last one.
void write_pointer_anchor(const GoActor& player)
{
    const D3DXVECTOR3 drawn(player.world._41,
                            player.world._42 - player.foot_offset + player.draw_height_offset,
                            player.world._43);
    D3DXVECTOR3 pixel;
    D3DXVec3TransformCoord(&pixel, &drawn, &g_camera_state.screen);
    if (!std::isfinite(pixel.x) || !std::isfinite(pixel.y)) return;
    if (g_screen_scale.stretched) {
        pixel.x *= g_screen_scale.inv_sx;
        pixel.y *= g_screen_scale.inv_sy;
    }
    g_mouse_pointer.anchor_x = pixel.x;
    g_mouse_pointer.anchor_y = pixel.y;
}

} // namespace

// The steps every behaviour kind ends with.
void GoActor::Update()
{
    if (g_player == this && g_draw_frame) write_pointer_anchor(*this);
    if (g_camera_focus != this || g_paused) return;
    if (g_whole_tick) {
        region_entry_update();
        region_fog_update();
    }
    region_camera_update();
}

void actor_camera_target(const GoActor& actor, D3DXVECTOR3& out)
{
    constexpr float k_max_drop = 5.0f;
    const float x = actor.world._41;
    const float y = actor.world._42;
    const float z = actor.world._43;
    const float level = actor.camera_height + actor.foot_offset;
    float height = level;
    if (y - level > k_max_drop)
        height = y - k_max_drop;
    else if (level - y > actor.foot_offset)
        height = y + actor.foot_offset;
    out = D3DXVECTOR3(x, height, z);
}

D3DXVECTOR3 actor_position(const GoActor& actor)
{
    return {actor.world._41, actor.world._42, actor.world._43};
}

namespace {

void start_blend(ActorColourBlend& blend, const Vec3& q, const Vec3& p, float rate, std::int32_t hold)
{
    blend.from[0] = p.x;
    blend.from[1] = p.y;
    blend.from[2] = p.z;
    blend.to[0] = q.x;
    blend.to[1] = q.y;
    blend.to[2] = q.z;
    blend.progress = 0.0f;
    blend.rate = rate;
    blend.repeats = hold;
}

} // namespace

void actor_set_color_blend_a(GoActor& actor, const Vec3& q, const Vec3& p, float rate, std::int32_t hold)
{
    start_blend(actor.colour_blend_a, q, p, rate, hold);
}

void actor_set_color_blend_b(GoActor& actor, const Vec3& q, const Vec3& p, float rate, std::int32_t hold)
{
    start_blend(actor.colour_blend_b, q, p, rate, hold);
}

bool player_add_hp(float delta)
{
    PlayState& ps = g_play_state;
    if (delta < 0.0f) ps.game_flags[GF_DAMAGE_TAKEN] = 1;
    const float before = ps.status.hp;
    ps.status.hp = std::max(std::min(before + delta, ps.status.max_hp), 0.0f);
    if (ps.status.hp == before) return false;
    if (g_player != nullptr) g_player->status.hp = ps.status.hp;
    return true;
}

bool player_add_gold(std::int32_t delta)
{
    PlayState& ps = g_play_state;
    const std::int32_t before = ps.status.gold;
    // In 64 bits: a script's delta may be anything, and a sum past the range must not wrap.
    ps.status.gold =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{before} + delta, 0, k_gold_max));
    if (ps.status.gold == before) return false;
    if (g_player != nullptr) g_player->status.gold = ps.status.gold;
    return true;
}

bool player_add_dusca(std::int32_t delta)
{
    std::int32_t& dusca = g_play_state.game_flags[GF_DUSCA];
    const std::int32_t before = dusca;
    dusca = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{before} + delta, 0, k_dusca_max));
    return dusca != before;
}
