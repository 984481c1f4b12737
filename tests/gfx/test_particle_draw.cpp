#include "gfx/eft_draw.h"

#include "core/maths.h"
#include "game/g_image_table.h"
#include "lib/qmo_writer.h"
#include "object/obj_manager.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer_fixture.h"
#include "test_particle_draw_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr int k_texture_number = 5; // effect texture 5: image-table entry 428
constexpr int k_image = IMAGE_TABLE_EFFECT_FIRST + k_texture_number;
constexpr float k_far = 1000.0f;

std::uint32_t items_in(int row)
{
    return g_rq_rows[row].used / RQ_SIZE_CALLBACK;
}

const RqCallbackItem& item_of(int row, std::uint32_t index = 0)
{
    const auto* items = reinterpret_cast<const RqCallbackItem*>(g_rq_rows[row].buffer.get());
    return items[index];
}

// The renderer on a state-only device, the pools, one texture as effect texture 5, and particles
// of one effect. frame() empties the queue, runs the drawn-frame step of the given particles and
// draws the queue, logging this frame's draws.
class ParticleDrawTest : public RendererTest, protected ParticleMaker {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_EQ(obj_create_pools(), S_OK);
        ASSERT_EQ(g_d3d_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture),
                  D3D_OK);
        g_texture_handles[k_image] = m_texture;
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        g_texture_handles[k_image] = nullptr;
        for (Model*& mesh : g_effect_meshes)
            mesh = nullptr;
        for (Model& model : m_models) {
            for (IDirect3DTexture8*& texture : model.textures)
                texture = nullptr;
            model_free(model);
        }
        if (m_texture) m_texture->Release();
        RendererTest::TearDown();
    }

    static void queue(std::initializer_list<GoParticle*> particles)
    {
        renderer_reset_frame_state();
        for (GoParticle* particle : particles)
            eft_particle_draw_step(*particle);
    }
    static void frame(std::initializer_list<GoParticle*> particles)
    {
        queue(particles);
        d3d8_seam_log_draws(true); // empties the log
        renderer_draw_frame();
    }

    // The one particle drawn this frame: its call and the vertices it read.
    static const D3D8DrawRecord& only_draw()
    {
        EXPECT_EQ(draws().size(), 1u);
        return draws().front();
    }
    static std::vector<EffectVertex> strip_vertices(const D3D8DrawRecord& draw)
    {
        std::vector<EffectVertex> vertices(draw.call.primitive_count + 2);
        std::memcpy(vertices.data(),
                    d3d8_buffer_data(*draw.state.streams[0].buffer) + draw.call.start * sizeof(EffectVertex),
                    vertices.size() * sizeof(EffectVertex));
        return vertices;
    }

    // A one-material box as effect mesh `number`, its first texture the given one.
    Model& effect_mesh(int number, std::uint32_t material_bits, IDirect3DTexture8* first_texture)
    {
        QmoImage image = qmo_box();
        image.materials[0].bits = material_bits;
        image.materials[0].word = 1; // the first texture on stage 0
        image.materials[0].values = {0.5f, 0.25f, 0.0f, 0.0f};
        Model& model = m_models.emplace_back();
        EXPECT_EQ(model_parse(model, qmo_bytes(image), 0, 0), S_OK);
        model.textures[0] = first_texture;
        g_effect_meshes[number] = &model;
        return model;
    }

    // One frame of effect texture 5 across its whole picture.
    static void one_frame(EffectEmitterDef& def, float u0 = 0.0f, float v0 = 0.0f, float u1 = 1.0f,
                          float v1 = 1.0f)
    {
        def.frame_count = 1;
        def.frame_textures[0] = k_texture_number;
        def.frame_uv[0] = {u0, v0, u1, v1};
    }

    IDirect3DTexture8* m_texture = nullptr;
    std::deque<Model> m_models; // g_effect_meshes points into it
};

} // namespace

// ---- Culling and queueing --------------------------------------------------------------------------

