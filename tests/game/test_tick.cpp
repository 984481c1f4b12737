#include "core/timer.h"
#include "tick_fixture.h"

#include "lowlv/input/input_state.h"
#include "object/go_script.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr DWORD k_now_ms = 50'000'000;

// One logging object in every pool, two actors of which the second is the camera's focus, and
// both dialogs, opened on the same millisecond.
struct World {
    GoActor* other_actor;
    GoActor* focus;
    GoMesh* mesh;
    GoWndDialog* dialogs[2];
    GoEffect* effect;
};

World populate()
{
    World world{};
    spawn(g_pool_script);
    spawn(g_pool_wndzzz);
    for (GoWndDialog*& dialog : world.dialogs) {
        dialog = spawn(g_pool_wnddialog);
        dialog->show_time = k_now_ms;
    }
    spawn(g_pool_wndtext);
    spawn(g_pool_wndmain2);
    spawn(g_pool_wndshop2);
    spawn(g_pool_wnddemo);
    world.other_actor = spawn(g_pool_actor);
    world.focus = spawn(g_pool_actor);
    g_camera_focus = world.focus;
    spawn(g_pool_xx);
    spawn(g_pool_boss1);
    spawn(g_pool_boss2);
    spawn(g_pool_boss3);
    spawn(g_pool_boss4);
    spawn(g_pool_boss5);
    spawn(g_pool_boss7);
    spawn(g_pool_boss8);
    world.mesh = spawn(g_pool_mesh);
    spawn(g_pool_skybox);
    spawn(g_pool_locus_sword);
    spawn(g_pool_popup);
    spawn(g_pool_emotion);
    world.effect = spawn(g_pool_effect);
    spawn(g_pool_particle);
    return world;
}

const std::vector<std::uint8_t> k_update_order = {
    GO_CLASS_SCRIPT,      GO_CLASS_WNDZZZ,   GO_CLASS_WNDDIALOG, GO_CLASS_WNDDIALOG, GO_CLASS_WNDTEXT,
    GO_CLASS_WNDMAIN2,    GO_CLASS_WNDSHOP2, GO_CLASS_WNDDEMO,   GO_CLASS_ACTOR,     GO_CLASS_ACTOR,
    GO_CLASS_XX,          GO_CLASS_BOSS1,    GO_CLASS_BOSS2,     GO_CLASS_BOSS3,     GO_CLASS_BOSS4,
    GO_CLASS_BOSS5,       GO_CLASS_BOSS7,    GO_CLASS_BOSS8,     GO_CLASS_MESH,      GO_CLASS_SKYBOX,
    GO_CLASS_LOCUS_SWORD, GO_CLASS_POPUP,    GO_CLASS_EMOTION,   GO_CLASS_EFFECT,    GO_CLASS_PARTICLE,
};

// The classes that stop while the world is frozen: from the meshes' moves to the sky box.
bool is_world_class(std::uint8_t code)
{
    return code == GO_CLASS_ACTOR || code == GO_CLASS_XX ||
           (code >= GO_CLASS_BOSS1 && code <= GO_CLASS_BOSS8) || code == GO_CLASS_MESH ||
           code == GO_CLASS_SKYBOX;
}

bool is_window_class(std::uint8_t code)
{
    return code >= GO_CLASS_WNDDEMO && code <= GO_CLASS_WNDZZZ;
}

using GameTick = TickTest;

} // namespace

