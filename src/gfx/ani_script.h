// The animation-script interpreter: the running script of one sprite character. It requests
// actions by priority, runs their words once a tick (waits, marks, follow-ups, function calls on
// its owner), decodes the shown frame into its textures and builds the billboard quad.
#pragma once

#include "gfx/ani_dat.h"
#include "gfx/script_ops.h"
#include "scenegraph/renderer_queue.h"

#include <cstdint>
#include <span>

class GoActor;

// The animation-only function ids; 150-217 are the shared ones of script_ops.h.
enum AniFunctionId : std::int32_t {
    FUNCID_COLOR_B = 1,
    FUNCID_WAIT = 2,
    FUNCID_SET_IMAGES = 3,
    FUNCID_SET_ANIM = 4,
    FUNCID_MARK = 5,
    FUNCID_GOTO_ACTION = 6,
    FUNCID_COLOR_A = 7,
    FUNCID_JUMP = 8,
    FUNCID_PUSH = 9,
    FUNCID_SPAWN_XX = 10,
    FUNCID_SWITCH5 = 11,
    FUNCID_SWITCH4 = 12,
    FUNCID_SWITCH01 = 13,
    FUNCID_SWITCH2 = 14,
    FUNCID_NO_REACTION = 15,
    FUNCID_SWITCH1 = 16,
    FUNCID_MOVE_SCALE = 17,
    FUNCID_SWITCH3 = 18,
    FUNCID_NO_HIT = 19,
    FUNCID_OFFSET_Y = 20,
    FUNCID_DIR_OFFSET = 21,
    FUNCID_LAND_EVENT = 22,
    FUNCID_REG_ONGROUND = 23,
    FUNCID_BOOST_ADD = 24,
    FUNCID_ATTACK = 25,
    FUNCID_SWORD_TRAIL = 26,
    FUNCID_EFFECT = 27,
    FUNCID_DROP_ITEMS = 28,
    FUNCID_DROP_ITEMS_LONG = 29,
    FUNCID_REG_PREVACTION = 30,
    FUNCID_LOCAL_EQINT = 31,
    FUNCID_LOCAL_SETINT = 32,
    FUNCID_LOCAL_ADDINT = 33,
    FUNCID_LOCAL_MULINT = 34,
    FUNCID_SOUND = 35,
    FUNCID_FOOTSTEP = 36,
    FUNCID_SHOT = 37,
    FUNCID_REG_AIBYTE = 50,
};
// Ids above this, and 0, do nothing.
constexpr std::int32_t ANI_FUNCTION_ID_LAST = 217;

// Where the interpreter's fatal errors come from (source "ani_script").
constexpr unsigned ANI_SCRIPT_LINE_BIND = 42;            // a set with neither action 2 nor action 0
constexpr unsigned ANI_SCRIPT_LINE_RUN_UNTIL_MARK = 354; // the mark never came
constexpr unsigned ANI_SCRIPT_LINE_EVAL_OPCODE = 719;    // an undefined opcode in EvalDuration
constexpr unsigned ANI_SCRIPT_LINE_STEP_OPCODE = 1395;   // an undefined opcode in Step
// One Step or EvalDuration that executes this many words or follow-up switches without giving
// control back is stuck in a loop of its data, and fatal.
constexpr std::uint32_t ANI_SCRIPT_RUN_LIMIT = 1000000;

constexpr int ANI_SWITCH_COUNT = 9;
constexpr int ANI_LOCAL_COUNT = 16;
constexpr int ANI_ACTION_LOCALS = 8;              // locals 0-7 belong to the per-action state
constexpr std::int32_t ANI_VAR_LOCAL_FIRST = 512; // ScriptVarIndex 512-527 are the locals
constexpr std::int32_t ANI_VAR_COUNT = 528;
// Action switches the owner reads.
constexpr int ANI_SWITCH_JUMPED = 6;
constexpr int ANI_SWITCH_NO_HIT = 7;
constexpr int ANI_SWITCH_NO_REACTION = 8;
constexpr std::int32_t ANI_ACTION_DEFEAT = 5;

