#include "object/boss/boss_command.h"

#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "game/g_scn_data.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/obj_pools.h"

#include <bit>

namespace {

constexpr std::int32_t k_boss7_defeated_flag = 234; // GoBoss7's defeat in story mode
constexpr float k_half_turn = 3.1415927f;           // the heading a boss turns to is kept turned round
constexpr std::uint32_t k_anim_first_count = 4;     // the counts from which the optional words exist
constexpr std::uint32_t k_anim_last_count = 5;
constexpr std::int32_t k_anim_to_range_end = -1;

// Every class's creation is empty until the class itself is built: command 0 then makes nothing
// and every other command finds no boss.
constexpr BossArenaRow k_game_rows[] = {
    {"s_20\\s_2099\\", GO_CLASS_BOSS1, nullptr, -1},
    {"s_36\\s_3699\\", GO_CLASS_BOSS2, nullptr, -1},
    {"s_25\\s_2599\\", GO_CLASS_BOSS3, nullptr, -1},
    {"s_45\\s_4599\\", GO_CLASS_BOSS4, nullptr, -1},
    {"s_55\\s_5699\\", GO_CLASS_BOSS5, nullptr, -1},
    {"s_61\\s_6199\\", GO_CLASS_BOSS5, nullptr, -1},
    {"s_62\\s_6299\\", GO_CLASS_BOSS7, nullptr, -1},
    {"s_62\\s_6298\\", GO_CLASS_BOSS7, nullptr, k_boss7_defeated_flag},
    {"s_62\\s_6298\\", GO_CLASS_BOSS8, nullptr, -1},
};

constexpr std::uint8_t k_wait_order[] = {GO_CLASS_BOSS1, GO_CLASS_BOSS2, GO_CLASS_BOSS3, GO_CLASS_BOSS4,
                                         GO_CLASS_BOSS5, GO_CLASS_BOSS7, GO_CLASS_BOSS8};

std::span<const BossArenaRow> g_boss_arena_rows = k_game_rows;

// The argument words of one command under the count of its call.
struct BossWords {
    std::uint32_t count;
    std::span<const ScriptWord> words;

    std::int32_t i(std::uint32_t index) const
    {
        return index < count && index < words.size() ? static_cast<std::int32_t>(words[index]) : 0;
    }
    float f(std::uint32_t index) const { return std::bit_cast<float>(i(index)); }
    D3DXVECTOR3 point(std::uint32_t first) const { return {f(first), f(first + 1), f(first + 2)}; }
};

const BossArenaRow* current_arena()
{
    for (const BossArenaRow& row : g_boss_arena_rows) {
        if (!scn_data_in_scene(row.folder)) continue;
        if (row.handover_flag >= 0 && g_play_state.game_flags[row.handover_flag] != 0) continue;
        return &row;
    }
    return nullptr;
}

// The velocity is fixed now: the boss's update moves by it until the stop radius is reached.
void start_move(const GoBoss& boss, BossControl& control, const BossWords& in)
{
    const float speed = in.f(1);
    const D3DXVECTOR3 target = in.point(2);
    D3DXVECTOR3 direction = target - matrix_position(boss.world);
    D3DXVec3Normalize(&direction, &direction);
    control.move_target = target;
    control.move_velocity = direction * speed;
    control.move_stop_radius = in.f(5);
}

} // namespace

std::span<const BossArenaRow> boss_arena_rows()
{
    return k_game_rows;
}

void boss_install_arena_rows(std::span<const BossArenaRow> rows)
{
    g_boss_arena_rows = rows;
}

GoBoss* boss_of_class(std::uint8_t class_code)
{
    const MemPoolDesc& pool = obj_pool_of_class(class_code);
    return pool.count > 0 ? static_cast<GoBoss*>(static_cast<GoBase*>(pool.active[0])) : nullptr;
}

void boss_script_command(std::uint32_t count, std::span<const ScriptWord> words)
{
    if (count == 0) return;
    const BossArenaRow* arena = current_arena();
    if (!arena) return;
    const BossWords in{count, words};
    GoBoss* boss = boss_of_class(arena->class_code);
    if (in.i(0) == BOSS_CMD_CREATE) {
        if (!boss && arena->create) boss = arena->create();
        if (boss) matrix_set_position(boss->world, in.point(1));
        return;
    }
    // GoBoss2's and GoBoss3's statue and second-behaviour codes come with their classes; every
    // other code of theirs reaches their block as here.
    if (boss) boss_control_command(*boss, count, boss->control, words);
}

void boss_control_command(GoBoss& boss, std::uint32_t count, BossControl& control,
                          std::span<const ScriptWord> words)
{
    const BossWords in{count, words};
    switch (in.i(0)) {
    case BOSS_CMD_KILL:
        go_kill(boss);
        break;
    case BOSS_CMD_SCRIPT_MODE:
        control.mode = in.i(1);
        break;
    case BOSS_CMD_ANIM:
        control.anim = in.i(1);
        control.anim_blend = in.i(2);
        control.anim_first = count >= k_anim_first_count ? in.i(3) : 0;
        control.anim_last = count >= k_anim_last_count ? in.i(4) : k_anim_to_range_end;
        break;
    case BOSS_CMD_ALPHA:
        control.alpha_rate = in.f(1);
        control.alpha_target = in.f(2);
        break;
    case BOSS_CMD_MOVE:
        start_move(boss, control, in);
        break;
    case BOSS_CMD_TURN:
        control.yaw_target = scene_angle_wrap(in.f(1)) - k_half_turn;
        control.turn_speed = in.f(2);
        break;
    case BOSS_CMD_SET_INT:
        control.value_i = in.i(1);
        break;
    case BOSS_CMD_SET_FLOAT:
        control.value_f = in.f(1);
        break;
    default:
        break;
    }
}

GoBoss* boss_waited_on()
{
    for (const std::uint8_t class_code : k_wait_order)
        if (GoBoss* boss = boss_of_class(class_code)) return boss;
    return nullptr;
}

bool script_boss_anim_done()
{
    const GoBoss* boss = boss_waited_on();
    if (!boss) return true;
    const ModelInstance& anim = boss->anim_instance;
    return static_cast<std::int32_t>(anim.range) == boss->control.anim &&
           (anim.state & MODEL_STATE_ENDED) != 0;
}

bool script_boss_move_done()
{
    const GoBoss* boss = boss_waited_on();
    return !boss || boss->control.move_stop_radius == 0.0f;
}