// Every class runs in its fixed place, and the steps between them happen where each class can
// see it: the play clock before the scripts, the screen effects and the renderer's frame before
// the windows, the HUD fade and the mesh moves before the camera's actor, the lamp right after
// it, and the frame's shader constants between the bosses and the meshes.
TEST_F(GameTick, UpdatesEveryClassInItsPlaceBetweenTheSteps)
{
    seam_set_clock([] { return k_now_ms; });
    timer_frame(); // the frame's time, which the dialogs' ages are measured from
    World world = populate();
    g_player = world.focus;
    PlayState& ps = g_play_state;
    ps.game_flags[GF_HUD_SHOWN] = 1;
    ps.screen_texture_request = 1;
    ps.wind_on = 1;
    ps.dark_scene = 1;
    g_device_settings.settings.point_light_vs = 1;
    world.mesh->SetMoveTarget(D3DXVECTOR3(10.0f, 0.0f, 0.0f), 0.0f, 1.0f);
    float mesh_x_seen_by_windows = -1.0f;
    float mesh_x_seen_by_focus = -1.0f;
    m_on_update = [&](GoBase& object) {
        if (object.class_code == GO_CLASS_WNDZZZ) mesh_x_seen_by_windows = world.mesh->world._41;
        if (&object == world.focus) mesh_x_seen_by_focus = world.mesh->world._41;
    };
    step();

    ASSERT_EQ(updated_classes(), k_update_order);
    EXPECT_EQ(m_seen[8].object_id, world.focus->object_id);
    EXPECT_EQ(m_seen[9].object_id, world.other_actor->object_id);

    const TickSeen script = seen_by(GO_CLASS_SCRIPT)[0];
    EXPECT_EQ(script.play_frames, 1);
    EXPECT_EQ(script.effect_time, 0.0f);
    EXPECT_EQ(script.target, RT_BACK_BUFFER);
    EXPECT_EQ(script.wind_offset, 0.0f);

    const TickSeen board = seen_by(GO_CLASS_WNDZZZ)[0];
    EXPECT_EQ(board.effect_time, 1.0f);
    EXPECT_EQ(board.target, RT_SCREEN_TEXTURE);
    EXPECT_GT(board.wind_offset, 0.0f);
    EXPECT_EQ(board.hud_alpha, 0.0f);
    EXPECT_EQ(mesh_x_seen_by_windows, 0.0f);

    const TickSeen& focus = seen_by_object(*world.focus);
    EXPECT_FLOAT_EQ(focus.hud_alpha, 0.1f);
    EXPECT_EQ(focus.lamp_phase, 0.0f);
    EXPECT_FLOAT_EQ(mesh_x_seen_by_focus, 1.0f);
    EXPECT_FLOAT_EQ(seen_by_object(*world.other_actor).lamp_phase, 0.055f);

    EXPECT_EQ(seen_by(GO_CLASS_BOSS8)[0].active_lights, 0);
    EXPECT_EQ(seen_by(GO_CLASS_MESH)[0].active_lights, 1);
    for (const TickSeen& s : m_seen) {
        EXPECT_EQ(s.flags, 0) << int{s.class_code};
        EXPECT_EQ(s.draw_frame, 1) << int{s.class_code};
        EXPECT_EQ(s.paused, 0) << int{s.class_code};
    }
}

// Only a frame's first step draws: it begins the scene and empties the render queue, and the
// objects see the draw flag in it alone. A step that passed no whole tick is not active either.
TEST_F(GameTick, OnlyTheFramesFirstStepDraws)
{
    populate();
    const struct {
        std::uint32_t index;
        bool whole;
        float length;
        bool draws;
        bool active;
    } steps[] = {
        {1, true, 1.0f, true, true},
        {2, true, 1.0f, false, true},
        {3, false, 0.5f, false, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.index);
        m_seen.clear();
        ASSERT_NE(rq_alloc(13, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK), nullptr);
        step(s.index, s.whole, s.length);
        EXPECT_EQ(g_rq_rows[13].used == 0, s.draws) << "the queue is emptied on the draw step only";
        EXPECT_EQ(g_tick_active != 0, s.active);
        ASSERT_EQ(m_seen.size(), k_update_order.size());
        for (const TickSeen& seen : m_seen)
            EXPECT_EQ(seen.draw_frame != 0, s.draws) << int{seen.class_code};
    }
}

