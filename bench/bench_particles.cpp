// One frame of a full particle pool on a device without a backend: the effects' and particles'
// tick (curves, motion, children, culling, the queued items and the ground lights projected onto
// a floor), then the frame's drawing. The pool holds torches (camera-facing, culled, with a
// ground light and sparks as children, a quarter of them out of view), turning rings, animated
// effect meshes and dark spots; the room left over is filled with short-lived plain quads every
// frame, as a busy scene keeps the pool full.
#include "common/bench_engine.h"
#include "core/maths.h"
#include "core/timer.h"
#include "game/g_image_table.h"
#include "game/g_tick.h"
#include "gfx/eft_new.h"
#include "gfx/go_effect.h"
#include "gfx/go_particle.h"
#include "lib/effect_writer.h"
#include "lib/qco_writer.h"
#include "lib/qmo_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/go_mesh.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_camera.h"
#include "scenegraph/renderer_queue.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <utility>

namespace {

enum BenchEffect { TORCH = 1, RING = 2, MESH = 3, DARK_SPOT = 4, FILLER = 5 };
// Effects of each kind (the effect pool holds 256), each starting four particles spread about
// it; the fillers start sixteen.
constexpr int k_torches = 32; // each torch keeps about two sparks alive
constexpr int k_ring_count = 32;
constexpr int k_meshes = 16;
constexpr int k_dark_spots = 16;
constexpr std::uint8_t k_per_effect = 4;
constexpr std::uint8_t k_fillers_per_effect = 16;
constexpr float k_spread = 3.0f;

// Neutral curves: speed, scale and turns at their middle (factor 1, no turn), opaque white,
// with a slow spin about z.
std::array<EftCurve, EFT_CURVES> plain_curves()
{
    std::array<EftCurve, EFT_CURVES> curves;
    curves.fill(eft_constant(0.5f));
    for (int c = EFFECT_CURVE_ALPHA; c < EFFECT_CURVE_TURN; ++c)
        curves[static_cast<std::size_t>(c)] = eft_constant(1.0f);
    curves[EFFECT_CURVE_ALPHA] = eft_ramp(1.0f, 0.25f);
    curves[EFFECT_CURVE_SPIN + 2] = eft_constant(0.55f);
    return curves;
}

EftEmitter emitter(std::uint16_t flags, std::int32_t life)
{
    EftEmitter made;
    made.state.life = life;
    made.def.flags = static_cast<std::uint16_t>(EFFECT_DEF_KEYFRAMED | flags);
    made.def.curves = plain_curves();
    made.def.frames = {EftFrame{0, 0.0f, 0.0f, 1.0f, 1.0f}};
    made.def.ring_material = 0x46C1;
    made.def.count = k_per_effect;
    made.def.offset_max = k_spread;
    return made;
}

// Endless, and tested against the view with a sphere of the radius.
EftEmitter culled(std::uint16_t flags, std::int32_t life, float radius)
{
    EftEmitter made = emitter(static_cast<std::uint16_t>(EFFECT_DEF_CULLED_ENDLESS | flags), life);
    made.def.cull_mode = 1;
    made.def.cull_radius = radius;
    return made;
}

void put_effects()
{
    EftEmitter torch = culled(EFFECT_DEF_CAMERA_FACING, 40, 1.0f);
    torch.def.light_size = 1.5f;
    torch.def.light_colour = 0x80FFA040;
    torch.def.children = {1};
    EftEmitter spark = emitter(0, 16);
    spark.def.count = 1;
    spark.def.offset_max = 0.0f;
    spark.state.velocity = {0.0f, 0.1f, 0.0f};
    spark.def.trigger = 3;
    spark.def.child_period = 8;
    spark.def.gravity = 0.002f;
    spark.def.kick_chance = 64;
    spark.def.kick_mask = 3;
    spark.def.kick_min = {-0.1f, -0.1f, -0.1f};
    spark.def.kick_max = {0.1f, 0.1f, 0.1f};

    EftEmitter ring = culled(EFFECT_DEF_RING, 60, 2.0f);
    ring.def.ring_segments = 24;
    ring.def.ring_lower_radius = 1.0f;
    ring.def.ring_upper_radius = 1.5f;
    ring.def.ring_height = 0.5f;

    EftEmitter mesh = culled(EFFECT_DEF_MESH, 50, 2.0f);
    mesh.def.scroll_speed = {0.01f, 0.0f};

    EftEmitter dark = culled(EFFECT_DEF_NO_DRAW, 30, 1.0f);
    dark.def.light_size = 1.0f;
    dark.def.light_colour = 0xFF000000;
    dark.def.light_mode = 1;

    EftEmitter filler = emitter(0, 6);
    filler.def.count = k_fillers_per_effect;
    filler.state.velocity = {0.0f, 0.05f, 0.0f};

    const std::pair<int, EftFile> files[] = {
        {TORCH, {{{0, 0}}, {torch, spark}}}, {RING, {{{0, 0}}, {ring}}},     {MESH, {{{0, 0}}, {mesh}}},
        {DARK_SPOT, {{{0, 0}}, {dark}}},     {FILLER, {{{0, 0}}, {filler}}},
    };
    g_effect_list.assign(EFFECT_ID_COUNT, {});
    for (const auto& [id, file] : files)
        eft_parse_ef2(g_effect_list[static_cast<std::size_t>(id)], eft_ef2_bytes(file));
}

// The floor the ground lights fall on: 80 units square at height 0, in collision set A.
bool put_floor()
{
    GoMesh* floor = obj_create<GoMesh>(g_pool_mesh);
    if (!floor) return false;
    const QcoImage image = qco_image(qco_quad({-40, 0, -40}, {-40, 0, 40}, {40, 0, 40}, {40, 0, -40}, 8));
    if (FAILED(coll_model_parse(floor->collision_a, qco_bytes(image)))) return false;
    floor->has_collision_a = 1;
    floor->enabled = 1;
    D3DXMatrixIdentity(&floor->rotation);
    D3DXMatrixIdentity(&floor->world);
    floor->UpdateWorldMatrix();
    return true;
}

GoEffect* spawn(BenchEffect id, float x, float y, float z)
{
    const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f), one(1.0f, 1.0f, 1.0f);
    return eft_spawn(id, D3DXVECTOR3(x, y, z), zero, one, 0, 0, nullptr, 0.0f, 1.0f, 0xFF, 0, 0xFF);
}

