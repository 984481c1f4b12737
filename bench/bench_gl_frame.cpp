// Whole frames of a stress scene through the Direct3D stand-in: 2000 textured world quads in the
// render queue (emitters of eight quads sharing a serial, a depth and one of four textures) and
// eight animated two-bone skinned models, each frame begun, queued, drawn and presented as the
// game does it. Once on a device without a backend (draws are checked and counted) and once on
// the OpenGL backend of an offscreen window (Mesa, unless SDL_VIDEODRIVER names another driver).
// Reports frames per second and draw calls per frame.
#include "common/bench_engine.h"
#include "lib/qmo_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_camera.h"
#include "scenegraph/renderer_queue.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

constexpr UINT WIDTH = 640, HEIGHT = 480;
constexpr std::uint32_t QUADS = 2000;
constexpr std::uint32_t QUADS_PER_EMITTER = 8;
constexpr int QUAD_ROWS[] = {6, 8, 9, RQ_ROW_MESHES}; // filled in turn
constexpr MaterialFlags QUAD_MATERIAL = 0x0C41;       // textured, alpha-blended, depth-tested
constexpr int MODELS = 8;
constexpr int TEXTURES = 4;

struct Scene {
    std::filesystem::path folder;
    HWND window = nullptr;
    std::array<IDirect3DTexture8*, TEXTURES> textures{};
    std::vector<QuadVertex> vertices; // four per quad
    std::vector<std::int32_t> depths; // one per emitter
    D3DXMATRIX world;
    Model model{};
    std::array<ModelInstance, MODELS> instances{};
    std::array<D3DXMATRIX, MODELS> placements;
};

// A 64x64 checker of the colour and black.
IDirect3DTexture8* checker(D3DCOLOR color)
{
    IDirect3DTexture8* texture = nullptr;
    if (FAILED(g_d3d_device->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture)))
        return nullptr;
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                D3DCOLOR texel = ((x / 8 + y / 8) & 1) ? color : 0xFF000000;
                std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x, &texel, 4);
            }
        texture->UnlockRect(0);
    }
    return texture;
}