// The camp menu and the shop pause everything; the windows still draw, the world does not, and
// the play clock stands. The draw flag is the frame's again when the tick is over.
TEST_F(GameTick, AnOpenMenuPausesAndHidesTheWorldButNotItsWindows)
{
    for (std::uint32_t menu : {MENU_OPEN_CAMP, MENU_OPEN_SHOP}) {
        SCOPED_TRACE(menu);
        populate();
        g_menu_open = menu;
        g_play_state.game_flags[GF_PLAY_FRAMES] = 100;
        m_seen.clear();
        step();
        EXPECT_EQ(g_play_state.game_flags[GF_PLAY_FRAMES], 100);
        EXPECT_EQ(g_draw_frame, 1);
        for (const TickSeen& seen : m_seen) {
            SCOPED_TRACE(int{seen.class_code});
            EXPECT_EQ(seen.paused, 1);
            EXPECT_EQ(seen.ai_paused, 1);
            const bool drawn = is_window_class(seen.class_code) || seen.class_code == GO_CLASS_SCRIPT;
            EXPECT_EQ(seen.draw_frame != 0, drawn);
        }
        obj_destroy_all();
    }
}

// A frozen world waits: the meshes do not move and the world classes see the pause, while the
// scripts, the windows and the small visuals after the sky box run on, and so does the clock.
TEST_F(GameTick, AFrozenWorldPausesOnlyTheWorldClasses)
{
    World world = populate();
    world.mesh->SetMoveTarget(D3DXVECTOR3(10.0f, 0.0f, 0.0f), 0.0f, 1.0f);
    g_world_frozen = 1;
    step();
    EXPECT_EQ(world.mesh->world._41, 0.0f);
    EXPECT_EQ(g_play_state.game_flags[GF_PLAY_FRAMES], 1);
    ASSERT_EQ(m_seen.size(), k_update_order.size());
    for (const TickSeen& seen : m_seen) {
        SCOPED_TRACE(int{seen.class_code});
        EXPECT_EQ(seen.paused != 0, is_world_class(seen.class_code));
        EXPECT_EQ(seen.ai_paused != 0, is_world_class(seen.class_code));
        EXPECT_EQ(seen.draw_frame, 1);
    }
    EXPECT_EQ(g_paused, 0);
    EXPECT_EQ(g_ai_paused, 0);
}

// An event that holds the world in its mode 1 stops the enemies' thinking, and nothing else;
// the other lock modes stop nothing.
TEST_F(GameTick, OnlyAnEventLockOfMode1PausesTheThinking)
{
    const struct {
        EventLock mode;
        bool ai_paused;
    } cases[] = {{EVENT_LOCK_EVENT, false}, {EVENT_LOCK_EVENT_NO_AI, true}, {EVENT_LOCK_COUNTED, false}};
    spawn(g_pool_actor);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        for (std::int32_t& count : g_event_lock_count)
            count = 0;
        g_event_lock_count[c.mode] = 1;
        m_seen.clear();
        step();
        ASSERT_EQ(m_seen.size(), 1u);
        EXPECT_EQ(m_seen[0].paused, 0);
        EXPECT_EQ(m_seen[0].ai_paused != 0, c.ai_paused);
    }
}

