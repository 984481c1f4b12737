#include "scenegraph/model.h"

#include "gl_device_fixture.h"
#include "lib/qmo_writer.h"
#include "renderer_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr UINT k_width = 320, k_height = 240;
constexpr DWORD k_lit = 0xFFFFFF;   // white vertices under the default full ambient light
constexpr DWORD k_clear = 0x000000; // the frame start clears to black
constexpr float k_edge_margin = 1.5f;

D3DXMATRIX identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// The skinned quad of qmo_two_bone_skinned: bind positions and the mesh bone (index into the
// mesh's bone list) each corner follows alone.
struct SkinnedCorner {
    D3DXVECTOR3 bind;
    std::size_t bone;
};
const SkinnedCorner k_corners[4] = {
    {{-0.5f, 0, 0}, 0}, {{0.5f, 0, 0}, 0}, {{-0.5f, 2, 0}, 1}, {{0.5f, 2, 0}, 1}};
// The corners in their order around the quad: lower left, lower right, upper right, upper left.
constexpr int k_around[4] = {0, 1, 3, 2};

using ScreenPoint = std::array<float, 2>;

// The smallest signed distance of the point from the edges of the convex polygon, positive
// inside whichever way the polygon turns.
float inside_distance(const std::array<ScreenPoint, 4>& polygon, float x, float y)
{
    float area = 0.0f;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const ScreenPoint& p = polygon[i];
        const ScreenPoint& q = polygon[(i + 1) % polygon.size()];
        area += p[0] * q[1] - q[0] * p[1];
    }
    float turn = area > 0 ? 1.0f : -1.0f;
    float inside = INFINITY;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const ScreenPoint& p = polygon[i];
        const ScreenPoint& q = polygon[(i + 1) % polygon.size()];
        float dx = q[0] - p[0], dy = q[1] - p[1];
        inside = std::min(inside, turn * ((y - p[1]) * dx - (x - p[0]) * dy) / std::hypot(dx, dy));
    }
    return inside;
}

// The two-bone model loaded by the model pool's loader from a file the writer made, drawn on a
// device with the OpenGL backend through the renderer started as the game starts it.
class ModelDrawGlTest : public RendererTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(start_gl(k_width, k_height));
        if (IsSkipped()) return;

        ASSERT_TRUE(qmo_write_file(m_folder.path() / "skin.qmo", qmo_two_bone_skinned()));
        model_register_loader();
        ResourceHandle handle = ResrcMgr::Load(m_folder.windows("skin.qmo").c_str(), {}, RESRC_POOL_MODEL, 0);
        ResourceRecord* record = ResrcMgr::Get(handle);
        ASSERT_NE(record, nullptr);
        m_model = static_cast<Model*>(record->object);
        model_instance_init(m_instance, *m_model, MODEL_INST_RANGES);
    }

    void TearDown() override
    {
        if (m_model) {
            model_instance_free(m_instance);
            ResrcMgr::Release(RESRC_POOL_MODEL, m_model);
        }
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        RendererTest::TearDown();
    }

    // One frame as the game draws it: the frame state and constants, the clear, the model's tree
    // through the queueing walk (skinned meshes draw at once), then the queue.
    void draw_frame()
    {
        renderer_reset_frame_state();
        renderer_set_frame_constants();
        renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        model_queue_node_tree(*m_model, &m_model->nodes[0], 0);
        renderer_draw_frame();
    }

    // The corner skinned on the CPU: bind position through its bone's inverse bind and posed
    // world matrices.
    D3DXVECTOR3 skinned(const SkinnedCorner& corner) const
    {
        const ModelNode& bone = *m_model->meshes[0].bones[corner.bone];
        D3DXMATRIX bind_to_world = bone.inverse_bind * bone.pose.world;
        D3DXVECTOR3 out;
        D3DXVec3TransformCoord(&out, &corner.bind, &bind_to_world);
        return out;
    }

    static ScreenPoint to_screen(const D3DXVECTOR3& world)
    {
        D3DXVECTOR3 clip;
        D3DXVec3TransformCoord(&clip, &world, &g_camera_state.view_proj);
        return {(clip.x + 1) / 2 * k_width, (1 - clip.y) / 2 * k_height};
    }

    TempFolder m_folder;
    Model* m_model = nullptr;
    ModelInstance m_instance{};
};

} // namespace

TEST_F(ModelDrawGlTest, BentSkinnedQuadCoversThePixelsTheCpuSkinningPredicts)
{
    renderer_set_camera(D3DXVECTOR3(0.0f, 1.0f, -4.0f), D3DXVECTOR3(0.0f, 1.0f, 0.0f));
    renderer_update_camera();

    struct Case {
        const char* what;
        std::uint32_t range, start_offset;
        float degrees; // bone2's turn
        D3DXMATRIX model_to_world;
    };
    D3DXMATRIX turned, moved;
    D3DXMatrixRotationY(&turned, 0.5f);
    D3DXMatrixTranslation(&moved, -0.5f, -0.5f, 1.0f);
    const Case cases[] = {
        {"swing at key 2", 0, 2, 45.0f, identity()},
        {"held at key 4, placed turned and moved", 1, 0, 90.0f, turned * moved},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model_anim_play(m_instance, c.range, false, c.start_offset, MODEL_END_OFFSET_NONE);
        model_instance_update(m_instance, c.model_to_world, identity());
        draw_frame();
        std::vector<DWORD> image = back_buffer_pixels(*g_d3d_device, k_width, k_height);

        // Bone2 turns about its root one unit up: an upper corner at (x, 1) from it goes to
        // (x cos a + sin a, -x sin a + cos a) from it.
        const float a = c.degrees * 3.14159265f / 180.0f;
        for (int i : {2, 3}) {
            float x = k_corners[i].bind.x;
            D3DXVECTOR3 bent(x * std::cos(a) + std::sin(a), 1 - x * std::sin(a) + std::cos(a), 0);
            D3DXVECTOR3 expected;
            D3DXVec3TransformCoord(&expected, &bent, &c.model_to_world);
            D3DXVECTOR3 actual = skinned(k_corners[i]);
            EXPECT_NEAR(actual.x, expected.x, 1e-4f) << "corner " << i;
            EXPECT_NEAR(actual.y, expected.y, 1e-4f) << "corner " << i;
            EXPECT_NEAR(actual.z, expected.z, 1e-4f) << "corner " << i;
        }

        std::array<ScreenPoint, 4> quad;
        for (int i = 0; i < 4; ++i)
            quad[i] = to_screen(skinned(k_corners[k_around[i]]));
        int inside = 0, outside = 0;
        for (UINT y = 0; y < k_height; y += 2)
            for (UINT x = 0; x < k_width; x += 2) {
                float distance = inside_distance(quad, float(x), float(y));
                if (std::abs(distance) < k_edge_margin) continue;
                (distance > 0 ? inside : outside)++;
                ASSERT_TRUE(near_color(image[y * k_width + x] & 0xFFFFFF, distance > 0 ? k_lit : k_clear, 2))
                    << x << "," << y << (distance > 0 ? " inside" : " outside");
            }
        EXPECT_GT(inside, 300);
        EXPECT_GT(outside, 300);
    }
}