// A visible particle is tested on its first frame and then only every eighth: leaving the view
// it keeps being queued until the next test. A hidden one is tested on every frame and shows on
// the first frame it is back inside, which starts a new period of eight.
TEST_F(ParticleDrawTest, CullingRetestsVisibleParticlesEveryEighthFrameAndShowsHiddenOnesAtOnce)
{
    EffectEmitterDef& def = this->def(EFFECT_DEF_CULLED_ENDLESS);
    def.cull_mode = 1;
    def.cull_radius = 0.5f;
    const D3DXVECTOR3 inside(0.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 behind(0.0f, 5.0f, -30.0f); // behind the eye at (0, 5, -10)
    GoParticle& particle = this->particle(def, inside);

    const struct {
        bool inside;
        std::uint32_t queued;
    } frames[] = {
        {true, 1},                                                                          // tested
        {false, 1}, {false, 1}, {false, 1}, {false, 1}, {false, 1}, {false, 1}, {false, 1}, // waiting
        {false, 0},                                                                         // tested
        {false, 0}, {false, 0},                                                             // each frame
        {true, 1},                                                                          // shown
        {false, 1}, {false, 1}, {false, 1}, {false, 1}, {false, 1}, {false, 1}, {false, 1}, // waiting
        {false, 0},
    };
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        move(particle, frames[i].inside ? inside : behind);
        queue({&particle});
        EXPECT_EQ(items_in(EFFECT_ROW), frames[i].queued) << "frame " << i;
        EXPECT_EQ(particle.state.hidden, frames[i].queued ? 0 : 1) << "frame " << i;
    }
}

