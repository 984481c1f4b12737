#include "game/g_image_table.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "gfx/eft_draw.h"
#include "gfx/eft_new.h"
#include "gfx/go_effect.h"
#include "gfx/go_particle.h"
#include "lib/demo_effects.h"
#include "lib/demo_room.h"
#include "lib/demo_scenes.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "platform/impl/d3d8_gl.h"
#include "scenegraph/queued_items.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"

#include "scene_road_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- The data: every number an emitter uses names something the demo holds --------------------

EffectListEntry parsed(const EftFile& file)
{
    EffectListEntry entry;
    EXPECT_EQ(eft_parse_ef2(entry, eft_ef2_bytes(file)), S_OK);
    return entry;
}

// The ids the game starts by number, which the demo's effects must leave alone.
bool started_by_the_game(std::int32_t id)
{
    const std::set<std::int32_t> ids = {4, 18, 23, 99, 100, 137, 138, 139, 140, 265, 266, 267, 286, 369};
    return ids.contains(id) || (id >= 120 && id <= 126);
}

TEST(DemoEffectData, EveryTextureMeshImpactAndPlacedIdNamesWhatTheDemoHolds)
{
    const EftDataSet data = demo_effect_data();
    std::set<std::string> archive;
    for (const ArchiveSource& file : demo_effect_files())
        archive.insert(file.path);
    std::map<std::uint32_t, std::string> textures, meshes;
    for (const EftListEntry& entry : data.textures)
        textures[entry.slot] = entry.name;
    for (const EftListEntry& entry : data.meshes)
        meshes[entry.slot] = entry.name;
    std::map<std::string, EffectListEntry> files;
    for (const auto& [name, file] : data.files)
        files[name] = parsed(file);

    // Ids of the first list are their positions in it.
    std::map<std::int32_t, const EffectListEntry*> effects;
    for (std::size_t id = 0; id < data.list.size(); ++id) {
        const std::string& name = data.list[id].name;
        if (name.empty()) continue;
        SCOPED_TRACE(name);
        EXPECT_FALSE(started_by_the_game(static_cast<std::int32_t>(id))) << id;
        ASSERT_TRUE(files.contains(name));
        EXPECT_TRUE(archive.contains(eft_ef2_path(name)));
        effects[static_cast<std::int32_t>(id)] = &files[name];
    }
    for (const auto& [id, entry] : effects) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(entry->starts.empty());
        for (const EffectEmitterDef& def : entry->defs) {
            for (std::int32_t frame = 0; frame < def.frame_count; ++frame) {
                const auto number = static_cast<std::uint32_t>(def.frame_textures[frame]);
                ASSERT_TRUE(textures.contains(number)) << "texture " << number;
                EXPECT_TRUE(archive.contains(eft_path(textures[number])));
            }
            if (def.flags & EFFECT_DEF_MESH) {
                ASSERT_TRUE(meshes.contains(def.mesh));
                EXPECT_TRUE(archive.contains(eft_path(meshes[def.mesh]) + ".z"));
            }
            if (def.impact_effect != 0) {
                ASSERT_TRUE(effects.contains(def.impact_effect));
                EXPECT_FALSE(effects[def.impact_effect]->defs.empty());
            }
        }
    }
    const MapSet room = demo_room_map(demo_room_first_style());
    for (const MapEffectDesc& placed : *room.effects)
        EXPECT_TRUE(effects.contains(placed.effect_id)) << placed.effect_id;
}

// The emitters ask for what the room shows: an endless flame with a ground light, sparks that
// attack and collide, a ring, a mesh.
TEST(DemoEffectData, TheRoomsEmittersCarryTheirKindsFlags)
{
    std::map<std::string, EffectListEntry> files;
    for (const auto& [name, file] : demo_effect_data().files)
        files[name] = parsed(file);
    const EffectEmitterDef& flame = files["torch.eft"].defs.at(0);
    EXPECT_TRUE(flame.flags & EFFECT_DEF_CULLED_ENDLESS);
    EXPECT_NE(flame.light_size, 0.0f);
    EXPECT_EQ(flame.light_colour, DEMO_TORCH_LIGHT);

    const EffectEmitterDef& nozzle = files["fountain.eft"].defs.at(0);
    const EffectEmitterDef& spark = files["fountain.eft"].defs.at(1);
    EXPECT_EQ(nozzle.children[0], 1);
    EXPECT_EQ(nozzle.collision & EFFECT_FADE_ON_STOP, 0) << "a splash stops the effect; the nozzle goes on";
    EXPECT_NE(spark.trigger, 0);
    EXPECT_NE(spark.gravity_growth, 0.0f);
    EXPECT_NE(spark.kick_chance, 0);
    EXPECT_EQ(spark.attacking, 1);
    EXPECT_EQ(spark.collision, EFFECT_COLLIDE_MAP);
    EXPECT_EQ(spark.impact_effect, DEMO_EFFECT_SPLASH);

    const EffectEmitterDef& ring = files["ring.eft"].defs.at(0);
    EXPECT_TRUE(ring.flags & EFFECT_DEF_RING);
    EXPECT_GT(ring.ring_segments, 0);
    EXPECT_GT(ring.frame_count, 1);
    EXPECT_TRUE(files["crystal.eft"].defs.at(0).flags & EFFECT_DEF_MESH);
}

