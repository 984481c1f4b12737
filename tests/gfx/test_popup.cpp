#include "gfx/go_popup.h"

#include "test_popup_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;

class PopupTest : public OverlayTickTest {
protected:
    GoPopup& make_popup(const char* text, D3DCOLOR colour = 0xFF123456, float size = 1.0f)
    {
        GoPopup* popup = obj_create<GoPopup>(g_pool_popup);
        EXPECT_NE(popup, nullptr);
        popup->SetText(text, colour, size);
        return *popup;
    }

    // A popup of glyphs laid out by hand, one font unit per world unit, following the actor:
    // glyph i spans x from i to i + 1 and y from -1 (bottom) to 0 (top), so the test needs no font.
    GoPopup& make_hand_laid(std::uint32_t glyphs)
    {
        GoPopup* popup = obj_create<GoPopup>(g_pool_popup);
        EXPECT_NE(popup, nullptr);
        popup->colour = 0x00ABCDEF;
        popup->triangle_count = 2 * glyphs;
        popup->vertices = std::make_unique<BatchVertex[]>(6 * glyphs);
        for (std::uint32_t i = 0; i < glyphs; ++i) {
            const float x0 = static_cast<float>(i);
            const float corners[6][2] = {{x0, 0}, {x0 + 1, 0}, {x0, -1}, {x0, -1}, {x0 + 1, 0}, {x0 + 1, -1}};
            for (int j = 0; j < 6; ++j)
                popup->vertices[6 * i + j] = {corners[j][0], corners[j][1], 0.0f, 0xFF000000, 0.5f, 0.5f};
        }
        popup->target = ObjHandle<GoBase>(m_actor);
        return *popup;
    }

    // Whole ticks until the popup is dead; 0 when it still lives after `limit`.
    std::uint32_t ticks_to_death(const GoPopup& popup, std::uint32_t limit = 200)
    {
        for (std::uint32_t tick = 1; tick <= limit; ++tick) {
            step();
            if (popup.flags & GO_FLAG_DEAD) return tick;
        }
        return 0;
    }
    // Draws the popup inside a scene, as the frame's drawing does.
    static void draw(const GoPopup& popup)
    {
        g_d3d_device->BeginScene();
        popup.Draw();
        g_d3d_device->EndScene();
    }
    // The world vertices the last draw read from its stream; none without a draw.
    static std::vector<BatchVertex> drawn_vertices()
    {
        if (draws().empty()) return {};
        const D3D8DrawRecord& draw = draws().back();
        std::vector<BatchVertex> vertices(3 * draw.call.primitive_count);
        std::memcpy(vertices.data(),
                    d3d8_buffer_data(*draw.state.streams[0].buffer) + draw.call.start * sizeof(BatchVertex),
                    sizeof(BatchVertex) * vertices.size());
        return vertices;
    }
};

} // namespace

// A popup lives the triangle count + 43 whole ticks: 6 triangles die at tick 49, 20 at 63. Steps
// without a whole tick do not count.
TEST_F(PopupTest, DiesAtTheTriangleCountPlus43Ticks)
{
    struct Case {
        const char* text;
        std::uint32_t triangles;
        std::uint32_t death_tick;
    };
    for (const Case& c : {Case{"abc", 6, 49}, Case{"0123456789", 20, 63}}) {
        SCOPED_TRACE(c.text);
        GoPopup& popup = make_popup(c.text);
        ASSERT_EQ(popup.triangle_count, c.triangles);
        step(2, false);
        EXPECT_EQ(popup.tick_counter, 0u);
        EXPECT_EQ(ticks_to_death(popup), c.death_tick);
        EXPECT_EQ(popup.hit_shape.class_bits & HIT_ACTIVE, 0u);
        obj_sweep_dead();
    }
}

// The counter is the clock of the whole life: one pushed past the end ends the popup at the next
// whole tick instead of running on for ever.
TEST_F(PopupTest, ACounterPastTheEndEndsThePopup)
{
    GoPopup& popup = make_hand_laid(3);
    popup.tick_counter = 1000;
    step();
    EXPECT_TRUE(popup.flags & GO_FLAG_DEAD);
    EXPECT_TRUE(queued_popups().empty()) << "a popup that died this tick is not drawn";
}

