#include "object/actor/go_actor.h"

#include "game/g_play_state.h"

#include <algorithm>

GoActor* g_player = nullptr;
GoActor* g_camera_focus = nullptr;

GoActor::GoActor() : GoBase(go_next_object_id(GO_CLASS_ACTOR), GO_CLASS_ACTOR) {}

// A world clear deletes the player with everything else; nothing may point at it afterwards.
GoActor::~GoActor()
{
    script.ReleaseTextures();
    if (g_player == this) g_player = nullptr;
    if (g_camera_focus == this) g_camera_focus = nullptr;
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
