#include "gfx/ani_script.h"

#include "core/errors.h"
#include "game/g_play_state.h"
#include "gfx/ani_ops.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace {

constexpr const char* k_source = "ani_script";
constexpr std::int32_t k_no_override = -1;
constexpr std::int32_t k_action_with_own_follow_up = 3;
constexpr std::int32_t k_duration_action = 3;
constexpr std::int32_t k_first_action = 2; // started by Bind, else action 0
constexpr unsigned k_step_division_lines[SCRIPT_DIVISION_ERRORS] = {1019, 1028, 1037, 1046,
                                                                    1171, 1180, 1189, 1198};
// A dry run only ever sets its private accumulator, so only the REG forms can divide there.
constexpr unsigned k_eval_division_lines[SCRIPT_DIVISION_ERRORS] = {0, 0, 0, 0, 499, 508, 517, 526};

// ---- Errors ---------------------------------------------------------------------------------------
// "<what> <value> (script set <n>, action <id>)" with the text of E_FAIL.
[[noreturn]] void fail(const AniScript& script, std::int32_t action, unsigned line, const char* what,
                       std::int64_t value)
{
    char detail[ERR_DETAIL_SIZE];
    std::snprintf(detail, sizeof detail, "%s %lld (script set %d, action %d)", what,
                  static_cast<long long>(value), script.set_number, action);
    err_raise_code(E_FAIL, detail, k_source, line);
}

[[noreturn]] void fail_undefined_opcode(std::uint32_t opcode, unsigned line)
{
    char detail[ERR_DETAIL_SIZE];
    std::snprintf(detail, sizeof detail, "Undefined instruction [%d]", static_cast<int>(opcode));
    err_raise_code(E_FAIL, detail, k_source, line);
}

void check_run_limit(const AniScript& script, std::int32_t action, std::uint32_t executed)
{
    if (executed >= ANI_SCRIPT_RUN_LIMIT)
        fail(script, action, __LINE__, "Words run without giving control back:", executed);
}

