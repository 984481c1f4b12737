// The game tick over full pools of objects whose updates do nothing: what the walks, the flags and
// the steps between them cost, on a device without a backend. And the sweep after a frame in
// which half of the particles died.
#include "common/bench_engine.h"
#include "core/timer.h"
#include "game/g_tick.h"
#include "gfx/go_effect.h"
#include "gfx/go_particle.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/actor/go_actor.h"
#include "object/go_mesh.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

constexpr std::int32_t k_actors = 80;
constexpr std::int32_t k_goxx = 512;
constexpr std::int32_t k_effects = 256;
constexpr std::int32_t k_particles = 2048;
constexpr std::int32_t k_meshes = 512;

// A class of the game with an update that does nothing, in its own pool's slot size.
template <typename T> class Idle final : public T {
public:
    void Update() override {}
};

template <typename T> void fill(MemPool<T>& pool, std::int32_t count)
{
    while (pool.count < count && obj_create<Idle<T>>(pool)) {
    }
}

void fill_pools()
{
    fill(g_pool_actor, k_actors);
    fill(g_pool_xx, k_goxx);
    fill(g_pool_effect, k_effects);
    fill(g_pool_particle, k_particles);
    fill(g_pool_mesh, k_meshes);
}

// The engine and full pools for one benchmark, undone when it ends.
class TickWorld {
public:
    explicit TickWorld(benchmark::State& state)
    {
        m_folder = bench_mount_shaders("kro_bench_tick_");
        // A window handle no window layer knows: the device has no backend.
        if (m_folder.empty() ||
            !bench_start_engine(reinterpret_cast<HWND>(std::uintptr_t{0x71C4}), 640, 480)) {
            state.SkipWithError("no device");
            return;
        }
        obj_create_pools();
        fill_pools();
        m_ready = true;
    }
    ~TickWorld()
    {
        if (m_ready) {
            obj_destroy_all();
            obj_destroy_pools();
        }
        bench_stop_engine(m_folder);
    }
    TickWorld(const TickWorld&) = delete;
    TickWorld& operator=(const TickWorld&) = delete;

    bool ready() const { return m_ready; }

private:
    std::filesystem::path m_folder;
    bool m_ready = false;
};

// A step of a frame: the first draws, the others only simulate.
void run_step(std::uint32_t index)
{
    g_tick_index = index;
    g_whole_tick = 1;
    g_frame_step = 1.0f;
    game_tick();
    if (g_draw_frame) g_d3d_device->EndScene();
}

void run_ticks(benchmark::State& state, std::uint32_t step_index)
{
    TickWorld world(state);
    if (!world.ready()) return;
    for (auto _ : state)
        run_step(step_index);
    state.counters["objects"] =
        static_cast<double>(g_pool_actor.count + g_pool_xx.count + g_pool_effect.count +
                            g_pool_particle.count + g_pool_mesh.count);
}

void kill_every_other_particle()
{
    for (std::int32_t i = 0; i < g_pool_particle.count; i += 2)
        static_cast<GoBase*>(g_pool_particle.active[i])->flags |= GO_FLAG_DEAD;
}

} // namespace

// The frame's first step: it also begins the scene, empties the queue and starts the renderer's
// frame.
static void BM_GameTickFullPoolsDrawStep(benchmark::State& state)
{
    run_ticks(state, 1);
}
BENCHMARK(BM_GameTickFullPoolsDrawStep)->Unit(benchmark::kMicrosecond);

// A later step of the same frame: the walks and the state steps alone.
static void BM_GameTickFullPoolsLaterStep(benchmark::State& state)
{
    run_ticks(state, 2);
}
BENCHMARK(BM_GameTickFullPoolsLaterStep)->Unit(benchmark::kMicrosecond);

// The sweep after a frame in which every other particle died, the other pools full and alive:
// each deletion shifts the rest of the particles' list down.
static void BM_SweepHalfTheParticles(benchmark::State& state)
{
    TickWorld world(state);
    if (!world.ready()) return;
    for (auto _ : state) {
        state.PauseTiming();
        fill(g_pool_particle, k_particles);
        kill_every_other_particle();
        state.ResumeTiming();
        obj_sweep_dead();
    }
    state.counters["particles left"] = static_cast<double>(g_pool_particle.count);
}
BENCHMARK(BM_SweepHalfTheParticles)->Unit(benchmark::kMicrosecond);
