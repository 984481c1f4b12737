// One HUD frame with every part on, built and drawn through the render queue on a device without
// a backend: the boost at full (drawn twice), charged magic with its trail, the enemy's gauge with
// its trail, all power-ups and a combo, both time-attack rows, the Easy helper lines and the
// frame-rate line.
#include "common/bench_engine.h"
#include "core/timer.h"
#include "game/g_game_flags.h"
#include "game/g_hud.h"
#include "game/g_play_state.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/actor/go_actor.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

void set_every_part(const GoActor& player)
{
    PlayState& ps = g_play_state;
    ps.status.max_hp = 500.0f;
    ps.status.max_mp = ps.status.mp = 3000.0f;
    ps.mp_trail = 2000.0f;
    ps.status.gold = 123456;
    ps.status.exp = 150.0f;
    ps.next_level_exp = 300.0f;
    ps.selected_magic = 73;
    ps.charge_level = 2;
    ps.boost_gauge = 30000.0f;
    ps.powerup_bits = 0x1 | 0x8 | 0x10;
    ps.powerup_ticks[0] = ps.powerup_ticks[1] = ps.powerup_ticks[2] = 900;
    ps.combo_count = 12;
    ps.combo_timer = 300;
    std::int32_t* flags = ps.game_flags;
    flags[GF_WEAPON] = 1;
    flags[GF_ARMOUR] = 13;
    flags[GF_SHIELD] = 7;
    flags[GF_DUSCA] = 321;
    flags[GF_TIME_ATTACK] = 1;
    flags[GF_EASY] = flags[GF_VERY_EASY] = flags[GF_QUICK_SAVE_OK] = 1;
    flags[GF_PLAY_FRAMES] = 60 * 3600;
    hud_gauge_set(player.object_id, HUD_GAUGE_HP, 400.0f, 500.0f);
    hud_gauge_set(player.object_id, HUD_GAUGE_HP, 300.0f, 500.0f);
    hud_gauge_set(player.object_id, HUD_GAUGE_MP, 3000.0f, 3000.0f);
    hud_gauge_set(0x05000001, HUD_GAUGE_ENEMY, 900.0f, 1000.0f);
    hud_gauge_set(0x05000001, HUD_GAUGE_ENEMY, 700.0f, 1000.0f);
    g_show_fps = 2;
    g_hud_alpha = 1.0f;
    g_hud_color = 0xFFFFFFFF;
}

} // namespace

static void BM_HudFrameEveryPart(benchmark::State& state)
{
    std::filesystem::path folder = bench_mount_shaders("kro_bench_hud_");
    if (!bench_begin_state_only(folder)) return state.SkipWithError("no device");
    obj_create_pools();
    GoActor* player = obj_create<GoActor>(g_pool_actor);
    g_player = player;
    set_every_part(*player);
    std::uint64_t quads = 0, draws = 0;
    for (auto _ : state) {
        renderer_reset_frame_state();
        hud_queue_overlays();
        const std::uint64_t draws_before = d3d8_call_counts(*g_d3d_device).draws;
        renderer_draw_frame();
        draws += d3d8_call_counts(*g_d3d_device).draws - draws_before;
        quads += hud_quad_count();
    }
    state.counters["quads/frame"] =
        benchmark::Counter(static_cast<double>(quads), benchmark::Counter::kAvgIterations);
    state.counters["draws/frame"] =
        benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);

    g_player = nullptr;
    g_show_fps = 0;
    hud_gauges_init();
    obj_destroy_all();
    obj_destroy_pools();
    bench_end_state_only(folder);
}
BENCHMARK(BM_HudFrameEveryPart)->Unit(benchmark::kMicrosecond);