// ---- Words ----------------------------------------------------------------------------------------
std::int32_t wrap_add(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t wrap_mul(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// The loader keeps every action's code inside the code area.
std::span<const ScriptWord> action_code(const AniScriptSet& set, const AniAction& action)
{
    return {set.code + action.code_offset / sizeof(ScriptWord), action.length};
}

// Fetches the word at the counter and runs it when it is plain, giving back 0 (a NOP word); a
// yield or a call comes back for the interpreter to run. An undefined opcode is fatal from the
// interpreter's line.
ScriptWord run_word(std::span<const ScriptWord> code, std::uint32_t& pc, std::int32_t& reg, unsigned line)
{
    const ScriptWord word = code[pc++];
    const std::uint32_t opcode = script_word_opcode(word);
    if (opcode >= SCRIPT_OP_COUNT) fail_undefined_opcode(opcode, line);
    if (opcode == SCRIPT_OP_YIELD || opcode == SCRIPT_OP_CALL) return word;
    script_run_plain_opcode(opcode, code, pc, reg);
    return 0;
}

// The argument words of the call word before the counter, which moves past them; words past the
// code are left out (they read as 0).
std::span<const ScriptWord> take_args(std::span<const ScriptWord> code, std::uint32_t& pc, ScriptWord call)
{
    const std::uint32_t argc = script_word_argc(call);
    const std::span<const ScriptWord> args = code.subspan(pc, std::min<std::size_t>(argc, code.size() - pc));
    pc += argc;
    return args;
}

// ---- Variables ----------------------------------------------------------------------------------
std::int32_t* variable_of(std::int32_t index, void* script)
{
    return ani_script_var_ptr(index, *static_cast<AniScript*>(script));
}

void run_shared(std::int32_t id, std::span<const ScriptWord> args, std::int32_t& reg, AniScript& script,
                const unsigned (&division_lines)[SCRIPT_DIVISION_ERRORS])
{
    ScriptOpsContext context{reg, &variable_of, &script, k_source, division_lines, nullptr};
    script_ops_run(id, args, context);
}

// Ids 31-34 name a local directly by its number.
std::int32_t& local(AniScript& script, std::int32_t number)
{
    if (number < 0 || number >= ANI_LOCAL_COUNT)
        fail(script, script.current_action, __LINE__, "Local number out of range:", number);
    return script.locals[number];
}

std::int32_t previous_action_is(const AniCall& call)
{
    return call.arg(0) == call.script.previous_action;
}

std::int32_t local_equals(const AniCall& call)
{
    return local(call.script, call.arg(0)) == call.arg(1);
}

// ---- Function handlers ------------------------------------------------------------------------------
// What the run does after a function.
enum class Flow {
    next,
    stop, // the tick's run ends
    hold, // the run ends on the call word, which runs again next tick
};
using Handler = Flow (*)(AniCall&);

Flow op_wait(AniCall& call)
{
    call.script.wait = call.arg(0);
    return Flow::stop;
}

// A number outside the archive table is fatal where the script names it.
Flow op_set_images(AniCall& call)
{
    ani_dat_get_images(call.arg(0));
    call.script.image_archive = call.arg(0);
    return Flow::next;
}

Flow op_set_anim(AniCall& call)
{
    call.script.anim_key = call.arg(0);
    call.script.frame = call.arg(1);
    return Flow::next;
}

Flow op_mark(AniCall& call)
{
    call.script.mark = call.arg(0);
    return call.script.stop_mark == call.arg(0) ? Flow::hold : Flow::next;
}

Flow op_goto_action(AniCall& call)
{
    AniScript& script = call.script;
    if (ani_find_action(*script.set, call.arg(0))) {
        script.SetAction(call.arg(0));
        script.ClearActionState();
    }
    return Flow::next;
}

template <int... Switches> Flow op_switches(AniCall& call)
{
    ((call.script.switches[Switches] = call.arg(0) != 0), ...);
    return Flow::next;
}

Flow op_move_scale(AniCall& call)
{
    call.script.move_scale = call.arg_float(0);
    return Flow::next;
}

Flow op_offset_y(AniCall& call)
{
    call.script.height_offset = call.arg_float(0);
    return Flow::next;
}

Flow op_dir_offset(AniCall& call)
{
    call.script.direction_offset = call.arg(0);
    return Flow::next;
}

Flow op_reg_prev_action(AniCall& call)
{
    call.script.reg = previous_action_is(call);
    return Flow::next;
}

Flow op_local_eq_int(AniCall& call)
{
    call.script.reg = local_equals(call);
    return Flow::next;
}

Flow op_local_set_int(AniCall& call)
{
    local(call.script, call.arg(0)) = call.arg(1);
    return Flow::next;
}

Flow op_local_add_int(AniCall& call)
{
    std::int32_t& value = local(call.script, call.arg(0));
    value = wrap_add(value, call.arg(1));
    return Flow::next;
}

Flow op_local_mul_int(AniCall& call)
{
    std::int32_t& value = local(call.script, call.arg(0));
    value = wrap_mul(value, call.arg(1));
    return Flow::next;
}

template <void (*Op)(AniCall&)> Flow owner_op(AniCall& call)
{
    Op(call);
    return Flow::next;
}

template <std::int32_t Id> Flow shared_op(AniCall& call)
{
    run_shared(Id, call.args, call.script.reg, call.script, k_step_division_lines);
    return Flow::next;
}

Flow no_op(AniCall&)
{
    return Flow::next;
}

// ---- Dispatch: each id 1-217 maps to one of 105 handlers --------------------------------------------
constexpr int k_handler_count = 105;
constexpr int k_first_shared_handler = 38;
constexpr int k_no_op_handler = 104;

constexpr int handler_of(std::int32_t id)
{
    if (id <= FUNCID_SHOT) return id - 1;
    if (id == FUNCID_REG_AIBYTE) return 37;
    if (id >= SCRIPT_OPS_FIRST && id <= 181) return k_first_shared_handler + (id - SCRIPT_OPS_FIRST);
    if (id == 183) return 70;
    if (id == 184 || id == 185) return 71;
    if (id >= 186) return 72 + (id - 186);
    return k_no_op_handler;
}

// The id a shared handler runs: 184 for handler 71, which 184 and 185 share.
constexpr std::int32_t shared_id_of(int handler)
{
    if (handler < 70) return SCRIPT_OPS_FIRST + (handler - k_first_shared_handler);
    if (handler < 72) return 183 + (handler - 70);
    return 186 + (handler - 72);
}

constexpr std::array<std::uint8_t, ANI_FUNCTION_ID_LAST> k_id_map = [] {
    std::array<std::uint8_t, ANI_FUNCTION_ID_LAST> map{};
    for (std::int32_t id = 1; id <= ANI_FUNCTION_ID_LAST; ++id)
        map[id - 1] = static_cast<std::uint8_t>(handler_of(id));
    return map;
}();

constexpr Handler k_own_handlers[] = {
    &owner_op<ani_op_color_b>,            // 1
    &op_wait,                             // 2
    &op_set_images,                       // 3
    &op_set_anim,                         // 4
    &op_mark,                             // 5
    &op_goto_action,                      // 6
    &owner_op<ani_op_color_a>,            // 7
    &owner_op<ani_op_jump>,               // 8
    &owner_op<ani_op_push>,               // 9
    &owner_op<ani_op_spawn_xx>,           // 10
    &op_switches<5>,                      // 11 FUNCID_SWITCH5
    &op_switches<4>,                      // 12 FUNCID_SWITCH4
    &op_switches<0, 1>,                   // 13 FUNCID_SWITCH01
    &op_switches<2>,                      // 14 FUNCID_SWITCH2
    &op_switches<ANI_SWITCH_NO_REACTION>, // 15
    &op_switches<1>,                      // 16 FUNCID_SWITCH1
    &op_move_scale,                       // 17
    &op_switches<3>,                      // 18 FUNCID_SWITCH3
    &op_switches<ANI_SWITCH_NO_HIT>,      // 19
    &op_offset_y,                         // 20
    &op_dir_offset,                       // 21
    &owner_op<ani_op_land_event>,         // 22
    &owner_op<ani_op_reg_on_ground>,      // 23
    &owner_op<ani_op_boost_add>,          // 24
    &owner_op<ani_op_set_attack>,         // 25
    &owner_op<ani_op_sword_trail>,        // 26
    &owner_op<ani_op_effect>,             // 27
    &owner_op<ani_op_drop_items>,         // 28
    &owner_op<ani_op_drop_items_long>,    // 29
    &op_reg_prev_action,                  // 30
    &op_local_eq_int,                     // 31
    &op_local_set_int,                    // 32
    &op_local_add_int,                    // 33
    &op_local_mul_int,                    // 34
    &owner_op<ani_op_sound>,              // 35
    &owner_op<ani_op_footstep>,           // 36
    &owner_op<ani_op_spawn_shot>,         // 37
    &owner_op<ani_op_reg_ai_byte>,        // 50
};
static_assert(std::size(k_own_handlers) == k_first_shared_handler);

template <std::size_t... I>
constexpr std::array<Handler, sizeof...(I)> shared_handlers(std::index_sequence<I...>)
{
    return {&shared_op<shared_id_of(k_first_shared_handler + static_cast<int>(I))>...};
}

// Every slot is filled: the own handlers by count, the shared ones one per slot, the last no-op.
constexpr std::array<Handler, k_handler_count> k_handlers = [] {
    std::array<Handler, k_handler_count> table{};
    const auto shared = shared_handlers(std::make_index_sequence<k_no_op_handler - k_first_shared_handler>{});
    std::copy(std::begin(k_own_handlers), std::end(k_own_handlers), table.begin());
    std::copy(shared.begin(), shared.end(), table.begin() + k_first_shared_handler);
    table[k_no_op_handler] = &no_op;
    return table;
}();

// ---- Frames -------------------------------------------------------------------------------------------
struct FrameChoice {
    std::int32_t key;
    std::int32_t frame;
};

// An override replaces the script's key and frame.
FrameChoice chosen_frame(const AniScript& script)
{
    if (script.override_key != k_no_override) return {script.override_key, script.override_frame};
    return {script.anim_key, script.frame};
}

// The loader keeps every entry's records, and the second layers, inside the archive.
const AniFrame& shown_record(const AniScript& script, const AniImageSet& images)
{
    const FrameChoice choice = chosen_frame(script);
    return images.frames[ani_dat_frame_index(images, static_cast<std::uint32_t>(choice.key),
                                             static_cast<std::uint32_t>(script.direction),
                                             static_cast<std::uint32_t>(choice.frame))];
}

void upload(AniFrameTexture& texture, const AniImageSet& images, std::uint32_t index)
{
    const AniFrame& record = images.frames[index];
    ani_texture_upload_frame(texture, ani_dat_palette(images, record.palette),
                             ani_dat_frame_rle(images, record), record);
}

std::int32_t truncate_saturated(float value)
{
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

} // namespace

float AniCall::arg_float(std::size_t i) const
{
    return std::bit_cast<float>(arg(i));
}

// ---- Binding and actions ------------------------------------------------------------------------------
HRESULT AniScript::Bind(std::int32_t set_number_)
{
    ReleaseTextures();
    set_number = set_number_;
    set = &ani_dat_get_script_set(set_number_);
    current_action = follow_up = follow_up_after_3 = k_first_action;
    override_key = k_no_override;
    override_frame = 0;
    if (ani_find_action(*set, k_first_action)) {
        RequestAction(k_first_action, false);
    } else if (ani_find_action(*set, 0)) {
        current_action = follow_up = follow_up_after_3 = 0;
        RequestAction(0, false);
    } else {
        err_raise_code(E_FAIL, ani_script_name(set_number_), k_source, ANI_SCRIPT_LINE_BIND);
    }

    image_archive = static_cast<std::int32_t>(set->header->image_archive);
    const AniImageSet& images = ani_dat_get_images(image_archive);
    const AniImageHeader& header = *images.header;
    const D3DFORMAT format = ani_texture_format();
    const int layers = header.flags & ANI_IMAGE_PAIRED_LAYERS ? 2 : 1;
    for (int layer = 0; layer < layers; ++layer) {
        const HRESULT hr = ani_texture_create(textures[layer], header.canvas_width, header.canvas_height,
                                              header.scale, format);
        if (FAILED(hr)) return hr;
    }

    // A new texture's last rectangle is its whole canvas, so the first decode clears it all.
    shown_archive = shown_key = shown_direction = shown_frame = -1;
    refresh = 1;
    return S_OK;
}

void AniScript::ReleaseTextures()
{
    for (AniFrameTexture& texture : textures)
        ani_texture_release(texture);
}

std::uint8_t AniScript::RequestAction(std::int32_t id, bool keep)
{
    if (!set) return 0;
    std::uint8_t started = 1;
    const AniAction* wanted = ani_find_action(*set, id);
    if (!wanted) {
        wanted = ani_find_action(*set, 0);
        if (!wanted) return 0;
        id = 0;
        started = 0;
    }
    if (keep && current_action == id) return 0;
    const AniAction* running = ani_find_action(*set, current_action);
    if (!running) return 0;
    override_key = k_no_override;
    override_frame = 0;
    if (running->priority > wanted->priority) return 0;
    SetAction(id);
    return started;
}

void AniScript::SetAction(std::int32_t id)
{
    previous_action = current_action;
    current_action = id;
    pc = 0;
    wait = 0;
    reg = 0;
    if (set && set->header) image_archive = static_cast<std::int32_t>(set->header->image_archive);
    override_key = k_no_override;
    override_frame = 0;
}

void AniScript::ClearActionState()
{
    mark = 0;
    stop_mark = -1;
    direction_offset = 0;
    height_offset = 0.0f;
    move_scale = 0.0f;
    std::fill(std::begin(switches), std::end(switches), std::uint8_t{0});
    std::fill(locals, locals + ANI_ACTION_LOCALS, 0);
}

// ---- Running --------------------------------------------------------------------------------------------
void AniScript::Step(GoActor* owner)
{
    if (wait != 0) {
        wait = static_cast<std::int32_t>(static_cast<std::uint32_t>(wait) - 1u);
        if (wait != 0) return;
    }
    if (override_key != k_no_override) return;
    if (pc == 0) ClearActionState();
    const AniAction* action = set ? ani_find_action(*set, current_action) : nullptr;
    if (!action) return;
    std::span<const ScriptWord> code = action_code(*set, *action);

    for (std::uint32_t executed = 0;; ++executed) {
        check_run_limit(*this, current_action, executed);
        if (pc >= code.size()) {
            const std::int32_t next =
                current_action == k_action_with_own_follow_up ? follow_up_after_3 : follow_up;
            action = ani_find_action(*set, next);
            if (!action) return;
            SetAction(next);
            ClearActionState();
            code = action_code(*set, *action);
            continue;
        }

        const std::uint32_t word_pc = pc;
        const ScriptWord word = run_word(code, pc, reg, ANI_SCRIPT_LINE_STEP_OPCODE);
        if (script_word_opcode(word) == SCRIPT_OP_YIELD) return;
        if (script_word_opcode(word) != SCRIPT_OP_CALL) continue;
        AniCall call{*this, owner, take_args(code, pc, word)};
        const std::int32_t id = script_word_function(word);
        if (id < 1 || id > ANI_FUNCTION_ID_LAST) continue;
        const std::int32_t running = current_action;
        const Flow flow = k_handlers[k_id_map[id - 1]](call);
        if (flow == Flow::stop) return;
        if (flow == Flow::hold) {
            pc = word_pc;
            return;
        }
        // FUNCID_GOTO_ACTION, or an owner's request, started another action: go on in it.
        if (current_action != running) {
            action = ani_find_action(*set, current_action);
            if (!action) return;
            code = action_code(*set, *action);
        }
    }
}

std::int32_t AniScript::RunUntilMark(GoActor* owner, std::int32_t wanted)
{
    if (override_key != k_no_override || mark == wanted) return 0;
    const AniAction* action = set ? ani_find_action(*set, current_action) : nullptr;
    if (!action) return 0;
    const std::int32_t id = current_action;
    const std::uint32_t length = action->length;
    stop_mark = -1;

    std::int32_t skipped = 0;
    for (int count = 0; pc < length && mark != wanted && current_action == id; ++count) {
        skipped = wrap_add(skipped, wait);
        wait = 0;
        Step(owner);
        if (count > 100) {
            char message[ERR_DETAIL_SIZE];
            std::snprintf(message, sizeof message,
                          "AniScript infinite loop? Cast:%d StopMark:%d, CurMark%d, Mark:%d ActionID%d\r\n",
                          owner ? owner->cast : -1, stop_mark, mark, wanted, current_action);
            err_raise(message, k_source, ANI_SCRIPT_LINE_RUN_UNTIL_MARK);
        }
    }
    return skipped;
}

std::int32_t AniScript::EvalDuration()
{
    const AniAction* action = set ? ani_find_action(*set, k_duration_action) : nullptr;
    if (!action) return 0;
    const std::span<const ScriptWord> code = action_code(*set, *action);
    std::int32_t dry_reg = 0;
    std::int32_t total = 0;
    bool counting = true;
    std::uint32_t at = 0;

    for (std::uint32_t executed = 0; at < code.size(); ++executed) {
        check_run_limit(*this, k_duration_action, executed);
        const ScriptWord word = run_word(code, at, dry_reg, ANI_SCRIPT_LINE_EVAL_OPCODE);
        if (script_word_opcode(word) == SCRIPT_OP_YIELD) break;
        if (script_word_opcode(word) != SCRIPT_OP_CALL) continue;
        const AniCall call{*this, nullptr, take_args(code, at, word)};
        const std::int32_t id = script_word_function(word);
        if (id == FUNCID_WAIT) {
            if (counting) total = wrap_add(total, call.arg(0));
        } else if (id == FUNCID_MARK) {
            counting = call.arg(0) == 0;
        } else if (id == FUNCID_REG_PREVACTION) {
            dry_reg = previous_action_is(call);
        } else if (id == FUNCID_LOCAL_EQINT) {
            dry_reg = local_equals(call);
        } else if (script_ops_sets_reg_only(id)) {
            run_shared(id, call.args, dry_reg, *this, k_eval_division_lines);
        }
    }
    return total;
}

// ---- Frames and drawing -----------------------------------------------------------------------------
void AniScript::UpdateTextures()
{
    const FrameChoice choice = chosen_frame(*this);
    const std::int32_t decoded_direction = wrap_add(direction, direction_offset);
    if (!refresh && shown_archive == image_archive && shown_key == choice.key &&
        shown_direction == decoded_direction && shown_frame == choice.frame)
        return;
    refresh = 0;
    second_layer_shown = 0;
    shown_archive = image_archive;
    shown_key = choice.key;
    shown_direction = decoded_direction;
    shown_frame = choice.frame;
    if (!textures[0].texture) return;

    const AniImageSet& images = ani_dat_get_images(image_archive);
    const std::uint32_t index = ani_dat_frame_index(images, static_cast<std::uint32_t>(choice.key),
                                                    static_cast<std::uint32_t>(decoded_direction),
                                                    static_cast<std::uint32_t>(choice.frame));
    upload(textures[0], images, index);
    if (textures[1].texture && (images.frames[index].flags & ANI_FRAME_SECOND_LAYER)) {
        second_layer_shown = 1;
        upload(textures[1], images, index + 1);
    }
}

void AniScript::BuildQuad(QuadVertex (&out)[4], float tilt, D3DCOLOR diffuse, D3DCOLOR specular, int layer,
                          float size) const
{
    const AniImageSet& images = ani_dat_get_images(image_archive);
    const AniFrame& record = shown_record(*this, images);
    const AniFrameTexture& texture = textures[layer == 1 ? 1 : 0];
    const float g = images.header->scale * size * 0.03125f;
    const auto width = static_cast<float>(texture.width);
    const auto height = static_cast<float>(texture.height);
    const float left = record.canvas_left * g;
    const float right = left + width * g;
    const float top = record.canvas_top * g;
    const float bottom = top - height * g;
    const float z_top = (record.depth + tilt * height) * g;
    const float z_bottom = (record.depth - (height - record.canvas_top) * tilt) * g;
    out[0] = {left, top, z_top, diffuse, specular, 0.0f, 0.0f};
    out[1] = {right, top, z_top, diffuse, specular, 1.0f, 0.0f};
    out[2] = {left, bottom, z_bottom, diffuse, specular, 0.0f, 1.0f};
    out[3] = {right, bottom, z_bottom, diffuse, specular, 1.0f, 1.0f};
}

// One turn is 4096 units; the added angle is half a direction step, so each direction is
// centred on its heading.
void AniScript::SetFacing(float angle)
{
    const AniImageSet& images = ani_dat_get_images(image_archive);
    const FrameChoice choice = chosen_frame(*this);
    const float a = g_camera_heading + 6.2831855f + angle;
    if (ani_dat_entry(images, static_cast<std::uint32_t>(choice.key)).direction_count > 8)
        direction = (truncate_saturated((a + 0.19634955f) * 651.8986f) / 256) & 15;
    else
        direction = (truncate_saturated((a + 0.3926991f) * 651.8986f) / 512) & 7;
}

float AniScript::FrameOffsetY() const
{
    return shown_record(*this, ani_dat_get_images(image_archive)).height + height_offset;
}

// ---- Free functions -----------------------------------------------------------------------------------
const AniAction* ani_find_action(const AniScriptSet& set, std::int32_t id)
{
    if (!set.header) return nullptr;
    for (const AniAction& action : std::span(set.actions, set.header->action_count))
        if (action.id == id) return &action;
    return nullptr;
}

// The comparison is unsigned, so a negative index is out of range like one past the locals.
std::int32_t* ani_script_var_ptr(std::int32_t index, AniScript& script)
{
    const auto i = static_cast<std::uint32_t>(index);
    if (i < static_cast<std::uint32_t>(ANI_VAR_LOCAL_FIRST)) return &g_play_state.game_flags[i];
    if (i < static_cast<std::uint32_t>(ANI_VAR_COUNT)) return &script.locals[i - ANI_VAR_LOCAL_FIRST];
    fail(script, script.current_action, __LINE__, "Variable index out of range:", index);
}

bool ani_frame_point_to_world(const GoActor* actor, D3DXVECTOR3& out, float x, float y, float depth,
                              const D3DXMATRIX& transform)
{
    if (!actor) return false;
    const AniScript& script = actor->script;
    QuadVertex quad[4];
    script.BuildQuad(quad, 0.0f, 0, 0, 0, 1.0f);
    const D3DXVECTOR3 push = g_camera_state.direction * depth; // toward the eye
    D3DXVECTOR3 corners[4];
    for (int i = 0; i < 4; ++i) {
        const D3DXVECTOR3 local_corner(quad[i].x, quad[i].y, quad[i].z);
        D3DXVec3TransformCoord(&corners[i], &local_corner, &actor->billboard_matrix);
        corners[i] += push;
    }

    const AniImageHeader& header = *ani_dat_get_images(script.image_archive).header;
    const float u = header.canvas_width ? x / header.canvas_width : 0.0f;
    const float v = header.canvas_height ? y / header.canvas_height : 0.0f;
    D3DXVECTOR3 upper, lower, point;
    D3DXVec3Lerp(&upper, &corners[0], &corners[1], u);
    D3DXVec3Lerp(&lower, &corners[2], &corners[3], u);
    D3DXVec3Lerp(&point, &upper, &lower, v);

    D3DXVECTOR4 projected;
    D3DXVec3Transform(&projected, &point, &transform);
    // Only a degenerate transform gives w = 0; the point is then left undivided.
    const float w = projected.w != 0.0f ? projected.w : 1.0f;
    out = D3DXVECTOR3(projected.x / w, projected.y / w, projected.z / w);
    return true;
}