// Culling mode 0 takes the parent's hidden byte instead of a test of its own; a particle without
// the culling flag is never hidden.
TEST_F(ParticleDrawTest, CullingModeZeroFollowsTheParentAndUnflaggedParticlesAlwaysDraw)
{
    EffectEmitterDef& following = def(EFFECT_DEF_CULLED_ENDLESS);
    EffectEmitterDef& plain = def();
    GoParticle& parent = particle(def(), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    GoParticle& child = particle(following, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    child.parent = ObjHandle<GoParticle>(&parent);
    parent.ref_count += 1;
    GoParticle& far_away = particle(plain, D3DXVECTOR3(0.0f, 0.0f, -k_far));

    parent.state.hidden = 1;
    queue({&child, &far_away});
    EXPECT_EQ(child.state.hidden, 1);
    EXPECT_EQ(items_in(EFFECT_ROW), 1u) << "only the unculled particle behind the eye";
    EXPECT_EQ(item_of(EFFECT_ROW).user, &far_away);

    parent.state.hidden = 0;
    ParticleMaker::move(child, D3DXVECTOR3(0.0f, 0.0f, -k_far));
    queue({&child});
    EXPECT_EQ(child.state.hidden, 0) << "no test of its own";
    EXPECT_EQ(items_in(EFFECT_ROW), 1u);
}

// The item: 36 bytes in the particle's row (9 in water, else 11) with the draw callback and the
// particle; key 0 names the texture in 32 bits and is 0 for anything drawn untextured.
TEST_F(ParticleDrawTest, ItemsGoToTheParticlesRowWithTheTextureAsKeyZero)
{
    effect_mesh(7, 0, m_texture);
    effect_mesh(8, 0, nullptr);
    const struct {
        std::uint16_t flags;
        std::uint8_t mesh;
        std::int32_t frames;
        std::int32_t texture;
        std::uint8_t row;
        std::uint32_t key0;
    } cases[] = {
        {0, 0, 1, k_texture_number, EFFECT_ROW, k_image},
        {EFFECT_DEF_CAMERA_FACING, 0, 1, k_texture_number, EFFECT_ROW_IN_WATER, k_image},
        {EFFECT_DEF_RING, 0, 1, k_texture_number + 1, EFFECT_ROW, 0}, // no picture loaded there
        {0, 0, 1, EFFECT_NO_TEXTURE, EFFECT_ROW, 0},
        {0, 0, 1, IMAGE_TABLE_EFFECT_COUNT, EFFECT_ROW, 0}, // past the effect textures
        {0, 0, 0, k_texture_number, EFFECT_ROW, 0},         // no frames
        {EFFECT_DEF_MESH, 7, 1, k_texture_number, EFFECT_ROW_IN_WATER, PARTICLE_MESH_TEXTURE_KEY + 7},
        {EFFECT_DEF_MESH, 8, 0, 0, EFFECT_ROW, 0},   // a mesh without a first texture
        {EFFECT_DEF_MESH, 9, 0, 0, EFFECT_ROW, 0},   // no mesh loaded
        {EFFECT_DEF_MESH, 250, 0, 0, EFFECT_ROW, 0}, // past the mesh table
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "flags " << c.flags << " mesh " << int(c.mesh) << " texture " << c.texture);
        EffectEmitterDef& def = this->def(c.flags);
        def.mesh = c.mesh;
        def.frame_count = c.frames;
        def.frame_textures[0] = c.texture;
        GoParticle& particle = this->particle(def, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        particle.state.render_row = c.row;
        queue({&particle});
        const int other = c.row == EFFECT_ROW ? EFFECT_ROW_IN_WATER : EFFECT_ROW;
        ASSERT_EQ(items_in(c.row), 1u);
        EXPECT_EQ(items_in(other), 0u);
        const RqCallbackItem& item = item_of(c.row);
        EXPECT_EQ(item.header.type, RQ_TYPE_CALLBACK);
        EXPECT_EQ(item.header.size, RQ_SIZE_CALLBACK);
        EXPECT_EQ(item.header.key0, c.key0);
        EXPECT_EQ(item.callback, &eft_particles_draw);
        EXPECT_EQ(item.user, &particle);
    }
}

// Flag bit 10 queues nothing, a hidden particle queues nothing, and a full row drops the item.
TEST_F(ParticleDrawTest, NoDrawFlagHiddenParticlesAndFullRowsQueueNothing)
{
    GoParticle& unseen = particle(def(EFFECT_DEF_NO_DRAW), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    GoParticle& hidden = particle(def(), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    hidden.state.hidden = 1;
    queue({&unseen, &hidden});
    EXPECT_EQ(items_in(EFFECT_ROW), 0u);

    GoParticle& shown = particle(def(), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    renderer_reset_frame_state();
    while (rq_alloc(EFFECT_ROW, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK)) {
    }
    const std::uint32_t full = g_rq_rows[EFFECT_ROW].used;
    eft_particle_draw_step(shown);
    EXPECT_EQ(g_rq_rows[EFFECT_ROW].used, full);
}

// ---- Depth keys ----------------------------------------------------------------------------------

// Offsets on the same 3-unit cells give the same key; each square wraps at 2^28 and the sum
// times 90000 at 2^32, never overflowing a signed type; an offset past 32 bits counts as cell -2^31.
TEST_F(ParticleDrawTest, DepthKeysCountWholeThreeUnitCells)
{
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        D3DXVECTOR3 offset;
        std::uint32_t key;
    } cases[] = {
        {{3.2f, 0.0f, 0.0f}, 90000},
        {{5.9f, 0.0f, 0.0f}, 90000},
        {{-5.9f, 0.0f, 0.0f}, 90000},
        {{0.0f, 0.0f, 3.2f}, 90000},
        {{2.99f, -2.99f, 0.5f}, 0},
        {{6.0f, 0.0f, 0.0f}, 360000},
        {{3.2f, -3.2f, 6.5f}, 540000},
        {{300000.0f, 0.0f, 0.0f}, 2488025088u}, // 100000^2 mod 2^28 = 67888128
        {{-300000.0f, 0.0f, 0.0f}, 2488025088u},
        {{60000.0f, 60000.0f, -60000.0f}, 3047342080u}, // 3 x 131564544 x 90000 mod 2^32
        {{1.0e20f, 0.0f, 0.0f}, 0},
        {{nan, 3.2f, 0.0f}, 90000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(eft_depth_key(c.offset), c.key) << c.offset.x << ", " << c.offset.y << ", " << c.offset.z;
}

// key 1 takes the offset from the eye less the effect's camera offset: particles 3.2 and 5.9
// units from the pulled eye share a key, one at 6.5 has the next.
TEST_F(ParticleDrawTest, QueuedDepthKeyIsMeasuredFromTheEyeLessTheCameraOffset)
{
    effect().camera_offset = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    const D3DXVECTOR3 eye = g_camera_state.eye;
    GoParticle& near = particle(def(), eye + D3DXVECTOR3(0.0f, 0.0f, 4.2f));
    GoParticle& same = particle(def(), eye + D3DXVECTOR3(0.0f, 0.0f, 6.9f));
    GoParticle& next = particle(def(), eye + D3DXVECTOR3(0.0f, 0.0f, 7.5f));
    queue({&near, &same, &next});
    ASSERT_EQ(items_in(EFFECT_ROW), 3u);
    EXPECT_EQ(item_of(EFFECT_ROW, 0).header.key1, 90000);
    EXPECT_EQ(item_of(EFFECT_ROW, 1).header.key1, 90000);
    EXPECT_EQ(item_of(EFFECT_ROW, 2).header.key1, 360000);
}

// ---- Drawing -------------------------------------------------------------------------------------

// A plain quad: its own four vertices with the frame's UVs and colours, one strip of two
// triangles from the world-quad buffer, the frame texture, the definition's material and the
// particle's matrix less the camera offset as world.
TEST_F(ParticleDrawTest, PlainQuadIsOneStripOfFourVerticesAtItsMatrix)
{
    EffectEmitterDef& def = this->def();
    one_frame(def, 0.25f, 0.5f, 0.75f, 1.0f);
    def.ring_material = 0x4041;
    effect().camera_offset = D3DXVECTOR3(0.0f, 0.0f, 2.0f);
    GoParticle& particle = this->particle(def, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    colour(particle, 0x80FF4020, 0x00102030);
    frame({&particle});

    const D3D8DrawRecord& draw = only_draw();
    EXPECT_FALSE(draw.call.indexed);
    EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(draw.call.primitive_count, 2u);
    EXPECT_EQ(draw.state.streams[0].buffer, g_renderer_vbs[RVB_WORLD_QUAD].vertices);
    EXPECT_EQ(draw.state.streams[0].stride, sizeof(EffectVertex));
    EXPECT_EQ(draw.state.textures[0], m_texture);
    EXPECT_EQ(draw.state.vertex_shader, shader_handle(SHADER_SLOT_B_DST1));
    EXPECT_EQ(g_current_material, 0x4041u);
    EXPECT_EQ(draw.state.render[D3DRS_ALPHABLENDENABLE], TRUE);

    const float uv[4][2] = {{0.25f, 0.5f}, {0.75f, 0.5f}, {0.25f, 1.0f}, {0.75f, 1.0f}};
    const std::vector<EffectVertex> drawn = strip_vertices(draw);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(drawn[i].position == particle.state.vertices[i].position) << i;
        EXPECT_EQ(drawn[i].colour1, 0x80FF4020u) << i;
        EXPECT_EQ(drawn[i].colour2, 0x00102030u) << i;
        EXPECT_EQ(drawn[i].u, uv[i][0]) << i;
        EXPECT_EQ(drawn[i].v, uv[i][1]) << i;
    }

    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 1.0f, 2.0f, 1.0f);
    D3DXMATRIX expected = world * g_camera_state.view_proj;
    D3DXMatrixTranspose(&expected, &expected);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(draw.state.vs_constants[VSC_WORLD_VIEW_PROJ + r][c], expected.m[r][c], 1e-4f)
                << r << ", " << c;
}

// A ring: the 2 x segments + 2 vertices built at creation as one strip, every vertex given the
// particle's two colours, untextured without frames. A ring that was never built draws nothing.
TEST_F(ParticleDrawTest, RingIsOneStripOfTwiceItsSegmentsPlusTwo)
{
    for (int segments : {1, 6, EFFECT_RING_SEGMENTS_MAX}) {
        SCOPED_TRACE(segments);
        EffectEmitterDef& def = this->def(EFFECT_DEF_RING);
        def.ring_segments = segments;
        GoParticle& particle = this->particle(def, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        particle.ring.assign(2 * static_cast<std::size_t>(segments + 1), EffectVertex{});
        for (std::size_t i = 0; i < particle.ring.size(); ++i)
            particle.ring[i].position = D3DXVECTOR3(static_cast<float>(i), 0.0f, 0.0f);
        particle.vertices = particle.ring.data();
        colour(particle, 0xC0123456, 0x00654321);
        frame({&particle});

        const D3D8DrawRecord& draw = only_draw();
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.call.primitive_count, UINT(2 * segments));
        EXPECT_EQ(draw.state.textures[0], nullptr);
        const std::vector<EffectVertex> drawn = strip_vertices(draw);
        ASSERT_EQ(drawn.size(), std::size_t(2 * segments + 2));
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            EXPECT_EQ(drawn[i].position.x, static_cast<float>(i));
            EXPECT_EQ(drawn[i].colour1, 0xC0123456u);
            EXPECT_EQ(drawn[i].colour2, 0x00654321u);
        }
        obj_destroy_all();
    }
    GoParticle& unbuilt = particle(def(EFFECT_DEF_RING), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    frame({&unbuilt});
    EXPECT_TRUE(draws().empty());
}

// A camera-facing quad: a square of half side scale factor x base scale x 0.5, turned by the
// table step of its z angle (truncated), the frame's UVs, on the billboard at the pulled position.
TEST_F(ParticleDrawTest, CameraFacingQuadCornersTurnByTheTableStepOfTheZAngle)
{
    EffectEmitterDef& def = this->def(EFFECT_DEF_CAMERA_FACING);
    one_frame(def, 0.0f, 0.5f, 0.5f, 1.0f);
    // A quarter turn lands just short of step 64: the table's factor is 40.743664, a hair under 256 / 2 pi.
    const struct {
        float angle;
        int step;
    } cases[] = {{0.0f, 0}, {0.5f, 20}, {std::numbers::pi_v<float> / 2.0f, 63}, {-1.0f, -40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.angle);
        effect().camera_offset = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
        GoParticle& particle = this->particle(def, D3DXVECTOR3(2.0f, 3.0f, 4.0f));
        particle.state.base_scale = D3DXVECTOR3(2.0f, 9.0f, 9.0f);
        particle.state.scale_factors = D3DXVECTOR3(1.5f, 9.0f, 9.0f);
        particle.state.rotation.z = c.angle;
        colour(particle, 0xFF00FF00);
        frame({&particle});

        const D3D8DrawRecord& draw = only_draw();
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.call.primitive_count, 2u);
        EXPECT_EQ(draw.state.textures[0], m_texture);
        const float cs = g_cos_table_256[c.step & 255];
        const float sn = g_cos_table_256[(c.step - 64) & 255];
        const float h = 1.5f; // 1.5 x 2 x 0.5
        const float corners[4][4] = {
            {-h, h, 0.0f, 0.5f}, {h, h, 0.5f, 0.5f}, {-h, -h, 0.0f, 1.0f}, {h, -h, 0.5f, 1.0f}};
        const std::vector<EffectVertex> drawn = strip_vertices(draw);
        for (int i = 0; i < 4; ++i) {
            const float x = corners[i][0], y = corners[i][1];
            EXPECT_FLOAT_EQ(drawn[i].position.x, x * cs - y * sn) << i;
            EXPECT_FLOAT_EQ(drawn[i].position.y, x * sn + y * cs) << i;
            EXPECT_EQ(drawn[i].position.z, 0.0f) << i;
            EXPECT_EQ(drawn[i].u, corners[i][2]) << i;
            EXPECT_EQ(drawn[i].v, corners[i][3]) << i;
            EXPECT_EQ(drawn[i].colour1, 0xFF00FF00u) << i;
        }

        D3DXMATRIX world = g_camera_state.billboard;
        world._41 = 2.0f;
        world._42 = 2.0f;
        world._43 = 4.0f;
        D3DXMATRIX expected = world * g_camera_state.view_proj;
        D3DXMatrixTranspose(&expected, &expected);
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col)
                EXPECT_NEAR(draw.state.vs_constants[VSC_WORLD_VIEW_PROJ + r][col], expected.m[r][col], 1e-4f);
        obj_destroy_all();
    }
}

// A mesh emitter draws its effect mesh at the particle's matrix with the particle's alpha, the
// scroll plus the frame's left and top as every material's UV offset and the frame texture first.
// Meshes 120 and 122 turn the light by the remaining life's table step and draw plain below alpha
// 0.8. Everything changed for the draw is given back afterwards.
TEST_F(ParticleDrawTest, MeshEmittersDrawTheEffectMeshAndGiveBackWhatTheyChanged)
{
    IDirect3DTexture8* own = nullptr;
    ASSERT_EQ(g_d3d_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &own), D3D_OK);
    const D3DXVECTOR4 light = g_scene_lighting.light_direction;
    const struct {
        int mesh;
        std::uint8_t alpha;
        std::int32_t life;
        bool plain;
        bool turned;
    } cases[] = {
        {120, 0x66, 63, true, true},   // step 64: a quarter turn
        {122, 0xCC, 63, false, true},  // 0.8 and above: lit
        {121, 0x66, 63, false, false}, // any other mesh keeps the light
        {120, 0x66, 0, true, false},   // step 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mesh);
        Model& model = effect_mesh(c.mesh, MODEL_MAT_UV_ANIM, own);
        EffectEmitterDef& def = this->def(EFFECT_DEF_MESH);
        def.mesh = static_cast<std::uint8_t>(c.mesh);
        one_frame(def, 0.125f, 0.375f, 0.5f, 0.5f);
        GoParticle& particle = this->particle(def, D3DXVECTOR3(0.0f, 1.0f, 0.0f));
        particle.state.uv_scroll[0] = 0.25f;
        particle.state.uv_scroll[1] = 0.5f;
        particle.state.life = c.life;
        colour(particle, static_cast<std::uint32_t>(c.alpha) << 24 | 0xFFFFFF);
        frame({&particle});

        const D3D8DrawRecord& draw = only_draw();
        EXPECT_TRUE(draw.call.indexed);
        EXPECT_EQ(draw.call.primitive_count, 12u);
        EXPECT_EQ(draw.state.textures[0], m_texture) << "the frame texture in place of the mesh's";
        EXPECT_FLOAT_EQ(draw.state.vs_constants[VSC_MODEL][0], 0.375f);
        EXPECT_FLOAT_EQ(draw.state.vs_constants[VSC_MODEL][1], 0.875f);
        EXPECT_EQ(draw.state.render[D3DRS_TEXTUREFACTOR] >> 24, std::uint32_t(c.alpha * 256 / 255));
        EXPECT_EQ(draw.state.vertex_shader, shader_handle(c.plain ? 2 : 73));
        const float* lit = draw.state.vs_constants[VSC_LIGHT_DIRECTION];
        const D3DXVECTOR3 expected =
            c.turned ? D3DXVECTOR3(-light.z, light.y, light.x) : D3DXVECTOR3(light.x, light.y, light.z);
        EXPECT_NEAR(lit[0], expected.x, 1e-5f);
        EXPECT_NEAR(lit[1], expected.y, 1e-5f);
        EXPECT_NEAR(lit[2], expected.z, 1e-5f);

        EXPECT_EQ(model.textures[0], own);
        EXPECT_EQ(model.materials[0].values[0], 0.5f);
        EXPECT_EQ(model.materials[0].values[1], 0.25f);
        EXPECT_EQ(model.fade, 1.0f);
        EXPECT_TRUE(g_scene_lighting.light_direction == light);
        obj_destroy_all();
    }
    for (Model& model : m_models)
        model.textures[0] = nullptr;
    own->Release();
}