// ---- The room running: the effects live, queue their draws and ink the frame -----------------

template <typename T> std::vector<T*> live_objects(const MemPool<T>& pool)
{
    std::vector<T*> objects;
    for (std::int32_t i = 0; i < pool.count; ++i) {
        auto* object = static_cast<T*>(pool.active[i]);
        if (!(object->flags & GO_FLAG_DEAD)) objects.push_back(object);
    }
    return objects;
}

GoEffect* effect_of(std::int32_t id)
{
    for (GoEffect* effect : live_objects(g_pool_effect))
        if (effect->effect_id == id) return effect;
    return nullptr;
}

std::vector<GoParticle*> particles_of(const GoEffect& effect)
{
    std::vector<GoParticle*> particles;
    for (GoParticle* particle : live_objects(g_pool_particle))
        if (particle->effect.get() == &effect) particles.push_back(particle);
    return particles;
}

// The particles whose draw the frame queued, from the callback items of rows 9 and 11.
std::multiset<const GoParticle*> queued_particles()
{
    std::multiset<const GoParticle*> queued;
    for (int row : {EFFECT_ROW_IN_WATER, EFFECT_ROW})
        for (const RqCallbackItem* item : queued_items<RqCallbackItem>(row, RQ_TYPE_CALLBACK))
            if (item->callback == eft_particles_draw)
                queued.insert(static_cast<const GoParticle*>(item->user));
    return queued;
}

bool any_queued(const std::multiset<const GoParticle*>& queued, const GoEffect& effect)
{
    const std::vector<GoParticle*> particles = particles_of(effect);
    return std::any_of(particles.begin(), particles.end(),
                       [&](const GoParticle* particle) { return queued.contains(particle); });
}

// A patch of the presented frame around the screen point of a world position.
struct Patch {
    const char* what;
    MapVec at;
    std::vector<DWORD> pixels{};
};

constexpr int k_patch_half = 28;
constexpr int k_patch_step = 4;

void read_patch(Patch& patch)
{
    RECT client{};
    ASSERT_TRUE(GetClientRect(g_hwnd, &client));
    const D3DXVECTOR3 world(patch.at[0], patch.at[1], patch.at[2]);
    D3DXVECTOR3 screen;
    D3DXVec3TransformCoord(&screen, &world, &g_camera_state.screen);
    patch.pixels.clear();
    for (int dy = -k_patch_half; dy <= k_patch_half; dy += k_patch_step)
        for (int dx = -k_patch_half; dx <= k_patch_half; dx += k_patch_step) {
            // The window's rows count from its bottom.
            const int x = static_cast<int>(screen.x) + dx;
            const int y = client.bottom - 1 - (static_cast<int>(screen.y) + dy);
            patch.pixels.push_back(d3d8_gl_seam_window_pixel(*g_d3d_device, x, y).value_or(0));
        }
}

int channel(DWORD pixel, int shift)
{
    return static_cast<int>(pixel >> shift & 0xFF);
}

struct PatchChange {
    int changed = 0;  // pixels that differ by more than a step of any channel
    int red_gain = 0; // summed over the patch
    int blue_gain = 0;
};

PatchChange change_between(const Patch& with, const Patch& without)
{
    PatchChange change;
    for (std::size_t i = 0; i < with.pixels.size(); ++i) {
        const DWORD a = with.pixels[i], b = without.pixels[i];
        int largest = 0;
        for (int shift : {0, 8, 16})
            largest = std::max(largest, std::abs(channel(a, shift) - channel(b, shift)));
        change.changed += largest > 24;
        change.red_gain += channel(a, 16) - channel(b, 16);
        change.blue_gain += channel(a, 0) - channel(b, 0);
    }
    return change;
}

MapVec above(const MapVec& at, float height, float toward_eye = 0.0f)
{
    return {at[0], at[1] + height, at[2] - toward_eye};
}

class DemoRoomEffects : public SceneRoadPass {
protected:
    // The room without the first map's camera tour: from the title through the first map into
    // the second, where the camera stays behind the hero facing the doorway.
    void enter_second_map()
    {
        ASSERT_NO_FATAL_FAILURE(enter_first_map());
        g_play_state.game_flags[DEMO_NEXT_MAP_FLAG] = 1;
        ASSERT_TRUE(run_until_scene(DEMO_SECOND_MAP_SCENE, 300));
    }

