#include "gfx/go_emotion.h"

#include "game/g_image_table.h"
#include "game/g_tick.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <span>

namespace {

struct EmotionFrame {
    int cell;
    int ticks; // k_held on the last entry, which then stays
};
constexpr int k_held = -1;

struct EmotionKind {
    std::span<const EmotionFrame> frames;
    float x_offset; // of the quad's centre
    std::uint32_t hold_ticks;
};

constexpr EmotionFrame k_frames_0[] = {{2, 10}, {3, 5}, {4, 5}, {5, k_held}};
constexpr EmotionFrame k_frames_1[] = {{0, 12}, {1, 12}, {0, 12}, {1, 12},    {0, 12},
                                       {1, 12}, {0, 12}, {1, 12}, {0, k_held}};
constexpr EmotionFrame k_frames_2[] = {{8, 10}, {9, 10}, {8, 10}, {9, 10},    {8, 10},
                                       {9, 10}, {8, 10}, {9, 10}, {8, k_held}};
constexpr EmotionFrame k_frames_3[] = {{10, 5}, {11, 5},  {12, 5}, {13, 10}, {10, 5}, {11, 5},
                                       {12, 5}, {13, 10}, {10, 5}, {11, 5},  {12, 5}, {13, k_held}};

constexpr EmotionKind k_kinds[EMOTION_KINDS] = {
    {k_frames_0, 0.375f, 60},
    {k_frames_1, 0.375f, 60},
    {k_frames_2, 0.0f, 50},
    {k_frames_3, 0.0f, 60},
};

// Cells of 32 x 32 texels, 8 to a row, in the 256 x 64 image.
constexpr int k_cells_per_row = 8;
constexpr float k_cell_u = 0.125f;
constexpr float k_cell_v = 0.5f;

// The frame tables end at the last kind; a larger kind is played as that one rather than read
// past them.
const EmotionKind& kind_of(const GoEmotion& icon)
{
    return k_kinds[std::min<std::uint32_t>(icon.kind, EMOTION_KINDS - 1)];
}

void follow(GoEmotion& icon)
{
    const GoBase* owner = icon.owner.get();
    if (!owner) return;
    icon.world._41 = owner->world._41;
    icon.world._42 = owner->world._42 + EMOTION_OWNER_LIFT + icon.height_offset;
    icon.world._43 = owner->world._43;
}

// Strip order: the left edge top to bottom, then the right edge; the top takes the cell's top.
void build_quad(GoEmotion& icon)
{
    const int cell = icon.Cell();
    const float u0 = static_cast<float>(cell % k_cells_per_row) * k_cell_u;
    const float v0 = static_cast<float>(cell / k_cells_per_row) * k_cell_v;
    const float centre = kind_of(icon).x_offset;
    const float left = centre - EMOTION_SIZE / 2.0f;
    const float right = centre + EMOTION_SIZE / 2.0f;
    const D3DCOLOR colour = icon.quad[0].diffuse;
    icon.quad[0] = {left, EMOTION_SIZE, 0.0f, colour, 0, u0, v0};
    icon.quad[1] = {left, 0.0f, 0.0f, colour, 0, u0, v0 + k_cell_v};
    icon.quad[2] = {right, EMOTION_SIZE, 0.0f, colour, 0, u0 + k_cell_u, v0};
    icon.quad[3] = {right, 0.0f, 0.0f, colour, 0, u0 + k_cell_u, v0 + k_cell_v};
}

// Counts the whole tick, shows its frame and fades; false once the icon has died.
bool count_tick(GoEmotion& icon)
{
    const std::uint32_t counter = ++icon.tick_counter;
    build_quad(icon);
    if (counter < EMOTION_FADE_IN_TICKS) {
        icon.fade = static_cast<float>(counter) / static_cast<float>(EMOTION_FADE_IN_TICKS);
        return true;
    }
    const std::uint32_t hold = kind_of(icon).hold_ticks;
    // "Or later": a counter pushed past the end still ends the icon.
    if (counter >= icon.FullDuration()) {
        icon.fade = 0.0f;
        go_kill(icon);
        return false;
    }
    icon.fade = counter <= hold ? 1.0f
                                : static_cast<float>(icon.FullDuration() - counter) /
                                      static_cast<float>(EMOTION_FADE_OUT_TICKS);
    return true;
}

void queue_quad(GoEmotion& icon)
{
    const D3DCOLOR colour = renderer_alpha_factor(icon.fade);
    for (QuadVertex& vertex : icon.quad)
        vertex.diffuse = colour;
    camera_face(icon.world);
    auto* item = reinterpret_cast<RqQuadItem*>(rq_alloc(EMOTION_ROW, RQ_TYPE_QUAD, RQ_SIZE_QUAD));
    if (!item) return;
    const D3DXVECTOR3 to_eye =
        g_camera_state.eye - D3DXVECTOR3(icon.world._41, icon.world._42, icon.world._43);
    item->header.key0 = rq_next_serial();
    item->header.key1 = rq_depth_key(D3DXVec3LengthSq(&to_eye));
    item->material = EMOTION_MATERIAL;
    item->world = &icon.world;
    item->texture = g_texture_handles[EMOTION_IMAGE];
    item->vertices = icon.quad;
}

} // namespace

void GoEmotion::Update()
{
    if (!g_paused) {
        follow(*this);
        if (g_whole_tick && !count_tick(*this)) return;
    }
    if (g_draw_frame) queue_quad(*this);
}

std::uint32_t GoEmotion::FullDuration() const
{
    return kind_of(*this).hold_ticks + EMOTION_FADE_OUT_TICKS;
}

int GoEmotion::Cell() const
{
    std::uint32_t rest = tick_counter;
    for (const EmotionFrame& frame : kind_of(*this).frames) {
        if (frame.ticks == k_held || rest < static_cast<std::uint32_t>(frame.ticks)) return frame.cell;
        rest -= static_cast<std::uint32_t>(frame.ticks);
    }
    return kind_of(*this).frames.back().cell;
}
