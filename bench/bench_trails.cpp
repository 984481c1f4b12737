// One frame of eight sword trails whose owners burst, on a device without a backend: each trail's
// update (segment playback, the spheres along the blade, its attack against the actors, the burst
// of four sprite particles), the particles' updates, the queue's drawing and the sweep. Owners are
// stand-ins that run no behaviour; a trail that ends is started again at once, as swings follow
// each other in a fight, so eight play in every frame and the particle pool stays full.
#include "common/bench_engine.h"
#include "core/timer.h"
#include "game/g_play_state.h"
#include "game/g_tick.h"
#include "gfx/ani_ops.h"
#include "gfx/g_gfx.h"
#include "gfx/go_locus_sword.h"
#include "lib/demo_trails.h"
#include "lib/demo_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "object/actor/go_actor.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/renderer.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr int k_trails = 8;

GoActor* make_owner(int index)
{
    GoActor* owner = obj_create<GoActor>(g_pool_actor);
    if (!owner) return nullptr;
    D3DXMatrixTranslation(&owner->world, static_cast<float>(index % 4) * 3.0f, 0.0f,
                          static_cast<float>(index / 4) * 3.0f);
    owner->billboard_matrix = owner->world;
    owner->facing = static_cast<float>(index);
    owner->cast = ACTOR_CAST_OWN_TRAIL; // with the arena flag set, every swing bursts
    owner->status.hp = owner->status.max_hp = 100.0f;
    owner->hit_shape.class_bits = HIT_ENEMY | HIT_ACTIVE;
    return owner;
}

void keep_swinging(std::array<GoActor*, k_trails>& owners)
{
    if (g_pool_locus_sword.count >= k_trails) return;
    AniSwordTrailRequest request{};
    request.attack_to = 100;
    for (int i = g_pool_locus_sword.count; i < k_trails; ++i) {
        request.value = 300 + i % static_cast<int>(DEMO_TRAIL_SEGMENTS);
        actor_spawn_sword_trail(request, *owners[static_cast<std::size_t>(i)]);
    }
}

void update_pool(const MemPoolDesc& pool)
{
    const std::int32_t count = pool.count;
    for (std::int32_t i = 0; i < count; ++i) {
        auto* object = static_cast<GoBase*>(pool.active[i]);
        object->flags &= ~GO_FLAG_NEW;
        if (object->flags == 0) object->Update();
    }
}

} // namespace

static void BM_EightTrailsWithBursts(benchmark::State& state)
{
    std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
    for (ArchiveSource& file : demo_trail_files())
        files.push_back(std::move(file));
    std::filesystem::path folder = bench_mount_files("kro_bench_trails_", files);
    if (!bench_begin_state_only(folder)) return state.SkipWithError("no device");
    obj_create_pools();
    gfx_load_sword_trails();
    std::array<GoActor*, k_trails> owners{};
    for (int i = 0; i < k_trails; ++i)
        owners[static_cast<std::size_t>(i)] = make_owner(i);
    g_play_state.game_flags[GF_ARENA_SETUP] = 2;
    g_paused = 0;
    g_draw_frame = 1;
    g_whole_tick = 1;
    g_frame_step = 1.0f;
    std::uint64_t particles = 0, draws = 0;
    for (auto _ : state) {
        keep_swinging(owners);
        renderer_reset_frame_state();
        update_pool(g_pool_xx);
        update_pool(g_pool_locus_sword);
        particles += static_cast<std::uint64_t>(g_goxx_live_count[GOXX_SPRITE_PARTICLE]);
        const std::uint64_t draws_before = d3d8_call_counts(*g_d3d_device).draws;
        renderer_draw_frame();
        draws += d3d8_call_counts(*g_d3d_device).draws - draws_before;
        obj_sweep_dead();
    }
    state.counters["particles/frame"] =
        benchmark::Counter(static_cast<double>(particles), benchmark::Counter::kAvgIterations);
    state.counters["draws/frame"] =
        benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);

    g_draw_frame = 0;
    g_whole_tick = 0;
    g_play_state = {};
    obj_destroy_all();
    obj_destroy_pools();
    for (TrailCurve& curve : g_sword_trail_curves)
        curve = {};
    bench_end_state_only(folder);
}
BENCHMARK(BM_EightTrailsWithBursts)->Unit(benchmark::kMicrosecond);