    // Frames of one tick; records the splashes the fountain's sparks start.
    void run_frames(int frames)
    {
        for (int i = 0; i < frames; ++i) {
            run_frame(k_tick);
            for (GoEffect* effect : live_objects(g_pool_effect))
                if (effect->effect_id == DEMO_EFFECT_SPLASH) m_splash_heights.push_back(effect->world._42);
        }
    }

    // Ends every effect and particle: the sweep takes them, and nothing starts them again.
    void end_all_effects()
    {
        for (GoParticle* particle : live_objects(g_pool_particle))
            go_kill(*particle);
        for (GoEffect* effect : live_objects(g_pool_effect))
            go_kill(*effect);
    }

    std::vector<float> m_splash_heights;
};

TEST_F(DemoRoomEffects, TheRoomsEffectsLiveQueueTheirDrawsAndInkThePresentedFrame)
{
    for (int k = 0; k < 4; ++k)
        EXPECT_NE(g_texture_handles[IMAGE_TABLE_EFFECT_FIRST + k], nullptr) << "effect texture " << k;
    EXPECT_NE(g_effect_meshes[0], nullptr) << "the crystal";
    EXPECT_NE(g_texture_handles[29], nullptr) << "ripple.dds";

    ASSERT_NO_FATAL_FAILURE(enter_second_map());
    run_frames(150);

    // Each placed effect lives with its particles.
    const std::int32_t placed[] = {DEMO_EFFECT_TORCH, DEMO_EFFECT_FOUNTAIN, DEMO_EFFECT_RING,
                                   DEMO_EFFECT_CRYSTAL};
    const std::multiset<const GoParticle*> queued = queued_particles();
    for (std::int32_t id : placed) {
        SCOPED_TRACE(id);
        const GoEffect* effect = effect_of(id);
        ASSERT_NE(effect, nullptr);
        EXPECT_GT(effect->live_particles, 0);
        EXPECT_FALSE(particles_of(*effect).empty());
        EXPECT_TRUE(any_queued(queued, *effect)) << "its draw is queued in row 9 or 11";
    }
    EXPECT_GE(particles_of(*effect_of(DEMO_EFFECT_TORCH)).size(), 2u) << "the flame and its sparks";

    // The fountain's sparks attack and meet the map; their splashes start where they land.
    const std::vector<GoParticle*> fountain = particles_of(*effect_of(DEMO_EFFECT_FOUNTAIN));
    EXPECT_TRUE(std::any_of(fountain.begin(), fountain.end(),
                            [](const GoParticle* p) { return p->attack_record && p->collision_on; }));
    ASSERT_FALSE(m_splash_heights.empty()) << "no spark splashed";
    EXPECT_LT(*std::min_element(m_splash_heights.begin(), m_splash_heights.end()), 0.3f) << "on the floor";

    const GoParticle* ring = particles_of(*effect_of(DEMO_EFFECT_RING)).at(0);
    EXPECT_EQ(ring->ring.size(), 2u * (static_cast<std::size_t>(ring->def->ring_segments) + 1u));
    const GoParticle* crystal = particles_of(*effect_of(DEMO_EFFECT_CRYSTAL)).at(0);
    EXPECT_TRUE(crystal->def->flags & EFFECT_DEF_MESH);

    // The frame with the effects against the same view once they are gone.
    std::vector<Patch> patches = {
        {"the torch's flame", above(DEMO_TORCH_POSITION, DEMO_TORCH_FLAME_HEIGHT)},
        {"the torch's light on the floor", above(DEMO_TORCH_POSITION, 0.0f, 1.2f)},
        {"the fountain", above(DEMO_FOUNTAIN_POSITION, 0.6f)},
        {"the ring", above(DEMO_RING_POSITION, 0.45f)},
        {"the crystal", above(DEMO_CRYSTAL_POSITION, DEMO_CRYSTAL_HEIGHT)},
    };
    std::vector<Patch> without = patches;
    for (Patch& patch : patches)
        read_patch(patch);
    const std::uint32_t lit_triangles = g_tri_batches[TRI_BATCH_UNLIT].count;

    end_all_effects();
    run_frames(5);
    EXPECT_EQ(g_pool_particle.count, 0);
    EXPECT_TRUE(queued_particles().empty());
    EXPECT_LT(g_tri_batches[TRI_BATCH_UNLIT].count, lit_triangles) << "the torch's light spot";
    for (Patch& patch : without)
        read_patch(patch);

    for (std::size_t i = 0; i < patches.size(); ++i) {
        SCOPED_TRACE(patches[i].what);
        const PatchChange change = change_between(patches[i], without[i]);
        EXPECT_GE(change.changed, 3);
        if (i < 2) {
            EXPECT_GT(change.red_gain, change.blue_gain) << "warm";
        }
    }
}

} // namespace