// No virtual functions: it is zero-filled with its owner.
class AniScript {
public:
    // Binds the set (loaded on first use), starts action 2, else action 0, and makes the frame
    // textures of the set's archive. The device's code when a texture cannot be made; a set with
    // neither action is fatal.
    HRESULT Bind(std::int32_t set_number);
    void ReleaseTextures();
    // 1 when the action was started; a missing id falls back to action 0 with 0. A request
    // refused for its priority still clears the override.
    std::uint8_t RequestAction(std::int32_t id, bool keep);
    // One tick: counts the wait down, else runs words until a wait, a yield, a held mark or an
    // action end without a follow-up.
    void Step(GoActor* owner);
    // Steps on, skipping waits, until the mark is set or the action ends or changes; the wait
    // ticks skipped. More than 101 steps are fatal.
    std::int32_t RunUntilMark(GoActor* owner, std::int32_t mark);
    // The ticks that action 3 waits while its last mark is 0, by a dry run; changes nothing.
    std::int32_t EvalDuration();
    // Decodes the shown frame (direction plus direction offset) when it changed.
    void UpdateTextures();
    // The frame's billboard, of the chosen layer's canvas, in the plain direction.
    void BuildQuad(QuadVertex (&out)[4], float tilt, D3DCOLOR diffuse, D3DCOLOR specular, int layer,
                   float size) const;
    // The direction of the angle, seen from the camera's heading, among the entry's 8 or 16.
    void SetFacing(float angle);
    float FrameOffsetY() const;
    void ClearActionState();
    // The action switch: the one way an action starts.
    void SetAction(std::int32_t id);

    AniScriptSet* set;
    AniFrameTexture textures[2];
    std::int32_t set_number;
    std::int32_t image_archive;
    std::int32_t shown_archive, shown_key, shown_direction, shown_frame;
    std::uint8_t refresh;
    std::uint8_t second_layer_shown;
    std::int32_t current_action;
    std::int32_t follow_up;
    std::int32_t follow_up_after_3;
    std::int32_t previous_action;
    std::uint32_t pc;
    std::int32_t wait;
    std::int32_t reg;
    std::int32_t anim_key;
    std::int32_t direction;
    std::int32_t frame;
    // The per-action state, from the mark through local 7, cleared at every action start.
    std::int32_t mark;
    std::int32_t stop_mark; // -1: none
    std::int32_t direction_offset;
    float height_offset;
    float move_scale;
    std::uint8_t switches[ANI_SWITCH_COUNT];
    std::int32_t locals[ANI_LOCAL_COUNT];
    std::int32_t override_key; // -1: none; else shown with the override frame, and the script rests
    std::int32_t override_frame;
};

// One function call: the script, its owner and the argument words. Words the action's code does
// not hold read as 0.
struct AniCall {
    AniScript& script;
    GoActor* owner;
    std::span<const ScriptWord> args;

    std::int32_t arg(std::size_t i) const { return i < args.size() ? static_cast<std::int32_t>(args[i]) : 0; }
    float arg_float(std::size_t i) const;
};

const AniAction* ani_find_action(const AniScriptSet& set, std::int32_t id);
// The variable a ScriptVarIndex names: 0-511 game flags, 512-527 the script's locals; another
// index throws RuntimeError naming the set and action.
std::int32_t* ani_script_var_ptr(std::int32_t index, AniScript& script);
// A pixel of the actor's canvas as a world point: the frame's quad (no tilt, size 1) through the
// actor's billboard matrix, pushed by depth toward the camera's eye, interpolated at the pixel,
// then through the transform and divided by w. False, nothing written, without an actor.
bool ani_frame_point_to_world(const GoActor* actor, D3DXVECTOR3& out, float x, float y, float depth,
                              const D3DXMATRIX& transform);
