#include "game/g_image_table.h"
#include "gfx/go_emotion.h"
#include "gfx/go_popup.h"
#include "gfx/sprite.h"
#include "gfx/text_bitmap.h"
#include "gl_device_fixture.h"
#include "lib/emotion_image_writer.h"
#include "lib/font_image_writer.h"
#include "scenegraph/texture.h"
#include "test_popup_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int k_font_image = 6;
constexpr DWORD k_black = 0xFF000000;
constexpr D3DCOLOR k_popup_colour = 0xFF00FF00;
constexpr D3DCOLOR k_rect_colour = 0xFFFF0000;
constexpr D3DCOLOR k_text_colour = 0xFF0000FF;
constexpr std::uint32_t k_icon_kind = 2; // cell 8 for its first ten ticks, then 9, then 8 again

// What the row-13 callback draws on the virtual screen: a flat rectangle and a text.
struct ScreenLayer {
    SpriteRect rect;
    float text_x = 500.0f;
    float text_y = 400.0f;
};

void draw_screen_layer(RenderQueueItem*, void* user)
{
    auto& layer = *static_cast<ScreenLayer*>(user);
    sprite_rect_draw(layer.rect);
    text_draw_large(layer.text_x, layer.text_y, k_text_colour, g_font_large, 1.0f, "88");
}

// The game tick and the renderer on a device that draws for real (OpenGL), with the images that
// the tools write for the large font (in blocks, so ink lies exactly in each glyph's rectangle)
// and the emotion icons.
class OverlaySceneTest : public GlOverlayTickTest {
protected:
    void SetUp() override
    {
        GlOverlayTickTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        load_image(k_font_image, font_image_build(FontImage::Large, FontImageMode::Blocks));
        load_image(EMOTION_IMAGE, emotion_image_build());
        text_build_large_font();
    }

    void load_image(int entry, const std::vector<std::uint8_t>& file)
    {
        DdsImage image;
        ASSERT_EQ(dds_parse(image, file), S_OK);
        ASSERT_EQ(
            dds_create_texture(image, &own_image(entry), nullptr, true, D3DPOOL_MANAGED, D3DFMT_A4R4G4B4),
            S_OK);
        dds_free(image);
    }

    static int channel(DWORD argb, int shift) { return static_cast<int>(argb >> shift & 0xFF); }
};

} // namespace

// A stand-in owner carries a popup and an emotion icon, and its update queues a row-13 callback
// that draws a flat sprite rectangle and a text in the large font. After the real tick and the
// queue's drawing, each one's ink lies where it was placed, and the frame elsewhere is clear.
TEST_F(OverlaySceneTest, PopupIconRectAndTextLeaveTheirInk)
{
    GoPopup* popup = obj_create<GoPopup>(g_pool_popup);
    ASSERT_NE(popup, nullptr);
    popup->SetText("88", k_popup_colour, 2.0f);
    popup->target = ObjHandle<GoBase>(m_actor);
    GoEmotion* icon = obj_create<GoEmotion>(g_pool_emotion);
    ASSERT_NE(icon, nullptr);
    icon->owner = ObjHandle<GoActor>(m_actor);
    icon->kind = k_icon_kind;
    icon->height_offset = 1.0f;
    place(*m_actor, D3DXVECTOR3(0.0f, 0.0f, 0.0f));

    ScreenLayer layer;
    sprite_rect_init(layer.rect);
    sprite_rect_set(layer.rect, 20.0f, 20.0f, 60.0f, 40.0f);
    layer.rect.color = layer.rect.target_color = k_rect_colour;
    m_on_update = [&](GoBase& object) {
        if (&object != m_actor || !g_draw_frame) return;
        auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(13, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
        ASSERT_NE(item, nullptr);
        item->header.key0 = RQ_LAYER_HUD;
        item->callback = draw_screen_layer;
        item->user = &layer;
    };

    // Twenty ticks: both have faded in, the popup's glyphs stand at their full lift and the icon
    // shows cell 8 again.
    for (int i = 0; i < 20; ++i)
        step(2);
    g_d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, k_black, 1.0f, 0);
    const std::vector<DWORD> pixels = draw_frame();
    ASSERT_EQ(icon->Cell(), 8);

    // The popup's text stands centred a little above its anchor, 0.75 over the owner.
    const DWORD popup_ink = projected_pixel(pixels, k_width, k_height, D3DXVECTOR3(0.0f, 0.83f, 0.0f));
    EXPECT_GT(channel(popup_ink, 8), 0xC0) << std::hex << popup_ink;
    EXPECT_LT(channel(popup_ink, 16), 0x20) << std::hex << popup_ink;

    // The icon's quad centre, in its camera-facing frame.
    D3DXVECTOR3 icon_centre;
    const D3DXVECTOR3 local(0.0f, EMOTION_SIZE / 2.0f, 0.0f);
    D3DXVec3TransformCoord(&icon_centre, &local, &icon->world);
    const DWORD icon_ink = projected_pixel(pixels, k_width, k_height, icon_centre);
    EXPECT_TRUE(near_color(icon_ink | k_black, emotion_cell_color(8) | k_black, 8)) << std::hex << icon_ink;

    EXPECT_TRUE(near_color(frame_pixel(pixels, k_width, k_height, 50.0f, 40.0f) | k_black, k_rect_colour, 8));
    EXPECT_TRUE(
        near_color(frame_pixel(pixels, k_width, k_height, 510.0f, 410.0f) | k_black, k_text_colour, 8));
    EXPECT_TRUE(near_color(frame_pixel(pixels, k_width, k_height, 320.0f, 460.0f) | k_black, k_black, 8))
        << "away from them all";
}