// Emitters on a fixed pseudo-random spread in front of the camera, their quads side by side.
void make_quads(Scene& scene)
{
    std::uint32_t seed = 12345;
    auto next = [&seed](float low, float high) {
        seed = seed * 1664525u + 1013904223u;
        return low + (high - low) * static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (std::uint32_t e = 0; e < QUADS / QUADS_PER_EMITTER; ++e) {
        D3DXVECTOR3 origin(next(-8, 8), next(-3, 4), next(-4, 6));
        D3DXVECTOR3 to_eye = origin - g_camera_state.eye;
        scene.depths.push_back(rq_depth_key(D3DXVec3LengthSq(&to_eye)));
        for (std::uint32_t q = 0; q < QUADS_PER_EMITTER; ++q) {
            float x = origin.x + 0.3f * static_cast<float>(q), y = origin.y, z = origin.z;
            const D3DCOLOR diffuse = 0xC0FFFFFF;
            scene.vertices.insert(scene.vertices.end(), {{x, y + 0.5f, z, diffuse, 0, 0, 0},
                                                         {x + 0.5f, y + 0.5f, z, diffuse, 0, 1, 0},
                                                         {x, y, z, diffuse, 0, 0, 1},
                                                         {x + 0.5f, y, z, diffuse, 0, 1, 1}});
        }
    }
    D3DXMatrixIdentity(&scene.world);
}

void make_models(Scene& scene)
{
    for (int i = 0; i < MODELS; ++i) {
        ModelInstance& instance = scene.instances[i];
        model_instance_init(instance, scene.model, MODEL_INST_RANGES);
        model_anim_play(instance, 0, false, static_cast<std::uint32_t>(i % 5), MODEL_END_OFFSET_NONE);
        D3DXMatrixTranslation(&scene.placements[i], -3.5f + static_cast<float>(i), 0.0f, 1.0f);
    }
}

bool make_scene(Scene& scene)
{
    const D3DCOLOR colors[TEXTURES] = {0xFFFF4020, 0xFF20FF40, 0xFF4020FF, 0xFFFFFF20};
    for (int i = 0; i < TEXTURES; ++i)
        if (!(scene.textures[i] = checker(colors[i]))) return false;
    make_quads(scene);
    if (FAILED(model_parse(scene.model, qmo_bytes(qmo_two_bone_skinned()), 0, MODEL_LOAD_WRITE_ONLY)))
        return false;
    make_models(scene);
    return true;
}

// Returns the number of quads the rows took.
std::uint32_t queue_quads(const Scene& scene)
{
    std::uint32_t queued = 0, key0 = 0;
    for (int row : QUAD_ROWS)
        for (; queued < QUADS; ++queued) {
            auto* item = reinterpret_cast<RqQuadItem*>(rq_alloc(row, RQ_TYPE_QUAD, RQ_SIZE_QUAD));
            if (!item) break;
            std::uint32_t emitter = queued / QUADS_PER_EMITTER;
            if (queued % QUADS_PER_EMITTER == 0) key0 = rq_next_serial();
            item->header.key0 = key0;
            item->header.key1 = scene.depths[emitter];
            item->material = QUAD_MATERIAL;
            item->world = &scene.world;
            item->texture = scene.textures[emitter % TEXTURES];
            item->vertices = &scene.vertices[4 * std::size_t{queued}];
        }
    return queued;
}

// One game frame; false when a device call fails.
bool run_frame(Scene& scene)
{
    if (FAILED(g_d3d_device->BeginScene())) return false;
    renderer_reset_frame_state();
    renderer_set_frame_constants();
    renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    D3DXMATRIX root;
    D3DXMatrixIdentity(&root);
    for (int i = 0; i < MODELS; ++i) {
        model_anim_advance(scene.instances[i], 0.25f);
        model_instance_update(scene.instances[i], scene.placements[i], root);
        model_queue_node_tree(scene.model, &scene.model.nodes[0], 0);
    }
    if (queue_quads(scene) != QUADS) return false;
    renderer_draw_frame();
    return SUCCEEDED(g_d3d_device->EndScene()) &&
           SUCCEEDED(g_d3d_device->Present(nullptr, nullptr, nullptr, nullptr));
}

void free_scene(Scene& scene)
{
    for (ModelInstance& instance : scene.instances)
        model_instance_free(instance);
    model_free(scene.model);
    for (IDirect3DTexture8*& texture : scene.textures)
        if (texture) texture->Release();
    bench_stop_engine(scene.folder);
    bench_destroy_gl_window(scene.window);
}

void BM_GlFrame(benchmark::State& state, bool with_gl)
{
    Scene scene;
    if (with_gl && !(scene.window = bench_gl_window(WIDTH, HEIGHT))) {
        state.SkipWithError("no OpenGL video driver");
        return;
    }
    HWND window = with_gl ? scene.window : reinterpret_cast<HWND>(std::uintptr_t{0x5EED});
    // The untimed first frame has the backend make its programs.
    scene.folder = bench_mount_shaders("kro_bench_gl_");
    if (scene.folder.empty() || !bench_start_engine(window, WIDTH, HEIGHT) || !make_scene(scene) ||
        (with_gl && !d3d8_device_backend(*g_d3d_device)) || !run_frame(scene)) {
        state.SkipWithError("the device or the scene could not be made");
        free_scene(scene);
        return;
    }
    std::uint64_t draws = 0;
    for (auto _ : state) {
        std::uint64_t before = d3d8_call_counts(*g_d3d_device).draws;
        if (!run_frame(scene)) {
            state.SkipWithError("a frame failed");
            break;
        }
        draws += d3d8_call_counts(*g_d3d_device).draws - before;
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["draws/frame"] =
        benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);
    free_scene(scene);
}

} // namespace

BENCHMARK_CAPTURE(BM_GlFrame, state_only, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_GlFrame, opengl, true)->Unit(benchmark::kMillisecond)->UseRealTime();
