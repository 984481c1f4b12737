// The bosses: one object each, made and driven by the event scripts through the control block.
#pragma once

#include "object/go_base.h"
#include "scenegraph/model.h"
#include "scenegraph/render_target.h"

#include <cstdint>

// What the event scripts ask of a boss; the boss reads it every step. Zeroed at the boss's set-up.
struct BossControl {
    std::int32_t mode;       // 0: the boss thinks for itself; else the script drives it
    std::int32_t anim;       // the animation range the script wants played
    std::int32_t anim_blend; // cross-fade from the current pose
    std::int32_t anim_first; // offsets into the range
    std::int32_t anim_last;  // -1: the range's end
    float alpha_rate;        // per tick; 1.0 or more sets the alpha at once
    float alpha_target;
    D3DVECTOR move_target;
    D3DVECTOR move_velocity; // per tick
    float move_stop_radius;  // a move runs while non-zero; 0 once arrived
    float yaw_target;        // radians
    float turn_speed;        // radians per tick
    float value_f;           // free for the class
    std::int32_t value_i;    // free for the class
};
static_assert(sizeof(BossControl) == 72);
static_assert(offsetof(BossControl, move_target) == 28);
static_assert(offsetof(BossControl, move_stop_radius) == 52);
static_assert(offsetof(BossControl, value_i) == 68);

// What every boss holds for the script waits: its control block and its model's animation,
// whose range-ended flag tells a scripted animation has played out.
class GoBoss : public GoBase {
public:
    BossControl control{};
    ModelInstance anim_instance{};

protected:
    explicit GoBoss(std::uint8_t class_code);
};

// Every boss but GoBoss7 draws through one render texture of its own, which a device reset
// releases and makes again; GoBoss7 keeps two render targets.
class GoBoss1 : public GoBoss {
public:
    GoBoss1() : GoBoss(GO_CLASS_BOSS1) {}
    RenderTexture render_texture{};
};

class GoBoss2 : public GoBoss {
public:
    GoBoss2() : GoBoss(GO_CLASS_BOSS2) {}
    RenderTexture render_texture{};
};

class GoBoss3 : public GoBoss {
public:
    GoBoss3() : GoBoss(GO_CLASS_BOSS3) {}
    BossControl second_control{}; // the second body's
    RenderTexture render_texture{};
};

class GoBoss4 : public GoBoss {
public:
    GoBoss4() : GoBoss(GO_CLASS_BOSS4) {}
    RenderTexture render_texture{};
};

// Its battle's camera: the camera regions copy these into region 0 every tick.
class GoBoss5 : public GoBoss {
public:
    GoBoss5() : GoBoss(GO_CLASS_BOSS5) {}
    RenderTexture render_texture{};
    D3DVECTOR camera_eye{};
    D3DVECTOR camera_target{};
    float camera_distance = 0.0f;
    float camera_pitch = 0.0f;
    float camera_view_angle = 0.0f;
};

class GoBoss7 : public GoBoss {
public:
    GoBoss7() : GoBoss(GO_CLASS_BOSS7) {}
    BossControl body_controls[2] = {}; // its other bodies'
    RenderTexture render_targets[2] = {};
};

class GoBoss8 : public GoBoss {
public:
    GoBoss8() : GoBoss(GO_CLASS_BOSS8) {}
    RenderTexture render_texture{};
};
