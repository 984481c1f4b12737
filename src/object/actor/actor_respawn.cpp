#include "object/actor/go_actor.h"

#include "core/maths.h"
#include "lowlv/d3d/renderer_frame.h"

namespace {

constexpr float k_full_heal = 9999.0f;
constexpr float k_three_quarter_turn = 4.712389f; // the table's heading 0 faces the other way
constexpr D3DCOLOR k_opaque_white = 0xFFFFFFFF;

// Opaque, untinted and unflashed: what a living actor shows.
void reset_drawing(GoActor& actor)
{
    actor.alpha = actor.alpha_target = 1.0f;
    actor.alpha_rate = 0.0f;
    actor.colour = k_opaque_white;
    actor.added_colour = 0;
    actor.flash = 0.0f;
    for (QuadVertex& vertex : actor.sprite_quads[0])
        vertex.diffuse = k_opaque_white;
}

void go_home(GoActor& actor)
{
    const D3DXVECTOR3& home = actor.home_point;
    actor.facing = actor.attack_facing = actor.home_facing;
    actor_set_yaw_matrix(actor, actor.home_facing);
    actor.camera_height = actor.camera_height_goal = home.y;
    matrix_set_position(actor.world, home);
    actor.hit_shape.centre = home;
    actor.ground_height = home.y - (actor.hover_height + actor.foot_offset);
    actor.move_speed_x = actor.move_speed_z = 0.0f;
    actor.vertical_speed = 0.0f;
    actor.push_velocity = actor.bump_velocity = D3DXVECTOR3();
}

} // namespace

void actor_respawn_reset(GoActor& actor, bool return_home)
{
    actor.hit_shape.class_bits |= HIT_ACTIVE;
    actor.defeat_counter = 0;
    if (&actor == g_player && actor.cast == ACTOR_CAST_HERO) player_add_hp(k_full_heal);
    if (return_home) go_home(actor);
    reset_drawing(actor);
}

void actor_set_yaw_matrix(GoActor& actor, float angle)
{
    const int step = math_heading_index(k_three_quarter_turn - angle);
    const float c = math_table_cos(step);
    const float s = math_table_sin(step);
    D3DXMATRIX& m = actor.rotation;
    m._11 = c, m._12 = 0.0f, m._13 = -s;
    m._21 = 0.0f, m._22 = 1.0f, m._23 = 0.0f;
    m._31 = s, m._32 = 0.0f, m._33 = c;
}
