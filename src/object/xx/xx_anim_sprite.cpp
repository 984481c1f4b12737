#include "game/g_decal.h"
#include "game/g_tick.h"
#include "gfx/ani_script.h"
#include "object/xx/go_xx.h"
#include "scenegraph/renderer_camera.h"

namespace {

constexpr D3DCOLOR k_white = 0xFFFFFFFF;
constexpr std::uint32_t k_shadow_colour = 0xFFFFFFFF;
constexpr int k_shadow_kind = 0;
constexpr int k_main_layer = 0;
constexpr float k_no_tilt = 0.0f;
constexpr float k_full_size = 1.0f;

void build_quad(const AnimSprite& sprite)
{
    sprite.script->BuildQuad(sprite.quad->vertices, k_no_tilt, k_white, 0, k_main_layer, k_full_size);
}

// The feet-relative centre, pulled toward the eye by the frame's height so the flat sprite is not
// cut by the ground it stands on.
D3DXVECTOR3 sprite_centre(const AnimSprite& sprite)
{
    const AnimSpriteParams& p = sprite.params;
    const D3DXVECTOR3 centre = p.position + D3DXVECTOR3(p.offset, p.offset - p.foot_drop, 0.0f);
    return centre + g_camera_state.direction * (sprite.script->FrameOffsetY() + p.height_offset);
}

void queue_sprite(GoXx& object, const AnimSprite& sprite, const D3DXVECTOR3& centre)
{
    auto* item = reinterpret_cast<RqQuadItem*>(rq_alloc(ANIM_SPRITE_ROW, RQ_TYPE_QUAD, RQ_SIZE_QUAD));
    if (!item) return;
    const D3DXVECTOR3 to_eye = centre - g_camera_state.eye;
    item->header.key1 = rq_depth_key(D3DXVec3LengthSq(&to_eye));
    item->material = ANIM_SPRITE_MATERIAL;
    item->world = &object.world;
    item->texture = sprite.script->textures[0].texture;
    item->vertices = sprite.quad->vertices;
}

void cast_shadow(const AnimSpriteParams& p)
{
    const D3DXVECTOR3 feet = p.position - D3DXVECTOR3(0.0f, p.foot_drop, 0.0f);
    // A full shadow batch leaves this frame's sprite without its shadow.
    decal_draw_quad(ANIM_SPRITE_SHADOW_BATCH, D3DXVECTOR3(0.0f, 1.0f, 0.0f), k_shadow_colour, feet,
                    p.shadow_radius, p.shadow_height, k_shadow_kind);
}

} // namespace

void goxx_init_anim_sprite(GoXx& object, const AnimSpriteParams& params)
{
    goxx_set_subtype(object, GOXX_ANIM_SPRITE);
    AnimSprite& sprite = object.area<AnimSprite>();
    sprite.params = params;
    sprite.quad = new AnimSpriteQuad{};
    sprite.script = new AniScript{};
    AniScript& script = *sprite.script;
    // Frame textures that cannot be made leave the sprite drawn untextured.
    script.Bind(params.script_set);
    script.ClearActionState();
    script.SetAction(params.action);
    script.image_archive = params.image_archive;
    script.height_offset = params.frame_value;
    build_quad(sprite);
}

void goxx_update_anim_sprite(GoXx& object)
{
    if (!g_draw_frame) return;
    const AnimSprite& sprite = object.area<AnimSprite>();
    const D3DXVECTOR3 centre = sprite_centre(sprite);
    if (!gfx_sphere_in_view(centre, ANIM_SPRITE_VIEW_RADIUS)) return;
    object.world = g_camera_state.heading_rotation;
    object.world._41 = centre.x;
    object.world._42 = centre.y;
    object.world._43 = centre.z;
    AniScript& script = *sprite.script;
    script.SetFacing(sprite.params.facing);
    script.UpdateTextures();
    build_quad(sprite);
    queue_sprite(object, sprite, centre);
    cast_shadow(sprite.params);
}

void goxx_release_anim_sprite(GoXx& object)
{
    AnimSprite& sprite = object.area<AnimSprite>();
    if (sprite.script) sprite.script->ReleaseTextures();
    delete sprite.script;
    delete sprite.quad;
    sprite.script = nullptr;
    sprite.quad = nullptr;
}
