// A short text floating in the world (damage numbers, "Level Up", item names) that follows its
// target, rises glyph by glyph, fades in, holds for a time that grows with its length, rises
// again, fades out and dies.
#pragma once

#include "object/go_base.h"
#include "platform/d3d8.h"
#include "scenegraph/renderer.h"

#include <cstdint>
#include <memory>

constexpr int POPUP_TEXT_SIZE = 32; // 31 bytes and the terminator
constexpr int POPUP_ROW = 13;
constexpr std::uint32_t POPUP_KEY0 = 0x0C000007;
constexpr MaterialFlags POPUP_MATERIAL = 1u | MAT_ALPHA_BLEND;
static_assert(POPUP_MATERIAL == 65);
constexpr float POPUP_TARGET_LIFT = 0.75f; // above the target's position
constexpr std::uint32_t POPUP_FADE_IN_TICKS = 14;
constexpr std::uint32_t POPUP_FADE_OUT_START = 35; // after the triangle count
constexpr std::uint32_t POPUP_LIFE_EXTRA = 43;     // it dies at the triangle count + this

class GoPopup : public GoBase {
public:
    GoPopup() : GoBase(go_next_object_id(GO_CLASS_POPUP), GO_CLASS_POPUP) {}

    // Takes the colour's RGB, clears the target, keeps up to 31 bytes of the text (a
    // double-byte character only whole) and lays it out in the large font, centred on the
    // popup, `size` x 0.02 world units per font unit. The creator then sets the target or the
    // position (the world matrix's translation row).
    void SetText(const char* text, D3DCOLOR colour, float size);
    // Unless the world is paused: follows the target while its handle holds it (dead or not),
    // counts whole ticks, fades, ages and dies at the triangle count + 43 ticks or later. On
    // drawn steps with glyphs, faces the camera and queues its draw in row 13.
    void Update() override;
    // The render callback's work: the glyphs lifted in their wave and faded, drawn through the
    // shared 24-byte buffer as one triangle list. A failed lock draws nothing.
    void Draw() const;

    ObjHandle<GoBase> target;
    std::uint32_t tick_counter = 0; // whole ticks
    std::uint32_t colour = 0;       // RGB
    float fade = 0.0f;
    float age = 0.0f; // in steps
    char text[POPUP_TEXT_SIZE] = {};
    std::uint32_t triangle_count = 0; // two per glyph
    // Six per glyph, centred on the popup, before the lift and the fade; the draw writes its
    // lifted copies straight into the shared buffer.
    std::unique_ptr<BatchVertex[]> vertices;
};

// The render-queue callback of a popup item; `user` is the popup.
void popup_draw_cb(RenderQueueItem* item, void* user);