// The text keeps 31 bytes at most; a double-byte character goes only whole, and a lead byte at
// the end of the text ends it.
TEST_F(PopupTest, KeepsThirtyOneBytesAndDoubleByteCharactersWhole)
{
    const std::string pair = "\x82\xA0";
    struct Case {
        std::string text;
        std::string kept;
    };
    const Case cases[] = {
        {std::string(40, 'a'), std::string(31, 'a')},
        {std::string(30, 'a') + pair + "b", std::string(30, 'a')},
        {std::string(29, 'a') + pair + "b", std::string(29, 'a') + pair},
        {"ab\x82", "ab"},
    };
    for (const Case& c : cases) {
        GoPopup& popup = make_popup(c.text.c_str());
        EXPECT_EQ(std::string(popup.text), c.kept);
    }
}

// The glyphs are centred on the popup at size x 0.02 world units per font unit, y pointing up,
// in the plain RGB of the colour until the draw fades it.
TEST_F(PopupTest, LaysTheTextOutCentredAtItsSize)
{
    const float size = 1.5f;
    GoPopup& popup = make_hand_laid(1);
    popup.SetText("A#$FF00FF00B", 0x80FF0000, size);
    EXPECT_EQ(popup.colour, 0xFF0000u);
    EXPECT_FALSE(popup.target) << "SetText clears the target";

    std::vector<BatchVertex> laid(6 * std::strlen(popup.text));
    D3DXVECTOR2 extent(0.0f, 0.0f);
    const std::uint32_t triangles = text_layout_quads(laid.data(), popup.text, 0.0f, 0.0f, 0x80FF0000,
                                                      g_font_large, &extent, false, 1.0f);
    ASSERT_EQ(popup.triangle_count, triangles);
    ASSERT_GT(triangles, 0u);
    for (std::uint32_t i = 0; i < 3 * triangles; ++i) {
        const BatchVertex& v = popup.vertices[i];
        EXPECT_FLOAT_EQ(v.x, (laid[i].x - extent.x / 2.0f) * size * 0.02f);
        EXPECT_FLOAT_EQ(v.y, (-laid[i].y - extent.y / 2.0f) * size * 0.02f);
        EXPECT_EQ(v.z, 0.0f);
        EXPECT_EQ(v.u, laid[i].u);
        EXPECT_EQ(v.diffuse, laid[i].diffuse);
    }
}

// The fade rises over 14 ticks, then stays at 13/14 until the triangle count + 35, from where it
// falls over 8 ticks.
TEST_F(PopupTest, FadesInHoldsAndFadesOut)
{
    GoPopup& popup = make_hand_laid(3);
    const std::pair<std::uint32_t, float> expected[] = {
        {1, 1.0f / 14}, {13, 13.0f / 14}, {14, 13.0f / 14}, {40, 13.0f / 14},
        {41, 1.0f},     {45, 0.5f},       {48, 0.125f},
    };
    std::uint32_t tick = 0;
    for (const auto& [at, fade] : expected) {
        while (tick < at) {
            step();
            ++tick;
        }
        EXPECT_FLOAT_EQ(popup.fade, fade) << "tick " << at;
    }
    EXPECT_EQ(popup.age, 48.0f);
}

// Each glyph's quad is lifted by its wave at its own age (two steps behind the glyph before), and
// every vertex takes the popup's RGB under the fade's alpha.
TEST_F(PopupTest, DrawsEachGlyphLiftedAndFaded)
{
    GoPopup& popup = make_hand_laid(2);
    const float late = 4.0f + 30.0f + 12.0f; // glyph 0 is 12 steps into its last rise
    struct Case {
        float age;
        float fade;
        float lifts[2];
        D3DCOLOR alpha;
    };
    const Case cases[] = {
        {1.0f, 0.5f, {std::sin(k_pi / 32), std::sin(-k_pi / 32)}, 0x80},
        {8.0f, 13.0f / 14, {std::sin(8 * k_pi / 32), std::sin(6 * k_pi / 32)}, 237},
        {20.0f, 1.0f, {1.0f, 1.0f}, 255},
        {late, 0.125f, {2.0f, 2.0f - std::cos(10 * k_pi / 24)}, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.age);
        popup.age = c.age;
        popup.fade = c.fade;
        draw(popup);
        const std::vector<BatchVertex> drawn = drawn_vertices();
        ASSERT_EQ(drawn.size(), 12u);
        EXPECT_EQ(draws().back().call.type, D3DPT_TRIANGLELIST);
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            EXPECT_NEAR(drawn[i].y, popup.vertices[i].y + c.lifts[i / 6], 1e-5f);
            EXPECT_EQ(drawn[i].x, popup.vertices[i].x);
            EXPECT_EQ(drawn[i].diffuse, c.alpha << 24 | 0xABCDEF);
        }
    }
}