// An object made during an update waits for the next step, and is updated then with its NEW
// flag cleared just before.
TEST_F(GameTick, AnObjectMadeDuringAnUpdateFirstRunsInTheNextStep)
{
    const struct {
        const char* name;
        MemPoolDesc* pool;
        GoBase* (*make)();
    } cases[] = {
        {"script", &g_pool_script, [] { return static_cast<GoBase*>(spawn(g_pool_script)); }},
        {"actor", &g_pool_actor, [] { return static_cast<GoBase*>(spawn(g_pool_actor)); }},
        {"particle", &g_pool_particle, [] { return static_cast<GoBase*>(spawn(g_pool_particle)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        GoBase* made = nullptr;
        m_on_update = [&](GoBase&) {
            if (!made) made = c.make();
        };
        m_seen.clear();
        step();
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(m_seen.size(), 1u);
        EXPECT_EQ(made->flags, GO_FLAG_NEW);

        m_on_update = nullptr;
        m_seen.clear();
        step();
        ASSERT_EQ(m_seen.size(), 2u);
        EXPECT_EQ(seen_by_object(*made).flags, 0);
        obj_destroy_all();
    }
}

// Actors and dialogs play out their own ends, so they run dead; every other class stops.
TEST_F(GameTick, DeadActorsAndDialogsAreStillUpdatedButNoOtherClass)
{
    World world = populate();
    for (GoBase* object : pool_objects(g_pool_actor))
        kill(*object);
    kill(*world.dialogs[1]);
    kill(*world.effect);
    for (std::uint8_t code :
         {GO_CLASS_SCRIPT, GO_CLASS_XX, GO_CLASS_BOSS1, GO_CLASS_PARTICLE, GO_CLASS_WNDTEXT})
        kill(*pool_objects(obj_pool_of_class(code))[0]);
    step();
    EXPECT_EQ(seen_by(GO_CLASS_ACTOR).size(), 2u);
    EXPECT_EQ(seen_by(GO_CLASS_WNDDIALOG).size(), 2u);
    for (std::uint8_t code :
         {GO_CLASS_EFFECT, GO_CLASS_SCRIPT, GO_CLASS_XX, GO_CLASS_BOSS1, GO_CLASS_PARTICLE, GO_CLASS_WNDTEXT})
        EXPECT_TRUE(seen_by(code).empty()) << int{code};
    // A dead dialog keeps its NEW flag; only a live one loses it before it runs.
    EXPECT_EQ(world.dialogs[1]->flags, GO_FLAG_NEW | GO_FLAG_DEAD);
    EXPECT_EQ(world.dialogs[0]->flags, 0);
}

// The dialog opened last takes the input, on equal ages the one earlier in the list; the focus
// byte is set before the dialog runs and the focused dialog runs first. A dialog's age is
// counted in 64 bits, so one left open for hours still ranks behind a newer one.
TEST_F(GameTick, TheDialogOpenedLastTakesTheFocusAndRunsFirst)
{
    constexpr DWORD k_hour = 3'600'000;
    const struct {
        const char* name;
        DWORD opened[2]; // ms before now
        int focused;
    } cases[] = {
        {"second newer", {1000, 10}, 1},
        {"first newer", {10, 1000}, 0},
        {"same millisecond", {250, 250}, 0},
        {"five hours against half an hour", {5 * k_hour, k_hour / 2 + 200'000}, 1},
        {"half an hour against five hours", {k_hour / 2 + 200'000, 5 * k_hour}, 0},
    };
    seam_set_clock([] { return k_now_ms; });
    timer_frame(); // the frame's time, which the dialogs' ages are measured from
    GoWndDialog* dialogs[2] = {spawn(g_pool_wnddialog), spawn(g_pool_wnddialog)};
    std::vector<std::uint8_t> focus_seen;
    m_on_update = [&](GoBase& object) { focus_seen.push_back(static_cast<GoWndDialog&>(object).focus); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 2; ++i)
            dialogs[i]->show_time = k_now_ms - c.opened[i];
        m_seen.clear();
        focus_seen.clear();
        step();
        ASSERT_EQ(m_seen.size(), 2u);
        EXPECT_EQ(m_seen[0].object_id, dialogs[c.focused]->object_id);
        EXPECT_EQ(focus_seen, (std::vector<std::uint8_t>{1, 0}));
        EXPECT_EQ(dialogs[c.focused]->focus, 1);
        EXPECT_EQ(dialogs[1 - c.focused]->focus, 0);
    }
}

// The HUD fades by a tenth of a step toward shown less its hide amount, or toward gone, never
// past its target; its packed colour carries the fade over white.
TEST_F(GameTick, TheHudFadesTowardItsTarget)
{
    const struct {
        const char* name;
        std::int32_t shown;
        float hide;
        float from;
        float length;
        float expected;
    } cases[] = {
        {"fades in", 1, 0.0f, 0.0f, 1.0f, 0.1f},
        {"half a step", 1, 0.0f, 0.5f, 0.5f, 0.55f},
        {"stops at shown", 1, 0.0f, 0.95f, 1.0f, 1.0f},
        {"stops at the hide amount", 1, 0.5f, 0.45f, 1.0f, 0.5f},
        {"fades toward the hide amount", 1, 0.5f, 1.0f, 1.0f, 0.9f},
        {"fades out", 0, 0.0f, 0.5f, 1.0f, 0.4f},
        {"gone", 0, 0.0f, 0.05f, 1.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_play_state.game_flags[GF_HUD_SHOWN] = c.shown;
        g_play_state.hud_hide = c.hide;
        g_hud_alpha = c.from;
        step(1, true, c.length);
        EXPECT_FLOAT_EQ(g_hud_alpha, c.expected);
        EXPECT_EQ(g_hud_color, renderer_alpha_factor(c.expected));
    }
    EXPECT_EQ(g_hud_color, 0x00FFFFFFu);
}

// The play clock counts whole ticks while nothing is paused.
TEST_F(GameTick, ThePlayClockCountsUnpausedWholeTicks)
{
    step(1, true);
    step(2, false, 0.5f);
    step(3, true);
    EXPECT_EQ(g_play_state.game_flags[GF_PLAY_FRAMES], 2);
}

// A time-attack fight: its first battle tick only starts the clock, the stage and total clocks
// count while the player stands, and once the battle is over the stage ends on the 181st tick.
// The stage end itself records nothing here, as the player fell earlier in this fight.
TEST_F(GameTick, TimeAttackClocksCountTheFightAndEndTheStageAfter180Ticks)
{
    std::int32_t* flags = g_play_state.game_flags;
    g_game_over = 1;
    flags[GF_TIME_ATTACK] = 1;
    flags[GF_BATTLE] = 1;
    g_play_state.status.hp = 50.0f;
    step();
    EXPECT_EQ(flags[GF_TA_CLOCK_STARTED], 1);
    EXPECT_EQ(g_timeattack_stage_ticks, 0);
    for (int i = 0; i < 3; ++i)
        step();
    step(2, false, 0.5f);
    EXPECT_EQ(g_timeattack_stage_ticks, 3);
    EXPECT_EQ(g_timeattack_total_ticks, 3);

    g_play_state.status.hp = 0.9f;
    step();
    EXPECT_EQ(g_timeattack_stage_ticks, 3);

    flags[GF_BATTLE] = 0;
    flags[GF_TIME_ATTACK] = 2; // the boss fell
    for (int i = 0; i < 180; ++i)
        step();
    EXPECT_EQ(g_timeattack_after_ticks, 180);
    EXPECT_EQ(flags[GF_TIME_ATTACK], 2);
    step();
    EXPECT_EQ(flags[GF_TIME_ATTACK], 1);
    EXPECT_EQ(g_timeattack_after_ticks, 0);
    EXPECT_EQ(g_timeattack_stage_ticks, 3);
}

// Outside a battle the after-clock runs only once a stage was fought; a paused tick counts
// nothing at all.
TEST_F(GameTick, TimeAttackAfterClockNeedsAFoughtStageAndAnUnpausedTick)
{
    std::int32_t* flags = g_play_state.game_flags;
    flags[GF_TIME_ATTACK] = 1;
    step();
    EXPECT_EQ(g_timeattack_after_ticks, 0);
    g_timeattack_stage_ticks = 10;
    step();
    EXPECT_EQ(g_timeattack_after_ticks, 1);
    g_menu_open = MENU_OPEN_CAMP;
    step();
    EXPECT_EQ(g_timeattack_after_ticks, 1);
}

// The mover goes toward its target at its speed and stops as soon as it is within the arrival
// distance, where it is: it never jumps onto the target.
TEST_F(GameTick, TheMeshMoverArrivesWithoutSnapping)
{
    GoMesh* mesh = spawn(g_pool_mesh);
    mesh->SetMoveTarget(D3DXVECTOR3(10.0f, 0.0f, 0.0f), 0.5f, 3.0f);
    EXPECT_EQ(mesh->arrival_distance, 3.0f);
    const float expected_x[] = {3.0f, 6.0f, 9.0f, 9.0f, 9.0f};
    for (float x : expected_x) {
        game_step_mesh_move(*mesh);
        EXPECT_FLOAT_EQ(mesh->world._41, x);
        EXPECT_FLOAT_EQ(mesh->combined._41, x);
    }
    EXPECT_EQ(mesh->arrival_distance, 0.0f);
    EXPECT_TRUE(mesh->velocity == D3DXVECTOR3(0.0f, 0.0f, 0.0f));

    // A half step goes half as far, along the way to the target.
    mesh->SetMoveTarget(D3DXVECTOR3(9.0f, 8.0f, 6.0f), 0.0f, 2.0f);
    g_frame_step = 0.5f;
    game_step_mesh_move(*mesh);
    EXPECT_FLOAT_EQ(mesh->world._41, 9.0f);
    EXPECT_FLOAT_EQ(mesh->world._42, 0.8f);
    EXPECT_FLOAT_EQ(mesh->world._43, 0.6f);
    EXPECT_FLOAT_EQ(mesh->velocity.y, 1.6f);
}

// The spin turns by degrees a step and rebuilds the rotation as the scaling times the
// yaw-pitch-roll turn of the angles (yaw from y, pitch from x, roll from z).
TEST_F(GameTick, TheMeshSpinIsScalingTimesYawPitchRoll)
{
    GoMesh* mesh = spawn(g_pool_mesh);
    mesh->scale = D3DXVECTOR3(2.0f, 3.0f, 0.5f);
    D3DXMatrixTranslation(&mesh->world, 1.0f, 2.0f, 3.0f);
    mesh->spin_speeds = D3DXVECTOR3(10.0f, 20.0f, 30.0f);
    g_frame_step = 1.0f;
    game_step_mesh_move(*mesh);
    g_frame_step = 0.5f;
    game_step_mesh_move(*mesh);

    const float degree = 3.14159265f / 180.0f;
    EXPECT_NEAR(mesh->spin_angles.x, 15.0f * degree, 1e-6f);
    EXPECT_NEAR(mesh->spin_angles.y, 30.0f * degree, 1e-6f);
    EXPECT_NEAR(mesh->spin_angles.z, 45.0f * degree, 1e-6f);
    D3DXMATRIX scaling, turn;
    D3DXMatrixScaling(&scaling, 2.0f, 3.0f, 0.5f);
    D3DXMatrixRotationYawPitchRoll(&turn, mesh->spin_angles.y, mesh->spin_angles.x, mesh->spin_angles.z);
    EXPECT_TRUE(mesh->rotation == scaling * turn);
    EXPECT_TRUE(mesh->combined == mesh->rotation * mesh->world);
    EXPECT_EQ(mesh->identity, 0);
}

// While the world is paused the mover does nothing at all.
TEST_F(GameTick, TheMeshMoverRestsWhilePaused)
{
    GoMesh* mesh = spawn(g_pool_mesh);
    mesh->SetMoveTarget(D3DXVECTOR3(10.0f, 0.0f, 0.0f), 0.0f, 1.0f);
    mesh->spin_speeds = D3DXVECTOR3(0.0f, 90.0f, 0.0f);
    mesh->velocity = D3DXVECTOR3(0.5f, 0.0f, 0.0f);
    g_paused = 1;
    game_step_mesh_move(*mesh);
    g_paused = 0;
    EXPECT_EQ(mesh->world._41, 0.0f);
    EXPECT_EQ(mesh->spin_angles.y, 0.0f);
    EXPECT_EQ(mesh->velocity.x, 0.5f);
    EXPECT_EQ(mesh->arrival_distance, 1.0f);
}

// Objects may change the input record during a step; the next step finds it as it was.
TEST_F(GameTick, TheInputRecordIsTheSameAfterTheStep)
{
    InputRecord& record = g_input_ring.records[g_input_ring.current];
    record.pressed = 0x10;
    spawn(g_pool_actor);
    m_on_update = [](GoBase&) { g_input_ring.records[g_input_ring.current].pressed = 0; };
    step();
    EXPECT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(record.pressed, 0x10u);
}