// On a grid over the floor; every fourth torch behind the camera, where culling hides it.
void spawn_population()
{
    const auto grid = [](int i) { return static_cast<float>(i % 8) * 8.0f - 28.0f; };
    const auto row = [](int i) { return static_cast<float>(i / 8 % 8) * 8.0f - 28.0f; };
    for (int i = 0; i < k_torches; ++i)
        spawn(TORCH, grid(i), 1.0f, i % 4 == 0 ? -60.0f : row(i));
    for (int i = 0; i < k_ring_count; ++i)
        spawn(RING, grid(i) + 2.0f, 2.0f, row(i) + 2.0f);
    for (int i = 0; i < k_meshes; ++i)
        spawn(MESH, grid(i) + 4.0f, 1.5f, row(i) + 4.0f);
    for (int i = 0; i < k_dark_spots; ++i)
        spawn(DARK_SPOT, grid(i) + 6.0f, 0.5f, row(i) + 6.0f);
}

void fill_pool(std::uint32_t& spawned)
{
    while (eft_particle_pool_has_room() && spawn(FILLER, static_cast<float>(spawned % 32) * 2.0f - 31.0f,
                                                 1.0f, static_cast<float>(spawned / 32 % 32) * 2.0f - 31.0f))
        ++spawned;
}

void walk(const MemPoolDesc& pool)
{
    const std::int32_t count = pool.count;
    for (std::int32_t i = 0; i < count; ++i) {
        auto& object = *static_cast<GoBase*>(pool.active[i]);
        object.flags &= ~GO_FLAG_NEW;
        if (object.flags == 0) object.Update();
    }
}

} // namespace

static void BM_ParticleFullPoolFrame(benchmark::State& state)
{
    std::filesystem::path folder = bench_mount_shaders("kro_bench_particles_");
    if (!bench_begin_state_only(folder)) return state.SkipWithError("no device");
    obj_create_pools();
    math_rand_seed();
    IDirect3DTexture8* texture = nullptr;
    g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture);
    g_texture_handles[IMAGE_TABLE_EFFECT_FIRST] = texture;
    Model mesh;
    model_parse(mesh, qmo_bytes(qmo_box(0.5f)), 0, 0);
    g_effect_meshes[0] = &mesh;
    renderer_set_camera(D3DXVECTOR3(0.0f, 20.0f, -40.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    renderer_update_camera();
    put_effects();
    if (!put_floor()) state.SkipWithError("no floor");
    g_paused = g_ai_paused = 0;
    g_frame_step = 1.0f;
    g_whole_tick = g_draw_frame = g_tick_active = 1;
    spawn_population();
    std::uint32_t spawned = 0;
    fill_pool(spawned);
    if (g_pool_particle.count == 0) state.SkipWithError("the particle simulation made no particles");

    std::uint64_t live = 0, draws = 0;
    for (auto _ : state) {
        fill_pool(spawned);
        live += static_cast<std::uint64_t>(g_pool_particle.count);
        renderer_reset_frame_state();
        walk(g_pool_effect);
        walk(g_pool_particle);
        obj_sweep_dead();
        const std::uint64_t draws_before = d3d8_call_counts(*g_d3d_device).draws;
        renderer_draw_frame();
        draws += d3d8_call_counts(*g_d3d_device).draws - draws_before;
    }
    state.counters["particles/frame"] =
        benchmark::Counter(static_cast<double>(live), benchmark::Counter::kAvgIterations);
    state.counters["draws/frame"] =
        benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);

    g_whole_tick = g_draw_frame = g_tick_active = 0;
    obj_destroy_all();
    obj_destroy_pools();
    eft_free_list();
    g_effect_meshes[0] = nullptr;
    model_free(mesh);
    g_texture_handles[IMAGE_TABLE_EFFECT_FIRST] = nullptr;
    if (texture) texture->Release();
    bench_end_state_only(folder);
}
BENCHMARK(BM_ParticleFullPoolFrame)->Unit(benchmark::kMicrosecond);