// The draw faces the camera at the popup's position with material 65 and the large font's
// texture.
TEST_F(PopupTest, DrawsWithTheFontTextureFacingTheCamera)
{
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    g_font_large.texture = texture;
    GoPopup& popup = make_hand_laid(1);
    step();
    ASSERT_EQ(queued_popups().size(), 1u);
    EXPECT_TRUE(same_matrix(popup.world, billboard_at(D3DXVECTOR3(1.0f, 2.75f, 3.0f))));

    draw(popup);
    ASSERT_FALSE(draws().empty());
    EXPECT_EQ(g_current_material, 65u);
    EXPECT_EQ(draws().back().state.textures[0], texture);
    EXPECT_EQ(draws().back().call.primitive_count, 2u);
    g_font_large.texture = nullptr;
    texture->Release();
}

// On drawn steps a popup with glyphs queues one callback in row 13 with key0 0x0C000007 and its
// squared distance to the eye x 10000 as key1; other steps and empty texts queue nothing.
TEST_F(PopupTest, QueuesItsCallbackInRow13ByDistance)
{
    GoPopup& popup = make_hand_laid(2);
    GoPopup& empty = make_hand_laid(0);
    step();
    const std::vector<const RqCallbackItem*> items = queued_popups();
    ASSERT_EQ(items.size(), 1u);
    const D3DXVECTOR3 to_eye = g_camera_state.eye - D3DXVECTOR3(1.0f, 2.75f, 3.0f);
    EXPECT_EQ(items[0]->header.key0, 0x0C000007u);
    EXPECT_EQ(items[0]->header.key1, rq_depth_key(D3DXVec3LengthSq(&to_eye)));
    EXPECT_EQ(items[0]->user, &popup);
    EXPECT_NE(items[0]->user, &empty);

    step(2);
    EXPECT_EQ(queued_popups().size(), 1u) << "only the frame's first step queues";
}

// The target is followed 0.75 above its position while its handle holds it, dead or not; once
// the sweep has deleted it the popup stays where it was.
TEST_F(PopupTest, FollowsItsTargetUntilTheSweepDeletesIt)
{
    GoPopup& popup = make_hand_laid(1);
    step();
    EXPECT_EQ(position(popup), D3DXVECTOR3(1.0f, 2.75f, 3.0f));

    kill(*m_actor);
    place(*m_actor, D3DXVECTOR3(-4.0f, 0.0f, 5.0f));
    step();
    EXPECT_EQ(position(popup), D3DXVECTOR3(-4.0f, 0.75f, 5.0f));

    obj_sweep_dead();
    ASSERT_FALSE(popup.target);
    GoBase* reuser = spawn(g_pool_actor); // takes the freed slot
    ASSERT_EQ(reuser, m_actor);
    place(*reuser, D3DXVECTOR3(9.0f, 9.0f, 9.0f));
    step();
    EXPECT_EQ(position(popup), D3DXVECTOR3(-4.0f, 0.75f, 5.0f));
}

// While the world is paused the popup neither follows, counts, ages nor fades, but it is still
// queued on drawn steps; with the camp menu open the world is hidden, so nothing is queued, and
// after it closes the popup goes on from where it stood.
TEST_F(PopupTest, PausesWithTheWorldAndHidesBehindTheCampMenu)
{
    GoPopup& popup = make_hand_laid(2);
    step();
    const std::uint32_t counter = popup.tick_counter;
    const float fade = popup.fade;
    const float age = popup.age;
    place(*m_actor, D3DXVECTOR3(7.0f, 7.0f, 7.0f));

    update_paused_and_drawn(popup);
    EXPECT_EQ(position(popup), D3DXVECTOR3(1.0f, 2.75f, 3.0f));
    EXPECT_EQ(popup.tick_counter, counter);
    EXPECT_EQ(popup.fade, fade);
    EXPECT_EQ(popup.age, age);
    EXPECT_EQ(queued_popups().size(), 1u);

    g_menu_open = MENU_OPEN_CAMP;
    step();
    EXPECT_EQ(popup.tick_counter, counter);
    EXPECT_EQ(popup.age, age);
    EXPECT_TRUE(queued_popups().empty());

    g_menu_open = 0;
    step();
    EXPECT_EQ(popup.tick_counter, counter + 1);
    EXPECT_EQ(position(popup), D3DXVECTOR3(7.0f, 7.75f, 7.0f));
    EXPECT_EQ(queued_popups().size(), 1u);
}
